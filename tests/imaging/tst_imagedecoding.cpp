#include "ImageLoadingPipeline.h"
#include "ImageProperties.h"
#include "ImageSource.h"
#include "JpegStream.h"
#include "TestImageFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <exiv2/exiv2.hpp>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestImageFiles;

namespace {

// Standard CRC-32 as PNG chunks use it.
quint32 crc32(QByteArrayView bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void putBigEndian16(QByteArray& bytes, qsizetype at, quint16 value)
{
    bytes[at] = char(value >> 8);
    bytes[at + 1] = char(value & 0xFF);
}

void putBigEndian32(QByteArray& bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = char((value >> (24 - 8 * i)) & 0xFF);
    }
}

// A real small JPEG whose frame header claims `side` x `side` pixels.
QByteArray jpegClaiming(quint16 side)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("small.jpg"));
    writeJpeg(path, quadrants(QSize(16, 16)));
    QByteArray bytes = readBytes(path);
    const qsizetype frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    if (frame < 0) {
        return {};
    }
    putBigEndian16(bytes, frame + 5, side); // height
    putBigEndian16(bytes, frame + 7, side); // width
    return bytes;
}

// A real small PNG whose header claims `side` x `side` pixels, with a correct header checksum.
QByteArray pngClaiming(quint32 side)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    quadrants(QSize(16, 16)).save(&buffer, "PNG");
    constexpr qsizetype headerType = 12; // signature (8) + chunk length (4)
    putBigEndian32(bytes, headerType + 4, side);
    putBigEndian32(bytes, headerType + 8, side);
    putBigEndian32(bytes, headerType + 17, crc32(QByteArrayView(bytes).sliced(headerType, 17)));
    return bytes;
}

std::optional<LoadedImage> loadThroughPipeline(ImageLoadingPipeline& pipeline, const QString& path)
{
    std::optional<LoadedImage> result;
    bool delivered = false;
    QObject context;
    pipeline.image(QUrl::fromLocalFile(path), &context, [&](std::optional<LoadedImage> loaded) {
        result = std::move(loaded);
        delivered = true;
    });
    if (!QTest::qWaitFor([&] { return delivered; }, 20000)) {
        qWarning("no answer from the pipeline for %s", qPrintable(path));
    }
    return result;
}

// Asks for the image with a preview for a small fit; true when either delivery brought an
// image.
bool anythingThroughPreviewRequest(ImageLoadingPipeline& pipeline, const QString& path)
{
    bool brought = false;
    bool delivered = false;
    QObject context;
    pipeline.image(
        QUrl::fromLocalFile(path), QSize(8, 8), &context,
        [&](const LoadedImage&, QSize) { brought = true; },
        [&](std::optional<LoadedImage> loaded) {
            brought = brought || loaded.has_value();
            delivered = true;
        });
    if (!QTest::qWaitFor([&] { return delivered; }, 20000)) {
        qWarning("no answer from the pipeline for %s", qPrintable(path));
    }
    return brought;
}

// `jpeg` cut `fraction` of the way into its compressed data (after its scan header).
QByteArray cutInsideTheScan(const QByteArray& jpeg, double fraction)
{
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    return jpeg.left(scan + qsizetype((jpeg.size() - scan) * fraction));
}

} // namespace

class TestImageDecoding : public QObject
{
    Q_OBJECT

private slots:
    void orientationIsApplied_data();
    void orientationIsApplied();
    void propertiesOfATaggedJpeg();
    void exifNumbersOfUnusualTypes();
    void propertiesAreAbsentWithoutMetadata();
    void textFromTheFileStaysOnOneLine_data();
    void textFromTheFileStaysOnOneLine();
    void heifIsDecodedWithItsOrientation_data();
    void heifIsDecodedWithItsOrientation();
    void jpegCompleteness_data();
    void jpegCompleteness();
    void hostileFilesGiveNothing();

private:
    QTemporaryDir m_dir;
};

void TestImageDecoding::orientationIsApplied_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("decodedSize");
    QTest::addColumn<QColor>("topLeft");
    QTest::addColumn<QColor>("topRight");
    const QSize wide(64, 32);
    const QSize tall(32, 64);
    QTest::newRow("1 as stored") << 1 << wide << topLeftColour << topRightColour;
    QTest::newRow("2 mirrored") << 2 << wide << topRightColour << topLeftColour;
    QTest::newRow("3 upside down") << 3 << wide << bottomRightColour << bottomLeftColour;
    QTest::newRow("4 flipped") << 4 << wide << bottomLeftColour << bottomRightColour;
    QTest::newRow("5 transposed") << 5 << tall << topLeftColour << bottomLeftColour;
    QTest::newRow("6 turned clockwise") << 6 << tall << bottomLeftColour << topLeftColour;
    QTest::newRow("7 transversed") << 7 << tall << bottomRightColour << topRightColour;
    QTest::newRow("8 turned anticlockwise") << 8 << tall << topRightColour << bottomRightColour;
}

void TestImageDecoding::orientationIsApplied()
{
    QFETCH(int, orientation);
    QFETCH(QSize, decodedSize);
    QFETCH(QColor, topLeft);
    QFETCH(QColor, topRight);
    const QString path = m_dir.filePath(QStringLiteral("oriented-%1.jpg").arg(orientation));
    QVERIFY(writeJpeg(path, quadrants(QSize(64, 32))));
    QVERIFY(writeExif(path, {{"Exif.Image.Orientation", QString::number(orientation)}}));

    const ImageSource source(path);
    QVERIFY(source.isValid());
    QCOMPARE(source.storedPixelSize(), QSize(64, 32));
    const QImage image = source.decode();
    QCOMPARE(image.size(), decodedSize);
    const QPoint insetTopRight(image.width() - 5, 4);
    QVERIFY2(isNear(image.pixelColor(4, 4), topLeft), "top-left corner");
    QVERIFY2(isNear(image.pixelColor(insetTopRight), topRight), "top-right corner");
}

void TestImageDecoding::propertiesOfATaggedJpeg()
{
    const QString path = m_dir.filePath(QStringLiteral("tagged.jpg"));
    QVERIFY(writeJpeg(path, quadrants(QSize(60, 40))));
    QVERIFY(writeExif(path, {{"Exif.Image.Model", "Field Camera II"},
                             {"Exif.Image.Orientation", "6"},
                             {"Exif.Photo.DateTimeOriginal", "2023:07:14 18:02:59"},
                             {"Exif.Photo.ExposureTime", "1/250"},
                             {"Exif.Photo.FocalLength", "35/1"},
                             {"Exif.Photo.ISOSpeedRatings", "400"}}));

    const QVariantMap properties = ImageSource(path).properties();
    QCOMPARE(properties.value(ImageProperties::pixelWidthKey).toInt(), 60);
    QCOMPARE(properties.value(ImageProperties::pixelHeightKey).toInt(), 40);
    const QVariantMap tiff = properties.value(ImageProperties::tiffKey).toMap();
    QCOMPARE(tiff.value(ImageProperties::modelKey), QVariant(QStringLiteral("Field Camera II")));
    const QVariantMap exif = properties.value(ImageProperties::exifKey).toMap();
    QCOMPARE(exif.value(ImageProperties::dateTimeOriginalKey),
             QVariant(QStringLiteral("2023:07:14 18:02:59")));
    QCOMPARE(exif.value(ImageProperties::exposureTimeKey).typeId(), QMetaType::Double);
    QCOMPARE(exif.value(ImageProperties::exposureTimeKey).toDouble(), 0.004);
    QCOMPARE(exif.value(ImageProperties::focalLengthKey).toDouble(), 35.0);
    QCOMPARE(exif.value(ImageProperties::isoSpeedRatingsKey).toList(), QVariantList{400});

    // The summary names the stored size, although the bitmap comes out turned.
    ImageLoadingPipeline pipeline;
    const std::optional<LoadedImage> loaded = loadThroughPipeline(pipeline, path);
    QVERIFY(loaded);
    QCOMPARE(loaded->cgImage.size(), QSize(40, 60));
    QCOMPARE(loaded->metadata, QStringLiteral("60x40 px \u2022 Field Camera II \u2022 2023:07:14 "
                                              "18:02:59 \u2022 1/250s \u2022 35mm \u2022 ISO 400"));
}

void TestImageDecoding::exifNumbersOfUnusualTypes()
{
    // Entries typed as a camera never writes them: a rational with a denominator of 2^31 or
    // more, and ratings stored as doubles, one of them beyond any integer.
    const QString path = m_dir.filePath(QStringLiteral("odd-types.jpg"));
    QVERIFY(writeJpeg(path, quadrants(QSize(30, 20))));
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        Exiv2::URationalValue exposure;
        exposure.value_.push_back({1u, 3000000000u});
        exif.add(Exiv2::ExifKey("Exif.Photo.ExposureTime"), &exposure);
        Exiv2::DoubleValue focal;
        focal.value_.push_back(1e300);
        exif.add(Exiv2::ExifKey("Exif.Photo.FocalLength"), &focal);
        Exiv2::DoubleValue ratings;
        ratings.value_.push_back(1e30);
        exif.add(Exiv2::ExifKey("Exif.Photo.ISOSpeedRatings"), &ratings);
        image->writeMetadata();
    } catch (const std::exception& error) {
        QFAIL(error.what());
    }

    const QVariantMap exif = ImageSource(path).properties().value(ImageProperties::exifKey).toMap();
    QCOMPARE(exif.value(ImageProperties::exposureTimeKey).toDouble(), 1 / 3e9);
    QCOMPARE(exif.value(ImageProperties::focalLengthKey).toDouble(), 1e300);
    QVERIFY(!exif.contains(ImageProperties::isoSpeedRatingsKey));
}

void TestImageDecoding::propertiesAreAbsentWithoutMetadata()
{
    const QString path = m_dir.filePath(QStringLiteral("plain.png"));
    QVERIFY(quadrants(QSize(30, 20)).save(path));
    const QVariantMap properties = ImageSource(path).properties();
    QCOMPARE(properties.value(ImageProperties::pixelWidthKey).toInt(), 30);
    QCOMPARE(properties.value(ImageProperties::pixelHeightKey).toInt(), 20);
    QVERIFY(!properties.contains(ImageProperties::tiffKey));
    QVERIFY(!properties.contains(ImageProperties::exifKey));
}

void TestImageDecoding::textFromTheFileStaysOnOneLine_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("shown"); // null: absent

    const QString model = QStringLiteral("Exif.Image.Model");
    const auto bytes = [](const char* text, qsizetype size) {
        return QString::fromUtf8(text, size);
    };
    QTest::newRow("well formed") << model << "Canon EOS 5D"
                                 << "Canon EOS 5D";
    QTest::newRow("line breaks") << model << "Camera\r\nX1"
                                 << "Camera  X1";
    QTest::newRow("tab") << model << "Camera\tX1"
                         << "Camera X1";
    QTest::newRow("NUL padding") << model << bytes("Model\0\0\0", 8) << "Model";
    QTest::newRow("space padding") << model << "Model   "
                                   << "Model";
    QTest::newRow("ends at a NUL") << model << bytes("Mo\0del", 6) << "Mo";
    QTest::newRow("DEL and C1 controls") << model << "A\u007fB\u0085C\u009b"
                                         << "A B C";
    QTest::newRow("line separator") << model << "A\u2028B"
                                    << "A B";
    QTest::newRow("leading spaces kept") << model << "  Model"
                                         << "  Model";
    QTest::newRow("only padding") << model << bytes(" \r\n\0\0", 5) << QString();
    QTest::newRow("date with a line feed") << "Exif.Photo.DateTimeOriginal"
                                           << "2023:07:14 18:02:59\n"
                                           << "2023:07:14 18:02:59";
}

void TestImageDecoding::textFromTheFileStaysOnOneLine()
{
    QFETCH(QString, key);
    QFETCH(QString, written);
    QFETCH(QString, shown);

    const QString path = m_dir.filePath(QStringLiteral("text-%1.jpg").arg(QTest::currentDataTag()));
    QVERIFY(writeJpeg(path, quadrants(QSize(30, 20))));
    QVERIFY(writeExif(path, {{key, written}}));
    const QVariantMap properties = ImageSource(path).properties();
    const bool isModel = key == u"Exif.Image.Model";
    const QVariantMap group =
        properties.value(isModel ? ImageProperties::tiffKey : ImageProperties::exifKey).toMap();
    const QLatin1StringView entry =
        isModel ? ImageProperties::modelKey : ImageProperties::dateTimeOriginalKey;
    QCOMPARE(group.contains(entry), !shown.isNull());
    QCOMPARE(group.value(entry).toString(), shown);

    ImageLoadingPipeline pipeline;
    const std::optional<LoadedImage> loaded = loadThroughPipeline(pipeline, path);
    QVERIFY(loaded);
    QVERIFY(loaded->metadata.contains(shown));
    QVERIFY(std::none_of(loaded->metadata.cbegin(), loaded->metadata.cend(),
                         [](QChar character) { return character.unicode() < 0x20; }));
}

void TestImageDecoding::heifIsDecodedWithItsOrientation_data()
{
    QTest::addColumn<bool>("av1");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("decodedSize");
    QTest::addColumn<QColor>("topLeft");
    QTest::newRow("HEIC as stored") << false << 1 << QSize(128, 64) << topLeftColour;
    QTest::newRow("HEIC turned clockwise") << false << 6 << QSize(64, 128) << bottomLeftColour;
    QTest::newRow("AVIF turned anticlockwise") << true << 8 << QSize(64, 128) << topRightColour;
}

void TestImageDecoding::heifIsDecodedWithItsOrientation()
{
    QFETCH(bool, av1);
    QFETCH(int, orientation);
    QFETCH(QSize, decodedSize);
    QFETCH(QColor, topLeft);
    const QString path =
        m_dir.filePath(QStringLiteral("encoded-%1.%2").arg(orientation).arg(av1 ? "avif" : "heic"));
    if (!writeHeif(path, quadrants(QSize(128, 64)), orientation, av1)) {
        QSKIP("libheif has no encoder for this format here");
    }
    const ImageSource source(path);
    QVERIFY(source.isValid());
    QCOMPARE(source.storedPixelSize(), QSize(128, 64));
    const QImage image = source.decode();
    QCOMPARE(image.size(), decodedSize);
    QVERIFY(isNear(image.pixelColor(8, 8), topLeft));
}

void TestImageDecoding::jpegCompleteness_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("isComplete");

    const QString baselinePath = m_dir.filePath(QStringLiteral("stream-baseline.jpg"));
    const QString progressivePath = m_dir.filePath(QStringLiteral("stream-progressive.jpg"));
    const QString previewPath = m_dir.filePath(QStringLiteral("stream-preview.jpg"));
    const QImage image = quadrants(QSize(120, 80));
    QVERIFY(writeJpeg(baselinePath, image));
    QVERIFY(writeJpeg(progressivePath, image, true));
    QVERIFY(writeJpeg(previewPath, image));
    QVERIFY(writeExifThumbnail(previewPath));
    const QByteArray baseline = readBytes(baselinePath);
    const QByteArray progressive = readBytes(progressivePath);
    const QByteArray preview = readBytes(previewPath);
    QVERIFY(preview.indexOf("\xFF\xD9") < preview.size() - 2); // the preview's own end marker

    QTest::newRow("baseline") << baseline << true;
    QTest::newRow("progressive") << progressive << true;
    QTest::newRow("trailing bytes after the end") << baseline + QByteArray(100, 'x') << true;
    QTest::newRow("a second image after the end") << baseline + progressive << true;
    QTest::newRow("cut where a second image starts") << baseline.chopped(2) + progressive << false;
    QTest::newRow("with EXIF preview") << preview << true;
    QTest::newRow("only the start marker") << baseline.left(2) << false;
    QTest::newRow("cut inside the headers") << baseline.left(40) << false;
    QTest::newRow("cut inside the scan") << baseline.left(baseline.size() / 2) << false;
    QTest::newRow("end marker missing") << baseline.chopped(2) << false;
    QTest::newRow("progressive cut between scans")
        << progressive.left(progressive.size() * 3 / 4) << false;
    QTest::newRow("cut main image after an EXIF preview")
        << preview.left(preview.size() - 200) << false;
    QTest::newRow("not a JPEG") << QByteArray("GIF89a....") << false;
}

void TestImageDecoding::jpegCompleteness()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isComplete);
    QCOMPARE(JpegStream::isComplete(bytes), isComplete);
}

void TestImageDecoding::hostileFilesGiveNothing()
{
    QTemporaryDir folderHolder;
    const QDir folder(folderHolder.path());
    const auto path = [&](const char* name) { return folder.filePath(QString::fromLatin1(name)); };

    const QString controlPath = path("control.jpg");
    QVERIFY(writeJpeg(controlPath, quadrants(QSize(256, 192))));
    const QByteArray jpeg = readBytes(controlPath);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(quadrants(QSize(64, 48)).save(&buffer, "PNG"));
    }
    QByteArray noise(4096, Qt::Uninitialized);
    for (qsizetype i = 0; i < noise.size(); ++i) {
        noise[i] = char((i * 7919 + 13) % 251);
    }

    QVERIFY(writeBytes(path("truncated.jpg"), jpeg.left(jpeg.size() * 2 / 3)));
    QVERIFY(writeBytes(path("cut-at-half-the-scan.jpg"), cutInsideTheScan(jpeg, 0.5)));
    QVERIFY(writeBytes(path("cut-at-nine-tenths-of-the-scan.jpg"), cutInsideTheScan(jpeg, 0.9)));
    QVERIFY(writeBytes(path("end-marker-missing.jpg"), jpeg.chopped(2)));
    QVERIFY(writeBytes(path("truncated.png"), png.left(png.size() * 2 / 3)));
    QVERIFY(writeBytes(path("noise.jpg"), noise));
    QVERIFY(writeBytes(path("jpeg-header-then-noise.jpg"), jpeg.left(20) + noise));
    QVERIFY(writeBytes(path("empty.png"), {}));
    QVERIFY(writeBytes(path("letter.jpg"), "Dear reader,\nthis is not a picture.\n"));
    QVERIFY(writeBytes(path("vanishing.jpg"), jpeg));
    QVERIFY(writeBytes(path("bomb.jpg"), jpegClaiming(60000)));
    QVERIFY(writeBytes(path("bomb.png"), pngClaiming(60000)));
    QVERIFY(writeBytes(path("just-over-the-limit.png"), pngClaiming(16385)));
    QVERIFY(folder.mkdir(QStringLiteral("folder.jpg")));
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.jpg")).constData(), 0600), 0);
    const bool isRoot = ::geteuid() == 0; // root reads files whatever their permissions
    if (!isRoot) {
        QVERIFY(writeBytes(path("unreadable.jpg"), jpeg));
        QVERIFY(QFile::setPermissions(path("unreadable.jpg"), QFileDevice::Permissions()));
    }

    const QStringList listed =
        folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    QVERIFY(QFile::remove(path("vanishing.jpg")));

    ImageLoadingPipeline pipeline;
    for (const QString& name : listed) {
        const QString filePath = folder.filePath(name);
        const bool isControl = filePath == controlPath;
        QVERIFY2(ImageSource(filePath).decode().isNull() != isControl, qPrintable(name));
        QVERIFY2(loadThroughPipeline(pipeline, filePath).has_value() == isControl,
                 qPrintable(name));
        // The reduced paths refuse exactly what the full one refuses.
        QVERIFY2(ImageSource(filePath).decodeScaled(8).isNull() != isControl, qPrintable(name));
        QVERIFY2(
            ImageLoadingPipeline::loadScaledImage(QUrl::fromLocalFile(filePath), 8).has_value() ==
                isControl,
            qPrintable(name));
        ImageLoadingPipeline uncached;
        QVERIFY2(anythingThroughPreviewRequest(uncached, filePath) == isControl, qPrintable(name));
    }
    QCOMPARE(listed.size(), isRoot ? 16 : 17);
}

QTEST_MAIN(TestImageDecoding)
#include "tst_imagedecoding.moc"
