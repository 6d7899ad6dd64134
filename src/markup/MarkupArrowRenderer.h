#pragma once

#include "MarkupArrowheadStyle.h"

#include <QColor>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <optional>

// Draws an arrow: a shaft through a start point, any number of anchor points and an end point,
// with filled triangular heads at none, one or both ends.
//
// The shaft is the chain of cubic Bezier segments of MarkupGeometry::arrowCubicControlPoints
// (so a two-point arrow is straight). It is shortened under each head, and a translucent arrow
// is composed in an offscreen layer where the shaft is erased under and around the heads before
// they are filled, so its colour is laid down exactly once everywhere.
//
// All coordinates are in the painter's current (y-up) coordinates; lengths in its units.
namespace MarkupArrowRenderer {

enum class Endpoint
{
    start,
    end
};

// One cubic Bezier segment of a shaft.
struct CubicSegment
{
    QPointF start;
    QPointF control1;
    QPointF control2;
    QPointF end;
};

// A filled triangular head.
struct Head
{
    QPointF tip;
    QPointF baseA;
    QPointF baseB;
};

// What an arrow consists of once its heads are placed.
struct ArrowShape
{
    // The shaft, shortened by the head length at each end that carries a head; empty when the
    // heads cover all of it.
    QList<CubicSegment> shaft;
    // The heads that are painted, the start head first; heads without area are dropped.
    QList<Head> heads;
};

// Start and end closer than this (straight distance) make a degenerate arrow: a plain line,
// without heads, whatever the anchors.
inline constexpr double minimumChord = 0.0001;

// The shaft and heads of the arrow from `start` through `anchors` to `end`: head length
// min(0.6 * chord, lineWidth * headScale), head half-angle headWidthScale * pi / 7 kept within
// [0.12, pi / 3] radians. Absent for a degenerate arrow (chord <= minimumChord).
std::optional<ArrowShape> arrowShape(const QPointF& start, const QPointF& end,
                                     const QList<QPointF>& anchors, double lineWidth,
                                     double headScale, double headWidthScale,
                                     MarkupArrowheadStyle style);

// Paints the arrow with round caps and joins in `color`. Dashed shafts (previews) use dashes of
// 8 and gaps of 4 units, whatever the line width. A line width that is not a positive number,
// or a coordinate or factor that is not finite, paints nothing.
void draw(QPainter& painter, const QPointF& start, const QPointF& end,
          const QList<QPointF>& anchors, double lineWidth, double headScale, double headWidthScale,
          MarkupArrowheadStyle style, const QColor& color, bool dashed);

// One segment per consecutive pair of points; none for fewer than two points.
QList<CubicSegment> cubicSegments(const QList<QPointF>& points);

// The length of the polyline through the segment's points at t = k / 48, k = 0 ... 48.
double approximateLength(const CubicSegment& segment);

// The segments with `fromStart` of arc length cut off the start and `fromEnd` off the end
// (negative amounts count as 0). Empty when the two cuts meet; absent without segments.
std::optional<QList<CubicSegment>> trim(const QList<CubicSegment>& segments, double fromStart,
                                        double fromEnd);

// The direction (radians) a head at `endpoint` of the curve through `points` points in: the
// chord from the point `headLength` back along the curve to the tip, or the curve's tangent at
// the tip when the arrow is straight, the head shorter than half a unit, or the chord turns more
// than 75 degrees away from the tangent. Absent without a usable tangent.
std::optional<double> headAngle(Endpoint endpoint, const QList<QPointF>& points, double headLength);

} // namespace MarkupArrowRenderer
