#include "MarkupAnnotationRenderer.h"

#include "FlippedPainter.h"
#include "MarkupArrowRenderer.h"
#include "MarkupBlurRenderer.h"
#include "MarkupGeometry.h"

#include <QPainterPath>
#include <QPen>
#include <variant>

namespace MarkupAnnotationRenderer {

namespace {

// A fill this transparent or more is not painted.
constexpr double minimumFillAlpha = 0.001;
// QColor keeps alpha in 16 bits: a fill set to exactly the minimum reads back as this step.
constexpr int minimumFillAlpha16 = int(minimumFillAlpha * 65535 + 0.5);

template <typename... Cases> struct Overloaded : Cases...
{
    using Cases::operator()...;
};
// Compilers without aggregate deduction (clang before 17) need the guide spelled out.
template <typename... Cases> Overloaded(Cases...) -> Overloaded<Cases...>;

// Maps a normalized point onto the image rectangle.
QPointF mapped(const QPointF& point, const QRectF& imageRect)
{
    return MarkupGeometry::denormalizedPoint(point, imageRect);
}

void strokeAndFill(QPainter& painter, const QPainterPath& path, const MarkupAnnotation& annotation,
                   const QPen& pen)
{
    const QColor fill = annotation.fillColor();
    if (fill.rgba64().alpha() > minimumFillAlpha16) {
        painter.fillPath(path, fill);
    }
    painter.strokePath(path, pen);
}

} // namespace

QColor effectiveStrokeColor(const QColor& color, double strokeAlpha)
{
    if (strokeAlpha >= 1) {
        return color;
    }
    QColor result = color;
    result.setAlphaF(float(MarkupGeometry::clamp(strokeAlpha, 0, 1)));
    return result;
}

void draw(QPainter& painter, const MarkupAnnotation& annotation, const QRectF& imageRect,
          const QImage& fallback, double strokeAlpha)
{
    if (!painter.isActive()) {
        return;
    }
    const double lineWidth = annotation.lineWidth(imageRect);
    const QColor stroke = effectiveStrokeColor(annotation.strokeColor, strokeAlpha);
    // Sharp corners on rectangles, as a stroked outline is expected to have.
    const QPen outlinePen(stroke, lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);

    const QPaintDevice& device = *painter.device();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    std::visit(
        Overloaded{
            [&](const MarkupShape::Rectangle& shape) {
                QPainterPath path;
                path.addRect(MarkupGeometry::denormalizedRect(shape.rect, imageRect));
                strokeAndFill(painter, path, annotation, outlinePen);
            },
            [&](const MarkupShape::Ellipse& shape) {
                QPainterPath path;
                path.addEllipse(MarkupGeometry::denormalizedRect(shape.rect, imageRect));
                strokeAndFill(painter, path, annotation, outlinePen);
            },
            [&](const MarkupShape::Blur& shape) {
                MarkupBlurRenderer::drawBlurredPaintedRegion(
                    painter, imageRect, shape.rect,
                    MarkupGeometry::denormalizedRect(shape.rect, imageRect), fallback);
            },
            [&](const MarkupShape::Arrow& shape) {
                MarkupArrowRenderer::draw(painter, mapped(shape.start, imageRect),
                                          mapped(shape.end, imageRect), {}, lineWidth,
                                          annotation.arrowHeadScale, annotation.arrowHeadWidthScale,
                                          annotation.arrowheadStyle, stroke, false);
            },
            [&](const MarkupShape::CurvedArrow& shape) {
                MarkupArrowRenderer::draw(
                    painter, mapped(shape.start, imageRect), mapped(shape.end, imageRect),
                    MarkupGeometry::denormalizedPoints(shape.anchors, imageRect), lineWidth,
                    annotation.arrowHeadScale, annotation.arrowHeadWidthScale,
                    annotation.arrowheadStyle, stroke, false);
            },
            [&](const MarkupShape::Pen& shape) {
                if (shape.points.isEmpty()) {
                    return;
                }
                QPainterPath path(mapped(shape.points.front(), imageRect));
                for (qsizetype i = 1; i < shape.points.size(); ++i) {
                    path.lineTo(mapped(shape.points[i], imageRect));
                }
                painter.strokePath(
                    path, QPen(stroke, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            },
            [&](const MarkupShape::Text& shape) {
                if (shape.text.isEmpty()) {
                    return;
                }
                // Sized for the device, so that the text is as many device-independent pixels
                // tall as its size in units.
                const double size =
                    MarkupAnnotation::textPointSize(shape.normalizedFontSize, imageRect);
                FlippedPainter::drawText(painter, mapped(shape.origin, imageRect), shape.text,
                                         MarkupAnnotation::textFont(size, device), stroke);
            },
        },
        annotation.shape.payload());
    painter.restore();
}

} // namespace MarkupAnnotationRenderer
