// Costs of playing animations.
//
// A 1000 x 1000 GIF of 30 frames (the sample folder's bouncing-ball scene): per frame, decoding
// it, building its reduced display levels and painting a 1200 x 800 canvas that shows it,
// against a frame's time at 30 fps (33.3 ms; target: at most half of it) and against a repaint
// of the same canvas showing a still. Then a 640 x 480 GIF at 30 ms a frame plays for a few
// seconds in a shown canvas: the process's CPU time over the wall time (one core = 100 %),
// against the same canvas idling on a still for as long.

#include "AnimatedImage.h"
#include "AnimationWriter.h"
#include "BenchmarkRegistry.h"
#include "DisplayPyramid.h"
#include "ImageCanvasView.h"
#include "SampleAnimation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <ctime>

namespace {

constexpr QSize viewSize(1200, 800);
constexpr double frameBudgetSeconds = 1.0 / 30;
constexpr int playSeconds = 4;

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }
};

QString writeGif(const QTemporaryDir& folder, const char* name, QSize size, int frames, int frameMs)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    const QString error = AnimationWriter::writeGif(
        SampleAnimation::frames(size, frames, 0, QStringLiteral("bench")), frameMs, path);
    if (!error.isEmpty()) {
        qWarning("animation benchmark: %s", qPrintable(error));
        return {};
    }
    return path;
}

void measureFrameCost(const QTemporaryDir& folder)
{
    const QString path = writeGif(folder, "large.gif", QSize(1000, 1000), 30, 30);
    if (path.isEmpty()) {
        return;
    }
    AnimatedImage animation(path);
    QImage target(viewSize, QImage::Format_ARGB32_Premultiplied);
    // The fitted rectangle of a square image in the view.
    const QRectF fitted((viewSize.width() - viewSize.height()) / 2.0, 0, viewSize.height(),
                        viewSize.height());
    const auto paint = [&](const QList<QImage>& levels) {
        QPainter painter(&target);
        painter.fillRect(target.rect(), Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const double scale = fitted.width() / levels.front().width();
        painter.drawImage(fitted, levels[DisplayPyramid::levelIndexFor(scale, levels)]);
    };

    // Every frame's work as the player's worker, the pyramid's worker and the paint do it,
    // one after the other; the best of three passes over all frames.
    double best = 0;
    QList<QImage> levels;
    for (int pass = 0; pass < 3; ++pass) {
        animation.rewind();
        QElapsedTimer timer;
        timer.start();
        int decoded = 0;
        while (const std::optional<QImage> frame = animation.nextFrame()) {
            levels = QList<QImage>{*frame} +
                     DisplayPyramid::buildReducedLevels(*frame, [] { return false; });
            paint(levels);
            ++decoded;
        }
        const double perFrame = double(timer.nsecsElapsed()) / 1e9 / std::max(1, decoded);
        best = pass == 0 ? perFrame : std::min(best, perFrame);
    }
    if (levels.isEmpty()) {
        qWarning("animation benchmark: the GIF does not decode");
        return;
    }
    const double stillPaint = bench::bestSeconds(10, [&] { paint(levels); });
    bench::report(QStringLiteral("animation frame of a 1000x1000 GIF (decode, levels, paint "
                                 "1200x800) vs a frame's time at 30 fps"),
                  best, frameBudgetSeconds, QStringLiteral("<= 0.5 of the frame time"));
    bench::report(QStringLiteral("animation frame of a 1000x1000 GIF vs painting a still frame"),
                  best, stillPaint, QStringLiteral("report"));
}

// CPU share of one core while `work` keeps the event loop running for playSeconds, and the
// canvas's paints in that time.
std::pair<double, int> cpuShareWhile(ImageCanvasView& view, const std::function<void()>& work)
{
    PaintCounter counter;
    view.installEventFilter(&counter);
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    work();
    QEventLoop loop;
    QTimer::singleShot(playSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double share = (processCpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9);
    view.removeEventFilter(&counter);
    return {share, counter.paints};
}

void measurePlayback(const QTemporaryDir& folder)
{
    const QString path = writeGif(folder, "playing.gif", QSize(640, 480), 60, 30);
    if (path.isEmpty()) {
        return;
    }
    ImageCanvasView view;
    view.resize(viewSize);
    view.show();
    view.setImage(QImage(path), false);
    const double idle = cpuShareWhile(view, [] {}).first;
    const auto [playing, paints] = cpuShareWhile(view, [&] { view.playAnimation(path); });
    bench::reportAbsolute(QStringLiteral("CPU while playing a 640x480 GIF at 30 ms a frame in a "
                                         "1200x800 canvas (%1 paints in %2 s)")
                              .arg(paints)
                              .arg(playSeconds),
                          playing * 100, QStringLiteral("% of one core"), QStringLiteral("report"));
    bench::reportAbsolute(QStringLiteral("CPU of the same canvas idling on a still"), idle * 100,
                          QStringLiteral("% of one core"), QStringLiteral("report"));
}

const bool registered = BenchmarkRegistry::add("animation", [] {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        qWarning("animation benchmark: needs a widget application");
        return;
    }
    QTemporaryDir folder;
    measureFrameCost(folder);
    measurePlayback(folder);
});

} // namespace
