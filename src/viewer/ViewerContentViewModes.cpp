#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "SegmentedControl.h"
#include "SystemBeep.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewView.h"
#include "TranslucentPanel.h"
#include "ValueSlider.h"
#include "ViewerContentView.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

void ViewerContentView::finishModeChange()
{
    updateInfoLabel();
    updateCropControls();
    updateMarkupControls();
    updateResetButtonState();
    updateNavigatorState();
    if (!m_suppressOverlay) {
        fadeOverlayIn();
        restartHideTimer();
    }
}

void ViewerContentView::setOverviewMode(bool enabled, bool syncSelectionToDetail)
{
    if (enabled == m_isOverviewModeEnabled) {
        return;
    }
    if (enabled) {
        m_isOverviewModeEnabled = true;
        updateOverviewButtonLook();
        exitCropMode();
        setMarkupMode(false);
        updateOverlayPlacement();
        m_thumbnailSliderLabel->show();
        m_thumbnailSizeSlider->show();
        m_thumbnailStyleControl->show();
        m_canvas->hide();
        m_thumbnailOverview->show();
        m_thumbnailOverview->selectCurrentIndex(true);
        // The grid takes the keys while shown: arrows move its selection.
        m_thumbnailOverview->collectionView()->setFocus();
    } else {
        if (syncSelectionToDetail && onThumbnailSelected) {
            const int current = m_thumbnailOverview->selectedIndex();
            const QList<int> selected = m_thumbnailOverview->selectedIndexes(current);
            onThumbnailSelected(selected.value(0, current));
        }
        m_isOverviewModeEnabled = false;
        updateOverviewButtonLook();
        updateOverlayPlacement();
        m_thumbnailSliderLabel->hide();
        m_thumbnailSizeSlider->hide();
        m_thumbnailStyleControl->hide();
        m_thumbnailOverview->hide();
        m_canvas->show();
        setFocus();
    }
    updateSeparators();
    updateToolbarGroupVisibility();
    finishModeChange();
}

void ViewerContentView::leaveOverviewAfterActivation(int index)
{
    setOverviewMode(false, false);
    if (onThumbnailSelected) {
        onThumbnailSelected(index);
    }
}

void ViewerContentView::enterCropMode()
{
    if (m_isOverviewModeEnabled || m_totalCount < 1 || m_isCropModeEnabled) {
        SystemBeep::beep();
        return;
    }
    setMarkupMode(false);
    m_isCropModeEnabled = true;
    m_canvas->setCropModeEnabled(true);
    updateOverlayPlacement();
    m_cropSaveCopyButton->setEnabled(m_canvas->currentCropRectNormalized().has_value());
    finishModeChange();
}

void ViewerContentView::exitCropMode()
{
    if (!m_isCropModeEnabled) {
        return;
    }
    m_isCropModeEnabled = false;
    m_canvas->setCropModeEnabled(false);
    updateOverlayPlacement();
    m_cropSaveCopyButton->setEnabled(false);
    finishModeChange();
}

void ViewerContentView::setMarkupMode(bool enabled)
{
    if (enabled == m_isMarkupModeEnabled) {
        return;
    }
    if (enabled && (m_isOverviewModeEnabled || m_totalCount < 1)) {
        m_markupButton->setChecked(false);
        SystemBeep::beep();
        return;
    }
    if (enabled) {
        exitCropMode();
    }
    m_isMarkupModeEnabled = enabled;
    m_canvas->setMarkupModeEnabled(enabled);
    updateOverlayPlacement();
    finishModeChange();
}

void ViewerContentView::cancelMarkup()
{
    m_canvas->markupEngine().reset();
    setMarkupMode(false);
}

void ViewerContentView::saveCrop()
{
    if (!m_isCropModeEnabled) {
        return;
    }
    const std::optional<QRectF> rect = m_canvas->currentCropRectNormalized();
    if (!rect) {
        SystemBeep::beep();
        return;
    }
    exitCropMode();
    if (onCropSaveRequested) {
        onCropSaveRequested(rect);
    }
}

void ViewerContentView::saveMarkup()
{
    if (!m_isMarkupModeEnabled) {
        return;
    }
    const MarkupEngine& engine = m_canvas->markupEngine();
    if (!engine.hasAnnotations()) {
        setMarkupMode(false);
        return;
    }
    if (onMarkupSaveRequested && onMarkupSaveRequested(engine.annotations())) {
        setMarkupMode(false);
        return;
    }
    // The annotations stay, so the user can try again or take another way.
    m_undoToastButton->hide();
    m_undoToastLabel->setText(QStringLiteral("Could not save markup copy"));
    setUndoToastVisible(true, true);
    restartUndoToastHideTimer();
    SystemBeep::beep();
}

void ViewerContentView::clear()
{
    m_currentIndex = 0;
    m_totalCount = 0;
    m_fileLabel->setText(QStringLiteral("No image selected"));
    m_pathLabel->setText(QString());
    m_metadataLabel->setText(QString());
    exitCropMode();
    setMarkupMode(false);
    m_canvas->clearImage();
    setOverviewMode(false, false);
    m_thumbnailOverview->update(QList<QUrl>(), 0);
    updateInfoLabel();
    updateOverviewButtonAppearance();
    updateCropControls();
    updateMarkupControls();
    updateNavigatorState();
    m_undoToastHideTimer.stop();
    setUndoToastVisible(false, false);
    showOverlayTemporarily(false);
}
