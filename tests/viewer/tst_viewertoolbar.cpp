#include "AppSettings.h"
#include "ColorWell.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "MarkupToolDefaultsStore.h"
#include "SegmentedControl.h"
#include "SystemBeep.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewView.h"
#include "TranslucentPanel.h"
#include "ValueSlider.h"
#include "ViewerContentView.h"
#include "ViewerTestSupport.h"

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <memory>

namespace {

// Every control whose visibility follows the mode, by object name.
const QStringList modeControlNames = {
    "overviewButton",
    "cropButton",
    "cropCancelButton",
    "cropSaveCopyButton",
    "markupButton",
    "markupCancelButton",
    "markupApplyButton",
    "markupToolRow",
    "markupToolControl",
    "markupStrokeColorWell",
    "markupFillColorWell",
    "markupUndoButton",
    "markupRedoButton",
    "markupClearButton",
    "thumbnailSliderLabel",
    "thumbnailSizeSlider",
    "thumbnailStyleControl",
    "editToolbarMoveButton",
    "settingsButton",
    "resetViewButton",
    "infoLabel",
    "modeSeparator",
    "historySeparator",
    "placementSeparator",
    "viewSeparator",
    "actionSeparator",
};

const QStringList textSizeControlNames = {"markupTextSizeSlider", "markupTextSizeLabel"};
const QStringList arrowControlNames = {"markupArrowThicknessSlider", "markupArrowThicknessLabel",
                                       "markupArrowheadControl",     "markupArrowHeadWidthSlider",
                                       "markupArrowHeadWidthLabel",  "markupArrowHeadSlider",
                                       "markupArrowHeadLabel"};

MarkupAnnotation annotation(MarkupShape shape)
{
    return {std::move(shape), Qt::red, Qt::transparent, 0.01, 5, 1, MarkupArrowheadStyle::end};
}

std::optional<MarkupAnnotation> annotationOfKind(const QString& kind)
{
    if (kind == u"text") {
        return annotation(MarkupShape::text(QPointF(0.3, 0.4), QStringLiteral("Note"), 0.05));
    }
    if (kind == u"arrow") {
        return annotation(MarkupShape::arrow(QPointF(0.2, 0.2), QPointF(0.7, 0.6)));
    }
    if (kind == u"rectangle") {
        return annotation(MarkupShape::rectangle(QRectF(0.1, 0.1, 0.4, 0.3)));
    }
    return std::nullopt;
}

} // namespace

class TestViewerToolbar : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controlsShownPerMode_data();
    void controlsShownPerMode();
    void markupConfirmButtonsTurnCompactWhenNarrow_data();
    void markupConfirmButtonsTurnCompactWhenNarrow();
    void toolRowControlsNeverOverlap_data();
    void toolRowControlsNeverOverlap();
    void styleControlsFollowSelectionThenTool_data();
    void styleControlsFollowSelectionThenTool();
    void colorWellsFollowTheTool_data();
    void colorWellsFollowTheTool();
    void textSizeIsStoredInWholePoints_data();
    void textSizeIsStoredInWholePoints();
    void strokeColorRecoloursTheSelectionAndIsStored();
    void arrowSliderDragIsOneUndoStep();
    void emptyGroupsCollapse_data();
    void emptyGroupsCollapse();
    void overviewButtonMirrorsTheMode();
    void moveButtonTogglesThePlacement_data();
    void moveButtonTogglesThePlacement();
    void printAndDeleteFromOverview_data();
    void printAndDeleteFromOverview();
    void valueSliderKeepsExactValues_data();
    void valueSliderKeepsExactValues();
    void segmentedControlReportsOnlyUserChoices();
    void elidedLabelShortensInTheMiddle_data();
    void elidedLabelShortensInTheMiddle();

private:
    // A shown view of `width` x 800 with one image, in view mode.
    void makeView(int width = 1400, int count = 1);
    template <typename T = QWidget> T* control(const QString& name) const
    {
        auto* found = m_view->findChild<T*>(name);
        if (!found) {
            qFatal("no control %s", qPrintable(name));
        }
        return found;
    }
    bool isShown(const QString& name) const
    {
        return control(name)->isVisibleTo(m_view->overlay());
    }

    std::unique_ptr<ViewerContentView> m_view;
    BeepCounter m_beeps;
};

void TestViewerToolbar::init()
{
    m_beeps.count = 0;
    MarkupToolDefaultsStore::standard().reset();
    UserDefaults::standard().remove(QStringLiteral("editToolbarPlacement"));
}

void TestViewerToolbar::cleanup()
{
    m_view.reset();
    MarkupToolDefaultsStore::standard().reset();
    UserDefaults::standard().remove(QStringLiteral("editToolbarPlacement"));
}

void TestViewerToolbar::makeView(int width, int count)
{
    m_view = std::make_unique<ViewerContentView>();
    m_view->resize(width, 800);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    m_view->canvas()->setImage(image, false);
    m_view->setTotalCount(count);
    m_view->setCurrentIndex(count > 0 ? 1 : 0);
    m_view->updateInfoLabel();
    m_view->updateOverviewButtonAppearance();
    m_view->updateCropControls();
    m_view->updateMarkupControls();
}

void TestViewerToolbar::controlsShownPerMode_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("overlayHeight");

    const QStringList always = {"overviewButton", "settingsButton", "resetViewButton", "infoLabel",
                                "viewSeparator"};
    QTest::newRow("view") << 1 << "view" << always + QStringList{"cropButton", "markupButton"}
                          << ViewerContentView::overlayHeight;
    QTest::newRow("view without images")
        << 0 << "view" << always << ViewerContentView::overlayHeight;
    QTest::newRow("crop") << 1 << "crop"
                          << always + QStringList{"cropCancelButton", "cropSaveCopyButton",
                                                  "editToolbarMoveButton", "modeSeparator",
                                                  "placementSeparator"}
                          << ViewerContentView::overlayHeight;
    QTest::newRow("markup") << 1 << "markup"
                            << always +
                                   QStringList{"markupCancelButton",    "markupApplyButton",
                                               "markupToolRow",         "markupToolControl",
                                               "markupStrokeColorWell", "markupFillColorWell",
                                               "markupUndoButton",      "markupRedoButton",
                                               "markupClearButton",     "editToolbarMoveButton",
                                               "modeSeparator",         "historySeparator",
                                               "actionSeparator"}
                            << ViewerContentView::overlayHeightWithToolRow;
    QTest::newRow("overview") << 1 << "overview"
                              << always + QStringList{"thumbnailSliderLabel", "thumbnailSizeSlider",
                                                      "thumbnailStyleControl"}
                              << ViewerContentView::overlayHeight;
}

void TestViewerToolbar::controlsShownPerMode()
{
    QFETCH(int, count);
    QFETCH(QString, mode);
    QFETCH(QStringList, shown);
    QFETCH(int, overlayHeight);

    makeView(1400, count);
    enterMode(*m_view, mode);

    for (const QString& name : modeControlNames) {
        QVERIFY2(isShown(name) == shown.contains(name), qPrintable(name));
    }
    QCOMPARE(m_view->overlay()->height(), overlayHeight);
    // Leaving the mode brings the view-mode toolbar back.
    m_view->exitCropMode();
    m_view->setMarkupMode(false);
    m_view->setOverviewMode(false, false);
    QCOMPARE(isShown("markupToolRow"), false);
    QCOMPARE(isShown("cropButton"), count > 0);
    QCOMPARE(m_view->overlay()->height(), ViewerContentView::overlayHeight);
}

void TestViewerToolbar::markupConfirmButtonsTurnCompactWhenNarrow_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<bool>("compact");

    const int threshold = ViewerContentView::compactConfirmWidthThreshold;
    QTest::newRow("markup just below") << "markup" << QList<int>{threshold - 1} << true;
    QTest::newRow("markup at the threshold") << "markup" << QList<int>{threshold} << false;
    QTest::newRow("markup widened again") << "markup" << QList<int>{900, threshold} << false;
    QTest::newRow("markup narrowed") << "markup" << QList<int>{1600, threshold - 1} << true;
    QTest::newRow("crop never changes") << "crop" << QList<int>{threshold - 1} << false;
}

void TestViewerToolbar::markupConfirmButtonsTurnCompactWhenNarrow()
{
    QFETCH(QString, mode);
    QFETCH(QList<int>, widths);
    QFETCH(bool, compact);

    makeView();
    enterMode(*m_view, mode);
    for (int width : widths) {
        m_view->resize(width, 800);
    }

    const QString prefix = mode == u"markup" ? QStringLiteral("markup") : QStringLiteral("crop");
    const auto* cancel = control<QPushButton>(prefix + "CancelButton");
    const auto* apply =
        control<QPushButton>(prefix + (mode == u"markup" ? "ApplyButton" : "SaveCopyButton"));
    const int width = compact ? ViewerContentView::compactConfirmButtonWidth
                              : ViewerContentView::confirmButtonWidth;
    QCOMPARE(cancel->text(), compact ? QString() : QStringLiteral("Cancel"));
    QCOMPARE(apply->text(), compact ? QString() : QStringLiteral("Apply"));
    QCOMPARE(cancel->icon().isNull(), !compact);
    QCOMPARE(apply->icon().isNull(), !compact);
    QCOMPARE(cancel->maximumWidth(), width);
    QCOMPARE(apply->minimumWidth(), width);
    QCOMPARE(cancel->toolTip(), QStringLiteral("Cancel"));
    QCOMPARE(apply->toolTip(), QStringLiteral("Apply"));
}

void TestViewerToolbar::toolRowControlsNeverOverlap_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("titled");

    QTest::newRow("small window") << 860 << false;
    QTest::newRow("just below the compact width") << 1179 << false;
    QTest::newRow("wide") << 1400 << true;
}

// With the arrow tool, the longest tool row: every control shown keeps its own place.
void TestViewerToolbar::toolRowControlsNeverOverlap()
{
    QFETCH(int, width);
    QFETCH(bool, titled);

    makeView(width);
    m_view->canvas()->markupEngine().setTool(MarkupTool::arrow);
    m_view->setMarkupMode(true);
    QWidget* row = control(QStringLiteral("markupToolRow"));
    m_view->overlay()->layout()->activate();
    QList<QRect> placed;
    for (QWidget* widget : row->findChildren<QWidget*>()) {
        // Leaves only: buttons, wells, sliders, labels, each segment of a segmented control.
        const bool leaf = widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty();
        if (!leaf || !widget->isVisibleTo(row)) {
            continue;
        }
        const QRect rect(widget->mapTo(row, QPoint()), widget->size());
        QVERIFY2(row->rect().contains(rect), qPrintable(widget->objectName()));
        for (const QRect& other : placed) {
            QVERIFY2(!rect.intersects(other), qPrintable(widget->objectName()));
        }
        placed.append(rect);
    }
    QVERIFY(placed.size() >= 10);
    QCOMPARE(isShown(QStringLiteral("markupArrowHeadLabel")), titled);
}

void TestViewerToolbar::styleControlsFollowSelectionThenTool_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("tool");
    QTest::addColumn<bool>("textControls");
    QTest::addColumn<bool>("arrowControls");
    QTest::addColumn<bool>("fillWell");

    QTest::newRow("pen, nothing selected") << "" << int(MarkupTool::pen) << false << false << true;
    QTest::newRow("text tool") << "" << int(MarkupTool::text) << true << false << false;
    QTest::newRow("arrow tool") << "" << int(MarkupTool::arrow) << false << true << true;
    QTest::newRow("pen, text selected") << "text" << int(MarkupTool::pen) << true << false << false;
    QTest::newRow("text tool, arrow selected")
        << "arrow" << int(MarkupTool::text) << false << true << true;
    QTest::newRow("arrow tool, rectangle selected")
        << "rectangle" << int(MarkupTool::arrow) << false << false << true;
}

void TestViewerToolbar::styleControlsFollowSelectionThenTool()
{
    QFETCH(QString, selected);
    QFETCH(int, tool);
    QFETCH(bool, textControls);
    QFETCH(bool, arrowControls);
    QFETCH(bool, fillWell);

    makeView();
    m_view->setMarkupMode(true);
    MarkupEngine& engine = m_view->canvas()->markupEngine();
    if (const std::optional<MarkupAnnotation> selection = annotationOfKind(selected)) {
        engine.setAnnotations({*selection});
        engine.setSelectedIndex(0);
    }
    control<SegmentedControl>("markupToolControl")->selectSegmentFromUser(tool);
    QCOMPARE(engine.tool().rawValue(), tool);
    QCOMPARE(engine.selectedIndex().has_value(), !selected.isEmpty());

    for (const QString& name : textSizeControlNames) {
        QVERIFY2(isShown(name) == textControls, qPrintable(name));
    }
    for (const QString& name : arrowControlNames) {
        QVERIFY2(isShown(name) == arrowControls, qPrintable(name));
    }
    QCOMPARE(isShown("markupFillColorWell"), fillWell);
    QCOMPARE(isShown("markupStrokeColorWell"), true);
}

void TestViewerToolbar::colorWellsFollowTheTool_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<bool>("strokeEnabled");
    QTest::addColumn<double>("strokeOpacity");
    QTest::addColumn<bool>("fillEnabled");
    QTest::addColumn<double>("fillOpacity");

    QTest::newRow("rectangle") << int(MarkupTool::rectangle) << true << 1.0 << true << 1.0;
    QTest::newRow("ellipse") << int(MarkupTool::ellipse) << true << 1.0 << true << 1.0;
    QTest::newRow("blur") << int(MarkupTool::blur) << false << 0.45 << false << 0.45;
    QTest::newRow("arrow") << int(MarkupTool::arrow) << true << 1.0 << false << 0.45;
    QTest::newRow("pen") << int(MarkupTool::pen) << true << 1.0 << false << 0.45;
    QTest::newRow("text") << int(MarkupTool::text) << true << 1.0 << false << 0.45;
}

void TestViewerToolbar::colorWellsFollowTheTool()
{
    QFETCH(int, tool);
    QFETCH(bool, strokeEnabled);
    QFETCH(double, strokeOpacity);
    QFETCH(bool, fillEnabled);
    QFETCH(double, fillOpacity);

    makeView();
    m_view->setMarkupMode(true);
    control<SegmentedControl>("markupToolControl")->selectSegmentFromUser(tool);

    const auto* stroke = control<ColorWell>("markupStrokeColorWell");
    const auto* fill = control<ColorWell>("markupFillColorWell");
    QCOMPARE(stroke->isEnabled(), strokeEnabled);
    QCOMPARE(stroke->opacity(), strokeOpacity);
    QCOMPARE(fill->isEnabled(), fillEnabled);
    QCOMPARE(fill->opacity(), fillOpacity);
    // The choice survives a restart.
    QCOMPARE(MarkupToolDefaultsStore::standard().load().tool.rawValue(), tool);
}

void TestViewerToolbar::textSizeIsStoredInWholePoints_data()
{
    QTest::addColumn<double>("sliderValue");
    QTest::addColumn<double>("storedSize");
    QTest::addColumn<QString>("title");

    QTest::newRow("23.6 rounds up") << 23.6 << 24.0 << "24pt";
    QTest::newRow("23.4 rounds down") << 23.4 << 23.0 << "23pt";
    QTest::newRow("half rounds away") << 30.5 << 31.0 << "31pt";
    QTest::newRow("beyond the range") << 95.0 << 80.0 << "80pt";
    QTest::newRow("below the range") << 2.0 << 10.0 << "10pt";
}

void TestViewerToolbar::textSizeIsStoredInWholePoints()
{
    QFETCH(double, sliderValue);
    QFETCH(double, storedSize);
    QFETCH(QString, title);

    makeView();
    m_view->setMarkupMode(true);
    control<SegmentedControl>("markupToolControl")->selectSegmentFromUser(MarkupTool::text);
    control<ValueSlider>("markupTextSizeSlider")->setValueFromUser(sliderValue);

    QCOMPARE(m_view->canvas()->markupEngine().textFontSize(), storedSize);
    QCOMPARE(MarkupToolDefaultsStore::standard().load().textFontSize, storedSize);
    QCOMPARE(control<QLabel>("markupTextSizeLabel")->text(), title);
}

void TestViewerToolbar::strokeColorRecoloursTheSelectionAndIsStored()
{
    makeView();
    m_view->setMarkupMode(true);
    MarkupEngine& engine = m_view->canvas()->markupEngine();
    engine.setAnnotations({*annotationOfKind("rectangle")});
    engine.setSelectedIndex(0);

    const QColor blue(0, 0, 255);
    control<ColorWell>("markupStrokeColorWell")->setColorFromUser(blue);

    QCOMPARE(engine.annotations().size(), 1);
    QCOMPARE(engine.annotations().at(0).strokeColor.rgba(), blue.rgba());
    QCOMPARE(MarkupToolDefaultsStore::standard().load().strokeColor.rgba(), blue.rgba());
    // The recolouring is one step back.
    engine.undo();
    QCOMPARE(engine.annotations().at(0).strokeColor.rgba(), QColor(Qt::red).rgba());
}

void TestViewerToolbar::arrowSliderDragIsOneUndoStep()
{
    makeView();
    m_view->setMarkupMode(true);
    MarkupEngine& engine = m_view->canvas()->markupEngine();
    engine.setAnnotations({*annotationOfKind("arrow")});
    engine.setSelectedIndex(0);
    auto* slider = control<ValueSlider>("markupArrowHeadSlider");
    QVERIFY(slider->isVisible());
    const double before = engine.annotations().at(0).arrowHeadScale;
    QCOMPARE(slider->value(), before);

    // Drag the handle (in the middle of the track at 5 of 0 to 10) to the right.
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, y));
    for (int x = slider->width() / 2 + 4; x <= slider->width() - 4; x += 4) {
        QTest::mouseMove(slider, QPoint(x, y));
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() - 4, y));

    QCOMPARE(slider->lastChange(), ValueSlider::Change::released);
    QVERIFY(slider->value() > before);
    QCOMPARE(engine.annotations().at(0).arrowHeadScale, slider->value());
    QCOMPARE(engine.hasCapturedUndoState(), false);
    QCOMPARE(engine.undoStack().size(), 1);
    engine.undo();
    QCOMPARE(engine.annotations().at(0).arrowHeadScale, before);
}

void TestViewerToolbar::emptyGroupsCollapse_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("tool");
    QTest::addColumn<QString>("member");
    QTest::addColumn<bool>("groupShown");

    const int rectangle = MarkupTool::rectangle;
    QTest::newRow("crop buttons in view mode")
        << "view" << rectangle << "cropCancelButton" << false;
    QTest::newRow("crop buttons in crop mode") << "crop" << rectangle << "cropCancelButton" << true;
    QTest::newRow("markup buttons in crop mode")
        << "crop" << rectangle << "markupCancelButton" << false;
    QTest::newRow("thumbnail controls in view mode")
        << "view" << rectangle << "thumbnailSizeSlider" << false;
    QTest::newRow("thumbnail controls in the overview")
        << "overview" << rectangle << "thumbnailSizeSlider" << true;
    QTest::newRow("text size for rectangles")
        << "markup" << rectangle << "markupTextSizeSlider" << false;
    QTest::newRow("text size for text")
        << "markup" << int(MarkupTool::text) << "markupTextSizeSlider" << true;
    QTest::newRow("arrow width for text")
        << "markup" << int(MarkupTool::text) << "markupArrowThicknessSlider" << false;
    QTest::newRow("history while annotating")
        << "markup" << rectangle << "markupUndoButton" << true;
}

void TestViewerToolbar::emptyGroupsCollapse()
{
    QFETCH(QString, mode);
    QFETCH(int, tool);
    QFETCH(QString, member);
    QFETCH(bool, groupShown);

    makeView();
    enterMode(*m_view, mode);
    if (mode == u"markup") {
        control<SegmentedControl>("markupToolControl")->selectSegmentFromUser(tool);
    }
    QWidget* group = control(member)->parentWidget();
    QVERIFY(group != m_view->overlay());
    QCOMPARE(group->isVisibleTo(m_view->overlay()), groupShown);
}

void TestViewerToolbar::overviewButtonMirrorsTheMode()
{
    makeView();
    auto* button = control<QPushButton>("overviewButton");
    QCOMPARE(button->text(), QStringLiteral("Overview"));
    QCOMPARE(button->isChecked(), false);

    m_view->setOverviewMode(true, false);
    QCOMPARE(button->text(), QStringLiteral("Detail"));
    QCOMPARE(button->isChecked(), true);

    button->click();
    QCOMPARE(m_view->isOverviewModeEnabled(), false);
    QCOMPARE(button->text(), QStringLiteral("Overview"));
    QCOMPARE(button->isChecked(), false);
}

void TestViewerToolbar::moveButtonTogglesThePlacement_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("atBottom");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("crop, once") << "crop" << 1 << true << "Dock edit controls at top";
    QTest::newRow("crop, twice") << "crop" << 2 << false << "Dock edit controls at bottom";
    QTest::newRow("markup, once") << "markup" << 1 << true << "Dock edit controls at top";
}

void TestViewerToolbar::moveButtonTogglesThePlacement()
{
    QFETCH(QString, mode);
    QFETCH(int, presses);
    QFETCH(bool, atBottom);
    QFETCH(QString, toolTip);

    makeView();
    enterMode(*m_view, mode);
    auto* button = control<QPushButton>("editToolbarMoveButton");
    QCOMPARE(button->toolTip(), QStringLiteral("Dock edit controls at bottom"));
    for (int i = 0; i < presses; ++i) {
        button->click();
    }

    QCOMPARE(AppSettings::editToolbarPlacement() == EditToolbarPlacement::bottom, atBottom);
    QCOMPARE(button->toolTip(), toolTip);
    const QRect overlay = m_view->overlay()->geometry();
    QCOMPARE(overlay.top() > m_view->height() / 2, atBottom);
}

void TestViewerToolbar::printAndDeleteFromOverview_data()
{
    QTest::addColumn<int>("imageCount");
    QTest::addColumn<QList<int>>("selectedRows");
    QTest::addColumn<int>("currentIndex");
    QTest::addColumn<QList<int>>("requested");

    QTest::newRow("empty overview beeps") << 0 << QList<int>{} << 1 << QList<int>{};
    QTest::newRow("the selection") << 4 << QList<int>{3, 1} << 1 << QList<int>{1, 3};
    QTest::newRow("no selection: the current image") << 4 << QList<int>{} << 3 << QList<int>{2};
    QTest::newRow("no position: the first image") << 4 << QList<int>{} << 0 << QList<int>{0};
}

void TestViewerToolbar::printAndDeleteFromOverview()
{
    QFETCH(int, imageCount);
    QFETCH(QList<int>, selectedRows);
    QFETCH(int, currentIndex);
    QFETCH(QList<int>, requested);

    makeView(1400, imageCount);
    QList<QUrl> urls;
    for (int i = 0; i < imageCount; ++i) {
        urls.append(QUrl::fromLocalFile(QStringLiteral("/nonexistent/%1.png").arg(i)));
    }
    ThumbnailOverviewView* overview = m_view->thumbnailOverview();
    overview->update(urls, 0);
    QItemSelectionModel* selection = overview->collectionView()->selectionModel();
    selection->clearSelection();
    for (int row : selectedRows) {
        selection->select(overview->collectionView()->model()->index(row, 0),
                          QItemSelectionModel::Select);
    }
    m_view->setCurrentIndex(currentIndex);

    QList<QList<int>> printed;
    QList<QList<int>> deleted;
    m_view->onThumbnailPrintRequested = [&printed](const QList<int>& rows) { printed << rows; };
    m_view->onThumbnailDeleteRequested = [&deleted](const QList<int>& rows) { deleted << rows; };
    m_view->requestPrintFromOverview();
    m_view->requestDeleteFromOverview();

    const QList<QList<int>> expected =
        requested.isEmpty() ? QList<QList<int>>{} : QList<QList<int>>{requested};
    QCOMPARE(printed, expected);
    QCOMPARE(deleted, expected);
    QCOMPARE(m_beeps.count, requested.isEmpty() ? 2 : 0);
}

void TestViewerToolbar::valueSliderKeepsExactValues_data()
{
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("initial");
    QTest::addColumn<double>("set");
    QTest::addColumn<double>("expected");

    QTest::newRow("between steps") << 0.45 << 1.8 << 1.0 << 1.2345 << 1.2345;
    QTest::newRow("clamped above") << 1.0 << 8.0 << 4.5 << 9.0 << 8.0;
    QTest::newRow("clamped below") << 70.0 << 240.0 << 120.0 << 10.0 << 70.0;
    QTest::newRow("not a number is ignored") << 0.0 << 10.0 << 5.0 << qQNaN() << 5.0;
}

void TestViewerToolbar::valueSliderKeepsExactValues()
{
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, initial);
    QFETCH(double, set);
    QFETCH(double, expected);

    ValueSlider slider(minimum, maximum, initial);
    QCOMPARE(slider.value(), initial);
    QList<double> reported;
    slider.onValueChanged = [&reported](double value) { reported << value; };
    slider.setValue(set);
    QCOMPARE(slider.value(), expected);
    QVERIFY(reported.isEmpty());

    slider.setValue(initial);
    slider.setValueFromUser(set);
    QCOMPARE(slider.value(), expected);
    QCOMPARE(reported, std::isnan(set) ? QList<double>{} : QList<double>{expected});
    QCOMPARE(slider.lastChange(), ValueSlider::Change::single);
}

void TestViewerToolbar::segmentedControlReportsOnlyUserChoices()
{
    SegmentedControl control({{QString(), "Fit", "Fit"}, {QString(), "Crop", "Crop"}}, 44);
    QList<int> reported;
    control.onSegmentSelected = [&reported](int segment) { reported << segment; };
    QCOMPARE(control.selectedSegment(), -1);

    control.setSelectedSegment(1);
    QCOMPARE(control.selectedSegment(), 1);
    control.setSelectedSegment(-1);
    QCOMPARE(control.selectedSegment(), -1);
    control.selectSegmentFromUser(5);
    QCOMPARE(control.selectedSegment(), -1);
    QVERIFY(reported.isEmpty());

    control.selectSegmentFromUser(0);
    QCOMPARE(control.selectedSegment(), 0);
    QCOMPARE(reported, QList<int>{0});
}

void TestViewerToolbar::elidedLabelShortensInTheMiddle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("elided");

    QTest::newRow("fits") << "IMG_0001.jpg" << 400 << false;
    QTest::newRow("too long") << "a-very-long-holiday-photo-name-from-the-beach-IMG_0001.jpg" << 120
                              << true;
}

void TestViewerToolbar::elidedLabelShortensInTheMiddle()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, elided);

    ElidedLabel label(Qt::ElideMiddle);
    label.setText(text);
    label.resize(width, label.sizeHint().height());
    const QString shown = label.displayedText();
    QCOMPARE(shown == text, !elided);
    // Both ends stay readable.
    QCOMPARE(shown.left(1), text.left(1));
    QCOMPARE(shown.right(3), text.right(3));
    QVERIFY(label.minimumSizeHint().width() < width);
}

QTEST_MAIN(TestViewerToolbar)
#include "tst_viewertoolbar.moc"
