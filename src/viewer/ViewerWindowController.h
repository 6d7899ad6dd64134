#pragma once

#include <QObject>
#include <QSize>
#include <memory>

class QWidget;
class ViewerContentView;

// The viewer's one main window and its content. Created once and kept for the life of the
// application: closing the window only hides it, and the same window is shown again.
//
// The window opens 1200 x 800, centred on its screen, black, titled "vistrel.app". It keeps the
// desktop's own title bar: Linux window managers draw it, and content cannot reach under it.
// The controller follows the window's activation: the overlay may show when the window becomes
// active and hides at once when it stops being active.
class ViewerWindowController : public QObject
{
    Q_OBJECT

public:
    static constexpr QSize initialContentSize{1200, 800};
    static inline const QString defaultTitle = QStringLiteral("vistrel.app");

    explicit ViewerWindowController(QObject* parent = nullptr);
    ~ViewerWindowController() override;

    QWidget* window() const { return m_window.get(); }
    ViewerContentView& content() const { return *m_content; }

    // Shows and raises the window, gives the content the keys and reveals the overlay.
    void showWindow();
    // Back to the empty state, without a represented file and with the default title.
    void clear();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QWidget> m_window;
    // Owned by the window (its only child).
    ViewerContentView* m_content;
};
