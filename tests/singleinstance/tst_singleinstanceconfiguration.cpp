#include "SingleInstanceConfiguration.h"
#include "UserDefaults.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using OptionalName = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalName)

class TestSingleInstanceConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void namesDefaultFromTheBundleIdentifier_data();
    void namesDefaultFromTheBundleIdentifier();
    void directoryLocationPlacesLockAndQueue();
    void applicationSupportIsTheUserDataFolder();
    void policyReadsTheStoredBoolean_data();
    void policyReadsTheStoredBoolean();
};

void TestSingleInstanceConfiguration::namesDefaultFromTheBundleIdentifier_data()
{
    QTest::addColumn<QString>("bundleIdentifier");
    QTest::addColumn<OptionalName>("lockFileName");
    QTest::addColumn<OptionalName>("signalName");
    QTest::addColumn<QString>("expectedIdentifier");
    QTest::addColumn<QString>("expectedLockFileName");
    QTest::addColumn<QString>("expectedSignalName");

    const QString process = QStringLiteral("tst_singleinstanceconfiguration");
    QTest::newRow("empty identifier, no names: the process name throughout")
        << QString() << OptionalName() << OptionalName() << process << process + ".lock"
        << process + ".single-instance.activate";
    QTest::newRow("identifier, no names")
        << QStringLiteral("a.b") << OptionalName() << OptionalName() << QStringLiteral("a.b")
        << QStringLiteral("a.b.lock") << QStringLiteral("a.b.single-instance.activate");
    QTest::newRow("given names are kept")
        << QStringLiteral("a.b") << OptionalName(QStringLiteral("x.pid"))
        << OptionalName(QStringLiteral("wake")) << QStringLiteral("a.b") << QStringLiteral("x.pid")
        << QStringLiteral("wake");
}

void TestSingleInstanceConfiguration::namesDefaultFromTheBundleIdentifier()
{
    QFETCH(QString, bundleIdentifier);
    QFETCH(OptionalName, lockFileName);
    QFETCH(OptionalName, signalName);
    const SingleInstanceConfiguration configuration(
        bundleIdentifier, SingleInstancePolicy::alwaysSingle(),
        SingleInstanceLockLocation::applicationSupport(), lockFileName, signalName);
    QTEST(configuration.bundleIdentifier(), "expectedIdentifier");
    QTEST(configuration.lockFileName(), "expectedLockFileName");
    QTEST(configuration.activationSignalName(), "expectedSignalName");
}

void TestSingleInstanceConfiguration::directoryLocationPlacesLockAndQueue()
{
    const SingleInstanceConfiguration configuration(
        QStringLiteral("a.b"), SingleInstancePolicy::alwaysSingle(),
        SingleInstanceLockLocation::directory(QUrl::fromLocalFile(QStringLiteral("/tmp/x"))));
    QCOMPARE(configuration.lockURL(), QUrl::fromLocalFile(QStringLiteral("/tmp/x/a.b/a.b.lock")));
    QCOMPARE(configuration.duplicateLaunchRequestsURL(),
             QUrl::fromLocalFile(QStringLiteral("/tmp/x/a.b/DuplicateLaunchRequests")));
}

void TestSingleInstanceConfiguration::applicationSupportIsTheUserDataFolder()
{
    // The test runs with XDG_DATA_HOME inside the build tree.
    const QString data = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    QVERIFY(!data.isEmpty());
    const SingleInstanceConfiguration configuration(
        QStringLiteral("com.dorn.vistrel"), SingleInstancePolicy::alwaysSingle(),
        SingleInstanceLockLocation::applicationSupport());
    QCOMPARE(configuration.lockURL(),
             QUrl::fromLocalFile(data + "/com.dorn.vistrel/com.dorn.vistrel.lock"));
    QCOMPARE(configuration.duplicateLaunchRequestsURL(),
             QUrl::fromLocalFile(data + "/com.dorn.vistrel/DuplicateLaunchRequests"));
}

void TestSingleInstanceConfiguration::policyReadsTheStoredBoolean_data()
{
    QTest::addColumn<bool>("alwaysSingle");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("allowsMultiple");
    QTest::newRow("absent") << false << QVariant() << false;
    QTest::newRow("true") << false << QVariant(true) << true;
    QTest::newRow("false") << false << QVariant(false) << false;
    QTest::newRow("text YES") << false << QVariant(QStringLiteral("YES")) << true;
    QTest::newRow("text 0") << false << QVariant(QStringLiteral("0")) << false;
    QTest::newRow("always single ignores true") << true << QVariant(true) << false;
}

void TestSingleInstanceConfiguration::policyReadsTheStoredBoolean()
{
    QFETCH(bool, alwaysSingle);
    QFETCH(QVariant, stored);
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("defaults.conf")));
    if (stored.isValid()) {
        defaults.setObject(QStringLiteral("allowMultipleInstances"), stored);
    }
    const SingleInstancePolicy policy =
        alwaysSingle ? SingleInstancePolicy::alwaysSingle()
                     : SingleInstancePolicy::userDefaults(defaults,
                                                          QStringLiteral("allowMultipleInstances"));
    QTEST(policy.allowsMultipleInstances(), "allowsMultiple");
}

QTEST_GUILESS_MAIN(TestSingleInstanceConfiguration)
#include "tst_singleinstanceconfiguration.moc"
