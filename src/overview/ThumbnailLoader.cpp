#include "ThumbnailLoader.h"

#include "AnimationProbe.h"
#include "BitmapSize.h"
#include "DisplayColour.h"
#include "ImageLoadingPipeline.h"
#include "ImageReduction.h"
#include "ThumbnailDiskCache.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <algorithm>
#include <deque>

struct ThumbnailLoader::Shared
{
    struct Request
    {
        QUrl url;
        int maxPixelSize = 0;
        bool probeAnimation = false;
    };

    std::shared_ptr<ThumbnailDiskCache> diskCache;
    // Guards `queue` and `peakQueued`, which both threads touch.
    mutable QMutex mutex;
    std::deque<Request> queue;
    int peakQueued = 0;
    // Main thread only: requested and not yet delivered (queued or decoding).
    QSet<QUrl> pending;
};

namespace {

// The thumbnail of `url` no larger than `maxPixelSize`: from the disk cache when it holds a
// valid one, else decoded and then written to the cache for next time.
std::optional<QImage> makeThumbnail(const QUrl& url, int maxPixelSize, ThumbnailDiskCache* cache)
{
    if (cache != nullptr) {
        QImage cached = cache->thumbnail(url, maxPixelSize);
        if (!cached.isNull()) {
            // Another program may have written the entry: deep or indexed pixels and any
            // profile are brought to what the grid draws.
            if (cached.format() != QImage::Format_RGB32 &&
                cached.format() != QImage::Format_ARGB32_Premultiplied) {
                cached.convertTo(cached.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32);
            }
            DisplayColour::convertToSRgb(cached);
            return ImageReduction::reducedToLongestSide(cached, maxPixelSize);
        }
    }
    // Taken before the decode, so an edit that lands during it leaves a stale-looking entry
    // rather than a stale entry that looks fresh.
    const std::optional<qint64> mtime = ThumbnailDiskCache::modificationTime(url);
    const std::optional<LoadedImage> loaded =
        ImageLoadingPipeline::loadScaledImage(url, maxPixelSize);
    if (!loaded || loaded->cgImage.isNull()) {
        return std::nullopt;
    }
    const QImage& decoded = loaded->cgImage;
    const int decodedSide = BitmapSize::longestSide(decoded.size());
    if (cache != nullptr && mtime) {
        // The scaled decode never comes out smaller than asked unless the file itself is.
        const bool isWholeImage = decodedSide < maxPixelSize;
        const int thumbnailSide = std::min(decodedSide, maxPixelSize);
        for (const ThumbnailDiskCache::Folder& folder : ThumbnailDiskCache::folders) {
            if (folder.pixelSize >= thumbnailSide) {
                cache->store(url, ImageReduction::reducedToLongestSide(decoded, folder.pixelSize),
                             *mtime, isWholeImage);
                break;
            }
        }
    }
    return ImageReduction::reducedToLongestSide(decoded, maxPixelSize);
}

// Whether the local file at `url` is animated; names that cannot animate are never opened.
bool isAnimatedFile(const QUrl& url)
{
    return url.isLocalFile() && AnimationProbe::hasAnimatableName(url.fileName()) &&
           AnimationProbe::isAnimated(url.toLocalFile());
}

} // namespace

ThumbnailLoader::ThumbnailLoader(std::shared_ptr<ThumbnailDiskCache> diskCache, QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>())
{
    m_shared->diskCache = std::move(diskCache);
}

ThumbnailLoader::~ThumbnailLoader()
{
    // After this no task runs, so none can post a delivery to this object; deliveries posted
    // already are discarded with the object's pending events.
    m_worker.stop();
}

void ThumbnailLoader::request(const QUrl& url, int maxPixelSize, bool probeAnimation)
{
    if (m_shared->pending.contains(url)) {
        return;
    }
    m_shared->pending.insert(url);
    {
        const QMutexLocker lock(&m_shared->mutex);
        m_shared->queue.push_back({url, maxPixelSize, probeAnimation});
        m_shared->peakQueued = std::max(m_shared->peakQueued, int(m_shared->queue.size()));
    }
    // One task per request; a task whose request was dropped from the queue meanwhile finds
    // the queue shorter and simply does less.
    m_worker.post([this, shared = m_shared] {
        Shared::Request next;
        {
            const QMutexLocker lock(&shared->mutex);
            if (shared->queue.empty()) {
                return;
            }
            next = std::move(shared->queue.front());
            shared->queue.pop_front();
        }
        std::optional<QImage> thumbnail =
            makeThumbnail(next.url, next.maxPixelSize, shared->diskCache.get());
        // Also for a thumbnail from the disk cache: the flag is stored with no thumbnail.
        const std::optional<bool> animated =
            next.probeAnimation ? std::optional<bool>(isAnimatedFile(next.url)) : std::nullopt;
        // `this` is alive here: the destructor stops the worker, waiting for this task.
        QMetaObject::invokeMethod(
            this,
            [this, url = next.url, size = next.maxPixelSize, animated,
             result = std::move(thumbnail)]() mutable {
                m_shared->pending.remove(url);
                if (animated && onAnimationProbed) {
                    onAnimationProbed(url, *animated);
                }
                if (onThumbnailReady) {
                    onThumbnailReady(url, size, std::move(result));
                }
            },
            Qt::QueuedConnection);
    });
}

void ThumbnailLoader::setWanted(const QSet<QUrl>& urls)
{
    QList<QUrl> dropped;
    {
        const QMutexLocker lock(&m_shared->mutex);
        auto& queue = m_shared->queue;
        const auto kept = std::stable_partition(
            queue.begin(), queue.end(), [&](const auto& r) { return urls.contains(r.url); });
        for (auto it = kept; it != queue.end(); ++it) {
            dropped.append(it->url);
        }
        queue.erase(kept, queue.end());
    }
    for (const QUrl& url : std::as_const(dropped)) {
        m_shared->pending.remove(url);
    }
}

bool ThumbnailLoader::isPending(const QUrl& url) const
{
    return m_shared->pending.contains(url);
}

int ThumbnailLoader::queuedCount() const
{
    const QMutexLocker lock(&m_shared->mutex);
    return int(m_shared->queue.size());
}

int ThumbnailLoader::peakQueuedCount() const
{
    const QMutexLocker lock(&m_shared->mutex);
    return m_shared->peakQueued;
}
