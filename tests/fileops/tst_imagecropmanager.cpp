#include "ImageCropManager.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray hashOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// Red top-left, green top-right, blue bottom-left, white bottom-right, as seen on screen.
QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    image.fill(Qt::white);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QColor colour =
                y < h ? (x < w ? Qt::red : Qt::green) : (x < w ? Qt::blue : Qt::white);
            image.setPixelColor(x, y, colour);
        }
    }
    return image;
}

} // namespace

class TestImageCropManager : public QObject
{
    Q_OBJECT

private slots:
    void pixelRectangleCoversWhatTheSelectionTouches_data();
    void pixelRectangleCoversWhatTheSelectionTouches();
    void croppedPixelsAreTheSelectedOnes_data();
    void croppedPixelsAreTheSelectedOnes();
    void copyIsWrittenBesideAndSmallerThanTheOriginal();
    void refusedCropsWriteNothing_data();
    void refusedCropsWriteNothing();
};

void TestImageCropManager::pixelRectangleCoversWhatTheSelectionTouches_data()
{
    QTest::addColumn<QRectF>("normalized");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("beyond the edge")
        << QRectF(0.5, 0.5, 0.8, 0.8) << QSize(1000, 800) << QRect(500, 400, 500, 400);
    QTest::newRow("whole") << QRectF(0, 0, 1, 1) << QSize(30, 20) << QRect(0, 0, 30, 20);
    QTest::newRow("partly covered pixels count")
        << QRectF(0.105, 0.2, 0.5, 0.301) << QSize(100, 100) << QRect(10, 20, 51, 31);
    QTest::newRow("at least one pixel")
        << QRectF(0.99999, 0.99999, 0, 0) << QSize(100, 100) << QRect(99, 99, 1, 1);
}

void TestImageCropManager::pixelRectangleCoversWhatTheSelectionTouches()
{
    QFETCH(QRectF, normalized);
    QFETCH(QSize, pixels);
    QFETCH(QRect, expected);
    QCOMPARE(ImageCropManager::makePixelCropRect(normalized, pixels.width(), pixels.height()),
             expected);
}

void TestImageCropManager::croppedPixelsAreTheSelectedOnes_data()
{
    QTest::addColumn<QRectF>("normalized");
    QTest::addColumn<QColor>("colour");

    // y up: the upper half of the image is y 0.5...1.
    QTest::newRow("upper left") << QRectF(0, 0.5, 0.5, 0.5) << QColor(Qt::red);
    QTest::newRow("upper right") << QRectF(0.5, 0.5, 0.5, 0.5) << QColor(Qt::green);
    QTest::newRow("lower left") << QRectF(0, 0, 0.5, 0.5) << QColor(Qt::blue);
}

void TestImageCropManager::croppedPixelsAreTheSelectedOnes()
{
    QFETCH(QRectF, normalized);
    QFETCH(QColor, colour);
    const std::optional<QImage> cut =
        ImageCropManager::makeCroppedImage(quadrants(QSize(40, 20)), normalized);
    QVERIFY(cut);
    QCOMPARE(cut->size(), QSize(20, 10));
    QCOMPARE(cut->pixelColor(0, 0), colour);
    QCOMPARE(cut->pixelColor(19, 9), colour);
}

void TestImageCropManager::copyIsWrittenBesideAndSmallerThanTheOriginal()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    QImage noise(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x) {
            noise.setPixel(x, y, qRgb((x * 7 + y * 13) % 256, (x * y) % 256, (x ^ y) % 256));
        }
    }
    QVERIFY(noise.save(path, "jpeg", 95));
    const QByteArray before = hashOf(path);

    QVERIFY(
        ImageCropManager::saveCropCopy(QUrl::fromLocalFile(path), QRectF(0.25, 0.25, 0.5, 0.5)));
    QVERIFY(
        ImageCropManager::saveCropCopy(QUrl::fromLocalFile(path), QRectF(0.25, 0.25, 0.5, 0.5)));
    QCOMPARE(hashOf(path), before);
    const QString copy = folder.filePath(QStringLiteral("photo_crop.jpg"));
    QCOMPARE(QImage(copy).size(), QSize(200, 150));
    QVERIFY(QFileInfo(copy).size() < QFileInfo(path).size());
    QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("photo_crop2.jpg"))));
    // Essentially the whole image: no size limit.
    QCOMPARE(
        ImageCropManager::maximumOutputFileSize(QUrl::fromLocalFile(path), QRectF(0, 0, 1, 0.9995)),
        std::nullopt);
}

void TestImageCropManager::refusedCropsWriteNothing_data()
{
    QTest::addColumn<QRectF>("normalized");
    QTest::addColumn<bool>("decodable");

    QTest::newRow("too narrow") << QRectF(0.2, 0.2, 0.0005, 0.5) << true;
    QTest::newRow("one pixel column") << QRectF(0.5, 0.2, 0.002, 0.5) << true;
    QTest::newRow("outside, clamped to nothing") << QRectF(-3, -3, -1, -1) << true;
    QTest::newRow("not a number") << QRectF(qQNaN(), 0, 0.5, 0.5) << true;
    QTest::newRow("infinite") << QRectF(0, 0, qInf(), qInf()) << true;
    QTest::newRow("not an image") << QRectF(0, 0, 0.5, 0.5) << false;
}

void TestImageCropManager::refusedCropsWriteNothing()
{
    QFETCH(QRectF, normalized);
    QFETCH(bool, decodable);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.png"));
    if (decodable) {
        QVERIFY(quadrants(QSize(100, 40)).save(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a picture") > 0);
    }
    QVERIFY(!ImageCropManager::saveCropCopy(QUrl::fromLocalFile(path), normalized));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.png"});
}

QTEST_MAIN(TestImageCropManager)
#include "tst_imagecropmanager.moc"
