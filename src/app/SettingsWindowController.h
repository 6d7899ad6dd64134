#pragma once

#include "UserDefaults.h"

#include <QObject>
#include <QSize>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;

// The preferences window: five switches and two sliders, each stored the moment it changes and
// announced through SettingsNotifier, so the viewer follows while the window stays open. There
// is no OK or Cancel. Created once and kept; closing the window only hides it, and showing it
// again shows the same controls without re-reading the store.
//
// The controls carry object names (the control names below) by which tests find them.
class SettingsWindowController : public QObject
{
    Q_OBJECT

public:
    // The window's content size, in device-independent pixels.
    static constexpr QSize windowSize{560, 390};

    // Reads and writes `defaults`, which must outlive the controller.
    explicit SettingsWindowController(UserDefaults& defaults = UserDefaults::standard(),
                                      QObject* parent = nullptr);
    ~SettingsWindowController() override;

    QWidget* window() const { return m_window.get(); }
    // Shows the window in front and gives it the focus.
    void show();

private:
    QWidget* makeContentView();
    void wireControls();
    void handleInvertCheckboxChanged();
    void handleMiniNavigatorChanged();
    void handlePreserveViewChanged();
    void handleDockEditToolbarChanged();
    void handleSmoothZoomChanged();
    void handleSmoothZoomFactorChanged();
    void handleSmoothZoomResetPressed();
    void handleOverlayHideDelayChanged();
    void handleOverlayHideDelayResetPressed();
    // Move the controls to the stored values; the sliders do not report these moves.
    void syncSmoothZoomControls();
    void syncOverlayHideDelayControls();

    UserDefaults& m_defaults;
    QCheckBox* m_invertZoomCheckbox;
    QCheckBox* m_miniNavigatorCheckbox;
    QCheckBox* m_preserveViewCheckbox;
    QCheckBox* m_dockEditToolbarCheckbox;
    QCheckBox* m_smoothZoomCheckbox;
    QLabel* m_smoothZoomFactorLabel;
    // Positions 0 to 28 are the 29 ticks from 0.05 to 1.5.
    QSlider* m_smoothZoomFactorSlider;
    QPushButton* m_smoothZoomResetButton;
    QLabel* m_overlayHideDelayTitleLabel;
    QLabel* m_overlayHideDelayValueLabel;
    // Positions are milliseconds, 20 to 2000.
    QSlider* m_overlayHideDelaySlider;
    QPushButton* m_overlayHideDelayResetButton;
    // Owns every control above (they are its descendants).
    std::unique_ptr<QWidget> m_window;
};
