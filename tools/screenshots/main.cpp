#include "AnimationProbe.h"
#include "AppDelegate.h"
#include "AppSettings.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "ImageLoadingPipeline.h"
#include "MarkupAnnotation.h"
#include "MarkupEngine.h"
#include "SettingsWindowController.h"
#include "ThumbnailOverviewView.h"
#include "UserDefaults.h"
#include "ViewerContentView.h"
#include "ViewerWindowController.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPixmap>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace {

// Longer than every fade of the overlay and the toast, so a shot never catches one midway.
constexpr int settleMs = 400;
constexpr int imagePatienceMs = 30000;
constexpr int thumbnailPatienceMs = 15000;
// Long enough that the overlay is still up when its shot is taken.
constexpr double overlayHideDelaySeconds = 2.0;
// Line width of rectangles, ellipses and pen strokes, in points, as the markup tools draw them.
constexpr double shapeLineWidth = 3;

// One shot of markup mode: the annotation it selects and the tool whose controls the toolbar
// shows for it.
struct MarkupShot
{
    QString fileName;
    MarkupTool tool;
    MarkupAnnotation annotation;
};

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

// Runs the event loop for `milliseconds`, so timers, fades and paints happen meanwhile.
void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool saveShot(QWidget& widget, const QDir& folder, const QString& fileName)
{
    const QPixmap pixmap = widget.grab();
    const QString path = folder.filePath(fileName);
    if (pixmap.isNull() || !pixmap.save(path, "PNG")) {
        err() << "vistrel-screenshots: cannot write " << path << Qt::endl;
        return false;
    }
    return true;
}

// Opens `url` in the window and waits until its full image is on screen.
bool openAndWait(AppDelegate& presenter, const QUrl& url)
{
    QEventLoop loop;
    bool shown = false;
    QObject::connect(&presenter, &AppDelegate::imageShown, &loop, [&] {
        shown = true;
        loop.quit();
    });
    if (!presenter.openImage(url)) {
        return false;
    }
    presenter.windowController().showWindow();
    if (!shown) {
        QTimer::singleShot(imagePatienceMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return shown;
}

// Waits until no thumbnail of the folder is still being decoded, then for the repaint.
bool waitForThumbnails(AppDelegate& presenter)
{
    const ThumbnailLoader& loader = presenter.content().thumbnailOverview()->thumbnailLoader();
    const QList<QUrl> urls = presenter.imageSequence().urls();
    const auto anyPending = [&] {
        return std::any_of(urls.begin(), urls.end(),
                           [&](const QUrl& url) { return loader.isPending(url); });
    };
    // The grid requests thumbnails as it paints, which takes a moment after the switch.
    settle(settleMs);
    QElapsedTimer waited;
    waited.start();
    while (anyPending()) {
        if (waited.elapsed() > thumbnailPatienceMs) {
            err() << "vistrel-screenshots: thumbnails did not arrive" << Qt::endl;
            return false;
        }
        settle(50);
    }
    settle(settleMs);
    return true;
}

// One annotation of every kind, spread over the image so that none hides another, drawn with
// the engine's current style as the tools would draw them on `imageRect`.
QList<MarkupShot> markupShots(const MarkupEngine& engine, const QRectF& imageRect)
{
    const QColor stroke = engine.strokeColor();
    const QColor fill = engine.fillColor();
    const double line = MarkupAnnotation::normalizedLineWidthFor(shapeLineWidth, imageRect);
    const double arrowLine =
        MarkupAnnotation::normalizedLineWidthFor(engine.arrowLineWidth(), imageRect);
    const double fontSize = engine.textFontSize() / std::min(imageRect.width(), imageRect.height());
    const auto plain = [&](const MarkupShape& shape, const QColor& interior) {
        return MarkupAnnotation(shape, stroke, interior, line, 5, 1, MarkupArrowheadStyle::end);
    };
    const auto arrow = [&](const MarkupShape& shape) {
        return MarkupAnnotation(shape, stroke, Qt::transparent, arrowLine, engine.arrowHeadScale(),
                                engine.arrowHeadWidthScale(), engine.arrowheadStyle());
    };
    QList<QPointF> squiggle;
    for (int i = 0; i <= 40; ++i) {
        const double t = i / 40.0;
        squiggle.append(QPointF(0.70 + 0.24 * t, 0.26 + 0.1 * std::sin(t * 4 * std::numbers::pi)));
    }
    return {
        {QStringLiteral("markup-rectangle.png"), MarkupTool::rectangle,
         plain(MarkupShape::rectangle(QRectF(0.06, 0.58, 0.22, 0.26)), fill)},
        {QStringLiteral("markup-ellipse.png"), MarkupTool::ellipse,
         plain(MarkupShape::ellipse(QRectF(0.38, 0.58, 0.24, 0.26)), fill)},
        {QStringLiteral("markup-blur.png"), MarkupTool::blur,
         plain(MarkupShape::blur(QRectF(0.70, 0.56, 0.24, 0.3)), Qt::transparent)},
        {QStringLiteral("markup-arrow.png"), MarkupTool::arrow,
         arrow(MarkupShape::arrow(QPointF(0.08, 0.1), QPointF(0.28, 0.4)))},
        {QStringLiteral("markup-curved-arrow.png"), MarkupTool::arrow,
         arrow(MarkupShape::curvedArrow(QPointF(0.38, 0.1), QPointF(0.6, 0.4),
                                        {QPointF(0.56, 0.14)}))},
        {QStringLiteral("markup-pen.png"), MarkupTool::pen,
         plain(MarkupShape::pen(squiggle), Qt::transparent)},
        {QStringLiteral("markup-text.png"), MarkupTool::text,
         plain(MarkupShape::text(QPointF(0.06, 0.45), QStringLiteral("Look here"), fontSize),
               Qt::transparent)},
    };
}

bool shootMarkup(ViewerContentView& content, QWidget& window, const QDir& folder)
{
    content.setMarkupMode(true);
    settle(settleMs);
    ImageCanvasView& canvas = *content.canvas();
    const std::optional<QRectF> imageRect = canvas.currentImageRect();
    if (!content.isMarkupModeEnabled() || !imageRect) {
        err() << "vistrel-screenshots: markup mode did not start" << Qt::endl;
        return false;
    }
    MarkupEngine& engine = canvas.markupEngine();
    const QList<MarkupShot> shots = markupShots(engine, *imageRect);
    for (const MarkupShot& shot : shots) {
        engine.captureUndoState();
        engine.appendAnnotation(shot.annotation);
        engine.finalizeHistoryCapture();
    }
    for (qsizetype index = 0; index < shots.size(); ++index) {
        engine.setSelectedIndex(index);
        engine.setTool(shots.at(index).tool);
        content.updateMarkupControls();
        canvas.update();
        settle(settleMs);
        if (!saveShot(window, folder, shots.at(index).fileName)) {
            return false;
        }
    }
    content.cancelMarkup();
    return true;
}

bool shootViewer(AppDelegate& presenter, const QUrl& url, const QDir& folder)
{
    if (!openAndWait(presenter, url)) {
        err() << "vistrel-screenshots: cannot show " << url.toLocalFile() << Qt::endl;
        return false;
    }
    QWidget& window = *presenter.windowController().window();
    ViewerContentView& content = presenter.content();
    settle(settleMs);

    content.showOverlayTemporarily(true);
    settle(settleMs);
    if (!saveShot(window, folder, QStringLiteral("view-overlay.png"))) {
        return false;
    }
    content.hideOverlayImmediately();
    settle(settleMs);
    if (!saveShot(window, folder, QStringLiteral("view-faded.png"))) {
        return false;
    }

    content.setOverviewMode(true, false);
    if (!waitForThumbnails(presenter) ||
        !saveShot(window, folder, QStringLiteral("overview.png"))) {
        return false;
    }
    content.setOverviewMode(false, false);

    content.enterCropMode();
    content.canvas()->applyCropSelection(QRectF(0.15, 0.2, 0.55, 0.55));
    settle(settleMs);
    if (!content.isCropModeEnabled() || !saveShot(window, folder, QStringLiteral("crop.png"))) {
        return false;
    }
    content.exitCropMode();

    if (!shootMarkup(content, window, folder)) {
        return false;
    }

    content.undoToastLabel()->setText(QStringLiteral("\u201c%1\u201d was moved to the Trash.")
                                          .arg(QFileInfo(url.toLocalFile()).fileName()));
    content.undoToastButton()->show();
    content.showOverlayTemporarily(true);
    content.setUndoToastVisible(true, false);
    settle(settleMs);
    if (!saveShot(window, folder, QStringLiteral("undo-toast.png"))) {
        return false;
    }
    content.setUndoToastVisible(false, false);
    return true;
}

// The first animation of the folder, paused a few frames in with the overlay up; nothing when
// the folder holds none.
bool shootPausedAnimation(AppDelegate& presenter, const QDir& folder)
{
    const QList<QUrl> urls = presenter.imageSequence().urls();
    const auto animated = std::find_if(urls.begin(), urls.end(), [](const QUrl& url) {
        return AnimationProbe::isAnimated(url.toLocalFile());
    });
    if (animated == urls.end()) {
        return true;
    }
    if (!openAndWait(presenter, *animated)) {
        err() << "vistrel-screenshots: cannot show " << animated->toLocalFile() << Qt::endl;
        return false;
    }
    ViewerContentView& content = presenter.content();
    AnimationPlayer& player = content.canvas()->animationPlayer();
    constexpr int framesIn = 5;
    QElapsedTimer waited;
    waited.start();
    while (player.currentFrameIndex() < framesIn && waited.elapsed() < imagePatienceMs) {
        settle(20);
    }
    if (player.currentFrameIndex() < framesIn) {
        err() << "vistrel-screenshots: the animation does not play" << Qt::endl;
        return false;
    }
    player.togglePlayback();
    content.showOverlayTemporarily(true);
    settle(settleMs);
    return saveShot(*presenter.windowController().window(), folder,
                    QStringLiteral("animation-paused.png"));
}

bool shootSettings(const QDir& folder)
{
    SettingsWindowController settings;
    settings.show();
    settle(settleMs);
    const bool saved = saveShot(*settings.window(), folder, QStringLiteral("settings.png"));
    settings.window()->close();
    return saved;
}

} // namespace

// Usage: vistrel-screenshots OUTDIR IMAGEFILE
// Shows IMAGEFILE in the real viewer window and writes a PNG of each mode and panel into
// OUTDIR. Runs only with VISTREL_SCREENSHOTS_HOME_IS_TEMPORARY=1, the caller's promise that
// HOME and the XDG folders are throwaway ones: the run writes settings and thumbnails there.
int main(int argc, char** argv)
{
    if (qEnvironmentVariable("VISTREL_SCREENSHOTS_HOME_IS_TEMPORARY") != QStringLiteral("1")) {
        err() << "vistrel-screenshots: refusing to run: point HOME and XDG_* at a temporary "
                 "folder and set VISTREL_SCREENSHOTS_HOME_IS_TEMPORARY=1 (scripts/screenshots "
                 "does both)"
              << Qt::endl;
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vistrel"));
    QApplication::setOrganizationDomain(QStringLiteral("com.dorn.vistrel"));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        err() << "usage: vistrel-screenshots OUTDIR IMAGEFILE" << Qt::endl;
        return 1;
    }
    const QFileInfo image(arguments.at(2));
    if (!image.isFile()) {
        err() << "vistrel-screenshots: no such file: " << arguments.at(2) << Qt::endl;
        return 1;
    }
    const QDir folder(arguments.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        err() << "vistrel-screenshots: cannot create " << arguments.at(1) << Qt::endl;
        return 1;
    }
    AppSettings::setOverlayHideDelaySeconds(overlayHideDelaySeconds);

    bool succeeded = false;
    {
        // Destroyed before the application, so a decode still running finishes while the
        // application's fonts exist.
        ImageLoadingPipeline pipeline;
        AppDelegate presenter(pipeline, UserDefaults::standard());
        succeeded = shootViewer(presenter, QUrl::fromLocalFile(image.absoluteFilePath()), folder) &&
                    shootPausedAnimation(presenter, folder) && shootSettings(folder);
        presenter.windowController().window()->close();
    }
    return succeeded ? 0 : 1;
}
