#include "AppSettings.h"
#include "SettingsNotifier.h"
#include "SettingsWindowController.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestSettingsWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void controlsAreLabelledAsWritten_data();
    void controlsAreLabelledAsWritten();
    void checkboxStoresItsKeyAndAnnounces_data();
    void checkboxStoresItsKeyAndAnnounces();
    void sliderStoresRoundedValue_data();
    void sliderStoresRoundedValue();
    void resetButtonRestoresDefault_data();
    void resetButtonRestoresDefault();
    void smoothZoomSwitchEnablesFactorControls();
    void windowIsFixedAndOnlyHidesOnClose();

private:
    template <typename T> T* control(const QString& name) const
    {
        auto* found = m_controller->window()->findChild<T*>(name);
        Q_ASSERT(found != nullptr);
        return found;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<SettingsWindowController> m_controller;
    int m_run = 0;
};

void TestSettingsWindow::init()
{
    m_controller.reset();
    m_defaults = std::make_unique<UserDefaults>(
        m_dir.filePath(QStringLiteral("settings-%1.conf").arg(++m_run)));
}

void TestSettingsWindow::controlsAreLabelledAsWritten_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("invert") << "invertZoomCheckbox"
                            << "Scrollrichtung umkehren (Zoom)";
    QTest::newRow("navigator") << "miniNavigatorCheckbox"
                               << "Mini-Navigator anzeigen";
    QTest::newRow("preserve") << "preserveViewCheckbox"
                              << "Ansicht zwischen Bildern beibehalten";
    QTest::newRow("dock") << "dockEditToolbarCheckbox"
                          << "Editierleiste reserviert Bildfläche";
    QTest::newRow("smooth") << "smoothZoomCheckbox"
                            << "Sanftes Zoom-Verhalten";
    QTest::newRow("factor") << "smoothZoomFactorLabel"
                            << "x0.60";
    QTest::newRow("factor reset") << "smoothZoomResetButton"
                                  << "Default";
    QTest::newRow("delay title") << "overlayHideDelayTitleLabel"
                                 << "Overlay ausblenden nach";
    QTest::newRow("delay") << "overlayHideDelayValueLabel"
                           << "250 ms";
    QTest::newRow("delay reset") << "overlayHideDelayResetButton"
                                 << "Default";
}

void TestSettingsWindow::controlsAreLabelledAsWritten()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    m_controller = std::make_unique<SettingsWindowController>(*m_defaults);
    QCOMPARE(control<QWidget>(name)->property("text").toString(), text);
}

void TestSettingsWindow::checkboxStoresItsKeyAndAnnounces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("initiallyOn");
    QTest::newRow("invert, absent") << "invertZoomCheckbox"
                                    << "invertZoomScroll" << QVariant() << false;
    QTest::newRow("invert, stored text")
        << "invertZoomCheckbox"
        << "invertZoomScroll" << QVariant(QStringLiteral("YES")) << true;
    QTest::newRow("navigator, absent") << "miniNavigatorCheckbox"
                                       << "showMiniNavigator" << QVariant() << true;
    QTest::newRow("navigator, stored off") << "miniNavigatorCheckbox"
                                           << "showMiniNavigator" << QVariant(false) << false;
    QTest::newRow("preserve, absent") << "preserveViewCheckbox"
                                      << "preserveViewBetweenImages" << QVariant() << false;
    QTest::newRow("dock, absent") << "dockEditToolbarCheckbox"
                                  << "dockEditToolbar" << QVariant() << true;
    QTest::newRow("smooth, absent") << "smoothZoomCheckbox"
                                    << "smoothZoom" << QVariant() << false;
}

void TestSettingsWindow::checkboxStoresItsKeyAndAnnounces()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(bool, initiallyOn);
    if (stored.isValid()) {
        m_defaults->setObject(key, stored);
    }
    m_controller = std::make_unique<SettingsWindowController>(*m_defaults);
    QSignalSpy announced(&SettingsNotifier::instance(), &SettingsNotifier::appSettingsChanged);
    auto* checkbox = control<QAbstractButton>(name);
    QCOMPARE(checkbox->isChecked(), initiallyOn);
    QCOMPARE(announced.count(), 0);

    checkbox->click();
    QCOMPARE(announced.count(), 1);
    QVERIFY(m_defaults->hasObject(key));
    QCOMPARE(m_defaults->boolValue(key), !initiallyOn);

    checkbox->click();
    QCOMPARE(announced.count(), 2);
    QCOMPARE(m_defaults->boolValue(key), initiallyOn);
}

void TestSettingsWindow::sliderStoresRoundedValue_data()
{
    QTest::addColumn<QString>("sliderName");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("labelName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("settledPosition");
    // Delay positions are milliseconds; the store keeps hundredths of a second.
    const QString delay = QStringLiteral("overlayHideDelaySlider");
    const QString delayKey = QStringLiteral("overlayHideDelaySeconds");
    const QString delayLabel = QStringLiteral("overlayHideDelayValueLabel");
    QTest::newRow("delay between steps")
        << delay << 1234 << delayKey << 123 * 0.01 << delayLabel << "1230 ms" << 1230;
    QTest::newRow("delay half step")
        << delay << 1235 << delayKey << 124 * 0.01 << delayLabel << "1240 ms" << 1240;
    QTest::newRow("delay shortest")
        << delay << 20 << delayKey << 0.02 << delayLabel << "20 ms" << 20;
    QTest::newRow("delay longest")
        << delay << 2000 << delayKey << 2.0 << delayLabel << "2000 ms" << 2000;
    // Factor positions are the 29 ticks from 0.05 to 1.5; the store keeps multiples of 0.05.
    const QString factor = QStringLiteral("smoothZoomFactorSlider");
    const QString factorKey = QStringLiteral("smoothZoomFactor");
    const QString factorLabel = QStringLiteral("smoothZoomFactorLabel");
    QTest::newRow("factor first tick")
        << factor << 0 << factorKey << 0.05 << factorLabel << "x0.05" << 0;
    QTest::newRow("factor tick below 0.75")
        << factor << 13 << factorKey << 14 * 0.05 << factorLabel << "x0.70" << 13;
    QTest::newRow("factor tick at 0.775 skips 0.75")
        << factor << 14 << factorKey << 16 * 0.05 << factorLabel << "x0.80" << 14;
    QTest::newRow("factor tick past 0.8")
        << factor << 15 << factorKey << 17 * 0.05 << factorLabel << "x0.85" << 15;
    QTest::newRow("factor last tick")
        << factor << 28 << factorKey << 1.5 << factorLabel << "x1.50" << 28;
}

void TestSettingsWindow::sliderStoresRoundedValue()
{
    QFETCH(QString, sliderName);
    QFETCH(int, position);
    QFETCH(QString, key);
    QFETCH(double, stored);
    QFETCH(QString, labelName);
    QFETCH(QString, text);
    QFETCH(int, settledPosition);
    AppSettings::setSmoothZoomEnabled(true, *m_defaults);
    m_controller = std::make_unique<SettingsWindowController>(*m_defaults);
    QSignalSpy announced(&SettingsNotifier::instance(), &SettingsNotifier::appSettingsChanged);
    auto* slider = control<QSlider>(sliderName);
    QVERIFY(slider->isEnabled());

    slider->setValue(position);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(m_defaults->doubleValue(key), stored);
    QCOMPARE(control<QLabel>(labelName)->text(), text);
    QCOMPARE(slider->value(), settledPosition);
}

void TestSettingsWindow::resetButtonRestoresDefault_data()
{
    QTest::addColumn<QString>("sliderName");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("labelName");
    QTest::addColumn<QString>("text");
    QTest::newRow("factor") << "smoothZoomFactorSlider" << 28 << "smoothZoomResetButton"
                            << "smoothZoomFactor" << 12 * 0.05 << "smoothZoomFactorLabel"
                            << "x0.60";
    QTest::newRow("delay") << "overlayHideDelaySlider" << 1500 << "overlayHideDelayResetButton"
                           << "overlayHideDelaySeconds" << 25 * 0.01 << "overlayHideDelayValueLabel"
                           << "250 ms";
}

void TestSettingsWindow::resetButtonRestoresDefault()
{
    QFETCH(QString, sliderName);
    QFETCH(int, position);
    QFETCH(QString, buttonName);
    QFETCH(QString, key);
    QFETCH(double, stored);
    QFETCH(QString, labelName);
    QFETCH(QString, text);
    AppSettings::setSmoothZoomEnabled(true, *m_defaults);
    m_controller = std::make_unique<SettingsWindowController>(*m_defaults);
    auto* slider = control<QSlider>(sliderName);
    slider->setValue(position);
    QVERIFY(m_defaults->doubleValue(key) != stored);
    QSignalSpy announced(&SettingsNotifier::instance(), &SettingsNotifier::appSettingsChanged);

    control<QAbstractButton>(buttonName)->click();
    QCOMPARE(announced.count(), 1);
    QCOMPARE(m_defaults->doubleValue(key), stored);
    QCOMPARE(control<QLabel>(labelName)->text(), text);
    QVERIFY(slider->value() != position);
}

void TestSettingsWindow::smoothZoomSwitchEnablesFactorControls()
{
    m_controller = std::make_unique<SettingsWindowController>(*m_defaults);
    auto* slider = control<QSlider>(QStringLiteral("smoothZoomFactorSlider"));
    auto* reset = control<QAbstractButton>(QStringLiteral("smoothZoomResetButton"));
    auto* label = control<QLabel>(QStringLiteral("smoothZoomFactorLabel"));
    QVERIFY(!slider->isEnabled());
    QVERIFY(!reset->isEnabled());
    QCOMPARE(label->foregroundRole(), QPalette::PlaceholderText);

    control<QAbstractButton>(QStringLiteral("smoothZoomCheckbox"))->click();
    QVERIFY(AppSettings::isSmoothZoomEnabled(*m_defaults));
    QVERIFY(slider->isEnabled());
    QVERIFY(reset->isEnabled());
    QCOMPARE(label->foregroundRole(), QPalette::WindowText);

    control<QAbstractButton>(QStringLiteral("smoothZoomCheckbox"))->click();
    QVERIFY(!slider->isEnabled());
    QVERIFY(!reset->isEnabled());
    QCOMPARE(label->foregroundRole(), QPalette::PlaceholderText);
}

void TestSettingsWindow::windowIsFixedAndOnlyHidesOnClose()
{
    m_controller = std::make_unique<SettingsWindowController>(*m_defaults);
    QPointer<QWidget> window = m_controller->window();
    QCOMPARE(window->windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(window->minimumSize(), QSize(560, 390));
    QCOMPARE(window->maximumSize(), QSize(560, 390));
    QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);

    m_controller->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // Both rows give their sliders the same width and keep within the window's margins.
    auto* factorSlider = control<QSlider>(QStringLiteral("smoothZoomFactorSlider"));
    auto* delaySlider = control<QSlider>(QStringLiteral("overlayHideDelaySlider"));
    QCOMPARE(factorSlider->width(), delaySlider->width());
    auto* delayLabel = control<QLabel>(QStringLiteral("overlayHideDelayValueLabel"));
    QCOMPARE(delayLabel->width(), 78);
    QCOMPARE(delayLabel->mapTo(window, QPoint(delayLabel->width(), 0)).x(), 560 - 20);

    // A value changed before closing is still shown after reopening.
    delaySlider->setValue(700);
    window->close();
    QVERIFY(!window.isNull());
    QVERIFY(!window->isVisible());
    m_controller->show();
    QVERIFY(window->isVisible());
    QCOMPARE(delayLabel->text(), QStringLiteral("700 ms"));
}

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
