#include "AppVersionDisplay.h"
#include "AppVersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestAppVersion : public QObject
{
    Q_OBJECT

private slots:
    void labelOfKnownValues_data();
    void labelOfKnownValues();
    void missingOrWrongVersionKeysReadZero();
    void buildDateIsTheExecutablesModificationTime();
    void unreadableExecutableGivesUnknown();
    void digitsDoNotDependOnTheUserLocale();
    void thisBuildHasItsVersionAndADate();
};

void TestAppVersion::labelOfKnownValues_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("expected");
    // 2025-03-09 18:05:42 in Berlin (UTC+1 in March before the change).
    QTest::newRow("same zone") << QByteArray("Europe/Berlin")
                               << QStringLiteral("v1.4 (27) \u2022 build 2025-03-09 18:05:42");
    QTest::newRow("utc") << QByteArray("UTC")
                         << QStringLiteral("v1.4 (27) \u2022 build 2025-03-09 17:05:42");
    QTest::newRow("day changes") << QByteArray("Pacific/Auckland")
                                 << QStringLiteral("v1.4 (27) \u2022 build 2025-03-10 06:05:42");
}

void TestAppVersion::labelOfKnownValues()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, expected);
    const QDateTime built(QDate(2025, 3, 9), QTime(18, 5, 42), QTimeZone("Europe/Berlin"));
    const AppVersionInfo info{QStringLiteral("1.4"), QStringLiteral("27"), built};
    QCOMPARE(AppVersionDisplay::label(info, QTimeZone(zone)), expected);
}

void TestAppVersion::missingOrWrongVersionKeysReadZero()
{
    AppBundle bundle;
    bundle.infoDictionary.insert(QStringLiteral("CFBundleVersion"), 27);
    const AppVersionInfo info = AppVersionInfo::current(bundle);
    QCOMPARE(info.shortVersion, QStringLiteral("0"));
    QCOMPARE(info.buildVersion, QStringLiteral("0"));
    QVERIFY(AppVersionDisplay::label(info, QTimeZone::utc()).startsWith(QStringLiteral("v0 (0) ")));
}

void TestAppVersion::buildDateIsTheExecutablesModificationTime()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vistrel"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QDateTime stamp(QDate(2024, 12, 31), QTime(23, 59, 58), QTimeZone::utc());
    QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    file.close();

    const AppVersionInfo info = AppVersionInfo::current({{}, path});
    QVERIFY(info.buildDate.has_value());
    QCOMPARE(info.buildDate->toUTC(), stamp);
    QCOMPARE(AppVersionDisplay::label(info, QTimeZone::utc()),
             QStringLiteral("v0 (0) \u2022 build 2024-12-31 23:59:58"));
}

void TestAppVersion::unreadableExecutableGivesUnknown()
{
    const AppVersionInfo info = AppVersionInfo::current(
        {{{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("2.0")}},
         QStringLiteral("/nonexistent/vistrel")});
    QVERIFY(!info.buildDate);
    QVERIFY(info.displayLabel().endsWith(QStringLiteral("build unknown")));
    QCOMPARE(AppVersionInfo::current({}).buildDate, std::nullopt);
}

void TestAppVersion::digitsDoNotDependOnTheUserLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    const QDateTime built(QDate(2025, 3, 9), QTime(8, 5, 2), QTimeZone::utc());
    const QString label = AppVersionDisplay::label(
        {QStringLiteral("1"), QStringLiteral("2"), built}, QTimeZone::utc());
    QLocale::setDefault(previous);
    QCOMPARE(label, QStringLiteral("v1 (2) \u2022 build 2025-03-09 08:05:02"));
}

void TestAppVersion::thisBuildHasItsVersionAndADate()
{
    const QString label = AppVersionDisplay::current(AppBundle::main());
    static const QRegularExpression pattern(QStringLiteral(
        R"(^v\d+\.\d+\.\d+ \(\S+\) \x{2022} build \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)"));
    QVERIFY2(pattern.match(label).hasMatch(), qPrintable(label));
}

QTEST_GUILESS_MAIN(TestAppVersion)
#include "tst_appversion.moc"
