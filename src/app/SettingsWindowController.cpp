#include "SettingsWindowController.h"

#include "AppSettings.h"
#include "SettingsWindowFactory.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The factor slider's 29 ticks span 0.05 to 1.5; the setter rounds a tick to a multiple of 0.05.
constexpr double factorMinimum = 0.05;
constexpr double factorSpan = 1.45;
constexpr int factorLastTick = 28;
constexpr double defaultFactor = 0.6;

constexpr int delayMinimumMilliseconds = 20;
constexpr int delayMaximumMilliseconds = 2000;
constexpr double defaultDelaySeconds = 0.25;

// Layout, in device-independent pixels.
constexpr int contentMargin = 20;
constexpr int stackSpacing = 10;
constexpr int rowSpacing = 10;
constexpr int cellHeight = 28;
constexpr int titleToButtonSpacing = 12;
constexpr int valueLabelWidth = 78;

double factorAtTick(int tick)
{
    return factorMinimum + tick * factorSpan / factorLastTick;
}

int tickNearestFactor(double factor)
{
    return static_cast<int>(std::lround((factor - factorMinimum) * factorLastTick / factorSpan));
}

QCheckBox* makeCheckbox(const QString& title, const QString& name)
{
    auto* checkbox = new QCheckBox(title);
    checkbox->setObjectName(name);
    return checkbox;
}

QPushButton* makeResetButton(const QString& name)
{
    auto* button = new QPushButton(QStringLiteral("Default"));
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QLabel* makeValueLabel(const QString& name)
{
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setFixedWidth(valueLabelWidth);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QSlider* makeSlider(int minimum, int maximum, const QString& name)
{
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(name);
    slider->setRange(minimum, maximum);
    slider->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return slider;
}

QHBoxLayout* makeRow(QWidget* cell, QSlider* slider, QLabel* valueLabel)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(rowSpacing);
    row->addWidget(cell, 0, Qt::AlignVCenter);
    row->addWidget(slider, 1, Qt::AlignVCenter);
    row->addWidget(valueLabel, 0, Qt::AlignVCenter);
    return row;
}

} // namespace

SettingsWindowController::SettingsWindowController(UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults),
      m_invertZoomCheckbox(makeCheckbox(QStringLiteral("Scrollrichtung umkehren (Zoom)"),
                                        QStringLiteral("invertZoomCheckbox"))),
      m_miniNavigatorCheckbox(makeCheckbox(QStringLiteral("Mini-Navigator anzeigen"),
                                           QStringLiteral("miniNavigatorCheckbox"))),
      m_preserveViewCheckbox(makeCheckbox(QStringLiteral("Ansicht zwischen Bildern beibehalten"),
                                          QStringLiteral("preserveViewCheckbox"))),
      m_dockEditToolbarCheckbox(makeCheckbox(QStringLiteral("Editierleiste reserviert Bildfläche"),
                                             QStringLiteral("dockEditToolbarCheckbox"))),
      m_smoothZoomCheckbox(makeCheckbox(QStringLiteral("Sanftes Zoom-Verhalten"),
                                        QStringLiteral("smoothZoomCheckbox"))),
      m_smoothZoomFactorLabel(makeValueLabel(QStringLiteral("smoothZoomFactorLabel"))),
      m_smoothZoomFactorSlider(
          makeSlider(0, factorLastTick, QStringLiteral("smoothZoomFactorSlider"))),
      m_smoothZoomResetButton(makeResetButton(QStringLiteral("smoothZoomResetButton"))),
      m_overlayHideDelayTitleLabel(new QLabel(QStringLiteral("Overlay ausblenden nach"))),
      m_overlayHideDelayValueLabel(makeValueLabel(QStringLiteral("overlayHideDelayValueLabel"))),
      m_overlayHideDelaySlider(makeSlider(delayMinimumMilliseconds, delayMaximumMilliseconds,
                                          QStringLiteral("overlayHideDelaySlider"))),
      m_overlayHideDelayResetButton(makeResetButton(QStringLiteral("overlayHideDelayResetButton")))
{
    m_overlayHideDelayTitleLabel->setObjectName(QStringLiteral("overlayHideDelayTitleLabel"));
    m_smoothZoomFactorSlider->setTickPosition(QSlider::TicksBelow);
    m_smoothZoomFactorSlider->setTickInterval(1);
    m_smoothZoomFactorSlider->setPageStep(4);
    // One key press moves the delay by one stored step; the setter would undo a smaller move.
    m_overlayHideDelaySlider->setSingleStep(10);
    m_overlayHideDelaySlider->setPageStep(100);
    m_window.reset(SettingsWindowFactory::makeWindow(windowSize, QStringLiteral("Settings"),
                                                     makeContentView()));
    wireControls();
    syncSmoothZoomControls();
    syncOverlayHideDelayControls();
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::show()
{
    SettingsWindowFactory::present(m_window.get());
}

QWidget* SettingsWindowController::makeContentView()
{
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(contentMargin, contentMargin, contentMargin, 0);
    stack->setSpacing(stackSpacing);
    for (QCheckBox* checkbox :
         {m_invertZoomCheckbox, m_miniNavigatorCheckbox, m_preserveViewCheckbox,
          m_dockEditToolbarCheckbox, m_smoothZoomCheckbox}) {
        stack->addWidget(checkbox, 0, Qt::AlignLeft);
    }

    // The overlay row's cell is as wide as its title, the gap and its button; the smooth-zoom
    // row's cell matches it, so both sliders get the same width.
    const int cellWidth = m_overlayHideDelayTitleLabel->sizeHint().width() + titleToButtonSpacing +
                          m_overlayHideDelayResetButton->sizeHint().width();

    auto* factorCell = new QWidget;
    factorCell->setFixedSize(cellWidth, cellHeight);
    auto* factorCellLayout = new QHBoxLayout(factorCell);
    factorCellLayout->setContentsMargins(0, 0, 0, 0);
    m_smoothZoomResetButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    factorCellLayout->addWidget(m_smoothZoomResetButton);
    stack->addLayout(makeRow(factorCell, m_smoothZoomFactorSlider, m_smoothZoomFactorLabel));

    auto* delayCell = new QWidget;
    delayCell->setFixedSize(cellWidth, cellHeight);
    auto* delayCellLayout = new QHBoxLayout(delayCell);
    delayCellLayout->setContentsMargins(0, 0, 0, 0);
    delayCellLayout->setSpacing(titleToButtonSpacing);
    m_overlayHideDelayResetButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    delayCellLayout->addWidget(m_overlayHideDelayTitleLabel);
    delayCellLayout->addWidget(m_overlayHideDelayResetButton);
    stack->addLayout(makeRow(delayCell, m_overlayHideDelaySlider, m_overlayHideDelayValueLabel));

    stack->addStretch(1);
    return content;
}

void SettingsWindowController::wireControls()
{
    // States first, so that setting them writes nothing.
    m_invertZoomCheckbox->setChecked(AppSettings::isZoomScrollInverted(m_defaults));
    m_miniNavigatorCheckbox->setChecked(AppSettings::isMiniNavigatorEnabled(m_defaults));
    m_preserveViewCheckbox->setChecked(AppSettings::isPreserveViewBetweenImagesEnabled(m_defaults));
    m_dockEditToolbarCheckbox->setChecked(AppSettings::isEditToolbarDocked(m_defaults));
    m_smoothZoomCheckbox->setChecked(AppSettings::isSmoothZoomEnabled(m_defaults));

    connect(m_invertZoomCheckbox, &QCheckBox::toggled, this,
            &SettingsWindowController::handleInvertCheckboxChanged);
    connect(m_miniNavigatorCheckbox, &QCheckBox::toggled, this,
            &SettingsWindowController::handleMiniNavigatorChanged);
    connect(m_preserveViewCheckbox, &QCheckBox::toggled, this,
            &SettingsWindowController::handlePreserveViewChanged);
    connect(m_dockEditToolbarCheckbox, &QCheckBox::toggled, this,
            &SettingsWindowController::handleDockEditToolbarChanged);
    connect(m_smoothZoomCheckbox, &QCheckBox::toggled, this,
            &SettingsWindowController::handleSmoothZoomChanged);
    connect(m_smoothZoomFactorSlider, &QSlider::valueChanged, this,
            &SettingsWindowController::handleSmoothZoomFactorChanged);
    connect(m_smoothZoomResetButton, &QPushButton::clicked, this,
            &SettingsWindowController::handleSmoothZoomResetPressed);
    connect(m_overlayHideDelaySlider, &QSlider::valueChanged, this,
            &SettingsWindowController::handleOverlayHideDelayChanged);
    connect(m_overlayHideDelayResetButton, &QPushButton::clicked, this,
            &SettingsWindowController::handleOverlayHideDelayResetPressed);
}

void SettingsWindowController::handleInvertCheckboxChanged()
{
    AppSettings::setZoomScrollInverted(m_invertZoomCheckbox->checkState() == Qt::Checked,
                                       m_defaults);
}

void SettingsWindowController::handleMiniNavigatorChanged()
{
    AppSettings::setMiniNavigatorEnabled(m_miniNavigatorCheckbox->checkState() == Qt::Checked,
                                         m_defaults);
}

void SettingsWindowController::handlePreserveViewChanged()
{
    AppSettings::setPreserveViewBetweenImagesEnabled(
        m_preserveViewCheckbox->checkState() == Qt::Checked, m_defaults);
}

void SettingsWindowController::handleDockEditToolbarChanged()
{
    AppSettings::setEditToolbarDocked(m_dockEditToolbarCheckbox->isChecked(), m_defaults);
}

void SettingsWindowController::handleSmoothZoomChanged()
{
    AppSettings::setSmoothZoomEnabled(m_smoothZoomCheckbox->isChecked(), m_defaults);
    syncSmoothZoomControls();
}

void SettingsWindowController::handleSmoothZoomFactorChanged()
{
    AppSettings::setSmoothZoomFactor(factorAtTick(m_smoothZoomFactorSlider->value()), m_defaults);
    syncSmoothZoomControls();
}

void SettingsWindowController::handleSmoothZoomResetPressed()
{
    AppSettings::setSmoothZoomFactor(defaultFactor, m_defaults);
    syncSmoothZoomControls();
}

void SettingsWindowController::handleOverlayHideDelayChanged()
{
    AppSettings::setOverlayHideDelaySeconds(m_overlayHideDelaySlider->value() / 1000.0, m_defaults);
    syncOverlayHideDelayControls();
}

void SettingsWindowController::handleOverlayHideDelayResetPressed()
{
    AppSettings::setOverlayHideDelaySeconds(defaultDelaySeconds, m_defaults);
    syncOverlayHideDelayControls();
}

void SettingsWindowController::syncSmoothZoomControls()
{
    const double factor = AppSettings::smoothZoomFactor(m_defaults);
    {
        const QSignalBlocker blocker(m_smoothZoomFactorSlider);
        m_smoothZoomFactorSlider->setValue(tickNearestFactor(factor));
    }
    // asprintf formats in the C locale: always a decimal point.
    m_smoothZoomFactorLabel->setText(QString::asprintf("x%.2f", factor));
    const bool enabled = AppSettings::isSmoothZoomEnabled(m_defaults);
    m_smoothZoomFactorSlider->setEnabled(enabled);
    m_smoothZoomResetButton->setEnabled(enabled);
    m_smoothZoomFactorLabel->setForegroundRole(enabled ? QPalette::WindowText
                                                       : QPalette::PlaceholderText);
}

void SettingsWindowController::syncOverlayHideDelayControls()
{
    const double seconds = AppSettings::overlayHideDelaySeconds(m_defaults);
    // std::lround rounds halves away from zero.
    const long milliseconds = std::lround(seconds * 1000);
    {
        const QSignalBlocker blocker(m_overlayHideDelaySlider);
        m_overlayHideDelaySlider->setValue(static_cast<int>(milliseconds));
    }
    m_overlayHideDelayValueLabel->setText(QStringLiteral("%1 ms").arg(milliseconds));
}
