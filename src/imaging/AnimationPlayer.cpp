#include "AnimationPlayer.h"

#include "AnimatedImage.h"
#include "AnimationProbe.h"
#include "DisplayColour.h"
#include "ImageSource.h"
#include "SerialWorker.h"

#include <QMetaObject>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

// What the main thread and the worker share, guarded by `mutex`. Each run of the worker
// belongs to one generation; raising the generation abandons the run.
struct AnimationPlayer::Shared
{
    struct Frame
    {
        QImage image;
        int index = 0;
    };

    std::mutex mutex;
    std::condition_variable wake;
    // Null once the player is gone; queued calls to it are posted with the mutex held.
    AnimationPlayer* owner = nullptr;
    quint64 generation = 0;
    // The current run's results.
    bool hasTimeline = false;
    QList<int> durations;
    std::deque<Frame> ahead;
    int aheadLimit = 1;
    // No frame follows the ones in `ahead`.
    bool hasEnded = false;

    bool isCurrent(quint64 run) const { return generation == run; }

    // With `mutex` held.
    void notifyOwner(quint64 run)
    {
        if (owner != nullptr) {
            QMetaObject::invokeMethod(
                owner, [player = owner, run] { player->handleWorkerProgress(run); },
                Qt::QueuedConnection);
        }
    }
};

void AnimationPlayer::decodeFrames(const std::shared_ptr<Shared>& shared, quint64 run,
                                   const QString& filePath, QSize stillSize)
{
    // A still (most files) is recognised from its name or its first bytes, instead of being
    // read whole.
    std::optional<AnimatedImage> animation;
    const qint64 frameBytes = qint64(stillSize.width()) * stillSize.height() * 4;
    if (frameBytes * residentFrameCopies <= ImageSource::maximumBytes &&
        AnimationProbe::isAnimated(filePath)) {
        animation.emplace(filePath);
    }
    // Frame 0 decides whether the frames can be played at all: they are drawn in the still's
    // place, so they must have its size (a sequence whose still is rotated or cropped by its
    // container does not), and every frame of this size that is alive at once must fit the
    // memory limit. The owner shows frame 0 of the first play itself.
    bool isAnimated = animation && animation->isAnimated();
    if (isAnimated) {
        const std::optional<QImage> first = animation->nextFrame();
        isAnimated = first && first->size() == stillSize &&
                     first->sizeInBytes() * residentFrameCopies <= ImageSource::maximumBytes;
    }
    {
        std::lock_guard lock(shared->mutex);
        if (!shared->isCurrent(run)) {
            return;
        }
        shared->hasTimeline = true;
        shared->durations = isAnimated ? animation->frameDurations() : QList<int>();
        shared->hasEnded = !isAnimated;
        shared->notifyOwner(run);
        if (!isAnimated) {
            return;
        }
    }
    const int plays = animation->loopCount();
    int completedPlays = 0;
    while (true) {
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] {
                return !shared->isCurrent(run) || int(shared->ahead.size()) < shared->aheadLimit;
            });
            if (!shared->isCurrent(run)) {
                return;
            }
        }
        std::optional<QImage> frame = animation->nextFrame();
        if (frame && frame->size() != stillSize) {
            frame.reset();
        }
        if (!frame) {
            const bool completedPlay = animation->nextFrameIndex() == animation->frameCount();
            completedPlays += completedPlay ? 1 : 0;
            if (completedPlay && (plays == 0 || completedPlays < plays)) {
                animation->rewind();
                continue;
            }
            std::lock_guard lock(shared->mutex);
            if (shared->isCurrent(run)) {
                shared->hasEnded = true;
                shared->notifyOwner(run);
            }
            return;
        }
        const int index = animation->nextFrameIndex() - 1;
        // Drawn as they are, so in the colours the still was converted to.
        DisplayColour::convertToSRgb(*frame);
        std::lock_guard lock(shared->mutex);
        if (!shared->isCurrent(run)) {
            return;
        }
        shared->aheadLimit = framesAheadLimit(frame->sizeInBytes());
        shared->ahead.push_back({std::move(*frame), index});
        shared->notifyOwner(run);
    }
}

AnimationPlayer::AnimationPlayer(QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] { showNextFrame(); });
}

AnimationPlayer::~AnimationPlayer()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->owner = nullptr;
    }
    haltWorker();
    // Joins the worker once its run has given up, at the latest after the frame it decodes.
    m_worker.reset();
}

int AnimationPlayer::framesAheadLimit(qint64 frameBytes)
{
    const qint64 fitting = framesAheadBudgetBytes / std::max<qint64>(1, frameBytes);
    return int(std::clamp<qint64>(fitting, 1, maximumFramesAhead));
}

int AnimationPlayer::framesAhead() const
{
    std::lock_guard lock(m_shared->mutex);
    return int(m_shared->ahead.size());
}

void AnimationPlayer::start(const QString& filePath, QSize stillSize)
{
    stop();
    m_filePath = filePath;
    m_stillSize = stillSize;
    startWorker();
}

void AnimationPlayer::stop()
{
    const bool wasAnimated = isAnimated();
    haltWorker();
    m_frameTimer.stop();
    showOwnersStill();
    m_filePath.clear();
    m_durations.clear();
    m_frameCount = 0;
    m_currentIndex = 0;
    m_isShowingOwnersStill = true;
    m_isPaused = false;
    m_hasEnded = false;
    m_isWaitingForFrame = false;
    m_isAwaitingTimeline = false;
    if (wasAnimated) {
        reportState();
    }
}

void AnimationPlayer::setPaused(bool paused)
{
    if (paused == m_isPaused) {
        return;
    }
    m_isPaused = paused;
    m_isWaitingForFrame = false;
    m_frameTimer.stop();
    scheduleCurrentFrame();
    reportState();
}

void AnimationPlayer::togglePlayback()
{
    if (!m_hasEnded) {
        setPaused(!m_isPaused);
        return;
    }
    m_hasEnded = false;
    m_isPaused = false;
    showOwnersStill();
    startWorker();
    reportState();
}

void AnimationPlayer::setSuspended(bool suspended)
{
    if (suspended == m_isSuspended) {
        return;
    }
    m_isSuspended = suspended;
    m_frameTimer.stop();
    m_isWaitingForFrame = false;
    // Until the worker has read the file it may still turn out to be an animation.
    if (m_filePath.isEmpty() || (!m_isAwaitingTimeline && !isAnimated())) {
        return;
    }
    if (suspended) {
        haltWorker();
        m_hasEnded = false;
        showOwnersStill();
    } else {
        startWorker();
    }
    reportState();
}

void AnimationPlayer::showOwnersStill()
{
    m_currentIndex = 0;
    if (m_isShowingOwnersStill) {
        return;
    }
    m_isShowingOwnersStill = true;
    if (onFrameChanged) {
        onFrameChanged(QImage());
    }
}

void AnimationPlayer::haltWorker()
{
    std::lock_guard lock(m_shared->mutex);
    ++m_shared->generation;
    m_shared->hasTimeline = false;
    m_shared->durations.clear();
    m_shared->ahead.clear();
    m_shared->hasEnded = false;
    m_shared->wake.notify_all();
}

void AnimationPlayer::startWorker()
{
    haltWorker();
    if (m_filePath.isEmpty()) {
        return;
    }
    if (!m_worker) {
        m_worker = std::make_unique<SerialWorker>("animation frames");
    }
    quint64 run = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        run = m_shared->generation;
    }
    m_isAwaitingTimeline = true;
    m_worker->post([shared = m_shared, run, filePath = m_filePath, stillSize = m_stillSize] {
        decodeFrames(shared, run, filePath, stillSize);
    });
}

void AnimationPlayer::handleWorkerProgress(quint64 generation)
{
    bool hasNewTimeline = false;
    bool frameCanFollow = false;
    {
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->isCurrent(generation)) {
            return;
        }
        if (m_isAwaitingTimeline && m_shared->hasTimeline) {
            m_isAwaitingTimeline = false;
            m_durations = m_shared->durations;
            m_frameCount = int(m_durations.size());
            hasNewTimeline = isAnimated();
        }
        frameCanFollow = !m_shared->ahead.empty() || m_shared->hasEnded;
    }
    if (hasNewTimeline) {
        scheduleCurrentFrame();
        reportState();
    } else if (m_isWaitingForFrame && frameCanFollow) {
        showNextFrame();
    }
}

void AnimationPlayer::showNextFrame()
{
    m_isWaitingForFrame = false;
    Shared::Frame frame;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->ahead.empty()) {
            if (!m_shared->hasEnded) {
                m_isWaitingForFrame = true;
                return;
            }
            m_hasEnded = true;
        } else {
            frame = std::move(m_shared->ahead.front());
            m_shared->ahead.pop_front();
            m_shared->wake.notify_all();
        }
    }
    if (m_hasEnded) {
        reportState();
        return;
    }
    m_currentIndex = frame.index;
    m_isShowingOwnersStill = false;
    if (onFrameChanged) {
        onFrameChanged(frame.image);
    }
    scheduleCurrentFrame();
}

void AnimationPlayer::scheduleCurrentFrame()
{
    if (!isAnimated() || m_isPaused || m_isSuspended || m_hasEnded ||
        m_currentIndex >= m_durations.size()) {
        return;
    }
    m_frameTimer.start(m_durations[m_currentIndex]);
}

void AnimationPlayer::reportState()
{
    if (onStateChanged) {
        onStateChanged();
    }
}
