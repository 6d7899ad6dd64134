#include "MarkupBlurRenderer.h"
#include "RenderTestSupport.h"

#include <QPixmap>
#include <QTest>

using namespace MarkupBlurRenderer;
using namespace RenderTestSupport;

namespace {

// Rows from the top alternate between black and white every pixel in both directions.
QImage checkerboard(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, (x + y) % 2 ? 0xff000000 : 0xffffffff);
        }
    }
    return image;
}

// The colour without its alpha. The blur's input ends two radii beyond the region, so the
// region's outermost pixels are very slightly translucent.
QColor opaque(const QColor& color)
{
    return QColor(color.red(), color.green(), color.blue());
}

} // namespace

class TestMarkupBlurRenderer : public QObject
{
    Q_OBJECT

private slots:
    void radiusFollowsTheShorterSide_data();
    void radiusFollowsTheShorterSide();
    void regionIsIntegralAndClippedToTheImage_data();
    void regionIsIntegralAndClippedToTheImage();
    void regionIsLocatedWithTheOriginAtTheBottomLeft();
    void detailIsBlurredAway();
    void neighbouringPixelsBleedIn();
    void beyondTheImageEdgeIsTransparent();
    void onlyTheDestinationIsPainted();
    void emptyRectanglesDrawNothing_data();
    void emptyRectanglesDrawNothing();
    void blursWhatWasPaintedOnAnImage();
    void fallsBackWhereTheDeviceCannotBeRead();
    void blurredRegionStaysUpright_data();
    void blurredRegionStaysUpright();
    void nothingWithoutReadablePixels();
};

void TestMarkupBlurRenderer::radiusFollowsTheShorterSide_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("expected");
    QTest::newRow("600 x 400: at least 8") << QSize(600, 400) << 8.0;
    QTest::newRow("4000 x 3000: 1% of 3000") << QSize(4000, 3000) << 30.0;
    QTest::newRow("6000 x 4000: at most 32") << QSize(6000, 4000) << 32.0;
    QTest::newRow("tall and narrow: the shorter side") << QSize(1000, 9000) << 10.0;
}

void TestMarkupBlurRenderer::radiusFollowsTheShorterSide()
{
    QFETCH(QSize, size);
    QFETCH(double, expected);
    QCOMPARE(radius(size), expected);
}

void TestMarkupBlurRenderer::regionIsIntegralAndClippedToTheImage_data()
{
    QTest::addColumn<QRectF>("normalized");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("inside") << QRectF(0.1, 0.2, 0.3, 0.4) << QSize(30, 40);
    QTest::newRow("fractional edges round outwards")
        << QRectF(0.105, 0.2, 0.2, 0.4) << QSize(21, 40);
    QTest::newRow("2 pixels wide is blurred") << QRectF(0.5, 0.5, 0.02, 0.1) << QSize(2, 10);
    QTest::newRow("1 pixel wide is not") << QRectF(0.5, 0.5, 0.01, 0.1) << QSize();
    QTest::newRow("1 pixel wide after clipping is not") << QRectF(0.99, 0.5, 0.5, 0.1) << QSize();
    QTest::newRow("hanging off the right edge is clipped")
        << QRectF(0.9, 0.0, 0.3, 0.5) << QSize(10, 50);
    QTest::newRow("entirely outside") << QRectF(1.2, 0.2, 0.3, 0.3) << QSize();
    QTest::newRow("zero width") << QRectF(0.2, 0.2, 0, 0.3) << QSize();
    QTest::newRow("inverted counts from the other corner")
        << QRectF(0.4, 0.6, -0.3, -0.4) << QSize(30, 40);
    QTest::newRow("not a number") << QRectF(qQNaN(), 0.2, 0.3, 0.3) << QSize();
    QTest::newRow("huge") << QRectF(-1e300, -1e300, 1e301, 1e301) << QSize(100, 100);
}

void TestMarkupBlurRenderer::regionIsIntegralAndClippedToTheImage()
{
    QFETCH(QRectF, normalized);
    QFETCH(QSize, expected);
    const auto blurred = makeBlurredRegionImage(canvas(100, 100), normalized);
    QCOMPARE(blurred.has_value(), expected.isValid());
    if (blurred) {
        QCOMPARE(blurred->size(), expected);
    }
}

void TestMarkupBlurRenderer::regionIsLocatedWithTheOriginAtTheBottomLeft()
{
    // Red top half, blue bottom half (as shown); the region lies in the bottom half, far from
    // the border between them and from the image's edges.
    QImage image = canvas(400, 400, Qt::blue);
    paint(image, [](QPainter& p) { p.fillRect(QRectF(0, 200, 400, 200), Qt::red); });
    const auto blurred = makeBlurredRegionImage(image, QRectF(0.25, 0.25, 0.2, 0.1));
    QVERIFY(blurred);
    QCOMPARE(blurred->size(), QSize(80, 40));
    QCOMPARE(blurred->pixelColor(40, 20), QColor(Qt::blue));
    for (const QPoint& p : {QPoint(0, 0), QPoint(79, 0), QPoint(79, 39)}) {
        QVERIFY(isNear(opaque(blurred->pixelColor(p)), Qt::blue, 1));
    }
}

void TestMarkupBlurRenderer::detailIsBlurredAway()
{
    const auto blurred = makeBlurredRegionImage(checkerboard(200, 200), QRectF(0.2, 0.2, 0.6, 0.6));
    QVERIFY(blurred);
    const QColor grey(128, 128, 128);
    for (int y = 0; y < blurred->height(); y += 7) {
        for (int x = 0; x < blurred->width(); x += 7) {
            QVERIFY2(isNear(opaque(blurred->pixelColor(x, y)), grey, 3),
                     qPrintable(QString("(%1, %2)").arg(x).arg(y)));
        }
    }
}

void TestMarkupBlurRenderer::neighbouringPixelsBleedIn()
{
    // Black image, a white band just left of the region (within two radii of it).
    QImage image = canvas(200, 200, Qt::black);
    paint(image, [](QPainter& p) { p.fillRect(QRectF(90, 0, 10, 200), Qt::white); });
    const auto blurred = makeBlurredRegionImage(image, QRectF(0.5, 0.25, 0.25, 0.5));
    QVERIFY(blurred);
    const int row = blurred->height() / 2;
    const int nearBand = blurred->pixelColor(0, row).red();
    const int farFromBand = blurred->pixelColor(blurred->width() - 1, row).red();
    QVERIFY(nearBand > 20);
    QCOMPARE(farFromBand, 0);
    QVERIFY(blurred->pixelColor(0, row).alpha() > 240);
}

void TestMarkupBlurRenderer::beyondTheImageEdgeIsTransparent()
{
    const auto blurred =
        makeBlurredRegionImage(canvas(200, 200, Qt::white), QRectF(0, 0, 0.5, 0.5));
    QVERIFY(blurred);
    // The region's left column and bottom row lie on the image's edges.
    const int edgeAlpha = blurred->pixelColor(0, 50).alpha();
    QVERIFY(edgeAlpha > 90 && edgeAlpha < 170);
    QVERIFY(blurred->pixelColor(50, blurred->height() - 1).alpha() < 170);
    QCOMPARE(blurred->pixelColor(50, 50).alpha(), 255);
}

void TestMarkupBlurRenderer::onlyTheDestinationIsPainted()
{
    const QImage source = checkerboard(100, 100);
    QImage image = source;
    paint(image, [&](QPainter& p) {
        drawBlurredRegion(p, source, QRectF(0.2, 0.3, 0.4, 0.4), QRectF(20, 30, 40, 40));
    });
    // Pixels outside the region keep their pattern; inside, it is gone.
    QCOMPARE(pixelAt(image, {19, 50}), pixelAt(source, {19, 50}));
    QCOMPARE(pixelAt(image, {60, 50}), pixelAt(source, {60, 50}));
    QCOMPARE(pixelAt(image, {40, 29}), pixelAt(source, {40, 29}));
    QCOMPARE(pixelAt(image, {40, 70}), pixelAt(source, {40, 70}));
    QVERIFY(isNear(pixelAt(image, {40, 50}), QColor(128, 128, 128), 3));
}

void TestMarkupBlurRenderer::emptyRectanglesDrawNothing_data()
{
    QTest::addColumn<QRectF>("normalized");
    QTest::addColumn<QRectF>("destination");
    QTest::newRow("normalized width 0") << QRectF(0.2, 0.3, 0, 0.4) << QRectF(20, 30, 40, 40);
    QTest::newRow("destination height 0") << QRectF(0.2, 0.3, 0.4, 0.4) << QRectF(20, 30, 40, 0);
    QTest::newRow("outside the image") << QRectF(1.2, 0.3, 0.4, 0.4) << QRectF(20, 30, 40, 40);
}

void TestMarkupBlurRenderer::emptyRectanglesDrawNothing()
{
    QFETCH(QRectF, normalized);
    QFETCH(QRectF, destination);
    const QImage source = checkerboard(100, 100);
    QImage image = source;
    paint(image, [&](QPainter& p) { drawBlurredRegion(p, source, normalized, destination); });
    QCOMPARE(image, source);
}

void TestMarkupBlurRenderer::blursWhatWasPaintedOnAnImage()
{
    QImage image = canvas(100, 100);
    const QImage whiteFallback = canvas(100, 100);
    paint(image, [&](QPainter& p) {
        p.fillRect(QRectF(40, 40, 20, 20), Qt::red);
        drawBlurredPaintedRegion(p, QRectF(0, 0, 100, 100), QRectF(0.3, 0.3, 0.4, 0.4),
                                 QRectF(30, 30, 40, 40), whiteFallback);
    });
    // The red square was blurred into its surroundings, not replaced by the white fallback.
    const QColor rim = pixelAt(image, {36, 50});
    QVERIFY(rim.red() == 255 && rim.green() < 250 && rim.green() > 0);
    QVERIFY(pixelAt(image, {50, 50}).green() > 0);
}

void TestMarkupBlurRenderer::fallsBackWhereTheDeviceCannotBeRead()
{
    QPixmap pixmap(100, 100);
    pixmap.fill(Qt::white);
    {
        FlippedPainter flipped(&pixmap);
        drawBlurredPaintedRegion(flipped.painter(), QRectF(0, 0, 100, 100),
                                 QRectF(0.3, 0.3, 0.4, 0.4), QRectF(30, 30, 40, 40),
                                 canvas(100, 100, Qt::green));
    }
    const QImage image = pixmap.toImage();
    QVERIFY(isNear(pixelAt(image, {50, 50}), Qt::green));
    QCOMPARE(pixelAt(image, {20, 50}), QColor(Qt::white));
}

void TestMarkupBlurRenderer::blurredRegionStaysUpright_data()
{
    QTest::addColumn<bool>("readBack");
    QTest::newRow("snapshot of the bitmap being painted") << true;
    QTest::newRow("fallback image") << false;
}

void TestMarkupBlurRenderer::blurredRegionStaysUpright()
{
    QFETCH(bool, readBack);
    // Red top half, blue bottom half (as shown); the region spans the border between them, its
    // top and bottom rows more than five radii (8 pixels) away from it.
    QImage redOverBlue = canvas(200, 200, Qt::blue);
    paint(redOverBlue, [](QPainter& p) { p.fillRect(QRectF(0, 100, 200, 100), Qt::red); });
    const QRectF imageRect(0, 0, 200, 200);
    const QRectF region(0.25, 0.25, 0.5, 0.5);
    const QRectF destination(50, 50, 100, 100);
    QImage painted;
    if (readBack) {
        painted = redOverBlue;
        paint(painted, [&](QPainter& p) {
            drawBlurredPaintedRegion(p, imageRect, region, destination, canvas(200, 200));
        });
    } else {
        QPixmap pixmap(200, 200);
        pixmap.fill(Qt::white);
        {
            FlippedPainter flipped(&pixmap);
            drawBlurredPaintedRegion(flipped.painter(), imageRect, region, destination,
                                     redOverBlue);
        }
        painted = pixmap.toImage();
    }
    for (const double x : {55.0, 100.0, 145.0}) {
        QVERIFY(isNear(pixelAt(painted, {x, 145}), Qt::red, 3));
        QVERIFY(isNear(pixelAt(painted, {x, 55}), Qt::blue, 3));
    }
    // At the border the two colours mix.
    const QColor border = pixelAt(painted, {100, 100});
    QVERIFY(border.red() > 60 && border.blue() > 60);
}

void TestMarkupBlurRenderer::nothingWithoutReadablePixels()
{
    QPixmap pixmap(100, 100);
    pixmap.fill(Qt::white);
    {
        FlippedPainter flipped(&pixmap);
        drawBlurredPaintedRegion(flipped.painter(), QRectF(0, 0, 100, 100),
                                 QRectF(0.3, 0.3, 0.4, 0.4), QRectF(30, 30, 40, 40), QImage());
    }
    QVERIFY(inkBounds(pixmap.toImage()).isEmpty());
}

QTEST_MAIN(TestMarkupBlurRenderer)
#include "tst_markupblurrenderer.moc"
