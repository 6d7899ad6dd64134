#include "ViewerWindowController.h"

#include "ViewerContentView.h"

#include <QEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

ViewerWindowController::ViewerWindowController(QObject* parent)
    : QObject(parent), m_window(std::make_unique<QWidget>()),
      m_content(new ViewerContentView(m_window.get()))
{
    m_window->setWindowTitle(defaultTitle);
    QPalette black = m_window->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_window->setPalette(black);
    m_window->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_content);
    m_window->resize(initialContentSize);
    if (const QScreen* screen = m_window->screen()) {
        QRect frame(QPoint(), initialContentSize);
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
    }
    m_window->installEventFilter(this);
}

ViewerWindowController::~ViewerWindowController()
{
    // The window's last activation change arrives while it is destroyed, after its content.
    m_window->removeEventFilter(this);
}

void ViewerWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_content->setFocus();
    m_content->showOverlayTemporarily(false);
}

void ViewerWindowController::clear()
{
    m_content->clear();
    m_window->setWindowFilePath(QString());
    m_window->setWindowTitle(defaultTitle);
}

bool ViewerWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get() && event->type() == QEvent::ActivationChange) {
        if (m_window->isActiveWindow()) {
            m_content->handleWindowActivated();
        } else {
            m_content->handleWindowDeactivated();
        }
    }
    return false;
}
