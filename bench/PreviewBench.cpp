#include "BenchPhotos.h"
#include "BenchmarkRegistry.h"
#include "ImageLoadingPipeline.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>

namespace {

constexpr int repetitions = 5;
constexpr QSize windowFit(1200, 800);

// Seconds until a fresh pipeline (cold cache) delivers the preview for a window of
// `windowFit`; 0 when none came. The full decode that follows is not waited for, but the
// pipeline's teardown waits for it, so that is left out of the time.
double secondsToPreview(const QUrl& url)
{
    ImageLoadingPipeline pipeline;
    QObject context;
    QEventLoop loop;
    double seconds = 0;
    QElapsedTimer timer;
    timer.start();
    pipeline.image(
        url, windowFit, &context,
        [&](const LoadedImage& preview, QSize) {
            if (preview.cgImage.width() >= windowFit.width()) {
                seconds = double(timer.nsecsElapsed()) / 1e9;
            }
            loop.quit();
        },
        [&](std::optional<LoadedImage>) { loop.quit(); });
    loop.exec();
    return seconds;
}

void measurePreview(const QString& label, int grainAmplitude, QTemporaryDir& folder)
{
    const QString path = folder.filePath(label + QStringLiteral(".jpg"));
    if (!BenchPhotos::writeTestPhoto(path, BenchPhotos::photoLikeImage(grainAmplitude))) {
        qWarning("preview benchmark: cannot write the test photo");
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    bool allDecoded = BenchPhotos::decodeThroughPipeline(url);
    const double full = bench::bestSeconds(
        repetitions, [&] { allDecoded = BenchPhotos::decodeThroughPipeline(url) && allDecoded; });
    double preview = 0;
    for (int i = 0; i < repetitions; ++i) {
        const double seconds = secondsToPreview(url);
        allDecoded = seconds > 0 && allDecoded;
        preview = i == 0 ? seconds : std::min(preview, seconds);
    }
    if (!allDecoded) {
        qWarning("preview benchmark: a decode failed");
        return;
    }
    bench::report(QStringLiteral("preview for a 1200x800 fit of a %1 24 MP JPEG (%2 KB) vs its "
                                 "full decode through the pipeline")
                      .arg(label)
                      .arg(QFileInfo(path).size() / 1024),
                  preview, full, QStringLiteral("about 0.5 smooth, 0.75 noisy"));

    if (label != QStringLiteral("smooth")) {
        return;
    }
    const QByteArray encodedPath = QFile::encodeName(path);
    constexpr int thumbnailSide = 240;
    const double bare = bench::bestSeconds(repetitions * 2, [&] {
        allDecoded = BenchPhotos::decodeWithLibjpeg(encodedPath, nullptr, 8) && allDecoded;
    });
    const double scaled = bench::bestSeconds(repetitions * 2, [&] {
        const auto loaded = ImageLoadingPipeline::loadScaledImage(url, thumbnailSide);
        allDecoded = loaded && loaded->cgImage.width() >= thumbnailSide && allDecoded;
    });
    if (!allDecoded) {
        qWarning("scaled decode benchmark: a decode failed");
        return;
    }
    bench::report(QStringLiteral("scaled decode of the 24 MP JPEG to a longest side of 240 vs "
                                 "libjpeg-turbo at scale 1/8"),
                  scaled, bare, QStringLiteral("<= 1.1"));
}

const bool registered = BenchmarkRegistry::add("preview", [] {
    QTemporaryDir folder;
    if (!folder.isValid()) {
        return;
    }
    measurePreview(QStringLiteral("smooth"), 8, folder);
    measurePreview(QStringLiteral("noisy"), 40, folder);
});

} // namespace
