#include "SymbolImage.h"

#include "TintedIconEngine.h"

#include <algorithm>
#include <array>

namespace {

struct Symbol
{
    const char* name;
    const char* themeName;
};

// Names from the freedesktop icon naming rules. "-symbolic" asks for a theme's monochrome line
// variant, whose shape stays legible as a silhouette (a full-colour icon would fill in to a
// blob). Shapes with no standard name use the "draw-" names of drawing tools. The theme must
// hold the exact name; otherwise the bundled SVG is drawn.
constexpr std::array symbols{
    Symbol{"square.grid.2x2", "view-grid-symbolic"},
    Symbol{"photo", "image-x-generic-symbolic"},
    Symbol{"crop", "transform-crop"},
    Symbol{"pencil.tip", "document-edit-symbolic"},
    Symbol{"xmark", "window-close-symbolic"},
    Symbol{"checkmark", "object-select-symbolic"},
    Symbol{"square", "draw-rectangle"},
    Symbol{"circle", "draw-ellipse"},
    Symbol{"eye.slash", "view-conceal-symbolic"},
    Symbol{"line.diagonal.arrow", "draw-arrow"},
    Symbol{"character.textbox", "insert-text-symbolic"},
    Symbol{"arrow.uturn.backward", "edit-undo-symbolic"},
    Symbol{"arrow.uturn.forward", "edit-redo-symbolic"},
    Symbol{"line.diagonal", "draw-line"},
    Symbol{"arrow.up.right", "draw-arrow-forward"},
    Symbol{"arrow.left.and.right", "draw-arrow-back-forward"},
    Symbol{"dock.arrow.down.rectangle", "go-bottom-symbolic"},
    Symbol{"dock.arrow.up.rectangle", "go-top-symbolic"},
    Symbol{"gearshape", "emblem-system-symbolic"},
};

const Symbol* findSymbol(const QString& name)
{
    for (const Symbol& symbol : symbols) {
        if (name == QLatin1String(symbol.name)) {
            return &symbol;
        }
    }
    return nullptr;
}

// A toolbar drawn from two icon sets looks patched: the theme's icons are used only when the
// theme has every symbol, else the bundled drawings are used for all. Decided once per theme.
bool themeHasEverySymbol()
{
    static QString checkedTheme;
    static bool hasEverySymbol = false;
    const QString theme = QIcon::themeName();
    if (theme != checkedTheme || checkedTheme.isNull()) {
        checkedTheme = theme.isNull() ? QStringLiteral("") : theme;
        hasEverySymbol = std::all_of(symbols.begin(), symbols.end(), [](const Symbol& symbol) {
            return QIcon::hasThemeIcon(QString::fromLatin1(symbol.themeName));
        });
    }
    return hasEverySymbol;
}

} // namespace

namespace SymbolImage {

QStringList symbolNames()
{
    QStringList names;
    for (const Symbol& symbol : symbols) {
        names.append(QString::fromLatin1(symbol.name));
    }
    return names;
}

QString themeIconName(const QString& symbol)
{
    const Symbol* found = findSymbol(symbol);
    return found ? QString::fromLatin1(found->themeName) : QString();
}

QString fallbackResourcePath(const QString& symbol)
{
    const Symbol* found = findSymbol(symbol);
    return found ? QStringLiteral(":/vistrel/icons/symbols/%1.svg").arg(QLatin1String(found->name))
                 : QString();
}

QIcon icon(const QString& symbol, const QColor& color)
{
    if (!findSymbol(symbol)) {
        return {};
    }
    const QString themeName = themeHasEverySymbol() ? themeIconName(symbol) : QString();
    return QIcon(new TintedIconEngine(themeName, fallbackResourcePath(symbol), color));
}

} // namespace SymbolImage
