// Cost of building the viewer window's content, which lies on the path from start to the first
// frame: the whole ViewerContentView (canvas, overview, overlay toolbar with its ~60 controls,
// undo toast, navigator) against the canvas alone, each built and laid out at 1200 x 800.

#include "BenchmarkRegistry.h"
#include "ImageCanvasView.h"
#include "ViewerContentView.h"

#include <QApplication>
#include <QElapsedTimer>

namespace {

constexpr QSize viewSize(1200, 800);
constexpr int repetitions = 9;

template <typename View> void build()
{
    View view;
    view.resize(viewSize);
    view.ensurePolished();
    QApplication::sendPostedEvents();
}

template <typename View> double buildSeconds()
{
    return bench::bestSeconds(repetitions, [] { build<View>(); });
}

const bool registered = BenchmarkRegistry::add("viewer-start", [] {
    // The first build pays what the process pays once (style sheet, fonts, icon theme lookup):
    // that one is on the way to the first frame.
    QElapsedTimer first;
    first.start();
    build<ViewerContentView>();
    bench::reportAbsolute(QStringLiteral("first build of the viewer's content in this process"),
                          double(first.nsecsElapsed()) / 1e6, QStringLiteral("ms"),
                          QStringLiteral("< 16 ms"));
    const double canvas = buildSeconds<ImageCanvasView>();
    const double content = buildSeconds<ViewerContentView>();
    bench::report(QStringLiteral("building the viewer's content vs the canvas alone"), content,
                  canvas, QStringLiteral("< 16 ms (within one frame)"));
});

} // namespace
