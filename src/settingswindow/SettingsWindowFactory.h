#pragma once

#include <QSize>
#include <QString>

class QWidget;

// Builds and brings forward the small fixed-size preference windows.
namespace SettingsWindowFactory {

// A new top-level window whose content area is `size` (device-independent pixels), titled
// `title`, with a close button but neither minimise nor maximise buttons, and not resizable.
// `contentView` (may be null) becomes the window's content, filling it. The window is centred on
// the primary screen. Closing only hides it: the caller owns it and deletes it.
QWidget* makeWindow(QSize size, const QString& title, QWidget* contentView);

// Shows `window`, brings it in front of the application's other windows and gives it the focus.
void present(QWidget* window);

} // namespace SettingsWindowFactory
