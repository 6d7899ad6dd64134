#include "MarkupAnnotationRenderer.h"
#include "MarkupGeometry.h"
#include "RenderTestSupport.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTest>

using namespace RenderTestSupport;

Q_DECLARE_METATYPE(MarkupAnnotation)
Q_DECLARE_METATYPE(MarkupShape)

namespace {

MarkupAnnotation annotation(const MarkupShape& shape, const QColor& stroke = Qt::black,
                            const QColor& fill = Qt::transparent, double lineWidth = 0.02,
                            MarkupArrowheadStyle style = MarkupArrowheadStyle::end)
{
    return MarkupAnnotation(shape, stroke, fill, lineWidth, 5, 1, style);
}

// Paints `annotations` in order over a white image of `size` that is also the fallback image.
QImage rendered(const QList<MarkupAnnotation>& annotations, QSize size = {100, 100},
                double strokeAlpha = 1, QImage::Format format = QImage::Format_ARGB32_Premultiplied)
{
    QImage image(size, format);
    image.fill(Qt::white);
    const QImage fallback = image;
    paint(image, [&](QPainter& p) {
        for (const MarkupAnnotation& a : annotations) {
            MarkupAnnotationRenderer::draw(p, a, QRectF(QPointF(0, 0), size), fallback,
                                           strokeAlpha);
        }
    });
    return image;
}

// The number of dark pixels in the row at height y, from x = 0 to the middle.
int darkRunLength(const QImage& image, double y)
{
    int count = 0;
    for (int x = 0; x < image.width() / 2; ++x) {
        count += pixelAt(image, {double(x), y}).value() < 128 ? 1 : 0;
    }
    return count;
}

// Ink wider along the top rows of its box than along the bottom rows: a "T" standing upright.
bool inkIsWiderAtTheTop(const QImage& image)
{
    const QRect ink = inkBounds(image);
    const auto widthOfRow = [&](int y) {
        int count = 0;
        for (int x = ink.left(); x <= ink.right(); ++x) {
            count += pixelAt(image, {double(x), double(y)}).value() < 128 ? 1 : 0;
        }
        return count;
    };
    return widthOfRow(ink.bottom() - 1) > 2 * widthOfRow(ink.top() + 1);
}

// The ink height of `text` drawn with plain Qt, y downwards, in the application's font at medium
// weight and a pixel size of `pixelSize`: how tall text `pixelSize` pixels high really is.
int referenceInkHeight(const QString& text, int pixelSize)
{
    QFont font = QGuiApplication::font();
    font.setWeight(QFont::Medium);
    font.setPixelSize(pixelSize);
    QImage image = canvas(4 * pixelSize, 4 * pixelSize);
    {
        QPainter p(&image);
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPointF(pixelSize, 2 * pixelSize), text);
    }
    return inkBounds(image).height();
}

} // namespace

class TestMarkupAnnotationRenderer : public QObject
{
    Q_OBJECT

private slots:
    void fillNeedsMoreThanAThousandthOfAlpha_data();
    void fillNeedsMoreThanAThousandthOfAlpha();
    void strokeAlphaReplacesTheColoursAlpha_data();
    void strokeAlphaReplacesTheColoursAlpha();
    void lineWidthFollowsTheShorterSide_data();
    void lineWidthFollowsTheShorterSide();
    void shapesAreMappedOntoTheImageRectangle();
    void ellipseIsInscribed();
    void penStrokesThePolylineWithRoundEnds();
    void emptyShapesDrawNothing_data();
    void emptyShapesDrawNothing();
    void textStandsUprightAboveItsOrigin();
    void textIsNeverSmallerThanEightPoints();
    void textIsAsTallAsItsSizeInUnits_data();
    void textIsAsTallAsItsSizeInUnits();
    void blurBlursOnlyWhatWasDrawnBeforeIt();
    void curvedArrowWithoutAnchorsIsStraight();
    void hugeLineWidthsDoNotCrash_data();
    void hugeLineWidthsDoNotCrash();
};

void TestMarkupAnnotationRenderer::fillNeedsMoreThanAThousandthOfAlpha_data()
{
    QTest::addColumn<double>("alpha");
    QTest::addColumn<bool>("filled");
    QTest::newRow("0.001 is not painted") << 0.001 << false;
    QTest::newRow("0.0011 is painted") << 0.0011 << true;
}

void TestMarkupAnnotationRenderer::fillNeedsMoreThanAThousandthOfAlpha()
{
    QFETCH(double, alpha);
    QFETCH(bool, filled);
    QColor fill(Qt::black);
    fill.setAlphaF(float(alpha));
    // Sixteen bits per channel, so that so faint a fill leaves a trace.
    const QImage image =
        rendered({annotation(MarkupShape::rectangle({0.2, 0.2, 0.6, 0.6}), Qt::black, fill)},
                 {100, 100}, 1, QImage::Format_RGBA64_Premultiplied);
    const QRgba64 inside = image.pixelColor(50, 50).rgba64();
    QCOMPARE(inside.red() < 65535, filled);
}

void TestMarkupAnnotationRenderer::strokeAlphaReplacesTheColoursAlpha_data()
{
    QTest::addColumn<double>("strokeAlpha");
    QTest::addColumn<int>("alpha");
    QTest::newRow("below 1: replaced") << 0.5 << 128;
    QTest::newRow("1: the colour's own") << 1.0 << 51;
}

void TestMarkupAnnotationRenderer::strokeAlphaReplacesTheColoursAlpha()
{
    QFETCH(double, strokeAlpha);
    QFETCH(int, alpha);
    const QColor stroke(0, 0, 255, 51);
    QCOMPARE(MarkupAnnotationRenderer::effectiveStrokeColor(stroke, strokeAlpha).alpha(), alpha);

    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    paint(image, [&](QPainter& p) {
        MarkupAnnotationRenderer::draw(p,
                                       annotation(MarkupShape::pen({{0.1, 0.505}, {0.9, 0.505}}),
                                                  stroke, Qt::transparent, 0.04),
                                       QRectF(0, 0, 100, 100), QImage(), strokeAlpha);
    });
    QVERIFY(isNear(pixelAt(image, {50, 50}), QColor(0, 0, 255, alpha), 1));
}

void TestMarkupAnnotationRenderer::lineWidthFollowsTheShorterSide_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("normalizedLineWidth");
    QTest::addColumn<int>("pixels");
    QTest::newRow("0.02 of 300 x 200") << QSize(300, 200) << 0.02 << 4;
    QTest::newRow("0.002 of 300 x 200: raised to 1") << QSize(300, 200) << 0.002 << 1;
    QTest::newRow("0.06 of 100 x 150") << QSize(100, 150) << 0.06 << 6;
}

void TestMarkupAnnotationRenderer::lineWidthFollowsTheShorterSide()
{
    QFETCH(QSize, size);
    QFETCH(double, normalizedLineWidth);
    QFETCH(int, pixels);
    // The rectangle's left edge runs along a whole pixel boundary at x = 20 of the image.
    const double x = 20.0 / size.width() + pixels / 2.0 / size.width();
    const QImage image = rendered({annotation(MarkupShape::rectangle({x, 0.1, 0.5, 0.8}), Qt::black,
                                              Qt::transparent, normalizedLineWidth)},
                                  size);
    QCOMPARE(darkRunLength(image, size.height() / 2.0), pixels);
}

void TestMarkupAnnotationRenderer::shapesAreMappedOntoTheImageRectangle()
{
    // The image lies at (10, 20) with size 100 x 200 in a 120 x 240 canvas; the filled
    // rectangle covers its upper right quarter.
    QImage image = canvas(120, 240);
    paint(image, [](QPainter& p) {
        MarkupAnnotationRenderer::draw(
            p, annotation(MarkupShape::rectangle({0.5, 0.5, 0.5, 0.5}), Qt::red, Qt::red),
            QRectF(10, 20, 100, 200), QImage(), 1);
    });
    // The stroke, 2 wide, is centred on the rectangle's edges at x = 60, 110 and y = 120, 220.
    QCOMPARE(inkBounds(image), QRect(QPoint(59, 119), QPoint(110, 220)));
    QCOMPARE(pixelAt(image, {80, 180}), QColor(Qt::red));

    // A tiny image rectangle: the normalized width itself, at least 1, not scaled by 0.5.
    QImage thin = canvas(20, 120);
    paint(thin, [](QPainter& p) {
        MarkupAnnotationRenderer::draw(
            p, annotation(MarkupShape::pen({{1, 0.1}, {1, 0.9}}), Qt::black, Qt::transparent, 3.0),
            QRectF(10, 10, 0.5, 100), QImage(), 1);
    });
    QCOMPARE(inkBounds(thin).width(), 3);
}

void TestMarkupAnnotationRenderer::ellipseIsInscribed()
{
    const QImage image = rendered(
        {annotation(MarkupShape::ellipse({0.1, 0.2, 0.8, 0.6}), Qt::black, Qt::transparent, 0.02)});
    QCOMPARE(pixelAt(image, {50, 50}), QColor(Qt::white));
    QCOMPARE(pixelAt(image, {12, 22}), QColor(Qt::white));
    QCOMPARE(pixelAt(image, {10, 50}).value() < 128, true);
    QCOMPARE(pixelAt(image, {50, 79}).value() < 128, true);
}

void TestMarkupAnnotationRenderer::penStrokesThePolylineWithRoundEnds()
{
    const QImage image = rendered({annotation(
        MarkupShape::pen({{0.2, 0.2}, {0.8, 0.2}, {0.8, 0.8}}), Qt::black, Qt::transparent, 0.1)});
    QCOMPARE(pixelAt(image, {50, 20}), QColor(Qt::black));
    QCOMPARE(pixelAt(image, {80, 50}), QColor(Qt::black));
    // No smoothing: the corner is not cut off, and the line ends in a half disc.
    QCOMPARE(pixelAt(image, {50, 50}), QColor(Qt::white));
    QCOMPARE(pixelAt(image, {16, 20}), QColor(Qt::black));
    QCOMPARE(pixelAt(image, {16, 24}), QColor(Qt::white));
}

void TestMarkupAnnotationRenderer::emptyShapesDrawNothing_data()
{
    QTest::addColumn<MarkupAnnotation>("annotation");
    QTest::newRow("pen without points") << annotation(MarkupShape::pen({}));
    QTest::newRow("pen with one point") << annotation(MarkupShape::pen({{0.5, 0.5}}));
    QTest::newRow("empty text") << annotation(MarkupShape::text({0.5, 0.5}, QString(), 0.1));
    QTest::newRow("blur outside the image") << annotation(MarkupShape::blur({1.5, 0.5, 0.2, 0.2}));
    QTest::newRow("blur without area") << annotation(MarkupShape::blur({0.5, 0.5, 0, 0.2}));
}

void TestMarkupAnnotationRenderer::emptyShapesDrawNothing()
{
    QFETCH(MarkupAnnotation, annotation);
    QVERIFY(inkBounds(rendered({annotation})).isEmpty());
}

void TestMarkupAnnotationRenderer::textStandsUprightAboveItsOrigin()
{
    const QImage image =
        rendered({annotation(MarkupShape::text({0.2, 0.3}, "T", 0.3))}, {200, 200});
    const QRect ink = inkBounds(image);
    QVERIFY(!ink.isEmpty());
    // Its box starts at (40, 60); antialiasing may reach one pixel further.
    QVERIFY(ink.left() >= 39);
    QVERIFY(ink.top() >= 60);
    QVERIFY(inkIsWiderAtTheTop(image));
}

void TestMarkupAnnotationRenderer::textIsNeverSmallerThanEightPoints()
{
    const auto text = [](double size) {
        return rendered({annotation(MarkupShape::text({0.1, 0.1}, "Hg\nHg", size))}, {1000, 1000});
    };
    const QImage eightPoints = text(0.008);
    QVERIFY(!inkBounds(eightPoints).isEmpty());
    QCOMPARE(text(0.001), eightPoints);
    QVERIFY(inkBounds(text(0.02)).height() > inkBounds(eightPoints).height());
}

void TestMarkupAnnotationRenderer::textIsAsTallAsItsSizeInUnits_data()
{
    QTest::addColumn<double>("normalizedFontSize");
    QTest::addColumn<int>("dotsPerMeter");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("minimumCapHeight");
    QTest::addColumn<int>("maximumCapHeight");
    // Cap heights are 0.6 to 0.8 of the size in common fonts; drawn 4/3 too large (a point size
    // taken at 96 dots per inch) the "H" would be about 97 and 8 pixels tall.
    QTest::newRow("100 units") << 0.1 << 0 << 100 << 55 << 85;
    QTest::newRow("100 units on a 300 dpi bitmap") << 0.1 << 11811 << 100 << 55 << 85;
    QTest::newRow("the 8-unit floor") << 0.001 << 0 << 8 << 3 << 7;
}

void TestMarkupAnnotationRenderer::textIsAsTallAsItsSizeInUnits()
{
    QFETCH(double, normalizedFontSize);
    QFETCH(int, dotsPerMeter);
    QFETCH(int, pixelSize);
    QFETCH(int, minimumCapHeight);
    QFETCH(int, maximumCapHeight);
    const QString text = QStringLiteral("H");
    const QRectF imageRect(0, 0, 1000, 1000);
    const MarkupAnnotation annotation =
        ::annotation(MarkupShape::text({0.01, 0.01}, text, normalizedFontSize));
    QImage image = canvas(300, 200);
    if (dotsPerMeter > 0) {
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
    }
    paint(image, [&](QPainter& p) {
        MarkupAnnotationRenderer::draw(p, annotation, imageRect, QImage(), 1);
    });
    const QRect ink = inkBounds(image);
    QVERIFY(!ink.isEmpty());
    QVERIFY2(std::abs(ink.height() - referenceInkHeight(text, pixelSize)) <= 1,
             qPrintable(QString::number(ink.height())));
    QVERIFY(ink.height() >= minimumCapHeight && ink.height() <= maximumCapHeight);

    // Measurement (selection boxes, hit tests) agrees with what is drawn.
    QFont reference = QGuiApplication::font();
    reference.setWeight(QFont::Medium);
    reference.setPixelSize(pixelSize);
    const QSizeF measured = MarkupAnnotation::measuredTextSize(text, pixelSize);
    QVERIFY(std::abs(measured.height() - QFontMetricsF(reference).height()) < 0.5);
    const QRectF box = MarkupGeometry::denormalizedRect(annotation.normalizedBounds(), imageRect);
    QVERIFY(box.adjusted(-1, -1, 1, 1).contains(QRectF(ink).adjusted(0, 0, 1, 1)));
}

void TestMarkupAnnotationRenderer::blurBlursOnlyWhatWasDrawnBeforeIt()
{
    const MarkupAnnotation arrow = annotation(MarkupShape::arrow({0.1, 0.505}, {0.9, 0.505}),
                                              Qt::black, Qt::transparent, 0.04);
    const MarkupAnnotation blur = annotation(MarkupShape::blur({0.2, 0.2, 0.6, 0.6}));
    const QImage arrowBlurred = rendered({arrow, blur});
    const QImage arrowOnTop = rendered({blur, arrow});
    QCOMPARE(pixelAt(arrowOnTop, {50, 50}), QColor(Qt::black));
    const QColor blurred = pixelAt(arrowBlurred, {50, 50});
    QVERIFY(blurred.value() > 60 && blurred.value() < 250);
    // Outside the region the arrow is sharp either way.
    QCOMPARE(pixelAt(arrowBlurred, {15, 50}), QColor(Qt::black));
}

void TestMarkupAnnotationRenderer::curvedArrowWithoutAnchorsIsStraight()
{
    const QImage straight = rendered({annotation(MarkupShape::arrow({0.1, 0.2}, {0.9, 0.7}))});
    const QImage curved =
        rendered({annotation(MarkupShape::curvedArrow({0.1, 0.2}, {0.9, 0.7}, {}))});
    QVERIFY(!inkBounds(straight).isEmpty());
    QCOMPARE(curved, straight);
}

void TestMarkupAnnotationRenderer::hugeLineWidthsDoNotCrash_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<double>("lineWidth");
    QTest::addColumn<bool>("coversTheCentre");
    const double infinity = std::numeric_limits<double>::infinity();
    const MarkupShape rectangle = MarkupShape::rectangle({0.2, 0.2, 0.5, 0.5});
    const MarkupShape ellipse = MarkupShape::ellipse({0.2, 0.2, 0.5, 0.5});
    const MarkupShape pen = MarkupShape::pen({{0.2, 0.2}, {0.7, 0.5}});
    const MarkupShape arrow = MarkupShape::arrow({0.2, 0.2}, {0.7, 0.5});
    QTest::newRow("rectangle, huge") << rectangle << 1e7 << true;
    QTest::newRow("pen, huge") << pen << 1e7 << true;
    QTest::newRow("arrow, huge") << arrow << 1e7 << true;
    QTest::newRow("rectangle, infinite") << rectangle << infinity << false;
    QTest::newRow("arrow, infinite") << arrow << infinity << false;
    QTest::newRow("ellipse, not a number") << ellipse << qQNaN() << false;
    QTest::newRow("pen, not a number") << pen << qQNaN() << false;
}

void TestMarkupAnnotationRenderer::hugeLineWidthsDoNotCrash()
{
    QFETCH(MarkupShape, shape);
    QFETCH(double, lineWidth);
    QFETCH(bool, coversTheCentre);
    const QImage image = rendered({annotation(shape, Qt::black, Qt::transparent, lineWidth)});
    QCOMPARE(image.size(), QSize(100, 100));
    // The shapes are centred near (45, 45). A huge line covers it; a width that is not a finite
    // number leaves at most a thin line (one unit: line widths are at least 1) crossing each row.
    QCOMPARE(pixelAt(image, {45, 45}) == QColor(Qt::black), coversTheCentre);
    if (!coversTheCentre) {
        QCOMPARE(pixelAt(image, {45, 45}), QColor(Qt::white));
        int inked = 0;
        for (int x = 0; x < image.width(); ++x) {
            inked += pixelAt(image, {double(x), 45}) != QColor(Qt::white) ? 1 : 0;
        }
        QVERIFY2(inked <= 6, qPrintable(QString::number(inked)));
    }
}

QTEST_MAIN(TestMarkupAnnotationRenderer)
#include "tst_markupannotationrenderer.moc"
