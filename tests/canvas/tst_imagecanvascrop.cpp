#include "ImageCanvasView.h"

#include <QImage>
#include <QTest>
#include <memory>
#include <vector>

namespace {

// A 500 x 400 image in a 1000 x 800 view fills it: the image rectangle is (0, 0, 1000, 800) and
// the default selection is inset by 28, i.e. x 28...972, y 28...772.
const QSize largeView(1000, 800);
const QSize largeImage(500, 400);
const QRectF largeDefaultSelection(28, 28, 944, 744);

QImage makeImage(QSize size, QColor color = QColor(180, 160, 140))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

std::unique_ptr<ImageCanvasView> makeView(QSize viewSize, QSize imageSize)
{
    auto view = std::make_unique<ImageCanvasView>();
    view->resize(viewSize);
    view->setImage(makeImage(imageSize), false);
    return view;
}

// QTest positions are y-down widget coordinates; the view's geometry is y-up. QTest replaces the
// widget point (0, 0) by the widget's centre, so no test point maps to it.
QPoint toWidget(const ImageCanvasView& view, QPointF viewPoint)
{
    return QPoint(qRound(viewPoint.x()), qRound(view.height() - viewPoint.y()));
}

void press(ImageCanvasView& view, QPointF viewPoint)
{
    QTest::mousePress(&view, Qt::LeftButton, {}, toWidget(view, viewPoint));
}

void dragTo(ImageCanvasView& view, QPointF viewPoint)
{
    QTest::mouseMove(&view, toWidget(view, viewPoint));
}

void release(ImageCanvasView& view, QPointF viewPoint)
{
    QTest::mouseRelease(&view, Qt::LeftButton, {}, toWidget(view, viewPoint));
}

// The selection in view coordinates; an absent one reads as a null rectangle.
QRectF selectionOf(const ImageCanvasView& view)
{
    return view.cropSelectionRect().value_or(QRectF());
}

bool fuzzyEqual(const QRectF& a, const QRectF& b)
{
    constexpr double tolerance = 1e-9;
    return std::abs(a.x() - b.x()) < tolerance && std::abs(a.y() - b.y()) < tolerance &&
           std::abs(a.width() - b.width()) < tolerance &&
           std::abs(a.height() - b.height()) < tolerance;
}

} // namespace

class TestImageCanvasCrop : public QObject
{
    Q_OBJECT

private slots:
    void enteringCropModeSelectsTheImageWithAnInset_data();
    void enteringCropModeSelectsTheImageWithAnInset();
    void draggingIsClampedToTheImageAndTheMinimumSize_data();
    void draggingIsClampedToTheImageAndTheMinimumSize();
    void minimumSizeWinsOverTheImageEdge();
    void mouseDownOutsideTheSelectionChangesNothing();
    void overlappingHandlesAreHitInOrder_data();
    void overlappingHandlesAreHitInOrder();
    void tinySelectionIsResizedByTheTopLeftHandle();
    void normalizedRectangleIsClampedToTheImage_data();
    void normalizedRectangleIsClampedToTheImage();
    void resizingKeepsTheSelectionOnTheImage_data();
    void resizingKeepsTheSelectionOnTheImage();
    void nextImageKeepsTheNormalizedSelection_data();
    void nextImageKeepsTheNormalizedSelection();
    void selectionChangesAreReported();
    void resetViewDropsTheSelectionButKeepsCropMode();
    void outsideOfTheSelectionIsDimmed();
};

void TestImageCanvasCrop::enteringCropModeSelectsTheImageWithAnInset_data()
{
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRectF>("expectedSelection");

    QTest::newRow("1000x800 image rect: inset 28")
        << largeView << largeImage << largeDefaultSelection;
    // The 50 x 30 image rectangle sits at y 35 in a view 100 high: inset (30 - 20) / 2 = 5.
    QTest::newRow("50x30 image rect: inset 5")
        << QSize(50, 100) << QSize(50, 30) << QRectF(5, 40, 40, 20);
    // The 15 x 15 image rectangle sits at y 12.5 in a view 40 high: selected whole.
    QTest::newRow("15x15 image rect: whole image")
        << QSize(15, 40) << QSize(15, 15) << QRectF(0, 12.5, 15, 15);
}

void TestImageCanvasCrop::enteringCropModeSelectsTheImageWithAnInset()
{
    QFETCH(QSize, viewSize);
    QFETCH(QSize, imageSize);
    QFETCH(QRectF, expectedSelection);

    const auto view = makeView(viewSize, imageSize);
    QCOMPARE(view->size(), viewSize);
    std::vector<bool> reports;
    view->onCropSelectionChanged = [&](bool hasSelection) { reports.push_back(hasSelection); };

    view->setCropModeEnabled(true);

    QVERIFY(view->isCropModeEnabled());
    QCOMPARE(selectionOf(*view), expectedSelection);
    QCOMPARE(reports, std::vector<bool>{true});
}

void TestImageCanvasCrop::draggingIsClampedToTheImageAndTheMinimumSize_data()
{
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<QPointF>("end");
    QTest::addColumn<int>("cursorWhileDragging");
    QTest::addColumn<QRectF>("expectedSelection");

    const int nwse = Qt::SizeFDiagCursor;
    const int nesw = Qt::SizeBDiagCursor;
    // Past the opposite corner the selection stops 20 points before it.
    QTest::newRow("topLeft past bottomRight")
        << QPointF(28, 772) << QPointF(1000, 0) << nwse << QRectF(952, 28, 20, 20);
    QTest::newRow("topRight past bottomLeft")
        << QPointF(972, 772) << QPointF(0, 0) << nesw << QRectF(28, 28, 20, 20);
    QTest::newRow("bottomLeft past topRight")
        << QPointF(28, 28) << QPointF(1000, 800) << nesw << QRectF(952, 752, 20, 20);
    QTest::newRow("bottomRight past topLeft")
        << QPointF(972, 28) << QPointF(-10, 810) << nwse << QRectF(28, 752, 20, 20);
    // Beyond the image the moving edges stop at its edges.
    QTest::newRow("topLeft beyond the image")
        << QPointF(28, 772) << QPointF(-100, 900) << nwse << QRectF(0, 28, 972, 772);
    QTest::newRow("topRight beyond the image")
        << QPointF(972, 772) << QPointF(1100, 900) << nesw << QRectF(28, 28, 972, 772);
    QTest::newRow("bottomLeft beyond the image")
        << QPointF(28, 28) << QPointF(-50, -50) << nesw << QRectF(0, 0, 972, 772);
    QTest::newRow("bottomRight beyond the image")
        << QPointF(972, 28) << QPointF(1050, -50) << nwse << QRectF(28, 0, 972, 772);
    // Moving keeps the size; beyond an edge the selection is pinned to it.
    const int closedHand = Qt::ClosedHandCursor;
    QTest::newRow("move inside") << QPointF(500, 400) << QPointF(510, 395) << closedHand
                                 << QRectF(38, 23, 944, 744);
    QTest::newRow("move beyond top right")
        << QPointF(500, 400) << QPointF(2500, 2400) << closedHand << QRectF(56, 56, 944, 744);
    QTest::newRow("move beyond bottom left")
        << QPointF(500, 400) << QPointF(-1500, -1600) << closedHand << QRectF(0, 0, 944, 744);
}

void TestImageCanvasCrop::draggingIsClampedToTheImageAndTheMinimumSize()
{
    QFETCH(QPointF, start);
    QFETCH(QPointF, end);
    QFETCH(int, cursorWhileDragging);
    QFETCH(QRectF, expectedSelection);

    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    QCOMPARE(selectionOf(*view), largeDefaultSelection);

    press(*view, start);
    QCOMPARE(view->cursor().shape(), Qt::CursorShape(cursorWhileDragging));
    dragTo(*view, end);
    QCOMPARE(view->cursor().shape(), Qt::CursorShape(cursorWhileDragging));
    release(*view, end);

    QCOMPARE(selectionOf(*view), expectedSelection);
    QCOMPARE(view->cropInteractionMode().kind, ImageCanvasView::CropInteractionMode::Kind::none);
}

void TestImageCanvasCrop::minimumSizeWinsOverTheImageEdge()
{
    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    view->applyCropSelection(QRectF(0.985, 0.5, 0.01, 0.0125));
    QCOMPARE(selectionOf(*view), QRectF(985, 400, 10, 10));

    // Only the bottom-right hit square holds (1004, 391); growing to 20 points wide pushes the
    // right edge past the image edge at 1000.
    press(*view, QPointF(1004, 391));
    QCOMPARE(view->cursor().shape(), Qt::SizeFDiagCursor);
    dragTo(*view, QPointF(1005, 391));
    release(*view, QPointF(1005, 391));

    QCOMPARE(selectionOf(*view), QRectF(985, 390, 20, 20));
}

void TestImageCanvasCrop::mouseDownOutsideTheSelectionChangesNothing()
{
    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    std::vector<bool> reports;
    view->onCropSelectionChanged = [&](bool hasSelection) { reports.push_back(hasSelection); };

    // (5, 5) lies outside the selection and 13 points from the bottom-left corner's hit square.
    press(*view, QPointF(5, 5));
    QCOMPARE(view->cropInteractionMode().kind, ImageCanvasView::CropInteractionMode::Kind::none);
    QCOMPARE(view->cursor().shape(), Qt::ArrowCursor);
    dragTo(*view, QPointF(400, 400));

    QCOMPARE(selectionOf(*view), largeDefaultSelection);
    QVERIFY(reports.empty());
    release(*view, QPointF(400, 400));
    QCOMPARE(selectionOf(*view), largeDefaultSelection);
}

void TestImageCanvasCrop::overlappingHandlesAreHitInOrder_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<int>("expectedHandle"); // -1: none

    // On a 10 x 10 selection at (500, 400) every 20 x 20 hit square covers the centre.
    using Handle = ImageCanvasView::CropHandle;
    QTest::newRow("centre: topLeft wins") << QPointF(505, 405) << int(Handle::topLeft);
    QTest::newRow("right of topLeft's square") << QPointF(515, 405) << int(Handle::topRight);
    QTest::newRow("below the top squares") << QPointF(495, 395) << int(Handle::bottomLeft);
    QTest::newRow("bottom right only") << QPointF(515, 395) << int(Handle::bottomRight);
    QTest::newRow("far away") << QPointF(600, 600) << -1;
}

void TestImageCanvasCrop::overlappingHandlesAreHitInOrder()
{
    QFETCH(QPointF, point);
    QFETCH(int, expectedHandle);

    const ImageCanvasView view;
    const std::optional<ImageCanvasView::CropHandle> handle =
        view.cropHandle(point, QRectF(500, 400, 10, 10));
    QCOMPARE(handle ? int(*handle) : -1, expectedHandle);
}

void TestImageCanvasCrop::tinySelectionIsResizedByTheTopLeftHandle()
{
    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    view->applyCropSelection(QRectF(0.5, 0.5, 0.01, 0.0125));
    QCOMPARE(selectionOf(*view), QRectF(500, 400, 10, 10));

    press(*view, QPointF(505, 405));
    QCOMPARE(view->cropInteractionMode(), (ImageCanvasView::CropInteractionMode{
                                              ImageCanvasView::CropInteractionMode::Kind::resize,
                                              ImageCanvasView::CropHandle::topLeft}));
    dragTo(*view, QPointF(455, 455));
    release(*view, QPointF(455, 455));

    // The bottom-right corner (510, 400) stays put.
    QCOMPARE(selectionOf(*view), QRectF(450, 400, 60, 60));
}

void TestImageCanvasCrop::normalizedRectangleIsClampedToTheImage_data()
{
    QTest::addColumn<std::optional<QRectF>>("applied");
    QTest::addColumn<QRectF>("expected");

    const QRectF defaultNormalized(0.028, 0.035, 0.944, 0.93);
    QTest::newRow("inside") << std::optional<QRectF>(QRectF(0.25, 0.5, 0.5, 0.25))
                            << QRectF(0.25, 0.5, 0.5, 0.25);
    QTest::newRow("larger than the image")
        << std::optional<QRectF>(QRectF(-0.5, -0.5, 2, 2)) << QRectF(0, 0, 1, 1);
    QTest::newRow("over the far edges")
        << std::optional<QRectF>(QRectF(0.9, 0.75, 0.5, 0.5)) << QRectF(0.9, 0.75, 0.1, 0.25);
    QTest::newRow("under 2 points: default")
        << std::optional<QRectF>(QRectF(0.5, 0.5, 0.001, 0.001)) << defaultNormalized;
    QTest::newRow("absent: default") << std::optional<QRectF>() << defaultNormalized;
}

void TestImageCanvasCrop::normalizedRectangleIsClampedToTheImage()
{
    QFETCH(std::optional<QRectF>, applied);
    QFETCH(QRectF, expected);

    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    std::vector<bool> reports;
    view->onCropSelectionChanged = [&](bool hasSelection) { reports.push_back(hasSelection); };

    view->applyCropSelection(applied);

    const std::optional<QRectF> normalized = view->currentCropRectNormalized();
    QVERIFY(normalized);
    QVERIFY2(fuzzyEqual(*normalized, expected), qPrintable(QStringLiteral("got %1 %2 %3 %4")
                                                               .arg(normalized->x())
                                                               .arg(normalized->y())
                                                               .arg(normalized->width())
                                                               .arg(normalized->height())));
    QCOMPARE(reports, std::vector<bool>{true});
}

void TestImageCanvasCrop::resizingKeepsTheSelectionOnTheImage_data()
{
    QTest::addColumn<QSize>("newViewSize");

    QTest::newRow("a docked toolbar takes the top") << QSize(1000, 714);
    QTest::newRow("wider") << QSize(1400, 800);
    QTest::newRow("narrower") << QSize(600, 800);
}

void TestImageCanvasCrop::resizingKeepsTheSelectionOnTheImage()
{
    QFETCH(QSize, newViewSize);

    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    const QRectF selection(0.1, 0.2, 0.5, 0.6);
    view->applyCropSelection(selection);
    // A hidden widget gets its resize event only when shown.
    view->show();

    view->resize(newViewSize);

    const std::optional<QRectF> normalized = view->currentCropRectNormalized();
    QVERIFY(normalized);
    QVERIFY(fuzzyEqual(*normalized, selection));
}

void TestImageCanvasCrop::nextImageKeepsTheNormalizedSelection_data()
{
    QTest::addColumn<QSize>("nextImageSize");
    QTest::addColumn<bool>("preserveView");

    QTest::newRow("same proportions") << QSize(250, 200) << false;
    QTest::newRow("tall") << QSize(200, 400) << false;
    QTest::newRow("wide, view preserved") << QSize(800, 200) << true;
}

void TestImageCanvasCrop::nextImageKeepsTheNormalizedSelection()
{
    QFETCH(QSize, nextImageSize);
    QFETCH(bool, preserveView);

    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    const QRectF selection(0.1, 0.2, 0.5, 0.6);
    view->applyCropSelection(selection);
    std::vector<bool> reports;
    view->onCropSelectionChanged = [&](bool hasSelection) { reports.push_back(hasSelection); };

    view->setImage(makeImage(nextImageSize), preserveView);

    QVERIFY(view->isCropModeEnabled());
    const std::optional<QRectF> normalized = view->currentCropRectNormalized();
    QVERIFY(normalized);
    QVERIFY(fuzzyEqual(*normalized, selection));
    QCOMPARE(reports.back(), true);
}

void TestImageCanvasCrop::selectionChangesAreReported()
{
    const auto view = makeView(largeView, largeImage);
    std::vector<bool> reports;
    std::vector<double> zoomReports;
    view->onCropSelectionChanged = [&](bool hasSelection) { reports.push_back(hasSelection); };
    view->onZoomChanged = [&](double percent) { zoomReports.push_back(percent); };
    view->adjustZoom(2, std::nullopt);
    zoomReports.clear();

    view->setCropModeEnabled(true);
    QCOMPARE(reports, std::vector<bool>{true});
    QCOMPARE(zoomReports, std::vector<double>{100});
    QCOMPARE(view->zoomFactor(), 1.0);
    QCOMPARE(view->contentOffset(), QPointF(0, 0));

    reports.clear();
    press(*view, QPointF(500, 400));
    QVERIFY(reports.empty());
    dragTo(*view, QPointF(510, 400));
    dragTo(*view, QPointF(520, 400));
    release(*view, QPointF(520, 400));
    QCOMPARE(reports, (std::vector<bool>{true, true, true}));

    reports.clear();
    view->setCropModeEnabled(true);
    QVERIFY(reports.empty());
    view->setCropModeEnabled(false);
    QCOMPARE(reports, std::vector<bool>{false});
    QCOMPARE(view->cropSelectionRect(), std::nullopt);
    QCOMPARE(view->cursor().shape(), Qt::ArrowCursor);

    reports.clear();
    view->setCropModeEnabled(true);
    view->clearImage();
    view->setCropModeEnabled(false);
    view->setCropModeEnabled(true);
    QCOMPARE(reports, (std::vector<bool>{true, false, false, false}));
    QCOMPARE(view->currentCropRectNormalized(), std::nullopt);
}

void TestImageCanvasCrop::resetViewDropsTheSelectionButKeepsCropMode()
{
    const auto view = makeView(largeView, largeImage);
    view->setCropModeEnabled(true);
    view->applyCropSelection(QRectF(0.1, 0.1, 0.2, 0.2));
    std::vector<bool> reports;
    view->onCropSelectionChanged = [&](bool hasSelection) { reports.push_back(hasSelection); };

    view->resetView();

    QVERIFY(view->isCropModeEnabled());
    QCOMPARE(view->cropSelectionRect(), std::nullopt);
    QCOMPARE(view->currentCropRectNormalized(), std::nullopt);
    QCOMPARE(reports, std::vector<bool>{false});

    // The next mouse down brings back the default selection and can move it at once.
    press(*view, QPointF(500, 400));
    QCOMPARE(selectionOf(*view), largeDefaultSelection);
    QCOMPARE(view->cropInteractionMode().kind, ImageCanvasView::CropInteractionMode::Kind::move);
    release(*view, QPointF(500, 400));
}

void TestImageCanvasCrop::outsideOfTheSelectionIsDimmed()
{
    const QColor imageColor(200, 180, 160);
    ImageCanvasView view;
    view.resize(largeView);
    view.setImage(makeImage(largeImage, imageColor), false);
    view.setCropModeEnabled(true);
    view.applyCropSelection(QRectF(0.25, 0.25, 0.5, 0.5)); // 250...750 by 200...600

    const QImage frame = view.grab().toImage();
    const QColor outside = frame.pixelColor(toWidget(view, QPointF(100, 100)));
    const QColor inside = frame.pixelColor(toWidget(view, QPointF(500, 400)));
    QVERIFY2(outside.red() < imageColor.red() - 40 && outside.green() < imageColor.green() - 40,
             qPrintable(outside.name()));
    QVERIFY2(std::abs(inside.red() - imageColor.red()) <= 2 &&
                 std::abs(inside.green() - imageColor.green()) <= 2,
             qPrintable(inside.name()));
}

QTEST_MAIN(TestImageCanvasCrop)
#include "tst_imagecanvascrop.moc"
