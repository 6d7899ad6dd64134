#include "MarkupArrowRenderer.h"

#include "MarkupGeometry.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace MarkupArrowRenderer {

namespace {

using std::numbers::pi;

// Steps per segment when measuring and trimming by arc length.
constexpr int lengthSteps = 48;
// Below this, lengths, areas and curve parameters count as zero.
constexpr double tolerance = 0.0001;
// A chord from the head's base to its tip shorter than this does not give a direction.
constexpr double minimumHeadChord = 0.5;
// The chord may turn at most this far from the tangent (75 degrees) before the tangent wins.
constexpr double maximumChordTurn = 5 * pi / 12;
// Dashed previews: dash and gap lengths in painter units.
constexpr double dashLength = 8;
constexpr double gapLength = 4;

struct TrimPosition
{
    qsizetype segmentIndex = 0;
    double t = 0;
};

double length(const QPointF& v)
{
    return std::hypot(v.x(), v.y());
}

QPointF pointOn(const CubicSegment& s, double t)
{
    const double u = 1 - t;
    return s.start * (u * u * u) + s.control1 * (3 * t * u * u) + s.control2 * (3 * t * t * u) +
           s.end * (t * t * t);
}

// De Casteljau: the parts of the segment before and after parameter t.
std::pair<CubicSegment, CubicSegment> split(const CubicSegment& s, double t)
{
    const auto lerp = [t](const QPointF& a, const QPointF& b) { return a + (b - a) * t; };
    const QPointF ab = lerp(s.start, s.control1);
    const QPointF bc = lerp(s.control1, s.control2);
    const QPointF cd = lerp(s.control2, s.end);
    const QPointF abc = lerp(ab, bc);
    const QPointF bcd = lerp(bc, cd);
    const QPointF mid = lerp(abc, bcd);
    return {{s.start, ab, abc, mid}, {mid, bcd, cd, s.end}};
}

// Where along the chain the arc length `wanted` is reached, measured in the same steps as
// approximateLength; the end of the last segment when the chain is shorter.
std::optional<TrimPosition> trimPosition(const QList<CubicSegment>& segments, double wanted)
{
    if (segments.isEmpty()) {
        return std::nullopt;
    }
    if (wanted <= 0) {
        return TrimPosition{0, 0};
    }
    double accumulated = 0;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        QPointF previous = segments[i].start;
        for (int k = 0; k < lengthSteps; ++k) {
            const QPointF next = pointOn(segments[i], double(k + 1) / lengthSteps);
            const double step = length(next - previous);
            if (accumulated + step >= wanted) {
                const double fraction = step > 0 ? (wanted - accumulated) / step : 0;
                return TrimPosition{i, (k + fraction) / lengthSteps};
            }
            accumulated += step;
            previous = next;
        }
    }
    return TrimPosition{segments.size() - 1, 1.0};
}

// The point `arcLength` along the polyline from its first point, or from its last point when
// `fromEnd`; the far end when the polyline is shorter.
QPointF pointAlongShaft(const QList<QPointF>& polyline, double arcLength, bool fromEnd)
{
    if (polyline.isEmpty()) {
        return {};
    }
    QList<QPointF> walk = polyline;
    if (fromEnd) {
        std::reverse(walk.begin(), walk.end());
    }
    double remaining = arcLength;
    for (qsizetype i = 0; i + 1 < walk.size(); ++i) {
        const QPointF a = walk[i];
        const QPointF b = walk[i + 1];
        const double s = length(b - a);
        if (remaining <= s) {
            return a + (b - a) * (s > 0 ? remaining / s : 0);
        }
        remaining -= s;
    }
    return walk.back();
}

Head headAt(const QPointF& tip, double angle, double headLength, double halfBaseWidth)
{
    const QPointF direction(std::cos(angle), std::sin(angle));
    const QPointF normal(-direction.y(), direction.x());
    const QPointF baseCentre = tip - headLength * direction;
    return {tip, baseCentre + halfBaseWidth * normal, baseCentre - halfBaseWidth * normal};
}

// Twice the signed area of the head's triangle.
double doubledSignedArea(const Head& head)
{
    return (head.tip.x() - head.baseB.x()) * (head.baseA.y() - head.baseB.y()) -
           (head.baseA.x() - head.baseB.x()) * (head.tip.y() - head.baseB.y());
}

bool isDegenerate(const Head& head)
{
    return !(std::abs(doubledSignedArea(head)) >= tolerance);
}

QPainterPath shaftPath(const QList<CubicSegment>& segments)
{
    QPainterPath path;
    if (segments.isEmpty()) {
        return path;
    }
    path.moveTo(segments.front().start);
    for (const CubicSegment& s : segments) {
        path.cubicTo(s.control1, s.control2, s.end);
    }
    return path;
}

// One closed triangle per head, all wound the same way, so that they fill as a union.
QPainterPath headsPath(const QList<Head>& heads)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const Head& head : heads) {
        const bool clockwise = doubledSignedArea(head) < 0;
        path.moveTo(head.tip);
        path.lineTo(clockwise ? head.baseA : head.baseB);
        path.lineTo(clockwise ? head.baseB : head.baseA);
        path.closeSubpath();
    }
    return path;
}

// The heads plus, per head, a quadrilateral from the base's midpoint to lineWidth beyond the tip
// and lineWidth beyond the wider of the half base and the line width on each side: everything
// of the shaft (its round cap too) that could show under or around a head.
QPainterPath headErasePath(const QList<Head>& heads, double lineWidth)
{
    QPainterPath path = headsPath(heads);
    for (const Head& head : heads) {
        const QPointF mid = (head.baseA + head.baseB) / 2;
        const double axisLength = length(head.tip - mid);
        if (axisLength <= tolerance) {
            continue;
        }
        const QPointF axis = (head.tip - mid) / axisLength;
        const double half = std::max(length(head.baseA - head.baseB) / 2, lineWidth);
        const QPointF side = (half + lineWidth) * QPointF(-axis.y(), axis.x());
        const QPointF beyondTip = head.tip + lineWidth * axis;
        path.moveTo(mid + side);
        path.lineTo(beyondTip + side);
        path.lineTo(beyondTip - side);
        path.lineTo(mid - side);
        path.closeSubpath();
    }
    return path;
}

QPen shaftPen(const QColor& color, double lineWidth, bool dashed)
{
    QPen pen(color, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (dashed) {
        // Qt measures dash patterns in line widths.
        pen.setDashPattern({dashLength / lineWidth, gapLength / lineWidth});
        pen.setDashOffset(0);
    }
    return pen;
}

// The device pixels painting can reach: the image of an image device, the system clip of a
// widget's paint event, else the device's size; narrowed by the painter's own clip. Absent when
// the device has no known extent: a picture records without bounds, and other devices may
// report none.
std::optional<QRectF> paintableDeviceRect(const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    QRectF area;
    if (device->devType() == QInternal::Image) {
        area = static_cast<const QImage*>(device)->rect();
    } else if (const QRegion system = painter.paintEngine()->systemClip(); !system.isEmpty()) {
        area = system.boundingRect();
    } else if (device->devType() == QInternal::Picture || device->width() <= 0 ||
               device->height() <= 0) {
        return std::nullopt;
    } else {
        const double ratio = device->devicePixelRatio();
        area = QRectF(0, 0, device->width() * ratio, device->height() * ratio);
    }
    if (painter.hasClipping()) {
        area &= painter.deviceTransform().mapRect(painter.clipBoundingRect());
    }
    return area;
}

// Paints the shaft, erases it under the heads and fills the heads, in that order, into a
// transparent offscreen layer at the device's resolution, then composites the layer once.
// Returns false, having painted nothing, when no layer could be made: the device's extent is
// unknown, so the layer's could not be bounded, or its bitmap could not be allocated.
bool paintInLayer(QPainter& painter, const QPainterPath& shaft, const QPen& pen,
                  const QPainterPath& erase, const QPainterPath& heads, const QColor& color)
{
    const auto paintable = paintableDeviceRect(painter);
    if (!paintable) {
        return false;
    }
    const double reach = pen.widthF();
    const QRectF bounds =
        shaft.boundingRect().adjusted(-reach, -reach, reach, reach) | erase.boundingRect();
    const QTransform toDevice = painter.deviceTransform();
    // Intersected before converting to integers: a huge line width reaches far beyond int.
    const QRect area =
        (toDevice.mapRect(bounds).adjusted(-1, -1, 1, 1) & *paintable).toAlignedRect();
    if (area.isEmpty()) {
        return true;
    }
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull()) {
        return false;
    }
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHints(painter.renderHints());
        layerPainter.setTransform(toDevice * QTransform::fromTranslate(-area.x(), -area.y()));
        layerPainter.strokePath(shaft, pen);
        layerPainter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        layerPainter.fillPath(erase, Qt::black);
        layerPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        layerPainter.fillPath(heads, color);
    }
    painter.save();
    // World coordinates that are device pixels, whatever the painter's redirection.
    painter.setWorldTransform(toDevice.inverted() * painter.worldTransform());
    painter.drawImage(area.topLeft(), layer);
    painter.restore();
    return true;
}

bool isFinite(const QPointF& p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

} // namespace

QList<CubicSegment> cubicSegments(const QList<QPointF>& points)
{
    QList<CubicSegment> segments;
    for (qsizetype i = 0; i + 1 < points.size(); ++i) {
        const auto [control1, control2] = MarkupGeometry::arrowCubicControlPoints(points, i);
        segments.append({points[i], control1, control2, points[i + 1]});
    }
    return segments;
}

double approximateLength(const CubicSegment& segment)
{
    double total = 0;
    QPointF previous = segment.start;
    for (int k = 1; k <= lengthSteps; ++k) {
        const QPointF next = pointOn(segment, double(k) / lengthSteps);
        total += length(next - previous);
        previous = next;
    }
    return total;
}

std::optional<QList<CubicSegment>> trim(const QList<CubicSegment>& segments, double fromStart,
                                        double fromEnd)
{
    if (segments.isEmpty()) {
        return std::nullopt;
    }
    double total = 0;
    for (const CubicSegment& s : segments) {
        total += approximateLength(s);
    }
    const double a = std::max(fromStart, 0.0);
    const double b = total - std::max(fromEnd, 0.0);
    if (!(a < b - tolerance)) {
        return QList<CubicSegment>();
    }
    const auto from = trimPosition(segments, a);
    const auto to = trimPosition(segments, b);
    if (!from || !to || to->segmentIndex < from->segmentIndex) {
        return segments;
    }
    QList<CubicSegment> result;
    for (qsizetype i = from->segmentIndex; i <= to->segmentIndex; ++i) {
        const double t0 = std::clamp(i == from->segmentIndex ? from->t : 0.0, 0.0, 1.0);
        const double t1 = std::clamp(i == to->segmentIndex ? to->t : 1.0, 0.0, 1.0);
        if (t1 - t0 <= tolerance) {
            continue;
        }
        CubicSegment piece = segments[i];
        if (t0 > tolerance) {
            piece = split(piece, t0).second;
        }
        if (t1 < 1 - tolerance) {
            piece = split(piece, (t1 - t0) / (1 - t0)).first;
        }
        result.append(piece);
    }
    return result;
}

std::optional<double> headAngle(Endpoint endpoint, const QList<QPointF>& points, double headLength)
{
    if (points.size() < 2) {
        return std::nullopt;
    }
    const bool atEnd = endpoint == Endpoint::end;
    const QPointF tip = atEnd ? points.back() : points.front();
    const QPointF tangent =
        atEnd ? tip - MarkupGeometry::arrowCubicControlPoints(points, points.size() - 2).second
              : tip - MarkupGeometry::arrowCubicControlPoints(points, 0).first;
    if (length(tangent) <= tolerance) {
        return std::nullopt;
    }
    const double tangentAngle = std::atan2(tangent.y(), tangent.x());
    if (points.size() == 2 || !(headLength > minimumHeadChord)) {
        return tangentAngle;
    }
    const QList<QPointF> samples =
        MarkupGeometry::sampledArrowPathPoints(points, MarkupGeometry::arrowSamplesPerSegment);
    const QPointF chord = tip - pointAlongShaft(samples, headLength, atEnd);
    if (length(chord) <= minimumHeadChord) {
        return tangentAngle;
    }
    const double chordAngle = std::atan2(chord.y(), chord.x());
    const double turn = chordAngle - tangentAngle;
    const double wrappedTurn = std::atan2(std::sin(turn), std::cos(turn));
    return std::abs(wrappedTurn) <= maximumChordTurn ? chordAngle : tangentAngle;
}

std::optional<ArrowShape> arrowShape(const QPointF& start, const QPointF& end,
                                     const QList<QPointF>& anchors, double lineWidth,
                                     double headScale, double headWidthScale,
                                     MarkupArrowheadStyle style)
{
    const double chord = length(end - start);
    if (!(chord > minimumChord)) {
        return std::nullopt;
    }
    QList<QPointF> points;
    points.reserve(anchors.size() + 2);
    points.append(start);
    points.append(anchors);
    points.append(end);

    const double halfAngle = std::max(std::min(headWidthScale * pi / 7, pi / 3), 0.12);
    const double headLength = std::min(0.6 * chord, lineWidth * headScale);
    const QPointF along = end - start;
    const double endAngle =
        headAngle(Endpoint::end, points, headLength).value_or(std::atan2(along.y(), along.x()));
    const double startAngle =
        headAngle(Endpoint::start, points, headLength).value_or(std::atan2(-along.y(), -along.x()));
    const double halfBaseWidth = headLength * std::tan(halfAngle);

    std::optional<Head> startHead;
    std::optional<Head> endHead;
    if (style != MarkupArrowheadStyle::none) {
        endHead = headAt(end, endAngle, headLength, halfBaseWidth);
    }
    if (style == MarkupArrowheadStyle::both) {
        startHead = headAt(start, startAngle, headLength, halfBaseWidth);
    }
    ArrowShape shape;
    double startTrim = 0;
    double endTrim = 0;
    if (startHead && !isDegenerate(*startHead)) {
        shape.heads.append(*startHead);
        startTrim = headLength;
    }
    if (endHead && !isDegenerate(*endHead)) {
        shape.heads.append(*endHead);
        endTrim = headLength;
    }
    shape.shaft = trim(cubicSegments(points), startTrim, endTrim).value_or(QList<CubicSegment>());
    return shape;
}

void draw(QPainter& painter, const QPointF& start, const QPointF& end,
          const QList<QPointF>& anchors, double lineWidth, double headScale, double headWidthScale,
          MarkupArrowheadStyle style, const QColor& color, bool dashed)
{
    const bool usable = painter.isActive() && lineWidth > 0 && std::isfinite(lineWidth) &&
                        std::isfinite(headScale) && std::isfinite(headWidthScale) &&
                        isFinite(start) && isFinite(end) &&
                        std::all_of(anchors.begin(), anchors.end(), isFinite);
    if (!usable) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPen pen = shaftPen(color, lineWidth, dashed);
    const auto shape = arrowShape(start, end, anchors, lineWidth, headScale, headWidthScale, style);
    if (!shape) {
        if (start == end) {
            // A zero-length line with round caps is a dot; Qt's stroker would draw nothing.
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(start, lineWidth / 2, lineWidth / 2);
        } else {
            QPainterPath line(start);
            line.lineTo(end);
            painter.strokePath(line, pen);
        }
        painter.restore();
        return;
    }
    const QPainterPath shaft = shaftPath(shape->shaft);
    if (shape->heads.isEmpty()) {
        painter.strokePath(shaft, pen);
        painter.restore();
        return;
    }
    const QPainterPath heads = headsPath(shape->heads);
    if (!paintInLayer(painter, shaft, pen, headErasePath(shape->heads, lineWidth), heads, color)) {
        painter.strokePath(shaft, pen);
        painter.fillPath(heads, color);
    }
    painter.restore();
}

} // namespace MarkupArrowRenderer
