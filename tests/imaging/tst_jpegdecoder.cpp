#include "DisplayColour.h"
#include "ImageSource.h"
#include "JpegDecoder.h"
#include "TestImageFiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cstdio>
#include <jpeglib.h>
#include <vector>

using namespace TestImageFiles;

namespace {

// A 64 x 64 grey progressive JPEG of `scans` scans: the DC scan, then AC coefficients one at a
// time, each sent coarsely first and then refined bit by bit (eleven scans a coefficient).
QByteArray progressiveJpeg(int scans)
{
    const QImage image = quadrants(QSize(64, 64)).convertToFormat(QImage::Format_Grayscale8);
    std::vector<jpeg_scan_info> script{{1, {0}, 0, 0, 0, 0}};
    for (int coefficient = 1; coefficient < 64 && int(script.size()) < scans; ++coefficient) {
        script.push_back({1, {0}, coefficient, coefficient, 0, 10});
        for (int bit = 10; bit > 0 && int(script.size()) < scans; --bit) {
            script.push_back({1, {0}, coefficient, coefficient, bit, bit - 1});
        }
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    info.scan_info = script.data();
    info.num_scans = int(script.size());
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uchar*>(image.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

using ScaledSize = ImageSource::ScaledSize;

constexpr quint32 largeThumbnail = 0x00010001;
constexpr quint32 undefinedImageType = 0; // what HDR gain maps carry

void appendBigEndian(QByteArray& bytes, quint32 value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        bytes.append(char((value >> (8 * i)) & 0xFF));
    }
}

QByteArray jpegOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.write(image);
    return bytes;
}

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// One image a multi-picture file appends after the primary, and how its index entry reads.
struct Appended
{
    QByteArray bytes;
    quint32 attribute = largeThumbnail;
    qint64 offsetChange = 0; // added to the true offset, to break the entry
    qint64 sizeChange = 0;   // added to the true size
};

// `primary` with a big-endian APP2 "MPF" index right after its start marker, followed by the
// appended images, as cameras write multi-picture files and phones HDR photos.
QByteArray multiPictureFile(const QByteArray& primary, const QList<Appended>& appended)
{
    const auto count = quint32(appended.size() + 1);
    constexpr quint32 ifdLength = 2 + 3 * 12 + 4;
    constexpr quint32 tiffHeaderLength = 8;
    const quint32 segmentLength = 2 + 4 + tiffHeaderLength + ifdLength + 16 * count;
    constexpr qint64 tiffStart = 2 + 4 + 4; // start marker, APP2 marker and length, "MPF\0"
    const qint64 primarySize = primary.size() + 2 + segmentLength;

    QByteArray segment("\xFF\xE2", 2);
    appendBigEndian(segment, segmentLength, 2);
    segment.append("MPF\0MM\0\x2A", 8);
    appendBigEndian(segment, tiffHeaderLength, 4);
    appendBigEndian(segment, 3, 2);
    appendBigEndian(segment, 0xB000, 2); // version
    appendBigEndian(segment, 7, 2);
    appendBigEndian(segment, 4, 4);
    segment.append("0100");
    appendBigEndian(segment, 0xB001, 2); // number of images
    appendBigEndian(segment, 4, 2);
    appendBigEndian(segment, 1, 4);
    appendBigEndian(segment, count, 4);
    appendBigEndian(segment, 0xB002, 2); // the entries
    appendBigEndian(segment, 7, 2);
    appendBigEndian(segment, 16 * count, 4);
    appendBigEndian(segment, tiffHeaderLength + ifdLength, 4);
    appendBigEndian(segment, 0, 4); // no next IFD
    const auto appendEntry = [&](quint32 attribute, qint64 size, qint64 offset) {
        appendBigEndian(segment, attribute, 4);
        appendBigEndian(segment, quint32(size), 4);
        appendBigEndian(segment, quint32(offset), 4);
        appendBigEndian(segment, 0, 4);
    };
    appendEntry(0x20030000, primarySize, 0);
    qint64 imageStart = primarySize;
    for (const Appended& image : appended) {
        appendEntry(image.attribute, image.bytes.size() + image.sizeChange,
                    imageStart - tiffStart + image.offsetChange);
        imageStart += image.bytes.size();
    }
    QByteArray file = primary.left(2) + segment + primary.mid(2);
    for (const Appended& image : appended) {
        file.append(image.bytes);
    }
    return file;
}

QByteArray withOrientation(const QDir& folder, const QByteArray& jpeg, int orientation)
{
    const QString path = folder.filePath(QStringLiteral("tagging.jpg"));
    if (!writeBytes(path, jpeg) ||
        !writeExif(path, {{"Exif.Image.Orientation", QString::number(orientation)}})) {
        return {};
    }
    return readBytes(path);
}

std::optional<qint64> residentPeakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return std::nullopt;
}

bool resetResidentPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

class TestJpegDecoder : public QObject
{
    Q_OBJECT

private slots:
    void orientationIsApplied_data();
    void orientationIsApplied();
    void orientationIsReadAsQtReadsIt_data();
    void orientationIsReadAsQtReadsIt();
    void junkBetweenMarkersIsSkippedAsQtSkipsIt();
    void scaledSizes_data();
    void scaledSizes();
    void iccProfileIsAttached_data();
    void iccProfileIsAttached();
    void coloursConvertedWhileDecodingMatchTheWholeImage_data();
    void coloursConvertedWhileDecodingMatchTheWholeImage();
    void multiPictureFiles_data();
    void multiPictureFiles();
    void refusedFiles_data();
    void refusedFiles();
    void bitmapLimit_data();
    void bitmapLimit();
    void turningHoldsOneBitmap();

private:
    QString write(const QString& name, const QByteArray& bytes);

    QTemporaryDir m_dir;
};

QString TestJpegDecoder::write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    return writeBytes(path, bytes) ? path : QString();
}

// An APP1 segment holding `payload`, placed right after the start-of-image marker.
QByteArray withApp1(const QByteArray& jpeg, const QByteArray& payload)
{
    const int length = int(payload.size()) + 2;
    QByteArray segment("\xFF\xE1");
    segment.append(char(length >> 8)).append(char(length & 0xFF)).append(payload);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// An EXIF block whose first IFD has one entry (tag, type, count, value) in the given order.
QByteArray exifBlock(bool littleEndian, quint16 tag, quint16 type, quint32 count, quint16 value,
                     quint32 ifdOffset = 8)
{
    const auto u16 = [littleEndian](quint16 v) {
        const char low = char(v & 0xFF);
        const char high = char(v >> 8);
        return littleEndian ? QByteArray().append(low).append(high)
                            : QByteArray().append(high).append(low);
    };
    const auto u32 = [&](quint32 v) {
        return littleEndian ? u16(quint16(v & 0xFFFF)) + u16(quint16(v >> 16))
                            : u16(quint16(v >> 16)) + u16(quint16(v & 0xFFFF));
    };
    return QByteArray("Exif\0\0", 6) + (littleEndian ? "II" : "MM") + u16(42) + u32(ifdOffset) +
           u16(1) + u16(tag) + u16(type) + u32(count) + u16(value) + u16(0) + u32(0);
}

void TestJpegDecoder::orientationIsReadAsQtReadsIt_data()
{
    QTest::addColumn<QList<QByteArray>>("segments");
    QTest::addColumn<int>("expected");

    using Handler = QImageIOHandler;
    const std::array<int, 9> byOrientation{
        Handler::TransformationNone,     Handler::TransformationNone,
        Handler::TransformationMirror,   Handler::TransformationRotate180,
        Handler::TransformationFlip,     Handler::TransformationFlipAndRotate90,
        Handler::TransformationRotate90, Handler::TransformationMirrorAndRotate90,
        Handler::TransformationRotate270};
    const QByteArray xmp("http://ns.adobe.com/xap/1.0/\0<x/>", 34);
    QTest::newRow("none") << QList<QByteArray>{} << 0;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QTest::addRow("little-endian %d", orientation)
            << QList<QByteArray>{exifBlock(true, 0x0112, 3, 1, quint16(orientation))}
            << byOrientation.at(std::size_t(orientation));
        QTest::addRow("big-endian %d", orientation)
            << QList<QByteArray>{exifBlock(false, 0x0112, 3, 1, quint16(orientation))}
            << byOrientation.at(std::size_t(orientation));
    }
    // Qt reads the APP1 segments as one block, which then is no EXIF block.
    QTest::newRow("after an XMP segment")
        << QList<QByteArray>{xmp, exifBlock(true, 0x0112, 3, 1, 6)} << 0;
    QTest::newRow("before an XMP segment")
        << QList<QByteArray>{exifBlock(true, 0x0112, 3, 1, 6), xmp} << byOrientation.at(6);
    QTest::newRow("out of range") << QList<QByteArray>{exifBlock(true, 0x0112, 3, 1, 9)} << 0;
    QTest::newRow("zero") << QList<QByteArray>{exifBlock(true, 0x0112, 3, 1, 0)} << 0;
    QTest::newRow("another tag") << QList<QByteArray>{exifBlock(true, 0x0110, 3, 1, 6)} << 0;
    QTest::newRow("IFD beyond the segment")
        << QList<QByteArray>{exifBlock(true, 0x0112, 3, 1, 6, 4000)} << 0;
    QTest::newRow("cut short") << QList<QByteArray>{exifBlock(true, 0x0112, 3, 1, 6).left(20)} << 0;
}

void TestJpegDecoder::orientationIsReadAsQtReadsIt()
{
    QFETCH(QList<QByteArray>, segments);
    QFETCH(int, expected);
    QByteArray jpeg = jpegOf(quadrants(QSize(32, 16)));
    // Inserted in reverse, so they end up in the listed order.
    for (auto segment = segments.crbegin(); segment != segments.crend(); ++segment) {
        jpeg = withApp1(jpeg, *segment);
    }
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::ReadOnly);
    const int qt = int(QImageReader(&buffer, "jpeg").transformation());
    QCOMPARE(qt, expected);
    QCOMPARE(int(JpegDecoder::transformation(jpeg)), qt);
}

// Stray bytes where a marker belongs: the decoder skips them with a warning, and so must the
// header reading that gives the size and the orientation.
void TestJpegDecoder::junkBetweenMarkersIsSkippedAsQtSkipsIt()
{
    QByteArray jpeg = withApp1(jpegOf(quadrants(QSize(64, 48))), exifBlock(true, 0x0112, 3, 1, 6));
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    QVERIFY(frame > 0);
    jpeg.insert(frame, QByteArray("junk"));
    const QString path = write(QStringLiteral("junk.jpg"), jpeg);
    QVERIFY(!path.isEmpty());
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage expected = reader.read();
    QCOMPARE(expected.size(), QSize(48, 64));

    const ImageSource source(path);
    QCOMPARE(source.storedPixelSize(), QSize(64, 48));
    QCOMPARE(source.displayedPixelSize(), QSize(48, 64));
    QCOMPARE(source.decode().size(), QSize(48, 64));
}

void TestJpegDecoder::orientationIsApplied_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("longestSide");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const int longestSide : {0, 64}) {
            QTest::addRow("%d %s", orientation, longestSide == 0 ? "full" : "scaled")
                << orientation << longestSide;
        }
    }
}

void TestJpegDecoder::orientationIsApplied()
{
    QFETCH(int, orientation);
    QFETCH(int, longestSide);
    const QByteArray jpeg =
        withOrientation(m_dir.path(), jpegOf(quadrants(QSize(256, 128))), orientation);
    const QString path = write(QStringLiteral("oriented-%1.jpg").arg(orientation), jpeg);
    QVERIFY(!path.isEmpty());

    // What Qt's reader makes of the same file, turned and reduced to the same size.
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const bool turned = orientation >= 5;
    const QSize decodedSize = longestSide == 0 ? QSize(256, 128) : QSize(64, 32);
    reader.setScaledSize(decodedSize);
    const QImage expected = reader.read();
    QCOMPARE(expected.size(), turned ? decodedSize.transposed() : decodedSize);

    const ImageSource source(path);
    const QImage image = longestSide == 0 ? source.decode() : source.decodeScaled(longestSide);
    QCOMPARE(image.size(), expected.size());
    QCOMPARE(image.format(), QImage::Format_RGB32);
    if (longestSide == 0) {
        QCOMPARE(image, expected); // the same library with the same settings: the same pixels
        return;
    }
    for (const QPoint corner :
         {QPoint(4, 4), QPoint(image.width() - 5, 4), QPoint(4, image.height() - 5),
          QPoint(image.width() - 5, image.height() - 5)}) {
        QVERIFY2(isNear(image.pixelColor(corner), expected.pixelColor(corner)),
                 qPrintable(QStringLiteral("corner %1,%2").arg(corner.x()).arg(corner.y())));
    }
}

void TestJpegDecoder::scaledSizes_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("longestSide");
    QTest::addColumn<ScaledSize>("mode");
    QTest::addColumn<QSize>("decodedSize");
    // Stored 800 x 600: DCT scaling gives 100 x 75, 200 x 150, 400 x 300 or the full size.
    QTest::newRow("an eighth reaches exactly") << 1 << 100 << ScaledSize::AtLeast << QSize(100, 75);
    QTest::newRow("one over an eighth") << 1 << 101 << ScaledSize::AtLeast << QSize(200, 150);
    QTest::newRow("a half") << 1 << 400 << ScaledSize::AtLeast << QSize(400, 300);
    QTest::newRow("beyond a half") << 1 << 401 << ScaledSize::AtLeast << QSize(800, 600);
    QTest::newRow("never enlarged") << 1 << 5000 << ScaledSize::AtLeast << QSize(800, 600);
    QTest::newRow("turned") << 6 << 150 << ScaledSize::AtLeast << QSize(150, 200);
    QTest::newRow("exactly") << 1 << 300 << ScaledSize::Exactly << QSize(300, 225);
    QTest::newRow("exactly, turned") << 8 << 123 << ScaledSize::Exactly << QSize(92, 123);
    QTest::newRow("exactly, never enlarged") << 1 << 5000 << ScaledSize::Exactly << QSize(800, 600);
}

void TestJpegDecoder::scaledSizes()
{
    QFETCH(int, orientation);
    QFETCH(int, longestSide);
    QFETCH(ScaledSize, mode);
    QFETCH(QSize, decodedSize);
    const QByteArray jpeg =
        withOrientation(m_dir.path(), jpegOf(quadrants(QSize(800, 600))), orientation);
    const QString path = write(QStringLiteral("scaled-%1.jpg").arg(orientation), jpeg);
    QCOMPARE(ImageSource(path).decodeScaled(longestSide, mode).size(), decodedSize);
}

void TestJpegDecoder::iccProfileIsAttached_data()
{
    QTest::addColumn<bool>("corrupt");
    QTest::newRow("valid profile") << false;
    QTest::newRow("corrupt profile") << true;
}

void TestJpegDecoder::iccProfileIsAttached()
{
    QFETCH(bool, corrupt);
    QImage original = quadrants(QSize(64, 48));
    original.setColorSpace(QColorSpace::AdobeRgb);
    QByteArray jpeg = jpegOf(original);
    const qsizetype marker = jpeg.indexOf("ICC_PROFILE");
    QVERIFY(marker > 0);
    if (corrupt) {
        // The profile follows the marker name, a zero and two chunk numbers; its signature
        // ("acsp") lies 36 bytes in.
        const qsizetype signature = marker + 12 + 2 + 36;
        QCOMPARE(jpeg.mid(signature, 4), QByteArray("acsp"));
        jpeg.replace(signature, 4, "xxxx");
    }
    const ImageSource source(write(QStringLiteral("profiled.jpg"), jpeg));
    for (const QImage& image : {source.decode(), source.decodeScaled(16)}) {
        QVERIFY(!image.isNull());
        QVERIFY(isNear(image.pixelColor(2, 2), topLeftColour));
        if (corrupt) {
            QVERIFY(!image.colorSpace().isValid());
        } else {
            QCOMPARE(image.colorSpace().primaries(), QColorSpace::Primaries::AdobeRgb);
        }
    }
}

void TestJpegDecoder::coloursConvertedWhileDecodingMatchTheWholeImage_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("longestSide");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QTest::addRow("orientation %d", orientation) << orientation << 0;
    }
    QTest::newRow("turned and scaled") << 6 << 100;
}

// Bands converted on the side as the decoder places them give exactly the bitmap that one
// conversion of the finished image gives, in every orientation.
void TestJpegDecoder::coloursConvertedWhileDecodingMatchTheWholeImage()
{
    QFETCH(int, orientation);
    QFETCH(int, longestSide);
    QImage original(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < original.height(); ++y) {
        for (int x = 0; x < original.width(); ++x) {
            original.setPixel(x, y, qRgb(x * 255 / 299, y * 255 / 199, (x + y) % 256));
        }
    }
    original.setColorSpace(QColorSpace::AdobeRgb);
    const ImageSource source(write(QStringLiteral("wide-%1.jpg").arg(orientation),
                                   withOrientation(m_dir.path(), jpegOf(original), orientation)));
    QImage expected = longestSide > 0 ? source.decodeScaled(longestSide) : source.decode();
    QCOMPARE(expected.colorSpace().primaries(), QColorSpace::Primaries::AdobeRgb);
    DisplayColour::convertToSRgb(expected);
    const QImage converted = longestSide > 0 ? source.decodeScaled(longestSide, ScaledSize::AtLeast,
                                                                   DecodedColours::SRgb)
                                             : source.decode(DecodedColours::SRgb);
    QCOMPARE(converted.colorSpace(), QColorSpace(QColorSpace::SRgb));
    QCOMPARE(converted, expected);
}

void TestJpegDecoder::multiPictureFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("longestSide");
    QTest::addColumn<QSize>("decodedSize");
    QTest::addColumn<QColor>("colour");

    const QByteArray primary = jpegOf(filled(QSize(800, 600), Qt::red));
    const QByteArray preview = jpegOf(filled(QSize(320, 240), Qt::blue));
    const QByteArray turnedPrimary = withOrientation(m_dir.path(), primary, 6);
    const QByteArray otherShape = jpegOf(filled(QSize(320, 200), Qt::blue));
    const QColor red = Qt::red;
    const QColor blue = Qt::blue;
    const QSize full(800, 600);
    const QByteArray withPreview = multiPictureFile(primary, {{preview}});

    QTest::newRow("full size") << withPreview << 0 << full << red;
    QTest::newRow("preview covers") << withPreview << 300 << QSize(320, 240) << blue;
    QTest::newRow("preview reduced too") << withPreview << 150 << QSize(160, 120) << blue;
    QTest::newRow("preview too small") << withPreview << 321 << QSize(400, 300) << red;
    QTest::newRow("preview turned with the primary")
        << multiPictureFile(turnedPrimary, {{preview}}) << 300 << QSize(240, 320) << blue;
    QTest::newRow("gain map is no preview")
        << multiPictureFile(primary, {{preview, undefinedImageType}}) << 300 << QSize(400, 300)
        << red;
    QTest::newRow("preview of another shape")
        << multiPictureFile(primary, {{otherShape}}) << 300 << QSize(400, 300) << red;
    QTest::newRow("preview cut short")
        << multiPictureFile(primary, {{preview, largeThumbnail, 0, -100}}) << 300 << QSize(400, 300)
        << red;
    QTest::newRow("offset beyond the file")
        << multiPictureFile(primary, {{preview, largeThumbnail, 1 << 30}}) << 300 << QSize(400, 300)
        << red;
    QTest::newRow("size beyond the file")
        << multiPictureFile(primary, {{preview, largeThumbnail, 0, 0x7FFFFFFF}}) << 300
        << QSize(400, 300) << red;
    QTest::newRow("offset into the primary")
        << multiPictureFile(primary, {{preview, largeThumbnail, -4000}}) << 300 << QSize(400, 300)
        << red;
    QByteArray brokenIndex = withPreview;
    brokenIndex[2 + 4 + 4 + 8 + 1] = char(200); // the entry count runs past the segment
    QTest::newRow("index past its segment") << brokenIndex << 300 << QSize(400, 300) << red;
}

void TestJpegDecoder::multiPictureFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, longestSide);
    QFETCH(QSize, decodedSize);
    QFETCH(QColor, colour);
    const ImageSource source(write(QStringLiteral("multi.jpg"), bytes));
    const QImage image = longestSide == 0 ? source.decode() : source.decodeScaled(longestSide);
    QCOMPARE(image.size(), decodedSize);
    QVERIFY(isNear(image.pixelColor(image.width() / 2, image.height() / 2), colour));
}

void TestJpegDecoder::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray jpeg = jpegOf(quadrants(QSize(400, 300)));
    const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    QVERIFY(frame > 0);
    QByteArray huge = jpeg;
    huge.replace(frame + 5, 4, QByteArray("\xFF\xF0\xFF\xF0", 4)); // 65520 x 65520

    QTest::newRow("huge header") << huge;
    QTest::newRow("cut at 50 %") << jpeg.left(jpeg.size() / 2);
    QTest::newRow("cut at 90 %") << jpeg.left(jpeg.size() * 9 / 10);
    QTest::newRow("end marker missing") << jpeg.chopped(2);
    // Each scan walks the whole frame again: a few MB of them would take minutes.
    QVERIFY(!QImage::fromData(progressiveJpeg(400)).isNull());
    QTest::newRow("more scans than any encoder writes") << progressiveJpeg(600);
    QTest::newRow("multi-picture with its primary cut")
        << multiPictureFile(jpeg.chopped(2), {{jpegOf(filled(QSize(200, 150), Qt::blue))}});
}

void TestJpegDecoder::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    const ImageSource source(write(QStringLiteral("refused.jpg"), bytes));
    QVERIFY(source.decode().isNull());
    QVERIFY(source.decodeScaled(50).isNull());
    QVERIFY(source.decodeScaled(50, ScaledSize::Exactly).isNull());
    const std::optional<QImage> direct = JpegDecoder::decode(bytes, 0, ImageSource::maximumBytes);
    QVERIFY(direct && direct->isNull());
}

void TestJpegDecoder::bitmapLimit_data()
{
    QTest::addColumn<int>("longestSide");
    QTest::addColumn<qint64>("maximumBytes");
    QTest::addColumn<bool>("decodes");
    constexpr qint64 fullBytes = 400 * 304 * 4;
    QTest::newRow("full size within") << 0 << fullBytes << true;
    QTest::newRow("full size one byte over") << 0 << fullBytes - 1 << false;
    QTest::newRow("reduced within") << 100 << fullBytes / 16 << true;
}

void TestJpegDecoder::bitmapLimit()
{
    QFETCH(int, longestSide);
    QFETCH(qint64, maximumBytes);
    QFETCH(bool, decodes);
    const QByteArray jpeg = jpegOf(quadrants(QSize(400, 304)));
    const std::optional<QImage> image = JpegDecoder::decode(jpeg, longestSide, maximumBytes);
    QVERIFY(image.has_value());
    QCOMPARE(!image->isNull(), decodes);
}

void TestJpegDecoder::turningHoldsOneBitmap()
{
    if (!resetResidentPeak() || !residentPeakKiB()) {
        QSKIP("the resident memory peak cannot be read or reset here");
    }
    const QSize stored(8000, 6000);
    QString path;
    {
        const QByteArray jpeg = withOrientation(m_dir.path(), jpegOf(filled(stored, Qt::cyan)), 6);
        QVERIFY(jpeg.size() < 4 * 1024 * 1024);
        path = write(QStringLiteral("large.jpg"), jpeg);
    }
    QVERIFY(resetResidentPeak());
    const qint64 before = *residentPeakKiB();
    const QImage image = ImageSource(path).decode();
    const qint64 growth = *residentPeakKiB() - before;
    QCOMPARE(image.size(), stored.transposed());
    QVERIFY(isNear(image.pixelColor(100, 7000), Qt::cyan));
    const qint64 bitmapKiB = image.sizeInBytes() / 1024;
    QVERIFY2(growth < bitmapKiB * 5 / 4,
             qPrintable(QStringLiteral("peak grew by %1 KiB for a bitmap of %2 KiB")
                            .arg(growth)
                            .arg(bitmapKiB)));
}

QTEST_MAIN(TestJpegDecoder)
#include "tst_jpegdecoder.moc"
