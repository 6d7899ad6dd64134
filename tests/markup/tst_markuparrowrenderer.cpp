#include "MarkupArrowRenderer.h"
#include "MarkupGeometry.h"
#include "RenderTestSupport.h"

#include <QPicture>
#include <QTest>
#include <cmath>
#include <numbers>

using namespace MarkupArrowRenderer;
using namespace RenderTestSupport;
using std::numbers::pi;

Q_DECLARE_METATYPE(MarkupArrowheadStyle)

namespace {

double distance(const QPointF& a, const QPointF& b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

double shaftLength(const QList<CubicSegment>& shaft)
{
    double total = 0;
    for (const CubicSegment& segment : shaft) {
        total += approximateLength(segment);
    }
    return total;
}

// The direction from the point `headLength` back along the sampled curve through `points` to its
// last point: the chord a head at the end follows.
double chordAngleUnderTheEndHead(const QList<QPointF>& points, double headLength)
{
    const QList<QPointF> samples =
        MarkupGeometry::sampledArrowPathPoints(points, MarkupGeometry::arrowSamplesPerSegment);
    double remaining = headLength;
    QPointF base = samples.front();
    for (qsizetype i = samples.size() - 1; i > 0; --i) {
        const double step = distance(samples[i], samples[i - 1]);
        if (remaining <= step) {
            base = samples[i] + (samples[i - 1] - samples[i]) * (remaining / step);
            break;
        }
        remaining -= step;
    }
    const QPointF chord = samples.back() - base;
    return std::atan2(chord.y(), chord.x());
}

} // namespace

class TestMarkupArrowRenderer : public QObject
{
    Q_OBJECT

private slots:
    void headSize_data();
    void headSize();
    void headsAndTrimsByStyle_data();
    void headsAndTrimsByStyle();
    void headsLongerThanHalfTheShaftLeaveNoShaft();
    void nearlyCoincidentEndsAreAPlainLine();
    void trimmingFollowsTheCurve();
    void headAngle_data();
    void headAngle();
    void paintsTheEndsTheStyleAsksFor_data();
    void paintsTheEndsTheStyleAsksFor();
    void translucentArrowIsPaintedOnceUnderItsHead();
    void arrowIsPaintedOnADeviceWithoutExtent();
    void dashesDoNotScaleWithTheLineWidth_data();
    void dashesDoNotScaleWithTheLineWidth();
    void layerStaysInsideTheClip();
    void layerLandsRightOnAHighResolutionImage();
    void unusableInputPaintsNothing_data();
    void unusableInputPaintsNothing();
    void hugeLineWidthDoesNotHang();
};

void TestMarkupArrowRenderer::headSize_data()
{
    QTest::addColumn<double>("chord");
    QTest::addColumn<double>("lineWidth");
    QTest::addColumn<double>("headScale");
    QTest::addColumn<double>("headWidthScale");
    QTest::addColumn<double>("length");
    QTest::addColumn<double>("halfAngle");
    QTest::newRow("line width times head scale") << 100.0 << 4.0 << 3.0 << 1.0 << 12.0 << pi / 7;
    QTest::newRow("at most 0.6 of the chord") << 10.0 << 4.0 << 3.0 << 1.0 << 6.0 << pi / 7;
    QTest::newRow("half-angle at most pi/3") << 100.0 << 4.0 << 3.0 << 10.0 << 12.0 << pi / 3;
    QTest::newRow("half-angle at least 0.12") << 100.0 << 4.0 << 3.0 << 0.0 << 12.0 << 0.12;
}

void TestMarkupArrowRenderer::headSize()
{
    QFETCH(double, chord);
    QFETCH(double, lineWidth);
    QFETCH(double, headScale);
    QFETCH(double, headWidthScale);
    QFETCH(double, length);
    QFETCH(double, halfAngle);
    const auto shape = arrowShape({0, 0}, {chord, 0}, {}, lineWidth, headScale, headWidthScale,
                                  MarkupArrowheadStyle::end);
    QVERIFY(shape);
    QCOMPARE(shape->heads.size(), 1);
    const Head head = shape->heads.front();
    QCOMPARE(head.tip, QPointF(chord, 0));
    const QPointF baseCentre = (head.baseA + head.baseB) / 2;
    QVERIFY(qFuzzyCompare(distance(head.tip, baseCentre), length));
    QVERIFY(qFuzzyCompare(distance(head.baseA, head.baseB) / 2, length * std::tan(halfAngle)));
}

void TestMarkupArrowRenderer::headsAndTrimsByStyle_data()
{
    QTest::addColumn<MarkupArrowheadStyle>("style");
    QTest::addColumn<double>("headScale");
    QTest::addColumn<QList<QPointF>>("tips");
    QTest::addColumn<QPointF>("shaftStart");
    QTest::addColumn<QPointF>("shaftEnd");
    const QPointF start(10, 20);
    const QPointF end(110, 20);
    QTest::newRow("none: full shaft, no heads") << MarkupArrowheadStyle(MarkupArrowheadStyle::none)
                                                << 5.0 << QList<QPointF>() << start << end;
    QTest::newRow("end: shaft stops one head length before the end")
        << MarkupArrowheadStyle(MarkupArrowheadStyle::end) << 5.0 << QList<QPointF>{end} << start
        << QPointF(90, 20);
    QTest::newRow("both: start head first, shaft shortened at both ends")
        << MarkupArrowheadStyle(MarkupArrowheadStyle::both) << 5.0 << QList<QPointF>{start, end}
        << QPointF(30, 20) << QPointF(90, 20);
    QTest::newRow("a head without length is dropped and trims nothing")
        << MarkupArrowheadStyle(MarkupArrowheadStyle::both) << 0.0 << QList<QPointF>() << start
        << end;
}

void TestMarkupArrowRenderer::headsAndTrimsByStyle()
{
    QFETCH(MarkupArrowheadStyle, style);
    QFETCH(double, headScale);
    QFETCH(QList<QPointF>, tips);
    QFETCH(QPointF, shaftStart);
    QFETCH(QPointF, shaftEnd);
    const auto shape = arrowShape({10, 20}, {110, 20}, {}, 4, headScale, 1, style);
    QVERIFY(shape);
    QCOMPARE(shape->heads.size(), tips.size());
    for (qsizetype i = 0; i < tips.size(); ++i) {
        QCOMPARE(shape->heads[i].tip, tips[i]);
    }
    QVERIFY(!shape->shaft.isEmpty());
    QVERIFY(distance(shape->shaft.front().start, shaftStart) < 0.01);
    QVERIFY(distance(shape->shaft.back().end, shaftEnd) < 0.01);
}

void TestMarkupArrowRenderer::headsLongerThanHalfTheShaftLeaveNoShaft()
{
    // Chord 10: each head is 6 long, together longer than the shaft.
    const auto shape = arrowShape({0, 0}, {10, 0}, {}, 4, 10, 1, MarkupArrowheadStyle::both);
    QVERIFY(shape);
    QCOMPARE(shape->heads.size(), 2);
    QVERIFY(shape->shaft.isEmpty());

    QImage image = canvas(40, 20);
    paint(image, [](QPainter& p) {
        draw(p, {15, 10}, {25, 10}, {}, 4, 10, 1, MarkupArrowheadStyle::both, Qt::black, false);
    });
    QCOMPARE(pixelAt(image, {18, 10}), QColor(Qt::black));
    QCOMPARE(pixelAt(image, {21, 10}), QColor(Qt::black));
}

void TestMarkupArrowRenderer::nearlyCoincidentEndsAreAPlainLine()
{
    QVERIFY(!arrowShape({5, 5}, {5.00005, 5}, {{50, 50}}, 4, 5, 1, MarkupArrowheadStyle::both));

    // The anchors are ignored: nothing is painted near the anchor, a round dot at the ends.
    QImage image = canvas(60, 60);
    paint(image, [](QPainter& p) {
        draw(p, {10, 10}, {10, 10}, {{40, 40}}, 6, 5, 1, MarkupArrowheadStyle::both, Qt::black,
             false);
    });
    QCOMPARE(pixelAt(image, {10, 10}), QColor(Qt::black));
    QCOMPARE(inkBounds(image), QRect(QPoint(7, 7), QPoint(12, 12)));
}

void TestMarkupArrowRenderer::trimmingFollowsTheCurve()
{
    const QList<QPointF> points{{0, 0}, {50, 40}, {100, 0}};
    const QList<CubicSegment> segments = cubicSegments(points);
    QCOMPARE(segments.size(), 2);
    const double total = shaftLength(segments);

    const auto trimmed = trim(segments, 15, 25);
    QVERIFY(trimmed);
    QCOMPARE(trimmed->size(), 2);
    QVERIFY(std::abs(shaftLength(*trimmed) - (total - 40)) < 0.1);
    // The cuts lie on the curve: 15 along from the start, 25 back from the end.
    QVERIFY(std::abs(distance(trimmed->front().start, points.front()) - 15) < 0.5);
    QVERIFY(std::abs(distance(trimmed->back().end, points.back()) - 25) < 0.5);

    QVERIFY(trim(segments, total / 2, total / 2)->isEmpty());
    QVERIFY(!trim({}, 1, 1));
    const auto untouched = trim(segments, -3, 0);
    QCOMPARE(untouched->front().start, points.front());
    QCOMPARE(untouched->back().end, points.back());
}

void TestMarkupArrowRenderer::headAngle_data()
{
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<double>("headLength");
    QTest::addColumn<bool>("followsTangent");
    QTest::addColumn<double>("tangentAngle");
    QTest::newRow("straight arrow: the tangent")
        << QList<QPointF>{{0, 0}, {30, 40}} << 12.0 << true << std::atan2(40.0, 30.0);
    QTest::newRow("gentle curve: the chord under the head")
        << QList<QPointF>{{0, 0}, {50, 20}, {100, 0}} << 15.0 << false << std::atan2(-20.0, 50.0);
    QTest::newRow("head shorter than half a unit: the tangent")
        << QList<QPointF>{{0, 0}, {50, 20}, {100, 0}} << 0.5 << true << std::atan2(-20.0, 50.0);
    QTest::newRow("bend sharper than 75 degrees under the head: the tangent")
        << QList<QPointF>{{0, 0}, {100, 0}, {100, 1}} << 20.0 << true << pi / 2;
}

void TestMarkupArrowRenderer::headAngle()
{
    QFETCH(QList<QPointF>, points);
    QFETCH(double, headLength);
    QFETCH(bool, followsTangent);
    QFETCH(double, tangentAngle);
    const auto angle = MarkupArrowRenderer::headAngle(Endpoint::end, points, headLength);
    QVERIFY(angle);
    if (followsTangent) {
        QVERIFY(std::abs(*angle - tangentAngle) < 1e-9);
    } else {
        QVERIFY(std::abs(*angle - tangentAngle) > 0.01);
        QVERIFY(std::abs(*angle - chordAngleUnderTheEndHead(points, headLength)) < 1e-9);
    }
    // The start head points backwards along the same curve.
    QList<QPointF> reversed(points.rbegin(), points.rend());
    const auto startAngle = MarkupArrowRenderer::headAngle(Endpoint::start, reversed, headLength);
    QVERIFY(startAngle);
    QVERIFY(std::abs(*startAngle - *angle) < 1e-9);

    QVERIFY(!MarkupArrowRenderer::headAngle(Endpoint::end, {{1, 1}}, headLength));
}

void TestMarkupArrowRenderer::paintsTheEndsTheStyleAsksFor_data()
{
    QTest::addColumn<MarkupArrowheadStyle>("style");
    QTest::addColumn<bool>("startHead");
    QTest::addColumn<bool>("endHead");
    QTest::newRow("none") << MarkupArrowheadStyle(MarkupArrowheadStyle::none) << false << false;
    QTest::newRow("end") << MarkupArrowheadStyle(MarkupArrowheadStyle::end) << false << true;
    QTest::newRow("both") << MarkupArrowheadStyle(MarkupArrowheadStyle::both) << true << true;
}

void TestMarkupArrowRenderer::paintsTheEndsTheStyleAsksFor()
{
    QFETCH(MarkupArrowheadStyle, style);
    QFETCH(bool, startHead);
    QFETCH(bool, endHead);
    // Line width 4, heads 20 long and about 19 wide (half-angle pi/7).
    QImage image = canvas(200, 60);
    paint(image, [&](QPainter& p) {
        draw(p, {20, 30}, {180, 30}, {}, 4, 5, 1, style, Qt::black, false);
    });
    const QColor black(Qt::black);
    QCOMPARE(pixelAt(image, {100, 30}), black);
    // Beside the axis near an end, only a head is wide enough to reach.
    QCOMPARE(pixelAt(image, {35, 35}) == black, startHead);
    QCOMPARE(pixelAt(image, {165, 35}) == black, endHead);
    QCOMPARE(pixelAt(image, {35, 25}) == black, startHead);
    QCOMPARE(pixelAt(image, {165, 25}) == black, endHead);
    // Nothing beyond the tips.
    QCOMPARE(pixelAt(image, {185, 30}), QColor(Qt::white));
    QCOMPARE(pixelAt(image, {15, 30}), QColor(Qt::white));
}

void TestMarkupArrowRenderer::translucentArrowIsPaintedOnceUnderItsHead()
{
    const QColor translucent(0, 0, 255, 128);
    QImage image = canvas(200, 60, Qt::transparent);
    paint(image, [&](QPainter& p) {
        draw(p, {20, 30}, {180, 30}, {}, 6, 5, 1, MarkupArrowheadStyle::end, translucent, false);
    });
    // Shaft 6 wide, head 30 long: its base is at x = 150, where the shaft's round cap reaches
    // 3 units into the head. Painted twice, the alpha there would be about 192.
    for (const double x : {100.0, 151.0, 152.5, 160.0}) {
        QVERIFY2(isNear(pixelAt(image, {x, 30.5}), translucent),
                 qPrintable(QString("x = %1").arg(x)));
    }
}

void TestMarkupArrowRenderer::arrowIsPaintedOnADeviceWithoutExtent()
{
    // A picture has no extent while it records, so no layer can be bounded for it.
    QPicture picture;
    {
        QPainter p(&picture);
        draw(p, {20, 30}, {180, 30}, {}, 4, 5, 1, MarkupArrowheadStyle::end, Qt::black, false);
    }
    QImage image = canvas(200, 60);
    {
        QPainter p(&image);
        p.drawPicture(0, 0, picture);
    }
    const QColor black(Qt::black);
    QCOMPARE(pixelAt(image, {60, 30}), black);
    QCOMPARE(pixelAt(image, {120, 30}), black);
    // The head: wider than the shaft near the tip, nothing beyond it.
    QCOMPARE(pixelAt(image, {165, 35}), black);
    QCOMPARE(pixelAt(image, {165, 25}), black);
    QCOMPARE(pixelAt(image, {185, 30}), QColor(Qt::white));
}

void TestMarkupArrowRenderer::dashesDoNotScaleWithTheLineWidth_data()
{
    QTest::addColumn<double>("lineWidth");
    QTest::newRow("1") << 1.0;
    QTest::newRow("2") << 2.0;
}

void TestMarkupArrowRenderer::dashesDoNotScaleWithTheLineWidth()
{
    QFETCH(double, lineWidth);
    QImage image = canvas(100, 20);
    paint(image, [&](QPainter& p) {
        draw(p, {0, 10.5}, {100, 10.5}, {}, lineWidth, 5, 1, MarkupArrowheadStyle::none, Qt::black,
             true);
    });
    // Dashes of 8 from x = 0, 12, 24, ...; gaps of 4 between them, narrowed by the round caps.
    for (const double x : {4.0, 16.0, 28.0, 40.0}) {
        QCOMPARE(pixelAt(image, {x, 10}).value() < 128, true);
    }
    for (const double x : {10.0, 22.0, 34.0, 46.0}) {
        QCOMPARE(pixelAt(image, {x, 10}), QColor(Qt::white));
    }
}

void TestMarkupArrowRenderer::layerStaysInsideTheClip()
{
    QImage image = canvas(200, 60);
    paint(image, [](QPainter& p) {
        p.setClipRect(QRectF(0, 0, 100, 60));
        draw(p, {20, 30}, {180, 30}, {}, 4, 5, 1, MarkupArrowheadStyle::both, Qt::black, false);
    });
    QCOMPARE(pixelAt(image, {30, 30}), QColor(Qt::black));
    QCOMPARE(inkBounds(image).right(), 99);
}

void TestMarkupArrowRenderer::layerLandsRightOnAHighResolutionImage()
{
    QImage image(400, 120, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    paint(image, [](QPainter& p) {
        draw(p, {20, 30}, {180, 30}, {}, 4, 5, 1, MarkupArrowheadStyle::end, Qt::black, false);
    });
    // In pixels: the tip at (360, 60) from the bottom, the head beside the axis.
    QCOMPARE(pixelAt(image, {330, 70}), QColor(Qt::black));
    QCOMPARE(pixelAt(image, {200, 61}), QColor(Qt::black));
    QCOMPARE(pixelAt(image, {366, 60}), QColor(Qt::white));
    QCOMPARE(pixelAt(image, {70, 70}), QColor(Qt::white));
}

void TestMarkupArrowRenderer::unusableInputPaintsNothing_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    QTest::addColumn<QPointF>("end");
    QTest::addColumn<double>("lineWidth");
    QTest::addColumn<double>("headScale");
    QTest::newRow("zero line width") << QPointF(90, 30) << 0.0 << 5.0;
    QTest::newRow("negative line width") << QPointF(90, 30) << -2.0 << 5.0;
    QTest::newRow("line width not a number") << QPointF(90, 30) << nan << 5.0;
    QTest::newRow("infinite end") << QPointF(infinity, 30) << 2.0 << 5.0;
    QTest::newRow("head scale not a number") << QPointF(90, 30) << 2.0 << nan;
}

void TestMarkupArrowRenderer::unusableInputPaintsNothing()
{
    QFETCH(QPointF, end);
    QFETCH(double, lineWidth);
    QFETCH(double, headScale);
    QImage image = canvas(100, 60);
    paint(image, [&](QPainter& p) {
        draw(p, {10, 30}, end, {}, lineWidth, headScale, 1, MarkupArrowheadStyle::both, Qt::black,
             false);
    });
    QVERIFY(inkBounds(image).isEmpty());
}

void TestMarkupArrowRenderer::hugeLineWidthDoesNotHang()
{
    QImage image = canvas(100, 60);
    paint(image, [](QPainter& p) {
        draw(p, {10, 30}, {90, 30}, {{50, 50}}, 1e9, 5, 1, MarkupArrowheadStyle::both, Qt::black,
             true);
    });
    QCOMPARE(pixelAt(image, {50, 30}), QColor(Qt::black));
}

QTEST_MAIN(TestMarkupArrowRenderer)
#include "tst_markuparrowrenderer.moc"
