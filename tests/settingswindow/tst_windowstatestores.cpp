#include "UserDefaults.h"
#include "WindowPositionStore.h"
#include "WindowSizeStore.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestWindowStateStores : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sizeLoad_data();
    void sizeLoad();
    void sizeSaveClamps();
    void positionLoad_data();
    void positionLoad();
    void positionSaveStoresLeftAndTop();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    int m_run = 0;
};

void TestWindowStateStores::init()
{
    m_defaults = std::make_unique<UserDefaults>(
        m_dir.filePath(QStringLiteral("stores-%1.conf").arg(++m_run)));
}

void TestWindowStateStores::sizeLoad_data()
{
    QTest::addColumn<QVariant>("width");
    QTest::addColumn<QVariant>("height");
    QTest::addColumn<QSizeF>("expected");
    QTest::newRow("both outside the limits")
        << QVariant(5000.0) << QVariant(100.0) << QSizeF(2000, 300);
    QTest::newRow("absent width takes the default")
        << QVariant() << QVariant(700.0) << QSizeF(800, 700);
    QTest::newRow("nothing stored") << QVariant() << QVariant() << QSizeF(800, 600);
    QTest::newRow("text is not a number")
        << QVariant(QStringLiteral("wide")) << QVariant(500.0) << QSizeF(800, 500);
}

void TestWindowStateStores::sizeLoad()
{
    QFETCH(QVariant, width);
    QFETCH(QVariant, height);
    QFETCH(QSizeF, expected);
    if (width.isValid()) {
        m_defaults->setObject(QStringLiteral("w"), width);
    }
    if (height.isValid()) {
        m_defaults->setObject(QStringLiteral("h"), height);
    }
    const WindowSizeStore store(*m_defaults, QStringLiteral("w"), QStringLiteral("h"), 400, 2000,
                                300, 1500);
    QCOMPARE(store.load(QSizeF(800, 600)), expected);
}

void TestWindowStateStores::sizeSaveClamps()
{
    const WindowSizeStore store(*m_defaults, QStringLiteral("w"), QStringLiteral("h"), 400, 2000,
                                300, 1500);
    store.save(QSizeF(100, 9000));
    QCOMPARE(m_defaults->doubleValue(QStringLiteral("w")), 400.0);
    QCOMPARE(m_defaults->doubleValue(QStringLiteral("h")), 1500.0);
}

void TestWindowStateStores::positionLoad_data()
{
    QTest::addColumn<QVariant>("x");
    QTest::addColumn<QVariant>("topY");
    QTest::addColumn<QSizeF>("window");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QPointF>("expected");
    const QSizeF window(800, 600);
    QTest::newRow("top edge above the visible frame")
        << QVariant(100.0) << QVariant(900.0) << window << true << QPointF(100, 275);
    QTest::newRow("fits where it was")
        << QVariant(100.0) << QVariant(700.0) << window << true << QPointF(100, 100);
    QTest::newRow("off to the left and right")
        << QVariant(-300.0) << QVariant(700.0) << window << true << QPointF(0, 100);
    QTest::newRow("larger than the frame keeps left and bottom inside")
        << QVariant(500.0) << QVariant(500.0) << QSizeF(2000, 1000) << true << QPointF(0, 0);
    QTest::newRow("only x stored") << QVariant(100.0) << QVariant() << window << false << QPointF();
    QTest::newRow("top y not a number")
        << QVariant(100.0) << QVariant(QStringLiteral("high")) << window << false << QPointF();
}

void TestWindowStateStores::positionLoad()
{
    QFETCH(QVariant, x);
    QFETCH(QVariant, topY);
    QFETCH(QSizeF, window);
    QFETCH(bool, loads);
    QFETCH(QPointF, expected);
    if (x.isValid()) {
        m_defaults->setObject(QStringLiteral("x"), x);
    }
    if (topY.isValid()) {
        m_defaults->setObject(QStringLiteral("top"), topY);
    }
    const WindowPositionStore store(*m_defaults, QStringLiteral("x"), QStringLiteral("top"));
    const auto origin = store.load(window, QRectF(0, 0, 1440, 875));
    QCOMPARE(origin.has_value(), loads);
    if (loads) {
        QCOMPARE(*origin, expected);
    }
}

void TestWindowStateStores::positionSaveStoresLeftAndTop()
{
    const WindowPositionStore store(*m_defaults, QStringLiteral("x"), QStringLiteral("top"));
    store.save(QRectF(120, 80, 800, 600));
    const auto saved = store.savedValues();
    QVERIFY(saved.has_value());
    QCOMPARE(saved->first, 120.0);
    QCOMPARE(saved->second, 680.0);
    QCOMPARE(store.load(QSizeF(800, 600), QRectF(0, 0, 1440, 875)), QPointF(120, 80));
}

QTEST_GUILESS_MAIN(TestWindowStateStores)
#include "tst_windowstatestores.moc"
