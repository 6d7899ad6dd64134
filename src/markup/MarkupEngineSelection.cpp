// Hit testing of the engine: which annotation, handle, arrow end or anchor lies under a point.
// Everything here works in view points against the image rectangle it is given.

#include "MarkupEngine.h"
#include "MarkupGeometry.h"

#include <cmath>

using namespace MarkupGeometry;

namespace {

// Side of the square around an arrow's end or anchor in which a press grabs it, points.
constexpr double pointHandleSide = 20;
// How far beyond its edges a rectangle or blur region is hit, points.
constexpr double rectangleHitMargin = 10;
// How far beyond its measured box a text is hit, points.
constexpr double textHitMargin = 6;
// An ellipse is hit up to this squared normalized radius (sqrt(1.15), about 1.07).
constexpr double ellipseHitRadiusSquared = 1.15;
// Lines are hit at least this far away, points; thicker lines a bit further.
constexpr double minimumLineHitTolerance = 10;
// Arrow boxes narrower than this are widened, points, so a flat arrow keeps a visible outline.
constexpr double minimumArrowBoxExtent = 8;
constexpr double arrowBoxWidening = 4;

QRectF squareAround(const QPointF& center, double side)
{
    return {center.x() - side / 2, center.y() - side / 2, side, side};
}

QRectF grown(const QRectF& rect, double margin)
{
    return rect.normalized().adjusted(-margin, -margin, margin, margin);
}

// True when no point of `bounds` lies within `tolerance` of `point`, with a point to spare for
// rounding. Lines inside the bounds then cannot be hit, and measuring them can be skipped.
bool isFarOutside(const QRectF& bounds, const QPointF& point, double tolerance)
{
    const QRectF near = grown(bounds, tolerance + 1);
    return point.x() < minX(near) || point.x() > maxX(near) || point.y() < minY(near) ||
           point.y() > maxY(near);
}

// The on-screen size of a text annotation's text, unrounded.
QSizeF textSizeInView(const MarkupShape::Text& text, const QRectF& imageRect)
{
    return MarkupAnnotation::measuredTextSize(
        text.text, MarkupAnnotation::textPointSize(text.normalizedFontSize, imageRect));
}

} // namespace

QRectF MarkupEngine::selectionRect(const MarkupAnnotation& annotation,
                                   const QRectF& imageRect) const
{
    const MarkupShape& shape = annotation.shape;
    if (const auto box = shape.boxRect()) {
        return denormalizedRect(*box, imageRect);
    }
    if (shape.isArrow()) {
        QRectF rect = denormalizedRect(annotation.normalizedBounds(), imageRect);
        if (rect.width() < minimumArrowBoxExtent) {
            rect.adjust(-arrowBoxWidening, 0, arrowBoxWidening, 0);
        }
        if (rect.height() < minimumArrowBoxExtent) {
            rect.adjust(0, -arrowBoxWidening, 0, arrowBoxWidening);
        }
        return rect;
    }
    if (const auto* pen = shape.as<MarkupShape::Pen>()) {
        return denormalizedRect(boundingRect(pen->points), imageRect);
    }
    const auto* text = shape.as<MarkupShape::Text>();
    Q_ASSERT(text);
    if (text->text.isEmpty()) {
        return denormalizedRect(
            QRectF(text->origin, QSizeF(MarkupAnnotation::minimumNormalizedTextExtent,
                                        MarkupAnnotation::minimumNormalizedTextExtent)),
            imageRect);
    }
    const QSizeF size = textSizeInView(*text, imageRect);
    return {denormalizedPoint(text->origin, imageRect),
            QSizeF(std::ceil(size.width()), std::ceil(size.height()))};
}

bool MarkupEngine::annotationContains(const QPointF& point, const MarkupAnnotation& annotation,
                                      const QRectF& imageRect) const
{
    const double tolerance =
        std::max(minimumLineHitTolerance, annotation.lineWidth(imageRect) * 0.5 + 4);
    const MarkupShape& shape = annotation.shape;
    switch (shape.kind()) {
    case MarkupShape::Kind::rectangle:
    case MarkupShape::Kind::blur:
        return contains(grown(denormalizedRect(*shape.boxRect(), imageRect), rectangleHitMargin),
                        point);
    case MarkupShape::Kind::ellipse: {
        const QRectF rect = denormalizedRect(*shape.boxRect(), imageRect);
        if (!(rect.width() > 0) || !(rect.height() > 0)) {
            return false;
        }
        const double dx = (point.x() - rect.center().x()) / std::max(rect.width() / 2, 1.0);
        const double dy = (point.y() - rect.center().y()) / std::max(rect.height() / 2, 1.0);
        return dx * dx + dy * dy <= ellipseHitRadiusSquared;
    }
    case MarkupShape::Kind::text: {
        const auto* text = shape.as<MarkupShape::Text>();
        if (text->text.isEmpty()) {
            return false;
        }
        const QRectF box(denormalizedPoint(text->origin, imageRect),
                         textSizeInView(*text, imageRect));
        return contains(grown(box, textHitMargin), point);
    }
    case MarkupShape::Kind::pen: {
        const QList<QPointF> points =
            denormalizedPoints(shape.as<MarkupShape::Pen>()->points, imageRect);
        if (isFarOutside(boundingRect(points), point, tolerance)) {
            return false;
        }
        for (qsizetype i = 0; i + 1 < points.size(); ++i) {
            if (distanceFromPoint(point, points[i], points[i + 1]) <= tolerance) {
                return true;
            }
        }
        return false;
    }
    case MarkupShape::Kind::arrow: {
        const auto* arrow = shape.as<MarkupShape::Arrow>();
        return distanceFromPoint(point, denormalizedPoint(arrow->start, imageRect),
                                 denormalizedPoint(arrow->end, imageRect)) <= tolerance;
    }
    case MarkupShape::Kind::curvedArrow: {
        // The curve is built through the view points, as it is drawn.
        const QList<QPointF> path = denormalizedPoints(*shape.arrowPathPoints(), imageRect);
        return !isFarOutside(arrowPathControlBounds(path), point, tolerance) &&
               distanceFromPoint(point, path) <= tolerance;
    }
    }
    Q_UNREACHABLE();
    return false;
}

std::optional<MarkupEngine::Index> MarkupEngine::annotationIndex(const QPointF& point,
                                                                 const QRectF& imageRect) const
{
    for (Index i = m_annotations.size() - 1; i >= 0; --i) {
        if (annotationContains(point, m_annotations[i], imageRect)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<MarkupHandle> MarkupEngine::resizeHandle(const QPointF& point,
                                                       const MarkupAnnotation& annotation,
                                                       const QRectF& imageRect) const
{
    if (!annotation.isResizable()) {
        return std::nullopt;
    }
    return MarkupHandle::handle(point, selectionRect(annotation, imageRect), handleHitRadius);
}

std::optional<MarkupEngine::LineEndpoint>
MarkupEngine::lineEndpointHandle(const QPointF& point, const MarkupAnnotation& annotation,
                                 const QRectF& imageRect) const
{
    const auto ends = annotation.shape.lineEndpoints();
    if (!ends) {
        return std::nullopt;
    }
    if (contains(squareAround(denormalizedPoint(ends->first, imageRect), pointHandleSide), point)) {
        return LineEndpoint::start;
    }
    if (contains(squareAround(denormalizedPoint(ends->second, imageRect), pointHandleSide),
                 point)) {
        return LineEndpoint::end;
    }
    return std::nullopt;
}

std::optional<MarkupEngine::Index>
MarkupEngine::arrowAnchorHandle(const QPointF& point, const MarkupAnnotation& annotation,
                                const QRectF& imageRect) const
{
    const QList<QPointF> anchors = annotation.shape.arrowAnchors();
    for (Index k = 0; k < anchors.size(); ++k) {
        if (contains(squareAround(denormalizedPoint(anchors[k], imageRect), pointHandleSide),
                     point)) {
            return k;
        }
    }
    return std::nullopt;
}

std::optional<MarkupEngine::Index>
MarkupEngine::arrowIndexForCurveEdit(const QPointF& point, const QRectF& imageRect) const
{
    if (const auto selected = selectedAnnotation()) {
        if (selected->shape.isArrow() && annotationContains(point, *selected, imageRect)) {
            return m_selectedIndex;
        }
    }
    for (Index i = m_annotations.size() - 1; i >= 0; --i) {
        if (m_annotations[i].shape.isArrow() &&
            annotationContains(point, m_annotations[i], imageRect)) {
            return i;
        }
    }
    return std::nullopt;
}
