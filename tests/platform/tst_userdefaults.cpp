#include "SettingsNotifier.h"
#include "SystemBeep.h"
#include "UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestUserDefaults : public QObject
{
    Q_OBJECT

private slots:
    void boolConversion_data();
    void boolConversion();
    void numbersSurviveTheFile_data();
    void numbersSurviveTheFile();
    void typesThatAreNotNumbersReadZero();
    void dataRoundTripsAndTextIsNotData();
    void hasObjectAndRemove();
    void notifierDeliversSynchronously();
    void beepGoesToTheInstalledSink();

private:
    QTemporaryDir m_dir;
};

void TestUserDefaults::boolConversion_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("expected");
    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("non-zero number") << QVariant(2.5) << true;
    QTest::newRow("zero number") << QVariant(0) << false;
    QTest::newRow("text YES") << QVariant(QStringLiteral("YES")) << true;
    QTest::newRow("text true with space") << QVariant(QStringLiteral("  true")) << true;
    QTest::newRow("text no") << QVariant(QStringLiteral("no")) << false;
    QTest::newRow("text 1") << QVariant(QStringLiteral("1")) << true;
    QTest::newRow("text 0") << QVariant(QStringLiteral("0")) << false;
    QTest::newRow("text left") << QVariant(QStringLiteral("left")) << false;
    QTest::newRow("empty text") << QVariant(QString()) << false;
    QTest::newRow("text with a fraction below one") << QVariant(QStringLiteral("0.5")) << false;
    QTest::newRow("text starting with a digit") << QVariant(QStringLiteral("1abc")) << true;
    QTest::newRow("negative text") << QVariant(QStringLiteral("-2")) << true;
    QTest::newRow("zeros") << QVariant(QStringLiteral(" 000")) << false;
    QTest::newRow("data") << QVariant(QByteArray("yes")) << false;
}

void TestUserDefaults::boolConversion()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, expected);
    const QString path = m_dir.filePath(QStringLiteral("bool.conf"));
    {
        UserDefaults defaults(path);
        defaults.setObject(QStringLiteral("key"), stored);
        QCOMPARE(defaults.boolValue(QStringLiteral("key")), expected);
        defaults.sync();
    }
    // Read again from the file, where INI has turned everything into text.
    UserDefaults reread(path);
    QCOMPARE(reread.boolValue(QStringLiteral("key")), expected);
}

void TestUserDefaults::numbersSurviveTheFile_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("six tenths by steps") << 12 * 0.05;
    QTest::newRow("negative") << -1.25;
    QTest::newRow("large") << 1e300;
    QTest::newRow("tiny") << 5e-324;
}

void TestUserDefaults::numbersSurviveTheFile()
{
    QFETCH(double, value);
    const QString path = m_dir.filePath(QStringLiteral("numbers.conf"));
    {
        UserDefaults defaults(path);
        defaults.setDouble(QStringLiteral("n"), value);
        defaults.sync();
    }
    UserDefaults reread(path);
    // Exactly the same double: QCOMPARE on doubles would forgive the last bits.
    QVERIFY(reread.doubleValue(QStringLiteral("n")) == value);
    QVERIFY(reread.numberValue(QStringLiteral("n")).has_value());
}

void TestUserDefaults::typesThatAreNotNumbersReadZero()
{
    UserDefaults defaults(m_dir.filePath(QStringLiteral("wrong.conf")));
    defaults.setString(QStringLiteral("text"), QStringLiteral("abc"));
    defaults.setString(QStringLiteral("nan"), QStringLiteral("nan"));
    defaults.setString(QStringLiteral("inf"), QStringLiteral("inf"));
    defaults.setData(QStringLiteral("data"), QByteArray("12"));
    for (const char* key : {"text", "nan", "data", "absent"}) {
        QCOMPARE(defaults.doubleValue(QString::fromLatin1(key)), 0.0);
        QCOMPARE(defaults.integerValue(QString::fromLatin1(key)), 0);
        QVERIFY(!defaults.numberValue(QString::fromLatin1(key)));
    }
    // Infinity is a number a range can clamp; integers saturate.
    QCOMPARE(defaults.doubleValue(QStringLiteral("inf")), qInf());
    QVERIFY(defaults.integerValue(QStringLiteral("inf")) > qint64(9e18));
    defaults.setString(QStringLiteral("huge"), QStringLiteral("1e30"));
    QVERIFY(defaults.integerValue(QStringLiteral("huge")) > 0);
}

void TestUserDefaults::dataRoundTripsAndTextIsNotData()
{
    const QString path = m_dir.filePath(QStringLiteral("data.conf"));
    const QByteArray bytes("\x00\x01/home/ä\n", 11);
    {
        UserDefaults defaults(path);
        defaults.setData(QStringLiteral("bookmark"), bytes);
        defaults.setString(QStringLiteral("text"), QStringLiteral("plain"));
        defaults.sync();
    }
    UserDefaults reread(path);
    QCOMPARE(reread.dataValue(QStringLiteral("bookmark")), std::optional<QByteArray>(bytes));
    QVERIFY(!reread.dataValue(QStringLiteral("text")));
    QVERIFY(!reread.stringValue(QStringLiteral("bookmark")));
}

void TestUserDefaults::hasObjectAndRemove()
{
    UserDefaults defaults(m_dir.filePath(QStringLiteral("remove.conf")));
    QVERIFY(!defaults.hasObject(QStringLiteral("markup.defaults.tool")));
    defaults.setInteger(QStringLiteral("markup.defaults.tool"), 3);
    QVERIFY(defaults.hasObject(QStringLiteral("markup.defaults.tool")));
    QCOMPARE(defaults.integerValue(QStringLiteral("markup.defaults.tool")), 3);
    defaults.remove(QStringLiteral("markup.defaults.tool"));
    QVERIFY(!defaults.hasObject(QStringLiteral("markup.defaults.tool")));
}

void TestUserDefaults::notifierDeliversSynchronously()
{
    int calls = 0;
    const auto connection =
        QObject::connect(&SettingsNotifier::instance(), &SettingsNotifier::appSettingsChanged,
                         [&calls] { ++calls; });
    SettingsNotifier::post();
    QCOMPARE(calls, 1);
    QObject::disconnect(connection);
}

void TestUserDefaults::beepGoesToTheInstalledSink()
{
    int beeps = 0;
    const auto previous = SystemBeep::setSink([&beeps] { ++beeps; });
    SystemBeep::beep();
    SystemBeep::beep();
    SystemBeep::setSink(previous);
    QCOMPARE(beeps, 2);
}

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
