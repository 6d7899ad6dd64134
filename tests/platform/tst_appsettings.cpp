#include "AppSettings.h"
#include "SettingsNotifier.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestAppSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void storedDelayReads_data();
    void storedDelayReads();
    void settingSmoothZoomFactorStores_data();
    void settingSmoothZoomFactorStores();
    void settingDelayStores_data();
    void settingDelayStores();
    void defaultFactorIsTwelveSteps();
    void booleanDefaults_data();
    void booleanDefaults();
    void placementReadsTopUnlessBottom_data();
    void placementReadsTopUnlessBottom();
    void everySetterAnnouncesAfterStoring();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    int m_run = 0;
};

void TestAppSettings::init()
{
    m_defaults = std::make_unique<UserDefaults>(
        m_dir.filePath(QStringLiteral("settings-%1.conf").arg(++m_run)));
}

void TestAppSettings::storedDelayReads_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<double>("expected");
    QTest::newRow("absent") << QVariant() << 0.25;
    QTest::newRow("above the maximum") << QVariant(5.0) << 2.0;
    QTest::newRow("zero") << QVariant(0.0) << 0.02;
    QTest::newRow("negative") << QVariant(-1.0) << 0.02;
    QTest::newRow("rounded to the step") << QVariant(0.257) << 0.26;
    QTest::newRow("text that is not a number") << QVariant(QStringLiteral("slow")) << 0.02;
    QTest::newRow("number stored as text") << QVariant(QStringLiteral("1.234")) << 1.23;
    QTest::newRow("not a number") << QVariant(QStringLiteral("nan")) << 0.02;
    QTest::newRow("infinite") << QVariant(QStringLiteral("inf")) << 2.0;
}

void TestAppSettings::storedDelayReads()
{
    QFETCH(QVariant, stored);
    QFETCH(double, expected);
    if (stored.isValid()) {
        m_defaults->setObject(QStringLiteral("overlayHideDelaySeconds"), stored);
    }
    QCOMPARE(AppSettings::overlayHideDelaySeconds(*m_defaults), expected);
}

void TestAppSettings::settingSmoothZoomFactorStores_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("stored");
    // A whole number of steps times the step, in double precision: 0.6 is 12 * 0.05.
    QTest::newRow("rounds down") << 0.62 << 12 * 0.05;
    QTest::newRow("rounds up") << 0.63 << 13 * 0.05;
    QTest::newRow("above the maximum") << 2.0 << 1.5;
    QTest::newRow("below the minimum") << 0.01 << 0.05;
    QTest::newRow("not a number") << qQNaN() << 0.05;
}

void TestAppSettings::settingSmoothZoomFactorStores()
{
    QFETCH(double, value);
    QFETCH(double, stored);
    AppSettings::setSmoothZoomFactor(value, *m_defaults);
    // Exact comparisons: QCOMPARE would forgive the last bits that tell 0.6 from 12 * 0.05.
    QVERIFY(m_defaults->doubleValue(QStringLiteral("smoothZoomFactor")) == stored);
    QVERIFY(AppSettings::smoothZoomFactor(*m_defaults) == stored);
}

void TestAppSettings::settingDelayStores_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("stored");
    QTest::newRow("rounds to the step") << 0.257 << 26 * 0.01;
    QTest::newRow("above the maximum") << 3.0 << 2.0;
    QTest::newRow("below the minimum") << 0.001 << 0.02;
    QTest::newRow("infinite") << qInf() << 2.0;
}

void TestAppSettings::settingDelayStores()
{
    QFETCH(double, value);
    QFETCH(double, stored);
    AppSettings::setOverlayHideDelaySeconds(value, *m_defaults);
    QVERIFY(m_defaults->doubleValue(QStringLiteral("overlayHideDelaySeconds")) == stored);
}

void TestAppSettings::defaultFactorIsTwelveSteps()
{
    const double factor = AppSettings::smoothZoomFactor(*m_defaults);
    QCOMPARE(factor, 12 * 0.05);
    QVERIFY(factor != 0.6);
}

void TestAppSettings::booleanDefaults_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("absent");
    QTest::newRow("invertZoomScroll") << QStringLiteral("invertZoomScroll") << false;
    QTest::newRow("showMiniNavigator") << QStringLiteral("showMiniNavigator") << true;
    QTest::newRow("preserveViewBetweenImages")
        << QStringLiteral("preserveViewBetweenImages") << false;
    QTest::newRow("dockEditToolbar") << QStringLiteral("dockEditToolbar") << true;
    QTest::newRow("smoothZoom") << QStringLiteral("smoothZoom") << false;
}

void TestAppSettings::booleanDefaults()
{
    QFETCH(QString, key);
    QFETCH(bool, absent);
    const auto read = [this, &key] {
        if (key == QStringLiteral("invertZoomScroll")) {
            return AppSettings::isZoomScrollInverted(*m_defaults);
        }
        if (key == QStringLiteral("showMiniNavigator")) {
            return AppSettings::isMiniNavigatorEnabled(*m_defaults);
        }
        if (key == QStringLiteral("preserveViewBetweenImages")) {
            return AppSettings::isPreserveViewBetweenImagesEnabled(*m_defaults);
        }
        if (key == QStringLiteral("dockEditToolbar")) {
            return AppSettings::isEditToolbarDocked(*m_defaults);
        }
        return AppSettings::isSmoothZoomEnabled(*m_defaults);
    };
    QCOMPARE(read(), absent);
    m_defaults->setBool(key, !absent);
    QCOMPARE(read(), !absent);
    m_defaults->setString(key, QStringLiteral("no"));
    QCOMPARE(read(), false);
}

void TestAppSettings::placementReadsTopUnlessBottom_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<EditToolbarPlacement>("expected");
    QTest::newRow("absent") << QVariant() << EditToolbarPlacement::top;
    QTest::newRow("bottom") << QVariant(QStringLiteral("bottom")) << EditToolbarPlacement::bottom;
    QTest::newRow("top") << QVariant(QStringLiteral("top")) << EditToolbarPlacement::top;
    QTest::newRow("unknown text") << QVariant(QStringLiteral("left")) << EditToolbarPlacement::top;
    QTest::newRow("a number") << QVariant(1) << EditToolbarPlacement::top;
}

void TestAppSettings::placementReadsTopUnlessBottom()
{
    QFETCH(QVariant, stored);
    QFETCH(EditToolbarPlacement, expected);
    if (stored.isValid()) {
        m_defaults->setObject(QStringLiteral("editToolbarPlacement"), stored);
    }
    QCOMPARE(AppSettings::editToolbarPlacement(*m_defaults), expected);
}

void TestAppSettings::everySetterAnnouncesAfterStoring()
{
    QStringList seen;
    const auto connection =
        connect(&SettingsNotifier::instance(), &SettingsNotifier::appSettingsChanged, this, [&] {
            seen << QStringLiteral("%1/%2")
                        .arg(AppSettings::overlayHideDelaySeconds(*m_defaults))
                        .arg(AppSettings::editToolbarPlacement(*m_defaults) ==
                                     EditToolbarPlacement::bottom
                                 ? QStringLiteral("bottom")
                                 : QStringLiteral("top"));
        });
    AppSettings::setOverlayHideDelaySeconds(1.5, *m_defaults);
    AppSettings::setEditToolbarPlacement(EditToolbarPlacement::bottom, *m_defaults);
    AppSettings::setMiniNavigatorEnabled(false, *m_defaults);
    AppSettings::setZoomScrollInverted(true, *m_defaults);
    AppSettings::setPreserveViewBetweenImagesEnabled(true, *m_defaults);
    AppSettings::setEditToolbarDocked(false, *m_defaults);
    AppSettings::setSmoothZoomEnabled(true, *m_defaults);
    AppSettings::setSmoothZoomFactor(1.0, *m_defaults);
    disconnect(connection);
    QCOMPARE(seen.size(), 8);
    QCOMPARE(seen.first(), QStringLiteral("1.5/top"));
    QCOMPARE(seen.at(1), QStringLiteral("1.5/bottom"));
    QVERIFY(!AppSettings::isMiniNavigatorEnabled(*m_defaults));
    QVERIFY(AppSettings::isZoomScrollInverted(*m_defaults));
    QVERIFY(AppSettings::isPreserveViewBetweenImagesEnabled(*m_defaults));
    QVERIFY(!AppSettings::isEditToolbarDocked(*m_defaults));
    QVERIFY(AppSettings::isSmoothZoomEnabled(*m_defaults));
}

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
