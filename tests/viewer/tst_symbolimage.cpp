#include "SymbolImage.h"

#include <QDir>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString testTheme = QStringLiteral("vistrel-test");
const QColor tint(255, 200, 100, 235);

// A scalable theme holding every symbol's theme name as a dark filled square, a shape none of
// the bundled drawings has, so a render shows which source it came from.
bool writeTestTheme(const QString& themeDir)
{
    QFile index(themeDir + QStringLiteral("/index.theme"));
    bool written = QDir().mkpath(themeDir + QStringLiteral("/scalable")) &&
                   index.open(QIODevice::WriteOnly) &&
                   index.write("[Icon Theme]\nName=vistrel-test\nDirectories=scalable\n[scalable]\n"
                               "Size=16\nMinSize=8\nMaxSize=512\nType=Scalable\n") > 0;
    for (const QString& symbol : SymbolImage::symbolNames()) {
        QFile svg(
            QStringLiteral("%1/scalable/%2.svg").arg(themeDir, SymbolImage::themeIconName(symbol)));
        written =
            written && svg.open(QIODevice::WriteOnly) &&
            svg.write(R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">)"
                      R"(<rect x="5" y="5" width="14" height="14" fill="#2e3436"/></svg>)") > 0;
    }
    return written;
}

// Empty when `icon` has the alpha of the SVG at `sourcePath` rendered at the icon's device size,
// times the tint's alpha and `opacity`, the tint's colour wherever it is mostly opaque, and some
// opaque pixels; else the first pixel that does not fit.
QString tintMismatch(const QImage& icon, const QString& sourcePath, double opacity)
{
    QImage source(icon.size(), QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::transparent);
    QPainter painter(&source);
    QSvgRenderer(sourcePath).render(&painter, QRectF(QPointF(), icon.size()));
    painter.end();
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QColor pixel = icon.pixelColor(x, y);
            const double expectedAlpha = qAlpha(source.pixel(x, y)) * tint.alphaF() * opacity;
            const auto near = [](int a, double b) { return std::abs(a - b) <= 2.5; };
            const bool colourFits = pixel.alpha() < 128 || (near(pixel.red(), tint.red()) &&
                                                            near(pixel.green(), tint.green()) &&
                                                            near(pixel.blue(), tint.blue()));
            if (!near(pixel.alpha(), expectedAlpha) || !colourFits) {
                return QStringLiteral("(%1, %2) is %3, alpha %4 expected")
                    .arg(x)
                    .arg(y)
                    .arg(pixel.name(QColor::HexArgb))
                    .arg(expectedAlpha);
            }
            opaque += pixel.alpha() >= 0.8 * tint.alpha() * opacity ? 1 : 0;
        }
    }
    return opaque > 0 ? QString() : QStringLiteral("nothing opaque");
}

} // namespace

class TestSymbolImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rendersTintedAtDeviceSize_data();
    void rendersTintedAtDeviceSize();
    void paintOnHighDensityDeviceUsesDevicePixels();
    void refusesUnknownNamesAndHugeSizes();

private:
    QTemporaryDir m_themeRoot;
};

void TestSymbolImage::initTestCase()
{
    QVERIFY(m_themeRoot.isValid());
    QVERIFY(writeTestTheme(m_themeRoot.filePath(testTheme)));
    QIcon::setThemeSearchPaths({m_themeRoot.path()});
}

void TestSymbolImage::rendersTintedAtDeviceSize_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<bool>("fromTheme");
    QTest::addColumn<qreal>("ratio");
    for (const QString& symbol : SymbolImage::symbolNames()) {
        for (const bool fromTheme : {true, false}) {
            for (const qreal ratio : {1.0, 2.0}) {
                QTest::addRow("%s %s @%gx", qPrintable(symbol), fromTheme ? "theme" : "bundled",
                              ratio)
                    << symbol << fromTheme << ratio;
            }
        }
    }
}

void TestSymbolImage::rendersTintedAtDeviceSize()
{
    QFETCH(QString, symbol);
    QFETCH(bool, fromTheme);
    QFETCH(qreal, ratio);
    const QString themeName = SymbolImage::themeIconName(symbol);
    QVERIFY(!themeName.isEmpty());
    const QSvgRenderer bundled(SymbolImage::fallbackResourcePath(symbol));
    QVERIFY(bundled.isValid());
    QCOMPARE(bundled.viewBox(), QRect(0, 0, 24, 24));
    QIcon::setThemeName(fromTheme ? testTheme : QStringLiteral("no-such-theme"));
    QCOMPARE(QIcon::hasThemeIcon(themeName), fromTheme);
    const QString sourcePath =
        fromTheme
            ? m_themeRoot.filePath(QStringLiteral("%1/scalable/%2.svg").arg(testTheme, themeName))
            : SymbolImage::fallbackResourcePath(symbol);

    const QIcon icon = SymbolImage::icon(symbol, tint);
    QVERIFY(!icon.isNull());
    const QPixmap pixmap = icon.pixmap(QSize(16, 16), ratio);
    QCOMPARE(pixmap.size(), QSize(16, 16) * ratio);
    QCOMPARE(pixmap.devicePixelRatio(), ratio);
    const QString normal = tintMismatch(pixmap.toImage(), sourcePath, 1.0);
    QVERIFY2(normal.isEmpty(), qPrintable(normal));
    const QPixmap disabled = icon.pixmap(QSize(16, 16), ratio, QIcon::Disabled);
    const QString dimmed = tintMismatch(disabled.toImage(), sourcePath, 0.4);
    QVERIFY2(dimmed.isEmpty(), qPrintable(dimmed));
}

void TestSymbolImage::paintOnHighDensityDeviceUsesDevicePixels()
{
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    const QIcon icon = SymbolImage::icon(QStringLiteral("gearshape"), tint);
    QImage painted(32, 32, QImage::Format_ARGB32_Premultiplied);
    painted.setDevicePixelRatio(2);
    painted.fill(Qt::transparent);
    QPainter painter(&painted);
    icon.paint(&painter, QRect(0, 0, 16, 16));
    painter.end();
    QImage expected = icon.pixmap(QSize(16, 16), 2.0).toImage();
    QCOMPARE(painted, expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestSymbolImage::refusesUnknownNamesAndHugeSizes()
{
    for (const QString& name :
         {QStringLiteral("no.such.symbol"), QString(), QStringLiteral("Crop")}) {
        QVERIFY(SymbolImage::icon(name).isNull());
        QVERIFY(SymbolImage::themeIconName(name).isEmpty());
        QVERIFY(SymbolImage::fallbackResourcePath(name).isEmpty());
    }
    const QIcon icon = SymbolImage::icon(QStringLiteral("crop"));
    QVERIFY(icon.pixmap(QSize(100000, 100000)).isNull());
    QVERIFY(icon.pixmap(QSize(0, 16)).isNull());
}

QTEST_MAIN(TestSymbolImage)
#include "tst_symbolimage.moc"
