#include "TiffImageFile.h"

#include "BitmapSize.h"
#include "ImageReduction.h"

#include <QColorSpace>
#include <QTransform>
#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <tiffio.h>
#include <vector>

namespace {

int ignoreMessage(TIFF*, void*, const char*, const char*, va_list)
{
    return 1; // handled: libtiff passes it on to no other handler
}

void silenceProcessWideHandlersOnce()
{
    // Files this class reads carry their own silent handlers (see open()). The process-wide
    // ones serve Qt's TIFF reader, which is tried first and otherwise prints every refusal.
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// The file's bytes as libtiff's client stream: read-only, never mapped.
struct MemoryStream
{
    const QByteArray* data = nullptr;
    toff_t position = 0;
};

tmsize_t readStream(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* stream = static_cast<MemoryStream*>(handle);
    const auto length = toff_t(stream->data->size());
    if (size < 0 || stream->position >= length) {
        return 0;
    }
    const auto count = tmsize_t(std::min<toff_t>(toff_t(size), length - stream->position));
    std::memcpy(buffer, stream->data->constData() + stream->position, size_t(count));
    stream->position += toff_t(count);
    return count;
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t seekStream(thandle_t handle, toff_t offset, int whence)
{
    auto* stream = static_cast<MemoryStream*>(handle);
    switch (whence) {
    case SEEK_SET:
        stream->position = offset;
        break;
    case SEEK_CUR:
        stream->position += offset; // wraps as libtiff means it for negative offsets
        break;
    case SEEK_END:
        stream->position = toff_t(stream->data->size()) + offset;
        break;
    default:
        return toff_t(-1);
    }
    return stream->position;
}

int closeStream(thandle_t)
{
    return 0;
}

toff_t streamSize(thandle_t handle)
{
    return toff_t(static_cast<MemoryStream*>(handle)->data->size());
}

int refuseMapping(thandle_t, void**, toff_t*)
{
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

struct TiffCloser
{
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Opens `stream` for reading with silent handlers and no single allocation above
// `maximumBytes` inside libtiff.
TiffHandle open(MemoryStream& stream, qint64 maximumBytes)
{
    const std::unique_ptr<TIFFOpenOptions, decltype(&TIFFOpenOptionsFree)> options(
        TIFFOpenOptionsAlloc(), &TIFFOpenOptionsFree);
    if (!options) {
        return {};
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(maximumBytes));
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ignoreMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreMessage, nullptr);
    return TiffHandle(TIFFClientOpenExt("memory", "rm", &stream, readStream, refuseWrite,
                                        seekStream, closeStream, streamSize, refuseMapping,
                                        unmapNothing, options.get()));
}

std::optional<TiffImageFile::Layout> readLayout(TIFF* tiff)
{
    TiffImageFile::Layout layout;
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerSample = 1;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    uint16_t samplesPerPixel = 1;
    uint16_t planarConfig = PLANARCONFIG_CONTIG;
    uint16_t photometric = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) != 1 ||
        TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1 || width < 1 || height < 1 ||
        width > uint32_t(INT_MAX) || height > uint32_t(INT_MAX)) {
        return std::nullopt;
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planarConfig);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);

    const bool integer = sampleFormat == SAMPLEFORMAT_UINT &&
                         (bitsPerSample == 16 || bitsPerSample == 32 || bitsPerSample == 64);
    const bool floating =
        sampleFormat == SAMPLEFORMAT_IEEEFP && (bitsPerSample == 32 || bitsPerSample == 64);
    if (!integer && !floating) {
        return std::nullopt;
    }
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
        layout.whiteIsZero = true;
        layout.colourSamples = 1;
        break;
    case PHOTOMETRIC_MINISBLACK:
        layout.colourSamples = 1;
        break;
    case PHOTOMETRIC_RGB:
        layout.colourSamples = 3;
        break;
    default:
        return std::nullopt;
    }
    // At most one extra sample: alpha when the file says so, ignored when unspecified.
    if (samplesPerPixel != layout.colourSamples && samplesPerPixel != layout.colourSamples + 1) {
        return std::nullopt;
    }
    if (samplesPerPixel > layout.colourSamples && extraCount >= 1 && extraTypes != nullptr &&
        extraTypes[0] != EXTRASAMPLE_UNSPECIFIED) {
        layout.alphaSample = layout.colourSamples;
        layout.premultiplied = extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    layout.size = QSize(int(width), int(height));
    layout.bitsPerSample = bitsPerSample;
    layout.sampleFormat = sampleFormat;
    layout.samplesPerPixel = samplesPerPixel;
    layout.separatePlanes = planarConfig == PLANARCONFIG_SEPARATE && samplesPerPixel > 1;
    layout.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    return layout;
}

quint8 toEightBits(quint16 value)
{
    return quint8((quint32(value) * 255 + 32767) / 65535);
}

quint8 toEightBits(quint32 value)
{
    return quint8(value >> 24);
}

quint8 toEightBits(quint64 value)
{
    return quint8(value >> 56);
}

template <typename Real> quint8 toEightBits(Real value)
{
    if (!(value > 0)) { // NaN included
        return 0;
    }
    return value >= 1 ? 255 : quint8(value * 255 + Real(0.5));
}

// Stores `count` pixels of `samplesInRow` samples each, the first being sample `firstSample`
// of the pixel, from `source` into the RGBA row `target`.
template <typename Sample>
void storeRowAs(const TiffImageFile::Layout& layout, const uchar* source, int count,
                int firstSample, int samplesInRow, uchar* target)
{
    for (int x = 0; x < count; ++x) {
        uchar* pixel = target + qsizetype(x) * 4;
        for (int k = 0; k < samplesInRow; ++k) {
            Sample value;
            std::memcpy(&value,
                        source + (qsizetype(x) * samplesInRow + k) * qsizetype(sizeof value),
                        sizeof value);
            const quint8 reduced = toEightBits(value);
            const int sample = firstSample + k;
            if (sample == layout.alphaSample) {
                pixel[3] = reduced;
            } else if (sample >= layout.colourSamples) {
                continue; // an unspecified extra sample
            } else if (layout.colourSamples == 1) {
                const quint8 grey = layout.whiteIsZero ? quint8(255 - reduced) : reduced;
                pixel[0] = pixel[1] = pixel[2] = grey;
            } else {
                pixel[sample] = reduced;
            }
        }
    }
}

void storeRow(const TiffImageFile::Layout& layout, const uchar* source, int count, int firstSample,
              int samplesInRow, uchar* target)
{
    const auto store = [&](auto sample) {
        storeRowAs<decltype(sample)>(layout, source, count, firstSample, samplesInRow, target);
    };
    if (layout.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        layout.bitsPerSample == 32 ? store(float()) : store(double());
        return;
    }
    switch (layout.bitsPerSample) {
    case 16:
        store(quint16());
        break;
    case 32:
        store(quint32());
        break;
    default:
        store(quint64());
        break;
    }
}

int planesOf(const TiffImageFile::Layout& layout)
{
    return layout.separatePlanes ? layout.samplesPerPixel : 1;
}

int samplesInRowOf(const TiffImageFile::Layout& layout)
{
    return layout.separatePlanes ? 1 : layout.samplesPerPixel;
}

// Bytes one row of `width` pixels takes in one plane.
qint64 rowBytesOf(const TiffImageFile::Layout& layout, qint64 width)
{
    return width * samplesInRowOf(layout) * (layout.bitsPerSample / 8);
}

bool readStrips(TIFF* tiff, const TiffImageFile::Layout& layout, QImage& image)
{
    const tmsize_t lineSize = TIFFScanlineSize(tiff);
    if (lineSize <= 0 || lineSize < rowBytesOf(layout, image.width())) {
        return false;
    }
    std::vector<uchar> line(static_cast<size_t>(lineSize));
    for (int plane = 0; plane < planesOf(layout); ++plane) {
        for (int y = 0; y < image.height(); ++y) {
            if (TIFFReadScanline(tiff, line.data(), uint32_t(y), uint16_t(plane)) < 0) {
                return false;
            }
            storeRow(layout, line.data(), image.width(), plane, samplesInRowOf(layout),
                     image.scanLine(y));
        }
    }
    return true;
}

bool readTiles(TIFF* tiff, const TiffImageFile::Layout& layout, QImage& image, qint64 maximumBytes)
{
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    if (TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth) != 1 ||
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight) != 1 || tileWidth < 1 ||
        tileHeight < 1) {
        return false;
    }
    const tmsize_t tileSize = TIFFTileSize(tiff);
    const qint64 tileRowBytes = rowBytesOf(layout, tileWidth);
    if (tileSize <= 0 || tileSize > maximumBytes || tileRowBytes * tileHeight > tileSize) {
        return false;
    }
    std::vector<uchar> tile(static_cast<size_t>(tileSize));
    for (int plane = 0; plane < planesOf(layout); ++plane) {
        for (qint64 top = 0; top < image.height(); top += tileHeight) {
            for (qint64 left = 0; left < image.width(); left += tileWidth) {
                if (TIFFReadTile(tiff, tile.data(), uint32_t(left), uint32_t(top), 0,
                                 uint16_t(plane)) < 0) {
                    return false;
                }
                const int rows = int(std::min<qint64>(tileHeight, image.height() - top));
                const int columns = int(std::min<qint64>(tileWidth, image.width() - left));
                for (int row = 0; row < rows; ++row) {
                    storeRow(layout, tile.data() + row * tileRowBytes, columns, plane,
                             samplesInRowOf(layout), image.scanLine(int(top) + row) + left * 4);
                }
            }
        }
    }
    return true;
}

// True for the orientations (numbered as in EXIF) that turn the image by a quarter.
bool isQuarterTurn(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// `image` as a viewer shows it under the TIFF orientation tag (numbered as in EXIF). Flips
// happen in the image's own pixels; only a quarter turn needs a second bitmap.
QImage oriented(QImage image, int orientation)
{
    const QTransform clockwise = QTransform().rotate(90);
    switch (orientation) {
    case 2:
        return std::move(image).mirrored(true, false);
    case 3:
        return std::move(image).mirrored(true, true);
    case 4:
        return std::move(image).mirrored(false, true);
    case 5:
        return image.transformed(clockwise).mirrored(true, false);
    case 6:
        return image.transformed(clockwise);
    case 7:
        return image.transformed(clockwise).mirrored(false, true);
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

QColorSpace embeddedColorSpace(TIFF* tiff)
{
    uint32_t length = 0;
    const void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &profile) != 1 || profile == nullptr ||
        length == 0 || length > uint32_t(INT_MAX)) {
        return {};
    }
    // A copy: the colour space keeps the bytes, and the library's go with the TIFF handle.
    return QColorSpace::fromIccProfile(
        QByteArray(static_cast<const char*>(profile), qsizetype(length)));
}

} // namespace

bool TiffImageFile::isTiff(const QByteArray& data)
{
    return data.startsWith(QByteArrayView("II*\0", 4)) ||
           data.startsWith(QByteArrayView("MM\0*", 4)) ||
           data.startsWith(QByteArrayView("II+\0", 4)) ||
           data.startsWith(QByteArrayView("MM\0+", 4));
}

TiffImageFile::TiffImageFile(const QByteArray& data) : m_data(data)
{
    silenceProcessWideHandlersOnce();
    if (!isTiff(m_data)) {
        return;
    }
    MemoryStream stream{&m_data};
    const TiffHandle tiff = open(stream, std::numeric_limits<tmsize_t>::max());
    if (!tiff) {
        return;
    }
    if (const std::optional<Layout> layout = readLayout(tiff.get())) {
        m_layout = *layout;
        m_valid = true;
    }
}

bool TiffImageFile::isValid() const
{
    return m_valid;
}

QSize TiffImageFile::storedPixelSize() const
{
    return m_valid ? m_layout.size : QSize();
}

QSize TiffImageFile::displayedPixelSize() const
{
    return isQuarterTurn(m_layout.orientation) ? storedPixelSize().transposed() : storedPixelSize();
}

QImage TiffImageFile::decode(qint64 maximumBytes) const
{
    if (!m_valid || !BitmapSize::fitsIn(m_layout.size, maximumBytes)) {
        return {};
    }
    MemoryStream stream{&m_data};
    const TiffHandle tiff = open(stream, maximumBytes);
    const std::optional<Layout> layout = tiff ? readLayout(tiff.get()) : std::nullopt;
    // A quarter turn holds the decoded and the turned bitmap at once.
    if (!layout || layout->size != m_layout.size ||
        (isQuarterTurn(layout->orientation) &&
         !BitmapSize::fitsIn(layout->size, maximumBytes / 2))) {
        return {};
    }
    const bool hasAlpha = layout->alphaSample >= 0;
    QImage image(layout->size, !hasAlpha               ? QImage::Format_RGBX8888
                               : layout->premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                                       : QImage::Format_RGBA8888);
    if (image.isNull()) {
        return {};
    }
    image.fill(Qt::black); // opaque, for files without an alpha sample
    const bool read = TIFFIsTiled(tiff.get()) ? readTiles(tiff.get(), *layout, image, maximumBytes)
                                              : readStrips(tiff.get(), *layout, image);
    if (!read) {
        return {};
    }
    QImage result =
        oriented(std::move(image).convertToFormat(hasAlpha ? QImage::Format_ARGB32_Premultiplied
                                                           : QImage::Format_RGB32),
                 layout->orientation);
    const QColorSpace colorSpace = embeddedColorSpace(tiff.get());
    if (colorSpace.isValid()) {
        result.setColorSpace(colorSpace);
    }
    return result;
}

QImage TiffImageFile::decodeScaled(int longestSide, qint64 maximumBytes) const
{
    return ImageReduction::reducedToLongestSide(decode(maximumBytes), longestSide);
}
