#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

// The toolbar's symbols by name ("crop", "pencil.tip", ...). Each name maps to a freedesktop
// theme icon and to an SVG of our own drawing bundled with the program. The theme's icons are
// used when the theme has all of them; otherwise every symbol comes from the bundled drawings,
// so the toolbar is complete and of one hand on any system, with or without an icon theme.
//
// The overlay is a dark panel, and theme icons are drawn for light windows: whichever source
// the symbol comes from, icon() paints it as a silhouette in one light colour, at any device
// pixel ratio (the SVG is rendered at the requested device size, never scaled from a bitmap).
namespace SymbolImage {

// Every symbol name the viewer uses.
QStringList symbolNames();
// The freedesktop icon name standing for `symbol`; empty for an unknown name.
QString themeIconName(const QString& symbol);
// The resource path of the bundled SVG of `symbol`; empty for an unknown name.
QString fallbackResourcePath(const QString& symbol);
// The symbol as an icon tinted with `color` (disabled states dimmed); a null icon for an
// unknown name.
QIcon icon(const QString& symbol, const QColor& color = QColor(255, 255, 255, 235));

} // namespace SymbolImage
