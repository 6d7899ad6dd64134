#include "DisplayPyramid.h"

#include <QPainter>
#include <QTest>
#include <memory>

namespace {

constexpr QSize patternSize(4000, 3000);
constexpr int blockSide = 500;

// The pattern's colour at an image pixel: flat 500-pixel blocks, except the top-left block,
// a one-pixel black and white checkerboard that only a proper reduction turns into grey.
QRgb blockColour(int blockX, int blockY)
{
    return qRgb(40 + blockX * 25, 40 + blockY * 30, (blockX + blockY) % 2 != 0 ? 200 : 60);
}

bool isChecker(int x, int y)
{
    return x < blockSide && y < blockSide;
}

QImage patternImage()
{
    QImage image(patternSize, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            row[x] = isChecker(x, y) ? ((x + y) % 2 != 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0))
                                     : blockColour(x / blockSide, y / blockSide);
        }
    }
    return image;
}

QImage flatImage(QSize size, QColor colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

bool waitForLevels(const DisplayPyramid& pyramid)
{
    return QTest::qWaitFor([&] { return pyramid.isComplete(); }, 20000);
}

int maxChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

class TestDisplayPyramid : public QObject
{
    Q_OBJECT

private slots:
    void levelsHalveAndStop_data();
    void levelsHalveAndStop();
    void levelChoice_data();
    void levelChoice();
    void fitPicksTheSmallestSharpLevelInDevicePixels();
    void staleBuildIsDropped();
    void sharperImageIsDrawnFromTheFormerLevelsMeanwhile();
    void rendering_data();
    void rendering();
};

void TestDisplayPyramid::levelsHalveAndStop_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QList<QSize>>("expectedReduced");
    QTest::addColumn<QImage::Format>("levelFormat");

    QTest::newRow("4000x3000") << QSize(4000, 3000) << QImage::Format_RGB32
                               << QList<QSize>{{2000, 1500}, {1000, 750}, {500, 375}}
                               << QImage::Format_RGB32;
    QTest::newRow("odd sizes round up")
        << QSize(2049, 1537) << QImage::Format_RGB32
        << QList<QSize>{{1025, 769}, {513, 385}, {257, 193}} << QImage::Format_RGB32;
    QTest::newRow("small image has no levels")
        << QSize(500, 300) << QImage::Format_RGB32 << QList<QSize>{} << QImage::Format_RGB32;
    QTest::newRow("grey stays one byte per pixel")
        << QSize(1200, 900) << QImage::Format_Grayscale8 << QList<QSize>{{600, 450}, {300, 225}}
        << QImage::Format_Grayscale8;
    QTest::newRow("alpha becomes premultiplied 32-bit")
        << QSize(1200, 900) << QImage::Format_RGBA8888 << QList<QSize>{{600, 450}, {300, 225}}
        << QImage::Format_ARGB32_Premultiplied;
}

void TestDisplayPyramid::levelsHalveAndStop()
{
    QFETCH(QSize, size);
    QFETCH(QImage::Format, format);
    QFETCH(QList<QSize>, expectedReduced);
    QFETCH(QImage::Format, levelFormat);

    const QImage image = flatImage(size, QColor(200, 100, 50), format);
    DisplayPyramid pyramid;
    pyramid.setImage(image);
    QVERIFY(waitForLevels(pyramid));

    const QList<QImage> levels = pyramid.levels();
    QCOMPARE(levels.size(), expectedReduced.size() + 1);
    QCOMPARE(levels.front().cacheKey(), image.cacheKey());
    qsizetype reducedBytes = 0;
    for (int index = 1; index < levels.size(); ++index) {
        QCOMPARE(levels[index].size(), expectedReduced[index - 1]);
        QCOMPARE(levels[index].format(), levelFormat);
        QCOMPARE(levels[index].pixel(0, 0), image.pixel(0, 0));
        reducedBytes += levels[index].sizeInBytes();
    }
    QVERIFY2(double(reducedBytes) <= 0.35 * double(image.sizeInBytes()),
             qPrintable(QStringLiteral("levels take %1 of %2 bytes")
                            .arg(reducedBytes)
                            .arg(image.sizeInBytes())));
}

void TestDisplayPyramid::levelChoice_data()
{
    QTest::addColumn<double>("devicePixelsPerImagePixel");
    QTest::addColumn<int>("expectedIndex");

    QTest::newRow("enlarged uses the full bitmap") << 2.0 << 0;
    QTest::newRow("100 %") << 1.0 << 0;
    QTest::newRow("just above a half") << 0.51 << 0;
    QTest::newRow("exactly a half") << 0.5 << 1;
    QTest::newRow("just above an eighth") << 0.13 << 2;
    QTest::newRow("fit into 400x300") << 0.1 << 3;
    QTest::newRow("below the smallest level") << 0.01 << 3;
}

void TestDisplayPyramid::levelChoice()
{
    QFETCH(double, devicePixelsPerImagePixel);
    QFETCH(int, expectedIndex);

    const QList<QImage> levels = {flatImage({4000, 3000}, Qt::red),
                                  flatImage({2000, 1500}, Qt::red), flatImage({1000, 750}, Qt::red),
                                  flatImage({500, 375}, Qt::red)};
    QCOMPARE(DisplayPyramid::levelIndexFor(devicePixelsPerImagePixel, levels), expectedIndex);
}

void TestDisplayPyramid::fitPicksTheSmallestSharpLevelInDevicePixels()
{
    DisplayPyramid pyramid;
    pyramid.setImage(flatImage(patternSize, Qt::gray));
    QVERIFY(waitForLevels(pyramid));
    const QList<QImage> levels = pyramid.levels();
    const QRectF fit(0, 0, 400, 300);

    const int single = pyramid.levelIndexFor(fit, 1);
    QVERIFY(levels[single].width() >= 400);
    QVERIFY(single == levels.size() - 1 || levels[single + 1].width() < 400);

    const int doubled = pyramid.levelIndexFor(fit, 2);
    QCOMPARE(levels[doubled].width(), 2 * levels[single].width());
}

void TestDisplayPyramid::staleBuildIsDropped()
{
    int doomedCalls = 0;
    {
        // Destroyed while its build runs: the build must neither call back nor touch it.
        DisplayPyramid doomed;
        doomed.onLevelsReady = [&] { ++doomedCalls; };
        doomed.setImage(flatImage({6000, 4000}, Qt::yellow));
    }

    DisplayPyramid pyramid;
    int calls = 0;
    pyramid.onLevelsReady = [&] { ++calls; };
    pyramid.setImage(flatImage({3000, 2000}, Qt::red));
    const QImage replacement = flatImage({2000, 1000}, Qt::blue);
    pyramid.setImage(replacement);
    QVERIFY(!pyramid.isComplete());
    QVERIFY(waitForLevels(pyramid));

    QCOMPARE(calls, 1);
    QCOMPARE(doomedCalls, 0);
    const QList<QImage> levels = pyramid.levels();
    QCOMPARE(levels.front().cacheKey(), replacement.cacheKey());
    QCOMPARE(levels.size(), 3);
    QCOMPARE(levels[1].size(), QSize(1000, 500));
    QCOMPARE(levels[1].pixelColor(10, 10), QColor(Qt::blue));
}

// A preview's levels stand in while its full bitmap's are built, so the picture never drops to
// the unsmoothed full bitmap: the checkerboard stays grey at fit from the first frame on.
void TestDisplayPyramid::sharperImageIsDrawnFromTheFormerLevelsMeanwhile()
{
    DisplayPyramid pyramid;
    pyramid.setImage(patternImage());
    QVERIFY(waitForLevels(pyramid));
    pyramid.replaceKeepingLevels(patternImage());
    QImage frame(400, 300, QImage::Format_RGB32);
    frame.fill(Qt::red);
    {
        QPainter painter(&frame);
        pyramid.draw(painter, QRectF(0, 0, 400, 300), QRectF(0, 0, 400, 300));
    }
    const QRgb checker = frame.pixel(25, 25);
    QVERIFY2(maxChannelDifference(checker, qRgb(128, 128, 128)) < 40,
             qPrintable(QColor(checker).name()));
    QVERIFY(waitForLevels(pyramid));
    QCOMPARE(pyramid.levels().size(), 4);
}

void TestDisplayPyramid::rendering_data()
{
    QTest::addColumn<QRectF>("target");
    QTest::addColumn<double>("devicePixelRatio");
    // How far (in image pixels) around a device pixel's centre the image must be one flat
    // block for the pixel to be checked: the reach of the level's reduction and smoothing.
    QTest::addColumn<double>("footprint");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("fit") << QRectF(0, 0, 400, 300) << 1.0 << 12.0 << 3;
    QTest::newRow("fit at device pixel ratio 2") << QRectF(0, 0, 400, 300) << 2.0 << 6.0 << 3;
    QTest::newRow("800 % of fit") << QRectF(-1000, -600, 3200, 2400) << 1.0 << 2.0 << 3;
    // 4 device pixels per image pixel: drawn unsmoothed, so even the device pixels next to a
    // block edge (image x = 1500 at device x = 200) keep their block's exact colour.
    QTest::newRow("400 % of the image's pixels, pixel edges kept")
        << QRectF(-5800, -4400, 16000, 12000) << 1.0 << 0.1 << 0;
}

void TestDisplayPyramid::rendering()
{
    QFETCH(QRectF, target);
    QFETCH(double, devicePixelRatio);
    QFETCH(double, footprint);
    QFETCH(int, tolerance);

    DisplayPyramid pyramid;
    pyramid.setImage(patternImage());
    QVERIFY(waitForLevels(pyramid));

    QImage device(QSize(400, 300) * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    device.setDevicePixelRatio(devicePixelRatio);
    device.fill(Qt::magenta);
    {
        QPainter painter(&device);
        pyramid.draw(painter, target, QRectF(0, 0, 400, 300));
    }

    const double imagePerLogical = patternSize.width() / target.width();
    int checked = 0;
    for (int y = 0; y < device.height(); ++y) {
        for (int x = 0; x < device.width(); ++x) {
            const QPointF logical((x + 0.5) / devicePixelRatio, (y + 0.5) / devicePixelRatio);
            const QPointF image = (logical - target.topLeft()) * imagePerLogical;
            const int left = int(std::floor(image.x() - footprint));
            const int right = int(std::floor(image.x() + footprint));
            const int top = int(std::floor(image.y() - footprint));
            const int bottom = int(std::floor(image.y() + footprint));
            if (left < 0 || top < 0 || right >= patternSize.width() ||
                bottom >= patternSize.height() || left / blockSide != right / blockSide ||
                top / blockSide != bottom / blockSide || isChecker(left, top)) {
                continue;
            }
            const QRgb expected = blockColour(left / blockSide, top / blockSide);
            const QRgb actual = device.pixel(x, y);
            if (maxChannelDifference(actual, expected) > tolerance) {
                QFAIL(qPrintable(QStringLiteral("device pixel %1,%2: %3 instead of %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(actual, 8, 16)
                                     .arg(expected, 8, 16)));
            }
            ++checked;
        }
    }
    QVERIFY(checked > device.width() * device.height() / 2);

    // The one-pixel checkerboard reduces to grey instead of aliasing to black or white.
    const QPointF checkerCentre = target.topLeft() + QPointF(250, 250) / imagePerLogical;
    if (QRectF(0, 0, 400, 300).contains(checkerCentre) && imagePerLogical > 2) {
        const QPoint pixel = (checkerCentre * devicePixelRatio).toPoint();
        QVERIFY(maxChannelDifference(device.pixel(pixel), qRgb(128, 128, 128)) <= 8);
    }
}

QTEST_MAIN(TestDisplayPyramid)
#include "tst_displaypyramid.moc"
