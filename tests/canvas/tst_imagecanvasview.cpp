#include "ImageCanvasView.h"
#include "TestImageFiles.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <limits>

namespace {

constexpr double tolerance = 1e-6;

QImage solidImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::gray);
    return image;
}

// 200 x 100: red top-left, green top-right, blue bottom-left, yellow bottom-right.
QImage quadrantImage()
{
    QImage image(200, 100, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool right = x >= 100;
            const bool bottom = y >= 50;
            const QColor colour =
                bottom ? (right ? Qt::yellow : Qt::blue) : (right ? Qt::green : Qt::red);
            image.setPixelColor(x, y, colour);
        }
    }
    return image;
}

// Positions are Qt's widget coordinates (y down).
bool sendWheel(QWidget& widget, QPointF position, QPoint pixelDelta, QPoint angleDelta)
{
    QWheelEvent event(position, widget.mapToGlobal(position), pixelDelta, angleDelta, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
    return event.isAccepted();
}

void sendPinch(QWidget& widget, QPointF position, double value)
{
    QNativeGestureEvent event(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2,
                              position, position, widget.mapToGlobal(position), value, QPointF());
    QApplication::sendEvent(&widget, &event);
}

void sendMouse(QWidget& widget, QEvent::Type type, QPointF position, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, position, widget.mapToGlobal(position), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void drag(QWidget& widget, QPointF from, QPointF by)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, from + by * 0.5, Qt::NoButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, from + by, Qt::NoButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, from + by, Qt::LeftButton, Qt::NoButton);
}

QPointF viewPoint(const QWidget& widget, QPointF widgetPoint)
{
    return {widgetPoint.x(), widget.height() - widgetPoint.y()};
}

// The point of the image (fractions of its size, y up) shown at `widgetPoint`.
QPointF imagePointAt(const ImageCanvasView& canvas, QPointF widgetPoint)
{
    const QRectF rect = canvas.currentImageRect().value();
    const QPointF point = viewPoint(canvas, widgetPoint);
    return {(point.x() - rect.left()) / rect.width(), (point.y() - rect.top()) / rect.height()};
}

struct CallbackLog
{
    int zoomCalls = 0;
    int viewCalls = 0;
    double lastPercent = -1;
};

void record(ImageCanvasView& canvas, CallbackLog& log)
{
    canvas.onZoomChanged = [&log](double percent) {
        ++log.zoomCalls;
        log.lastPercent = percent;
    };
    canvas.onViewStateChanged = [&log] { ++log.viewCalls; };
}

// Where the image is larger than the view it covers it edge to edge; where it is smaller it is
// centred.
void verifyNoGap(const ImageCanvasView& canvas)
{
    const QRectF rect = canvas.currentImageRect().value();
    if (rect.width() >= canvas.width()) {
        QVERIFY2(rect.left() <= tolerance && rect.right() >= canvas.width() - tolerance,
                 "gap on the horizontal axis");
    } else {
        QVERIFY(std::abs(rect.center().x() - canvas.width() * 0.5) <= tolerance);
    }
    if (rect.height() >= canvas.height()) {
        QVERIFY2(rect.top() <= tolerance && rect.bottom() >= canvas.height() - tolerance,
                 "gap on the vertical axis");
    } else {
        QVERIFY(std::abs(rect.center().y() - canvas.height() * 0.5) <= tolerance);
    }
}

bool isClose(const QColor& actual, const QColor& expected)
{
    constexpr int channelTolerance = 12;
    return std::abs(actual.red() - expected.red()) <= channelTolerance &&
           std::abs(actual.green() - expected.green()) <= channelTolerance &&
           std::abs(actual.blue() - expected.blue()) <= channelTolerance;
}

} // namespace

class TestImageCanvasView : public QObject
{
    Q_OBJECT

private slots:
    void wheelZoomKeepsTheImagePointUnderThePointer_data();
    void wheelZoomKeepsTheImagePointUnderThePointer();
    void zoomStopsExactlyAtTheLimits_data();
    void zoomStopsExactlyAtTheLimits();
    void offsetsStayWithinTheLimits();
    void draggingPansOnlyAboveTheFittedSize_data();
    void draggingPansOnlyAboveTheFittedSize();
    void callbacksFireAsDocumented_data();
    void callbacksFireAsDocumented();
    void preservedViewIsClampedForTheNextImage_data();
    void preservedViewIsClampedForTheNextImage();
    void fullImageReplacesThePreviewSilently();
    void navigatorStateDescribesTheVisiblePart_data();
    void navigatorStateDescribesTheVisiblePart();
    void wheelAndPinchAreRoutedByMode_data();
    void wheelAndPinchAreRoutedByMode();
    void pinchIgnoresUnusableDeltas_data();
    void pinchIgnoresUnusableDeltas();
    void dropsTakeTheFirstExistingImageFile_data();
    void dropsTakeTheFirstExistingImageFile();
    void paintsTheImageWhereTheGeometrySays_data();
    void paintsTheImageWhereTheGeometrySays();
    void placeholderIsVisibleOnBlack();
    void degenerateSizesStayFinite_data();
    void degenerateSizesStayFinite();
    void modifierMonitorReportsEachChangeOnce();
    void animationPlaysOnlyInViewMode_data();
    void animationPlaysOnlyInViewMode();
};

void TestImageCanvasView::wheelZoomKeepsTheImagePointUnderThePointer_data()
{
    QTest::addColumn<QPoint>("pixelDelta");
    QTest::addColumn<QPoint>("angleDelta");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<bool>("smooth");
    QTest::addColumn<QPointF>("pointer");
    QTest::addColumn<double>("expectedZoom");

    // A trackpad reports pixels (0.0035 per pixel); a wheel notch counts 10 units (0.018 each).
    const QPoint noPixels;
    QTest::newRow("trackpad down zooms in") << QPoint(0, -40) << QPoint(0, -120) << false << false
                                            << QPointF(200, 250) << std::exp(0.0035 * 40);
    QTest::newRow("wheel notch down zooms in")
        << noPixels << QPoint(0, -120) << false << false << QPointF(650, 420) << std::exp(0.18);
    QTest::newRow("half notch") << noPixels << QPoint(0, -60) << false << false << QPointF(100, 500)
                                << std::exp(0.09);
    QTest::newRow("inverted: up zooms in")
        << noPixels << QPoint(0, 240) << true << false << QPointF(700, 100) << std::exp(0.36);
    QTest::newRow("smooth zoom scales the step") << noPixels << QPoint(0, -120) << false << true
                                                 << QPointF(300, 300) << std::exp(0.18 * 0.6);
    QTest::newRow("wheel notch up zooms out and centres")
        << noPixels << QPoint(0, 120) << false << false << QPointF(650, 420) << std::exp(-0.18);
}

void TestImageCanvasView::wheelZoomKeepsTheImagePointUnderThePointer()
{
    QFETCH(QPoint, pixelDelta);
    QFETCH(QPoint, angleDelta);
    QFETCH(bool, inverted);
    QFETCH(bool, smooth);
    QFETCH(QPointF, pointer);
    QFETCH(double, expectedZoom);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setImage(solidImage(400, 300), false);
    canvas.isZoomScrollInverted = inverted;
    canvas.isSmoothZoomEnabled = smooth;
    const QPointF before = imagePointAt(canvas, pointer);

    sendWheel(canvas, pointer, pixelDelta, angleDelta);

    QVERIFY(std::abs(canvas.zoomFactor() - expectedZoom) < 1e-9);
    if (expectedZoom <= 1) {
        QCOMPARE(canvas.contentOffset(), QPointF(0, 0));
    } else {
        const QPointF after = imagePointAt(canvas, pointer);
        QVERIFY(std::abs(after.x() - before.x()) < tolerance);
        QVERIFY(std::abs(after.y() - before.y()) < tolerance);
    }
}

void TestImageCanvasView::zoomStopsExactlyAtTheLimits_data()
{
    QTest::addColumn<QPoint>("notches");
    QTest::addColumn<double>("limit");

    QTest::newRow("in") << QPoint(0, -1200) << 32.0;
    QTest::newRow("out") << QPoint(0, 1200) << 0.05;
}

void TestImageCanvasView::zoomStopsExactlyAtTheLimits()
{
    QFETCH(QPoint, notches);
    QFETCH(double, limit);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setImage(solidImage(640, 480), false);
    CallbackLog log;
    record(canvas, log);
    for (int step = 0; step < 10; ++step) {
        sendWheel(canvas, QPointF(123, 321), QPoint(), notches);
    }
    QCOMPARE(canvas.zoomFactor(), limit);
    QCOMPARE(log.lastPercent, limit * 100);
    verifyNoGap(canvas);

    const int calls = log.zoomCalls;
    sendWheel(canvas, QPointF(123, 321), QPoint(), notches);
    QCOMPARE(log.zoomCalls, calls);
    QCOMPARE(canvas.zoomFactor(), limit);
}

void TestImageCanvasView::offsetsStayWithinTheLimits()
{
    // A wide image: beyond some zoom it fills the width long before the height.
    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setImage(solidImage(300, 100), false);

    struct Step
    {
        QPointF pointer;
        QPoint notches; // wheel angle delta; zero for a drag by `drag`
        QPointF drag;
    };
    const QList<Step> steps = {
        {QPointF(780, 10), QPoint(0, -600), QPointF()},
        {QPointF(400, 300), QPoint(), QPointF(-1000, 500)},
        {QPointF(10, 590), QPoint(0, 120), QPointF()},
        {QPointF(400, 300), QPoint(), QPointF(2000, -2000)},
        {QPointF(799, 300), QPoint(0, -240), QPointF()},
        {QPointF(5, 5), QPoint(), QPointF(-3, 7)},
        {QPointF(400, 300), QPoint(0, 480), QPointF()},
    };
    for (const Step& step : steps) {
        if (step.notches.isNull()) {
            drag(canvas, step.pointer, step.drag);
        } else {
            sendWheel(canvas, step.pointer, QPoint(), step.notches);
        }
        verifyNoGap(canvas);
        if (QTest::currentTestFailed()) {
            return;
        }
    }
}

void TestImageCanvasView::draggingPansOnlyAboveTheFittedSize_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QPointF>("expectedShift");
    QTest::addColumn<int>("viewCalls");

    QTest::newRow("fitted") << 1.0 << QPointF(0, 0) << 0;
    // Widget y grows downwards, the view's y upwards.
    QTest::newRow("zoomed") << 4.0 << QPointF(-30, -20) << 2;
}

void TestImageCanvasView::draggingPansOnlyAboveTheFittedSize()
{
    QFETCH(double, zoom);
    QFETCH(QPointF, expectedShift);
    QFETCH(int, viewCalls);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setImage(solidImage(400, 300), false);
    canvas.adjustZoom(zoom, QPointF(400, 300));
    const QPointF start = canvas.contentOffset();
    CallbackLog log;
    record(canvas, log);

    drag(canvas, QPointF(400, 300), QPointF(-30, 20));

    QCOMPARE(canvas.contentOffset() - start, expectedShift);
    QCOMPARE(log.viewCalls, viewCalls);
    QCOMPARE(log.zoomCalls, 0);
}

void TestImageCanvasView::callbacksFireAsDocumented_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("startsWithImage");
    QTest::addColumn<int>("zoomCalls");
    QTest::addColumn<int>("viewCalls");
    QTest::addColumn<double>("lastPercent");

    QTest::newRow("setImage") << "setImage" << true << 1 << 1 << 100.0;
    QTest::newRow("setImage preserving") << "setImagePreserving" << true << 0 << 1 << -1.0;
    QTest::newRow("setImage preserving, first image")
        << "setImagePreserving" << false << 1 << 1 << 100.0;
    QTest::newRow("clearImage") << "clearImage" << true << 1 << 1 << 100.0;
    QTest::newRow("resetView") << "resetView" << true << 1 << 1 << 100.0;
    QTest::newRow("resetView without image") << "resetView" << false << 0 << 0 << -1.0;
    QTest::newRow("zoom step") << "zoom" << true << 1 << 1 << 500.0;
    QTest::newRow("zoom step too small") << "tinyZoom" << true << 0 << 0 << -1.0;
    QTest::newRow("pan") << "pan" << true << 0 << 2 << -1.0;
    QTest::newRow("recenter") << "recenter" << true << 0 << 1 << -1.0;
    QTest::newRow("recenter on the current centre") << "recenterInPlace" << true << 0 << 0 << -1.0;
    QTest::newRow("recenter with all visible") << "recenterFitted" << true << 0 << 0 << -1.0;
    QTest::newRow("replacePreview") << "replacePreview" << true << 0 << 0 << -1.0;
}

void TestImageCanvasView::callbacksFireAsDocumented()
{
    QFETCH(QString, action);
    QFETCH(bool, startsWithImage);
    QFETCH(int, zoomCalls);
    QFETCH(int, viewCalls);
    QFETCH(double, lastPercent);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    if (startsWithImage) {
        canvas.setPreview(solidImage(100, 75), QSize(400, 300), false);
        if (action != QLatin1String("recenterFitted")) {
            canvas.adjustZoom(4, QPointF(400, 300));
        }
    }
    CallbackLog log;
    record(canvas, log);

    if (action == QLatin1String("setImage")) {
        canvas.setImage(solidImage(50, 50), false);
    } else if (action == QLatin1String("setImagePreserving")) {
        canvas.setImage(solidImage(50, 50), true);
    } else if (action == QLatin1String("clearImage")) {
        canvas.clearImage();
    } else if (action == QLatin1String("resetView")) {
        canvas.resetView();
    } else if (action == QLatin1String("zoom")) {
        canvas.adjustZoom(1.25, QPointF(10, 10));
    } else if (action == QLatin1String("tinyZoom")) {
        canvas.adjustZoom(1.00001, QPointF(10, 10));
    } else if (action == QLatin1String("pan")) {
        drag(canvas, QPointF(400, 300), QPointF(50, 50));
    } else if (action == QLatin1String("recenter")) {
        canvas.recenterVisibleRegion(QPointF(0.1, 0.9));
    } else if (action == QLatin1String("recenterInPlace")) {
        canvas.recenterVisibleRegion(QPointF(0.5, 0.5));
    } else if (action == QLatin1String("recenterFitted")) {
        canvas.recenterVisibleRegion(QPointF(0.1, 0.1));
        QCOMPARE(canvas.contentOffset(), QPointF(0, 0));
    } else if (action == QLatin1String("replacePreview")) {
        canvas.replacePreview(solidImage(400, 300));
    }

    QCOMPARE(log.zoomCalls, zoomCalls);
    QCOMPARE(log.viewCalls, viewCalls);
    QCOMPARE(log.lastPercent, lastPercent);
}

void TestImageCanvasView::preservedViewIsClampedForTheNextImage_data()
{
    QTest::addColumn<bool>("preserveView");
    QTest::addColumn<double>("expectedZoom");
    QTest::addColumn<QPointF>("expectedOffset");

    // Zoom 4 on the wide image leaves the offset at (-1170, -100); the tall image at zoom 4 is
    // 600 x 2400 in the 800 x 600 view, so it cannot move sideways and (-100) fits vertically.
    QTest::newRow("preserved") << true << 4.0 << QPointF(0, -100);
    QTest::newRow("not preserved") << false << 1.0 << QPointF(0, 0);
}

void TestImageCanvasView::preservedViewIsClampedForTheNextImage()
{
    QFETCH(bool, preserveView);
    QFETCH(double, expectedZoom);
    QFETCH(QPointF, expectedOffset);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setImage(solidImage(400, 100), false);
    sendPinch(canvas, QPointF(790, 250), 3 / 0.35);
    QCOMPARE(canvas.zoomFactor(), 4.0);
    QVERIFY(std::abs(canvas.contentOffset().x() + 1170) < tolerance);
    QVERIFY(std::abs(canvas.contentOffset().y() + 100) < tolerance);

    canvas.setImage(solidImage(100, 400), preserveView);

    QCOMPARE(canvas.zoomFactor(), expectedZoom);
    QVERIFY(std::abs(canvas.contentOffset().x() - expectedOffset.x()) < tolerance);
    QVERIFY(std::abs(canvas.contentOffset().y() - expectedOffset.y()) < tolerance);
    verifyNoGap(canvas);
}

void TestImageCanvasView::fullImageReplacesThePreviewSilently()
{
    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setPreview(solidImage(100, 75), QSize(1600, 1200), false);
    canvas.adjustZoom(3, QPointF(100, 500));
    drag(canvas, QPointF(400, 300), QPointF(40, -25));
    const MarkupAnnotation annotation(MarkupShape::rectangle(QRectF(0.1, 0.1, 0.3, 0.2)), Qt::red,
                                      Qt::transparent, 0.01, 1, 1, MarkupArrowheadStyle::end);
    canvas.markupEngine().setAnnotations({annotation});
    const QRectF rect = canvas.currentImageRect().value();
    const double zoom = canvas.zoomFactor();
    const QPointF offset = canvas.contentOffset();
    CallbackLog log;
    record(canvas, log);
    int cropCalls = 0;
    canvas.onCropSelectionChanged = [&cropCalls](bool) { ++cropCalls; };

    canvas.replacePreview(solidImage(1600, 1200));

    QCOMPARE(canvas.image().size(), QSize(1600, 1200));
    QCOMPARE(canvas.zoomFactor(), zoom);
    QCOMPARE(canvas.contentOffset(), offset);
    QCOMPARE(canvas.currentImageRect().value(), rect);
    QCOMPARE(canvas.markupEngine().annotations().size(), 1);
    QCOMPARE(log.zoomCalls + log.viewCalls + cropCalls, 0);
}

void TestImageCanvasView::navigatorStateDescribesTheVisiblePart_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QRectF>("expected");

    QTest::newRow("fitted: all of it") << "fit" << QRectF(0, 0, 1, 1);
    QTest::newRow("zoomed about the centre") << "zoom" << QRectF(0.25, 0.25, 0.5, 0.5);
    // Dragging right and up brings in the image's left and lower part.
    QTest::newRow("panned to the lower left") << "panLowerLeft" << QRectF(0, 0, 0.5, 0.5);
    QTest::newRow("recentred after a pan") << "recenter" << QRectF(0.25, 0.25, 0.5, 0.5);
    // The offset is not recomputed on a resize: a much smaller view shows none of the image.
    QTest::newRow("panned out of view") << "panOut" << QRectF(0, 0, 0, 0);
}

void TestImageCanvasView::navigatorStateDescribesTheVisiblePart()
{
    QFETCH(QString, action);
    QFETCH(QRectF, expected);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setImage(solidImage(400, 300), false);
    const QPointF centre(400, 300);
    if (action == QLatin1String("zoom")) {
        canvas.adjustZoom(2, centre);
    } else if (action == QLatin1String("panLowerLeft")) {
        canvas.adjustZoom(2, centre);
        drag(canvas, centre, QPointF(1000, -1000));
    } else if (action == QLatin1String("recenter")) {
        canvas.adjustZoom(2, centre);
        drag(canvas, centre, QPointF(1000, -1000));
        canvas.recenterVisibleRegion(QPointF(0.5, 0.5));
    } else if (action == QLatin1String("panOut")) {
        canvas.adjustZoom(4, centre);
        drag(canvas, centre, QPointF(5000, -5000));
        canvas.resize(100, 100);
    }

    const std::optional<ImageCanvasView::NavigatorState> state = canvas.navigatorState();
    QVERIFY(state);
    QVERIFY(std::abs(state->imageAspectRatio - 4.0 / 3.0) < tolerance);
    const QRectF visible = state->visibleRectNormalized;
    QVERIFY2(std::abs(visible.x() - expected.x()) < tolerance &&
                 std::abs(visible.y() - expected.y()) < tolerance &&
                 std::abs(visible.width() - expected.width()) < tolerance &&
                 std::abs(visible.height() - expected.height()) < tolerance,
             qPrintable(QStringLiteral("visible %1,%2 %3x%4")
                            .arg(visible.x())
                            .arg(visible.y())
                            .arg(visible.width())
                            .arg(visible.height())));
}

void TestImageCanvasView::wheelAndPinchAreRoutedByMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("hasImage");
    QTest::addColumn<bool>("zooms");
    QTest::addColumn<bool>("wheelTaken");

    QTest::newRow("viewing") << "none" << true << true << true;
    QTest::newRow("no image: passed on") << "none" << false << false << false;
    QTest::newRow("crop mode: swallowed") << "crop" << true << false << true;
    QTest::newRow("markup mode: swallowed") << "markup" << true << false << true;
}

void TestImageCanvasView::wheelAndPinchAreRoutedByMode()
{
    QFETCH(QString, mode);
    QFETCH(bool, hasImage);
    QFETCH(bool, zooms);
    QFETCH(bool, wheelTaken);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    if (hasImage) {
        canvas.setImage(solidImage(400, 300), false);
    }
    canvas.setCropModeEnabled(mode == QLatin1String("crop"));
    canvas.setMarkupModeEnabled(mode == QLatin1String("markup"));
    const double zoom = canvas.zoomFactor();

    QCOMPARE(sendWheel(canvas, QPointF(400, 300), QPoint(), QPoint(0, -120)), wheelTaken);
    QCOMPARE(canvas.zoomFactor() > zoom, zooms);
    const double afterWheel = canvas.zoomFactor();
    sendPinch(canvas, QPointF(400, 300), 0.5);
    QCOMPARE(canvas.zoomFactor() > afterWheel, zooms);
}

void TestImageCanvasView::pinchIgnoresUnusableDeltas_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expectedZoom");

    QTest::newRow("half") << 0.5 << 1.175;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 1.0;
    QTest::newRow("+inf") << std::numeric_limits<double>::infinity() << 1.0;
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << 1.0;
    QTest::newRow("shrinks below nothing") << -5.0 << 1.0;
}

void TestImageCanvasView::pinchIgnoresUnusableDeltas()
{
    QFETCH(double, value);
    QFETCH(double, expectedZoom);

    ImageCanvasView canvas;
    canvas.resize(800, 600);
    canvas.setImage(solidImage(400, 300), false);
    CallbackLog log;
    record(canvas, log);
    sendPinch(canvas, QPointF(200, 200), value);
    QVERIFY(std::abs(canvas.zoomFactor() - expectedZoom) < 1e-12);
    QCOMPARE(log.zoomCalls, expectedZoom == 1.0 ? 0 : 1);
    QVERIFY(std::isfinite(canvas.contentOffset().x()) && std::isfinite(canvas.contentOffset().y()));
}

void TestImageCanvasView::dropsTakeTheFirstExistingImageFile_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first image of several")
        << QStringList{"notes.txt", "photo.png", "second.jpg"} << "photo.png";
    QTest::newRow("upper-case extension") << QStringList{"SHOUT.JPG"} << "SHOUT.JPG";
    QTest::newRow("folder named like an image") << QStringList{"folder.jpg"} << QString();
    QTest::newRow("folder, then an image")
        << QStringList{"folder.jpg", "second.jpg"} << "second.jpg";
    QTest::newRow("no image") << QStringList{"notes.txt", "README"} << QString();
    QTest::newRow("vanished file") << QStringList{"gone.png"} << QString();
    QTest::newRow("remote image") << QStringList{"https://example.com/a.png"} << QString();
}

void TestImageCanvasView::dropsTakeTheFirstExistingImageFile()
{
    QFETCH(QStringList, names);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString name : {"notes.txt", "photo.png", "second.jpg", "README", "SHOUT.JPG"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.jpg")));
    QList<QUrl> urls;
    for (const QString& name : names) {
        urls.append(name.contains(QLatin1Char(':')) ? QUrl(name)
                                                    : QUrl::fromLocalFile(dir.filePath(name)));
    }
    const QUrl expectedUrl =
        expected.isEmpty() ? QUrl() : QUrl::fromLocalFile(dir.filePath(expected));

    ImageCanvasView canvas;
    canvas.resize(400, 300);
    QList<QUrl> dropped;
    canvas.onImageDropped = [&dropped](const QUrl& url) { dropped.append(url); };
    QMimeData mimeData;
    mimeData.setUrls(urls);

    QDragEnterEvent enter(QPoint(200, 150), Qt::CopyAction | Qt::MoveAction, &mimeData,
                          Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&canvas, &enter);
    QCOMPARE(enter.isAccepted(), !expected.isEmpty());

    QDropEvent drop(QPointF(200, 150), Qt::CopyAction | Qt::MoveAction, &mimeData, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(&canvas, &drop);
    QCOMPARE(drop.isAccepted(), !expected.isEmpty());
    QCOMPARE(dropped, expected.isEmpty() ? QList<QUrl>() : QList<QUrl>{expectedUrl});
}

void TestImageCanvasView::paintsTheImageWhereTheGeometrySays_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("expected");

    // The 2:1 image fitted in the 400 x 400 view is 400 x 200, from y = 100 to 300.
    QTest::newRow("fit: top left") << 1.0 << QPoint(100, 150) << QColor(Qt::red);
    QTest::newRow("fit: top right") << 1.0 << QPoint(300, 150) << QColor(Qt::green);
    QTest::newRow("fit: bottom left") << 1.0 << QPoint(100, 250) << QColor(Qt::blue);
    QTest::newRow("fit: bottom right") << 1.0 << QPoint(300, 250) << QColor(Qt::yellow);
    QTest::newRow("fit: above") << 1.0 << QPoint(200, 50) << QColor(Qt::black);
    QTest::newRow("fit: below") << 1.0 << QPoint(200, 350) << QColor(Qt::black);
    // At 800 % about the centre the image covers the view; the quadrants meet at the centre.
    QTest::newRow("800 %: top left") << 8.0 << QPoint(20, 20) << QColor(Qt::red);
    QTest::newRow("800 %: top right") << 8.0 << QPoint(380, 20) << QColor(Qt::green);
    QTest::newRow("800 %: bottom left") << 8.0 << QPoint(20, 380) << QColor(Qt::blue);
    QTest::newRow("800 %: bottom right") << 8.0 << QPoint(380, 380) << QColor(Qt::yellow);
    QTest::newRow("800 %: near the centre") << 8.0 << QPoint(196, 204) << QColor(Qt::blue);
}

void TestImageCanvasView::paintsTheImageWhereTheGeometrySays()
{
    QFETCH(double, zoom);
    QFETCH(QPoint, point);
    QFETCH(QColor, expected);

    ImageCanvasView canvas;
    canvas.resize(400, 400);
    canvas.setImage(quadrantImage(), false);
    canvas.adjustZoom(zoom, QPointF(200, 200));
    const QImage frame = canvas.grab().toImage();
    const QColor actual = frame.pixelColor(point * frame.devicePixelRatio());
    QVERIFY2(isClose(actual, expected), qPrintable(actual.name()));
}

void TestImageCanvasView::placeholderIsVisibleOnBlack()
{
    ImageCanvasView canvas;
    canvas.resize(600, 400);
    const QImage frame = canvas.grab().toImage();
    const double ratio = frame.devicePixelRatio();
    int textPixels = 0;
    for (int x = 0; x < frame.width(); ++x) {
        for (int y = 0; y < frame.height(); ++y) {
            const int grey = qGray(frame.pixel(x, y));
            const double logicalY = y / ratio;
            if (std::abs(logicalY - 200) <= 12) {
                textPixels += grey > 80 ? 1 : 0;
            } else {
                QVERIFY2(grey == 0, "only the centred line is drawn on the black");
            }
        }
    }
    QVERIFY(textPixels > 50);
}

void TestImageCanvasView::degenerateSizesStayFinite_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSize>("viewSize");

    QTest::newRow("1 x 1") << QSize(1, 1) << QSize(800, 600);
    QTest::newRow("1 x 30000") << QSize(1, 30000) << QSize(800, 600);
    QTest::newRow("30000 x 1") << QSize(30000, 1) << QSize(800, 600);
    QTest::newRow("zero-sized view") << QSize(400, 300) << QSize(0, 0);
    QTest::newRow("1 x 30000 in a zero-sized view") << QSize(1, 30000) << QSize(0, 0);
}

void TestImageCanvasView::degenerateSizesStayFinite()
{
    QFETCH(QSize, imageSize);
    QFETCH(QSize, viewSize);

    ImageCanvasView canvas;
    canvas.resize(viewSize);
    canvas.setImage(solidImage(imageSize.width(), imageSize.height()), false);
    for (int step = 0; step < 12; ++step) {
        sendWheel(canvas, QPointF(1, 1), QPoint(), QPoint(0, -1200));
        drag(canvas, QPointF(0, 0), QPointF(37, -53));
        canvas.recenterVisibleRegion(QPointF(0.9, 0.1));
    }
    const QRectF rect = canvas.currentImageRect().value();
    QVERIFY(std::isfinite(rect.x()) && std::isfinite(rect.y()));
    QVERIFY(std::isfinite(rect.width()) && rect.width() > 0);
    QVERIFY(std::isfinite(rect.height()) && rect.height() > 0);
    if (viewSize.isEmpty()) {
        QCOMPARE(canvas.contentOffset(), QPointF(0, 0));
    } else {
        verifyNoGap(canvas);
        QVERIFY(!canvas.grab().isNull());
    }
}

void TestImageCanvasView::modifierMonitorReportsEachChangeOnce()
{
    QWidget parent;
    QWidget child(&parent);
    LocalModifierFlagsMonitor monitor;
    int calls = 0;
    monitor.install([&calls] { ++calls; });
    const auto press = [&child](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(type, key, modifiers);
        QApplication::sendEvent(&child, &event);
        QCoreApplication::processEvents();
    };

    // A modifier key's own event carries the state before it, as the platforms deliver it. The
    // child ignores the key, so it also reaches the parent: still one call.
    press(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QCOMPARE(calls, 1);
    press(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    QCOMPARE(calls, 1);
    press(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    QCOMPARE(calls, 2);

    monitor.remove();
    press(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QCOMPARE(calls, 2);
}

void TestImageCanvasView::animationPlaysOnlyInViewMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("view") << "view";
    QTest::newRow("crop") << "crop";
    QTest::newRow("markup") << "markup";
    QTest::newRow("hidden") << "hidden";
}

// Crop and markup work on frame 0, so the animation holds it until they end; zoom and pan stay
// as the user set them while the frames change.
void TestImageCanvasView::animationPlaysOnlyInViewMode()
{
    QFETCH(QString, mode);
    const auto setMode = [&mode](ImageCanvasView& canvas, bool enabled) {
        if (mode == u"crop") {
            canvas.setCropModeEnabled(enabled);
        } else if (mode == u"markup") {
            canvas.setMarkupModeEnabled(enabled);
        } else if (mode == u"hidden") {
            canvas.setVisible(!enabled);
        }
    };
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("blink.png"));
    const QRect whole(0, 0, 8, 8);
    QVERIFY(TestImageFiles::writeBytes(
        path,
        TestImageFiles::apngOf({8, 8}, {{whole, Qt::red, 1, 10}, {whole, Qt::green, 1, 10}}, 0)));
    ImageCanvasView canvas;
    canvas.resize(200, 100);
    canvas.show();
    QVERIFY(QTest::qWaitForWindowExposed(&canvas));
    canvas.setImage(QImage(path), false);
    canvas.adjustZoom(2, std::nullopt);
    const auto centre = [&canvas] { return canvas.grab().toImage().pixelColor(100, 50); };
    setMode(canvas, true);
    canvas.playAnimation(path);
    QTRY_VERIFY(canvas.animationPlayer().isAnimated());
    if (mode != u"view") {
        QTest::qWait(100);
        QVERIFY(canvas.animationPlayer().isSuspended());
        // Crop mode dims the image around the selection.
        QCOMPARE(centre().hue(), QColor(Qt::red).hue());
        setMode(canvas, false);
    }
    QTRY_COMPARE(centre(), QColor(Qt::green));
    QTRY_COMPARE(centre(), QColor(Qt::red));
    if (mode != u"crop") { // crop mode resets the view
        QCOMPARE(canvas.zoomFactor(), 2.0);
    }
    // Another image stops the animation.
    canvas.setImage(solidImage(8, 8), false);
    QVERIFY(!canvas.animationPlayer().isAnimated());
}

QTEST_MAIN(TestImageCanvasView)
#include "tst_imagecanvasview.moc"
