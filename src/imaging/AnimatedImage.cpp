#include "AnimatedImage.h"

#include "ApngReader.h"
#include "AvifSequenceReader.h"
#include "BitmapSize.h"
#include "ImageSource.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

namespace {

// What the structure of a GIF or WebP file says about its animation.
struct Timeline
{
    QList<int> storedDurations; // ms, one per complete frame
    int loopCount = 1;          // plays; 0 = forever
    QSize canvasSize;           // pixels, as a GIF or WebP declares it; APNG and AVIF bound theirs
};

// The position after a chain of GIF data sub-blocks starting at `position`, or -1 when the
// chain runs past the end of the file.
qsizetype skipSubBlocks(const QByteArray& gif, qsizetype position)
{
    while (position < gif.size()) {
        const int length = quint8(gif.at(position));
        ++position;
        if (length == 0) {
            return position;
        }
        position += length;
    }
    return -1;
}

qsizetype colourTableBytes(quint8 packedFields)
{
    return (packedFields & 0x80) != 0 ? 3 * (qsizetype(2) << (packedFields & 0x07)) : 0;
}

// Walks the GIF's blocks without decompressing any pixels. Frames whose data ends early are
// not counted, nor any after them, and a file cut short plays its whole frames once.
Timeline gifTimeline(const QByteArray& gif)
{
    Timeline timeline;
    constexpr qsizetype screenDescriptorEnd = 13;
    if (gif.size() < screenDescriptorEnd) {
        return timeline;
    }
    timeline.canvasSize = QSize(qFromLittleEndian<quint16>(gif.constData() + 6),
                                qFromLittleEndian<quint16>(gif.constData() + 8));
    qsizetype position = screenDescriptorEnd + colourTableBytes(quint8(gif.at(10)));
    int pendingDelay = 0;
    while (position >= 0 && position < gif.size()) {
        const quint8 introducer = quint8(gif.at(position));
        if (introducer == 0x21 && position + 2 < gif.size()) {
            const quint8 label = quint8(gif.at(position + 1));
            const qsizetype block = position + 2;
            const int blockLength = quint8(gif.at(block));
            if (label == 0xF9 && blockLength >= 4 && block + 4 < gif.size()) {
                // Graphic control: delay in hundredths of a second.
                pendingDelay = qFromLittleEndian<quint16>(gif.constData() + block + 2) * 10;
            } else if (label == 0xFF && blockLength == 11 && block + 16 < gif.size() &&
                       (gif.mid(block + 1, 11) == "NETSCAPE2.0" ||
                        gif.mid(block + 1, 11) == "ANIMEXTS1.0") &&
                       quint8(gif.at(block + 12)) >= 3 && gif.at(block + 13) == 1) {
                // Repeats after the first play; 0 = forever.
                const int repeats = qFromLittleEndian<quint16>(gif.constData() + block + 14);
                timeline.loopCount = repeats == 0 ? 0 : repeats + 1;
            }
            position = skipSubBlocks(gif, block);
        } else if (introducer == 0x2C && position + 10 < gif.size()) {
            position += 10 + colourTableBytes(quint8(gif.at(position + 9)));
            position = position < gif.size() ? skipSubBlocks(gif, position + 1) : -1;
            if (position < 0) {
                break;
            }
            timeline.storedDurations.append(pendingDelay);
            pendingDelay = 0;
        } else {
            if (introducer != 0x3B) {
                timeline.loopCount = 1; // not the trailer: the file ends or goes wrong here
            }
            return timeline;
        }
    }
    timeline.loopCount = 1;
    return timeline;
}

// Walks the chunks of an animated WebP: the loop count and each complete frame's duration.
Timeline webpTimeline(const QByteArray& webp)
{
    Timeline timeline;
    constexpr qsizetype headerEnd = 12;
    if (!webp.startsWith("RIFF") || webp.mid(8, 4) != "WEBP") {
        return timeline;
    }
    qsizetype position = headerEnd;
    while (webp.size() - position >= 8) {
        const QByteArray type = webp.mid(position, 4);
        const qint64 length = qFromLittleEndian<quint32>(webp.constData() + position + 4);
        const qsizetype data = position + 8;
        if (length > webp.size() - data) {
            timeline.loopCount = 1; // cut short: the whole frames play once
            break;
        }
        if (type == "VP8X" && length >= 10) {
            const auto* canvas = reinterpret_cast<const uchar*>(webp.constData() + data + 4);
            timeline.canvasSize = QSize(1 + (canvas[0] | canvas[1] << 8 | canvas[2] << 16),
                                        1 + (canvas[3] | canvas[4] << 8 | canvas[5] << 16));
        } else if (type == "ANIM" && length >= 6) {
            timeline.loopCount = qFromLittleEndian<quint16>(webp.constData() + data + 4);
        } else if (type == "ANMF" && length >= 16) {
            const auto* bytes = reinterpret_cast<const uchar*>(webp.constData() + data + 12);
            timeline.storedDurations.append(bytes[0] | bytes[1] << 8 | bytes[2] << 16);
        }
        position = data + length + (length & 1);
    }
    return timeline;
}

} // namespace

AnimatedImage::AnimatedImage(const QString& filePath) : m_filePath(filePath)
{
    ImageSource::initializeDecoders();
    // Regular files only, with the same bound as ImageSource: a FIFO would block the read.
    QFile file(filePath);
    if (!QFileInfo(filePath).isFile() || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    const qint64 size = file.size();
    if (size <= 0 || size > ImageSource::maximumBytes) {
        return;
    }
    m_contents.resize(size);
    if (file.read(m_contents.data(), size) != size) {
        m_contents.clear();
        return;
    }
    Timeline timeline;
    if (m_contents.startsWith("GIF87a") || m_contents.startsWith("GIF89a")) {
        timeline = gifTimeline(m_contents);
        m_qtFormat = QByteArrayLiteral("gif");
    } else if (m_contents.startsWith("RIFF")) {
        timeline = webpTimeline(m_contents);
        m_qtFormat = QByteArrayLiteral("webp");
    } else if (m_contents.mid(4, 4) == "ftyp") {
        // An ISO media file: libavif decides whether it is an AVIF image sequence.
        auto avif = std::make_unique<AvifSequenceReader>(m_contents);
        if (avif->isAnimated() && avif->frameCount() > 1) {
            timeline.storedDurations = avif->storedDurations();
            timeline.loopCount = avif->loopCount();
            m_avif = std::move(avif);
        }
    } else {
        auto apng = std::make_unique<ApngReader>(m_contents);
        if (apng->isAnimated() && apng->frameCount() > 1) {
            timeline.storedDurations = apng->storedDurations();
            timeline.loopCount = apng->loopCount();
            m_apng = std::move(apng);
        }
    }
    // An animation is played in place of its still, so a file whose still the viewer refuses
    // (a damaged header, a size beyond the limits) is not played either; the frame decoders
    // below would otherwise go ahead on it. Nor is one whose canvas is too large to compose.
    if (timeline.storedDurations.size() > 1 &&
        ((timeline.canvasSize.isValid() &&
          !BitmapSize::fitsIn(timeline.canvasSize, maximumCanvasBytes)) ||
         !ImageSource(filePath).isValid())) {
        m_contents.clear();
        m_apng.reset();
        m_avif.reset();
        return;
    }
    if (timeline.storedDurations.size() > 1) {
        m_kind = m_apng ? Kind::Apng : m_avif ? Kind::AvifSequence : Kind::QtAnimation;
        m_loopCount = timeline.loopCount;
        m_durations.reserve(timeline.storedDurations.size());
        for (const int stored : timeline.storedDurations) {
            m_durations.append(displayedDuration(stored));
        }
        if (m_kind == Kind::QtAnimation) {
            openQtReader();
        }
        return;
    }
    m_contents.clear();
    m_qtFormat.clear();
    m_apng.reset();
    m_avif.reset();
    m_still = std::make_unique<ImageSource>(filePath);
    if (m_still->isValid()) {
        m_kind = Kind::Still;
        m_durations = {0};
    }
}

AnimatedImage::~AnimatedImage() = default;

void AnimatedImage::openQtReader()
{
    m_reader.reset();
    m_buffer = std::make_unique<QBuffer>();
    m_buffer->setData(m_contents);
    m_buffer->open(QIODevice::ReadOnly);
    m_reader = std::make_unique<QImageReader>(m_buffer.get(), m_qtFormat);
    m_reader->setAutoTransform(true);
}

bool AnimatedImage::isValid() const
{
    return m_kind != Kind::Unreadable;
}

bool AnimatedImage::isAnimated() const
{
    return m_kind == Kind::QtAnimation || m_kind == Kind::Apng || m_kind == Kind::AvifSequence;
}

int AnimatedImage::frameCount() const
{
    return int(m_durations.size());
}

int AnimatedImage::loopCount() const
{
    return m_loopCount;
}

QList<int> AnimatedImage::frameDurations() const
{
    return m_durations;
}

int AnimatedImage::nextFrameIndex() const
{
    return m_nextIndex;
}

int AnimatedImage::displayedDuration(int storedMs)
{
    return storedMs <= shortDurationLimitMs ? shortDurationReplacementMs : storedMs;
}

std::optional<QImage> AnimatedImage::nextFrame()
{
    if (m_ended || m_nextIndex >= frameCount()) {
        return std::nullopt;
    }
    std::optional<QImage> frame;
    switch (m_kind) {
    case Kind::Unreadable:
        break;
    case Kind::Still:
        if (QImage image = m_still->decode(); !image.isNull()) {
            frame = std::move(image);
        }
        break;
    case Kind::QtAnimation:
        if (QImage image; m_reader->read(&image)) {
            frame = std::move(image);
        }
        break;
    case Kind::Apng:
        frame = m_apng->nextFrame();
        break;
    case Kind::AvifSequence:
        frame = m_avif->nextFrame();
        break;
    }
    if (!frame) {
        m_ended = true;
        return std::nullopt;
    }
    ++m_nextIndex;
    return frame;
}

void AnimatedImage::rewind()
{
    m_nextIndex = 0;
    m_ended = false;
    if (m_kind == Kind::QtAnimation) {
        openQtReader();
    } else if (m_kind == Kind::Apng) {
        m_apng->rewind();
    } else if (m_kind == Kind::AvifSequence) {
        m_avif->rewind();
    }
}
