#include "MarkupAnnotation.h"

#include "MarkupGeometry.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <algorithm>

namespace {

// Text sizes are measured as if the image rectangle were this many points on its shorter side.
constexpr double textReferenceSide = 1000;
// Text is never measured or drawn below this point size.
constexpr double minimumTextPointSize = 8;

double shorterSide(const QRectF& rect)
{
    return std::min(std::abs(rect.width()), std::abs(rect.height()));
}

} // namespace

MarkupAnnotation::MarkupAnnotation(MarkupShape shape, const QColor& strokeColor,
                                   const QColor& fillColor, double normalizedLineWidth,
                                   double arrowHeadScale, double arrowHeadWidthScale,
                                   MarkupArrowheadStyle arrowheadStyle)
    : shape(std::move(shape)), strokeColor(strokeColor), normalizedLineWidth(normalizedLineWidth),
      arrowHeadScale(arrowHeadScale), arrowHeadWidthScale(arrowHeadWidthScale),
      arrowheadStyle(arrowheadStyle), m_fillColor(fillColor)
{}

QRectF MarkupAnnotation::normalizedBounds() const
{
    if (const auto box = shape.boxRect()) {
        return *box;
    }
    if (const auto path = shape.arrowPathPoints()) {
        return MarkupGeometry::boundingRect(
            MarkupGeometry::sampledArrowPathPoints(*path, MarkupGeometry::arrowSamplesPerSegment));
    }
    if (const auto* pen = shape.as<MarkupShape::Pen>()) {
        return MarkupGeometry::boundingRect(pen->points);
    }
    const auto* text = shape.as<MarkupShape::Text>();
    Q_ASSERT(text);
    return {text->origin, normalizedTextSize(text->text, text->normalizedFontSize)};
}

bool MarkupAnnotation::isResizable() const
{
    switch (shape.kind()) {
    case MarkupShape::Kind::rectangle:
    case MarkupShape::Kind::ellipse:
    case MarkupShape::Kind::blur:
    case MarkupShape::Kind::text:
        return true;
    case MarkupShape::Kind::arrow:
    case MarkupShape::Kind::curvedArrow:
    case MarkupShape::Kind::pen:
        return false;
    }
    Q_UNREACHABLE();
    return false;
}

double MarkupAnnotation::lineWidth(const QRectF& imageRect) const
{
    const double side = shorterSide(imageRect);
    const double width = side <= 1 ? normalizedLineWidth : normalizedLineWidth * side;
    return std::max(1.0, width);
}

double MarkupAnnotation::normalizedLineWidthFor(double width, const QRectF& imageRect)
{
    return width / std::max(shorterSide(imageRect), 1.0);
}

QSizeF MarkupAnnotation::normalizedTextSize(const QString& text, double normalizedFontSize)
{
    if (text.isEmpty()) {
        return {minimumNormalizedTextExtent, minimumNormalizedTextExtent};
    }
    const QSizeF measured =
        measuredTextSize(text, textPointSize(normalizedFontSize,
                                             QRectF(0, 0, textReferenceSide, textReferenceSide)));
    return {std::max(minimumNormalizedTextExtent, measured.width() / textReferenceSide),
            std::max(minimumNormalizedTextExtent, measured.height() / textReferenceSide)};
}

double MarkupAnnotation::textPointSize(double normalizedFontSize, const QRectF& imageRect)
{
    return std::max(minimumTextPointSize, normalizedFontSize * shorterSide(imageRect));
}

QFont MarkupAnnotation::textFont(double pointSize)
{
    QFont font = QGuiApplication::font();
    font.setWeight(QFont::Medium);
    font.setPointSizeF(std::max(1.0, pointSize));
    return font;
}

QSizeF MarkupAnnotation::measuredTextSize(const QString& text, double pointSize)
{
    return QFontMetricsF(textFont(pointSize)).size(0, text);
}
