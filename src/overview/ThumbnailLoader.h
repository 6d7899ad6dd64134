#pragma once

#include "SerialWorker.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class ThumbnailDiskCache;

// Decodes thumbnails one at a time on one serial worker ("com.dorn.vistrel.thumbnail-loader"),
// through the desktop's shared thumbnail cache first and the imaging module's scaled decoding
// otherwise, and hands each result back on the main thread.
//
// The queue follows the screen: setWanted() replaces the set of URLs whose thumbnails are
// still wanted, and a queued request whose URL is no longer wanted is dropped before its decode
// starts; requests are served in the order they were made. A URL is pending from its request
// until its result is delivered or it is dropped.
class ThumbnailLoader : public QObject
{
    Q_OBJECT

public:
    // `diskCache` null uses none (tests); otherwise shared with the caller.
    explicit ThumbnailLoader(std::shared_ptr<ThumbnailDiskCache> diskCache,
                             QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    // Called on the main thread with each finished request: the thumbnail (orientation applied,
    // longest side at most `maxPixelSize`, sRGB) or none when the file gives no image.
    std::function<void(const QUrl& url, int maxPixelSize, std::optional<QImage> thumbnail)>
        onThumbnailReady;
    // Called on the main thread just before onThumbnailReady for a request that asked for the
    // animation probe: whether the file is animated (only names that can animate are read).
    std::function<void(const QUrl& url, bool animated)> onAnimationProbed;

    // Asks for the thumbnail of `url` at `maxPixelSize` unless it is pending already; with
    // `probeAnimation` the worker also finds out whether the file is animated.
    void request(const QUrl& url, int maxPixelSize, bool probeAnimation = false);

    // The URLs whose requests may still start; queued requests for any other URL are dropped
    // (and stop being pending) before their decode starts.
    void setWanted(const QSet<QUrl>& urls);

    bool isPending(const QUrl& url) const;
    // Requests queued and not yet started (the one decoding excluded), and the most there were.
    int queuedCount() const;
    int peakQueuedCount() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    SerialWorker m_worker{"com.dorn.vistrel.thumbnail-loader"};
};
