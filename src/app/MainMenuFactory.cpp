#include "MainMenuFactory.h"

#include "AppDelegate.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

namespace {

// An item that calls `command` on the delegate while it lives.
template <typename Command>
void addItem(QMenu* menu, const QString& title, AppDelegate& delegate, Command command,
             const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(title);
    action->setShortcut(shortcut);
    // Also while the settings window is in front.
    action->setShortcutContext(Qt::ApplicationShortcut);
    // The delegate is the connection's context: once it is gone the item does nothing.
    QObject::connect(action, &QAction::triggered, &delegate,
                     [&delegate, command] { (delegate.*command)(); });
}

QMenu* makeAppMenu(AppDelegate& delegate, QMenuBar* bar)
{
    QMenu* menu = bar->addMenu(QStringLiteral("vistrel.app"));
    addItem(menu, QStringLiteral("About vistrel.app"), delegate, &AppDelegate::showAboutPanel);
    menu->addSeparator();
    addItem(menu, QStringLiteral("Settings\u2026"), delegate, &AppDelegate::showSettingsWindow,
            QKeySequence(Qt::CTRL | Qt::Key_Comma));
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("Quit vistrel.app"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);
    quit->setMenuRole(QAction::QuitRole);
    QObject::connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
    return menu;
}

QMenu* makeFileMenu(AppDelegate& delegate, QMenuBar* bar)
{
    QMenu* menu = bar->addMenu(QStringLiteral("File"));
    addItem(menu, QStringLiteral("Open\u2026"), delegate, &AppDelegate::openDocument,
            QKeySequence(Qt::CTRL | Qt::Key_O));
    addItem(menu, QStringLiteral("Print\u2026"), delegate, &AppDelegate::printDocument,
            QKeySequence(Qt::CTRL | Qt::Key_P));
    menu->addSeparator();
    QAction* close = menu->addAction(QStringLiteral("Close Window"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    close->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(close, &QAction::triggered, qApp, [] {
        if (QWidget* window = QApplication::activeWindow()) {
            window->close();
        }
    });
    return menu;
}

QMenu* makeNavigateMenu(AppDelegate& delegate, QMenuBar* bar)
{
    QMenu* menu = bar->addMenu(QStringLiteral("Navigate"));
    addItem(menu, QStringLiteral("Previous Image"), delegate, &AppDelegate::showPreviousImage);
    addItem(menu, QStringLiteral("Next Image"), delegate, &AppDelegate::showNextImage);
    menu->addSeparator();
    addItem(menu, QStringLiteral("Toggle Overview"), delegate, &AppDelegate::toggleOverviewMode,
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    return menu;
}

} // namespace

namespace MainMenuFactory {

QMenuBar* makeMainMenu(AppDelegate& delegate, QWidget* parent)
{
    auto* bar = new QMenuBar(parent);
    bar->setObjectName(QStringLiteral("MainMenu"));
    // Inside the window (where the desktop has no global menu bar) it sits on the black of the
    // viewer: a dark bar rather than a light strip across the top.
    bar->setStyleSheet(QStringLiteral(
        "QMenuBar { background-color: rgb(18, 18, 20); color: rgba(255, 255, 255, 200); }"
        "QMenuBar::item { padding: 3px 10px; background: transparent; }"
        "QMenuBar::item:selected { background-color: rgba(255, 255, 255, 40); }"));
    makeAppMenu(delegate, bar);
    makeFileMenu(delegate, bar);
    makeNavigateMenu(delegate, bar);
    return bar;
}

} // namespace MainMenuFactory
