#include "BrowserWindow.h"
#include "ImageCanvasView.h"
#include "ImageLoadingPipeline.h"
#include "MiniNavigatorView.h"
#include "SystemBeep.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewView.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestBrowserWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void opensAtTheGivenFileAndStepsWithArrowKeys();
    void beepsAtBothEnds();
    void refusesWhatIsNotAnImage();
    void paintsTheImageFittedAndCentred();
    void previewTakesTheRectangleOfTheFullImage();
    void keysZoomAndResetTheView_data();
    void keysZoomAndResetTheView();
    void keysSwitchCropAndMarkupMode();
    void navigatorShowsWhileZoomedInAndRecentres();
    void overviewShowsTheFolderAndOpensTheActivatedImage();

private:
    QUrl urlOf(const QString& name) const { return QUrl::fromLocalFile(m_dir.filePath(name)); }

    QTemporaryDir m_dir;
    std::function<void()> m_previousSink;
    int m_beeps = 0;
};

void TestBrowserWindow::initTestCase()
{
    // Three small images of distinct colours; a wide one to check fitting.
    const QList<std::pair<QString, QColor>> images = {{QStringLiteral("a_1.png"), Qt::red},
                                                      {QStringLiteral("a_2.png"), Qt::green},
                                                      {QStringLiteral("a_10.png"), Qt::blue}};
    for (const auto& [name, colour] : images) {
        QImage image(200, 100, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY(image.save(m_dir.filePath(name)));
    }
    QFile text(m_dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    m_previousSink = SystemBeep::setSink([this] { ++m_beeps; });
}

void TestBrowserWindow::cleanupTestCase()
{
    SystemBeep::setSink(m_previousSink);
}

void TestBrowserWindow::init()
{
    m_beeps = 0;
}

void TestBrowserWindow::opensAtTheGivenFileAndStepsWithArrowKeys()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_2.png"))));
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_2.png")));

    QTest::keyClick(&window, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_10.png")));

    QTest::keyClick(&window, Qt::Key_Left);
    QTest::keyClick(&window, Qt::Key_Left);
    QTRY_COMPARE(window.shownUrl(), urlOf(QStringLiteral("a_1.png")));
    QCOMPARE(window.sequence().currentIndex(), 0);
    QCOMPARE(m_beeps, 0);
}

void TestBrowserWindow::beepsAtBothEnds()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_10.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&window, Qt::Key_Right);
    QCOMPARE(m_beeps, 1);
    QCOMPARE(window.sequence().currentIndex(), 2);

    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&window, Qt::Key_Left);
    QCOMPARE(m_beeps, 2);
    QCOMPARE(window.sequence().currentIndex(), 0);
}

void TestBrowserWindow::refusesWhatIsNotAnImage()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QVERIFY(!window.open(urlOf(QStringLiteral("notes.txt"))));
    QVERIFY(!window.open(urlOf(QStringLiteral("missing.png"))));
    QCOMPARE(m_beeps, 2);
    QVERIFY(window.shownUrl().isEmpty());
}

void TestBrowserWindow::paintsTheImageFittedAndCentred()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    window.resize(400, 400);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    // A 2:1 image in a square window fills the width and is centred vertically.
    const QImage frame = window.grab().toImage();
    const auto colourAt = [&frame](int x, int y) {
        return frame.pixelColor(QPoint(x, y) * frame.devicePixelRatio());
    };
    QCOMPARE(colourAt(200, 200), QColor(Qt::red));
    QCOMPARE(colourAt(5, 105), QColor(Qt::red));
    QCOMPARE(colourAt(395, 295), QColor(Qt::red));
    QCOMPARE(colourAt(200, 90), QColor(Qt::black));
    QCOMPARE(colourAt(200, 310), QColor(Qt::black));
}

void TestBrowserWindow::previewTakesTheRectangleOfTheFullImage()
{
    // A photo large enough for a reduced decode to pay.
    QImage photo(1600, 1200, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    const QString path = m_dir.filePath(QStringLiteral("b_photo.jpg"));
    QVERIFY(photo.save(path, "jpeg"));

    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    window.resize(400, 300);
    // The canvas takes the window's size when the window is laid out on screen.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy previewed(&window, &BrowserWindow::previewShown);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QRectF previewRect;
    QImage previewFrame;
    connect(&window, &BrowserWindow::previewShown, this, [&] {
        QVERIFY(window.isShowingPreview());
        QVERIFY(window.shownImage().width() < 1600);
        previewRect = window.imageRect();
        previewFrame = window.grab().toImage();
    });
    QVERIFY(window.open(QUrl::fromLocalFile(path)));
    QVERIFY(shown.wait());
    QCOMPARE(previewed.size(), 1);
    QVERIFY(!window.isShowingPreview());
    QCOMPARE(window.shownImage().size(), QSize(1600, 1200));
    QCOMPARE(window.imageRect(), previewRect);
    QCOMPARE(previewRect, QRectF(0, 0, 400, 300));
    QCOMPARE(window.grab().toImage(), previewFrame);

    // Shown again from the cache: no preview.
    QTest::keyClick(&window, Qt::Key_Left);
    QVERIFY(shown.wait());
    QTest::keyClick(&window, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(previewed.size(), 1);
}

void TestBrowserWindow::keysZoomAndResetTheView_data()
{
    QTest::addColumn<QList<QKeyCombination>>("keys");
    QTest::addColumn<double>("expectedScale");

    const QKeyCombination plus(Qt::ShiftModifier, Qt::Key_Plus);
    QTest::newRow("+") << QList<QKeyCombination>{plus} << 1.25;
    QTest::newRow("Ctrl+=") << QList<QKeyCombination>{Qt::ControlModifier | Qt::Key_Equal} << 1.25;
    QTest::newRow("+ twice, -") << QList<QKeyCombination>{plus, plus, Qt::Key_Minus} << 1.25;
    QTest::newRow("+ twice, 0") << QList<QKeyCombination>{plus, plus, Qt::Key_0} << 1.0;
    QTest::newRow("+, Ctrl+0") << QList<QKeyCombination>{plus, Qt::ControlModifier | Qt::Key_0}
                               << 1.0;
}

void TestBrowserWindow::keysZoomAndResetTheView()
{
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(double, expectedScale);

    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    window.resize(400, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    const QRectF fitted = window.imageRect();
    QCOMPARE(fitted, QRectF(0, 100, 400, 200));

    for (const QKeyCombination key : keys) {
        QTest::keyClick(&window, key.key(), key.keyboardModifiers());
    }
    // The zoom keys scale about the window's centre.
    const QRectF zoomed = window.imageRect();
    QVERIFY(std::abs(zoomed.width() - fitted.width() * expectedScale) < 1e-6);
    QVERIFY(std::abs(zoomed.height() - fitted.height() * expectedScale) < 1e-6);
    QVERIFY(std::abs(zoomed.center().x() - 200) < 1e-6);
    QVERIFY(std::abs(zoomed.center().y() - 200) < 1e-6);
    QCOMPARE(m_beeps, 0);
}

void TestBrowserWindow::keysSwitchCropAndMarkupMode()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    const ImageCanvasView& canvas = window.canvas();

    QTest::keyClick(&window, Qt::Key_C);
    QVERIFY(canvas.isCropModeEnabled());
    // The view stays still while cropping: the selection is in view points.
    QTest::keyClick(&window, Qt::Key_Plus);
    QCOMPARE(canvas.zoomFactor(), 1.0);
    QTest::keyClick(&window, Qt::Key_M);
    QVERIFY(canvas.isMarkupModeEnabled());
    QVERIFY(!canvas.isCropModeEnabled());
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!canvas.isMarkupModeEnabled());
    QTest::keyClick(&window, Qt::Key_C);
    QTest::keyClick(&window, Qt::Key_C);
    QVERIFY(!canvas.isCropModeEnabled());
    // The arrow keys still step while a mode is on.
    QTest::keyClick(&window, Qt::Key_M);
    QTest::keyClick(&window, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_2.png")));

    // In markup mode the digits choose the tools in toolbar order; Ctrl+Z undoes.
    QTest::keyClick(&window, Qt::Key_6);
    QCOMPARE(canvas.markupEngine().tool().value(), MarkupTool::text);
    QTest::keyClick(&window, Qt::Key_2);
    QCOMPARE(canvas.markupEngine().tool().value(), MarkupTool::ellipse);
    window.canvas().markupEngine().captureUndoState();
    window.canvas().markupEngine().appendAnnotation(
        MarkupAnnotation(MarkupShape::rectangle(QRectF(0.1, 0.1, 0.5, 0.5)), Qt::red,
                         Qt::transparent, 0.01, 5, 1, MarkupArrowheadStyle::end));
    window.canvas().markupEngine().finalizeHistoryCapture();
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!canvas.markupEngine().hasAnnotations());
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(canvas.markupEngine().hasAnnotations());
}

void TestBrowserWindow::navigatorShowsWhileZoomedInAndRecentres()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    const MiniNavigatorView& navigator = window.navigator();
    QVERIFY(!navigator.isVisibleTo(&window));

    for (int step = 0; step < 4; ++step) {
        QTest::keyClick(&window, Qt::Key_Plus);
    }
    QVERIFY(navigator.isVisibleTo(&window));
    QCOMPARE(navigator.geometry().bottomRight() + QPoint(17, 17),
             window.rect().bottomRight() + QPoint(1, 1));
    // A click at the miniature's left edge brings the image's left part into view.
    const QPointF before = window.canvas().contentOffset();
    QTest::mouseClick(const_cast<MiniNavigatorView*>(&navigator), Qt::LeftButton, {},
                      QPoint(2, navigator.height() / 2));
    QVERIFY(window.canvas().contentOffset().x() > before.x());

    // Hidden in markup mode (which keeps the zoom) and at the fitted size.
    QTest::keyClick(&window, Qt::Key_M);
    QVERIFY(!navigator.isVisibleTo(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(navigator.isVisibleTo(&window));
    QTest::keyClick(&window, Qt::Key_0);
    QVERIFY(!navigator.isVisibleTo(&window));
}

void TestBrowserWindow::overviewShowsTheFolderAndOpensTheActivatedImage()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    window.toggleOverview();
    QCOMPARE(m_beeps, 1); // nothing to show yet

    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_2.png"))));
    QVERIFY(shown.wait());
    window.show(); // shortcuts reach active windows only
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    QVERIFY(window.isOverviewShown());
    QCOMPARE(window.overview().selectedIndex(), 1);
    QVERIFY(!window.navigator().isVisibleTo(&window));

    // Leaving with several images selected shows the first of them.
    QItemSelectionModel* selection = window.overview().collectionView()->selectionModel();
    const QAbstractItemModel* model = window.overview().collectionView()->model();
    selection->select(model->index(0, 0), QItemSelectionModel::ClearAndSelect);
    selection->select(model->index(2, 0), QItemSelectionModel::Select);
    QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    QVERIFY(!window.isOverviewShown());
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_1.png")));

    QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    QVERIFY(window.isOverviewShown());
    window.overview().onActivateIndex(2);
    QVERIFY(!window.isOverviewShown());
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_10.png")));
    QCOMPARE(m_beeps, 1);
}

QTEST_MAIN(TestBrowserWindow)
#include "tst_browserwindow.moc"
