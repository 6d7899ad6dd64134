#include "MarkupShape.h"

std::optional<QRectF> MarkupShape::boxRect() const
{
    if (const auto* shape = as<Rectangle>()) {
        return shape->rect;
    }
    if (const auto* shape = as<Ellipse>()) {
        return shape->rect;
    }
    if (const auto* shape = as<Blur>()) {
        return shape->rect;
    }
    return std::nullopt;
}

MarkupShape MarkupShape::withBoxRect(const QRectF& rect) const
{
    switch (kind()) {
    case Kind::rectangle:
        return rectangle(rect);
    case Kind::ellipse:
        return ellipse(rect);
    case Kind::blur:
        return blur(rect);
    default:
        return *this;
    }
}

bool MarkupShape::isArrow() const
{
    return kind() == Kind::arrow || kind() == Kind::curvedArrow;
}

std::optional<QList<QPointF>> MarkupShape::arrowPathPoints() const
{
    if (const auto* shape = as<Arrow>()) {
        return QList<QPointF>{shape->start, shape->end};
    }
    if (const auto* shape = as<CurvedArrow>()) {
        QList<QPointF> points;
        points.reserve(shape->anchors.size() + 2);
        points.append(shape->start);
        points.append(shape->anchors);
        points.append(shape->end);
        return points;
    }
    return std::nullopt;
}

std::optional<std::pair<QPointF, QPointF>> MarkupShape::lineEndpoints() const
{
    if (const auto* shape = as<Arrow>()) {
        return std::pair{shape->start, shape->end};
    }
    if (const auto* shape = as<CurvedArrow>()) {
        return std::pair{shape->start, shape->end};
    }
    return std::nullopt;
}

QList<QPointF> MarkupShape::arrowAnchors() const
{
    if (const auto* shape = as<CurvedArrow>()) {
        return shape->anchors;
    }
    return {};
}

MarkupShape MarkupShape::withArrowAnchors(const QList<QPointF>& anchors) const
{
    const auto ends = lineEndpoints();
    if (!ends) {
        return *this;
    }
    if (anchors.isEmpty()) {
        return arrow(ends->first, ends->second);
    }
    return curvedArrow(ends->first, ends->second, anchors);
}

MarkupShape MarkupShape::withEndpoints(const QPointF& start, const QPointF& end) const
{
    if (as<Arrow>()) {
        return arrow(start, end);
    }
    if (const auto* shape = as<CurvedArrow>()) {
        return curvedArrow(start, end, shape->anchors);
    }
    return *this;
}

MarkupShape MarkupShape::withArrowAnchor(const QPointF& point, qsizetype index) const
{
    const auto* shape = as<CurvedArrow>();
    if (!shape || index < 0 || index >= shape->anchors.size()) {
        return *this;
    }
    QList<QPointF> anchors = shape->anchors;
    anchors[index] = point;
    return curvedArrow(shape->start, shape->end, anchors);
}
