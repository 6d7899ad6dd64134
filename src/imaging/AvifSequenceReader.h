#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <memory>
#include <optional>

struct avifDecoder;

// The frames of an AVIF image sequence (the track of a file with the 'avis' brand), decoded one
// at a time in order through libavif.
//
// Construction parses the container only (no AV1 decoding): frame count and each frame's
// duration come from the track's sample table. The container records no repetition count that
// this libavif exposes, so a sequence plays forever. Frames come out as the still decoder gives
// the file's primary image: RGB32, or premultiplied ARGB32 when the sequence has alpha, 8 bits a
// channel, with the stored colour space attached.
//
// Limits: one decoding thread (callers own the threading), libavif's strict checks, and no
// image whose bitmap could exceed ImageSource::maximumBytes (checked on the container's size
// before any decoding and again on each decoded frame). A frame that does not decode ends the
// sequence until rewind().
class AvifSequenceReader
{
public:
    // `contents` is the whole file, already bounded by the caller; shared, never copied.
    explicit AvifSequenceReader(const QByteArray& contents);
    ~AvifSequenceReader();
    AvifSequenceReader(const AvifSequenceReader&) = delete;
    AvifSequenceReader& operator=(const AvifSequenceReader&) = delete;

    // True when the file is an AVIF image sequence of more than one image within the limits.
    bool isAnimated() const;

    int frameCount() const;

    // How many times the sequence plays; always 0 (forever): see the class comment.
    int loopCount() const;

    // Each frame's duration as stored, in milliseconds (rounded).
    QList<int> storedDurations() const;

    // The next frame; nullopt after the last frame or when the frame does not decode, which
    // ends the sequence until rewind().
    std::optional<QImage> nextFrame();

    // The next frame is the first again.
    void rewind();

private:
    struct DecoderDeleter
    {
        void operator()(avifDecoder* decoder) const;
    };

    QByteArray m_contents;
    std::unique_ptr<avifDecoder, DecoderDeleter> m_decoder;
    QList<int> m_durations;
    bool m_ended = false;
};
