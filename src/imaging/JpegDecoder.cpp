#include "JpegDecoder.h"

#include "BitmapSize.h"
#include "DisplayColour.h"
#include "JpegStream.h"
#include "SerialWorker.h"

#include <QColorSpace>
#include <QImageIOHandler>
#include <QRect>
#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE and size_t without declaring them
#include <cstdlib>
#include <cstring>
#include <future>
#include <jpeglib.h>
#include <memory>

namespace {

// QImage::Format_RGB32 is 0xffRRGGBB per 32-bit word: B, G, R, X in memory on little-endian
// machines, X, R, G, B on big-endian ones.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE rgb32ColourSpace = JCS_EXT_BGRX;
#else
constexpr J_COLOR_SPACE rgb32ColourSpace = JCS_EXT_XRGB;
#endif

// Rows the library hands over at a time when the image is turned. With 4-byte pixels a band
// fills two whole 64-byte cache lines of each destination row it touches (see scatterTurned);
// 16 and 64 rows measured no faster on a 6000 x 4000 photo.
constexpr int turnedBandRows = 32;
// When not turned, rows go straight into the bitmap; this only bounds the row pointer array.
constexpr int directBandRows = 64;
constexpr int maximumBandRows = std::max(turnedBandRows, directBandRows);
constexpr int rgb32BytesPerPixel = 4;
constexpr int bytesPerPixelLimit = 4; // the bound applies as if every bitmap had 4-byte pixels

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Corrupt-data warnings are expected from hostile files; the viewer has no console to tell.
void stayQuiet(j_common_ptr) {}

// Every scan of a progressive stream walks the whole frame, so a small file of many tiny scans
// would keep the decoder busy for minutes. Real encoders write a dozen or so.
constexpr int maximumScans = 500;

void refuseEndlessScans(j_common_ptr info)
{
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->is_decompressor && decompress->input_scan_number > maximumScans) {
        jumpOut(info);
    }
}

// The state the decoding phases share. Plain data only: a library error longjmps out of a
// phase's frame, so nothing between setjmp and longjmp may need a destructor.
struct Decompression
{
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    JOCTET* iccProfile = nullptr;
    unsigned int iccProfileLength = 0;
};

// Where the decoded rows go: the destination bitmap and how stored pixels map onto it.
struct Target
{
    unsigned char* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int bytesPerPixel = 0;
    bool mirror = false; // stored columns reversed
    bool flip = false;   // stored rows reversed
    bool turn = false;   // then turned a quarter clockwise
    unsigned char* band = nullptr;
    qsizetype bandBytesPerLine = 0;
    // Converts the colours of each band once it is in place, on a thread of its own while the
    // next band decodes; both null to leave the colours as stored.
    const DisplayColour::RowConversion* convertColours = nullptr;
    SerialWorker* colourWorker = nullptr;
};

enum class HeaderResult
{
    Ready,
    Unsupported,
    Failed,
};

// Reads the headers and the ICC profile and chooses the output colour model and scale.
HeaderResult readHeader(Decompression& d, QByteArrayView stream, int longestSide)
{
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = jumpOut;
    d.errors.base.output_message = stayQuiet;
    if (setjmp(d.errors.jump) != 0) {
        return HeaderResult::Failed;
    }
    jpeg_create_decompress(&d.info);
    d.progress.progress_monitor = refuseEndlessScans;
    d.info.progress = &d.progress;
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(stream.data()),
                 static_cast<unsigned long>(stream.size()));
    jpeg_save_markers(&d.info, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) {
        return HeaderResult::Failed;
    }
    switch (d.info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.info.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        d.info.out_color_space = rgb32ColourSpace;
        break;
    default:
        return HeaderResult::Unsupported;
    }
    // The accurate integer IDCT, as Qt's reader uses: with SIMD it costs a few per cent over the
    // fast one, which bands smooth gradients (skies) visibly at full size. Reduced scales use
    // the library's dedicated small IDCTs for luma whatever this says. Fancy (smooth) chroma
    // upsampling stays on too: at 1/4 and 1/8 the library then scales chroma up inside the
    // IDCT, so no upsampling pass remains, and at full size and 1/2 it avoids blocky colour
    // edges for little cost.
    d.info.dct_method = JDCT_ISLOW;
    d.info.do_fancy_upsampling = TRUE;
    d.info.scale_num = 1;
    for (const unsigned int denominator : {8u, 4u, 2u, 1u}) {
        d.info.scale_denom = denominator;
        jpeg_calc_output_dimensions(&d.info);
        if (longestSide > 0 && std::max(d.info.output_width, d.info.output_height) >=
                                   static_cast<JDIMENSION>(longestSide)) {
            break;
        }
    }
    if (jpeg_read_icc_profile(&d.info, &d.iccProfile, &d.iccProfileLength) == FALSE) {
        d.iccProfile = nullptr;
        d.iccProfileLength = 0;
    }
    return HeaderResult::Ready;
}

// Writes a band of `rowCount` stored rows starting at stored row `firstRow` to its turned
// place. Stored pixel (x, y) of a W x H image, after the optional mirroring and flipping,
// lands in destination row x' and column H - 1 - y'. Going along a band row by row for each
// stored column keeps the reads within `rowCount` cache lines and writes `rowCount`
// consecutive pixels of one destination row, so both sides stay cache friendly.
template <typename Pixel>
void scatterTurned(const Target& target, const jpeg_decompress_struct& info, JDIMENSION firstRow,
                   int rowCount)
{
    const auto width = qsizetype(info.output_width);
    const auto height = qsizetype(info.output_height);
    const qsizetype firstColumn = target.flip ? qsizetype(firstRow) : height - 1 - firstRow;
    const qsizetype step = target.flip ? 1 : -1;
    for (qsizetype x = 0; x < width; ++x) {
        const qsizetype row = target.mirror ? width - 1 - x : x;
        auto* line = reinterpret_cast<Pixel*>(target.bits + row * target.bytesPerLine);
        const unsigned char* source = target.band + x * qsizetype(sizeof(Pixel));
        qsizetype column = firstColumn;
        for (int i = 0; i < rowCount; ++i) {
            std::memcpy(line + column, source, sizeof(Pixel));
            source += target.bandBytesPerLine;
            column += step;
        }
    }
}

// Where the stored rows from `firstRow` on, `rowCount` of them, lie in the bitmap: columns
// when turned (see scatterTurned), rows otherwise; counted from the far end when flipped.
QRect placedRegion(const Target& target, const jpeg_decompress_struct& info, JDIMENSION firstRow,
                   int rowCount)
{
    const int width = int(info.output_width);
    const int height = int(info.output_height);
    const int fromTop = int(firstRow);
    const int fromBottom = height - int(firstRow) - rowCount;
    if (target.turn) {
        return {target.flip ? fromTop : fromBottom, 0, rowCount, width};
    }
    return {0, target.flip ? fromBottom : fromTop, width, rowCount};
}

// Hands `region` of the bitmap to the colour worker. Kept out of decodeRows(), whose frame a
// library error leaves by longjmp, so that no object with a destructor lives there.
void convertColoursMeanwhile(const Target& target, QRect region)
{
    const DisplayColour::RowConversion* convert = target.convertColours;
    unsigned char* const first = target.bits + qsizetype(region.y()) * target.bytesPerLine +
                                 qsizetype(region.x()) * target.bytesPerPixel;
    const qsizetype bytesPerLine = target.bytesPerLine;
    target.colourWorker->post([convert, first, bytesPerLine, region] {
        (*convert)(first, bytesPerLine, region.height(), region.width());
    });
}

template <typename Pixel> void mirrorRows(JSAMPROW* rows, int rowCount, JDIMENSION width)
{
    for (int i = 0; i < rowCount; ++i) {
        auto* line = reinterpret_cast<Pixel*>(rows[i]);
        std::reverse(line, line + width);
    }
}

// Decodes every row into `target`, applying its orientation band by band.
bool decodeRows(Decompression& d, const Target& target)
{
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    jpeg_start_decompress(&d.info);
    const JDIMENSION height = d.info.output_height;
    const int bandRows = target.turn ? turnedBandRows : directBandRows;
    JSAMPROW rows[maximumBandRows];
    while (d.info.output_scanline < height) {
        const JDIMENSION first = d.info.output_scanline;
        const int count = int(std::min<JDIMENSION>(JDIMENSION(bandRows), height - first));
        for (int i = 0; i < count; ++i) {
            const JDIMENSION y = target.flip ? height - 1 - (first + i) : first + i;
            rows[i] = target.turn ? target.band + i * target.bandBytesPerLine
                                  : target.bits + qsizetype(y) * target.bytesPerLine;
        }
        for (int read = 0; read < count;) {
            const JDIMENSION got =
                jpeg_read_scanlines(&d.info, rows + read, JDIMENSION(count - read));
            if (got == 0) {
                return false; // only a suspending source stops early, and memory never suspends
            }
            read += int(got);
        }
        const bool onePixelByte = target.bytesPerPixel == 1;
        if (target.turn) {
            onePixelByte ? scatterTurned<quint8>(target, d.info, first, count)
                         : scatterTurned<quint32>(target, d.info, first, count);
        } else if (target.mirror) {
            onePixelByte ? mirrorRows<quint8>(rows, count, d.info.output_width)
                         : mirrorRows<quint32>(rows, count, d.info.output_width);
        }
        if (target.colourWorker != nullptr) {
            convertColoursMeanwhile(target, placedRegion(target, d.info, first, count));
        }
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

// Releases the library's state and the profile whatever phase ended the decode.
void release(Decompression* d)
{
    jpeg_destroy_decompress(&d->info); // also safe on a never-created struct
    std::free(d->iccProfile);
    delete d;
}

std::optional<QImage> decodeStream(QByteArrayView stream,
                                   QImageIOHandler::Transformations transformation, int longestSide,
                                   qint64 maximumBytes, DecodedColours colours)
{
    const std::unique_ptr<Decompression, decltype(&release)> owner(new Decompression, &release);
    Decompression& d = *owner;
    switch (readHeader(d, stream, longestSide)) {
    case HeaderResult::Unsupported:
        return std::nullopt;
    case HeaderResult::Failed:
        return QImage();
    case HeaderResult::Ready:
        break;
    }
    const qint64 width = d.info.output_width;
    const qint64 height = d.info.output_height;
    const qint64 bitmapBytes = width * height * bytesPerPixelLimit;
    if (width <= 0 || height <= 0 || bitmapBytes > maximumBytes) {
        return QImage();
    }
    // Whatever the library allocates besides (the whole-image coefficient buffers of a
    // progressive stream) stays within what the bitmap leaves of the bound.
    // (0 would mean no bound at all.)
    d.info.mem->max_memory_to_use = long(std::max<qint64>(1, maximumBytes - bitmapBytes));

    Target target;
    target.mirror = transformation.testFlag(QImageIOHandler::TransformationMirror);
    target.flip = transformation.testFlag(QImageIOHandler::TransformationFlip);
    target.turn = transformation.testFlag(QImageIOHandler::TransformationRotate90);
    const bool grey = d.info.out_color_space == JCS_GRAYSCALE;
    target.bytesPerPixel = grey ? 1 : rgb32BytesPerPixel;
    const QSize size =
        target.turn ? QSize(int(height), int(width)) : QSize(int(width), int(height));
    QImage image(size, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull()) {
        return QImage();
    }
    target.bits = image.bits();
    target.bytesPerLine = image.bytesPerLine();
    std::unique_ptr<unsigned char[]> band;
    if (target.turn) {
        target.bandBytesPerLine = width * target.bytesPerPixel;
        band = std::make_unique_for_overwrite<unsigned char[]>(
            size_t(target.bandBytesPerLine * turnedBandRows));
        target.band = band.get();
    }
    const QColorSpace colourSpace =
        d.iccProfile == nullptr
            ? QColorSpace()
            // A copy: the colour space keeps the bytes, and the library's are freed with it.
            : QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(d.iccProfile),
                                                     qsizetype(d.iccProfileLength)));
    const DisplayColour::RowConversion convertColours =
        colours == DecodedColours::SRgb && colourSpace.isValid()
            ? DisplayColour::rowConversionToSRgb(colourSpace, image.format())
            : DisplayColour::RowConversion();
    std::optional<SerialWorker> colourWorker;
    if (convertColours) {
        colourWorker.emplace("vistrel colour conversion");
        target.convertColours = &convertColours;
        target.colourWorker = &*colourWorker;
    }
    if (!decodeRows(d, target)) {
        return QImage();
    }
    if (colourWorker) {
        std::promise<void> converted;
        colourWorker->post([&converted] { converted.set_value(); });
        converted.get_future().wait();
    }
    if (colourSpace.isValid()) {
        image.setColorSpace(convertColours ? QColorSpace(QColorSpace::SRgb) : colourSpace);
    }
    return image;
}

// The smallest reduced copy listed in the file's multi-picture index that has the primary's
// shape (aspect ratios within 1 %), is smaller than the primary and still reaches
// `longestSide`; empty when there is none.
QByteArrayView coveringReducedCopy(QByteArrayView file, int longestSide)
{
    const QSize primary = JpegStream::frameSize(file);
    if (!primary.isValid()) {
        return {};
    }
    const double primaryAspect = double(primary.width()) / primary.height();
    QByteArrayView best;
    int bestLongest = BitmapSize::longestSide(primary);
    for (const JpegStream::IndexedImage& indexed : JpegStream::indexedImages(file)) {
        const QSize size = JpegStream::frameSize(indexed.bytes);
        if (!indexed.isReducedCopy || !size.isValid() ||
            BitmapSize::longestSide(size) < longestSide ||
            BitmapSize::longestSide(size) >= bestLongest) {
            continue;
        }
        const double aspect = double(size.width()) / size.height();
        if (std::abs(aspect - primaryAspect) > 0.01 * primaryAspect ||
            !JpegStream::isComplete(indexed.bytes)) {
            continue;
        }
        best = indexed.bytes;
        bestLongest = BitmapSize::longestSide(size);
    }
    return best;
}

} // namespace

namespace JpegDecoder {

std::optional<QImage> decode(QByteArrayView file, int longestSide, qint64 maximumBytes,
                             DecodedColours colours)
{
    if (longestSide < 0 || !JpegStream::isComplete(file)) {
        return QImage();
    }
    const QImageIOHandler::Transformations transformation = JpegDecoder::transformation(file);
    if (longestSide > 0) {
        const QByteArrayView reducedCopy = coveringReducedCopy(file, longestSide);
        if (!reducedCopy.isEmpty()) {
            std::optional<QImage> image =
                decodeStream(reducedCopy, transformation, longestSide, maximumBytes, colours);
            if (image && !image->isNull()) {
                return image;
            }
        }
    }
    return decodeStream(file, transformation, longestSide, maximumBytes, colours);
}

QImageIOHandler::Transformations transformation(QByteArrayView file)
{
    // The EXIF orientations 1 to 8 in order; what Qt's reader applies for each.
    static constexpr std::array<QImageIOHandler::Transformation, 9> transformations{
        QImageIOHandler::TransformationNone,     QImageIOHandler::TransformationNone,
        QImageIOHandler::TransformationMirror,   QImageIOHandler::TransformationRotate180,
        QImageIOHandler::TransformationFlip,     QImageIOHandler::TransformationFlipAndRotate90,
        QImageIOHandler::TransformationRotate90, QImageIOHandler::TransformationMirrorAndRotate90,
        QImageIOHandler::TransformationRotate270};
    return transformations[std::size_t(JpegStream::exifOrientation(file))];
}

} // namespace JpegDecoder
