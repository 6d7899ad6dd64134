#pragma once

class AppDelegate;
class QMenuBar;
class QWidget;

// The application's menu bar, built once from code: the application menu ("vistrel.app": About,
// Settings…, Quit), File (Open…, Print…, Close Window) and Navigate (Previous Image, Next
// Image, Toggle Overview). Items call the controller; Quit and Close Window go to the
// application and the active window. Shortcuts use Control where the design says Command.
namespace MainMenuFactory {

// A new menu bar whose items act on `delegate`, which must outlive it; owned by `parent`.
QMenuBar* makeMainMenu(AppDelegate& delegate, QWidget* parent);

} // namespace MainMenuFactory
