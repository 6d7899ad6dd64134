#pragma once

#include "CancellationHandle.h"
#include "LoadedImage.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSizeF>
#include <QThread>
#include <QUrl>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <optional>

// Decodes image files into full-resolution, correctly oriented bitmaps with a one-line metadata
// summary, and keeps the most recently used ones so that stepping back and forth through a
// folder does not decode again.
//
// All decoding and every touch of the cache happen on one private worker thread, one request
// at a time, in the order the requests were made. So two requests for the same file decode it
// once: the second finds the first one's result in the cache. Results are handed back on the
// thread of the requesting context object.
//
// Lifetime: destroying the pipeline stops it from starting any further work, waits for a decode
// in flight to finish and joins the worker; no handler runs after that.
class ImageLoadingPipeline : public QObject
{
    Q_OBJECT

public:
    using ImageHandler = std::function<void(std::optional<LoadedImage>)>;

    // The cache holds at most this many decoded images; the least recently used goes first.
    static constexpr int maxCachedImages = 5;

    explicit ImageLoadingPipeline(QObject* parent = nullptr);
    ~ImageLoadingPipeline() override;

    // Asks for the image at `url` (standardized first; not a local file gives none) from the
    // cache or by decoding it, and later calls `handler` with the result on the thread of
    // `context`, which must live on this pipeline's thread. The handler is never called when
    // `context` is null or destroyed by then, or when the returned handle has been cancelled;
    // a cancelled request is still decoded into the cache. Failures are not cached.
    CancellationHandle image(const QUrl& url, QObject* context, ImageHandler handler);

    // Decodes `urls` into the cache in the given order, one image per turn of the worker, so
    // requests made meanwhile are served between two preloaded images rather than after all of
    // them. Cancelling the handle stops before the next image; a decode in flight always ends.
    CancellationHandle preload(const QList<QUrl>& urls);

    // How many times a file has been decoded (successfully or not) since construction.
    int decodeCount() const;

    // The summary line for an image: "WxH px", then the camera model, the date taken, the
    // exposure, the focal length and the ISO sensitivity when `properties` (see
    // ImageProperties) has them, joined by " • ". `fallbackSize` (the decoded bitmap's size)
    // stands in for a missing or non-numeric pixel width or height. Numbers always use the C
    // locale's digits and decimal point.
    static QString imageMetadataSummary(const QVariantMap& properties, QSizeF fallbackSize);

private:
    // Worker thread only.
    std::optional<LoadedImage> imageFor(const QUrl& url);
    void markRecentlyUsed(const QUrl& url);
    void trimCacheIfNeeded();
    void preloadStep(const QList<QUrl>& urls, qsizetype index, const CancellationHandle& handle);

    // Runs `task` on the worker thread after everything posted before it.
    void post(std::function<void()> task);

    static std::optional<LoadedImage> loadImage(const QUrl& url);

    QThread m_thread;
    QObject m_worker; // lives on m_thread; tasks are posted to it
    std::atomic<bool> m_isStopping = false;
    std::atomic<int> m_decodeCount = 0;

    // Owned by the worker thread. m_cacheOrder lists exactly the keys of m_cache, each once,
    // least recently used first.
    QHash<QUrl, LoadedImage> m_cache;
    QList<QUrl> m_cacheOrder;
};
