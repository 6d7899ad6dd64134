#include "LocalModifierFlagsMonitor.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputEvent>
#include <QKeyEvent>

namespace {

bool isModifierKey(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
           key == Qt::Key_Meta || key == Qt::Key_AltGr;
}

} // namespace

LocalModifierFlagsMonitor::LocalModifierFlagsMonitor() = default;

LocalModifierFlagsMonitor::~LocalModifierFlagsMonitor()
{
    remove();
}

void LocalModifierFlagsMonitor::install(std::function<void()> handler)
{
    remove();
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return;
    }
    m_handler = std::move(handler);
    m_lastModifiers = QGuiApplication::queryKeyboardModifiers();
    application->installEventFilter(this);
    m_isInstalled = true;
}

void LocalModifierFlagsMonitor::remove()
{
    if (m_isInstalled) {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->removeEventFilter(this);
        }
        m_isInstalled = false;
    }
    m_handler = nullptr;
}

bool LocalModifierFlagsMonitor::isInstalled() const
{
    return m_isInstalled;
}

bool LocalModifierFlagsMonitor::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    // A key press is preceded by a shortcut override event of the same key.
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease ||
        type == QEvent::ShortcutOverride) {
        const auto* keyEvent = static_cast<const QKeyEvent*>(event);
        m_lastModifiers = keyEvent->modifiers();
        if (isModifierKey(keyEvent->key())) {
            scheduleHandler();
        }
    } else if (event->isInputEvent()) {
        const Qt::KeyboardModifiers modifiers = static_cast<const QInputEvent*>(event)->modifiers();
        if (modifiers != m_lastModifiers) {
            m_lastModifiers = modifiers;
            scheduleHandler();
        }
    }
    return QObject::eventFilter(watched, event);
}

// The handler runs from the event loop of this object's (the main) thread, after the event
// has been delivered; it is dropped with this object.
void LocalModifierFlagsMonitor::scheduleHandler()
{
    if (m_isHandlerScheduled || !m_handler) {
        return;
    }
    m_isHandlerScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_isHandlerScheduled = false;
            if (m_handler) {
                m_handler();
            }
        },
        Qt::QueuedConnection);
}
