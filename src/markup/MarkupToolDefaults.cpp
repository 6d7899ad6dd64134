#include "MarkupToolDefaults.h"

MarkupToolDefaults MarkupToolDefaults::initial()
{
    return {MarkupTool::rectangle,    defaultStrokeColor(), QColor(Qt::transparent), 24, 4.5, 5, 1,
            MarkupArrowheadStyle::end};
}

QColor MarkupToolDefaults::defaultStrokeColor()
{
    return QColor::fromRgb(255, 59, 48);
}

QColor MarkupToolDefaults::deviceRgbColor(const QColor& color)
{
    return color.isValid() ? color.toRgb() : color;
}
