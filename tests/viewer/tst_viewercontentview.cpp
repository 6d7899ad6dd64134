#include "AppSettings.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "MarkupToolDefaultsStore.h"
#include "SystemBeep.h"
#include "TestImageFiles.h"
#include "ThumbnailOverviewView.h"
#include "TranslucentPanel.h"
#include "ViewerContentView.h"
#include "ViewerTestSupport.h"
#include "ViewerWindowController.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

MarkupAnnotation rectangleAnnotation()
{
    return MarkupAnnotation(MarkupShape::rectangle(QRectF(0.1, 0.1, 0.5, 0.5)), Qt::red,
                            Qt::transparent, 0.01, 5, 1, MarkupArrowheadStyle::end);
}

void addAnnotation(ImageCanvasView& canvas)
{
    MarkupEngine& engine = canvas.markupEngine();
    engine.captureUndoState();
    engine.appendAnnotation(rectangleAnnotation());
    engine.finalizeHistoryCapture();
}

QString modeName(const ViewerContentView& view)
{
    if (view.isOverviewModeEnabled()) {
        return QStringLiteral("overview");
    }
    if (view.isCropModeEnabled()) {
        return QStringLiteral("crop");
    }
    return view.isMarkupModeEnabled() ? QStringLiteral("markup") : QStringLiteral("view");
}

// Forgets the settings these tests write, so each starts from the defaults.
void removeStoredSettings()
{
    for (const char* key : {"overlayHideDelaySeconds", "editToolbarPlacement", "dockEditToolbar"}) {
        UserDefaults::standard().remove(QString::fromLatin1(key));
    }
}

} // namespace

class TestViewerContentView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void modesFollowTheirRules_data();
    void modesFollowTheirRules();
    void infoLabelNamesPositionAndState_data();
    void infoLabelNamesPositionAndState();
    void resetButtonOnlyWhenTheViewDiffersFromFitted_data();
    void resetButtonOnlyWhenTheViewDiffersFromFitted();
    void overlayHidesAfterTheDelayUnlessThePointerRestsOnIt();
    void overlayStaysUpWhileEditingAndRevealsOnlyNearIt();
    void editToolbarPlacementAndDocking_data();
    void editToolbarPlacementAndDocking();
    void keyTableRows_data();
    void keyTableRows();
    void keyTableWinsOverWindowShortcuts();
    void markupKeysAndTheTextEditorKeepingItsKeys();
    void arrowKeysStepWithoutRevealingTheOverlay();
    void spacePausesAnAnimation();
    void savingMarkup();
    void undoToastHidesAfterItsTimer();
    void clearReturnsToTheEmptyState();
    void windowControllerBuildsTheWindow();

private:
    // A shown, active content view with an image and three images counted, in view mode.
    std::unique_ptr<ViewerContentView> makeView(bool withImages = true);

    BeepCounter m_beeps;
    QStringList m_calls;
};

void TestViewerContentView::init()
{
    m_beeps.count = 0;
    m_calls.clear();
    removeStoredSettings();
    MarkupToolDefaultsStore::standard().reset();
}

void TestViewerContentView::cleanup()
{
    removeStoredSettings();
}

std::unique_ptr<ViewerContentView> TestViewerContentView::makeView(bool withImages)
{
    auto view = std::make_unique<ViewerContentView>();
    view->resize(1200, 800);
    view->show();
    view->activateWindow();
    if (!QTest::qWaitForWindowActive(view.get())) {
        qWarning("the view did not become active");
    }
    if (withImages) {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        view->canvas()->setImage(image, false);
        view->setCurrentIndex(1);
        view->setTotalCount(3);
        view->thumbnailOverview()->update({QUrl::fromLocalFile(QStringLiteral("/a.png")),
                                           QUrl::fromLocalFile(QStringLiteral("/b.png")),
                                           QUrl::fromLocalFile(QStringLiteral("/c.png"))},
                                          0);
        view->updateInfoLabel();
        view->updateOverviewButtonAppearance();
        view->updateCropControls();
        view->updateMarkupControls();
    }
    const auto record = [this](const char* name) { return [this, name] { m_calls << name; }; };
    const auto recordIndexes = [this](const char* name) {
        return [this, name](const QList<int>& indexes) {
            m_calls << QStringLiteral("%1%2").arg(name).arg(indexes.value(0, -1));
        };
    };
    view->onOpenRequested = record("open");
    view->onPrintRequested = record("print");
    view->onDeleteRequested = record("delete");
    view->onNextRequested = record("next");
    view->onPreviousRequested = record("previous");
    view->onThumbnailPrintRequested = recordIndexes("print");
    view->onThumbnailDeleteRequested = recordIndexes("delete");
    view->onThumbnailSelected = [this](int index) {
        m_calls << QStringLiteral("select%1").arg(index);
    };
    view->onCropSaveRequested = [this](std::optional<QRectF> rect) {
        m_calls << (rect ? QStringLiteral("saveCrop") : QStringLiteral("saveCropWithout"));
    };
    return view;
}

void TestViewerContentView::modesFollowTheirRules_data()
{
    QTest::addColumn<bool>("withImages");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("expectedMode");
    QTest::addColumn<int>("expectedBeeps");

    QTest::newRow("crop") << true << QStringList{"crop"} << "crop" << 0;
    QTest::newRow("markup") << true << QStringList{"markup"} << "markup" << 0;
    QTest::newRow("overview") << true << QStringList{"overview"} << "overview" << 0;
    QTest::newRow("markup ends crop") << true << QStringList{"crop", "markup"} << "markup" << 0;
    QTest::newRow("crop ends markup") << true << QStringList{"markup", "crop"} << "crop" << 0;
    QTest::newRow("overview ends crop")
        << true << QStringList{"crop", "overview"} << "overview" << 0;
    QTest::newRow("overview ends markup")
        << true << QStringList{"markup", "overview"} << "overview" << 0;
    QTest::newRow("no crop in overview")
        << true << QStringList{"overview", "crop"} << "overview" << 1;
    QTest::newRow("no markup in overview")
        << true << QStringList{"overview", "markup"} << "overview" << 1;
    QTest::newRow("crop twice") << true << QStringList{"crop", "crop"} << "crop" << 1;
    QTest::newRow("no crop without images") << false << QStringList{"crop"} << "view" << 1;
    QTest::newRow("no markup without images") << false << QStringList{"markup"} << "view" << 1;
}

void TestViewerContentView::modesFollowTheirRules()
{
    QFETCH(bool, withImages);
    QFETCH(QStringList, requests);
    QFETCH(QString, expectedMode);
    QFETCH(int, expectedBeeps);

    const auto view = makeView(withImages);
    for (const QString& request : requests) {
        enterMode(*view, request);
    }
    QCOMPARE(modeName(*view), expectedMode);
    QCOMPARE(m_beeps.count, expectedBeeps);
    // The canvas follows the edit modes; the grid replaces it in the overview.
    QCOMPARE(view->canvas()->isCropModeEnabled(), expectedMode == u"crop");
    QCOMPARE(view->canvas()->isMarkupModeEnabled(), expectedMode == u"markup");
    QCOMPARE(view->canvas()->isVisibleTo(view.get()), expectedMode != u"overview");
    QCOMPARE(view->thumbnailOverview()->isVisibleTo(view.get()), expectedMode == u"overview");
    const auto* cropButton = view->findChild<QPushButton*>(QStringLiteral("cropButton"));
    QVERIFY(cropButton != nullptr);
    QCOMPARE(cropButton->isVisibleTo(view.get()), withImages && expectedMode == u"view");
}

void TestViewerContentView::infoLabelNamesPositionAndState_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no images") << 0 << "view" << 1.0 << "";
    QTest::newRow("fitted") << 3 << "view" << 1.0 << "1/3  100%";
    QTest::newRow("zoomed") << 3 << "view" << 1.5 << "1/3  150%";
    QTest::newRow("rounded") << 3 << "view" << 1.2346 << "1/3  123%";
    QTest::newRow("overview") << 3 << "overview" << 1.0 << "1/3  Overview";
    QTest::newRow("crop") << 3 << "crop" << 1.0 << "1/3  Crop";
    QTest::newRow("markup") << 3 << "markup" << 1.0 << "1/3  Markup";
}

void TestViewerContentView::infoLabelNamesPositionAndState()
{
    QFETCH(int, total);
    QFETCH(QString, mode);
    QFETCH(double, zoom);
    QFETCH(QString, expected);

    const auto view = makeView(total > 0);
    view->canvas()->adjustZoom(zoom, std::nullopt);
    enterMode(*view, mode);
    view->updateInfoLabel();
    QCOMPARE(view->infoLabel()->text(), expected);
}

void TestViewerContentView::resetButtonOnlyWhenTheViewDiffersFromFitted_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("fitted") << 1.0 << "view" << false;
    QTest::newRow("zoom below what shows") << 1.00005 << "view" << false;
    QTest::newRow("zoomed") << 1.01 << "view" << true;
    QTest::newRow("zoomed in markup") << 2.0 << "markup" << false;
}

void TestViewerContentView::resetButtonOnlyWhenTheViewDiffersFromFitted()
{
    QFETCH(double, zoom);
    QFETCH(QString, mode);
    QFETCH(bool, enabled);

    const auto view = makeView();
    view->canvas()->adjustZoom(zoom, std::nullopt);
    enterMode(*view, mode);
    const auto* reset = view->findChild<QPushButton*>(QStringLiteral("resetViewButton"));
    QVERIFY(reset != nullptr);
    QCOMPARE(reset->isEnabled(), enabled);
}

void TestViewerContentView::overlayHidesAfterTheDelayUnlessThePointerRestsOnIt()
{
    AppSettings::setOverlayHideDelaySeconds(0.05);
    const auto view = makeView();
    const TranslucentPanel& overlay = *view->overlay();

    QTest::mouseMove(view.get(), QPoint(600, 500));
    QCOMPARE(overlay.targetAlpha(), 1.0);
    QVERIFY(view->hideTimer() != nullptr);
    QCOMPARE(view->hideTimer()->interval(), 50);
    QTRY_COMPARE(overlay.targetAlpha(), 0.0);
    QVERIFY(view->hideTimer() == nullptr || !view->hideTimer()->isActive());

    // Resting on the overlay keeps it: each expiry restarts the timer.
    QTest::mouseMove(view.get(), overlay.geometry().center());
    QCOMPARE(overlay.targetAlpha(), 1.0);
    QTest::qWait(200);
    QCOMPARE(overlay.targetAlpha(), 1.0);

    // Leaving the window hides it at once.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.get(), &leave);
    QCOMPARE(overlay.targetAlpha(), 0.0);
}

void TestViewerContentView::overlayStaysUpWhileEditingAndRevealsOnlyNearIt()
{
    AppSettings::setOverlayHideDelaySeconds(0.02);
    const auto view = makeView();
    view->enterCropMode();
    const TranslucentPanel& overlay = *view->overlay();
    QCOMPARE(overlay.targetAlpha(), 1.0);
    QVERIFY(view->hideTimer() == nullptr);

    const QRect frame = overlay.geometry();
    QVERIFY(view->pointRevealsOverlay(QPointF(frame.center().x(), frame.bottom() + 11)));
    QVERIFY(!view->pointRevealsOverlay(QPointF(frame.center().x(), frame.bottom() + 14)));
    // Far from the overlay the pointer neither reveals nor hides it.
    QTest::mouseMove(view.get(), QPoint(600, 700));
    QCOMPARE(overlay.targetAlpha(), 1.0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.get(), &leave);
    QCOMPARE(overlay.targetAlpha(), 1.0);
}

void TestViewerContentView::editToolbarPlacementAndDocking_data()
{
    QTest::addColumn<bool>("atBottom");
    QTest::addColumn<bool>("docked");
    QTest::addColumn<QRect>("expectedOverlay");
    QTest::addColumn<QRect>("expectedCanvas");

    QTest::newRow("top, docked") << false << true << QRect(12, 8, 1176, 70)
                                 << QRect(0, 86, 1200, 714);
    QTest::newRow("top, floating")
        << false << false << QRect(12, 8, 1176, 70) << QRect(0, 0, 1200, 800);
    QTest::newRow("bottom, docked")
        << true << true << QRect(12, 718, 1176, 70) << QRect(0, 0, 1200, 710);
    QTest::newRow("bottom, floating")
        << true << false << QRect(12, 718, 1176, 70) << QRect(0, 0, 1200, 800);
}

void TestViewerContentView::editToolbarPlacementAndDocking()
{
    QFETCH(bool, atBottom);
    QFETCH(bool, docked);
    QFETCH(QRect, expectedOverlay);
    QFETCH(QRect, expectedCanvas);

    AppSettings::setEditToolbarPlacement(atBottom ? EditToolbarPlacement::bottom
                                                  : EditToolbarPlacement::top);
    AppSettings::setEditToolbarDocked(docked);
    const auto view = makeView();
    // View mode ignores both settings.
    QCOMPARE(view->overlay()->geometry(), QRect(12, 8, 1176, 70));
    QCOMPARE(view->canvas()->geometry(), QRect(0, 0, 1200, 800));

    view->enterCropMode();
    QCOMPARE(view->overlay()->geometry(), expectedOverlay);
    QCOMPARE(view->canvas()->geometry(), expectedCanvas);
    // The move button puts the toolbar at the other edge and keeps it up under the pointer.
    auto* move = view->findChild<QPushButton*>(QStringLiteral("editToolbarMoveButton"));
    QVERIFY(move != nullptr && move->isVisibleTo(view.get()));
    move->click();
    QCOMPARE(AppSettings::editToolbarPlacement(),
             atBottom ? EditToolbarPlacement::top : EditToolbarPlacement::bottom);
    QCOMPARE(view->overlay()->geometry().top(), atBottom ? 8 : 718);
}

void TestViewerContentView::keyTableRows_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("expectedCalls");
    QTest::addColumn<QString>("expectedMode");
    QTest::addColumn<int>("expectedBeeps");

    const int ctrl = Qt::ControlModifier;
    const int ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    QTest::newRow("Esc leaves crop") << "crop" << int(Qt::Key_Escape) << 0 << ""
                                     << "view" << 0;
    QTest::newRow("Return saves crop") << "crop" << int(Qt::Key_Return) << 0 << "saveCrop"
                                       << "view" << 0;
    QTest::newRow("keypad Enter saves crop")
        << "crop" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "saveCrop"
        << "view" << 0;
    QTest::newRow("Esc leaves markup") << "markup" << int(Qt::Key_Escape) << 0 << ""
                                       << "view" << 0;
    QTest::newRow("Esc in view mode") << "view" << int(Qt::Key_Escape) << 0 << ""
                                      << "view" << 0;
    QTest::newRow("Ctrl+Backspace deletes") << "view" << int(Qt::Key_Backspace) << ctrl << "delete"
                                            << "view" << 0;
    QTest::newRow("Ctrl+Delete in overview")
        << "overview" << int(Qt::Key_Delete) << ctrl << "delete0"
        << "overview" << 0;
    QTest::newRow("Ctrl+O opens") << "view" << int(Qt::Key_O) << ctrl << "open"
                                  << "view" << 0;
    QTest::newRow("Ctrl+Shift+O opens too") << "view" << int(Qt::Key_O) << ctrlShift << "open"
                                            << "view" << 0;
    QTest::newRow("Ctrl+P prints") << "view" << int(Qt::Key_P) << ctrl << "print"
                                   << "view" << 0;
    QTest::newRow("Ctrl+P in overview") << "overview" << int(Qt::Key_P) << ctrl << "print0"
                                        << "overview" << 0;
    QTest::newRow("Ctrl+0 keeps crop") << "crop" << int(Qt::Key_0) << ctrl << ""
                                       << "crop" << 0;
    QTest::newRow("Ctrl+Shift+G shows overview") << "view" << int(Qt::Key_G) << ctrlShift << ""
                                                 << "overview" << 0;
    QTest::newRow("Ctrl+Shift+G leaves overview")
        << "overview" << int(Qt::Key_G) << ctrlShift << "select0"
        << "view" << 0;
    QTest::newRow("Right moves the grid's selection") << "overview" << int(Qt::Key_Right) << 0 << ""
                                                      << "overview" << 0;
    QTest::newRow("Ctrl+G alone") << "view" << int(Qt::Key_G) << ctrl << ""
                                  << "view" << 0;
    QTest::newRow("Ctrl+Shift+G without images") << "empty" << int(Qt::Key_G) << ctrlShift << ""
                                                 << "view" << 1;
}

void TestViewerContentView::keyTableRows()
{
    QFETCH(QString, mode);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, expectedCalls);
    QFETCH(QString, expectedMode);
    QFETCH(int, expectedBeeps);

    const auto view = makeView(mode != u"empty");
    enterMode(*view, mode);
    const std::optional<QRectF> selection = view->canvas()->currentCropRectNormalized();
    // The keys go to whatever has the focus: the grid in the overview, the view otherwise.
    QWidget* focus =
        QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : view.get();
    QTest::keyClick(focus, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_calls.join(u','), expectedCalls);
    QCOMPARE(modeName(*view), expectedMode);
    QCOMPARE(m_beeps.count, expectedBeeps);
    if (expectedMode == u"crop") {
        QCOMPARE(view->canvas()->currentCropRectNormalized(), selection);
    }
    if (key == Qt::Key_Right && mode == u"overview") {
        QCOMPARE(view->thumbnailOverview()->selectedIndexes(-1), QList<int>{1});
    }
}

void TestViewerContentView::keyTableWinsOverWindowShortcuts()
{
    const auto view = makeView();
    // Menu items are window shortcuts; the table's keys must reach the table first.
    QStringList triggered;
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::CTRL | Qt::Key_Q)}) {
        auto* action = new QAction(view.get());
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this,
                [&triggered, keys] { triggered << keys.toString(QKeySequence::PortableText); });
        view->addAction(action);
    }
    QTest::keyClick(view.get(), Qt::Key_P, Qt::ControlModifier);
    view->setOverviewMode(true, false);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(m_calls.join(u','), QStringLiteral("print,print0"));
    QCOMPARE(triggered, QStringList{QStringLiteral("Ctrl+Q")});
}

void TestViewerContentView::markupKeysAndTheTextEditorKeepingItsKeys()
{
    const auto view = makeView();
    view->setMarkupMode(true);
    ImageCanvasView& canvas = *view->canvas();
    addAnnotation(canvas);

    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!canvas.markupEngine().hasAnnotations());
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(canvas.markupEngine().hasAnnotations());

    // Keys typed into the text editor stay there: no undo, no stepping, no leaving the mode.
    canvas.markupEngine().setTool(MarkupTool::text);
    canvas.showMarkupTextField(QPointF(600, 400));
    MarkupTextView* editor = canvas.markupTextView();
    QVERIFY(editor != nullptr);
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("Hi"));
    QTest::keyClick(editor, Qt::Key_Left);
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(canvas.markupEngine().hasAnnotations());
    QVERIFY(m_calls.isEmpty());
    QVERIFY(view->isMarkupModeEnabled());
}

void TestViewerContentView::arrowKeysStepWithoutRevealingTheOverlay()
{
    const auto view = makeView();
    view->hideOverlayImmediately();
    // The owner reveals the overlay on every image change, as the controller does.
    view->onNextRequested = [this, &view] {
        m_calls << QStringLiteral("next");
        view->showOverlayTemporarily(true);
    };
    QTest::keyClick(view.get(), Qt::Key_Right);
    QTest::keyClick(view.get(), Qt::Key_Left);
    QCOMPARE(m_calls.join(u','), QStringLiteral("next,previous"));
    QCOMPARE(view->overlay()->targetAlpha(), 0.0);
    QVERIFY(!view->isOverlaySuppressed());
}

void TestViewerContentView::savingMarkup()
{
    const auto view = makeView();
    QList<MarkupAnnotation> saved;
    bool saveSucceeds = false;
    view->onMarkupSaveRequested = [&](const QList<MarkupAnnotation>& annotations) {
        saved = annotations;
        return saveSucceeds;
    };

    // Nothing drawn: the mode just ends.
    view->setMarkupMode(true);
    view->saveMarkup();
    QVERIFY(!view->isMarkupModeEnabled());
    QVERIFY(saved.isEmpty());

    // A failed save keeps the mode and the annotations and says so.
    view->setMarkupMode(true);
    addAnnotation(*view->canvas());
    view->saveMarkup();
    QCOMPARE(saved.size(), 1);
    QVERIFY(view->isMarkupModeEnabled());
    QVERIFY(view->canvas()->markupEngine().hasAnnotations());
    QCOMPARE(view->undoToastLabel()->text(), QStringLiteral("Could not save markup copy"));
    QVERIFY(view->undoToast()->isVisibleTo(view.get()));
    QVERIFY(!view->undoToastButton()->isVisibleTo(view.get()));
    QCOMPARE(m_beeps.count, 1);

    saveSucceeds = true;
    view->saveMarkup();
    QVERIFY(!view->isMarkupModeEnabled());
    QCOMPARE(m_beeps.count, 1);
}

void TestViewerContentView::undoToastHidesAfterItsTimer()
{
    const auto view = makeView();
    // It starts hidden and transparent, so the first showing fades in.
    QVERIFY(!view->undoToast()->isVisibleTo(view.get()));
    QCOMPARE(view->undoToast()->alpha(), 0.0);
    view->undoToastLabel()->setText(QStringLiteral("Moved to Trash"));
    view->setUndoToastVisible(true, false);
    QCOMPARE(view->undoToast()->alpha(), 1.0);
    view->restartUndoToastHideTimer();
    const QTimer* timer = view->undoToastHideTimer();
    QVERIFY(timer != nullptr && timer->isActive());
    QCOMPARE(timer->interval(), 5000);
    QCOMPARE(timer->isSingleShot(), true);

    // Let it run out early.
    const_cast<QTimer*>(timer)->start(1);
    QTRY_VERIFY(!view->undoToast()->isVisibleTo(view.get()));

    // Shown again while a hide fades out, it stays.
    view->setUndoToastVisible(true, false);
    view->setUndoToastVisible(false, true);
    view->setUndoToastVisible(true, true);
    QTest::qWait(ViewerContentView::undoToastFadeOutMs * 3);
    QVERIFY(view->undoToast()->isVisibleTo(view.get()));
    QCOMPARE(view->undoToast()->targetAlpha(), 1.0);
}

void TestViewerContentView::clearReturnsToTheEmptyState()
{
    const auto view = makeView();
    view->fileLabel()->setText(QStringLiteral("a.png"));
    view->enterCropMode();
    view->setUndoToastVisible(true, false);
    view->restartUndoToastHideTimer();
    view->clear();
    QCOMPARE(modeName(*view), QStringLiteral("view"));
    QCOMPARE(view->fileLabel()->text(), QStringLiteral("No image selected"));
    QCOMPARE(view->infoLabel()->text(), QString());
    QVERIFY(!view->canvas()->hasImage());
    QVERIFY(!view->undoToast()->isVisibleTo(view.get()));
    QVERIFY(view->undoToastHideTimer() == nullptr);
    const auto* overviewButton = view->findChild<QPushButton*>(QStringLiteral("overviewButton"));
    QVERIFY(overviewButton != nullptr && !overviewButton->isEnabled());
}

void TestViewerContentView::windowControllerBuildsTheWindow()
{
    ViewerWindowController controller;
    QWidget& window = *controller.window();
    QCOMPARE(window.windowTitle(), QStringLiteral("vistrel.app"));
    QCOMPARE(window.size(), QSize(1200, 800));
    QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::black));
    controller.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(controller.content().geometry(), QRect(0, 0, 1200, 800));

    // Closing keeps the window for the next show; clear() restores the title.
    window.setWindowTitle(QStringLiteral("a.png"));
    window.close();
    QVERIFY(!window.isVisible());
    controller.clear();
    QCOMPARE(window.windowTitle(), QStringLiteral("vistrel.app"));
    controller.showWindow();
    QVERIFY(window.isVisible());
}

// Space pauses and resumes an animation, and is left alone for still images.
void TestViewerContentView::spacePausesAnAnimation()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("count.png"));
    const QRect whole(0, 0, 8, 8);
    QVERIFY(TestImageFiles::writeBytes(
        path,
        TestImageFiles::apngOf(
            {8, 8},
            {{whole, Qt::red, 3, 100}, {whole, Qt::green, 3, 100}, {whole, Qt::blue, 3, 100}}, 0)));
    const auto view = makeView();
    AnimationPlayer& player = view->canvas()->animationPlayer();
    QTest::keyClick(view.get(), Qt::Key_Space);
    QVERIFY(!player.isPaused());

    view->canvas()->setImage(QImage(path), false);
    view->canvas()->playAnimation(path);
    QTRY_VERIFY(player.currentFrameIndex() > 0);
    QTest::keyClick(view.get(), Qt::Key_Space);
    QVERIFY(player.isPaused());
    const int frame = player.currentFrameIndex();
    QCOMPARE(view->infoLabel()->text(), QStringLiteral("1/3  100%  frame %1/3").arg(frame + 1));
    QTest::qWait(120);
    QCOMPARE(player.currentFrameIndex(), frame);

    QTest::keyClick(view.get(), Qt::Key_Space);
    QVERIFY(!player.isPaused());
    QCOMPARE(view->infoLabel()->text(), QStringLiteral("1/3  100%"));
    QTRY_VERIFY(player.currentFrameIndex() != frame);
    QCOMPARE(m_beeps.count, 0);
}

QTEST_MAIN(TestViewerContentView)
#include "tst_viewercontentview.moc"
