#include "AppSettings.h"
#include "ColorWell.h"
#include "ImageCanvasView.h"
#include "MarkupArrowheadStyle.h"
#include "MarkupTool.h"
#include "SegmentedControl.h"
#include "SymbolImage.h"
#include "SystemBeep.h"
#include "ThumbnailOverviewView.h"
#include "ToolbarStyle.h"
#include "ValueSlider.h"
#include "ViewerContentView.h"
#include "WeakCallback.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace {

// A control that cannot be used right now is drawn at this opacity.
constexpr double dimmedOpacity = 0.45;

QString textSizeTitle(double size)
{
    return QStringLiteral("%1pt").arg(std::lround(size));
}

// Hands a slider's change to an engine setter so that one drag of the handle is one undo step:
// the first change opens it, the release closes it, and a change on its own is a whole step.
void applySliderChange(const ValueSlider* slider,
                       const std::function<void(double, MarkupEngine::EventKind)>& apply)
{
    using EventKind = MarkupEngine::EventKind;
    const double value = slider->value();
    switch (slider->lastChange()) {
    case ValueSlider::Change::dragStarted:
        apply(value, EventKind::leftButtonPress);
        break;
    case ValueSlider::Change::dragged:
        apply(value, EventKind::other);
        break;
    case ValueSlider::Change::released:
        apply(value, EventKind::leftButtonRelease);
        break;
    case ValueSlider::Change::single:
        apply(value, EventKind::leftButtonPress);
        apply(value, EventKind::leftButtonRelease);
        break;
    }
}

// Shows a confirm button with its title at full width, or, compact, as a symbol only.
void setConfirmButtonDensity(QPushButton* button, const QString& title, const QString& symbol,
                             const QColor& symbolColor, bool compact)
{
    button->setToolTip(title);
    const QVariant wasCompact = button->property("symbolOnly");
    if (wasCompact.isValid() && wasCompact.toBool() == compact) {
        return;
    }
    ToolbarStyle::setStyleProperty(button, "symbolOnly", compact);
    button->setText(compact ? QString() : title);
    button->setIcon(compact ? SymbolImage::icon(symbol, symbolColor) : QIcon());
    button->setFixedWidth(compact ? ViewerContentView::compactConfirmButtonWidth
                                  : ViewerContentView::confirmButtonWidth);
}

// Hands the overview's selected indexes, else the current image's, to `request`; beeps when
// there is neither.
void requestForOverviewSelection(const ThumbnailOverviewView& overview, int currentIndex,
                                 const std::function<void(const QList<int>&)>& request)
{
    const QList<int> indexes = overview.selectedIndexes(std::max(0, currentIndex - 1));
    if (indexes.isEmpty()) {
        SystemBeep::beep();
        return;
    }
    if (request) {
        request(indexes);
    }
}

} // namespace

void ViewerContentView::wireControls()
{
    connect(m_overviewButton, &QPushButton::clicked, this,
            &ViewerContentView::handleOverviewButtonPressed);
    connect(m_cropButton, &QPushButton::clicked, this, &ViewerContentView::enterCropMode);
    connect(m_cropCancelButton, &QPushButton::clicked, this, &ViewerContentView::exitCropMode);
    connect(m_cropSaveCopyButton, &QPushButton::clicked, this, &ViewerContentView::saveCrop);
    connect(m_markupButton, &QPushButton::clicked, this, [this] {
        setMarkupMode(true);
        m_markupButton->setChecked(false);
    });
    connect(m_markupCancelButton, &QPushButton::clicked, this, &ViewerContentView::cancelMarkup);
    connect(m_markupApplyButton, &QPushButton::clicked, this, &ViewerContentView::saveMarkup);

    m_markupToolControl->onSegmentSelected = bindWeak(
        this, [](ViewerContentView* view, int segment) { view->handleMarkupToolChanged(segment); });
    m_markupStrokeColorWell->onColorChanged = bindWeak(
        this, [](ViewerContentView* view, const QColor&) { view->handleStrokeColorChanged(); });
    m_markupFillColorWell->onColorChanged = bindWeak(
        this, [](ViewerContentView* view, const QColor&) { view->handleFillColorChanged(); });
    m_markupTextSizeSlider->onValueChanged =
        bindWeak(this, [](ViewerContentView* view, double) { view->handleTextSizeChanged(); });
    m_markupArrowThicknessSlider->onValueChanged = bindWeak(
        this, [](ViewerContentView* view, double) { view->handleArrowLineWidthChanged(); });
    m_markupArrowHeadWidthSlider->onValueChanged = bindWeak(
        this, [](ViewerContentView* view, double) { view->handleArrowHeadWidthChanged(); });
    m_markupArrowHeadSlider->onValueChanged =
        bindWeak(this, [](ViewerContentView* view, double) { view->handleArrowHeadSizeChanged(); });
    m_markupArrowheadControl->onSegmentSelected =
        bindWeak(this, [](ViewerContentView* view, int segment) {
            view->handleArrowheadStyleChanged(segment);
        });

    const auto engineCommand = [this](void (MarkupEngine::*command)()) {
        return [this, command] {
            (m_canvas->markupEngine().*command)();
            updateMarkupControls();
            showOverlayTemporarily(false);
        };
    };
    connect(m_markupUndoButton, &QPushButton::clicked, this, engineCommand(&MarkupEngine::undo));
    connect(m_markupRedoButton, &QPushButton::clicked, this, engineCommand(&MarkupEngine::redo));
    connect(m_markupClearButton, &QPushButton::clicked, this, engineCommand(&MarkupEngine::clear));

    m_thumbnailSizeSlider->onValueChanged =
        bindWeak(this, [](ViewerContentView* view, double side) {
            view->m_thumbnailOverview->setThumbnailSideLength(side);
            view->showOverlayTemporarily(false);
        });
    m_thumbnailStyleControl->onSegmentSelected =
        bindWeak(this, [](ViewerContentView* view, int segment) {
            view->m_thumbnailOverview->setThumbnailContentMode(
                segment == 1 ? ThumbnailContentMode::fillAndCrop : ThumbnailContentMode::fit);
            view->showOverlayTemporarily(false);
        });

    connect(m_editToolbarMoveButton, &QPushButton::clicked, this,
            &ViewerContentView::handleEditToolbarMovePressed);
    connect(m_settingsButton, &QPushButton::clicked, this, [this] {
        if (onSettingsRequested) {
            onSettingsRequested();
        }
    });
    connect(m_resetViewButton, &QPushButton::clicked, this,
            &ViewerContentView::handleResetViewPressed);
    connect(m_undoToastButton, &QPushButton::clicked, this, [this] {
        if (onUndoDeleteRequested) {
            onUndoDeleteRequested();
        }
    });
}

void ViewerContentView::handleOverviewButtonPressed()
{
    if (m_totalCount < 1) {
        SystemBeep::beep();
        updateOverviewButtonLook();
        return;
    }
    setOverviewMode(m_overviewButton->isChecked(), true);
    // The button shows the mode, also when the request changed nothing.
    updateOverviewButtonLook();
}

void ViewerContentView::handleMarkupToolChanged(int segment)
{
    const std::optional<MarkupTool> tool = MarkupTool::fromRawValue(segment);
    if (!tool) {
        return;
    }
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.setTool(*tool);
    engine.resetDraft();
    m_canvas->update();
    saveMarkupToolDefaults();
    m_canvas->updateMarkupCursor();
    updateMarkupControls();
    showOverlayTemporarily(false);
}

void ViewerContentView::handleStrokeColorChanged()
{
    const QColor color = m_markupStrokeColorWell->color();
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.setStrokeColor(color);
    saveMarkupToolDefaults();
    // A selected annotation takes the colour too, as one undo step.
    engine.updateSelectedAnnotationStrokeColor(color);
    showOverlayTemporarily(false);
}

void ViewerContentView::handleFillColorChanged()
{
    // Only new shapes take the fill; a selected annotation keeps its own.
    m_canvas->markupEngine().setFillColor(m_markupFillColorWell->color());
    saveMarkupToolDefaults();
    showOverlayTemporarily(false);
}

void ViewerContentView::handleTextSizeChanged()
{
    // Text comes in whole points.
    const long size = std::lround(m_markupTextSizeSlider->value());
    m_canvas->markupEngine().setTextFontSize(double(size));
    saveMarkupToolDefaults();
    m_markupTextSizeLabel->setText(textSizeTitle(double(size)));
    showOverlayTemporarily(false);
}

void ViewerContentView::applyArrowSlider(const ValueSlider* slider, ArrowSetter setter)
{
    MarkupEngine& engine = m_canvas->markupEngine();
    applySliderChange(slider, [&engine, setter](double value, MarkupEngine::EventKind event) {
        (engine.*setter)(value, event);
    });
    saveMarkupToolDefaults();
    showOverlayTemporarily(false);
}

void ViewerContentView::handleArrowLineWidthChanged()
{
    applyArrowSlider(m_markupArrowThicknessSlider, &MarkupEngine::setArrowLineWidth);
}

void ViewerContentView::handleArrowHeadSizeChanged()
{
    applyArrowSlider(m_markupArrowHeadSlider, &MarkupEngine::setArrowHeadScale);
}

void ViewerContentView::handleArrowHeadWidthChanged()
{
    applyArrowSlider(m_markupArrowHeadWidthSlider, &MarkupEngine::setArrowHeadWidthScale);
}

void ViewerContentView::handleArrowheadStyleChanged(int segment)
{
    const std::optional<MarkupArrowheadStyle> style = MarkupArrowheadStyle::fromRawValue(segment);
    if (!style) {
        return;
    }
    // One click restyles a selected arrow as one undo step.
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.setArrowheadStyle(*style, MarkupEngine::EventKind::leftButtonPress);
    engine.setArrowheadStyle(*style, MarkupEngine::EventKind::leftButtonRelease);
    saveMarkupToolDefaults();
    showOverlayTemporarily(false);
}

void ViewerContentView::handleEditToolbarMovePressed()
{
    const EditToolbarPlacement placement =
        AppSettings::editToolbarPlacement() == EditToolbarPlacement::bottom
            ? EditToolbarPlacement::top
            : EditToolbarPlacement::bottom;
    AppSettings::setEditToolbarPlacement(placement);
    updateOverlayPlacement();
    keepOverlayVisibleFor(keepOverlayAfterPlacementChangeMs);
    if (!m_suppressOverlay) {
        fadeOverlayIn();
        restartHideTimer();
    }
}

void ViewerContentView::handleResetViewPressed()
{
    m_canvas->resetView();
    showOverlayTemporarily(false);
}

void ViewerContentView::saveMarkupToolDefaults()
{
    m_canvas->markupDefaultsStore().save(m_canvas->markupEngine().currentToolDefaults());
}

void ViewerContentView::syncMarkupControlsFromCanvas()
{
    const MarkupEngine& engine = m_canvas->markupEngine();
    m_markupToolControl->setSelectedSegment(engine.tool().rawValue());
    m_markupStrokeColorWell->setColor(engine.strokeColor());
    m_markupFillColorWell->setColor(engine.fillColor());
    m_markupTextSizeSlider->setValue(engine.textFontSize());
    m_markupTextSizeLabel->setText(textSizeTitle(engine.textFontSize()));
    m_markupArrowThicknessSlider->setValue(engine.arrowLineWidth());
    m_markupArrowHeadWidthSlider->setValue(engine.arrowHeadWidthScale());
    m_markupArrowHeadSlider->setValue(engine.arrowHeadScale());
    m_markupArrowheadControl->setSelectedSegment(engine.arrowheadStyle().rawValue());
}

void ViewerContentView::updateCropControls()
{
    const bool available = !m_isOverviewModeEnabled && !m_isMarkupModeEnabled && m_totalCount >= 1;
    m_cropButton->setVisible(available && !m_isCropModeEnabled);
    m_cropCancelButton->setVisible(available && m_isCropModeEnabled);
    m_cropSaveCopyButton->setVisible(available && m_isCropModeEnabled);
    updateConfirmButtonDensity();
    updateSeparators();
}

void ViewerContentView::updateMarkupControls()
{
    syncMarkupControlsFromCanvas();
    const MarkupEngine& engine = m_canvas->markupEngine();
    const bool available = !m_isOverviewModeEnabled && !m_isCropModeEnabled && m_totalCount > 0;
    const bool editing = available && m_isMarkupModeEnabled;

    // A selected annotation decides which style controls apply; without one, the tool does.
    const int toolSegment = m_markupToolControl->selectedSegment();
    const std::optional<MarkupTool> tool = MarkupTool::fromRawValue(toolSegment);
    const std::optional<MarkupAnnotation> selected = engine.selectedAnnotation();
    const bool textContext =
        selected ? selected->shape.kind() == MarkupShape::Kind::text : tool == MarkupTool::text;
    const bool arrowContext = selected ? selected->shape.isArrow() : tool == MarkupTool::arrow;

    const bool toolRowWasShown = !m_markupToolRow->isHidden();
    m_markupToolRow->setVisible(editing);

    m_markupButton->setVisible(available && !editing);
    m_markupButton->setEnabled(available);
    m_markupCancelButton->setVisible(editing);
    m_markupApplyButton->setVisible(editing);
    m_markupApplyButton->setEnabled(engine.hasAnnotations());

    m_markupToolControl->setVisible(editing);
    m_markupStrokeColorWell->setVisible(editing);
    m_markupFillColorWell->setVisible(editing && !textContext);
    const bool strokeEnabled = tool != MarkupTool::blur;
    m_markupStrokeColorWell->setEnabled(strokeEnabled);
    m_markupStrokeColorWell->setOpacity(strokeEnabled ? 1 : dimmedOpacity);
    const bool fillEnabled = tool && tool->supportsFill();
    m_markupFillColorWell->setEnabled(fillEnabled);
    m_markupFillColorWell->setOpacity(fillEnabled && tool->usesColors() ? 1 : dimmedOpacity);

    m_markupTextSizeLabel->setVisible(editing && textContext);
    m_markupTextSizeSlider->setVisible(editing && textContext);
    // Where the window is too narrow for the whole row, the sliders' titles give way (their tool
    // tips stay) rather than the controls running into each other.
    const bool titled = width() >= compactConfirmWidthThreshold;
    for (QLabel* title :
         {m_markupArrowThicknessLabel, m_markupArrowHeadWidthLabel, m_markupArrowHeadLabel}) {
        title->setVisible(editing && arrowContext && titled);
    }
    for (QWidget* control : {static_cast<QWidget*>(m_markupArrowThicknessSlider),
                             static_cast<QWidget*>(m_markupArrowheadControl),
                             static_cast<QWidget*>(m_markupArrowHeadWidthSlider),
                             static_cast<QWidget*>(m_markupArrowHeadSlider)}) {
        control->setVisible(editing && arrowContext);
    }

    m_markupUndoButton->setVisible(editing);
    m_markupRedoButton->setVisible(editing);
    m_markupClearButton->setVisible(editing);
    m_markupUndoButton->setEnabled(engine.canUndo());
    m_markupRedoButton->setEnabled(engine.canRedo());
    m_markupClearButton->setEnabled(engine.hasAnnotations());

    // The overlay grows by the tool row: only a change of height needs a new layout.
    if (toolRowWasShown != editing) {
        updateOverlayPlacement();
    } else {
        updateEditOverlayControls();
    }
    m_markupButton->setChecked(false);
    updateConfirmButtonDensity();
    updateSeparators();
}

void ViewerContentView::updateEditOverlayControls()
{
    m_editToolbarMoveButton->setVisible(m_isCropModeEnabled || m_isMarkupModeEnabled);
    const bool atBottom = AppSettings::editToolbarPlacement() == EditToolbarPlacement::bottom;
    const QString toolTip = atBottom ? QStringLiteral("Dock edit controls at top")
                                     : QStringLiteral("Dock edit controls at bottom");
    // A new icon re-lays out the overlay: only when the placement changed.
    if (m_editToolbarMoveButton->toolTip() == toolTip) {
        return;
    }
    m_editToolbarMoveButton->setIcon(
        SymbolImage::icon(atBottom ? QStringLiteral("dock.arrow.up.rectangle")
                                   : QStringLiteral("dock.arrow.down.rectangle")));
    m_editToolbarMoveButton->setToolTip(toolTip);
}

void ViewerContentView::updateConfirmButtonDensity()
{
    setConfirmButtonDensity(m_cropCancelButton, QStringLiteral("Cancel"), QString(), QColor(),
                            false);
    setConfirmButtonDensity(m_cropSaveCopyButton, QStringLiteral("Apply"), QString(), QColor(),
                            false);
    const bool compact = m_isMarkupModeEnabled && width() < compactConfirmWidthThreshold;
    setConfirmButtonDensity(m_markupCancelButton, QStringLiteral("Cancel"), QStringLiteral("xmark"),
                            ToolbarStyle::cancelColor, compact);
    setConfirmButtonDensity(m_markupApplyButton, QStringLiteral("Apply"),
                            QStringLiteral("checkmark"), ToolbarStyle::primaryTextColor, compact);
    syncConfirmToolbarButton(m_cropCancelButton, ConfirmRole::cancel);
    syncConfirmToolbarButton(m_cropSaveCopyButton, ConfirmRole::confirm);
    syncConfirmToolbarButton(m_markupCancelButton, ConfirmRole::cancel);
    syncConfirmToolbarButton(m_markupApplyButton, ConfirmRole::confirm);
}

void ViewerContentView::updateOverviewButtonLook()
{
    const bool overview = m_isOverviewModeEnabled;
    m_overviewButton->setChecked(overview);
    const QString title = overview ? QStringLiteral("Detail") : QStringLiteral("Overview");
    if (m_overviewButton->text() == title) {
        return;
    }
    m_overviewButton->setText(title);
    m_overviewButton->setIcon(
        SymbolImage::icon(overview ? QStringLiteral("photo") : QStringLiteral("square.grid.2x2")));
}

void ViewerContentView::updateSeparators()
{
    m_modeSeparator->setVisible(m_isCropModeEnabled || m_isMarkupModeEnabled);
    m_historySeparator->setVisible(m_isMarkupModeEnabled);
    m_actionSeparator->setVisible(m_isMarkupModeEnabled);
    m_placementSeparator->setVisible(m_isCropModeEnabled);
    m_viewSeparator->setVisible(true);
    updateToolbarGroupVisibility();
}

void ViewerContentView::updateToolbarGroupVisibility()
{
    for (QWidget* group : std::as_const(m_collapsibleToolbarGroups)) {
        const QLayout* layout = group->layout();
        bool hasShownMember = false;
        for (int i = 0; i < layout->count() && !hasShownMember; ++i) {
            const QWidget* member = layout->itemAt(i)->widget();
            hasShownMember = member && !member->isHidden();
        }
        group->setVisible(hasShownMember);
    }
}

void ViewerContentView::requestPrintFromOverview()
{
    requestForOverviewSelection(*m_thumbnailOverview, m_currentIndex, onThumbnailPrintRequested);
}

void ViewerContentView::requestDeleteFromOverview()
{
    requestForOverviewSelection(*m_thumbnailOverview, m_currentIndex, onThumbnailDeleteRequested);
}
