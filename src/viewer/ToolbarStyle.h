#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QVariant>

class QWidget;

// The look of the viewer's toolbar and undo toast on their dark translucent panels: one style
// sheet for all their controls, the label colours and the fonts.
namespace ToolbarStyle {

// Font sizes are given on a scale where this is the desktop's normal text size.
constexpr double normalDesignSize = 13;

// Label colours: primary text, then the two quieter levels.
inline const QColor primaryTextColor{255, 255, 255};
inline const QColor secondaryTextColor{255, 255, 255, 166};
inline const QColor tertiaryTextColor{255, 255, 255, 128};
// The title colours of the confirm and cancel roles (green bezel, red title).
inline const QColor confirmColor{48, 209, 88};
inline const QColor cancelColor{255, 69, 58};

// Set on a panel, it styles every control inside: quiet translucent bezels that brighten on
// hover and when checked, thin slider grooves with round handles, and the two roles selected
// by the properties "toolbarRole" ("confirm" or "cancel") and "symbolOnly" (no padding).
QString styleSheet();

// The application's font scaled by designSize / normalDesignSize, so the toolbar keeps its
// proportions at any font setting.
QFont font(double designSize, QFont::Weight weight = QFont::Normal);

// Sets a property the style sheet selects on, applying the style again when it changed.
void setStyleProperty(QWidget* widget, const char* name, const QVariant& value);

} // namespace ToolbarStyle
