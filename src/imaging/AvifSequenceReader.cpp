#include "AvifSequenceReader.h"

#include "AnimatedImage.h"
#include "BitmapSize.h"
#include "ImageSource.h"

#include <QColorSpace>
#include <QPointF>
#include <QSize>
#include <QtEndian>
#include <avif/avif.h>
#include <limits>

namespace {

// The decoder's YUV planes (up to 6 bytes a pixel at 16 bits and 4:4:4), libavif's RGBA bitmap
// and our converted bitmap coexist while a frame is made, besides what every animation holds.
constexpr qint64 bitmapBudget = AnimatedImage::maximumCanvasBytes / 4;

bool fits(const avifImage* image)
{
    return image != nullptr && image->width <= uint32_t(std::numeric_limits<int>::max()) &&
           image->height <= uint32_t(std::numeric_limits<int>::max()) &&
           BitmapSize::fitsIn(QSize(int(image->width), int(image->height)), bitmapBudget);
}

// The transfer curve Qt models for a CICP transfer characteristic; the camera curves of the
// BT.601, BT.709 and BT.2020 family differ from sRGB only near black and are shown through it.
std::optional<QColorSpace::TransferFunction> transferFunctionOf(avifTransferCharacteristics code)
{
    switch (code) {
    case AVIF_TRANSFER_CHARACTERISTICS_SRGB:
    case AVIF_TRANSFER_CHARACTERISTICS_BT709:
    case AVIF_TRANSFER_CHARACTERISTICS_BT601:
    case AVIF_TRANSFER_CHARACTERISTICS_BT2020_10BIT:
    case AVIF_TRANSFER_CHARACTERISTICS_BT2020_12BIT:
        return QColorSpace::TransferFunction::SRgb;
    case AVIF_TRANSFER_CHARACTERISTICS_LINEAR:
        return QColorSpace::TransferFunction::Linear;
    default:
        return std::nullopt;
    }
}

// The colour space stored with `image`: its ICC profile, else its CICP code points; invalid
// when absent or when Qt cannot model it (PQ and HLG among them), as for the still decoder.
QColorSpace colorSpaceOf(const avifImage* image)
{
    if (image->icc.size > 0 && image->icc.size <= size_t(std::numeric_limits<int>::max())) {
        return QColorSpace::fromIccProfile(QByteArray::fromRawData(
            reinterpret_cast<const char*>(image->icc.data), qsizetype(image->icc.size)));
    }
    const std::optional<QColorSpace::TransferFunction> transfer =
        transferFunctionOf(image->transferCharacteristics);
    if (!transfer) {
        return {};
    }
    switch (image->colorPrimaries) {
    case AVIF_COLOR_PRIMARIES_BT709:
        return QColorSpace(QColorSpace::Primaries::SRgb, *transfer);
    case AVIF_COLOR_PRIMARIES_SMPTE432:
        return QColorSpace(QColorSpace::Primaries::DciP3D65, *transfer);
    case AVIF_COLOR_PRIMARIES_BT2020:
        // D65 white and the BT.2020 primaries, as CIE xy.
        return QColorSpace(QPointF(0.3127, 0.3290), QPointF(0.708, 0.292), QPointF(0.170, 0.797),
                           QPointF(0.131, 0.046), *transfer);
    default:
        return {};
    }
}

// One ISO-BMFF box of the file: its type and the byte range of its payload.
struct Box
{
    QByteArray type;
    qsizetype payload;
    qsizetype end;
};

quint32 bigEndian32(const QByteArray& file, qsizetype at)
{
    return qFromBigEndian<quint32>(file.constData() + at);
}

// The boxes directly inside [begin, end), up to the first one that does not fit.
QList<Box> boxesWithin(const QByteArray& file, qsizetype begin, qsizetype end)
{
    QList<Box> boxes;
    qsizetype position = begin;
    while (end - position >= 8) {
        quint64 size = bigEndian32(file, position);
        qsizetype header = 8;
        if (size == 1 && end - position >= 16) {
            size = qFromBigEndian<quint64>(file.constData() + position + 8);
            header = 16;
        } else if (size == 0) {
            size = quint64(end - position); // to the end of the enclosing box
        }
        if (size < quint64(header) || size > quint64(end - position)) {
            break;
        }
        boxes.append({file.mid(position + 4, 4), position + header, position + qsizetype(size)});
        position += qsizetype(size);
    }
    return boxes;
}

std::optional<Box> childBox(const QByteArray& file, const Box& parent, const char* type)
{
    for (const Box& box : boxesWithin(file, parent.payload, parent.end)) {
        if (box.type == type) {
            return box;
        }
    }
    return std::nullopt;
}

// Each frame's duration in ms from the image track's time-to-sample table, `timescale` units a
// second. libavif's own timing query walks the table from the start for every frame, which is
// quadratic in the frame count; this walk is linear. As libavif does, frames beyond the table
// last as long as its last entry says. Empty when the file has no usable table.
QList<int> frameDurations(const QByteArray& file, quint64 timescale, int frameCount)
{
    if (timescale == 0) {
        return {};
    }
    std::optional<Box> table;
    for (const Box& box : boxesWithin(file, 0, file.size())) {
        if (box.type != "moov") {
            continue;
        }
        for (const Box& track : boxesWithin(file, box.payload, box.end)) {
            const std::optional<Box> references = childBox(file, track, "tref");
            if (track.type != "trak" || (references && childBox(file, *references, "auxl"))) {
                continue; // the alpha plane's track has the same timing
            }
            const std::optional<Box> media = childBox(file, track, "mdia");
            const std::optional<Box> information =
                media ? childBox(file, *media, "minf") : std::nullopt;
            const std::optional<Box> samples =
                information ? childBox(file, *information, "stbl") : std::nullopt;
            table = samples ? childBox(file, *samples, "stts") : std::nullopt;
            break;
        }
        break;
    }
    // Version and flags, the entry count, then (sample count, sample duration) pairs.
    if (!table || table->end - table->payload < 8) {
        return {};
    }
    const qint64 entries = std::min<qint64>(bigEndian32(file, table->payload + 4),
                                            (table->end - table->payload - 8) / 8);
    QList<int> durations;
    durations.reserve(frameCount);
    for (qint64 entry = 0; entry < entries && durations.size() < frameCount; ++entry) {
        const qsizetype at = table->payload + 8 + 8 * qsizetype(entry);
        const qsizetype count = qsizetype(
            std::min<quint64>(bigEndian32(file, at), quint64(frameCount - durations.size())));
        const quint64 ms = (quint64(bigEndian32(file, at + 4)) * 1000 + timescale / 2) / timescale;
        durations.insert(durations.size(), count,
                         int(std::min<quint64>(ms, quint64(std::numeric_limits<int>::max()))));
    }
    if (!durations.isEmpty()) {
        durations.insert(durations.size(), frameCount - durations.size(), durations.last());
    }
    return durations;
}

} // namespace

void AvifSequenceReader::DecoderDeleter::operator()(avifDecoder* decoder) const
{
    avifDecoderDestroy(decoder);
}

AvifSequenceReader::AvifSequenceReader(const QByteArray& contents) : m_contents(contents)
{
    std::unique_ptr<avifDecoder, DecoderDeleter> decoder(avifDecoderCreate());
    if (!decoder) {
        return;
    }
    decoder->maxThreads = 1;
    decoder->imageSizeLimit =
        uint32_t(std::min<qint64>(AVIF_DEFAULT_IMAGE_SIZE_LIMIT, bitmapBudget / 4));
    decoder->imageCountLimit = AVIF_DEFAULT_IMAGE_COUNT_LIMIT;
    decoder->strictFlags = AVIF_STRICT_ENABLED;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // The track only: a file without one is a still, whatever items it holds.
    if (avifDecoderSetSource(decoder.get(), AVIF_DECODER_SOURCE_TRACKS) != AVIF_RESULT_OK ||
        avifDecoderSetIOMemory(decoder.get(),
                               reinterpret_cast<const uint8_t*>(m_contents.constData()),
                               size_t(m_contents.size())) != AVIF_RESULT_OK) {
        return;
    }
    // The data box of a truncated file claims to run past the end, which the parser refuses
    // when the hint is the contents' size. With our file limit as the hint the sample table
    // still parses; reads stay within the contents, so the frames whose data is missing fail to
    // decode and the ones before them play.
    decoder->io->sizeHint = uint64_t(ImageSource::maximumBytes);
    if (avifDecoderParse(decoder.get()) != AVIF_RESULT_OK || decoder->imageCount < 2 ||
        !fits(decoder->image)) {
        return;
    }
    m_durations = frameDurations(m_contents, decoder->timescale, decoder->imageCount);
    if (m_durations.isEmpty()) {
        return;
    }
    m_decoder = std::move(decoder);
}

AvifSequenceReader::~AvifSequenceReader() = default;

bool AvifSequenceReader::isAnimated() const
{
    return m_decoder != nullptr;
}

int AvifSequenceReader::frameCount() const
{
    return int(m_durations.size());
}

int AvifSequenceReader::loopCount() const
{
    return 0;
}

QList<int> AvifSequenceReader::storedDurations() const
{
    return m_durations;
}

std::optional<QImage> AvifSequenceReader::nextFrame()
{
    if (!m_decoder || m_ended || avifDecoderNextImage(m_decoder.get()) != AVIF_RESULT_OK ||
        !fits(m_decoder->image)) {
        m_ended = true;
        return std::nullopt;
    }
    const avifImage* frame = m_decoder->image;
    const bool hasAlpha = frame->alphaPlane != nullptr;
    QImage rgba(int(frame->width), int(frame->height),
                hasAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (rgba.isNull()) {
        m_ended = true;
        return std::nullopt;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, frame);
    rgb.depth = 8;
    rgb.format = AVIF_RGB_FORMAT_RGBA; // opaque images get an alpha of 255
    // Nearest-neighbour chroma, as libheif upsamples the still: frame 0 then matches it.
    rgb.chromaUpsampling = AVIF_CHROMA_UPSAMPLING_NEAREST;
    rgb.pixels = rgba.bits();
    rgb.rowBytes = uint32_t(rgba.bytesPerLine());
    if (avifImageYUVToRGB(frame, &rgb) != AVIF_RESULT_OK) {
        m_ended = true;
        return std::nullopt;
    }
    QImage image =
        rgba.convertToFormat(hasAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) {
        m_ended = true;
        return std::nullopt;
    }
    if (const QColorSpace colorSpace = colorSpaceOf(frame); colorSpace.isValid()) {
        image.setColorSpace(colorSpace);
    }
    return image;
}

void AvifSequenceReader::rewind()
{
    m_ended = !m_decoder || avifDecoderReset(m_decoder.get()) != AVIF_RESULT_OK;
}
