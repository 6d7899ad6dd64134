#include "AppSettings.h"
#include "ImageCanvasView.h"
#include "MiniNavigatorView.h"
#include "ThumbnailOverviewView.h"
#include "TranslucentPanel.h"
#include "ViewerContentView.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTimer>
#include <cmath>

void ViewerContentView::fadeOverlayIn()
{
    if (m_overlay->targetAlpha() < 1) {
        m_overlay->fadeTo(1, overlayFadeInMs);
    }
}

void ViewerContentView::showOverlayTemporarily(bool force)
{
    if (m_suppressOverlay) {
        return;
    }
    const std::optional<QPointF> pointer = pointerPosition();
    const bool revealed = force || !(isViewMode() || m_isOverviewModeEnabled) ||
                          (pointer.has_value() && pointRevealsOverlay(*pointer));
    if (!revealed) {
        hideOverlayImmediately();
        return;
    }
    fadeOverlayIn();
    restartHideTimer();
}

void ViewerContentView::hideOverlayImmediately()
{
    m_hideTimer.stop();
    m_keepOverlayVisibleUntil.reset();
    if (m_overlay->targetAlpha() > 0) {
        m_overlay->fadeTo(0, overlayFadeOutMs);
    }
}

void ViewerContentView::restartHideTimer()
{
    if (m_isCropModeEnabled || m_isMarkupModeEnabled) {
        // While editing the toolbar stays up.
        m_hideTimer.stop();
        return;
    }
    m_hideTimer.start(int(std::lround(AppSettings::overlayHideDelaySeconds() * 1000)));
}

void ViewerContentView::handleHideTimerFired()
{
    if (m_isCropModeEnabled || m_isMarkupModeEnabled) {
        return;
    }
    if (m_keepOverlayVisibleUntil && *m_keepOverlayVisibleUntil > m_clock.elapsed()) {
        restartHideTimer();
        return;
    }
    m_keepOverlayVisibleUntil.reset();
    if (isPointerOverOverlay()) {
        restartHideTimer();
        return;
    }
    m_overlay->fadeTo(0, overlayFadeOutMs);
}

void ViewerContentView::keepOverlayVisibleFor(int milliseconds)
{
    m_keepOverlayVisibleUntil = m_clock.elapsed() + milliseconds;
}

bool ViewerContentView::pointRevealsOverlay(QPointF point) const
{
    if (!window()->isActiveWindow() || !QRectF(rect()).contains(point)) {
        return false;
    }
    if (isViewMode() || m_isOverviewModeEnabled) {
        return true;
    }
    return overlayRevealRect().contains(point);
}

QRectF ViewerContentView::overlayRevealRect() const
{
    return QRectF(m_overlay->geometry())
        .adjusted(-overlayRevealMargin, -overlayRevealMargin, overlayRevealMargin,
                  overlayRevealMargin);
}

bool ViewerContentView::isPointerOverOverlay() const
{
    const std::optional<QPointF> pointer = pointerPosition();
    return pointer.has_value() && QRectF(m_overlay->geometry()).contains(*pointer);
}

std::optional<QPointF> ViewerContentView::pointerPosition() const
{
    if (m_pointerPosition) {
        return m_pointerPosition;
    }
    // No move seen yet (the window appeared under a resting pointer): ask where it is.
    if (underMouse()) {
        return QPointF(mapFromGlobal(QCursor::pos()));
    }
    return std::nullopt;
}

void ViewerContentView::handlePointerMoved(QPointF point)
{
    m_pointerPosition = point;
    // The cursor follows the widget under the pointer: the arrow over the overlay, the canvas's
    // crop or markup cursor over the image.
    if (pointRevealsOverlay(point)) {
        showOverlayTemporarily(false);
    } else if (isViewMode() || m_isOverviewModeEnabled) {
        hideOverlayImmediately();
    }
}

void ViewerContentView::handlePointerExited()
{
    m_pointerPosition.reset();
    if (isViewMode() || m_isOverviewModeEnabled) {
        hideOverlayImmediately();
    }
}

void ViewerContentView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    handlePointerMoved(event->position());
}

void ViewerContentView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    handlePointerExited();
}

void ViewerContentView::handleWindowActivated()
{
    if (!m_suppressOverlay) {
        showOverlayTemporarily(false);
    }
}

void ViewerContentView::handleWindowDeactivated()
{
    hideOverlayImmediately();
}

void ViewerContentView::setUndoToastVisible(bool visible, bool animated)
{
    if (visible) {
        m_undoToast->show();
        m_undoToast->raise();
        layoutChildren();
    }
    const double alpha = visible ? 1 : 0;
    if (!animated) {
        m_undoToast->setAlpha(alpha);
        m_undoToast->setVisible(visible);
        return;
    }
    if (visible) {
        m_undoToast->fadeTo(alpha, undoToastFadeInMs);
        return;
    }
    // The panel runs the completion only if no later fade replaced this one, so a toast shown
    // again meanwhile stays.
    m_undoToast->fadeTo(alpha, undoToastFadeOutMs,
                        [toast = QPointer<TranslucentPanel>(m_undoToast)] {
                            if (toast) {
                                toast->hide();
                            }
                        });
}

void ViewerContentView::restartUndoToastHideTimer()
{
    m_undoToastHideTimer.start();
}

void ViewerContentView::updateOverlayPlacement()
{
    updateEditOverlayControls();
    layoutChildren();
}

void ViewerContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_isMarkupModeEnabled) {
        // The tool row's density follows the width.
        updateMarkupControls();
    }
    layoutChildren();
}

void ViewerContentView::layoutChildren()
{
    const bool editing = m_isCropModeEnabled || m_isMarkupModeEnabled;
    const bool atBottom =
        editing && AppSettings::editToolbarPlacement() == EditToolbarPlacement::bottom;
    const bool docked = editing && AppSettings::isEditToolbarDocked();
    const int height = m_markupToolRow->isHidden() ? overlayHeight : overlayHeightWithToolRow;
    const int top = atBottom ? this->height() - overlayBottomInset - height : overlayTopInset;
    const QRect overlayRect(overlaySideInset, top, std::max(0, width() - 2 * overlaySideInset),
                            height);
    m_overlay->setGeometry(overlayRect);

    QRect canvasRect = rect();
    if (docked && !atBottom) {
        canvasRect.setTop(overlayRect.bottom() + 1 + dockedCanvasGap);
    } else if (docked) {
        canvasRect.setBottom(overlayRect.top() - 1 - dockedCanvasGap);
    }
    m_canvas->setGeometry(canvasRect);
    m_thumbnailOverview->setGeometry(rect());

    m_miniNavigatorContainer->setGeometry(
        width() - miniNavigatorInset - miniNavigatorBoxSize.width(),
        this->height() - miniNavigatorInset - miniNavigatorBoxSize.height(),
        miniNavigatorBoxSize.width(), miniNavigatorBoxSize.height());
    m_miniNavigatorView->setGeometry(m_miniNavigatorContainer->rect());

    const QSize toastSize = m_undoToast->sizeHint().boundedTo(size());
    m_undoToast->setGeometry((width() - toastSize.width()) / 2,
                             this->height() - undoToastBottomInset - toastSize.height(),
                             toastSize.width(), toastSize.height());

    m_miniNavigatorContainer->raise();
    m_overlay->raise();
    m_undoToast->raise();
    updateConfirmButtonDensity();
}
