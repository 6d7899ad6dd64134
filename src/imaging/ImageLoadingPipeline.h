#pragma once

#include "CancellationHandle.h"
#include "LoadedImage.h"
#include "SerialWorker.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QSizeF>
#include <QUrl>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ImageSource;

// Decodes image files into full-resolution, correctly oriented sRGB bitmaps with a one-line
// metadata summary, and keeps the most recently used ones so that stepping back and forth through a
// folder does not decode again.
//
// All decoding and every touch of the cache happen on one private worker thread, one request
// at a time, in the order the requests were made (the pipeline may be made before the
// application object; see startLoading()). So two requests for the same file decode it once: the
// second finds the first one's result in the cache. Results are handed back on the thread of the
// requesting context object.
//
// Lifetime: destroying the pipeline stops it from starting any further work, waits for a decode
// in flight to finish and joins the worker; no handler runs after that.
class ImageLoadingPipeline : public QObject
{
    Q_OBJECT

public:
    using ImageHandler = std::function<void(std::optional<LoadedImage>)>;
    // A reduced stand-in for an image being decoded, and the pixel size (orientation applied)
    // of the full image that will follow it.
    using PreviewHandler = std::function<void(const LoadedImage& preview, QSize fullPixelSize)>;

    // The cache holds at most this many decoded images; the least recently used goes first.
    static constexpr int maxCachedImages = 5;

    explicit ImageLoadingPipeline(QObject* parent = nullptr);
    ~ImageLoadingPipeline() override;

    // The bytes of decoded bitmaps the cache keeps by default: a quarter of physical memory,
    // at most 2 GiB (1 GiB when the system does not say how much it has).
    static qint64 defaultCacheByteBudget();

    // Replaces the cache's byte budget; takes effect when the next image is stored. The image
    // stored last is kept even when it alone exceeds the budget.
    void setCacheByteBudget(qint64 bytes);

    // Asks for the image at `url` (standardized first; not a local file gives none) from the
    // cache or by decoding it, and later calls `handler` with the result on the thread of
    // `context`, which must live on this pipeline's thread. The handler is never called when
    // `context` is null or destroyed by then, or when the returned handle has been cancelled;
    // a cancelled request is still decoded into the cache. Failures are not cached.
    CancellationHandle image(const QUrl& url, QObject* context, ImageHandler handler);

    // As image() above, but when the image has to be decoded, first delivers a preview to
    // `previewHandler`: the image decoded at the cheapest scale that still covers its fitted
    // size in `fitSize` (device pixels), with the same metadata line. Then the full image
    // follows to `handler`, unless the handle was cancelled by then: a request cancelled
    // before its turn decodes nothing, one cancelled after its preview skips the full decode. A
    // cached image, or one too small for a reduced decode to save anything, comes only to
    // `handler`. Previews are never cached.
    CancellationHandle image(const QUrl& url, QSize fitSize, QObject* context,
                             PreviewHandler previewHandler, ImageHandler handler);

    // Starts decoding the image the user is about to see before anyone asks for it (at
    // start-up, while the windows are still being built): its preview for `fitSize`, kept
    // aside, then the full image into the cache. A later request for `url` whose fit the
    // kept preview covers gets that preview at once, without waiting for the worker. May be
    // called before the application object exists: only a JPEG our own decoder reads starts
    // (everything else needs Qt's image plugins, found through paths that constructing the
    // application resets); other files wait for the first request.
    void startLoading(const QUrl& url, QSize fitSize);

    // Decodes `urls` into the cache in the given order, one image per turn of the worker, so
    // requests made meanwhile are served between two preloaded images rather than after all of
    // them. Cancelling the handle stops before the next image; a decode in flight always ends.
    CancellationHandle preload(const QList<QUrl>& urls);

    // The image at `url` decoded now, on the calling thread, reduced as
    // ImageSource::decodeScaled does so that its longest side is at least `longestSide`, with
    // the same refusals, colours and metadata line as the images the pipeline hands out. Never
    // cached. Safe to call from any thread.
    static std::optional<LoadedImage> loadScaledImage(const QUrl& url, int longestSide);

    // How many times a file has been decoded (successfully or not) since construction.
    int decodeCount() const;

    // The summary line for an image: "WxH px", then the camera model, the date taken, the
    // exposure, the focal length and the ISO sensitivity when `properties` (see
    // ImageProperties) has them, joined by " • ". `fallbackSize` (the decoded bitmap's size)
    // stands in for a missing or non-numeric pixel width or height. Numbers always use the C
    // locale's digits and decimal point.
    static QString imageMetadataSummary(const QVariantMap& properties, QSizeF fallbackSize);

private:
    struct Preview
    {
        LoadedImage image;
        QSize fullPixelSize;
    };
    // A file opened for decoding: its source and the summary line both deliveries carry.
    struct OpenedImage
    {
        std::shared_ptr<const ImageSource> source;
        QString metadata;
    };

    // Worker thread only.
    std::optional<LoadedImage> imageFor(const QUrl& url);
    std::optional<LoadedImage> imageFor(const QUrl& url, const OpenedImage* opened);
    void storeInCache(const LoadedImage& image);
    void markRecentlyUsed(const QUrl& url);
    void trimCacheIfNeeded(const QUrl& keep);
    void preloadStep(const QList<QUrl>& urls, qsizetype index, const CancellationHandle& handle);

    // The preview startLoading() kept for `key`, when it covers `fitSize`; any thread.
    std::optional<Preview> startPreviewFor(const QUrl& key, QSize fitSize) const;

    // Runs `task` on the worker thread after everything posted before it.
    void post(std::function<void()> task);

    // Posts `deliver` to this object's thread, run only while `context` lives and `handle`
    // is not cancelled.
    void deliverTo(QPointer<QObject> context, const CancellationHandle& handle,
                   std::function<void()> deliver);

    static std::optional<OpenedImage> open(const QUrl& url);
    static std::optional<LoadedImage> loadImage(const QUrl& url, const OpenedImage& opened);
    static std::optional<Preview> loadPreview(const QUrl& url, const OpenedImage& opened,
                                              QSize fitSize);

    SerialWorker m_worker{"vistrel image loader"};
    std::atomic<int> m_decodeCount = 0;
    std::atomic<qint64> m_cacheByteBudget;

    // The preview made by startLoading(), handed out on the requester's thread.
    mutable QMutex m_startPreviewMutex;
    std::optional<Preview> m_startPreview;

    // Owned by the worker thread. m_cacheOrder lists exactly the keys of m_cache, each once,
    // least recently used first; m_cacheBytes is the sum of their bitmaps' sizes.
    QHash<QUrl, LoadedImage> m_cache;
    QList<QUrl> m_cacheOrder;
    qint64 m_cacheBytes = 0;
};
