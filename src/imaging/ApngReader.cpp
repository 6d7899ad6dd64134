#include "ApngReader.h"

#include "AnimatedImage.h"
#include "BitmapSize.h"
#include "ImageSource.h"

#include <QtEndian>
#include <zlib.h>

namespace {

constexpr char pngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype signatureLength = 8;
constexpr qsizetype chunkOverhead = 12; // length, type, CRC
constexpr qsizetype frameControlLength = 26;

// Chunks before the image data that the frames' pixels depend on.
bool isSharedChunk(const QByteArray& type)
{
    return type == "PLTE" || type == "tRNS" || type == "gAMA" || type == "cHRM" || type == "sRGB" ||
           type == "iCCP" || type == "sBIT";
}

quint32 crcOf(const QByteArray& bytes)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

quint32 bigEndian32(const char* bytes)
{
    return qFromBigEndian<quint32>(bytes);
}

void appendBigEndian32(QByteArray& bytes, quint32 value)
{
    char buffer[4];
    qToBigEndian(value, buffer);
    bytes.append(buffer, 4);
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data)
{
    appendBigEndian32(png, quint32(data.size()));
    const QByteArray typed = QByteArray(type, 4) + data;
    png.append(typed);
    appendBigEndian32(png, crcOf(typed));
}

// Copies `source` onto `canvas` at `at`, replacing what was there (alpha included).
void replaceRegion(QImage& canvas, const QImage& source, QPoint at)
{
    for (int y = 0; y < source.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(canvas.scanLine(at.y() + y)) + at.x();
        std::copy(from, from + source.width(), to);
    }
}

// Straight-alpha "over": `source` composited onto `canvas` at `at`, both ARGB32.
void blendRegion(QImage& canvas, const QImage& source, QPoint at)
{
    for (int y = 0; y < source.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(canvas.scanLine(at.y() + y)) + at.x();
        for (int x = 0; x < source.width(); ++x) {
            const int sourceAlpha = qAlpha(from[x]);
            if (sourceAlpha == 255) {
                to[x] = from[x];
                continue;
            }
            if (sourceAlpha == 0) {
                continue;
            }
            const int below = qAlpha(to[x]) * (255 - sourceAlpha); // scaled by 255
            const int alpha255 = sourceAlpha * 255 + below;        // result alpha, scaled
            const auto channel = [&](int s, int d) {
                return (s * sourceAlpha * 255 + d * below + alpha255 / 2) / alpha255;
            };
            to[x] =
                qRgba(channel(qRed(from[x]), qRed(to[x])), channel(qGreen(from[x]), qGreen(to[x])),
                      channel(qBlue(from[x]), qBlue(to[x])), (alpha255 + 127) / 255);
        }
    }
}

} // namespace

ApngReader::ApngReader(const QByteArray& contents) : m_contents(contents)
{
    parse();
}

void ApngReader::parse()
{
    if (!m_contents.startsWith(QByteArray(pngSignature, signatureLength))) {
        return;
    }
    bool seenAnimationControl = false;
    bool seenImageData = false;
    bool seenFrameData = false;
    std::optional<Frame> pending;
    const auto finishPending = [&] {
        if (pending && !pending->data.isEmpty()) {
            m_frames.append(*std::move(pending));
        }
        pending.reset();
    };
    qsizetype position = signatureLength;
    while (m_contents.size() - position >= chunkOverhead) {
        const qint64 length = bigEndian32(m_contents.constData() + position);
        const QByteArray type = m_contents.mid(position + 4, 4);
        const qsizetype data = position + 8;
        if (length > m_contents.size() - data - 4) {
            break; // truncated: the frames read so far stand
        }
        const char* bytes = m_contents.constData() + data;
        if (position == signatureLength) {
            if (type != "IHDR" || length != 13) {
                return;
            }
            m_canvasSize = QSize(int(qMin<quint32>(bigEndian32(bytes), INT_MAX)),
                                 int(qMin<quint32>(bigEndian32(bytes + 4), INT_MAX)));
            m_headerFields = QByteArray(bytes + 8, 5);
        } else if (type == "acTL" && !seenImageData && length == 8) {
            seenAnimationControl = true;
            m_loopCount = int(qMin<quint32>(bigEndian32(bytes + 4), INT_MAX));
        } else if (type == "fcTL" && length == frameControlLength) {
            finishPending();
            const quint32 width = bigEndian32(bytes + 4);
            const quint32 height = bigEndian32(bytes + 8);
            const quint32 x = bigEndian32(bytes + 12);
            const quint32 y = bigEndian32(bytes + 16);
            const int numerator = qFromBigEndian<quint16>(bytes + 20);
            const int denominator = qFromBigEndian<quint16>(bytes + 22);
            const bool fits = width > 0 && height > 0 &&
                              quint64(x) + width <= quint64(m_canvasSize.width()) &&
                              quint64(y) + height <= quint64(m_canvasSize.height());
            if (fits) {
                Frame frame;
                frame.rect = QRect(int(x), int(y), int(width), int(height));
                const int perSecond = denominator == 0 ? 100 : denominator;
                frame.durationMs = (numerator * 1000 + perSecond / 2) / perSecond;
                frame.dispose = bytes[24] == 1   ? Dispose::Background
                                : bytes[24] == 2 ? Dispose::Previous
                                                 : Dispose::None;
                frame.blendOver = bytes[25] == 1;
                pending = std::move(frame);
            }
        } else if (type == "IDAT") {
            seenImageData = true;
            // The default image is frame 0 only when a frame control precedes it.
            if (pending && !seenFrameData) {
                pending->data.append({data, qsizetype(length)});
            }
        } else if (type == "fdAT" && seenImageData && length > 4) {
            seenFrameData = true;
            if (pending) {
                pending->data.append({data + 4, qsizetype(length - 4)});
            }
        } else if (type == "IEND") {
            break;
        } else if (!seenImageData && isSharedChunk(type)) {
            m_sharedChunks.append({position, qsizetype(length + chunkOverhead)});
        }
        position = data + length + 4;
    }
    finishPending();
    m_isAnimated = seenAnimationControl && !m_headerFields.isEmpty() &&
                   BitmapSize::fitsIn(m_canvasSize, AnimatedImage::maximumCanvasBytes) &&
                   !m_frames.isEmpty();
    if (!m_isAnimated) {
        m_frames.clear();
    }
}

bool ApngReader::isAnimated() const
{
    return m_isAnimated;
}

int ApngReader::frameCount() const
{
    return int(m_frames.size());
}

int ApngReader::loopCount() const
{
    return m_loopCount;
}

QList<int> ApngReader::storedDurations() const
{
    QList<int> durations;
    durations.reserve(m_frames.size());
    for (const Frame& frame : m_frames) {
        durations.append(frame.durationMs);
    }
    return durations;
}

QByteArray ApngReader::standalonePng(const Frame& frame) const
{
    QByteArray header;
    appendBigEndian32(header, quint32(frame.rect.width()));
    appendBigEndian32(header, quint32(frame.rect.height()));
    header.append(m_headerFields);
    QByteArray pixels;
    for (const DataRange& range : frame.data) {
        pixels.append(m_contents.constData() + range.offset, range.length);
    }
    QByteArray png(pngSignature, signatureLength);
    appendChunk(png, "IHDR", header);
    for (const DataRange& chunk : m_sharedChunks) {
        png.append(m_contents.constData() + chunk.offset, chunk.length);
    }
    appendChunk(png, "IDAT", pixels);
    appendChunk(png, "IEND", {});
    return png;
}

void ApngReader::disposePrevious()
{
    const Frame& previous = m_frames.at(m_nextIndex - 1);
    // "Previous" on the first frame has nothing to go back to but the cleared canvas.
    const Dispose dispose = previous.dispose == Dispose::Previous && m_nextIndex == 1
                                ? Dispose::Background
                                : previous.dispose;
    if (dispose == Dispose::Background) {
        QImage cleared(previous.rect.size(), QImage::Format_ARGB32);
        cleared.fill(Qt::transparent);
        replaceRegion(m_canvas, cleared, previous.rect.topLeft());
    } else if (dispose == Dispose::Previous) {
        replaceRegion(m_canvas, m_savedRegion, previous.rect.topLeft());
    }
    m_savedRegion = QImage();
}

std::optional<QImage> ApngReader::nextFrame()
{
    if (m_ended || m_nextIndex >= m_frames.size()) {
        return std::nullopt;
    }
    if (m_nextIndex == 0) {
        m_canvas = QImage(m_canvasSize, QImage::Format_ARGB32);
        m_canvas.fill(Qt::transparent);
    } else {
        disposePrevious();
    }
    const Frame& frame = m_frames.at(m_nextIndex);
    QImage decoded = QImage::fromData(standalonePng(frame), "png");
    if (m_canvas.isNull() || decoded.size() != frame.rect.size()) {
        m_ended = true;
        m_canvas = QImage();
        return std::nullopt;
    }
    decoded.convertTo(QImage::Format_ARGB32);
    if (frame.dispose == Dispose::Previous) {
        m_savedRegion = m_canvas.copy(frame.rect);
    }
    if (frame.blendOver) {
        blendRegion(m_canvas, decoded, frame.rect.topLeft());
    } else {
        replaceRegion(m_canvas, decoded, frame.rect.topLeft());
    }
    ++m_nextIndex;
    return m_canvas;
}

void ApngReader::rewind()
{
    m_nextIndex = 0;
    m_ended = false;
    m_canvas = QImage();
    m_savedRegion = QImage();
}
