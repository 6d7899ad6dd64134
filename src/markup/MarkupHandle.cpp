#include "MarkupHandle.h"

#include "MarkupGeometry.h"

QPointF MarkupHandle::point(const QRectF& rect) const
{
    using namespace MarkupGeometry;
    switch (m_value) {
    case topLeft:
        return {minX(rect), maxY(rect)};
    case topRight:
        return {maxX(rect), maxY(rect)};
    case bottomLeft:
        return {minX(rect), minY(rect)};
    case bottomRight:
        return {maxX(rect), minY(rect)};
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<MarkupHandle> MarkupHandle::handle(const QPointF& point, const QRectF& rect,
                                                 double hitRadius)
{
    for (const MarkupHandle handle : allCases()) {
        const QPointF corner = handle.point(rect);
        const QRectF square(corner.x() - hitRadius, corner.y() - hitRadius, 2 * hitRadius,
                            2 * hitRadius);
        if (MarkupGeometry::contains(square, point)) {
            return handle;
        }
    }
    return std::nullopt;
}

Qt::CursorShape MarkupHandle::resizeCursor() const
{
    switch (m_value) {
    case topLeft:
    case bottomRight:
        return diagonalNWSECursor();
    case topRight:
    case bottomLeft:
        return diagonalNESWCursor();
    }
    Q_UNREACHABLE();
    return Qt::ArrowCursor;
}
