#include "NaturalNameOrder.h"

#include <QTest>
#include <algorithm>
#include <random>

// CTest runs this executable in the machine's locale, in the C locale and in Swedish (where "Ä"
// sorts after "Z"), so the system-locale functions are exercised in each.
class TestNaturalNameOrder : public QObject
{
    Q_OBJECT

private slots:
    void compareInEveryLocale_data();
    void compareInEveryLocale();
    void localeDecidesLetterOrder();
    void followsTheSystemCollationLocale();
    void sortIsStableForNamesThatCompareEqual();
    void sortAgreesWithCompare();
};

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

void TestNaturalNameOrder::compareInEveryLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    const QList<QLocale> locales = {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                    QLocale(QLocale::German, QLocale::Germany),
                                    QLocale(QLocale::Swedish, QLocale::Sweden),
                                    QLocale(QLocale::Japanese, QLocale::Japan)};
    for (const QLocale& locale : locales) {
        const QByteArray tag = locale.name().toUtf8() + ": ";
        QTest::newRow(tag + "2 before 10, mixed case")
            << locale << QStringLiteral("IMG_2.jpg") << QStringLiteral("img_10.JPG") << -1;
        QTest::newRow(tag + "1 before 2 across case")
            << locale << QStringLiteral("img_1.png") << QStringLiteral("IMG_2.jpg") << -1;
        QTest::newRow(tag + "names differing only in case are equal")
            << locale << QStringLiteral("IMG_1.png") << QStringLiteral("img_1.PNG") << 0;
        QTest::newRow(tag + "second digit run compared by value")
            << locale << QStringLiteral("shot 2-10.png") << QStringLiteral("shot 2-9.png") << 1;
        QTest::newRow(tag + "leading zeros do not change the value")
            << locale << QStringLiteral("IMG_0009.jpg") << QStringLiteral("IMG_10.jpg") << -1;
        QTest::newRow(tag + "letters ignore case")
            << locale << QStringLiteral("apple.png") << QStringLiteral("Banana.png") << -1;
        QTest::newRow(tag + "digits before letters")
            << locale << QStringLiteral("IMG_9.png") << QStringLiteral("IMG_a.png") << -1;
    }
}

void TestNaturalNameOrder::compareInEveryLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    const QCollator collator = NaturalNameOrder::collatorFor(locale);
    QCOMPARE(sign(collator.compare(a, b)), expected);
    QCOMPARE(sign(collator.compare(b, a)), -expected);
    QCOMPARE(sign(collator.sortKey(a).compare(collator.sortKey(b))), expected);
}

void TestNaturalNameOrder::localeDecidesLetterOrder()
{
    const QString umlaut = QStringLiteral("Äpple.png");
    const QString zebra = QStringLiteral("Zebra.png");
    // English and German sort "Ä" with "A"; Swedish sorts it after "Z". The C locale collates as
    // English rather than by code point (where "Ä" would come after every ASCII letter).
    QVERIFY(NaturalNameOrder::collatorFor(QLocale::c()).compare(umlaut, zebra) < 0);
    QVERIFY(NaturalNameOrder::collatorFor(QLocale(QLocale::German)).compare(umlaut, zebra) < 0);
    QVERIFY(NaturalNameOrder::collatorFor(QLocale(QLocale::Swedish)).compare(umlaut, zebra) > 0);
}

void TestNaturalNameOrder::followsTheSystemCollationLocale()
{
    const QCollator expected = NaturalNameOrder::collatorFor(QLocale::system().collation());
    const QStringList names = {QStringLiteral("Äpple.png"), QStringLiteral("Zebra.png"),
                               QStringLiteral("IMG_2.jpg"), QStringLiteral("img_10.JPG")};
    for (const QString& a : names) {
        for (const QString& b : names) {
            QCOMPARE(sign(NaturalNameOrder::compare(a, b)), sign(expected.compare(a, b)));
        }
    }
    QVERIFY(NaturalNameOrder::compare(QStringLiteral("IMG_2.jpg"), QStringLiteral("img_10.JPG")) <
            0);
    const QLocale::Language language = QLocale::system().collation().language();
    if (language == QLocale::Swedish || language == QLocale::C) {
        const bool umlautAfterZ = language == QLocale::Swedish;
        QCOMPARE(NaturalNameOrder::compare(QStringLiteral("Äpple"), QStringLiteral("Zebra")) > 0,
                 umlautAfterZ);
    }
}

void TestNaturalNameOrder::sortIsStableForNamesThatCompareEqual()
{
    const QStringList names = {QStringLiteral("img_1.png"), QStringLiteral("b.png"),
                               QStringLiteral("IMG_1.png"), QStringLiteral("a.png"),
                               QStringLiteral("Img_1.png"), QStringLiteral("IMG_10.png")};
    const std::vector<qsizetype> expected = {3, 1, 0, 2, 4, 5};
    QCOMPARE(NaturalNameOrder::sortedPositions(names), expected);
}

void TestNaturalNameOrder::sortAgreesWithCompare()
{
    QStringList names;
    for (int i = 0; i < 300; ++i) {
        names.append(QStringLiteral("%1_%2.%3")
                         .arg(i % 2 ? QStringLiteral("IMG") : QStringLiteral("img"))
                         .arg(i % 120)
                         .arg(i % 3 ? QStringLiteral("jpg") : QStringLiteral("PNG")));
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(7));
    const std::vector<qsizetype> order = NaturalNameOrder::sortedPositions(names);
    QCOMPARE(order.size(), std::size_t(names.size()));
    std::vector<qsizetype> positions = order;
    std::sort(positions.begin(), positions.end());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        QCOMPARE(positions[i], qsizetype(i));
    }
    for (std::size_t i = 1; i < order.size(); ++i) {
        const int comparison = NaturalNameOrder::compare(names[order[i - 1]], names[order[i]]);
        QVERIFY2(comparison < 0 || (comparison == 0 && order[i - 1] < order[i]),
                 qPrintable(names[order[i - 1]] + QStringLiteral(" / ") + names[order[i]]));
    }
}

QTEST_APPLESS_MAIN(TestNaturalNameOrder)
#include "tst_naturalnameorder.moc"
