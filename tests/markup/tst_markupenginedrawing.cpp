#include "MarkupEngineHarness.h"
#include "RenderTestSupport.h"

#include <QPicture>
#include <QTest>

using namespace RenderTestSupport;

using Index = MarkupEngine::Index;
using Mode = MarkupEngine::InteractionMode;

Q_DECLARE_METATYPE(MarkupShape)
Q_DECLARE_METATYPE(MarkupTool::Value)
Q_DECLARE_METATYPE(MarkupHandle::Value)
Q_DECLARE_METATYPE(Mode::Kind)

namespace {

// The harness's image lies at (100, 50), 400 x 300 points, in a 600 x 400 view.
constexpr QRectF imageRect = MarkupEngineHarness::defaultImageRect;
const QColor background(128, 128, 128);
const QColor handleBlue(0, 122, 255);

QPointF normalized(const QPointF& viewPoint)
{
    return MarkupGeometry::normalizedPoint(viewPoint, imageRect);
}

QRectF normalized(const QRectF& viewRect)
{
    return MarkupGeometry::normalizedRect(viewRect, imageRect);
}

MarkupAnnotation annotation(const MarkupShape& shape, const QColor& fill = Qt::transparent)
{
    return MarkupAnnotation(shape, QColor(255, 0, 0), fill, 0.01, 5, 1, MarkupArrowheadStyle::end);
}

// The engine drawn over `base` (a gray view by default).
QImage drawn(const MarkupEngine& engine, QImage base = canvas(600, 400, background))
{
    paint(base, [&](QPainter& painter) { engine.draw(painter, imageRect); });
    return base;
}

// `color` at `alpha` over the background.
QColor over(const QColor& color, double alpha, const QColor& under = background)
{
    const auto mix = [&](int top, int bottom) {
        return int(std::lround(top * alpha + bottom * (1 - alpha)));
    };
    return QColor(mix(color.red(), under.red()), mix(color.green(), under.green()),
                  mix(color.blue(), under.blue()));
}

bool isBluish(const QColor& color)
{
    return color.blue() > color.red() + 60 && color.blue() > color.green() + 30;
}

bool isReddish(const QColor& color)
{
    return color.red() > color.green() + 60 && color.red() > color.blue() + 60;
}

} // namespace

class TestMarkupEngineDrawing : public QObject
{
    Q_OBJECT

private slots:
    void emptyEngineDrawsNothing();
    void annotationOpenInTheEditorIsSkipped();
    void drawingIsClippedToTheImage();
    void rubberBandDraft_data();
    void rubberBandDraft();
    void lineDraft_data();
    void lineDraft();
    void blurDraftBlursWhatIsPainted();
    void blurFallsBackToTheProvidedImage();
    void selectionOutline_data();
    void selectionOutline();
    void arrowSelectionShowsOnlyPointHandles_data();
    void arrowSelectionShowsOnlyPointHandles();
    void cursor_data();
    void cursor();
    void updateCursorIgnoresModifiers();
    void addAnchorCursorImage();
};

void TestMarkupEngineDrawing::emptyEngineDrawsNothing()
{
    MarkupEngineHarness harness;
    harness.engine.setTool(MarkupTool::pen);
    harness.press(QPointF(200, 200));
    QCOMPARE(drawn(harness.engine), canvas(600, 400, background));
}

void TestMarkupEngineDrawing::annotationOpenInTheEditorIsSkipped()
{
    MarkupEngineHarness harness;
    const QRectF shown(150.5, 100.5, 100, 100);
    const QRectF edited(300.5, 100.5, 100, 100);
    harness.engine.setAnnotations(
        {annotation(MarkupShape::rectangle(normalized(shown)), Qt::green),
         annotation(MarkupShape::rectangle(normalized(edited)), Qt::green)});
    harness.engine.setSelectedIndex(1);
    harness.engine.setEditingAnnotationIndex(1);

    const QImage image = drawn(harness.engine);
    QCOMPARE(pixelAt(image, shown.center()), QColor(Qt::green));
    // Neither the annotation nor its outline or handles: every change lies on the other one.
    QVERIFY(shown.adjusted(-3, -3, 3, 3).contains(inkBounds(image, background)));
}

void TestMarkupEngineDrawing::drawingIsClippedToTheImage()
{
    MarkupEngineHarness harness;
    // Sticks out of the image's top-right corner; its handles there would too.
    harness.engine.setAnnotations(
        {annotation(MarkupShape::rectangle(QRectF(0.8, 0.8, 0.5, 0.5)), Qt::green)});
    harness.engine.setSelectedIndex(0);

    const QImage image = drawn(harness.engine);
    QCOMPARE(pixelAt(image, QPointF(499, 349)), QColor(Qt::green));
    QVERIFY(QRect(100, 50, 400, 300).contains(inkBounds(image, background)));
}

void TestMarkupEngineDrawing::rubberBandDraft_data()
{
    QTest::addColumn<MarkupTool::Value>("tool");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QColor>("centre");
    QTest::addColumn<QColor>("corner");

    const QColor blue(0, 0, 255);
    QTest::newRow("rectangle, clear fill: not filled")
        << MarkupTool::rectangle << QColor(Qt::transparent) << background << background;
    QTest::newRow("rectangle, opaque fill: filled at 0.35")
        << MarkupTool::rectangle << blue << over(blue, 0.35) << over(blue, 0.35);
    QTest::newRow("rectangle, faint fill: its own alpha")
        << MarkupTool::rectangle << QColor(0, 0, 255, 51) << over(blue, 0.2) << over(blue, 0.2);
    QTest::newRow("ellipse, opaque fill: only inside the ellipse")
        << MarkupTool::ellipse << blue << over(blue, 0.35) << background;
}

void TestMarkupEngineDrawing::rubberBandDraft()
{
    QFETCH(MarkupTool::Value, tool);
    QFETCH(QColor, fill);
    QFETCH(QColor, centre);
    QFETCH(QColor, corner);

    MarkupEngineHarness harness;
    harness.engine.setTool(tool);
    harness.engine.setFillColor(fill);
    harness.press(QPointF(200.5, 100.5));
    harness.engine.mouseDragged(QPointF(300.5, 200.5));

    const QImage image = drawn(harness.engine);
    QVERIFY(isNear(pixelAt(image, QPointF(250, 150)), centre, 2));
    QVERIFY(isNear(pixelAt(image, QPointF(205, 105)), corner, 2));
    if (tool == MarkupTool::rectangle) {
        // The outline's first dash runs along the bottom edge from the corner, in the stroke
        // colour at the live alpha.
        const QColor stroke = MarkupToolDefaults::defaultStrokeColor();
        QVERIFY(isNear(pixelAt(image, QPointF(204, 100.5)),
                       over(stroke, MarkupEngine::liveStrokeAlpha), 12));
    }
}

void TestMarkupEngineDrawing::lineDraft_data()
{
    QTest::addColumn<MarkupTool::Value>("tool");
    QTest::addColumn<bool>("hasHead");

    QTest::newRow("pen: a plain polyline") << MarkupTool::pen << false;
    QTest::newRow("arrow: with its head") << MarkupTool::arrow << true;
}

void TestMarkupEngineDrawing::lineDraft()
{
    QFETCH(MarkupTool::Value, tool);
    QFETCH(bool, hasHead);

    MarkupEngineHarness harness;
    harness.engine.setTool(tool);
    harness.press(QPointF(150.5, 200.5));
    for (int x = 200; x <= 350; x += 50) {
        harness.engine.mouseDragged(QPointF(x + 0.5, 200.5));
    }

    const QImage image = drawn(harness.engine);
    QVERIFY(isReddish(pixelAt(image, QPointF(155, 200.5))));
    QVERIFY(isReddish(pixelAt(image, QPointF(345, 200.5))));
    QCOMPARE(pixelAt(image, QPointF(250, 230)), background);
    // The head of an arrow from the default style is about 22 points long and 21 wide.
    QCOMPARE(isReddish(pixelAt(image, QPointF(335, 203))), hasHead);
}

void TestMarkupEngineDrawing::blurDraftBlursWhatIsPainted()
{
    QImage stripes = canvas(600, 400, Qt::white);
    paint(stripes, [](QPainter& painter) {
        for (int x = 0; x < 600; x += 4) {
            painter.fillRect(QRectF(x, 0, 2, 400), Qt::black);
        }
    });
    MarkupEngineHarness harness;
    harness.engine.setTool(MarkupTool::blur);
    harness.press(QPointF(200, 100));
    harness.engine.mouseDragged(QPointF(300, 200));

    const QImage image = drawn(harness.engine, stripes);
    const QColor blurred = pixelAt(image, QPointF(250, 150));
    QVERIFY2(blurred.red() > 60 && blurred.red() < 200, qPrintable(blurred.name()));
    QCOMPARE(pixelAt(image, QPointF(350, 150)), pixelAt(stripes, QPointF(350, 150)));
}

void TestMarkupEngineDrawing::blurFallsBackToTheProvidedImage()
{
    // A picture, like a widget, cannot be read back while it is painted.
    QImage stripes(400, 300, QImage::Format_ARGB32_Premultiplied);
    stripes.fill(Qt::white);
    for (int x = 0; x < 400; x += 4) {
        QPainter(&stripes).fillRect(QRect(x, 0, 2, 300), Qt::black);
    }
    MarkupEngineHarness harness;
    int provided = 0;
    harness.engine.imageProvider = [&] {
        ++provided;
        return stripes;
    };
    const QRectF region(200, 100, 100, 100);
    harness.engine.setAnnotations({annotation(MarkupShape::blur(normalized(region))),
                                   annotation(MarkupShape::blur(normalized(region)))});

    QPicture picture;
    {
        QPainter painter(&picture);
        painter.setTransform(FlippedPainter::yUpTransform(400));
        harness.engine.draw(painter, imageRect);
    }
    QImage image = canvas(600, 400, background);
    QPainter(&image).drawPicture(0, 0, picture);

    QCOMPARE(provided, 1);
    const QColor blurred = pixelAt(image, region.center());
    QVERIFY2(blurred.red() > 60 && blurred.red() < 200, qPrintable(blurred.name()));
    QCOMPARE(pixelAt(image, QPointF(350, 150)), background);
}

void TestMarkupEngineDrawing::selectionOutline_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<QRectF>("outline");
    QTest::addColumn<bool>("hasHandles");

    const QRectF box(200.5, 100.5, 100, 100);
    QTest::newRow("rectangle: 4 points out, corner handles")
        << MarkupShape::rectangle(normalized(box)) << box.adjusted(-4, -4, 4, 4) << true;
    QTest::newRow("blur: 4 points out, corner handles")
        << MarkupShape::blur(normalized(box)) << box.adjusted(-4, -4, 4, 4) << true;
    QTest::newRow("flat pen: 6 points out, no handles")
        << MarkupShape::pen({normalized(QPointF(200.5, 150.5)), normalized(QPointF(300.5, 150.5))})
        << QRectF(194.5, 144.5, 112, 12) << false;
}

void TestMarkupEngineDrawing::selectionOutline()
{
    QFETCH(MarkupShape, shape);
    QFETCH(QRectF, outline);
    QFETCH(bool, hasHandles);

    MarkupEngineHarness harness;
    harness.engine.setAnnotations({annotation(shape)});
    harness.engine.setSelectedIndex(0);
    const QImage image = drawn(harness.engine);

    const QPointF bottomLeft(outline.left(), outline.top());
    // Dashed 6 on, 4 off from the outline's bottom-left corner (looked at past the corner
    // handle, which covers the first dash).
    QVERIFY(isNear(pixelAt(image, bottomLeft + QPointF(43, 0)), over(Qt::white, 0.95), 2));
    QCOMPARE(pixelAt(image, bottomLeft + QPointF(37, 0)), background);

    const QRectF selection = harness.engine.selectionRect(harness.annotation(0), imageRect);
    int bluishPixels = 0;
    for (int row = 0; row < image.height(); ++row) {
        for (int x = 0; x < image.width(); ++x) {
            bluishPixels += isBluish(image.pixelColor(x, row)) ? 1 : 0;
        }
    }
    QCOMPARE(bluishPixels > 0, hasHandles);
    if (hasHandles) {
        for (const MarkupHandle handle : MarkupHandle::allCases()) {
            const QPointF corner = handle.point(selection);
            QVERIFY(isNear(pixelAt(image, corner), Qt::white, 2));
            QVERIFY(isBluish(pixelAt(image, corner + QPointF(4.5, 0))));
        }
    }
}

void TestMarkupEngineDrawing::arrowSelectionShowsOnlyPointHandles_data()
{
    QTest::addColumn<MarkupShape>("shape");

    const QPointF start = normalized(QPointF(200.5, 150.5));
    const QPointF end = normalized(QPointF(400.5, 150.5));
    QTest::newRow("straight arrow") << MarkupShape::arrow(start, end);
    QTest::newRow("curved arrow") << MarkupShape::curvedArrow(start, end,
                                                              {normalized(QPointF(300.5, 250.5))});
}

void TestMarkupEngineDrawing::arrowSelectionShowsOnlyPointHandles()
{
    QFETCH(MarkupShape, shape);

    MarkupEngineHarness harness;
    harness.engine.setAnnotations({annotation(shape)});
    const QImage unselected = drawn(harness.engine);
    harness.engine.setSelectedIndex(0);
    const QImage selected = drawn(harness.engine);

    const auto [start, end] = *shape.lineEndpoints();
    const QList<QPointF> ends = MarkupGeometry::denormalizedPoints({start, end}, imageRect);
    const QList<QPointF> anchors =
        MarkupGeometry::denormalizedPoints(shape.arrowAnchors(), imageRect);
    for (const QPointF& point : ends) {
        QVERIFY(isNear(pixelAt(selected, point), Qt::white, 2));
        QVERIFY(isReddish(pixelAt(selected, point + QPointF(0, -6))));
    }
    for (const QPointF& point : anchors) {
        QVERIFY(isNear(pixelAt(selected, point), handleBlue, 2));
    }

    // No outline: every changed pixel lies on one of the 12-point circles.
    const QList<QPointF> handles = ends + anchors;
    for (int row = 0; row < selected.height(); ++row) {
        for (int x = 0; x < selected.width(); ++x) {
            if (selected.pixel(x, row) == unselected.pixel(x, row)) {
                continue;
            }
            const QPointF pixelCentre(x + 0.5, selected.height() - row - 0.5);
            const bool onHandle = std::any_of(handles.begin(), handles.end(), [&](QPointF h) {
                return MarkupGeometry::distance(h, pixelCentre) < 8;
            });
            QVERIFY2(
                onHandle,
                qPrintable(
                    QStringLiteral("changed at %1, %2").arg(pixelCentre.x()).arg(pixelCentre.y())));
        }
    }
}

void TestMarkupEngineDrawing::cursor_data()
{
    QTest::addColumn<Index>("selected"); // -1: none
    QTest::addColumn<Mode::Kind>("mode");
    QTest::addColumn<MarkupHandle::Value>("handle"); // of a resize mode
    QTest::addColumn<MarkupTool::Value>("tool");
    QTest::addColumn<bool>("hasImage");
    QTest::addColumn<bool>("hasPoint");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<bool>("alternate");
    QTest::addColumn<QCursor>("expected");

    // Annotations (see cursor()): 0 the rectangle (150, 100)-(250, 200); 1 the straight arrow
    // (300, 100)-(450, 100); 2 the arrow (300, 250)-(450, 250) curved through (375, 300).
    const auto none = Mode::Kind::none;
    const auto rect = MarkupTool::rectangle;
    const auto topLeft = MarkupHandle::topLeft;
    const QPointF empty(400, 180);
    const QPointF body(200, 150);
    const QPointF shaft(375, 100);
    const QCursor addAnchor = MarkupEngine::markupAddAnchor();

    const auto row = [&](const char* name, Index selected, Mode::Kind mode, MarkupTool::Value tool,
                         QPointF point, bool alternate, const QCursor& expected,
                         MarkupHandle::Value handle = MarkupHandle::topLeft) {
        QTest::newRow(name) << selected << mode << handle << tool << true << true << point
                            << alternate << expected;
    };
    QTest::newRow("outside the view") << Index(-1) << none << topLeft << rect << true << false
                                      << QPointF() << false << QCursor(Qt::ArrowCursor);
    QTest::newRow("outside the view while moving")
        << Index(0) << Mode::Kind::move << topLeft << rect << true << false << QPointF() << false
        << QCursor(Qt::ArrowCursor);
    row("moving over a corner handle", 0, Mode::Kind::move, rect, QPointF(150, 200), false,
        Qt::ClosedHandCursor);
    row("resizing by top left", 0, Mode::Kind::resize, rect, empty, false, Qt::SizeFDiagCursor);
    row("resizing by top right", 0, Mode::Kind::resize, rect, empty, false, Qt::SizeBDiagCursor,
        MarkupHandle::topRight);
    row("dragging an arrow end", 1, Mode::Kind::resizeLine, rect, body, false, Qt::CrossCursor);
    row("dragging an anchor", 2, Mode::Kind::resizeArrowAnchor, rect, body, false, Qt::CrossCursor);
    row("drawing over a body", -1, Mode::Kind::drawing, rect, body, false, Qt::CrossCursor);
    row("over the top-left handle", 0, none, rect, QPointF(150, 200), false, Qt::SizeFDiagCursor);
    row("over the top-right handle", 0, none, rect, QPointF(258, 208), false, Qt::SizeBDiagCursor);
    row("over the bottom-right handle", 0, none, rect, QPointF(250, 100), false,
        Qt::SizeFDiagCursor);
    row("over a corner of an unselected rectangle", -1, none, rect, QPointF(150, 200), false,
        Qt::OpenHandCursor);
    row("over a body", -1, none, rect, body, false, Qt::OpenHandCursor);
    row("over a body with the text tool", -1, none, MarkupTool::text, body, false,
        Qt::OpenHandCursor);
    row("over an arrow's shaft", -1, none, rect, shaft, false, Qt::OpenHandCursor);
    row("option over an unselected arrow", 0, none, rect, shaft, true, addAnchor);
    row("option over an anchor of the selected arrow", 2, none, rect, QPointF(375, 300), true,
        Qt::CrossCursor);
    row("over an end of the selected arrow", 1, none, rect, QPointF(305, 95), false,
        Qt::CrossCursor);
    row("option over a rectangle", -1, none, rect, body, true, Qt::OpenHandCursor);
    row("empty image area", -1, none, rect, empty, false, Qt::CrossCursor);
    row("empty image area with the text tool", -1, none, MarkupTool::text, empty, false,
        Qt::IBeamCursor);
    row("in the view beside the image", -1, none, rect, QPointF(50, 20), false, Qt::CrossCursor);
    QTest::newRow("no image shown") << Index(0) << none << topLeft << rect << false << true
                                    << QPointF(150, 200) << true << QCursor(Qt::CrossCursor);
}

void TestMarkupEngineDrawing::cursor()
{
    QFETCH(Index, selected);
    QFETCH(Mode::Kind, mode);
    QFETCH(MarkupHandle::Value, handle);
    QFETCH(MarkupTool::Value, tool);
    QFETCH(bool, hasImage);
    QFETCH(bool, hasPoint);
    QFETCH(QPointF, point);
    QFETCH(bool, alternate);
    QFETCH(QCursor, expected);

    MarkupEngineHarness harness;
    harness.engine.setAnnotations(
        {annotation(MarkupShape::rectangle(normalized(QRectF(150, 100, 100, 100)))),
         annotation(
             MarkupShape::arrow(normalized(QPointF(300, 100)), normalized(QPointF(450, 100)))),
         annotation(MarkupShape::curvedArrow(normalized(QPointF(300, 250)),
                                             normalized(QPointF(450, 250)),
                                             {normalized(QPointF(375, 300))}))});
    harness.engine.setSelectedIndex(selected < 0 ? std::nullopt : std::optional<Index>(selected));
    harness.engine.setTool(tool);
    switch (mode) {
    case Mode::Kind::none:
        break;
    case Mode::Kind::drawing:
        harness.engine.setInteractionMode(Mode::drawing());
        break;
    case Mode::Kind::move:
        harness.engine.setInteractionMode(Mode::move(selected));
        break;
    case Mode::Kind::resize:
        harness.engine.setInteractionMode(Mode::resize(selected, handle));
        break;
    case Mode::Kind::resizeLine:
        harness.engine.setInteractionMode(
            Mode::resizeLine(selected, MarkupEngine::LineEndpoint::end));
        break;
    case Mode::Kind::resizeArrowAnchor:
        harness.engine.setInteractionMode(Mode::resizeArrowAnchor(selected, 0));
        break;
    }
    if (!hasImage) {
        harness.imageRect.reset();
    }

    const QCursor actual = harness.engine.cursor(hasPoint ? std::optional(point) : std::nullopt,
                                                 alternate ? Qt::AltModifier : Qt::NoModifier);
    QCOMPARE(actual.shape(), expected.shape());
    QVERIFY(actual == expected);
}

void TestMarkupEngineDrawing::updateCursorIgnoresModifiers()
{
    MarkupEngineHarness harness;
    QList<QCursor> requested;
    harness.engine.updateCursor(QPointF(200, 200)); // unbound: nothing happens
    harness.engine.requestCursor = [&](const QCursor& cursor) { requested.append(cursor); };
    harness.engine.setAnnotations({annotation(
        MarkupShape::arrow(normalized(QPointF(300, 100)), normalized(QPointF(450, 100))))});

    harness.engine.updateCursor(QPointF(375, 100));
    harness.engine.updateCursor(std::nullopt);
    QCOMPARE(requested.size(), 2);
    QCOMPARE(requested[0].shape(), Qt::OpenHandCursor);
    QCOMPARE(requested[1].shape(), Qt::ArrowCursor);
}

void TestMarkupEngineDrawing::addAnchorCursorImage()
{
    const QCursor cursor = MarkupEngine::markupAddAnchor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.pixmap().cacheKey(), MarkupEngine::markupAddAnchor().pixmap().cacheKey());
    // (9, 9) from the bottom-left corner is 13 rows below the top.
    QCOMPARE(cursor.hotSpot(), QPoint(9, 13));

    const QImage image = cursor.pixmap().toImage();
    QCOMPARE(image.size(), QSize(22, 22));
    QVERIFY(isNear(pixelAt(image, QPointF(9, 9)), Qt::black, 6));    // the plus
    QCOMPARE(pixelAt(image, QPointF(6.5, 12.5)), QColor(Qt::white)); // the disc
    QVERIFY(pixelAt(image, QPointF(19, 19)).alpha() > 128);          // the arrow, upper right
    QCOMPARE(pixelAt(image, QPointF(19, 2)).alpha(), 0);             // lower right: empty
    QCOMPARE(pixelAt(image, QPointF(2, 19)).alpha(), 0);             // upper left: empty
}

QTEST_MAIN(TestMarkupEngineDrawing)
#include "tst_markupenginedrawing.moc"
