// Cost of switching the viewer between the image and the thumbnail overview.
//
// A 1200 x 800 ViewerContentView shows a 24-megapixel image (6000 x 4000, reduced levels
// complete) of a folder of 1 000 small JPEGs, all listed in the overview. One switch is
// setOverviewMode() with the events it posts processed (which paints what changed) and a full
// repaint of the view; the way there and the way back are timed apart (target: under 50 ms
// each). Baseline: one full repaint of the view in view mode. A full repaint is render() into a
// window-sized frame, which paints every visible child as the window's backing store would:
// QWidget::repaint() defers to the next frame when called again within one, and would time
// nothing. The same round trip over a 0.3-megapixel image should cost the same:
// a switch must never rescale the full bitmap on the main thread.

#include "BenchmarkRegistry.h"
#include "ImageCanvasView.h"
#include "ThumbnailOverviewView.h"
#include "ViewerContentView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <limits>

namespace {

constexpr QSize viewSize(1200, 800);
constexpr QSize largeSize(6000, 4000);
constexpr QSize smallSize(640, 480);
constexpr int fileCount = 1000;
constexpr int repetitions = 15;
constexpr qint64 patienceMs = 120000;

// A smooth two-way gradient: cheap to make at any size.
QImage gradientImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int green = 255 * y / image.height();
        for (int x = 0; x < image.width(); ++x) {
            row[x] = qRgb(255 * x / image.width(), green, 128);
        }
    }
    return image;
}

bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > patienceMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// Shows `image` and waits for its reduced levels, so that only the switches are measured.
bool showImage(ViewerContentView& view, const QImage& image)
{
    view.canvas()->setImage(image, false);
    view.updateNavigatorState();
    return waitUntil([&] { return view.canvas()->displayPyramid().isComplete(); });
}

// The best times of view -> overview and of overview -> view, and of the round trip.
struct SwitchTimes
{
    double toOverview = std::numeric_limits<double>::infinity();
    double toView = std::numeric_limits<double>::infinity();
    double roundTrip = 0;
};

SwitchTimes measureSwitches(ViewerContentView& view, QImage& frame)
{
    SwitchTimes times;
    QElapsedTimer half;
    const auto switchTo = [&](bool overview) {
        half.start();
        view.setOverviewMode(overview, false);
        QApplication::processEvents();
        view.render(&frame);
        return double(half.nsecsElapsed()) / 1e9;
    };
    times.roundTrip = bench::bestSeconds(repetitions, [&] {
        times.toOverview = std::min(times.toOverview, switchTo(true));
        times.toView = std::min(times.toView, switchTo(false));
    });
    return times;
}

void run(const QTemporaryDir& folder)
{
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString original = folder.filePath(QStringLiteral("original.jpg"));
    if (!picture.save(original, "jpeg")) {
        qWarning("viewer-modes benchmark: cannot write the folder");
        return;
    }
    QList<QUrl> urls;
    for (int i = 0; i < fileCount; ++i) {
        const QString path =
            folder.filePath(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QChar(u'0')));
        if (!QFile::copy(original, path)) {
            qWarning("viewer-modes benchmark: cannot write the folder");
            return;
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    const QImage large = gradientImage(largeSize);
    const QImage small = gradientImage(smallSize);
    if (large.isNull() || small.isNull()) {
        qWarning("viewer-modes benchmark: cannot make the images");
        return;
    }

    ViewerContentView view;
    view.resize(viewSize);
    view.show();
    if (!waitUntil([&] { return view.windowHandle() && view.windowHandle()->isExposed(); })) {
        qWarning("viewer-modes benchmark: the view was never shown");
        return;
    }
    view.setCurrentIndex(1);
    view.setTotalCount(fileCount);
    view.thumbnailOverview()->update(urls, 0);
    view.updateInfoLabel();
    view.updateOverviewButtonAppearance();
    if (!showImage(view, large)) {
        qWarning("viewer-modes benchmark: the reduced levels did not arrive");
        return;
    }
    // The thumbnails of the first screen are decoded once, as after the first visit.
    const ThumbnailLoader& loader = view.thumbnailOverview()->thumbnailLoader();
    view.setOverviewMode(true, false);
    QApplication::processEvents();
    if (!waitUntil([&] {
            return std::none_of(urls.begin(), urls.end(),
                                [&](const QUrl& url) { return loader.isPending(url); });
        })) {
        qWarning("viewer-modes benchmark: the thumbnails did not arrive");
        return;
    }
    view.setOverviewMode(false, false);
    QApplication::processEvents();

    QImage frame(viewSize, QImage::Format_ARGB32_Premultiplied);
    const double baseline = bench::bestSeconds(repetitions, [&] { view.render(&frame); });
    const SwitchTimes largeTimes = measureSwitches(view, frame);
    const QString subject = QStringLiteral("with a 24 MP image and %1 files").arg(fileCount);
    bench::report(
        QStringLiteral("viewer view -> overview %1 vs a full repaint in view mode").arg(subject),
        largeTimes.toOverview, baseline, QStringLiteral("< 50 ms"));
    bench::report(
        QStringLiteral("viewer overview -> view %1 vs a full repaint in view mode").arg(subject),
        largeTimes.toView, baseline, QStringLiteral("< 50 ms"));
    bench::report(
        QStringLiteral("viewer view -> overview -> view %1 vs a full repaint in view mode")
            .arg(subject),
        largeTimes.roundTrip, baseline, QStringLiteral("< 100 ms (50 ms each way)"));

    if (!showImage(view, small)) {
        qWarning("viewer-modes benchmark: the reduced levels did not arrive");
        return;
    }
    const SwitchTimes smallTimes = measureSwitches(view, frame);
    const auto milliseconds = [](const SwitchTimes& times) {
        return QStringLiteral("%1 + %2 ms")
            .arg(times.toOverview * 1000, 0, 'f', 2)
            .arg(times.toView * 1000, 0, 'f', 2);
    };
    // The 0.3 MP image is enlarged to fit the view, which makes its own repaints dearer; the
    // ratio must not be much above 1.
    bench::reportAbsolute(
        QStringLiteral("viewer round trip with a 24 MP image over the same with a 0.3 MP image "
                       "(there + back: %1 vs %2)")
            .arg(milliseconds(largeTimes), milliseconds(smallTimes)),
        largeTimes.roundTrip / smallTimes.roundTrip, QStringLiteral("x"),
        QStringLiteral("<= ~1 (a switch never rescales the bitmap on the main thread)"));
}

const bool registered = BenchmarkRegistry::add("viewer-modes", [] {
    QTemporaryDir folder;
    if (!folder.isValid()) {
        qWarning("viewer-modes benchmark: no temporary folder");
        return;
    }
    // The overview writes the desktop's shared thumbnail cache: into the temporary folder here,
    // never the user's.
    const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
    const bool hadCacheHome = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder.filePath(QStringLiteral("cache"))));
    run(folder);
    if (hadCacheHome) {
        qputenv("XDG_CACHE_HOME", cacheHome);
    } else {
        qunsetenv("XDG_CACHE_HOME");
    }
});

} // namespace
