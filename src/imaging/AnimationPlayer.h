#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class SerialWorker;

// Plays an animated image file: a worker thread decodes the frames in order, a few ahead of
// the one shown, and a main-thread timer hands each one out for its duration.
//
// The owner shows frame 0 itself (the still decode) when it starts the player, so the first
// frame handed out is frame 1. Frames decoded ahead are held only up to `framesAheadBudgetBytes`
// (and never more than `maximumFramesAhead`, never fewer than one): with the frame shown and
// the worker's composition canvas, an animation of any length holds a handful of frames.
//
// stop() and start() abandon the previous file at once: its queued frames are dropped and the
// worker gives it up before decoding another frame. A frame that fails to decode ends the
// playback on the last good frame; a still image is never played.
//
// Suspending (while the owner edits frame 0, or is hidden) drops the decoded frames and halts
// the worker; resuming starts over at frame 0. Pausing only holds the frame shown.
class AnimationPlayer : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 framesAheadBudgetBytes = qint64(64) << 20;
    static constexpr int maximumFramesAhead = 4;
    // Frames of one size alive at once while playing, at most: the owner's still and its
    // reduced levels, the frame shown and its levels, one decoded ahead, the one being decoded
    // and the decoder's composition canvas. An animation whose frames would need more than
    // ImageSource::maximumBytes for these is shown as a still.
    static constexpr int residentFrameCopies = 7;

    explicit AnimationPlayer(QObject* parent = nullptr);
    ~AnimationPlayer() override;

    // The frame to show now, handed out when its turn comes; a null image means frame 0 (the
    // owner's still), after a suspension or a restart. Optional.
    std::function<void(const QImage& frame)> onFrameChanged;
    // The file turned out to be animated, playback was paused or resumed, or it ended.
    // Optional.
    std::function<void()> onStateChanged;

    // Plays `filePath` from frame 0 (which the owner already shows, at `stillSize` pixels: frames
    // of another size are not played). Unpauses.
    void start(const QString& filePath, QSize stillSize);
    // Forgets the file, handing back to the owner's frame 0.
    void stop();

    void setPaused(bool paused);
    // Pauses or resumes; after the end, plays again from frame 0.
    void togglePlayback();
    bool isPaused() const { return m_isPaused; }
    void setSuspended(bool suspended);
    bool isSuspended() const { return m_isSuspended; }

    // Known once the worker has read the file.
    bool isAnimated() const { return m_frameCount > 1; }
    int frameCount() const { return m_frameCount; }
    // The 0-based index of the frame shown.
    int currentFrameIndex() const { return m_currentIndex; }
    // True once the last play ended or a frame failed to decode.
    bool hasEnded() const { return m_hasEnded; }

    // The frames the worker holds decoded and not yet handed out.
    int framesAhead() const;
    // How many frames of `frameBytes` bytes each the worker decodes ahead.
    static int framesAheadLimit(qint64 frameBytes);

private:
    struct Shared;

    // The worker's run for one generation: reads the timeline, then decodes frames in order
    // while there is room ahead, looping as often as the file says.
    static void decodeFrames(const std::shared_ptr<Shared>& shared, quint64 run,
                             const QString& filePath, QSize stillSize);
    // Starts decoding the current file from frame 0 under a new generation.
    void startWorker();
    // Drops the decoded frames and stops the worker's current run.
    void haltWorker();
    // On the main thread: the worker has read the file's timeline or queued a frame.
    void handleWorkerProgress(quint64 generation);
    void showNextFrame();
    // Back to frame 0 as the owner decoded it.
    void showOwnersStill();
    void scheduleCurrentFrame();
    void reportState();

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<SerialWorker> m_worker;
    QTimer m_frameTimer;
    QString m_filePath;
    QSize m_stillSize;
    QList<int> m_durations;
    int m_frameCount = 0;
    int m_currentIndex = 0;
    // The owner's own frame 0 is on screen: no frame was handed out since the start.
    bool m_isShowingOwnersStill = true;
    bool m_isPaused = false;
    bool m_isSuspended = false;
    bool m_hasEnded = false;
    // The current frame's time is up but the next frame was not decoded yet.
    bool m_isWaitingForFrame = false;
    // The worker's run has not reported the file's timeline yet.
    bool m_isAwaitingTimeline = false;
};
