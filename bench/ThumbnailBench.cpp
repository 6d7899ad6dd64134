#include "BenchPhotos.h"
#include "BenchmarkRegistry.h"
#include "ThumbnailDiskCache.h"
#include "ThumbnailLoader.h"
#include "ThumbnailMemoryCache.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>

namespace {

constexpr int repetitions = 5;
constexpr int thumbnailSide = 240;

// Seconds from the request to the delivery of one thumbnail by a fresh loader (its thread
// already started); 0 when no thumbnail came.
double secondsThroughLoader(const QUrl& url, const std::shared_ptr<ThumbnailDiskCache>& cache)
{
    ThumbnailLoader loader(cache);
    QEventLoop loop;
    double seconds = 0;
    QElapsedTimer timer;
    loader.onThumbnailReady = [&](const QUrl&, int, std::optional<QImage> thumbnail) {
        if (thumbnail && thumbnail->width() == thumbnailSide) {
            seconds = double(timer.nsecsElapsed()) / 1e9;
        }
        loop.quit();
    };
    timer.start();
    loader.request(url, thumbnailSide);
    loop.exec();
    return seconds;
}

// The best of `repetitions` runs; 0 when any run failed.
double bestThroughLoader(const QUrl& url, const std::shared_ptr<ThumbnailDiskCache>& cache)
{
    double best = 0;
    for (int i = 0; i < repetitions; ++i) {
        const double seconds = secondsThroughLoader(url, cache);
        if (seconds == 0) {
            return 0;
        }
        best = i == 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

// Main-thread milliseconds per delivered thumbnail: the loader's hand-over plus what the grid
// does with a result (keeping it in the memory cache). The worker finishes every decode
// before the deliveries are timed, so only main-thread work is measured.
double millisecondsPerDelivery(QTemporaryDir& folder)
{
    constexpr int count = 200;
    QImage source(thumbnailSide, thumbnailSide * 2 / 3, QImage::Format_RGB32);
    source.fill(Qt::darkCyan);
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString path = folder.filePath(QStringLiteral("small-%1.png").arg(i));
        if (!source.save(path)) {
            return 0;
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    ThumbnailLoader loader(nullptr);
    ThumbnailMemoryCache memoryCache;
    int delivered = 0;
    loader.onThumbnailReady = [&](const QUrl& url, int, std::optional<QImage> thumbnail) {
        if (thumbnail) {
            memoryCache.insert(url, *thumbnail);
            ++delivered;
        }
    };
    for (const QUrl& url : std::as_const(urls)) {
        loader.request(url, thumbnailSide);
    }
    while (loader.queuedCount() > 0) {
        QThread::msleep(10);
    }
    QThread::msleep(200);
    QElapsedTimer timer;
    timer.start();
    while (delivered < count && timer.elapsed() < 10000) {
        QCoreApplication::processEvents();
    }
    return delivered == count ? double(timer.nsecsElapsed()) / 1e6 / count : 0;
}

const bool registered = BenchmarkRegistry::add("thumbnail", [] {
    QTemporaryDir folder;
    if (!folder.isValid()) {
        return;
    }
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    if (!BenchPhotos::writeTestPhoto(path, BenchPhotos::photoLikeImage(16))) {
        qWarning("thumbnail benchmark: cannot write the test photo");
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const QByteArray encodedPath = QFile::encodeName(path);
    bool decoded = true;
    const double bare = bench::bestSeconds(repetitions * 2, [&] {
        decoded = BenchPhotos::decodeWithLibjpeg(encodedPath, nullptr, 8) && decoded;
    });
    const double throughLoader = bestThroughLoader(url, nullptr);
    if (!decoded || throughLoader == 0) {
        qWarning("thumbnail benchmark: a decode failed");
        return;
    }
    bench::report(QStringLiteral("240 px thumbnail of a 24 MP JPEG (%1 KB) through the loader, "
                                 "no disk cache, vs libjpeg-turbo at scale 1/8")
                      .arg(QFileInfo(path).size() / 1024),
                  throughLoader, bare, QStringLiteral("<= 1.1"));

    const auto diskCache =
        std::make_shared<ThumbnailDiskCache>(folder.filePath(QStringLiteral("cache/thumbnails")));
    if (secondsThroughLoader(url, diskCache) == 0 ||
        diskCache->thumbnail(url, thumbnailSide).isNull()) {
        qWarning("thumbnail benchmark: the disk cache was not written");
        return;
    }
    const double fromDisk = bestThroughLoader(url, diskCache);
    bench::report(QStringLiteral("240 px thumbnail from the disk cache vs decoding it"), fromDisk,
                  throughLoader, QStringLiteral("<< 0.1"));

    const double perDelivery = millisecondsPerDelivery(folder);
    if (perDelivery == 0) {
        qWarning("thumbnail benchmark: deliveries went missing");
        return;
    }
    bench::reportAbsolute(QStringLiteral("main-thread time per delivered thumbnail"), perDelivery,
                          QStringLiteral("ms"), QStringLiteral("< 1 ms"));
});

} // namespace
