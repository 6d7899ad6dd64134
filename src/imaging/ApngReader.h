#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <optional>

// The frames of an animated PNG, composed one at a time on a canvas of the image's size.
//
// Only chunk headers are read up front: each frame is remembered as its control record and the
// places of its data in the file. A frame is decoded when it is asked for, by wrapping its data
// in a standalone PNG (the file's header with the frame's size, the palette and other chunks
// that precede the image data, the data, an end chunk) for Qt's PNG reader. The reader holds the
// canvas, the frame being returned and, for frames disposed to the previous state, the part of
// the canvas they cover.
//
// Frames whose rectangle is empty or leaves the canvas are skipped. A frame that does not
// decode ends the sequence.
class ApngReader
{
public:
    // `contents` is the whole file; shared, never copied.
    explicit ApngReader(const QByteArray& contents);

    // True when the file is a PNG with an animation control chunk before its image data and a
    // canvas of at most ImageSource::maximumBytes.
    bool isAnimated() const;

    int frameCount() const;

    // How many times the animation plays; 0 = forever.
    int loopCount() const;

    // Each frame's delay as stored, in milliseconds (before any minimum is applied).
    QList<int> storedDurations() const;

    // The composed canvas after the next frame (ARGB32); nullopt after the last frame or when
    // the frame does not decode, which ends the sequence until rewind().
    std::optional<QImage> nextFrame();

    // The next frame is the first again, on a cleared canvas.
    void rewind();

private:
    enum class Dispose
    {
        None,
        Background,
        Previous,
    };
    struct DataRange
    {
        qsizetype offset;
        qsizetype length;
    };
    struct Frame
    {
        QRect rect;
        int durationMs = 0;
        Dispose dispose = Dispose::None;
        bool blendOver = false;
        QList<DataRange> data;
    };

    void parse();
    QByteArray standalonePng(const Frame& frame) const;
    void disposePrevious();

    QByteArray m_contents;
    QSize m_canvasSize;
    QByteArray m_headerFields;       // IHDR after width and height: depth, colour type, methods
    QList<DataRange> m_sharedChunks; // whole chunks copied into every frame's PNG
    QList<Frame> m_frames;
    int m_loopCount = 0;
    bool m_isAnimated = false;

    int m_nextIndex = 0;
    bool m_ended = false;
    QImage m_canvas;
    QImage m_savedRegion; // the previous frame's rectangle before it was drawn
};
