#include "ImageCanvasView.h"
#include "ImageLoadingPipeline.h"
#include "MiniNavigatorView.h"
#include "SystemBeep.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewView.h"
#include "ViewerContentView.h"
#include "ViewerPresenter.h"
#include "ViewerWindowController.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestViewerPresenter : public QObject
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
    void navigatorShowsWhileZoomedInAndRecentres();
    void overviewShowsTheFolderAndOpensTheActivatedImage();

private:
    QUrl urlOf(const QString& name) const { return QUrl::fromLocalFile(m_dir.filePath(name)); }

    QTemporaryDir m_dir;
    std::function<void()> m_previousSink;
    int m_beeps = 0;
};

void TestViewerPresenter::initTestCase()
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

void TestViewerPresenter::cleanupTestCase()
{
    SystemBeep::setSink(m_previousSink);
}

void TestViewerPresenter::init()
{
    m_beeps = 0;
}

void TestViewerPresenter::opensAtTheGivenFileAndStepsWithArrowKeys()
{
    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    ViewerContentView& view = window.content();
    QSignalSpy shown(&window, &ViewerPresenter::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_2.png"))));
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_2.png")));

    QTest::keyClick(&view, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_10.png")));

    QTest::keyClick(&view, Qt::Key_Left);
    QTest::keyClick(&view, Qt::Key_Left);
    QTRY_COMPARE(window.shownUrl(), urlOf(QStringLiteral("a_1.png")));
    QCOMPARE(window.sequence().currentIndex(), 0);
    QCOMPARE(m_beeps, 0);
}

void TestViewerPresenter::beepsAtBothEnds()
{
    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    ViewerContentView& view = window.content();
    QSignalSpy shown(&window, &ViewerPresenter::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_10.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&view, Qt::Key_Right);
    QCOMPARE(m_beeps, 1);
    QCOMPARE(window.sequence().currentIndex(), 2);

    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&view, Qt::Key_Left);
    QCOMPARE(m_beeps, 2);
    QCOMPARE(window.sequence().currentIndex(), 0);
}

void TestViewerPresenter::refusesWhatIsNotAnImage()
{
    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    QVERIFY(!window.open(urlOf(QStringLiteral("notes.txt"))));
    QVERIFY(!window.open(urlOf(QStringLiteral("missing.png"))));
    QCOMPARE(m_beeps, 2);
    QVERIFY(window.shownUrl().isEmpty());
}

void TestViewerPresenter::paintsTheImageFittedAndCentred()
{
    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    ViewerContentView& view = window.content();
    view.window()->resize(400, 400);
    QSignalSpy shown(&window, &ViewerPresenter::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    // A 2:1 image in a square window fills the width and is centred vertically.
    const QImage frame = view.grab().toImage();
    const auto colourAt = [&frame](int x, int y) {
        return frame.pixelColor(QPoint(x, y) * frame.devicePixelRatio());
    };
    QCOMPARE(colourAt(200, 200), QColor(Qt::red));
    QCOMPARE(colourAt(5, 105), QColor(Qt::red));
    QCOMPARE(colourAt(395, 295), QColor(Qt::red));
    QCOMPARE(colourAt(200, 90), QColor(Qt::black));
    QCOMPARE(colourAt(200, 310), QColor(Qt::black));
}

void TestViewerPresenter::previewTakesTheRectangleOfTheFullImage()
{
    // A photo large enough for a reduced decode to pay.
    QImage photo(1600, 1200, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    const QString path = m_dir.filePath(QStringLiteral("b_photo.jpg"));
    QVERIFY(photo.save(path, "jpeg"));

    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    ViewerContentView& view = window.content();
    view.window()->resize(400, 300);
    // The canvas takes the window's size when the window is laid out on screen.
    window.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(view.window()));
    QSignalSpy previewed(&window, &ViewerPresenter::previewShown);
    QSignalSpy shown(&window, &ViewerPresenter::imageShown);
    QRectF previewRect;
    QImage previewFrame;
    connect(&window, &ViewerPresenter::previewShown, this, [&] {
        QVERIFY(window.isShowingPreview());
        QVERIFY(window.shownImage().width() < 1600);
        previewRect = window.imageRect();
        previewFrame = view.canvas()->grab().toImage();
    });
    QVERIFY(window.open(QUrl::fromLocalFile(path)));
    QVERIFY(shown.wait());
    QCOMPARE(previewed.size(), 1);
    QVERIFY(!window.isShowingPreview());
    QCOMPARE(window.shownImage().size(), QSize(1600, 1200));
    QCOMPARE(window.imageRect(), previewRect);
    QCOMPARE(previewRect, QRectF(0, 0, 400, 300));
    QCOMPARE(view.canvas()->grab().toImage(), previewFrame);

    // Shown again from the cache: no preview.
    QTest::keyClick(&view, Qt::Key_Left);
    QVERIFY(shown.wait());
    QTest::keyClick(&view, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(previewed.size(), 1);
}

void TestViewerPresenter::keysZoomAndResetTheView_data()
{
    QTest::addColumn<QList<QKeyCombination>>("keys");
    QTest::addColumn<double>("expectedScale");

    const QKeyCombination plus(Qt::ShiftModifier, Qt::Key_Plus);
    QTest::newRow("+") << QList<QKeyCombination>{plus} << 1.25;
    QTest::newRow("Ctrl+=") << QList<QKeyCombination>{Qt::ControlModifier | Qt::Key_Equal} << 1.25;
    QTest::newRow("+ twice, -") << QList<QKeyCombination>{plus, plus, Qt::Key_Minus} << 1.25;
    QTest::newRow("+, Ctrl+0") << QList<QKeyCombination>{plus, Qt::ControlModifier | Qt::Key_0}
                               << 1.0;
}

void TestViewerPresenter::keysZoomAndResetTheView()
{
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(double, expectedScale);

    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    ViewerContentView& view = window.content();
    view.window()->resize(400, 400);
    window.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(view.window()));
    QSignalSpy shown(&window, &ViewerPresenter::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    const QRectF fitted = window.imageRect();
    QCOMPARE(fitted, QRectF(0, 100, 400, 200));

    for (const QKeyCombination key : keys) {
        QTest::keyClick(&view, key.key(), key.keyboardModifiers());
    }
    // The zoom keys scale about the window's centre.
    const QRectF zoomed = window.imageRect();
    QVERIFY(std::abs(zoomed.width() - fitted.width() * expectedScale) < 1e-6);
    QVERIFY(std::abs(zoomed.height() - fitted.height() * expectedScale) < 1e-6);
    QVERIFY(std::abs(zoomed.center().x() - 200) < 1e-6);
    QVERIFY(std::abs(zoomed.center().y() - 200) < 1e-6);
    QCOMPARE(m_beeps, 0);
}

void TestViewerPresenter::navigatorShowsWhileZoomedInAndRecentres()
{
    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    ViewerContentView& view = window.content();
    QSignalSpy shown(&window, &ViewerPresenter::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    const MiniNavigatorView& navigator = (*view.miniNavigatorView());
    QVERIFY(!navigator.isVisibleTo(&view));

    for (int step = 0; step < 4; ++step) {
        QTest::keyClick(&view, Qt::Key_Plus);
    }
    QVERIFY(navigator.isVisibleTo(&view));
    QCOMPARE(navigator.mapTo(&view, QPoint(navigator.width(), navigator.height())),
             QPoint(view.width() - 16, view.height() - 16));
    // A click at the miniature's left edge brings the image's left part into view.
    const QPointF before = view.canvas()->contentOffset();
    QTest::mouseClick(const_cast<MiniNavigatorView*>(&navigator), Qt::LeftButton, {},
                      QPoint(2, navigator.height() / 2));
    QVERIFY(view.canvas()->contentOffset().x() > before.x());

    // Hidden in markup mode (which keeps the zoom) and at the fitted size.
    view.setMarkupMode(true);
    QVERIFY(!navigator.isVisibleTo(&view));
    QTest::keyClick(&view, Qt::Key_Escape);
    QVERIFY(navigator.isVisibleTo(&view));
    QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
    QVERIFY(!navigator.isVisibleTo(&view));
}

void TestViewerPresenter::overviewShowsTheFolderAndOpensTheActivatedImage()
{
    ImageLoadingPipeline pipeline;
    ViewerPresenter window(pipeline);
    ViewerContentView& view = window.content();
    QTest::keyClick(&view, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_beeps, 1); // nothing to show yet

    QSignalSpy shown(&window, &ViewerPresenter::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_2.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&view, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(view.isOverviewModeEnabled());
    QCOMPARE((*view.thumbnailOverview()).selectedIndex(), 1);
    QVERIFY(!(*view.miniNavigatorView()).isVisibleTo(&view));

    // Leaving with several images selected shows the first of them.
    QItemSelectionModel* selection = (*view.thumbnailOverview()).collectionView()->selectionModel();
    const QAbstractItemModel* model = (*view.thumbnailOverview()).collectionView()->model();
    selection->select(model->index(0, 0), QItemSelectionModel::ClearAndSelect);
    selection->select(model->index(2, 0), QItemSelectionModel::Select);
    QTest::keyClick(&view, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!view.isOverviewModeEnabled());
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_1.png")));

    QTest::keyClick(&view, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(view.isOverviewModeEnabled());
    (*view.thumbnailOverview()).onActivateIndex(2);
    QVERIFY(!view.isOverviewModeEnabled());
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_10.png")));
    QCOMPARE(m_beeps, 1);
}

QTEST_MAIN(TestViewerPresenter)
#include "tst_viewerpresenter.moc"
