#include "ViewerContentView.h"

#include "AppSettings.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "MiniNavigatorView.h"
#include "SettingsNotifier.h"
#include "ThumbnailOverviewView.h"
#include "ValueSlider.h"
#include "WeakCallback.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <cmath>

ViewerContentView::ViewerContentView(QWidget* parent) : QWidget(parent)
{
    m_clock.start();
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &ViewerContentView::handleHideTimerFired);
    m_undoToastHideTimer.setSingleShot(true);
    m_undoToastHideTimer.setInterval(undoToastVisibleMs);
    connect(&m_undoToastHideTimer, &QTimer::timeout, this,
            [this] { setUndoToastVisible(false, true); });
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    // The view takes the keys (arrows step images); its controls never take the focus.
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setupUI();
    setupCallbacks();
    // Key equivalents reach the view before the focused child; pointer moves over any child
    // reveal the overlay.
    qApp->installEventFilter(this);
}

ViewerContentView::~ViewerContentView()
{
    qApp->removeEventFilter(this);
    // QWidget's destructor closes the window after this object's own part is gone; the canvas
    // then hides, which suspends its animation and would report back here.
    m_canvas->onAnimationStateChanged = nullptr;
}

bool ViewerContentView::isViewMode() const
{
    return !m_isOverviewModeEnabled && !m_isCropModeEnabled && !m_isMarkupModeEnabled;
}

void ViewerContentView::setupCallbacks()
{
    m_canvas->onZoomChanged = bindWeak(this, [](ViewerContentView* view, double) {
        view->updateInfoLabel();
        view->showOverlayTemporarily(false);
    });
    m_canvas->onAnimationStateChanged =
        bindWeak(this, [](ViewerContentView* view) { view->updateInfoLabel(); });
    m_canvas->onViewStateChanged = bindWeak(this, [](ViewerContentView* view) {
        view->updateResetButtonState();
        view->updateNavigatorState();
    });
    m_canvas->onImageDropped = bindWeak(this, [](ViewerContentView* view, const QUrl& url) {
        if (view->onImageDropped) {
            view->onImageDropped(url);
        }
    });
    m_canvas->onCropSelectionChanged =
        bindWeak(this, [](ViewerContentView* view, bool hasSelection) {
            view->m_cropSaveCopyButton->setEnabled(hasSelection);
            view->syncConfirmToolbarButton(view->m_cropSaveCopyButton, ConfirmRole::confirm);
        });
    m_canvas->onMarkupChanged =
        bindWeak(this, [](ViewerContentView* view) { view->updateMarkupControls(); });
    m_miniNavigatorView->onViewportInteraction =
        bindWeak(this, [](ViewerContentView* view, QPointF normalizedPoint) {
            view->m_canvas->recenterVisibleRegion(normalizedPoint);
            view->showOverlayTemporarily(false);
        });
    m_thumbnailOverview->onSelectionChanged =
        bindWeak(this, [](ViewerContentView* view, int index) {
            view->m_currentIndex = index + 1;
            view->updateInfoLabel();
        });
    m_thumbnailOverview->onActivateIndex = bindWeak(this, [](ViewerContentView* view, int index) {
        view->leaveOverviewAfterActivation(index);
    });
    m_thumbnailOverview->onPrintSelectedIndexes =
        bindWeak(this, [](ViewerContentView* view, const QList<int>& indexes) {
            if (view->onThumbnailPrintRequested) {
                view->onThumbnailPrintRequested(indexes);
            }
        });
    m_thumbnailOverview->onDeleteSelectedIndexes =
        bindWeak(this, [](ViewerContentView* view, const QList<int>& indexes) {
            if (view->onThumbnailDeleteRequested) {
                view->onThumbnailDeleteRequested(indexes);
            }
        });

    applyCurrentSettings();
    connect(&SettingsNotifier::instance(), &SettingsNotifier::appSettingsChanged, this,
            &ViewerContentView::applyCurrentSettings);
    m_thumbnailOverview->setThumbnailSideLength(m_thumbnailSizeSlider->value());
    m_thumbnailOverview->setThumbnailContentMode(ThumbnailContentMode::fit);
    m_canvas->markupEngine().applyToolDefaults(m_canvas->markupDefaultsStore().load());
    syncMarkupControlsFromCanvas();
    updateResetButtonState();
    updateOverviewButtonAppearance();
    updateCropControls();
    updateMarkupControls();
    if (m_totalCount < 1) {
        setMarkupMode(false);
        setOverviewMode(false, false);
    }
    updateNavigatorState();
}

void ViewerContentView::applyCurrentSettings()
{
    m_canvas->isZoomScrollInverted = AppSettings::isZoomScrollInverted();
    m_canvas->isSmoothZoomEnabled = AppSettings::isSmoothZoomEnabled();
    m_canvas->smoothZoomFactor = AppSettings::smoothZoomFactor();
    m_isMiniNavigatorEnabled = AppSettings::isMiniNavigatorEnabled();
    updateOverlayPlacement();
    updateNavigatorState();
}

void ViewerContentView::updateInfoLabel()
{
    if (m_totalCount < 1) {
        m_infoLabel->clear();
        return;
    }
    QString state;
    if (m_isOverviewModeEnabled) {
        state = QStringLiteral("Overview");
    } else if (m_isCropModeEnabled) {
        state = QStringLiteral("Crop");
    } else if (m_isMarkupModeEnabled) {
        state = QStringLiteral("Markup");
    } else {
        state = QStringLiteral("%1%").arg(std::lround(m_canvas->zoomFactor() * 100));
        if (const AnimationPlayer& player = m_canvas->animationPlayer(); player.isPaused()) {
            state += QStringLiteral("  frame %1/%2")
                         .arg(player.currentFrameIndex() + 1)
                         .arg(player.frameCount());
        }
    }
    m_infoLabel->setText(
        QStringLiteral("%1/%2  %3").arg(m_currentIndex).arg(m_totalCount).arg(state));
}

void ViewerContentView::updateResetButtonState()
{
    // Half a point of pan and a ten-thousandth of zoom are below what anyone can see.
    const QPointF offset = m_canvas->contentOffset();
    const bool differsFromFitted = std::abs(m_canvas->zoomFactor() - 1) >= 0.0001 ||
                                   std::abs(offset.x()) >= 0.5 || std::abs(offset.y()) >= 0.5;
    m_resetViewButton->setEnabled(isViewMode() && differsFromFitted);
}

void ViewerContentView::updateNavigatorState()
{
    const std::optional<ImageCanvasView::NavigatorState> state = m_canvas->navigatorState();
    const bool show = MiniNavigatorView::shouldShow(state, isViewMode(), m_isMiniNavigatorEnabled);
    // The miniature is made once per image, and only once it is to be seen: not on every pan
    // step, and not for every image stepped through at the fitted size.
    const qint64 imageKey = m_canvas->image().cacheKey();
    if (show && imageKey != m_navigatorImageKey) {
        m_navigatorImageKey = imageKey;
        m_miniNavigatorView->setImage(m_canvas->image());
    }
    m_miniNavigatorView->setState(state);
    m_miniNavigatorContainer->setVisible(show);
}

void ViewerContentView::updateOverviewButtonAppearance()
{
    m_overviewButton->setEnabled(m_totalCount > 0);
    updateOverviewButtonLook();
}
