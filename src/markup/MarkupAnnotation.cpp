#include "MarkupAnnotation.h"

#include "MarkupGeometry.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>

namespace {

// Text sizes are measured as if the image rectangle were this many points on its shorter side.
constexpr double textReferenceSide = 1000;
// Text is never measured or drawn below this size in units.
constexpr double minimumTextPointSize = 8;
// Qt's point: 1/72 inch.
constexpr double pointsPerInch = 72;

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

QFont MarkupAnnotation::textFont(double size, const QPaintDevice& device)
{
    QFont font = QGuiApplication::font();
    font.setWeight(QFont::Medium);
    // Qt turns a point size into pixels at the logical resolution of the device the font is
    // used on, so this point size is `size` device-independent pixels there. A device whose
    // resolution rounds to nothing cannot show point-sized text; it is spared the division.
    const int dotsPerInch = std::max(device.logicalDpiY(), 1);
    font.setPointSizeF(std::max(1.0, size) * pointsPerInch / dotsPerInch);
    return font;
}

QSizeF MarkupAnnotation::measuredTextSize(const QString& text, double size)
{
    // Any device gives the same size in units; a fresh bitmap is the cheapest one at hand.
    const QImage reference(1, 1, QImage::Format_ARGB32_Premultiplied);
    return QFontMetricsF(textFont(size, reference), &reference).size(0, text);
}
