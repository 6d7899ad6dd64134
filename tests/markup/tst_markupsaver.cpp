#include "MarkupAnnotationRenderer.h"
#include "MarkupFlattener.h"
#include "MarkupSaver.h"
#include "RenderTestSupport.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

using namespace RenderTestSupport;

namespace {

MarkupAnnotation filledRectangle(const QRectF& rect, const QColor& color)
{
    return MarkupAnnotation(MarkupShape::rectangle(rect), color, color, 0.01, 5, 1,
                            MarkupArrowheadStyle::end);
}

// A photo-like image: smooth gradients, which JPEG compresses well.
QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 128));
        }
    }
    return image;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// `jpeg` with an Exif segment saying that it is shown rotated a quarter turn clockwise
// (orientation 6), inserted after the start-of-image marker.
QByteArray withQuarterTurnOrientation(const QByteArray& jpeg)
{
    static const unsigned char exif[] = {
        0xff, 0xe1, 0x00, 0x22,                         // APP1, 34 bytes
        'E',  'x',  'i',  'f',  0x00, 0x00,             // Exif header
        'I',  'I',  0x2a, 0x00, 0x08, 0x00, 0x00, 0x00, // little-endian TIFF
        0x01, 0x00,                                     // one entry
        0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, // orientation 6
        0x00, 0x00, 0x00, 0x00};                                                // no next directory
    QByteArray result = jpeg;
    result.insert(2, reinterpret_cast<const char*>(exif), sizeof exif);
    return result;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestMarkupSaver : public QObject
{
    Q_OBJECT

private slots:
    void flattenKeepsThePixelSizeAndPutsYUpward();
    void flattenUsesPixelsNotPoints();
    void flattenedTextMatchesTheScreen_data();
    void flattenedTextMatchesTheScreen();
    void flattenWithoutAnnotationsIsTheImage();
    void flattenOfNothingIsAbsent();
    void copiesAreNamedAfterTheOriginal();
    void copyOfAnUnwritableFormatIsPng();
    void copyDecodesToTheOriginalsPixelSize();
    void annotationsFollowTheOrientationTheOriginalIsShownIn();
    void jpegCopyStaysWithinTheLimit();
    void copyKeepsTheOriginalsProfile_data();
    void copyKeepsTheOriginalsProfile();
    void maximumOutputFileSize_data();
    void maximumOutputFileSize();
    void nothingIsWrittenWithoutAnnotationsOrPixels_data();
    void nothingIsWrittenWithoutAnnotationsOrPixels();
};

void TestMarkupSaver::flattenKeepsThePixelSizeAndPutsYUpward()
{
    const QImage image = canvas(60, 40, Qt::white);
    const auto flat = MarkupFlattener::flatten({filledRectangle({0, 0, 1, 0.25}, Qt::red)}, image);
    QVERIFY(flat);
    QCOMPARE(flat->size(), QSize(60, 40));
    // y = 0 is the bottom row of the output.
    QCOMPARE(flat->pixelColor(30, 39), QColor(Qt::red));
    QCOMPARE(flat->pixelColor(30, 0), QColor(Qt::white));
}

void TestMarkupSaver::flattenUsesPixelsNotPoints()
{
    QImage image = canvas(80, 60, Qt::white);
    image.setDevicePixelRatio(2);
    image.setDotsPerMeterX(11811);
    image.setDotsPerMeterY(11811);
    const auto flat =
        MarkupFlattener::flatten({filledRectangle({0.5, 0, 0.5, 1}, Qt::blue)}, image);
    QVERIFY(flat);
    QCOMPARE(flat->size(), QSize(80, 60));
    QCOMPARE(flat->devicePixelRatio(), 1.0);
    QCOMPARE(flat->pixelColor(79, 30), QColor(Qt::blue));
    QCOMPARE(flat->pixelColor(38, 30), QColor(Qt::white));
    // The original's resolution (300 dpi) is kept for printing.
    QCOMPARE(flat->dotsPerMeterX(), 11811);
}

void TestMarkupSaver::flattenedTextMatchesTheScreen_data()
{
    QTest::addColumn<int>("dotsPerMeter");
    QTest::newRow("the screen's resolution") << 0;
    QTest::newRow("300 dpi") << 11811;
    QTest::newRow("a resolution that rounds to 0 dpi") << 10;
}

void TestMarkupSaver::flattenedTextMatchesTheScreen()
{
    QFETCH(int, dotsPerMeter);
    const MarkupAnnotation text(MarkupShape::text({0.05, 0.1}, QStringLiteral("Hg"), 0.4),
                                Qt::black, Qt::transparent, 0.01, 5, 1, MarkupArrowheadStyle::end);
    QImage screen = canvas(200, 200);
    paint(screen, [&](QPainter& p) {
        MarkupAnnotationRenderer::draw(p, text, QRectF(0, 0, 200, 200), QImage(), 1);
    });
    QImage original = canvas(200, 200);
    if (dotsPerMeter > 0) {
        original.setDotsPerMeterX(dotsPerMeter);
        original.setDotsPerMeterY(dotsPerMeter);
    }
    const auto flat = MarkupFlattener::flatten({text}, original);
    QVERIFY(flat);
    QVERIFY(!inkBounds(screen).isEmpty());
    QCOMPARE(inkBounds(*flat), inkBounds(screen));
}

void TestMarkupSaver::flattenWithoutAnnotationsIsTheImage()
{
    const QImage image = gradient(50, 30);
    const auto flat = MarkupFlattener::flatten({}, image);
    QVERIFY(flat);
    QCOMPARE(flat->convertToFormat(QImage::Format_RGB32), image);
}

void TestMarkupSaver::flattenOfNothingIsAbsent()
{
    QVERIFY(!MarkupFlattener::flatten({filledRectangle({0, 0, 1, 1}, Qt::red)}, QImage()));
}

void TestMarkupSaver::copiesAreNamedAfterTheOriginal()
{
    QTemporaryDir folder;
    const QString originalPath = folder.filePath("photo.JPG");
    QVERIFY(gradient(64, 48).save(originalPath, "jpeg"));
    const QByteArray original = contentsOf(originalPath);
    const QUrl url = QUrl::fromLocalFile(originalPath);
    const QList<MarkupAnnotation> annotations{filledRectangle({0.1, 0.1, 0.3, 0.3}, Qt::red)};
    for (const char* expected : {"photo_markup.jpg", "photo_markup2.jpg", "photo_markup3.jpg"}) {
        QCOMPARE(MarkupSaver::saveMarkupCopy(url, annotations),
                 QUrl::fromLocalFile(folder.filePath(expected)));
    }
    QCOMPARE(contentsOf(originalPath), original);
    QCOMPARE(entries(folder.path()), QStringList({"photo.JPG", "photo_markup.jpg",
                                                  "photo_markup2.jpg", "photo_markup3.jpg"}));
}

void TestMarkupSaver::copyOfAnUnwritableFormatIsPng()
{
    // A HEIC decoder is the application's; any decoder will do here.
    QTemporaryDir folder;
    const QString originalPath = folder.filePath("scan.heic");
    QFile(originalPath).open(QIODevice::WriteOnly);
    const auto decode = [](const QString&) { return gradient(30, 20); };
    const auto copy = MarkupSaver::saveMarkupCopy(
        QUrl::fromLocalFile(originalPath), {filledRectangle({0, 0, 0.5, 0.5}, Qt::red)}, decode);
    QCOMPARE(copy, QUrl::fromLocalFile(folder.filePath("scan_markup.png")));
    QImageReader reader(copy->toLocalFile());
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), QSize(30, 20));
}

void TestMarkupSaver::copyDecodesToTheOriginalsPixelSize()
{
    // The decoder stands in for the originals' contents (Qt cannot write GIF).
    QTemporaryDir folder;
    const auto decode = [](const QString&) { return gradient(123, 45); };
    for (const QByteArray format : {"png", "tiff", "bmp", "gif", "jpeg"}) {
        const QString path = folder.filePath("a." + QString::fromLatin1(format));
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        const auto copy = MarkupSaver::saveMarkupCopy(
            QUrl::fromLocalFile(path), {filledRectangle({0.2, 0.2, 0.2, 0.2}, Qt::red)}, decode);
        QVERIFY2(copy, format.constData());
        QImageReader reader(copy->toLocalFile());
        QCOMPARE(reader.format(), format);
        const QImage back = reader.read();
        QCOMPARE(back.size(), QSize(123, 45));
        QVERIFY(isNear(back.pixelColor(37, 30), Qt::red, format == "jpeg" ? 40 : 2));
    }
}

void TestMarkupSaver::annotationsFollowTheOrientationTheOriginalIsShownIn()
{
    // Stored 80 x 40, shown 40 x 80.
    QTemporaryDir folder;
    QByteArray stored;
    {
        QBuffer buffer(&stored);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(canvas(80, 40, Qt::white).save(&buffer, "jpeg", 95));
    }
    const QString path = folder.filePath("portrait.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(withQuarterTurnOrientation(stored));
    file.close();
    // The top quarter of the picture as shown.
    const auto copy = MarkupSaver::saveMarkupCopy(QUrl::fromLocalFile(path),
                                                  {filledRectangle({0, 0.75, 1, 0.25}, Qt::red)});
    QVERIFY(copy);
    const QImage back(copy->toLocalFile());
    QCOMPARE(back.size(), QSize(40, 80));
    QVERIFY(isNear(back.pixelColor(20, 5), Qt::red, 40));
    QVERIFY(isNear(back.pixelColor(20, 70), Qt::white, 40));
}

void TestMarkupSaver::jpegCopyStaysWithinTheLimit()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("photo.jpg");
    QImageWriter writer(path, "jpeg");
    writer.setQuality(50);
    QVERIFY(writer.write(gradient(800, 600)));
    const QUrl url = QUrl::fromLocalFile(path);
    const auto copy =
        MarkupSaver::saveMarkupCopy(url, {filledRectangle({0.2, 0.2, 0.2, 0.2}, Qt::red)});
    QVERIFY(copy);
    QVERIFY(QFileInfo(copy->toLocalFile()).size() <= *MarkupSaver::maximumOutputFileSize(url));
}

void TestMarkupSaver::copyKeepsTheOriginalsProfile_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("alpha");
    QTest::newRow("jpeg") << QByteArray("jpeg") << false;
    QTest::newRow("png") << QByteArray("png") << false;
    QTest::newRow("png with transparency") << QByteArray("png") << true;
    QTest::newRow("tiff") << QByteArray("tiff") << false;
}

void TestMarkupSaver::copyKeepsTheOriginalsProfile()
{
    QFETCH(QByteArray, format);
    QFETCH(bool, alpha);
    QTemporaryDir folder;
    const QString path = folder.filePath("wide." + QString::fromLatin1(format));
    QImage original = gradient(40, 30);
    if (alpha) {
        original = original.convertToFormat(QImage::Format_ARGB32);
        original.setPixel(0, 0, qRgba(0, 0, 0, 0));
    }
    original.setColorSpace(QColorSpace::AdobeRgb);
    QVERIFY(QImageWriter(path, format).write(original));

    const auto copy = MarkupSaver::saveMarkupCopy(QUrl::fromLocalFile(path),
                                                  {filledRectangle({0.2, 0.2, 0.2, 0.2}, Qt::red)});
    QVERIFY(copy);
    QImageReader reader(copy->toLocalFile());
    QCOMPARE(reader.format(), format);
    const QImage back = reader.read();
    QCOMPARE(back.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));
    // The pixels are the original's own numbers, not converted ones.
    QVERIFY(
        isNear(back.pixelColor(39, 29), original.pixelColor(39, 29), format == "jpeg" ? 12 : 2));
}

void TestMarkupSaver::maximumOutputFileSize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("limit");
    QTest::newRow("half as much again") << qint64(100000) << qint64(150000);
    QTest::newRow("at least 16384 more") << qint64(10000) << qint64(26384);
    QTest::newRow("empty") << qint64(0) << qint64(16384);
    QTest::newRow("truncated") << qint64(33333) << qint64(49999);
}

void TestMarkupSaver::maximumOutputFileSize()
{
    QFETCH(qint64, size);
    QFETCH(qint64, limit);
    QTemporaryDir folder;
    QFile file(folder.filePath("a.jpg"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
    file.close();
    QCOMPARE(MarkupSaver::maximumOutputFileSize(QUrl::fromLocalFile(file.fileName())), limit);
    QCOMPARE(MarkupSaver::maximumOutputFileSize(QUrl::fromLocalFile(folder.filePath("b.jpg"))),
             std::nullopt);
}

void TestMarkupSaver::nothingIsWrittenWithoutAnnotationsOrPixels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("withAnnotations");
    QTest::newRow("no annotations") << "a.png" << QByteArray() << false;
    QTest::newRow("missing original") << "missing.png" << QByteArray() << true;
    QTest::newRow("not an image") << "a.jpg" << QByteArray("not a picture at all") << true;
}

void TestMarkupSaver::nothingIsWrittenWithoutAnnotationsOrPixels()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(bool, withAnnotations);
    QTemporaryDir folder;
    if (!contents.isEmpty()) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    } else if (name != "missing.png") {
        QVERIFY(gradient(20, 20).save(folder.filePath(name)));
    }
    const QStringList before = entries(folder.path());
    QList<MarkupAnnotation> annotations;
    if (withAnnotations) {
        annotations.append(filledRectangle({0, 0, 1, 1}, Qt::red));
    }
    QVERIFY(!MarkupSaver::saveMarkupCopy(QUrl::fromLocalFile(folder.filePath(name)), annotations));
    QCOMPARE(entries(folder.path()), before);
}

QTEST_MAIN(TestMarkupSaver)
#include "tst_markupsaver.moc"
