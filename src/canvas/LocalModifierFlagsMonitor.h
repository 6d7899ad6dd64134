#pragma once

#include <QObject>
#include <functional>

// Watches the application's modifier keys (Shift, Control, Alt, Meta) being pressed or
// released, wherever the focus is, and passes every event on unchanged. The canvas uses it to
// refresh the markup cursor while the pointer stands still.
class LocalModifierFlagsMonitor : public QObject
{
    Q_OBJECT

public:
    LocalModifierFlagsMonitor();
    ~LocalModifierFlagsMonitor() override;

    // Removes any previous handler, then calls `handler` after each change of the modifier
    // keys, on the main thread.
    void install(std::function<void()> handler);
    void remove();
    bool isInstalled() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleHandler();

    std::function<void()> m_handler;
    bool m_isInstalled = false;
    // The modifiers of the last input event seen, to notice changes made while another
    // application had the keyboard.
    Qt::KeyboardModifiers m_lastModifiers;
    // A call of the handler is queued; the application filter sees one key event once per
    // widget it propagates through, and one change makes one call.
    bool m_isHandlerScheduled = false;
};
