#include "HeifImageFile.h"
#include "ImageLoadingPipeline.h"
#include "ImageSource.h"
#include "TestImageFiles.h"
#include "TiffImageFile.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <libheif/heif.h>
#include <tiffio.h>
#include <vector>

using namespace TestImageFiles;

namespace {

// The four corners, inset by two pixels, clockwise from the top left.
QList<QColor> cornersOf(const QImage& image)
{
    const int right = image.width() - 3;
    const int bottom = image.height() - 3;
    return {image.pixelColor(2, 2), image.pixelColor(right, 2), image.pixelColor(right, bottom),
            image.pixelColor(2, bottom)};
}

bool cornersAreNear(const QImage& image, const QList<QColor>& expected, int tolerance)
{
    const QList<QColor> actual = cornersOf(image);
    for (int i = 0; i < 4; ++i) {
        if (!isNear(actual[i], expected[i], tolerance) ||
            qAbs(actual[i].alpha() - expected[i].alpha()) > tolerance) {
            qWarning("corner %d: %s, expected %s", i, qPrintable(actual[i].name(QColor::HexArgb)),
                     qPrintable(expected[i].name(QColor::HexArgb)));
            return false;
        }
    }
    return true;
}

// The quadrants with their right half at half opacity, unpremultiplied.
QImage translucentQuadrants(QSize size)
{
    QImage image = quadrants(size).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = size.width() / 2; x < size.width(); ++x) {
            line[x] = (line[x] & 0x00FFFFFFu) | (128u << 24);
        }
    }
    return image;
}

// A BMP of `image` with an info header of `headerSize` bytes (40, or 108 and 124 with colour
// masks), rows stored top-down or bottom-up. 24 bits are plain RGB; 16 (5-6-5) and 32 (with
// alpha) bits use bit-field masks.
QByteArray bmpOf(const QImage& image, int headerSize, int bitsPerPixel, bool topDown)
{
    const int rowBytes = (image.width() * bitsPerPixel / 8 + 3) & ~3;
    QByteArray pixels;
    QDataStream rows(&pixels, QIODevice::WriteOnly);
    rows.setByteOrder(QDataStream::LittleEndian);
    for (int row = 0; row < image.height(); ++row) {
        const int y = topDown ? row : image.height() - 1 - row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (bitsPerPixel == 24) {
                rows << quint8(qBlue(pixel)) << quint8(qGreen(pixel)) << quint8(qRed(pixel));
            } else if (bitsPerPixel == 16) {
                rows << quint16((qRed(pixel) >> 3) << 11 | (qGreen(pixel) >> 2) << 5 |
                                qBlue(pixel) >> 3);
            } else {
                rows << quint32(pixel);
            }
        }
        for (int pad = image.width() * bitsPerPixel / 8; pad < rowBytes; ++pad) {
            rows << quint8(0);
        }
    }

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 pixelOffset = 14 + quint32(headerSize);
    out.writeRawData("BM", 2);
    out << quint32(pixelOffset + quint32(pixels.size())) << quint32(0) << pixelOffset;
    constexpr quint32 plainRgb = 0;
    constexpr quint32 bitFields = 3;
    out << quint32(headerSize) << qint32(image.width())
        << qint32(topDown ? -image.height() : image.height()) << quint16(1) << quint16(bitsPerPixel)
        << (bitsPerPixel == 24 ? plainRgb : bitFields) << quint32(pixels.size()) << qint32(2835)
        << qint32(2835) << quint32(0) << quint32(0);
    if (headerSize >= 108) {
        if (bitsPerPixel == 16) {
            out << quint32(0xF800) << quint32(0x07E0) << quint32(0x001F) << quint32(0);
        } else {
            out << quint32(0x00FF0000) << quint32(0x0000FF00) << quint32(0x000000FF)
                << quint32(0xFF000000);
        }
        out << quint32(0x73524742); // 'sRGB' colour space type
        out.writeRawData(QByteArray(36 + 12, '\0').constData(), 36 + 12); // end points, gammas
    }
    if (headerSize >= 124) {
        out << quint32(4) << quint32(0) << quint32(0) << quint32(0); // intent, no profile
    }
    return bytes + pixels;
}

struct TiffLayout
{
    int bitsPerSample = 8;
    int sampleFormat = SAMPLEFORMAT_UINT;
    int samplesPerPixel = 3;
    bool separatePlanes = false;
    bool tiled = false;
    int orientation = 1;
    QByteArray iccProfile;
};

// `sample` (0 to 255) as a sample of the layout's type.
void putSample(const TiffLayout& layout, quint8 sample, uchar* target)
{
    const auto put = [&](auto value) { std::memcpy(target, &value, sizeof value); };
    if (layout.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        layout.bitsPerSample == 32 ? put(float(sample) / 255) : put(double(sample) / 255);
        return;
    }
    switch (layout.bitsPerSample) {
    case 8:
        put(sample);
        break;
    case 16:
        put(quint16(sample * 0x0101u));
        break;
    case 32:
        put(quint32(sample * 0x01010101u));
        break;
    default:
        put(quint64(sample * 0x0101010101010101ull));
        break;
    }
}

// Writes `image` through libtiff's writer: grey (the image's grey level) with 1 or 2 samples,
// RGB with 3 or 4, the alpha unassociated; tiles of 16 x 16 pixels when tiled, else strips of
// 5 rows.
bool writeTiff(const QString& path, const QImage& image, const TiffLayout& layout)
{
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (tiff == nullptr) {
        return false;
    }
    const int samples = layout.samplesPerPixel;
    const bool grey = samples < 3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bitsPerSample));
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, uint16_t(layout.sampleFormat));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(samples));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 layout.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(layout.orientation));
    if (samples == 2 || samples == 4) {
        const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), &alpha);
    }
    if (!layout.iccProfile.isEmpty()) {
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(layout.iccProfile.size()),
                     layout.iccProfile.constData());
    }
    constexpr int tileSide = 16;
    if (layout.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, uint32_t(tileSide));
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, uint32_t(tileSide));
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(5));
    }

    // The whole image, one plane after the other when separate.
    const int planes = layout.separatePlanes ? samples : 1;
    const int samplesInRow = layout.separatePlanes ? 1 : samples;
    const int sampleBytes = layout.bitsPerSample / 8;
    const qsizetype rowBytes = qsizetype(image.width()) * samplesInRow * sampleBytes;
    std::vector<uchar> data(size_t(rowBytes * image.height() * planes));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const quint8 values[4] = {quint8(grey ? qGray(pixel) : qRed(pixel)),
                                      quint8(grey ? qAlpha(pixel) : qGreen(pixel)),
                                      quint8(qBlue(pixel)), quint8(qAlpha(pixel))};
            for (int s = 0; s < samples; ++s) {
                const int plane = layout.separatePlanes ? s : 0;
                const int index = layout.separatePlanes ? x : x * samples + s;
                putSample(layout, values[s],
                          data.data() + (qsizetype(plane) * image.height() + y) * rowBytes +
                              qsizetype(index) * sampleBytes);
            }
        }
    }
    bool written = true;
    for (int plane = 0; plane < planes && written; ++plane) {
        const uchar* planeData = data.data() + qsizetype(plane) * image.height() * rowBytes;
        if (!layout.tiled) {
            for (int y = 0; y < image.height() && written; ++y) {
                written = TIFFWriteScanline(tiff, const_cast<uchar*>(planeData + y * rowBytes),
                                            uint32_t(y), uint16_t(plane)) == 1;
            }
            continue;
        }
        std::vector<uchar> tile(size_t(TIFFTileSize(tiff)));
        const qsizetype tileRowBytes = qsizetype(tileSide) * samplesInRow * sampleBytes;
        for (int top = 0; top < image.height(); top += tileSide) {
            for (int left = 0; left < image.width(); left += tileSide) {
                std::fill(tile.begin(), tile.end(), uchar(0));
                const int columns = std::min(tileSide, image.width() - left);
                for (int row = 0; row < tileSide && top + row < image.height(); ++row) {
                    std::memcpy(tile.data() + row * tileRowBytes,
                                planeData + (top + row) * rowBytes +
                                    qsizetype(left) * samplesInRow * sampleBytes,
                                size_t(columns * samplesInRow * sampleBytes));
                }
                written = written && TIFFWriteTile(tiff, tile.data(), uint32_t(left), uint32_t(top),
                                                   0, uint16_t(plane)) >= 0;
            }
        }
    }
    TIFFClose(tiff);
    return written;
}

// The first directory entry of `tag` in a little-endian classic TIFF, its value set to
// `value` (for a tag with one LONG or SHORT value).
bool patchTiffTag(QByteArray& bytes, quint16 tag, quint32 value)
{
    QDataStream in(bytes);
    in.setByteOrder(QDataStream::LittleEndian);
    quint32 directory = 0;
    in.skipRawData(4);
    in >> directory;
    in.device()->seek(directory);
    quint16 count = 0;
    in >> count;
    for (int i = 0; i < count; ++i) {
        const qint64 entry = directory + 2 + qint64(i) * 12;
        in.device()->seek(entry);
        quint16 entryTag = 0;
        quint16 type = 0;
        in >> entryTag >> type;
        if (entryTag == tag) {
            const qsizetype at = qsizetype(entry + 8);
            for (int b = 0; b < (type == TIFF_SHORT ? 2 : 4); ++b) {
                bytes[at + b] = char((value >> (8 * b)) & 0xFF);
            }
            return true;
        }
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(TiffLayout)
Q_DECLARE_METATYPE(TestImageFiles::HeifExtras)

class TestImageFormats : public QObject
{
    Q_OBJECT

private slots:
    void bitmapsWithNewerHeaders_data();
    void bitmapsWithNewerHeaders();
    void deepAndFloatingPointTiffs_data();
    void deepAndFloatingPointTiffs();
    void damagedTiffsGiveNothing();
    void heifSniffing_data();
    void heifSniffing();
    void heifScaledDecodingUsesItsThumbnail_data();
    void heifScaledDecodingUsesItsThumbnail();
    void heifColourProfile_data();
    void heifColourProfile();

private:
    QTemporaryDir m_dir;
};

void TestImageFormats::bitmapsWithNewerHeaders_data()
{
    QTest::addColumn<int>("headerSize");
    QTest::addColumn<int>("bitsPerPixel");
    QTest::addColumn<bool>("topDown");
    QTest::newRow("top-down, 40-byte header") << 40 << 24 << true;
    QTest::newRow("top-down, V5 header, 32 bits with alpha") << 124 << 32 << true;
    QTest::newRow("V4 header, 32 bits with alpha") << 108 << 32 << false;
    QTest::newRow("V5 header, 32 bits with alpha") << 124 << 32 << false;
    QTest::newRow("V4 header, 16 bits 5-6-5") << 108 << 16 << false;
}

void TestImageFormats::bitmapsWithNewerHeaders()
{
    QFETCH(int, headerSize);
    QFETCH(int, bitsPerPixel);
    QFETCH(bool, topDown);
    const QSize size(40, 24);
    const QImage original = bitsPerPixel == 32 ? translucentQuadrants(size) : quadrants(size);
    const QString path = m_dir.filePath(
        QStringLiteral("bitmap-%1-%2-%3.bmp").arg(headerSize).arg(bitsPerPixel).arg(topDown));
    QVERIFY(writeBytes(path, bmpOf(original, headerSize, bitsPerPixel, topDown)));

    const ImageSource source(path);
    QVERIFY(source.isValid());
    QCOMPARE(source.storedPixelSize(), size);
    const QImage image = source.decode();
    QCOMPARE(image.size(), size);
    QVERIFY(cornersAreNear(image, cornersOf(original), 8));
    QCOMPARE(source.decodeScaled(20, ImageSource::ScaledSize::Exactly).size(), QSize(20, 12));
    const std::optional<LoadedImage> loaded =
        ImageLoadingPipeline::loadScaledImage(QUrl::fromLocalFile(path), 100);
    QVERIFY(loaded);
    QCOMPARE(loaded->metadata, QStringLiteral("40x24 px"));
}

void TestImageFormats::deepAndFloatingPointTiffs_data()
{
    QTest::addColumn<TiffLayout>("layout");
    const auto layout = [](int bits, int format, int samples, bool separate, bool tiled,
                           int orientation = 1) {
        return TiffLayout{bits, format, samples, separate, tiled, orientation, {}};
    };
    constexpr int uint = SAMPLEFORMAT_UINT;
    constexpr int real = SAMPLEFORMAT_IEEEFP;
    QTest::newRow("8-bit RGB, separate planes, left to Qt") << layout(8, uint, 3, true, false);
    QTest::newRow("16-bit grey") << layout(16, uint, 1, false, false);
    QTest::newRow("16-bit grey and alpha") << layout(16, uint, 2, false, false);
    QTest::newRow("16-bit RGB, separate planes") << layout(16, uint, 3, true, false);
    QTest::newRow("16-bit RGBA, tiled") << layout(16, uint, 4, false, true);
    QTest::newRow("32-bit float grey") << layout(32, real, 1, false, false);
    QTest::newRow("32-bit float grey and alpha, tiled") << layout(32, real, 2, false, true);
    QTest::newRow("32-bit float RGB, tiled, separate planes") << layout(32, real, 3, true, true);
    QTest::newRow("64-bit float RGB") << layout(64, real, 3, false, false);
    QTest::newRow("64-bit float RGBA, separate planes") << layout(64, real, 4, true, false);
    QTest::newRow("64-bit integer grey") << layout(64, uint, 1, false, false);
    QTest::newRow("64-bit integer RGB, tiled") << layout(64, uint, 3, false, true);
    QTest::newRow("64-bit float RGB, turned clockwise") << layout(64, real, 3, false, false, 6);
    QTest::newRow("64-bit float RGB, transversed, tiled") << layout(64, real, 3, false, true, 7);
    TiffLayout profiled = layout(64, real, 3, false, false);
    profiled.iccProfile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    QTest::newRow("64-bit float RGB with a Display P3 profile") << profiled;
}

void TestImageFormats::deepAndFloatingPointTiffs()
{
    QFETCH(TiffLayout, layout);
    // 40 x 24 leaves partial tiles of 16 x 16 on the right and at the bottom.
    const QSize size(40, 24);
    const bool hasAlpha = layout.samplesPerPixel == 2 || layout.samplesPerPixel == 4;
    const QImage original = hasAlpha ? translucentQuadrants(size) : quadrants(size);
    const QString path =
        m_dir.filePath(QStringLiteral("%1.tif").arg(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(writeTiff(path, original, layout));

    QList<QColor> expected = cornersOf(original);
    if (layout.samplesPerPixel < 3) {
        for (QColor& colour : expected) {
            const int grey = qGray(colour.rgb());
            colour.setRgb(grey, grey, grey, colour.alpha());
        }
    }
    const bool turned = layout.orientation >= 5;
    if (layout.orientation == 6) { // turned clockwise: the bottom-left corner comes to the top
        expected = {expected[3], expected[0], expected[1], expected[2]};
    } else if (layout.orientation == 7) { // transversed: the diagonal corners swap
        expected = {expected[2], expected[1], expected[0], expected[3]};
    }
    const QSize displayed = turned ? size.transposed() : size;

    // Deep samples come through libtiff, 8 bits through Qt; both show the same.
    const TiffImageFile direct(readBytes(path));
    QCOMPARE(direct.isValid(), layout.bitsPerSample > 8);
    if (direct.isValid()) {
        QCOMPARE(direct.decode(qint64(size.width()) * size.height() * 4 - 1), QImage());
    }
    const ImageSource source(path);
    QVERIFY(source.isValid());
    QCOMPARE(source.storedPixelSize(), size);
    const QImage image = source.decode();
    QCOMPARE(image.size(), displayed);
    QVERIFY(cornersAreNear(image, expected, 2));
    QCOMPARE(image.hasAlphaChannel(), hasAlpha);
    QCOMPARE(image.colorSpace().isValid(), !layout.iccProfile.isEmpty());
    if (!layout.iccProfile.isEmpty()) {
        QCOMPARE(image.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    }
    const QImage scaled = source.decodeScaled(20, ImageSource::ScaledSize::Exactly);
    QCOMPARE(std::max(scaled.width(), scaled.height()), 20);
    const std::optional<LoadedImage> loaded =
        ImageLoadingPipeline::loadScaledImage(QUrl::fromLocalFile(path), 10);
    QVERIFY(loaded);
    QCOMPARE(loaded->metadata, QStringLiteral("40x24 px"));
}

void TestImageFormats::damagedTiffsGiveNothing()
{
    const TiffLayout strips{64, SAMPLEFORMAT_IEEEFP, 3, false, false, 1, {}};
    const TiffLayout tiles{32, SAMPLEFORMAT_IEEEFP, 1, false, true, 1, {}};
    const QString stripsPath = m_dir.filePath(QStringLiteral("control-strips.tif"));
    const QString tilesPath = m_dir.filePath(QStringLiteral("control-tiles.tif"));
    QVERIFY(writeTiff(stripsPath, quadrants(QSize(40, 24)), strips));
    QVERIFY(writeTiff(tilesPath, quadrants(QSize(40, 24)), tiles));
    const QByteArray stripFile = readBytes(stripsPath);
    const QByteArray tileFile = readBytes(tilesPath);
    QVERIFY(!ImageSource(stripsPath).decode().isNull());
    QVERIFY(!ImageSource(tilesPath).decode().isNull());

    const auto patched = [](QByteArray bytes, quint16 tag, quint32 value) {
        return patchTiffTag(bytes, tag, value) ? bytes : QByteArray();
    };
    const QList<QPair<const char*, QByteArray>> damaged = {
        {"cut in half", stripFile.left(stripFile.size() / 2)},
        {"cut tiles", tileFile.left(tileFile.size() * 3 / 4)},
        {"strip beyond the end", patched(stripFile, TIFFTAG_STRIPOFFSETS, 0x7FFFFFF0)},
        {"tile beyond the end", patched(tileFile, TIFFTAG_TILEOFFSETS, 0x7FFFFFF0)},
        {"huge width", patched(stripFile, TIFFTAG_IMAGEWIDTH, 0x7FFFFFFF)},
        {"just over the limit",
         patched(patched(stripFile, TIFFTAG_IMAGEWIDTH, 16385), TIFFTAG_IMAGELENGTH, 16384)},
        {"huge tiles",
         patched(patched(tileFile, TIFFTAG_TILEWIDTH, 0x10000), TIFFTAG_TILELENGTH, 0x10000)},
        {"ten samples", patched(stripFile, TIFFTAG_SAMPLESPERPIXEL, 10)},
        {"signature then noise", QByteArray("II*\0", 4) + QByteArray(200, '\x7F')},
    };
    for (const auto& [name, bytes] : damaged) {
        QVERIFY2(!bytes.isEmpty(), name);
        const QString path = m_dir.filePath(QStringLiteral("damaged-%1.tif").arg(name));
        QVERIFY(writeBytes(path, bytes));
        const ImageSource source(path);
        QVERIFY2(source.decode().isNull(), name);
        QVERIFY2(source.decodeScaled(16).isNull(), name);
        QVERIFY2(TiffImageFile(bytes).decode(ImageSource::maximumBytes).isNull(), name);
    }
}

void TestImageFormats::heifSniffing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("decodedSize");

    const QString heicPath = m_dir.filePath(QStringLiteral("sniffing.heic"));
    if (!writeHeif(heicPath, quadrants(QSize(64, 32)), 1, false)) {
        QSKIP("libheif has no HEVC encoder here");
    }
    const QByteArray heic = readBytes(heicPath);
    QCOMPARE(heic.mid(4, 8), QByteArray("ftypheic"));
    // The generic brand names no coding; `heic` stays among the compatible ones.
    QByteArray mif1 = heic;
    mif1.replace(8, 4, "mif1");
    QVERIFY(heic.indexOf("heic", 12) < heic.indexOf("meta"));
    QCOMPARE(heif_check_filetype(reinterpret_cast<const uint8_t*>(mif1.constData()), 32),
             heif_filetype_maybe);
    QByteArray brokenMif1 = mif1.left(mif1.indexOf("meta") - 4) + QByteArray(300, '\x11');
    QByteArray video = mif1.left(32);
    video.replace(8, 4, "isom");
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(quadrants(QSize(64, 32)).save(&buffer, "PNG"));
    }

    QTest::newRow("HEIC") << heic << QSize(64, 32);
    QTest::newRow("mif1 brand") << mif1 << QSize(64, 32);
    QTest::newRow("mif1 brand, damaged boxes") << brokenMif1 << QSize();
    QTest::newRow("mif1 brand, cut after the file type") << mif1.left(24) << QSize();
    QTest::newRow("ISO video brand") << video << QSize();
    QTest::newRow("PNG still reaches Qt") << png << QSize(64, 32);
}

void TestImageFormats::heifSniffing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, decodedSize);
    const QString path = m_dir.filePath(
        QStringLiteral("sniffed-%1").arg(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(writeBytes(path, bytes));
    const ImageSource source(path);
    QCOMPARE(source.isValid(), decodedSize.isValid());
    const QImage image = source.decode();
    QCOMPARE(image.isNull(), !decodedSize.isValid());
    if (!image.isNull()) {
        QCOMPARE(image.size(), decodedSize);
        QVERIFY(cornersAreNear(
            image, {topLeftColour, topRightColour, bottomRightColour, bottomLeftColour}, 40));
    }
    QCOMPARE(source.decodeScaled(16).isNull(), image.isNull());
}

void TestImageFormats::heifScaledDecodingUsesItsThumbnail_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("longestSide");
    QTest::addColumn<QSize>("decodedSize");
    QTest::addColumn<QList<QColor>>("corners");
    const QList<QColor> asStored{topLeftColour, topRightColour, bottomRightColour,
                                 bottomLeftColour};
    const QList<QColor> upsideDown{bottomRightColour, bottomLeftColour, topLeftColour,
                                   topRightColour};
    const QList<QColor> clockwise{bottomLeftColour, topLeftColour, topRightColour,
                                  bottomRightColour};
    const QList<QColor> mirrored{topRightColour, topLeftColour, bottomLeftColour,
                                 bottomRightColour};
    // The thumbnail is 64 x 32 as stored; a reduced full decode has exactly the side asked.
    QTest::newRow("thumbnail, as stored") << 1 << 48 << QSize(64, 32) << asStored;
    QTest::newRow("thumbnail, exactly its side") << 1 << 64 << QSize(64, 32) << asStored;
    QTest::newRow("thumbnail, upside down") << 3 << 48 << QSize(64, 32) << upsideDown;
    QTest::newRow("thumbnail, mirrored") << 2 << 48 << QSize(64, 32) << mirrored;
    QTest::newRow("thumbnail, turned clockwise") << 6 << 48 << QSize(32, 64) << clockwise;
    QTest::newRow("too small: reduced primary") << 6 << 100 << QSize(50, 100) << clockwise;
    QTest::newRow("larger than the image: full primary")
        << 3 << 1000 << QSize(256, 128) << upsideDown;
}

void TestImageFormats::heifScaledDecodingUsesItsThumbnail()
{
    QFETCH(int, orientation);
    QFETCH(int, longestSide);
    QFETCH(QSize, decodedSize);
    QFETCH(QList<QColor>, corners);
    const QString path = m_dir.filePath(QStringLiteral("thumbnailed-%1.heic").arg(orientation));
    HeifExtras extras;
    extras.thumbnailSide = 64;
    if (!QFile::exists(path) &&
        !writeHeif(path, quadrants(QSize(256, 128)), orientation, false, extras)) {
        QSKIP("libheif has no HEVC encoder here");
    }
    const ImageSource source(path);
    QVERIFY(source.isValid());
    const QImage image = source.decodeScaled(longestSide);
    QCOMPARE(image.size(), decodedSize);
    QVERIFY(cornersAreNear(image, corners, 40));
    const QImage exact = source.decodeScaled(longestSide, ImageSource::ScaledSize::Exactly);
    QCOMPARE(std::max(exact.width(), exact.height()), std::min(longestSide, 256));
    QCOMPARE(source.reducesWhileDecoding(longestSide),
             decodedSize.width() == 64 || decodedSize.height() == 64);
    // The primary's limits hold even when the thumbnail is small enough.
    QVERIFY(HeifImageFile(readBytes(path)).decodeScaled(longestSide, 256 * 128 * 4 - 1).isNull());
}

void TestImageFormats::heifColourProfile_data()
{
    QTest::addColumn<HeifExtras>("extras");
    QTest::addColumn<QColorSpace>("colorSpace");
    const auto nclx = [](int primaries, int transfer) {
        HeifExtras extras;
        extras.nclxPrimaries = primaries;
        extras.nclxTransfer = transfer;
        return extras;
    };
    HeifExtras icc;
    icc.iccProfile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const QColorSpace bt2020(QPointF(0.3127, 0.3290), QPointF(0.708, 0.292), QPointF(0.170, 0.797),
                             QPointF(0.131, 0.046), QColorSpace::TransferFunction::SRgb);
    QTest::newRow("ICC profile") << icc << QColorSpace(QColorSpace::AdobeRgb);
    QTest::newRow("nclx sRGB") << nclx(heif_color_primaries_ITU_R_BT_709_5,
                                       heif_transfer_characteristic_IEC_61966_2_1)
                               << QColorSpace(QColorSpace::SRgb);
    QTest::newRow("nclx Display P3")
        << nclx(heif_color_primaries_SMPTE_EG_432_1, heif_transfer_characteristic_IEC_61966_2_1)
        << QColorSpace(QColorSpace::DisplayP3);
    QTest::newRow("nclx BT.2020") << nclx(heif_color_primaries_ITU_R_BT_2020_2_and_2100_0,
                                          heif_transfer_characteristic_ITU_R_BT_2020_2_10bit)
                                  << bt2020;
    QTest::newRow("nclx BT.2100 PQ, not modelled")
        << nclx(heif_color_primaries_ITU_R_BT_2020_2_and_2100_0,
                heif_transfer_characteristic_ITU_R_BT_2100_0_PQ)
        << QColorSpace();
}

void TestImageFormats::heifColourProfile()
{
    QFETCH(HeifExtras, extras);
    QFETCH(QColorSpace, colorSpace);
    const QString path =
        m_dir.filePath(QStringLiteral("%1.heic").arg(QString::fromLatin1(QTest::currentDataTag())));
    extras.thumbnailSide = 32;
    if (!writeHeif(path, quadrants(QSize(128, 64)), 1, false, extras)) {
        QSKIP("libheif has no HEVC encoder here");
    }
    const ImageSource source(path);
    const QImage image = source.decode();
    QVERIFY(!image.isNull());
    QCOMPARE(image.colorSpace(), colorSpace);
    // The pixels keep the file's values: the profile is attached, not applied.
    QVERIFY(cornersAreNear(
        image, {topLeftColour, topRightColour, bottomRightColour, bottomLeftColour}, 40));
    const QImage thumbnail = source.decodeScaled(32);
    QCOMPARE(thumbnail.size(), QSize(32, 16));
    QCOMPARE(thumbnail.colorSpace(), colorSpace);
}

QTEST_MAIN(TestImageFormats)
#include "tst_imageformats.moc"
