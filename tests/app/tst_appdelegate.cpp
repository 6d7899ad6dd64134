#include "AppDelegate.h"
#include "AppSettings.h"
#include "DuplicateLaunchRequest.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "ImageLoadingPipeline.h"
#include "ImageViewerRuntime.h"
#include "MiniNavigatorView.h"
#include "SystemBeep.h"
#include "TestImageFiles.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewView.h"
#include "TranslucentPanel.h"
#include "UserDefaults.h"
#include "ViewerContentView.h"
#include "ViewerWindowController.h"

#include <QDir>
#include <QImage>
#include <QPrinter>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

namespace {

// Opens `url` and waits until it is on screen at full resolution.
bool openAndWait(AppDelegate& window, const QUrl& url)
{
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    return window.openImage(url) && shown.wait();
}

} // namespace

class TestAppDelegate : public QObject
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
    void anAnimationPlaysUntilTheUserStepsAway();
    void previewTakesTheRectangleOfTheFullImage();
    void keysZoomAndResetTheView_data();
    void keysZoomAndResetTheView();
    void navigatorShowsWhileZoomedInAndRecentres();
    void overviewShowsTheFolderAndOpensTheActivatedImage();
    void aResultAfterTheUserMovedOnIsDropped();
    void aDecodeFailureBeepsAndKeepsTheImage();
    void preservedViewKeepsZoomAndOffset();
    void thumbnailSelectionOutsideTheListBeeps();
    void openFilesOpensTheFirstPathOnly();
    void launchShowsTheWindowEvenForARefusedFile();
    void launchImageURLs_data();
    void launchImageURLs();
    void firstLaunchImageURL_data();
    void firstLaunchImageURL();
    void folderCoverage_data();
    void folderCoverage();
    void folderAccessPanelOnlyForFoldersNotGranted();
    void deletionMovesToTheTrashAndShowsTheNext_data();
    void deletionMovesToTheTrashAndShowsTheNext();
    void deletingAFileRemovedMeanwhileBeeps();
    void undoPutsTheBatchBack();
    void undoNeverReplacesANewcomer();
    void printingTakesEachPositionOnce();
    void copiesJoinTheFolderBesideTheOriginal();

private:
    QUrl urlOf(const QString& name) const { return QUrl::fromLocalFile(m_dir.filePath(name)); }

    QTemporaryDir m_dir;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<UserDefaults> m_defaults;
    std::function<void()> m_previousSink;
    int m_beeps = 0;
};

void TestAppDelegate::initTestCase()
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

void TestAppDelegate::cleanupTestCase()
{
    SystemBeep::setSink(m_previousSink);
}

void TestAppDelegate::init()
{
    m_beeps = 0;
    m_defaults = std::make_unique<UserDefaults>(m_settingsDir.filePath(QStringLiteral("s.conf")));
    UserDefaults::standard().remove(QStringLiteral("preserveViewBetweenImages"));
}

void TestAppDelegate::opensAtTheGivenFileAndStepsWithArrowKeys()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    ViewerContentView& view = window.content();
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QVERIFY(window.openImage(urlOf(QStringLiteral("a_2.png"))));
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_2.png")));

    QTest::keyClick(&view, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_10.png")));

    QTest::keyClick(&view, Qt::Key_Left);
    QTest::keyClick(&view, Qt::Key_Left);
    QTRY_COMPARE(window.shownUrl(), urlOf(QStringLiteral("a_1.png")));
    QCOMPARE(window.imageSequence().currentIndex(), 0);
    QCOMPARE(m_beeps, 0);
}

void TestAppDelegate::beepsAtBothEnds()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    ViewerContentView& view = window.content();
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QVERIFY(window.openImage(urlOf(QStringLiteral("a_10.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&view, Qt::Key_Right);
    QCOMPARE(m_beeps, 1);
    QCOMPARE(window.imageSequence().currentIndex(), 2);

    QVERIFY(window.openImage(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&view, Qt::Key_Left);
    QCOMPARE(m_beeps, 2);
    QCOMPARE(window.imageSequence().currentIndex(), 0);
}

void TestAppDelegate::refusesWhatIsNotAnImage()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    QVERIFY(!window.openImage(urlOf(QStringLiteral("notes.txt"))));
    QVERIFY(!window.openImage(urlOf(QStringLiteral("missing.png"))));
    QCOMPARE(m_beeps, 2);
    QVERIFY(window.shownUrl().isEmpty());
}

void TestAppDelegate::paintsTheImageFittedAndCentred()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    ViewerContentView& view = window.content();
    view.window()->resize(400, 400);
    QVERIFY(openAndWait(window, urlOf(QStringLiteral("a_1.png"))));
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

void TestAppDelegate::anAnimationPlaysUntilTheUserStepsAway()
{
    QTemporaryDir folder;
    const QRect whole(0, 0, 8, 8);
    QVERIFY(TestImageFiles::writeBytes(
        folder.filePath(QStringLiteral("a.png")),
        TestImageFiles::apngOf({8, 8}, {{whole, Qt::red, 1, 10}, {whole, Qt::green, 1, 10}}, 0)));
    QImage still(8, 8, QImage::Format_RGB32);
    still.fill(Qt::blue);
    QVERIFY(still.save(folder.filePath(QStringLiteral("b.png"))));
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    QVERIFY(openAndWait(window, QUrl::fromLocalFile(folder.filePath(QStringLiteral("a.png")))));
    AnimationPlayer& player = window.content().canvas()->animationPlayer();
    QTRY_VERIFY(player.currentFrameIndex() == 1);

    // Stepping drops the frames at once, before the next image arrives.
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QTest::keyClick(&window.content(), Qt::Key_Right);
    QVERIFY(!player.isAnimated());
    QCOMPARE(player.framesAhead(), 0);
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl().fileName(), QStringLiteral("b.png"));
    QVERIFY(!player.isAnimated());
}

void TestAppDelegate::previewTakesTheRectangleOfTheFullImage()
{
    // A photo large enough for a reduced decode to pay.
    QImage photo(1600, 1200, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    const QString path = m_dir.filePath(QStringLiteral("b_photo.jpg"));
    QVERIFY(photo.save(path, "jpeg"));

    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    ViewerContentView& view = window.content();
    view.window()->resize(400, 300);
    // The canvas takes the window's size when the window is laid out on screen.
    window.windowController().showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(view.window()));
    QSignalSpy previewed(&window, &AppDelegate::previewShown);
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QRectF previewRect;
    QImage previewFrame;
    connect(&window, &AppDelegate::previewShown, this, [&] {
        QVERIFY(window.isShowingPreview());
        QVERIFY(window.shownImage().width() < 1600);
        previewRect = window.imageRect();
        previewFrame = view.canvas()->grab().toImage();
    });
    QVERIFY(window.openImage(QUrl::fromLocalFile(path)));
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

void TestAppDelegate::keysZoomAndResetTheView_data()
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

void TestAppDelegate::keysZoomAndResetTheView()
{
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(double, expectedScale);

    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    ViewerContentView& view = window.content();
    view.window()->resize(400, 400);
    window.windowController().showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(view.window()));
    QVERIFY(openAndWait(window, urlOf(QStringLiteral("a_1.png"))));
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

void TestAppDelegate::navigatorShowsWhileZoomedInAndRecentres()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    ViewerContentView& view = window.content();
    QVERIFY(openAndWait(window, urlOf(QStringLiteral("a_1.png"))));
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

void TestAppDelegate::overviewShowsTheFolderAndOpensTheActivatedImage()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    ViewerContentView& view = window.content();
    QTest::keyClick(&view, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_beeps, 1); // nothing to show yet

    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QVERIFY(window.openImage(urlOf(QStringLiteral("a_2.png"))));
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

void TestAppDelegate::aResultAfterTheUserMovedOnIsDropped()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QVERIFY(window.openImage(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    // Two steps before any decode can come back: only the last image is presented.
    window.showNextImage();
    window.showNextImage();
    QVERIFY(shown.wait());
    QTest::qWait(50);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.last().first().toUrl(), urlOf(QStringLiteral("a_10.png")));
    QCOMPARE(window.content().currentIndex(), 3);
}

void TestAppDelegate::aDecodeFailureBeepsAndKeepsTheImage()
{
    QTemporaryDir folder;
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(folder.filePath(QStringLiteral("1.png"))));
    QFile broken(folder.filePath(QStringLiteral("2.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();

    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, QUrl::fromLocalFile(folder.filePath(QStringLiteral("1.png")))));
    window.showNextImage();
    QTRY_COMPARE(m_beeps, 1);
    QCOMPARE(window.shownImage().size(), QSize(60, 40));
    QCOMPARE(window.shownUrl(), QUrl::fromLocalFile(folder.filePath(QStringLiteral("1.png"))));
}

void TestAppDelegate::preservedViewKeepsZoomAndOffset()
{
    AppSettings::setPreserveViewBetweenImagesEnabled(true);
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    ViewerContentView& view = window.content();
    view.window()->resize(400, 400);
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QVERIFY(window.openImage(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    view.canvas()->adjustZoom(3, QPointF(300, 250));
    const double zoom = view.canvas()->zoomFactor();
    const QPointF offset = view.canvas()->contentOffset();
    QVERIFY(zoom > 1 && !offset.isNull());
    window.showNextImage();
    QVERIFY(shown.wait());
    QCOMPARE(view.canvas()->zoomFactor(), zoom);
    QCOMPARE(view.canvas()->contentOffset(), offset);
}

void TestAppDelegate::thumbnailSelectionOutsideTheListBeeps()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, urlOf(QStringLiteral("a_2.png"))));
    window.content().onThumbnailSelected(int(window.imageSequence().urls().size()));
    window.content().onThumbnailSelected(-1);
    QCOMPARE(m_beeps, 2);
    QCOMPARE(window.imageSequence().currentIndex(), 1);
}

void TestAppDelegate::openFilesOpensTheFirstPathOnly()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QSignalSpy shown(&window, &AppDelegate::imageShown);
    QVERIFY(!window.openFiles({}));
    QVERIFY(!window.openFiles({QString()}));
    QVERIFY(window.openFiles(
        {m_dir.filePath(QStringLiteral("a_10.png")), m_dir.filePath(QStringLiteral("a_1.png"))}));
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_10.png")));
}

void TestAppDelegate::launchShowsTheWindowEvenForARefusedFile()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    window.folderAccessPanel = [] { return std::optional<QUrl>(); };
    window.applicationDidFinishLaunching(
        nullptr, {QStringLiteral("vistrel"), m_dir.filePath(QStringLiteral("gone/missing.png"))});
    QCOMPARE(m_beeps, 1);
    QVERIFY(window.windowController().window()->isVisible());
    window.windowController().window()->close();
}

void TestAppDelegate::launchImageURLs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expectedNames");

    QTest::newRow("program only") << QStringList{"vistrel"} << QStringList{};
    QTest::newRow("empty") << QStringList{} << QStringList{};
    QTest::newRow("images in order, duplicates kept")
        << QStringList{"vistrel", "a_2.png", "a_1.png", "a_2.png"}
        << QStringList{"a_2.png", "a_1.png", "a_2.png"};
    QTest::newRow("options and their hyphen values skipped")
        << QStringList{"vistrel", "-psn_0_123", "--style", "-x", "a_1.png"}
        << QStringList{"a_1.png"};
    QTest::newRow("an option's plain value is a path")
        << QStringList{"vistrel", "--name", "a_1.png"} << QStringList{"a_1.png"};
    QTest::newRow("capital extension")
        << QStringList{"vistrel", "SHOUT.JPG"} << QStringList{"SHOUT.JPG"};
    QTest::newRow("text, no extension, folder dropped")
        << QStringList{"vistrel", "notes.txt", "README", "sub/", "."} << QStringList{};
    QTest::newRow("dot components standardized")
        << QStringList{"vistrel", "./x/../a_1.png"} << QStringList{"a_1.png"};
    QTest::newRow("newline in a name")
        << QStringList{"vistrel", "two\nlines.png"} << QStringList{"two\nlines.png"};
}

void TestAppDelegate::launchImageURLs()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expectedNames);

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const QList<QUrl> urls = ImageViewerRuntime::launchImageURLs(arguments);
    QDir::setCurrent(previous);
    QStringList names;
    for (const QUrl& url : urls) {
        QVERIFY(url.isLocalFile());
        QCOMPARE(QFileInfo(url.toLocalFile()).absolutePath(), QDir(m_dir.path()).absolutePath());
        names << url.fileName();
    }
    QCOMPARE(names, expectedNames);
}

void TestAppDelegate::firstLaunchImageURL_data()
{
    QTest::addColumn<QList<QList<QUrl>>>("requests");
    QTest::addColumn<QUrl>("expected");

    const QUrl text = QUrl::fromLocalFile(QStringLiteral("/p/notes.txt"));
    const QUrl a = QUrl::fromLocalFile(QStringLiteral("/p/a.png"));
    const QUrl b = QUrl::fromLocalFile(QStringLiteral("/q/b.JPG"));
    QTest::newRow("none") << QList<QList<QUrl>>{} << QUrl();
    QTest::newRow("empty requests") << QList<QList<QUrl>>{{}, {}} << QUrl();
    QTest::newRow("first not an image") << QList<QList<QUrl>>{{text, a}} << a;
    QTest::newRow("first image of the first request") << QList<QList<QUrl>>{{a}, {b}} << a;
    QTest::newRow("later request when the first has none")
        << QList<QList<QUrl>>{{text}, {b, a}} << b;
    QTest::newRow("standardized") << QList<QList<QUrl>>{{QUrl::fromLocalFile(
                                         QStringLiteral("/p/x/../a.png"))}}
                                  << a;
}

void TestAppDelegate::firstLaunchImageURL()
{
    QFETCH(QList<QList<QUrl>>, requests);
    QFETCH(QUrl, expected);

    QList<DuplicateLaunchRequest> list;
    for (const QList<QUrl>& urls : requests) {
        DuplicateLaunchRequest request;
        request.fileURLs = urls;
        list.append(request);
    }
    QCOMPARE(AppDelegate::firstLaunchImageURL(list).value_or(QUrl()), expected);
}

void TestAppDelegate::folderCoverage_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("root");
    QTest::addColumn<bool>("covered");

    QTest::newRow("same") << "/a/b"
                          << "/a/b" << true;
    QTest::newRow("below") << "/a/b/c"
                           << "/a/b" << true;
    QTest::newRow("sibling with the same start") << "/a/bc"
                                                 << "/a/b" << false;
    QTest::newRow("above") << "/a"
                           << "/a/b" << false;
    QTest::newRow("dot-dot out") << "/a/b/../c"
                                 << "/a/b" << false;
    QTest::newRow("the root covers all") << "/a"
                                         << "/" << true;
}

void TestAppDelegate::folderCoverage()
{
    QFETCH(QString, folder);
    QFETCH(QString, root);
    QFETCH(bool, covered);
    QCOMPARE(AppDelegate::isDirectory(QUrl::fromLocalFile(folder), QUrl::fromLocalFile(root)),
             covered);
}

// A folder that cannot be listed asks for access once; a granted one is remembered and covers
// its subfolders; cancelling the panel beeps.
void TestAppDelegate::folderAccessPanelOnlyForFoldersNotGranted()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    int panels = 0;
    std::optional<QUrl> answer;
    window.folderAccessPanel = [&] {
        ++panels;
        return answer;
    };
    // A missing file in a folder that can be listed: refused, nothing to grant.
    QVERIFY(!window.openImage(urlOf(QStringLiteral("missing.png"))));
    QCOMPARE(panels, 0);
    const QUrl unlistable = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("gone/x.png")));
    QVERIFY(!window.openImage(unlistable));
    QCOMPARE(panels, 1);
    QCOMPARE(m_beeps, 2);

    answer = QUrl::fromLocalFile(m_dir.path());
    QVERIFY(window.requestFolderAccessIfNeeded(
        QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("gone")))));
    QCOMPARE(panels, 2);
    QCOMPARE(window.grantedFolderURL(), QUrl::fromLocalFile(QDir(m_dir.path()).absolutePath()));
    QVERIFY(window.requestFolderAccessIfNeeded(
        QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("sub")))));
    QCOMPARE(panels, 2);

    // Remembered for the next start.
    AppDelegate next(pipeline, *m_defaults);
    next.restoreFolderAccessBookmarkIfAvailable();
    QCOMPARE(next.grantedFolderURL(), window.grantedFolderURL());
}

namespace {

// A folder of small images named `names`, on the same file system as the test's Trash (the
// data home the test environment sets), so moving to the Trash is a rename.
std::unique_ptr<QTemporaryDir> imageFolder(const QStringList& names)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir().mkpath(dataHome);
    auto folder = std::make_unique<QTemporaryDir>(dataHome + QStringLiteral("/images-XXXXXX"));
    for (const QString& name : names) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkYellow);
        image.save(folder->filePath(name));
    }
    return folder;
}

QStringList fileNames(const QList<QUrl>& urls)
{
    QStringList names;
    for (const QUrl& url : urls) {
        names << url.fileName();
    }
    return names;
}

} // namespace

void TestAppDelegate::deletionMovesToTheTrashAndShowsTheNext_data()
{
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("toast");

    QTest::newRow("duplicates and two files")
        << QList<int>{4, 1, 4} << QStringList{"a.png", "c.png", "d.png", "f.png"} << "c.png"
        << "Deleted 2 images";
    QTest::newRow("the last image")
        << QList<int>{5} << QStringList{"a.png", "b.png", "c.png", "d.png", "e.png"} << "e.png"
        << "Deleted f.png";
    QTest::newRow("outside the folder")
        << QList<int>{6, -1} << QStringList{"a.png", "b.png", "c.png", "d.png", "e.png", "f.png"}
        << "a.png"
        << "";
}

void TestAppDelegate::deletionMovesToTheTrashAndShowsTheNext()
{
    QFETCH(QList<int>, indices);
    QFETCH(QStringList, left);
    QFETCH(QString, shown);
    QFETCH(QString, toast);

    const auto folder = imageFolder({"a.png", "b.png", "c.png", "d.png", "e.png", "f.png"});
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, QUrl::fromLocalFile(folder->filePath(QStringLiteral("a.png")))));
    window.deleteImages(indices);
    QCOMPARE(fileNames(window.imageSequence().urls()), left);
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files), left);
    QCOMPARE(m_beeps, toast.isEmpty() ? 1 : 0);
    if (!toast.isEmpty()) {
        QTRY_COMPARE(window.shownUrl().fileName(), shown);
        QCOMPARE(window.content().undoToastLabel()->text(), toast);
        QVERIFY(window.content().undoToast()->isVisibleTo(&window.content()));
    }

    // Deleting every image left clears the window.
    QList<int> all;
    for (int i = 0; i < left.size(); ++i) {
        all << i;
    }
    window.deleteImages(all);
    QVERIFY(window.imageSequence().urls().isEmpty());
    QCOMPARE(window.windowController().window()->windowTitle(), QStringLiteral("vistrel.app"));
    QCOMPARE(window.content().totalCount(), 0);
}

// Another program removed the file after the folder was listed: nothing moves, the list stays.
void TestAppDelegate::deletingAFileRemovedMeanwhileBeeps()
{
    const auto folder = imageFolder({"a.png", "b.png"});
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, QUrl::fromLocalFile(folder->filePath(QStringLiteral("a.png")))));
    QVERIFY(QFile::remove(folder->filePath(QStringLiteral("b.png"))));
    window.deleteImages({1});
    QCOMPARE(m_beeps, 1);
    QCOMPARE(fileNames(window.imageSequence().urls()), (QStringList{"a.png", "b.png"}));
    QVERIFY(window.lastDeletedImages().isEmpty());
}

void TestAppDelegate::undoPutsTheBatchBack()
{
    const auto folder = imageFolder({"a.jpg", "b.jpg", "c.jpg"});
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, QUrl::fromLocalFile(folder->filePath(QStringLiteral("b.jpg")))));
    window.deleteImages({1, 0});
    QCOMPARE(fileNames(window.imageSequence().urls()), QStringList{"c.jpg"});
    window.undoDeleteCurrentImage();
    QCOMPARE(fileNames(window.imageSequence().urls()), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    QTRY_COMPARE(window.shownUrl().fileName(), QStringLiteral("a.jpg"));
    QVERIFY(window.lastDeletedImages().isEmpty());
    QCOMPARE(m_beeps, 0);
    window.undoDeleteCurrentImage();
    QCOMPARE(m_beeps, 1);
}

void TestAppDelegate::undoNeverReplacesANewcomer()
{
    const auto folder = imageFolder({"a.png", "b.png", "c.png"});
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, QUrl::fromLocalFile(folder->filePath(QStringLiteral("a.png")))));
    window.deleteImages({0, 1});
    QFile newcomer(folder->filePath(QStringLiteral("b.png")));
    QVERIFY(newcomer.open(QIODevice::WriteOnly) && newcomer.write("new") == 3);
    newcomer.close();

    window.undoDeleteCurrentImage();
    QCOMPARE(m_beeps, 1);
    QCOMPARE(window.lastDeletedImages().size(), 1);
    QCOMPARE(window.lastDeletedImages().first().originalUrl.fileName(), QStringLiteral("b.png"));
    QFile kept(folder->filePath(QStringLiteral("b.png")));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("new"));
    QVERIFY(QFileInfo::exists(folder->filePath(QStringLiteral("a.png"))));
}

void TestAppDelegate::printingTakesEachPositionOnce()
{
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, urlOf(QStringLiteral("a_1.png"))));
    QTemporaryDir output;
    int confirmations = 0;
    QStringList printed;
    window.confirmPrinting = [&](QPrinter& printer, QWidget*) {
        ++confirmations;
        printer.setOutputFormat(QPrinter::PdfFormat);
        return true;
    };
    window.preparePrintJob = [&](QPrinter& printer, int position) {
        printer.setOutputFileName(output.filePath(QStringLiteral("%1.pdf").arg(position)));
        printed << window.imageSequence().urls().at(position == 0 ? 0 : 2).fileName();
    };
    window.printImages({2, 0, 2});
    QCOMPARE(confirmations, 1);
    QCOMPARE(printed, (QStringList{"a_1.png", "a_10.png"}));
    QVERIFY(QFileInfo(output.filePath(QStringLiteral("0.pdf"))).size() > 0);
    QVERIFY(QFileInfo(output.filePath(QStringLiteral("1.pdf"))).size() > 0);
    window.printImages({9});
    QCOMPARE(m_beeps, 1);
}

void TestAppDelegate::copiesJoinTheFolderBesideTheOriginal()
{
    const auto folder = imageFolder({"a.png", "b.png"});
    ImageLoadingPipeline pipeline;
    AppDelegate window(pipeline, *m_defaults);
    QVERIFY(openAndWait(window, QUrl::fromLocalFile(folder->filePath(QStringLiteral("a.png")))));

    const auto current = [&window] {
        return window.imageSequence().urls().at(window.imageSequence().currentIndex()).fileName();
    };
    const auto sortedNames = [&window] {
        QStringList names = fileNames(window.imageSequence().urls());
        names.sort();
        return names;
    };
    window.saveCropCopy(QRectF(0.25, 0.25, 0.5, 0.5));
    QCOMPARE(sortedNames(), (QStringList{"a.png", "a_crop.png", "b.png"}));
    QCOMPARE(current(), QStringLiteral("a.png"));
    QCOMPARE(QImage(folder->filePath(QStringLiteral("a_crop.png"))).size(), QSize(20, 16));

    const MarkupAnnotation box(MarkupShape::rectangle(QRectF(0.1, 0.1, 0.5, 0.5)), Qt::red,
                               Qt::transparent, 0.01, 5, 1, MarkupArrowheadStyle::end);
    QVERIFY(window.saveMarkupCopy({box}));
    QCOMPARE(sortedNames(), (QStringList{"a.png", "a_crop.png", "a_markup.png", "b.png"}));
    QCOMPARE(current(), QStringLiteral("a.png"));

    // Refusals: a crop with nothing in it beeps; a markup without annotations writes nothing.
    window.saveCropCopy(QRectF(0.5, 0.5, 0, 0));
    QCOMPARE(m_beeps, 1);
    QVERIFY(!window.saveMarkupCopy({}));
    QCOMPARE(window.imageSequence().urls().size(), 4);
}

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
