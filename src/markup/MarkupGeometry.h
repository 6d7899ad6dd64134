#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <optional>
#include <utility>

// Pure geometry of markup: conversion between view points and normalized image coordinates,
// clamping, the curve through an arrow's points, and the distances used for hit testing.
//
// Coordinates are y-up throughout: a rectangle's minimum corner is its bottom-left corner.
// Normalized coordinates are fractions of the rectangle the image occupies (0 at its left and
// bottom edges, 1 at its right and top edges). Rectangle accessors (min, max, width, height)
// are read from the standardized form, so a negative width or height counts from the other
// corner. Containment is half-open: minX <= x < maxX and minY <= y < maxY.
namespace MarkupGeometry {

// Samples per curve segment wherever the curve of an arrow is sampled (bounds, hit tests,
// anchor insertion, head placement). Everything that meets at a curve assumes this value.
inline constexpr int arrowSamplesPerSegment = 24;

// Extents of the standardized rectangle, named for the y-up convention (QRectF calls the
// minimum y top(), which reads upside down here).
double minX(const QRectF& rect);
double minY(const QRectF& rect);
double maxX(const QRectF& rect);
double maxY(const QRectF& rect);

// Half-open containment (QRectF::contains is closed on the far edges). A rectangle of zero
// width or height contains nothing.
bool contains(const QRectF& rect, const QPointF& point);

// Each of x, y, width and height clamped to [0, 1] on its own, so x + width may exceed 1.
// A zero-sized image rectangle gives 0 where the division yields no number.
QRectF normalizedRect(const QRectF& rect, const QRectF& imageRect);
// No clamping.
QRectF denormalizedRect(const QRectF& normalized, const QRectF& imageRect);
// Both coordinates clamped to [0, 1].
QPointF normalizedPoint(const QPointF& point, const QRectF& imageRect);
// No clamping.
QPointF denormalizedPoint(const QPointF& normalized, const QRectF& imageRect);

// The point moved into the closed rectangle.
QPointF clampPoint(const QPointF& point, const QRectF& rect);
// The standardized rectangle spanned by two corners.
QRectF rect(const QPointF& a, const QPointF& b);
// max(lo, min(hi, value)): lo when lo > hi, and lo for a value that is not a number.
double clamp(double value, double lo, double hi);

// Every point of a list denormalized.
QList<QPointF> denormalizedPoints(const QList<QPointF>& normalized, const QRectF& imageRect);

// The Euclidean distance between two points.
double distance(const QPointF& a, const QPointF& b);

// The bounding box (min x, min y, max x - min x, max y - min y) of a point list; the zero
// rectangle for an empty list.
QRectF boundingRect(const QList<QPointF>& points);

// Control points of the cubic Bezier from points[index] to points[index + 1] of the uniform
// Catmull-Rom spline through `points` (the first and last points repeated at the ends).
// Precondition: 0 <= index and index + 1 < points.size().
std::pair<QPointF, QPointF> arrowCubicControlPoints(const QList<QPointF>& points, qsizetype index);

// A polyline approximating the curve through `points`: the points unchanged when there are
// fewer than 3 (a straight arrow is not sampled), otherwise 1 + (count - 1) * samplesPerSegment
// points passing through every input point. Precondition: samplesPerSegment >= 1.
QList<QPointF> sampledArrowPathPoints(const QList<QPointF>& points, int samplesPerSegment);

// A rectangle holding the whole curve through `points` (and every sampling of it): the box of
// the points and of the control points of every segment, which bound each cubic segment.
// Cheap next to sampling, so hit tests use it to rule out points far from the curve.
QRectF arrowPathControlBounds(const QList<QPointF>& points);

// Distance from `point` to the segment from `start` to `end` (to `start` when the segment is
// shorter than machine epsilon in both directions).
double distanceFromPoint(const QPointF& point, const QPointF& start, const QPointF& end);
// Distance from `point` to the sampled curve through `points`; the largest finite double when
// there is no segment, so a missing path never counts as near.
double distanceFromPoint(const QPointF& point, const QList<QPointF>& points);

struct ArrowPathLocation
{
    QPointF point;
    // Where a new anchor placed at `point` belongs in the anchor list.
    qsizetype insertionIndex = 0;
};

// The nearest point on the sampled curve through `points` (the first of equally near ones)
// and the anchor slot of the curve segment that holds it; absent without a segment.
std::optional<ArrowPathLocation> nearestPointOnArrowPath(const QPointF& point,
                                                         const QList<QPointF>& points);

// `rect` grown to at least minimum by minimum and pushed back inside `bounds`. The far side is
// not clamped again: bounds smaller than the minimum yield a rectangle that sticks out past
// their maximum edge.
QRectF expandedToMinimumSize(const QRectF& rect, double minimum, const QRectF& bounds);

} // namespace MarkupGeometry
