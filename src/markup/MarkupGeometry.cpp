#include "MarkupGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace MarkupGeometry {

namespace {

double clamp01(double value)
{
    return clamp(value, 0.0, 1.0);
}

// The point of segment ab nearest to p, by projection onto the segment's line.
QPointF nearestPointOnSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    const QPointF d = b - a;
    if (std::abs(d.x()) < epsilon && std::abs(d.y()) < epsilon) {
        return a;
    }
    const double t = clamp01(QPointF::dotProduct(p - a, d) / QPointF::dotProduct(d, d));
    return a + t * d;
}

QPointF cubicPoint(const QPointF& p0, const QPointF& c1, const QPointF& c2, const QPointF& p1,
                   double t)
{
    const double u = 1 - t;
    return p0 * (u * u * u) + c1 * (3 * t * u * u) + c2 * (3 * t * t * u) + p1 * (t * t * t);
}

} // namespace

double minX(const QRectF& rect)
{
    return rect.width() < 0 ? rect.x() + rect.width() : rect.x();
}

double minY(const QRectF& rect)
{
    return rect.height() < 0 ? rect.y() + rect.height() : rect.y();
}

double maxX(const QRectF& rect)
{
    return rect.width() < 0 ? rect.x() : rect.x() + rect.width();
}

double maxY(const QRectF& rect)
{
    return rect.height() < 0 ? rect.y() : rect.y() + rect.height();
}

bool contains(const QRectF& rect, const QPointF& point)
{
    return minX(rect) <= point.x() && point.x() < maxX(rect) && minY(rect) <= point.y() &&
           point.y() < maxY(rect);
}

QRectF normalizedRect(const QRectF& rect, const QRectF& imageRect)
{
    const QRectF r = rect.normalized();
    const QRectF img = imageRect.normalized();
    return {clamp01((r.x() - img.x()) / img.width()), clamp01((r.y() - img.y()) / img.height()),
            clamp01(r.width() / img.width()), clamp01(r.height() / img.height())};
}

QRectF denormalizedRect(const QRectF& normalized, const QRectF& imageRect)
{
    const QRectF n = normalized.normalized();
    const QRectF img = imageRect.normalized();
    return {img.x() + n.x() * img.width(), img.y() + n.y() * img.height(), n.width() * img.width(),
            n.height() * img.height()};
}

QPointF normalizedPoint(const QPointF& point, const QRectF& imageRect)
{
    const QRectF img = imageRect.normalized();
    return {clamp01((point.x() - img.x()) / img.width()),
            clamp01((point.y() - img.y()) / img.height())};
}

QPointF denormalizedPoint(const QPointF& normalized, const QRectF& imageRect)
{
    const QRectF img = imageRect.normalized();
    return {img.x() + img.width() * normalized.x(), img.y() + img.height() * normalized.y()};
}

QPointF clampPoint(const QPointF& point, const QRectF& rect)
{
    return {clamp(point.x(), minX(rect), maxX(rect)), clamp(point.y(), minY(rect), maxY(rect))};
}

QRectF rect(const QPointF& a, const QPointF& b)
{
    return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()),
            std::abs(b.y() - a.y())};
}

double clamp(double value, double lo, double hi)
{
    if (std::isnan(value)) {
        return lo;
    }
    return std::max(lo, std::min(hi, value));
}

QList<QPointF> denormalizedPoints(const QList<QPointF>& normalized, const QRectF& imageRect)
{
    QList<QPointF> result;
    result.reserve(normalized.size());
    for (const QPointF& point : normalized) {
        result.append(denormalizedPoint(point, imageRect));
    }
    return result;
}

double distance(const QPointF& a, const QPointF& b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

QRectF boundingRect(const QList<QPointF>& points)
{
    if (points.isEmpty()) {
        return {};
    }
    double minX = points.front().x();
    double maxX = minX;
    double minY = points.front().y();
    double maxY = minY;
    for (const QPointF& p : points) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

std::pair<QPointF, QPointF> arrowCubicControlPoints(const QList<QPointF>& points, qsizetype index)
{
    const qsizetype count = points.size();
    Q_ASSERT(index >= 0 && index + 1 < count);
    const QPointF p0 = index > 0 ? points[index - 1] : points[0];
    const QPointF p1 = points[index];
    const QPointF p2 = points[index + 1];
    const QPointF p3 = index + 2 < count ? points[index + 2] : points[index + 1];
    return {p1 + (p2 - p0) / 6, p2 - (p3 - p1) / 6};
}

QList<QPointF> sampledArrowPathPoints(const QList<QPointF>& points, int samplesPerSegment)
{
    Q_ASSERT(samplesPerSegment >= 1);
    if (points.size() < 3) {
        return points;
    }
    QList<QPointF> samples;
    samples.reserve(1 + (points.size() - 1) * samplesPerSegment);
    samples.append(points.front());
    for (qsizetype i = 0; i + 1 < points.size(); ++i) {
        const auto [control1, control2] = arrowCubicControlPoints(points, i);
        for (int k = 1; k <= samplesPerSegment; ++k) {
            const double t = static_cast<double>(k) / samplesPerSegment;
            samples.append(cubicPoint(points[i], control1, control2, points[i + 1], t));
        }
    }
    return samples;
}

QRectF arrowPathControlBounds(const QList<QPointF>& points)
{
    QList<QPointF> hull = points;
    if (points.size() >= 3) {
        hull.reserve(points.size() * 3);
        for (qsizetype i = 0; i + 1 < points.size(); ++i) {
            const auto [control1, control2] = arrowCubicControlPoints(points, i);
            hull.append(control1);
            hull.append(control2);
        }
    }
    return boundingRect(hull);
}

double distanceFromPoint(const QPointF& point, const QPointF& start, const QPointF& end)
{
    return distance(point, nearestPointOnSegment(point, start, end));
}

double distanceFromPoint(const QPointF& point, const QList<QPointF>& points)
{
    const QList<QPointF> samples = sampledArrowPathPoints(points, arrowSamplesPerSegment);
    double best = std::numeric_limits<double>::max();
    for (qsizetype j = 0; j + 1 < samples.size(); ++j) {
        best = std::min(best, distanceFromPoint(point, samples[j], samples[j + 1]));
    }
    return best;
}

std::optional<ArrowPathLocation> nearestPointOnArrowPath(const QPointF& point,
                                                         const QList<QPointF>& points)
{
    const QList<QPointF> samples = sampledArrowPathPoints(points, arrowSamplesPerSegment);
    if (samples.size() < 2) {
        return std::nullopt;
    }
    QPointF bestPoint;
    double bestDistance = 0;
    qsizetype bestSegment = -1;
    for (qsizetype j = 0; j + 1 < samples.size(); ++j) {
        const QPointF nearest = nearestPointOnSegment(point, samples[j], samples[j + 1]);
        const double d = distance(point, nearest);
        if (bestSegment < 0 || d < bestDistance) {
            bestPoint = nearest;
            bestDistance = d;
            bestSegment = j;
        }
    }
    // Every curve segment contributes arrowSamplesPerSegment sample segments, so the quotient
    // is the curve segment holding the point: a new anchor there goes between its ends.
    const qsizetype lastSlot = std::max<qsizetype>(points.size(), 2) - 2;
    const qsizetype slot = std::min(lastSlot, bestSegment / arrowSamplesPerSegment);
    return ArrowPathLocation{bestPoint, slot};
}

QRectF expandedToMinimumSize(const QRectF& rect, double minimum, const QRectF& bounds)
{
    const QRectF r = rect.normalized();
    double x = r.x();
    double y = r.y();
    double width = r.width();
    double height = r.height();
    if (width < minimum) {
        width = minimum;
        if (x + minimum > maxX(bounds)) {
            x = maxX(bounds) - minimum;
        }
    }
    if (height < minimum) {
        height = minimum;
        if (y + minimum > maxY(bounds)) {
            y = maxY(bounds) - minimum;
        }
    }
    return {std::max(x, minX(bounds)), std::max(y, minY(bounds)), width, height};
}

} // namespace MarkupGeometry
