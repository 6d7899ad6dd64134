#pragma once

#include "ImageSource.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class ApngReader;
class AvifSequenceReader;
class QBuffer;
class QImageReader;

// The frames of an image file, decoded one at a time in order.
//
// Animated GIF, WebP and PNG files and AVIF image sequences report their frames; any other
// image (and an animated format with a single frame) is a still: one frame, played once,
// lasting 0 ms. The file is read once, with ImageSource's limits (regular files of at most
// ImageSource::maximumBytes); a still is handed to ImageSource, which reads it itself.
//
// Frame counts, durations and loop counts come from the file's structure without decoding any
// pixels. Frames are decoded on demand by nextFrame(), never ahead, so the object holds at most
// the frame it returned and the canvas frames are composed on, however long the animation.
// Frame 0 is exactly what ImageSource::decode() gives for the file, except for an AVIF
// sequence, whose frames come from another AV1 decoder and colour conversion than the still's
// and may differ from it by a few levels a channel. A frame that fails to decode (a truncated
// file) ends the sequence there; the frames before it still play.
class AnimatedImage
{
public:
    // Durations at most this long (ms) play as `shortDurationReplacementMs`, as browsers do:
    // many files store 0 or 10 ms and were made to be seen at 10 frames a second.
    static constexpr int shortDurationLimitMs = 10;
    static constexpr int shortDurationReplacementMs = 100;
    // Bytes an animation's canvas may take at 4 bytes a pixel. While a frame is made, the
    // decoder's own canvas, the frame decoded, the region kept for disposal and the frame
    // handed out can all be that large at once, and together stay within
    // ImageSource::maximumBytes. A larger animation is shown as its still.
    static constexpr qint64 maximumCanvasBytes = ImageSource::maximumBytes / 4;

    explicit AnimatedImage(const QString& filePath);
    ~AnimatedImage();
    AnimatedImage(const AnimatedImage&) = delete;
    AnimatedImage& operator=(const AnimatedImage&) = delete;

    // True when the file could be read and holds an animation or a still that decodes.
    bool isValid() const;

    bool isAnimated() const;
    int frameCount() const;

    // How many times the animation plays; 0 = forever. A GIF's stored repeat count is the
    // number of plays after the first; no repeat record means a single play.
    int loopCount() const;

    // Each frame's display time in milliseconds, short durations already replaced; {0} for a
    // still.
    QList<int> frameDurations() const;

    // The next frame as it is shown (the whole canvas, composed); nullopt after the last frame
    // or when a frame does not decode, until rewind().
    std::optional<QImage> nextFrame();

    // The index nextFrame() decodes next.
    int nextFrameIndex() const;

    // Starts over at frame 0 (for the next loop).
    void rewind();

    // `storedMs` after the short-duration rule.
    static int displayedDuration(int storedMs);

private:
    enum class Kind
    {
        Unreadable,
        Still,
        QtAnimation, // GIF and WebP, through QImageReader
        Apng,
        AvifSequence,
    };

    void openQtReader();

    QString m_filePath;
    Kind m_kind = Kind::Unreadable;
    QByteArray m_contents;
    QByteArray m_qtFormat;
    QList<int> m_durations;
    int m_loopCount = 1;
    int m_nextIndex = 0;
    bool m_ended = false;
    std::unique_ptr<ImageSource> m_still;
    std::unique_ptr<ApngReader> m_apng;
    std::unique_ptr<AvifSequenceReader> m_avif;
    std::unique_ptr<QBuffer> m_buffer;
    std::unique_ptr<QImageReader> m_reader;
};
