#include "ImageCanvasView.h"
#include "SystemBeep.h"
#include "ViewerContentView.h"

#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

// Widgets that type text keep the keys they take; only what they ignore goes on to the viewer.
bool isTextInput(const QObject* object)
{
    return qobject_cast<const QLineEdit*>(object) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(object) != nullptr ||
           qobject_cast<const QTextEdit*>(object) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(object) != nullptr;
}

bool isReturn(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

bool ViewerContentView::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride && type != QEvent::MouseMove) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || (widget != this && !isAncestorOf(widget))) {
        return false;
    }
    if (type == QEvent::MouseMove) {
        handlePointerMoved(mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition()));
        return false;
    }
    // A key the focused text input ignores comes back here with its parent as the receiver.
    if (isTextInput(widget)) {
        return false;
    }
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const std::function<void()> action = keyEquivalentAction(keyEvent);
    if (!action) {
        return false;
    }
    if (type == QEvent::ShortcutOverride) {
        // Claimed before any menu or window shortcut fires: the key press then comes here.
        keyEvent->accept();
        return false;
    }
    action();
    keyEvent->accept();
    return true;
}

void ViewerContentView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Right && key != Qt::Key_Left) {
        if (!zoomByKey(event)) {
            QWidget::keyPressEvent(event);
        }
        return;
    }
    // Stepping through images with the keys must not flash the overlay at every image.
    m_suppressOverlay = true;
    const std::function<void()>& step =
        key == Qt::Key_Right ? onNextRequested : onPreviousRequested;
    if (step) {
        step();
    }
    m_suppressOverlay = false;
}

// Plus (or equals, its unshifted key) and minus zoom about the centre, with or without Control,
// in view and markup mode.
// While cropping the view stays still, as for the wheel: the selection is kept in view points and
// would otherwise slide over the image.
bool ViewerContentView::zoomByKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier | Qt::ControlModifier);
    const int key = event->key();
    const bool zoomIn = key == Qt::Key_Plus || key == Qt::Key_Equal;
    if (modifiers != Qt::NoModifier || (!zoomIn && key != Qt::Key_Minus) ||
        m_isOverviewModeEnabled || m_isCropModeEnabled) {
        return false;
    }
    const QPointF centre(m_canvas->width() * 0.5, m_canvas->height() * 0.5);
    m_canvas->adjustZoom(zoomIn ? keyZoomStep : 1 / keyZoomStep, m_canvas->toView(centre));
    return true;
}

std::function<void()> ViewerContentView::keyEquivalentAction(const QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool command = modifiers.testFlag(Qt::ControlModifier);
    const bool commandShift = command && modifiers.testFlag(Qt::ShiftModifier);
    // The listed keys are taken even when the owner has not set the callback.
    const auto call = [](const std::function<void()>& callback) {
        return [callback] {
            if (callback) {
                callback();
            }
        };
    };

    if (m_isCropModeEnabled && key == Qt::Key_Escape) {
        return [this] { exitCropMode(); };
    }
    if (m_isCropModeEnabled && isReturn(key)) {
        return [this] { saveCrop(); };
    }
    if (m_isMarkupModeEnabled && key == Qt::Key_Escape) {
        // The annotations stay on the image until it changes or the view is reset.
        return [this] { setMarkupMode(false); };
    }
    if (m_isMarkupModeEnabled && command && key == Qt::Key_Z) {
        return [this, commandShift] {
            MarkupEngine& engine = m_canvas->markupEngine();
            commandShift ? engine.redo() : engine.undo();
            updateMarkupControls();
        };
    }
    if (key == Qt::Key_Space && modifiers == Qt::NoModifier && isViewMode() &&
        m_canvas->animationPlayer().isAnimated()) {
        return [this] { m_canvas->animationPlayer().togglePlayback(); };
    }
    if (!command) {
        return {};
    }
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (m_isOverviewModeEnabled) {
            return [this] { requestDeleteFromOverview(); };
        }
        return call(onDeleteRequested);
    case Qt::Key_O:
        return call(onOpenRequested);
    case Qt::Key_P:
        if (m_isOverviewModeEnabled) {
            return [this] { requestPrintFromOverview(); };
        }
        return call(onPrintRequested);
    case Qt::Key_0:
        return [this] {
            if (!m_isOverviewModeEnabled && !m_isCropModeEnabled) {
                m_canvas->resetView();
                showOverlayTemporarily(false);
            }
        };
    case Qt::Key_G:
        if (!commandShift) {
            return {};
        }
        return [this] {
            if (m_totalCount < 1) {
                SystemBeep::beep();
            } else {
                setOverviewMode(!m_isOverviewModeEnabled, true);
            }
        };
    default:
        return {};
    }
}
