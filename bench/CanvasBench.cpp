// Costs of painting the canvas.
//
// A 1200 x 800 canvas shows a 100-megapixel image (12000 x 8400) with its reduced levels
// complete; each frame is a full repaint through the widget's paint event into an image, at the
// fitted size, at 100 % of the image's pixels and at 800 % of the fitted size, and after one pan
// step at each. The baseline is a 1200 x 800 bitmap drawn 1:1 into the same kind of image
// (target: at most 8 ms per frame). Also: from showing a 24-megapixel image to the end of its
// first paint (target: at most 16 ms), the memory of the reduced levels over the full bitmap
// (target: at most 35 %), and the time to build them for 100 megapixels.

#include "BenchmarkRegistry.h"
#include "DisplayPyramid.h"
#include "ImageCanvasView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr QSize viewSize(1200, 800);
constexpr QSize largeSize(12000, 8400);
constexpr QSize mediumSize(6000, 4000);
constexpr int repetitions = 20;
// View points the pointer moves in one pan step.
constexpr QPointF panStep(40, 30);

// A quick pattern with detail at every scale: diagonal bands and a fine grid.
QImage patternImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grid = (x % 64 == 0 || y % 64 == 0) ? 255 : 0;
            row[x] = qRgb((x + y) / 16 % 256, (x / 8) % 256, std::max(grid, (y / 8) % 256));
        }
    }
    return image;
}

bool waitForLevels(const ImageCanvasView& view)
{
    QElapsedTimer timer;
    timer.start();
    constexpr qint64 patienceMs = 120000;
    while (!view.displayPyramid().isComplete()) {
        if (timer.elapsed() > patienceMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void sendMouse(QWidget& widget, QEvent::Type type, QPointF position, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, position, widget.mapToGlobal(position), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

// A left-button drag by `delta` from the view's centre (widget coordinates).
void drag(QWidget& widget, QPointF delta)
{
    const QPointF start(widget.width() / 2.0, widget.height() / 2.0);
    sendMouse(widget, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, start + delta, Qt::NoButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, start + delta, Qt::LeftButton, Qt::NoButton);
}

class FrameMeter
{
public:
    FrameMeter(ImageCanvasView& view, double baseline)
        : m_view(view), m_frame(viewSize, QImage::Format_ARGB32_Premultiplied), m_baseline(baseline)
    {}

    void measure(const QString& label)
    {
        const double still = bench::bestSeconds(repetitions, [&] { m_view.render(&m_frame); });
        report(label, still);

        int step = 0;
        const double panned = bench::bestSeconds(repetitions, [&] {
            // Back and forth, so the pan never runs into the limits.
            drag(m_view, ++step % 2 != 0 ? panStep : -panStep);
            m_view.render(&m_frame);
        });
        const QPointF offsetBefore = m_view.contentOffset();
        drag(m_view, panStep);
        const bool moves = m_view.contentOffset() != offsetBefore;
        drag(m_view, -panStep);
        report(label + (moves ? QStringLiteral(", one pan step")
                              : QStringLiteral(", one pan step (refused at this zoom)")),
               panned);
    }

private:
    void report(const QString& label, double seconds) const
    {
        bench::report(QStringLiteral("canvas frame of a 100 MP image in 1200x800 at %1 vs a "
                                     "1200x800 bitmap drawn 1:1")
                          .arg(label),
                      seconds, m_baseline, QStringLiteral("<= 8 ms"));
    }

    ImageCanvasView& m_view;
    QImage m_frame;
    double m_baseline;
};

void measureCanvas()
{
    const QImage bitmap = patternImage(viewSize);
    QImage frame(viewSize, QImage::Format_ARGB32_Premultiplied);
    const double baseline = bench::bestSeconds(repetitions, [&] {
        QPainter painter(&frame);
        painter.drawImage(QPointF(0, 0), bitmap);
    });

    const QImage large = patternImage(largeSize);
    if (large.isNull()) {
        qWarning("canvas benchmark: cannot allocate the 100 MP image");
        return;
    }
    const double buildSeconds = bench::bestSeconds(
        3, [&] { DisplayPyramid::buildReducedLevels(large, [] { return false; }); });
    bench::reportAbsolute(QStringLiteral("display pyramid build for a 100 MP image"),
                          buildSeconds * 1000, QStringLiteral("ms"), QStringLiteral("report"));

    ImageCanvasView view;
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.resize(viewSize);
    view.show();
    view.setImage(large, false);
    if (!waitForLevels(view)) {
        qWarning("canvas benchmark: the display levels never arrived");
        return;
    }
    qsizetype reducedBytes = 0;
    const QList<QImage> levels = view.displayPyramid().levels();
    for (qsizetype index = 1; index < levels.size(); ++index) {
        reducedBytes += levels[index].sizeInBytes();
    }
    bench::reportAbsolute(QStringLiteral("display pyramid memory over the full 100 MP bitmap"),
                          100.0 * double(reducedBytes) / double(large.sizeInBytes()),
                          QStringLiteral("%"), QStringLiteral("<= 35 %"));

    FrameMeter meter(view, baseline);
    const QPointF centre(viewSize.width() / 2.0, viewSize.height() / 2.0);
    meter.measure(QStringLiteral("fit"));

    const std::optional<QRectF> fitted = view.currentImageRect();
    if (!fitted) {
        qWarning("canvas benchmark: the canvas shows no image");
        return;
    }
    view.adjustZoom(largeSize.width() / fitted->width(), centre);
    meter.measure(QStringLiteral("100 % of the image's pixels"));

    view.resetView();
    view.adjustZoom(8, centre);
    meter.measure(QStringLiteral("800 % of fit"));

    const QImage medium = patternImage(mediumSize);
    const double firstPaint = bench::bestSeconds(5, [&] {
        view.setImage(medium, false);
        view.render(&frame);
    });
    bench::report(QStringLiteral("canvas from showing a 24 MP image to the end of its first "
                                 "paint vs a 1200x800 bitmap drawn 1:1"),
                  firstPaint, baseline, QStringLiteral("<= 16 ms"));
    waitForLevels(view);
}

const bool registered = BenchmarkRegistry::add("canvas", [] {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        qWarning("canvas benchmark: needs a widget application");
        return;
    }
    measureCanvas();
});

} // namespace
