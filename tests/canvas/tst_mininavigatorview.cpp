#include "MiniNavigatorView.h"

#include <QTest>

using NavigatorState = ImageCanvasView::NavigatorState;
Q_DECLARE_METATYPE(std::optional<QRectF>)
Q_DECLARE_METATYPE(std::optional<NavigatorState>)

namespace {

NavigatorState stateFor(double aspectRatio, QRectF visible = QRectF(0.25, 0.25, 0.5, 0.5))
{
    return NavigatorState{aspectRatio, visible};
}

bool isNear(QPointF a, QPointF b)
{
    return std::abs(a.x() - b.x()) < 1e-3 && std::abs(a.y() - b.y()) < 1e-3;
}

QImage rendered(MiniNavigatorView& view)
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

class TestMiniNavigatorView : public QObject
{
    Q_OBJECT

private slots:
    void imageRect_data();
    void imageRect();
    void pointerReportsClampedPoints_data();
    void pointerReportsClampedPoints();
    void nothingWithoutAState();
    void drawsTheMiniatureUprightWithTheViewport();
    void miniatureIsSmallAndMadeOnce();
    void shouldShow_data();
    void shouldShow();
};

void TestMiniNavigatorView::imageRect_data()
{
    QTest::addColumn<double>("aspectRatio");
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<std::optional<QRectF>>("expected");

    const QRectF box(1, 1, 188, 133);
    QTest::newRow("landscape by width, centred vertically")
        << 2.0 << box << std::optional(QRectF(1, 20.5, 188, 94));
    QTest::newRow("portrait by height, centred horizontally")
        << 0.5 << box << std::optional(QRectF(61.75, 1, 66.5, 133));
    QTest::newRow("square by width, beyond the box")
        << 1.0 << box << std::optional(QRectF(1, -26.5, 188, 188));
    QTest::newRow("no width") << 1.5 << QRectF(1, 1, 0, 133) << std::optional<QRectF>();
    QTest::newRow("negative height") << 1.5 << QRectF(1, 1, 188, -3) << std::optional<QRectF>();
}

void TestMiniNavigatorView::imageRect()
{
    QFETCH(double, aspectRatio);
    QFETCH(QRectF, rect);
    QFETCH(std::optional<QRectF>, expected);

    QCOMPARE(MiniNavigatorView::imageRect(aspectRatio, rect), expected);
}

void TestMiniNavigatorView::pointerReportsClampedPoints_data()
{
    QTest::addColumn<double>("aspectRatio");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPointF>("pressPoint");
    QTest::addColumn<QPoint>("drag");
    QTest::addColumn<QPointF>("dragPoint");

    // Portrait 0.5 in 190 x 135: miniature x 61.75 to 128.25, y (up) 1 to 134. Widget rows
    // count down, so widget y 67 is y 68 up.
    QTest::newRow("portrait, centre then left of the miniature")
        << 0.5 << QPoint(95, 67) << QPointF(0.5, 67.0 / 133) << QPoint(5, 67)
        << QPointF(0, 67.0 / 133);
    QTest::newRow("portrait, dragged beyond the lower-right corner")
        << 0.5 << QPoint(70, 100) << QPointF(8.25 / 66.5, 34.0 / 133) << QPoint(300, 400)
        << QPointF(1, 0);
    // Landscape 2 in 190 x 135: miniature x 1 to 189, y (up) 20.5 to 114.5.
    QTest::newRow("landscape, above the miniature pins to its top")
        << 2.0 << QPoint(48, 2) << QPointF(0.25, 1) << QPoint(189, 130) << QPointF(1, 0);
}

void TestMiniNavigatorView::pointerReportsClampedPoints()
{
    QFETCH(double, aspectRatio);
    QFETCH(QPoint, press);
    QFETCH(QPointF, pressPoint);
    QFETCH(QPoint, drag);
    QFETCH(QPointF, dragPoint);

    MiniNavigatorView view;
    view.resize(MiniNavigatorView::preferredSize);
    view.setState(stateFor(aspectRatio));
    QList<QPointF> reported;
    view.onViewportInteraction = [&](QPointF point) { reported.append(point); };

    QTest::mousePress(&view, Qt::LeftButton, {}, press);
    QTest::mouseMove(&view, drag);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, drag);

    QCOMPARE(reported.size(), 2);
    QVERIFY2(isNear(reported[0], pressPoint),
             qPrintable(QStringLiteral("%1,%2").arg(reported[0].x()).arg(reported[0].y())));
    QVERIFY2(isNear(reported[1], dragPoint),
             qPrintable(QStringLiteral("%1,%2").arg(reported[1].x()).arg(reported[1].y())));
}

void TestMiniNavigatorView::nothingWithoutAState()
{
    MiniNavigatorView view;
    view.resize(MiniNavigatorView::preferredSize);
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::red);
    view.setImage(image);
    int calls = 0;
    view.onViewportInteraction = [&](QPointF) { ++calls; };

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(95, 67));
    QTest::mouseMove(&view, QPoint(100, 70));
    QCOMPARE(calls, 0);
    QVERIFY(!view.normalizedPoint(QPointF(95, 67)));

    const QImage painted = rendered(view);
    for (int y = 0; y < painted.height(); ++y) {
        for (int x = 0; x < painted.width(); ++x) {
            QCOMPARE(qAlpha(painted.pixel(x, y)), 0);
        }
    }
}

void TestMiniNavigatorView::drawsTheMiniatureUprightWithTheViewport()
{
    // Portrait 1:2, red above green, the lower-left quarter visible.
    QImage image(200, 400, QImage::Format_RGB32);
    image.fill(Qt::green);
    for (int y = 0; y < 200; ++y) {
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), 200, qRgb(255, 0, 0));
    }
    MiniNavigatorView view;
    view.resize(MiniNavigatorView::preferredSize);
    view.setImage(image);
    view.setState(stateFor(0.5, QRectF(0, 0, 0.5, 0.5)));
    const QImage painted = rendered(view);

    // Miniature x 61.75 to 128.25; widget rows: top 1, bottom 134, middle 67.5.
    QCOMPARE(qAlpha(painted.pixel(20, 67)), 0);
    QCOMPARE(painted.pixel(110, 20), qRgb(255, 0, 0));
    QCOMPARE(painted.pixel(110, 110), qRgb(0, 255, 0));
    // Inside the viewport (lower-left quarter) green shows through white at 0.2.
    QVERIFY(std::abs(qRed(painted.pixel(80, 110)) - 51) <= 2);
    QVERIFY(std::abs(qGreen(painted.pixel(80, 110)) - 255) <= 2);
    // Its right edge (x 95) is stroked in blue.
    const QRgb edge = painted.pixel(95, 110);
    QVERIFY2(qBlue(edge) > 150 && qRed(edge) < 100, qPrintable(QString::number(edge, 16)));
}

void TestMiniNavigatorView::miniatureIsSmallAndMadeOnce()
{
    MiniNavigatorView view;
    view.resize(MiniNavigatorView::preferredSize);
    QImage image(6000, 4000, QImage::Format_RGB32);
    image.fill(Qt::blue);
    view.setImage(image);
    const QSize bound = MiniNavigatorView::preferredSize * 2 * view.devicePixelRatioF();
    QVERIFY(view.miniature().width() <= bound.width());
    QVERIFY(view.miniature().height() <= bound.height());
    QVERIFY(view.miniature().width() >= bound.width() - 1);

    const qint64 key = view.miniature().cacheKey();
    view.setImage(image);
    QCOMPARE(view.miniature().cacheKey(), key);
    view.setImage(QImage());
    QVERIFY(view.miniature().isNull());
}

void TestMiniNavigatorView::shouldShow_data()
{
    QTest::addColumn<std::optional<NavigatorState>>("state");
    QTest::addColumn<bool>("isViewMode");
    QTest::addColumn<bool>("showSetting");
    QTest::addColumn<bool>("expected");

    const auto zoomedIn = std::optional(stateFor(1.5, QRectF(0.2, 0.3, 0.5, 0.4)));
    QTest::newRow("zoomed in") << zoomedIn << true << true << true;
    QTest::newRow("setting off") << zoomedIn << true << false << false;
    QTest::newRow("not in view mode") << zoomedIn << false << true << false;
    QTest::newRow("no state") << std::optional<NavigatorState>() << true << true << false;
    QTest::newRow("fitted") << std::optional(stateFor(1.5, QRectF(0, 0, 1, 1))) << true << true
                            << false;
    QTest::newRow("just under the whole width")
        << std::optional(stateFor(1.5, QRectF(0, 0, 0.994, 1))) << true << true << true;
    QTest::newRow("whole within rounding")
        << std::optional(stateFor(1.5, QRectF(0, 0, 0.996, 0.995))) << true << true << false;
}

void TestMiniNavigatorView::shouldShow()
{
    QFETCH(std::optional<NavigatorState>, state);
    QFETCH(bool, isViewMode);
    QFETCH(bool, showSetting);
    QFETCH(bool, expected);

    QCOMPARE(MiniNavigatorView::shouldShow(state, isViewMode, showSetting), expected);
}

QTEST_MAIN(TestMiniNavigatorView)
#include "tst_mininavigatorview.moc"
