#include "MarkupGeometry.h"

#include <QTest>
#include <limits>

using namespace MarkupGeometry;

class TestMarkupGeometry : public QObject
{
    Q_OBJECT

private slots:
    void containsIsHalfOpen_data();
    void containsIsHalfOpen();
    void normalizedRectClampsEachComponent_data();
    void normalizedRectClampsEachComponent();
    void normalizedPointClampsIntoTheImage_data();
    void normalizedPointClampsIntoTheImage();
    void denormalizingInvertsNormalizingInsideTheImage();
    void clampAndRect_data();
    void clampAndRect();
    void controlPointsOfThreePoints();
    void twoPointsStayStraight();
    void samplingPassesThroughEveryPoint();
    void controlBoundsHoldTheWholeCurve();
    void segmentDistance_data();
    void segmentDistance();
    void pathDistanceWithoutASegmentIsNeverNear_data();
    void pathDistanceWithoutASegmentIsNeverNear();
    void nearestPointGivesTheAnchorSlot_data();
    void nearestPointGivesTheAnchorSlot();
    void nearestPointPrefersTheFirstOfEquallyNearSegments();
    void expandedToMinimumSize_data();
    void expandedToMinimumSize();
    void boundingRectOfPoints();
};

void TestMarkupGeometry::containsIsHalfOpen_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<bool>("inside");
    const QRectF r(10, 20, 30, 40);
    QTest::newRow("minimum corner is inside") << r << QPointF(10, 20) << true;
    QTest::newRow("interior") << r << QPointF(25, 50) << true;
    QTest::newRow("maximum x edge is outside") << r << QPointF(40, 30) << false;
    QTest::newRow("maximum y edge is outside") << r << QPointF(20, 60) << false;
    QTest::newRow("just below maximum x") << r << QPointF(39.999, 30) << true;
    QTest::newRow("left of minimum x") << r << QPointF(9.999, 30) << false;
    QTest::newRow("zero width contains nothing")
        << QRectF(10, 20, 0, 40) << QPointF(10, 30) << false;
    QTest::newRow("negative size counts from the other corner")
        << QRectF(40, 60, -30, -40) << QPointF(10, 20) << true;
    QTest::newRow("negative size: far corner outside")
        << QRectF(40, 60, -30, -40) << QPointF(40, 60) << false;
    QTest::newRow("not a number is outside")
        << r << QPointF(std::numeric_limits<double>::quiet_NaN(), 30) << false;
}

void TestMarkupGeometry::containsIsHalfOpen()
{
    QFETCH(QRectF, rect);
    QFETCH(QPointF, point);
    QFETCH(bool, inside);
    QCOMPARE(contains(rect, point), inside);
}

void TestMarkupGeometry::normalizedRectClampsEachComponent_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QRectF>("image");
    QTest::addColumn<QRectF>("expected");
    const QRectF image(100, 50, 200, 100);
    QTest::newRow("inside") << QRectF(150, 75, 50, 25) << image << QRectF(0.25, 0.25, 0.25, 0.25);
    QTest::newRow("hanging off the left edge keeps its full width")
        << QRectF(80, 75, 50, 25) << image << QRectF(0, 0.25, 0.25, 0.25);
    QTest::newRow("x plus width may exceed 1")
        << QRectF(250, 50, 100, 100) << image << QRectF(0.75, 0, 0.5, 1);
    QTest::newRow("larger than the image")
        << QRectF(0, 0, 1000, 1000) << image << QRectF(0, 0, 1, 1);
    QTest::newRow("negative size is standardized")
        << QRectF(200, 100, -50, -25) << image << QRectF(0.25, 0.25, 0.25, 0.25);
    QTest::newRow("zero-sized image gives no number, so 0")
        << QRectF(100, 50, 0, 0) << QRectF(100, 50, 0, 0) << QRectF(0, 0, 0, 0);
    QTest::newRow("zero-sized image, rectangle beside it")
        << QRectF(120, 40, 10, 10) << QRectF(100, 50, 0, 0) << QRectF(1, 0, 1, 1);
}

void TestMarkupGeometry::normalizedRectClampsEachComponent()
{
    QFETCH(QRectF, rect);
    QFETCH(QRectF, image);
    QFETCH(QRectF, expected);
    const QRectF result = normalizedRect(rect, image);
    QCOMPARE(result, expected);
    QVERIFY(std::isfinite(result.x()) && std::isfinite(result.width()));
}

void TestMarkupGeometry::normalizedPointClampsIntoTheImage_data()
{
    constexpr double infinity = std::numeric_limits<double>::infinity();
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QRectF>("image");
    QTest::addColumn<QPointF>("expected");
    const QRectF image(100, 50, 200, 100);
    QTest::newRow("centre") << QPointF(200, 100) << image << QPointF(0.5, 0.5);
    QTest::newRow("top-right corner") << QPointF(300, 150) << image << QPointF(1, 1);
    QTest::newRow("beyond the top-right") << QPointF(900, 900) << image << QPointF(1, 1);
    QTest::newRow("beyond the bottom-left") << QPointF(-900, -900) << image << QPointF(0, 0);
    QTest::newRow("infinite") << QPointF(infinity, -infinity) << image << QPointF(1, 0);
    QTest::newRow("zero-sized image") << QPointF(100, 50) << QRectF(100, 50, 0, 0) << QPointF(0, 0);
}

void TestMarkupGeometry::normalizedPointClampsIntoTheImage()
{
    QFETCH(QPointF, point);
    QFETCH(QRectF, image);
    QFETCH(QPointF, expected);
    QCOMPARE(normalizedPoint(point, image), expected);
}

void TestMarkupGeometry::denormalizingInvertsNormalizingInsideTheImage()
{
    const QRectF image(-40, 30, 640, 480);
    const QPointF point(123.5, 321.25);
    QCOMPARE(denormalizedPoint(normalizedPoint(point, image), image), point);
    const QRectF rect(0, 40, 100, 60);
    QCOMPARE(denormalizedRect(normalizedRect(rect, image), image), rect);
    // Denormalizing does not clamp.
    QCOMPARE(denormalizedPoint(QPointF(2, -1), image), QPointF(1240, -450));
}

void TestMarkupGeometry::clampAndRect_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<double>("expected");
    QTest::newRow("inside") << 0.5 << 0.0 << 1.0 << 0.5;
    QTest::newRow("below") << -3.0 << 0.0 << 1.0 << 0.0;
    QTest::newRow("above") << 7.0 << 0.0 << 1.0 << 1.0;
    QTest::newRow("lo above hi gives lo") << 0.5 << 2.0 << 1.0 << 2.0;
    QTest::newRow("not a number gives lo")
        << std::numeric_limits<double>::quiet_NaN() << 0.0 << 1.0 << 0.0;
}

void TestMarkupGeometry::clampAndRect()
{
    QFETCH(double, value);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(double, expected);
    QCOMPARE(clamp(value, lo, hi), expected);
    QCOMPARE(clampPoint(QPointF(value, value), QRectF(lo, lo, hi - lo, hi - lo)),
             lo <= hi ? QPointF(expected, expected) : QPointF(hi, hi));
    QCOMPARE(rect(QPointF(5, 1), QPointF(2, 3)), QRectF(2, 1, 3, 2));
}

void TestMarkupGeometry::controlPointsOfThreePoints()
{
    const QList<QPointF> points{{0, 0}, {1, 1}, {2, 0}};
    const auto [a1, a2] = arrowCubicControlPoints(points, 0);
    QCOMPARE(a1, QPointF(1.0 / 6, 1.0 / 6));
    QCOMPARE(a2, QPointF(2.0 / 3, 1));
    const auto [b1, b2] = arrowCubicControlPoints(points, 1);
    QCOMPARE(b1, QPointF(4.0 / 3, 1));
    QCOMPARE(b2, QPointF(11.0 / 6, 1.0 / 6));
}

void TestMarkupGeometry::twoPointsStayStraight()
{
    const QList<QPointF> points{{0, 0}, {6, 12}};
    const auto [c1, c2] = arrowCubicControlPoints(points, 0);
    QCOMPARE(c1, QPointF(1, 2));
    QCOMPARE(c2, QPointF(5, 10));
    // A straight arrow is not sampled.
    QCOMPARE(sampledArrowPathPoints(points, 24), points);
    QCOMPARE(sampledArrowPathPoints({QPointF(3, 4)}, 24), QList<QPointF>{QPointF(3, 4)});
    QVERIFY(sampledArrowPathPoints({}, 24).isEmpty());
}

void TestMarkupGeometry::samplingPassesThroughEveryPoint()
{
    const QList<QPointF> points{{0, 0}, {1, 1}, {2, 0}, {5, 3}};
    const QList<QPointF> samples = sampledArrowPathPoints(points, 24);
    QCOMPARE(samples.size(), 1 + 3 * 24);
    for (qsizetype i = 0; i < points.size(); ++i) {
        QCOMPARE(samples[i * 24], points[i]);
    }
    // Exactly, not just nearly: the last sample of a segment is its end point.
    QVERIFY(samples[24] == QPointF(1, 1));
    QCOMPARE(sampledArrowPathPoints(points.first(3), 24).size(), 49);
    QCOMPARE(sampledArrowPathPoints(points.first(3), 1).size(), 3);
}

void TestMarkupGeometry::controlBoundsHoldTheWholeCurve()
{
    const QList<QPointF> points{{0, 0}, {30, 60}, {70, 60}, {100, 0}, {120, -40}};
    const QRectF bounds = arrowPathControlBounds(points);
    for (const QPointF& sample : sampledArrowPathPoints(points, 24)) {
        QVERIFY(minX(bounds) <= sample.x() && sample.x() <= maxX(bounds));
        QVERIFY(minY(bounds) <= sample.y() && sample.y() <= maxY(bounds));
    }
    // The curve overshoots its points, and the bounds follow it.
    QVERIFY(maxY(bounds) > 60);
    QCOMPARE(arrowPathControlBounds({QPointF(5, 5), QPointF(1, 9)}), QRectF(1, 5, 4, 4));
}

void TestMarkupGeometry::segmentDistance_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<QPointF>("end");
    QTest::addColumn<double>("expected");
    QTest::newRow("perpendicular to the middle")
        << QPointF(5, 3) << QPointF(0, 0) << QPointF(10, 0) << 3.0;
    QTest::newRow("beyond the end measures to the end")
        << QPointF(13, 4) << QPointF(0, 0) << QPointF(10, 0) << 5.0;
    QTest::newRow("before the start measures to the start")
        << QPointF(-3, -4) << QPointF(0, 0) << QPointF(10, 0) << 5.0;
    QTest::newRow("degenerate segment measures to its start")
        << QPointF(3, 4) << QPointF(0, 0) << QPointF(0, 0) << 5.0;
    QTest::newRow("segment shorter than epsilon")
        << QPointF(3, 4) << QPointF(0, 0) << QPointF(1e-17, 0) << 5.0;
}

void TestMarkupGeometry::segmentDistance()
{
    QFETCH(QPointF, point);
    QFETCH(QPointF, start);
    QFETCH(QPointF, end);
    QFETCH(double, expected);
    QCOMPARE(distanceFromPoint(point, start, end), expected);
}

void TestMarkupGeometry::pathDistanceWithoutASegmentIsNeverNear_data()
{
    QTest::addColumn<QList<QPointF>>("points");
    QTest::newRow("empty") << QList<QPointF>{};
    QTest::newRow("single point") << QList<QPointF>{QPointF(1, 1)};
}

void TestMarkupGeometry::pathDistanceWithoutASegmentIsNeverNear()
{
    QFETCH(QList<QPointF>, points);
    QCOMPARE(distanceFromPoint(QPointF(1, 1), points), std::numeric_limits<double>::max());
    QVERIFY(!nearestPointOnArrowPath(QPointF(1, 1), points));
}

void TestMarkupGeometry::nearestPointGivesTheAnchorSlot_data()
{
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<QPointF>("click");
    QTest::addColumn<qsizetype>("insertionIndex");
    const QList<QPointF> oneAnchor{{0, 0}, {100, 100}, {200, 0}};
    QTest::newRow("straight arrow")
        << QList<QPointF>{{0, 0}, {100, 0}} << QPointF(40, 7) << qsizetype(0);
    QTest::newRow("one anchor, first segment") << oneAnchor << QPointF(40, 60) << qsizetype(0);
    QTest::newRow("one anchor, second segment") << oneAnchor << QPointF(160, 60) << qsizetype(1);
    QTest::newRow("one anchor, beyond the end") << oneAnchor << QPointF(260, -30) << qsizetype(1);
    // The last sample segment of the first curve segment still belongs to it.
    const QList<QPointF> samples = sampledArrowPathPoints(oneAnchor, 24);
    QTest::newRow("one anchor, just before it")
        << oneAnchor << (samples[23] + samples[24]) / 2 << qsizetype(0);
    QTest::newRow("one anchor, just after it")
        << oneAnchor << (samples[24] + samples[25]) / 2 << qsizetype(1);
    QTest::newRow("two anchors, middle segment")
        << QList<QPointF>{{0, 0}, {100, 0}, {200, 0}, {300, 0}} << QPointF(150, 5) << qsizetype(1);
}

void TestMarkupGeometry::nearestPointGivesTheAnchorSlot()
{
    QFETCH(QList<QPointF>, points);
    QFETCH(QPointF, click);
    QFETCH(qsizetype, insertionIndex);
    const auto nearest = nearestPointOnArrowPath(click, points);
    QVERIFY(nearest);
    QCOMPARE(nearest->insertionIndex, insertionIndex);
    // The point lies on the curve, as near as any sample of it.
    QCOMPARE(distanceFromPoint(nearest->point, points) < 1e-9, true);
    QCOMPARE(MarkupGeometry::distance(click, nearest->point), distanceFromPoint(click, points));
}

void TestMarkupGeometry::nearestPointPrefersTheFirstOfEquallyNearSegments()
{
    // A path that doubles back on itself: both legs are equally near the click, and the
    // anchor goes into the first leg.
    const QList<QPointF> points{{0, 0}, {100, 0}, {0, 0}};
    const auto nearest = nearestPointOnArrowPath(QPointF(50, 10), points);
    QVERIFY(nearest);
    QCOMPARE(nearest->point, QPointF(50, 0));
    QCOMPARE(nearest->insertionIndex, 0);
}

void TestMarkupGeometry::expandedToMinimumSize_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<QRectF>("bounds");
    QTest::addColumn<QRectF>("expected");
    const QRectF bounds(0, 0, 100, 50);
    QTest::newRow("large enough stays")
        << QRectF(10, 10, 30, 20) << 1.0 << bounds << QRectF(10, 10, 30, 20);
    QTest::newRow("zero size at the top-right corner moves left and down")
        << QRectF(100, 50, 0, 0) << 1.0 << bounds << QRectF(99, 49, 1, 1);
    QTest::newRow("flat rectangle grows upwards")
        << QRectF(10, 10, 40, 0.5) << 1.0 << bounds << QRectF(10, 10, 40, 1);
    QTest::newRow("zero size at the bottom-left stays put")
        << QRectF(0, 0, 0, 0) << 20.0 << bounds << QRectF(0, 0, 20, 20);
    QTest::newRow("bounds smaller than the minimum: sticks out past the far edge")
        << QRectF(2, 2, 1, 1) << 20.0 << QRectF(0, 0, 10, 10) << QRectF(0, 0, 20, 20);
    QTest::newRow("bounds smaller, offset origin")
        << QRectF(12, 12, 0, 0) << 20.0 << QRectF(10, 10, 5, 5) << QRectF(10, 10, 20, 20);
}

void TestMarkupGeometry::expandedToMinimumSize()
{
    QFETCH(QRectF, rect);
    QFETCH(double, minimum);
    QFETCH(QRectF, bounds);
    QFETCH(QRectF, expected);
    QCOMPARE(MarkupGeometry::expandedToMinimumSize(rect, minimum, bounds), expected);
}

void TestMarkupGeometry::boundingRectOfPoints()
{
    QCOMPARE(boundingRect({}), QRectF());
    QCOMPARE(boundingRect({QPointF(3, 4)}), QRectF(3, 4, 0, 0));
    QCOMPARE(boundingRect({QPointF(3, 4), QPointF(-1, 9), QPointF(2, 0)}), QRectF(-1, 0, 4, 9));
}

QTEST_APPLESS_MAIN(TestMarkupGeometry)
#include "tst_markupgeometry.moc"
