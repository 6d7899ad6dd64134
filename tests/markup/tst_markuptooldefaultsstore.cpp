#include "MarkupToolDefaultsStore.h"
#include "UserDefaults.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

namespace {

const QString prefix = QStringLiteral("markup.defaults");

QString key(const char* name)
{
    return prefix + u'.' + QLatin1String(name);
}

// Colours compared at the 16-bit precision QColor keeps.
bool sameColor(const QColor& a, const QColor& b)
{
    return a.rgba64() == b.rgba64();
}

} // namespace

class TestMarkupToolDefaultsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void absentKeysLoadTheInitialSettings();
    void saveWritesEveryKeyInItsStoredForm();
    void colourStringsUseAPointWhateverTheLocale();
    void roundTripThroughTheFile();
    void storedValuesAreValidatedOnLoad_data();
    void storedValuesAreValidatedOnLoad();
    void malformedColoursFallBackAsAWhole_data();
    void malformedColoursFallBackAsAWhole();
    void saveClampsToTheRanges();
    void invalidColoursAreSavedAsTheInitialColour();
    void resetRemovesOnlyTheToolKeys();
    void keyPrefixIsHonoured();
    void handEditedUnquotedColourIsRead();

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_fileNumber = 0;
};

void TestMarkupToolDefaultsStore::init()
{
    m_path = m_dir.filePath(QStringLiteral("defaults-%1.conf").arg(++m_fileNumber));
}

void TestMarkupToolDefaultsStore::absentKeysLoadTheInitialSettings()
{
    UserDefaults defaults(m_path);
    const MarkupToolDefaults loaded = MarkupToolDefaultsStore(defaults, prefix).load();
    QCOMPARE(loaded.tool, MarkupTool::rectangle);
    QVERIFY(sameColor(loaded.strokeColor, QColor(255, 59, 48)));
    QCOMPARE(loaded.fillColor.alpha(), 0);
    QCOMPARE(loaded.textFontSize, 24.0);
    QCOMPARE(loaded.arrowLineWidth, 4.5);
    QCOMPARE(loaded.arrowHeadScale, 5.0);
    QCOMPARE(loaded.arrowHeadWidthScale, 1.0);
    QCOMPARE(loaded.arrowheadStyle, MarkupArrowheadStyle::end);
}

void TestMarkupToolDefaultsStore::saveWritesEveryKeyInItsStoredForm()
{
    UserDefaults defaults(m_path);
    MarkupToolDefaultsStore store(defaults, prefix);
    store.save({MarkupTool::pen, QColor(255, 0, 0), QColor(0, 0, 255, 128), 30, 2.5, 7, 1.5,
                MarkupArrowheadStyle::both});
    QCOMPARE(defaults.integerValue(key("tool")), 4);
    QCOMPARE(defaults.stringValue(key("strokeColor")).value_or(QString()),
             QStringLiteral("1.000000,0.000000,0.000000,1.000000"));
    QCOMPARE(defaults.stringValue(key("fillColor")).value_or(QString()),
             QStringLiteral("0.000000,0.000000,1.000000,0.501961"));
    QCOMPARE(defaults.doubleValue(key("textFontSize")), 30.0);
    QCOMPARE(defaults.doubleValue(key("arrowLineWidth")), 2.5);
    QCOMPARE(defaults.doubleValue(key("arrowHeadScale")), 7.0);
    QCOMPARE(defaults.doubleValue(key("arrowHeadWidthScale")), 1.5);
    QCOMPARE(defaults.integerValue(key("arrowheadStyle")), 2);
}

void TestMarkupToolDefaultsStore::colourStringsUseAPointWhateverTheLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    UserDefaults defaults(m_path);
    MarkupToolDefaultsStore store(defaults, prefix);
    MarkupToolDefaults settings = MarkupToolDefaults::initial();
    settings.strokeColor = QColor(51, 102, 204);
    store.save(settings);
    const auto stored = defaults.stringValue(key("strokeColor"));
    QLocale::setDefault(previous);
    QCOMPARE(stored.value_or(QString()), QStringLiteral("0.200000,0.400000,0.800000,1.000000"));
}

void TestMarkupToolDefaultsStore::roundTripThroughTheFile()
{
    const MarkupToolDefaults saved{MarkupTool::text,
                                   QColor::fromRgbF(0.1f, 0.2f, 0.3f, 0.4f),
                                   QColor(12, 34, 56, 78),
                                   17.5,
                                   6.25,
                                   0,
                                   0.45,
                                   MarkupArrowheadStyle::none};
    {
        UserDefaults defaults(m_path);
        MarkupToolDefaultsStore(defaults, prefix).save(saved);
        defaults.sync();
    }
    UserDefaults reread(m_path);
    const MarkupToolDefaults loaded = MarkupToolDefaultsStore(reread, prefix).load();
    QCOMPARE(loaded.tool, saved.tool);
    QVERIFY(sameColor(loaded.strokeColor, saved.strokeColor));
    QVERIFY(sameColor(loaded.fillColor, saved.fillColor));
    QCOMPARE(loaded.textFontSize, saved.textFontSize);
    QCOMPARE(loaded.arrowLineWidth, saved.arrowLineWidth);
    QCOMPARE(loaded.arrowHeadScale, saved.arrowHeadScale);
    QCOMPARE(loaded.arrowHeadWidthScale, saved.arrowHeadWidthScale);
    QCOMPARE(loaded.arrowheadStyle, saved.arrowheadStyle);
}

void TestMarkupToolDefaultsStore::storedValuesAreValidatedOnLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("loaded");
    QTest::newRow("tool 9 is no tool") << "tool" << QVariant(9) << QVariant(0);
    QTest::newRow("tool -1 is no tool") << "tool" << QVariant(-1) << QVariant(0);
    QTest::newRow("tool 3 is the arrow") << "tool" << QVariant(3) << QVariant(3);
    QTest::newRow("tool as text") << "tool" << QVariant(QStringLiteral("5")) << QVariant(5);
    QTest::newRow("style 0 is none") << "arrowheadStyle" << QVariant(0) << QVariant(0);
    QTest::newRow("style 3 is no style") << "arrowheadStyle" << QVariant(3) << QVariant(1);
    QTest::newRow("font size 200 is clamped")
        << "textFontSize" << QVariant(200.0) << QVariant(80.0);
    QTest::newRow("font size 3 is clamped") << "textFontSize" << QVariant(3) << QVariant(10.0);
    QTest::newRow("font size that is not a number reads 0, clamped")
        << "textFontSize" << QVariant(QStringLiteral("large")) << QVariant(10.0);
    QTest::newRow("line width 0.2 is clamped")
        << "arrowLineWidth" << QVariant(0.2) << QVariant(1.0);
    QTest::newRow("head scale -4 is clamped") << "arrowHeadScale" << QVariant(-4) << QVariant(0.0);
    QTest::newRow("head width 2 is clamped")
        << "arrowHeadWidthScale" << QVariant(2) << QVariant(1.8);
    QTest::newRow("head width infinite is clamped to the maximum")
        << "arrowHeadWidthScale" << QVariant(QStringLiteral("inf")) << QVariant(1.8);
}

void TestMarkupToolDefaultsStore::storedValuesAreValidatedOnLoad()
{
    QFETCH(QString, name);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, loaded);
    {
        UserDefaults defaults(m_path);
        defaults.setObject(prefix + u'.' + name, stored);
        defaults.sync();
    }
    UserDefaults reread(m_path);
    const MarkupToolDefaults settings = MarkupToolDefaultsStore(reread, prefix).load();
    const QVariant actual = name == u"tool" ? QVariant(settings.tool.rawValue())
                            : name == u"arrowheadStyle"
                                ? QVariant(settings.arrowheadStyle.rawValue())
                            : name == u"textFontSize"   ? QVariant(settings.textFontSize)
                            : name == u"arrowLineWidth" ? QVariant(settings.arrowLineWidth)
                            : name == u"arrowHeadScale" ? QVariant(settings.arrowHeadScale)
                                                        : QVariant(settings.arrowHeadWidthScale);
    QCOMPARE(actual, loaded);
}

void TestMarkupToolDefaultsStore::malformedColoursFallBackAsAWhole_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QColor>("loaded");
    const QColor initialRed(255, 59, 48);
    QTest::newRow("three numbers") << QVariant(QStringLiteral("1,0,0")) << initialRed;
    QTest::newRow("five numbers") << QVariant(QStringLiteral("1,0,0,1,0.5")) << initialRed;
    QTest::newRow("a letter among five fields is skipped")
        << QVariant(QStringLiteral("1,0,x,0,1")) << QColor::fromRgbF(1, 0, 0, 1);
    QTest::newRow("components are clamped")
        << QVariant(QStringLiteral("2,-1,0.5,1")) << QColor::fromRgbF(1, 0, 0.5f, 1);
    QTest::newRow("empty pieces are dropped")
        << QVariant(QStringLiteral(",0,1,,0,1,")) << QColor::fromRgbF(0, 1, 0, 1);
    QTest::newRow("surrounding spaces do not parse")
        << QVariant(QStringLiteral(" 0,1,0,1")) << initialRed;
    QTest::newRow("decimal commas split into too many pieces")
        << QVariant(QStringLiteral("0,5;0,5;0,5;1")) << initialRed;
    QTest::newRow("not a number is no component")
        << QVariant(QStringLiteral("nan,0,0,1")) << initialRed;
    QTest::newRow("not text") << QVariant(QByteArray("1,0,0,1")) << initialRed;
    QTest::newRow("empty text") << QVariant(QString()) << initialRed;
}

void TestMarkupToolDefaultsStore::malformedColoursFallBackAsAWhole()
{
    QFETCH(QVariant, stored);
    QFETCH(QColor, loaded);
    UserDefaults defaults(m_path);
    defaults.setObject(key("strokeColor"), stored);
    const MarkupToolDefaults settings = MarkupToolDefaultsStore(defaults, prefix).load();
    QVERIFY2(sameColor(settings.strokeColor, loaded),
             qPrintable(settings.strokeColor.name(QColor::HexArgb)));
}

void TestMarkupToolDefaultsStore::saveClampsToTheRanges()
{
    UserDefaults defaults(m_path);
    MarkupToolDefaultsStore store(defaults, prefix);
    MarkupToolDefaults settings = MarkupToolDefaults::initial();
    settings.textFontSize = 5;
    settings.arrowLineWidth = 20;
    settings.arrowHeadScale = std::numeric_limits<double>::quiet_NaN();
    settings.arrowHeadWidthScale = std::numeric_limits<double>::infinity();
    store.save(settings);
    QCOMPARE(defaults.doubleValue(key("textFontSize")), 10.0);
    QCOMPARE(defaults.doubleValue(key("arrowLineWidth")), 8.0);
    QCOMPARE(defaults.doubleValue(key("arrowHeadScale")), 0.0);
    QCOMPARE(defaults.doubleValue(key("arrowHeadWidthScale")), 1.8);
}

void TestMarkupToolDefaultsStore::invalidColoursAreSavedAsTheInitialColour()
{
    UserDefaults defaults(m_path);
    MarkupToolDefaultsStore store(defaults, prefix);
    MarkupToolDefaults settings = MarkupToolDefaults::initial();
    settings.strokeColor = QColor();
    settings.fillColor = QColor();
    store.save(settings);
    QCOMPARE(defaults.stringValue(key("strokeColor")).value_or(QString()),
             QStringLiteral("1.000000,0.231373,0.188235,1.000000"));
    QCOMPARE(defaults.stringValue(key("fillColor")).value_or(QString()),
             QStringLiteral("0.000000,0.000000,0.000000,0.000000"));
}

void TestMarkupToolDefaultsStore::resetRemovesOnlyTheToolKeys()
{
    UserDefaults defaults(m_path);
    MarkupToolDefaultsStore store(defaults, prefix);
    store.save(
        {MarkupTool::blur, Qt::green, Qt::yellow, 40, 2, 3, 0.5, MarkupArrowheadStyle::none});
    defaults.setBool(QStringLiteral("showMiniNavigator"), true);
    store.reset();
    for (const char* name : {"tool", "strokeColor", "fillColor", "textFontSize", "arrowLineWidth",
                             "arrowHeadScale", "arrowHeadWidthScale", "arrowheadStyle"}) {
        QVERIFY2(!defaults.hasObject(key(name)), name);
    }
    QVERIFY(defaults.hasObject(QStringLiteral("showMiniNavigator")));
    const MarkupToolDefaults loaded = store.load();
    QCOMPARE(loaded.tool, MarkupTool::rectangle);
    QCOMPARE(loaded.textFontSize, 24.0);
    QCOMPARE(loaded.arrowheadStyle, MarkupArrowheadStyle::end);
}

void TestMarkupToolDefaultsStore::keyPrefixIsHonoured()
{
    UserDefaults defaults(m_path);
    MarkupToolDefaultsStore store(defaults, QStringLiteral("editor.tools"));
    QCOMPARE(store.keyPrefix(), QStringLiteral("editor.tools"));
    QCOMPARE(&store.defaults(), &defaults);
    MarkupToolDefaults settings = MarkupToolDefaults::initial();
    settings.tool = MarkupTool::ellipse;
    store.save(settings);
    QCOMPARE(defaults.integerValue(QStringLiteral("editor.tools.tool")), 1);
    QVERIFY(!defaults.hasObject(key("tool")));
    QCOMPARE(MarkupToolDefaultsStore::standard().keyPrefix(), prefix);
}

void TestMarkupToolDefaultsStore::handEditedUnquotedColourIsRead()
{
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nmarkup.defaults.fillColor=0,0.5,1,1\n");
    }
    UserDefaults defaults(m_path);
    const MarkupToolDefaults loaded = MarkupToolDefaultsStore(defaults, prefix).load();
    QVERIFY(sameColor(loaded.fillColor, QColor::fromRgbF(0, 0.5f, 1, 1)));
}

QTEST_APPLESS_MAIN(TestMarkupToolDefaultsStore)
#include "tst_markuptooldefaultsstore.moc"
