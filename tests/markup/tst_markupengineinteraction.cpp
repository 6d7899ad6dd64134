#include "MarkupEngineHarness.h"

#include <QTest>
#include <limits>

Q_DECLARE_METATYPE(MarkupShape)

using Index = MarkupEngine::Index;
using Mode = MarkupEngine::InteractionMode;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// The harness's image is 400 x 300 points at (100, 50).
QPointF at(double x, double y)
{
    return MarkupEngineHarness::at(x, y);
}

// A rectangle covering view (200, 200) to (300, 300).
const QRectF viewSquare(0.25, 0.5, 0.25, 1.0 / 3);

MarkupShape horizontalArrow()
{
    // View (200, 200) to (400, 200).
    return MarkupShape::arrow(QPointF(0.25, 0.5), QPointF(0.75, 0.5));
}

bool allFinite(const MarkupEngine& engine)
{
    for (const MarkupAnnotation& annotation : engine.annotations()) {
        if (!isFiniteAnnotation(annotation)) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestMarkupEngineInteraction : public QObject
{
    Q_OBJECT

private slots:
    void drawingByTool_data();
    void drawingByTool();
    void createdAnnotationsTakeTheToolStyle();
    void penDropsPointsCloserThanOneAndAHalf();
    void textToolAsksForAnEditor();
    void pressOutsideTheImageDeselects_data();
    void pressOutsideTheImageDeselects();
    void pressWhileEditingTextOnlyCommits();
    void pressOnABodySelectsAndMoves();
    void move_data();
    void move();
    void moveTranslatesEveryPoint();
    void resize_data();
    void resize();
    void resizingTextScalesItsFont();
    void draggingArrowEnds();
    void altPressBendsAndStraightensAnArrow();
    void anchorGoesIntoTheSegmentThatWasPressed_data();
    void anchorGoesIntoTheSegmentThatWasPressed();
    void altPressWithoutAnArrowIsANormalPress();
    void selectedHandlesWinOverAnnotationsAbove();
    void doubleClick();
    void pointsThatAreNotFiniteAreNeverStored();
    void modesWithStaleIndexesDoNothing();
    void releaseWithoutImageStillEndsThePress();
    void everyGestureIsOneUndoStep();
};

void TestMarkupEngineInteraction::drawingByTool_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<bool>("created");
    QTest::addColumn<QRectF>("bounds");
    const int rectangle = MarkupTool::rectangle;
    QTest::newRow("rectangle click creates nothing")
        << rectangle << QPointF(200, 200) << QPointF(200, 200) << false << QRectF();
    QTest::newRow("rectangle 40 x 0.5 is expanded to 1 point high")
        << rectangle << QPointF(200, 200) << QPointF(240, 200.5) << true
        << QRectF(0.25, 0.5, 0.1, 1.0 / 300);
    QTest::newRow("rectangle 0.5 x 0.5 creates nothing")
        << rectangle << QPointF(200, 200) << QPointF(200.5, 200.5) << false << QRectF();
    QTest::newRow("rectangle drawn towards the bottom-left")
        << rectangle << QPointF(300, 300) << QPointF(200, 200) << true << viewSquare;
    QTest::newRow("flat rectangle at the top edge is pushed down to fit")
        << rectangle << QPointF(480, 349.5) << QPointF(499, 350) << true
        << QRectF(0.95, 299.0 / 300, 0.0475, 1.0 / 300);
    QTest::newRow("drawing past the image edge is clamped")
        << rectangle << QPointF(400, 300) << QPointF(900, 900) << true
        << QRectF(0.75, 250.0 / 300, 0.25, 50.0 / 300);
    QTest::newRow("ellipse") << int(MarkupTool::ellipse) << QPointF(200, 200) << QPointF(300, 300)
                             << true << viewSquare;
    QTest::newRow("blur 5 x 50 creates nothing")
        << int(MarkupTool::blur) << QPointF(200, 200) << QPointF(205, 250) << false << QRectF();
    QTest::newRow("blur 6 x 6") << int(MarkupTool::blur) << QPointF(200, 200) << QPointF(206, 206)
                                << true << QRectF(0.25, 0.5, 0.015, 0.02);
    QTest::newRow("arrow shorter than 0.002 of the image is discarded")
        << int(MarkupTool::arrow) << QPointF(200, 200) << QPointF(200.5, 200) << false << QRectF();
    QTest::newRow("arrow") << int(MarkupTool::arrow) << QPointF(400, 300) << QPointF(200, 200)
                           << true << viewSquare.adjusted(0, 0, 0.25, 0);
    QTest::newRow("pen click creates nothing")
        << int(MarkupTool::pen) << QPointF(200, 200) << QPointF(200, 200) << false << QRectF();
    QTest::newRow("pen stroke") << int(MarkupTool::pen) << QPointF(200, 200) << QPointF(300, 200)
                                << true << QRectF(0.25, 0.5, 0.25, 0);
}

void TestMarkupEngineInteraction::drawingByTool()
{
    QFETCH(int, tool);
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(bool, created);
    QFETCH(QRectF, bounds);

    MarkupEngineHarness host;
    // A selection from before; the press on empty area clears it.
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(QRectF(0, 0, 0.1, 0.1)))});
    host.engine.setSelectedIndex(0);
    host.engine.setTool(*MarkupTool::fromRawValue(tool));
    host.drag(from, to);

    QCOMPARE(host.engine.annotations().size(), created ? 2 : 1);
    QCOMPARE(host.engine.selectedIndex(), created ? std::optional<Index>(1) : std::nullopt);
    if (created) {
        QCOMPARE(host.annotation(1).normalizedBounds(), bounds);
    }
    // Even a press that creates nothing leaves its (no-change) undo step.
    QCOMPARE(host.engine.undoStack().size(), 1);
    QVERIFY(!host.engine.hasCapturedUndoState());
    QCOMPARE(host.engine.interactionMode(), Mode::none());
    QVERIFY(!host.engine.draftRect());
    QVERIFY(host.engine.draftPoints().isEmpty());
}

void TestMarkupEngineInteraction::createdAnnotationsTakeTheToolStyle()
{
    MarkupEngineHarness host;
    host.engine.setStrokeColor(Qt::blue);
    host.engine.setFillColor(QColor(255, 255, 0, 128));
    host.engine.setArrowLineWidth(6);
    host.engine.setArrowHeadScale(7);
    host.engine.setArrowHeadWidthScale(1.4);
    host.engine.setArrowheadStyle(MarkupArrowheadStyle::both);
    host.draw(MarkupTool::rectangle, QPointF(0.1, 0.1), QPointF(0.2, 0.2));
    host.draw(MarkupTool::blur, QPointF(0.3, 0.3), QPointF(0.4, 0.4));
    host.draw(MarkupTool::arrow, QPointF(0.5, 0.5), QPointF(0.6, 0.6));
    host.draw(MarkupTool::pen, QPointF(0.7, 0.7), QPointF(0.8, 0.8));
    QCOMPARE(host.engine.annotations().size(), 4);

    const MarkupAnnotation& rectangle = host.annotation(0);
    QCOMPARE(rectangle.strokeColor, QColor(Qt::blue));
    QCOMPARE(rectangle.fillColor(), QColor(255, 255, 0, 128));
    QCOMPARE(rectangle.normalizedLineWidth, 3.0 / 300);
    QCOMPARE(rectangle.arrowHeadScale, 5.0);
    QCOMPARE(rectangle.arrowheadStyle, MarkupArrowheadStyle::end);

    const MarkupAnnotation& blur = host.annotation(1);
    QCOMPARE(blur.strokeColor.alpha(), 0);
    QCOMPARE(blur.fillColor().alpha(), 0);
    QCOMPARE(blur.normalizedLineWidth, 0.0);

    const MarkupAnnotation& arrow = host.annotation(2);
    QCOMPARE(arrow.shape.kind(), MarkupShape::Kind::arrow);
    QCOMPARE(arrow.strokeColor, QColor(Qt::blue));
    QCOMPARE(arrow.fillColor().alpha(), 0);
    QCOMPARE(arrow.normalizedLineWidth, 6.0 / 300);
    QCOMPARE(arrow.arrowHeadScale, 7.0);
    QCOMPARE(arrow.arrowHeadWidthScale, 1.4);
    QCOMPARE(arrow.arrowheadStyle, MarkupArrowheadStyle::both);
    QCOMPARE(arrow.shape.lineEndpoints()->first, QPointF(0.5, 0.5));

    const MarkupAnnotation& pen = host.annotation(3);
    QCOMPARE(pen.normalizedLineWidth, 3.0 / 300);
    QCOMPARE(pen.fillColor().alpha(), 0);
    QCOMPARE(pen.arrowHeadWidthScale, 1.0);
}

void TestMarkupEngineInteraction::penDropsPointsCloserThanOneAndAHalf()
{
    MarkupEngineHarness host;
    host.engine.setTool(MarkupTool::pen);
    host.press(QPointF(200, 200));
    host.engine.mouseDragged(QPointF(201, 200));
    host.engine.mouseDragged(QPointF(202, 200));
    host.engine.mouseDragged(QPointF(203, 200));
    QCOMPARE(host.engine.draftPoints(), (QList<QPointF>{{200, 200}, {202, 200}}));
    host.engine.mouseUp(QPointF(203.6, 200));
    const auto* pen = host.annotation(0).shape.as<MarkupShape::Pen>();
    QVERIFY(pen);
    QCOMPARE(pen->points, (QList<QPointF>{{0.25, 0.5}, {102.0 / 400, 0.5}, {103.6 / 400, 0.5}}));
}

void TestMarkupEngineInteraction::textToolAsksForAnEditor()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    host.engine.setSelectedIndex(0);
    host.engine.setTool(MarkupTool::text);
    host.press(QPointF(400, 120));
    QCOMPARE(host.textEditorRequests, QList<QPointF>{QPointF(400, 120)});
    QVERIFY(!host.engine.selectedIndex());
    QCOMPARE(host.engine.interactionMode(), Mode::none());
    QVERIFY(!host.engine.canUndo());
    host.engine.mouseUp(QPointF(400, 120));
    QCOMPARE(host.engine.annotations().size(), 1);
    QVERIFY(!host.engine.canUndo());
}

void TestMarkupEngineInteraction::pressOutsideTheImageDeselects_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QRectF>("image");
    QTest::addColumn<bool>("hasImage");
    const QRectF image = MarkupEngineHarness::defaultImageRect;
    QTest::newRow("left of the image") << QPointF(50, 200) << image << true;
    QTest::newRow("on the right edge, which is outside") << QPointF(500, 200) << image << true;
    QTest::newRow("on the top edge, which is outside") << QPointF(250, 350) << image << true;
    QTest::newRow("no image") << QPointF(250, 250) << QRectF() << false;
    QTest::newRow("zero-sized image") << QPointF(100, 50) << QRectF(100, 50, 0, 0) << true;
    QTest::newRow("image rectangle that is not a number")
        << QPointF(250, 250) << QRectF(notANumber, 0, 400, 300) << true;
    QTest::newRow("infinite image rectangle")
        << QPointF(250, 250) << QRectF(0, 0, infinity, 300) << true;
}

void TestMarkupEngineInteraction::pressOutsideTheImageDeselects()
{
    QFETCH(QPointF, point);
    QFETCH(QRectF, image);
    QFETCH(bool, hasImage);
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    host.engine.setSelectedIndex(0);
    host.imageRect = hasImage ? std::optional(image) : std::nullopt;
    host.resetCounts();
    host.drag(point, point + QPointF(30, 30));
    QVERIFY(!host.engine.selectedIndex());
    QCOMPARE(host.engine.interactionMode(), Mode::none());
    QCOMPARE(host.engine.annotations().size(), 1);
    QVERIFY(!host.engine.canUndo());
    QVERIFY(host.redrawCount > 0);
    QCOMPARE(host.selectionChangedCount, 1);
}

void TestMarkupEngineInteraction::pressWhileEditingTextOnlyCommits()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    host.engine.setSelectedIndex(0);
    host.editingText = true;
    host.resetCounts();
    host.press(QPointF(400, 120));
    QCOMPARE(host.commitCount, 1);
    QCOMPARE(host.engine.selectedIndex(), Index(0));
    QCOMPARE(host.engine.interactionMode(), Mode::none());
    QVERIFY(!host.engine.draftRect());
    QVERIFY(!host.engine.canUndo());
    QCOMPARE(host.selectionChangedCount + host.redrawCount, 0);
}

void TestMarkupEngineInteraction::pressOnABodySelectsAndMoves()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    host.press(QPointF(250, 250));
    QCOMPARE(host.engine.selectedIndex(), Index(0));
    QCOMPARE(host.selectionChangedCount, 1);
    QCOMPARE(host.engine.interactionMode(), Mode::move(0));
    QCOMPARE(host.cursorRefreshCount, 1);
    QCOMPARE(host.engine.dragStartPoint(), std::optional(QPointF(250, 250)));
    QVERIFY(host.engine.hasCapturedUndoState());
    host.engine.mouseUp(QPointF(250, 250));
    QCOMPARE(host.cursorRefreshCount, 2);
    // A click without movement still leaves its snapshot.
    QCOMPARE(host.engine.undoStack().size(), 1);
    QCOMPARE(host.box(0), viewSquare);
    QVERIFY(!host.engine.dragStartAnnotation());
}

void TestMarkupEngineInteraction::move_data()
{
    QTest::addColumn<QRectF>("start");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("50 right, 30 up") << viewSquare << QPointF(250, 250) << QPointF(300, 280)
                                     << QRectF(0.375, 0.6, 0.25, 1.0 / 3);
    QTest::newRow("past the right edge: stops at the edge, vertical movement continues")
        << viewSquare << QPointF(250, 250) << QPointF(650, 150)
        << QRectF(0.75, 0.5 - 1.0 / 3, 0.25, 1.0 / 3);
    QTest::newRow("past the bottom-left corner")
        << viewSquare << QPointF(250, 250) << QPointF(-500, -500) << QRectF(0, 0, 0.25, 1.0 / 3);
    QTest::newRow("sticking out: any move brings it back in")
        << QRectF(-0.1, 0.5, 0.25, 1.0 / 3) << QPointF(120, 250) << QPointF(110, 250)
        << QRectF(0, 0.5, 0.25, 1.0 / 3);
}

void TestMarkupEngineInteraction::move()
{
    QFETCH(QRectF, start);
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(QRectF, expected);
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(start))});
    host.drag(from, to, Qt::NoModifier, 7);
    QCOMPARE(host.box(0), expected);
    QCOMPARE(host.engine.selectedIndex(), Index(0));
    QCOMPARE(host.engine.undoStack().size(), 1);
    host.engine.undo();
    QCOMPARE(host.box(0), start);
}

void TestMarkupEngineInteraction::moveTranslatesEveryPoint()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations(
        {plainAnnotation(
             MarkupShape::curvedArrow(QPointF(0.2, 0.2), QPointF(0.6, 0.2), {QPointF(0.4, 0.4)})),
         plainAnnotation(MarkupShape::pen({QPointF(0.7, 0.7), QPointF(0.8, 0.75)})),
         plainAnnotation(MarkupShape::text(QPointF(0.1, 0.8), "Note", 0.05))});
    const QPointF delta(0.05, -0.1);
    const QPointF viewDelta(0.05 * 400, -0.1 * 300);

    host.drag(at(0.2, 0.2), at(0.2, 0.2) + viewDelta);
    QCOMPARE(*host.annotation(0).shape.arrowPathPoints(),
             (QList<QPointF>{QPointF(0.2, 0.2) + delta, QPointF(0.4, 0.4) + delta,
                             QPointF(0.6, 0.2) + delta}));
    host.drag(at(0.7, 0.7), at(0.7, 0.7) + viewDelta);
    QCOMPARE(host.annotation(1).shape.as<MarkupShape::Pen>()->points,
             (QList<QPointF>{QPointF(0.7, 0.7) + delta, QPointF(0.8, 0.75) + delta}));
    host.drag(at(0.11, 0.81), at(0.11, 0.81) + viewDelta);
    const auto* text = host.annotation(2).shape.as<MarkupShape::Text>();
    QCOMPARE(text->origin, QPointF(0.1, 0.8) + delta);
    QCOMPARE(text->text, QStringLiteral("Note"));
    QCOMPARE(text->normalizedFontSize, 0.05);
    QCOMPARE(host.engine.undoStack().size(), 3);
}

void TestMarkupEngineInteraction::resize_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<QRectF>("expected");
    const MarkupShape square = MarkupShape::rectangle(viewSquare);
    QTest::newRow("rectangle top-right past its bottom-left stops at 1 x 1 point")
        << square << QPointF(300, 300) << QPointF(120, 60)
        << QRectF(0.25, 0.5, 1.0 / 400, 1.0 / 300);
    QTest::newRow("blur top-right past its bottom-left stops at 20 x 20 points")
        << MarkupShape::blur(viewSquare) << QPointF(300, 300) << QPointF(120, 60)
        << QRectF(0.25, 0.5, 20.0 / 400, 20.0 / 300);
    QTest::newRow("ellipse bottom-left outwards")
        << MarkupShape::ellipse(viewSquare) << QPointF(200, 200) << QPointF(150, 150)
        << QRectF(0.125, 1.0 / 3, 0.375, 0.5);
    QTest::newRow("top-left") << square << QPointF(200, 300) << QPointF(180, 320)
                              << QRectF(0.2, 0.5, 0.3, 0.4);
    QTest::newRow("bottom-right") << square << QPointF(300, 200) << QPointF(350, 150)
                                  << QRectF(0.25, 1.0 / 3, 0.375, 0.5);
    QTest::newRow("bottom-left beyond the image stops at its corner")
        << square << QPointF(200, 200) << QPointF(0, 0) << QRectF(0, 0, 0.5, 5.0 / 6);
    QTest::newRow("bottom-left past the fixed corner stops at 1 point")
        << square << QPointF(200, 200) << QPointF(450, 320)
        << QRectF(0.5 - 1.0 / 400, 5.0 / 6 - 1.0 / 300, 1.0 / 400, 1.0 / 300);
    // A 6 x 6 blur in the top-right corner: its handles overlap and top-left is found first.
    // The minimum size wins over the image's top edge.
    QTest::newRow("minimum size wins over the image edge")
        << MarkupShape::blur(QRectF(0.985, 0.98, 0.015, 0.02)) << QPointF(499, 349)
        << QPointF(500, 50) << QRectF(0.95, 0.98, 0.05, 20.0 / 300);
}

void TestMarkupEngineInteraction::resize()
{
    QFETCH(MarkupShape, shape);
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(QRectF, expected);
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(shape)});
    host.engine.setSelectedIndex(0);
    host.press(from);
    QCOMPARE(host.engine.interactionMode().kind(), Mode::Kind::resize);
    for (int i = 1; i <= 5; ++i) {
        host.engine.mouseDragged(from + (to - from) * (i / 5.0));
    }
    host.engine.mouseUp(to);
    QCOMPARE(host.box(0), expected);
    QCOMPARE(host.annotation(0).shape.kind(), shape.kind());
    QCOMPARE(host.engine.undoStack().size(), 1);
    QCOMPARE(host.engine.selectedIndex(), Index(0));
}

void TestMarkupEngineInteraction::resizingTextScalesItsFont()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations(
        {plainAnnotation(MarkupShape::text(QPointF(0.25, 0.5), QStringLiteral("Label"), 0.05))});
    host.engine.setSelectedIndex(0);
    const QRectF box =
        host.engine.selectionRect(host.annotation(0), MarkupEngineHarness::defaultImageRect);
    // The bottom-right handle, dragged down by the box's height: twice the height.
    const QPointF corner(box.right(), box.top());
    host.drag(corner, corner - QPointF(0, box.height()));
    const auto* text = host.annotation(0).shape.as<MarkupShape::Text>();
    QCOMPARE(text->normalizedFontSize, 0.1);
    QCOMPARE(text->origin, QPointF(0.25, 0.5));
    QCOMPARE(text->text, QStringLiteral("Label"));

    // The top-left handle moves the origin sideways but keeps its row.
    const QRectF bigger =
        host.engine.selectionRect(host.annotation(0), MarkupEngineHarness::defaultImageRect);
    const QPointF topLeft(bigger.left(), bigger.bottom());
    host.drag(topLeft, topLeft + QPointF(-40, 0));
    const auto* moved = host.annotation(0).shape.as<MarkupShape::Text>();
    QCOMPARE(moved->origin, QPointF(0.15, 0.5));
    QCOMPARE(moved->normalizedFontSize, 0.1);
    QCOMPARE(host.engine.undoStack().size(), 2);
}

void TestMarkupEngineInteraction::draggingArrowEnds()
{
    MarkupEngineHarness host;
    const QList<QPointF> anchors{QPointF(0.5, 0.7)};
    host.engine.setAnnotations({plainAnnotation(
        MarkupShape::curvedArrow(QPointF(0.25, 0.5), QPointF(0.75, 0.5), anchors))});
    host.engine.setSelectedIndex(0);
    host.drag(QPointF(202, 198), QPointF(150, 100));
    QCOMPARE(host.annotation(0).shape.kind(), MarkupShape::Kind::curvedArrow);
    QCOMPARE(*host.annotation(0).shape.lineEndpoints(),
             std::pair(QPointF(0.125, 1.0 / 6), QPointF(0.75, 0.5)));
    QCOMPARE(host.annotation(0).shape.arrowAnchors(), anchors);

    host.drag(QPointF(400, 200), QPointF(900, 200));
    QCOMPARE(host.annotation(0).shape.lineEndpoints()->second, QPointF(1, 0.5));
    QCOMPARE(host.engine.undoStack().size(), 2);

    // Dragging an anchor handle of the selected arrow moves that anchor.
    host.drag(at(0.5, 0.7), at(0.5, 0.9));
    QCOMPARE(host.annotation(0).shape.arrowAnchors(), QList<QPointF>{QPointF(0.5, 0.9)});
    QCOMPARE(host.engine.undoStack().size(), 3);
}

void TestMarkupEngineInteraction::altPressBendsAndStraightensAnArrow()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(horizontalArrow())});
    host.press(QPointF(300, 205), Qt::AltModifier);
    QCOMPARE(host.engine.selectedIndex(), Index(0));
    QCOMPARE(host.engine.interactionMode(), Mode::resizeArrowAnchor(0, 0));
    QCOMPARE(host.annotation(0).shape.kind(), MarkupShape::Kind::curvedArrow);
    QCOMPARE(host.annotation(0).shape.arrowAnchors(), QList<QPointF>{QPointF(0.5, 0.5)});
    QCOMPARE(host.engine.dragStartPoint(), std::optional(QPointF(300, 200)));

    host.engine.mouseDragged(QPointF(300, 280));
    QCOMPARE(host.annotation(0).shape.arrowAnchors(), QList<QPointF>{QPointF(0.5, 230.0 / 300)});
    host.engine.mouseUp(QPointF(300, 280));
    QCOMPARE(host.engine.undoStack().size(), 1);
    QCOMPARE(host.engine.interactionMode(), Mode::none());

    // An alt-press on the anchor removes it: straight again, one closed step.
    host.press(QPointF(303, 277), Qt::AltModifier);
    QCOMPARE(host.annotation(0).shape.kind(), MarkupShape::Kind::arrow);
    QCOMPARE(host.engine.interactionMode(), Mode::none());
    QVERIFY(!host.engine.hasCapturedUndoState());
    host.engine.mouseUp(QPointF(303, 277));
    QCOMPARE(host.engine.undoStack().size(), 2);

    host.engine.undo();
    QCOMPARE(host.annotation(0).shape.kind(), MarkupShape::Kind::curvedArrow);
    host.engine.undo();
    QCOMPARE(host.annotation(0).shape.kind(), MarkupShape::Kind::arrow);
    QVERIFY(!host.engine.canUndo());
}

void TestMarkupEngineInteraction::anchorGoesIntoTheSegmentThatWasPressed_data()
{
    QTest::addColumn<int>("sample");
    QTest::addColumn<Index>("slot");
    // The curve has two segments of 24 samples each.
    QTest::newRow("first segment") << 12 << Index(0);
    QTest::newRow("second segment") << 36 << Index(1);
    QTest::newRow("near the start") << 2 << Index(0);
    QTest::newRow("near the end") << 46 << Index(1);
}

void TestMarkupEngineInteraction::anchorGoesIntoTheSegmentThatWasPressed()
{
    QFETCH(int, sample);
    QFETCH(Index, slot);
    MarkupEngineHarness host;
    const QPointF anchor(0.5, 5.0 / 6);
    host.engine.setAnnotations({plainAnnotation(
        MarkupShape::curvedArrow(QPointF(0.25, 0.5), QPointF(0.75, 0.5), {anchor}))});
    const QList<QPointF> curve = MarkupGeometry::sampledArrowPathPoints(
        {QPointF(200, 200), QPointF(300, 300), QPointF(400, 200)}, 24);
    const QPointF pressed = curve[sample];
    host.press(pressed, Qt::AltModifier);
    QCOMPARE(host.engine.interactionMode(), Mode::resizeArrowAnchor(0, slot));
    const QList<QPointF> anchors = host.annotation(0).shape.arrowAnchors();
    QCOMPARE(anchors.size(), 2);
    QCOMPARE(anchors[slot], MarkupGeometry::normalizedPoint(pressed, host.defaultImageRect));
    QCOMPARE(anchors[1 - slot], anchor);
}

void TestMarkupEngineInteraction::altPressWithoutAnArrowIsANormalPress()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    host.press(QPointF(450, 100), Qt::AltModifier);
    QCOMPARE(host.engine.interactionMode(), Mode::drawing());
    host.engine.mouseUp(QPointF(450, 100));
    host.press(QPointF(250, 250), Qt::AltModifier);
    QCOMPARE(host.engine.interactionMode(), Mode::move(0));
}

void TestMarkupEngineInteraction::selectedHandlesWinOverAnnotationsAbove()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations(
        {plainAnnotation(MarkupShape::rectangle(viewSquare)),
         plainAnnotation(MarkupShape::rectangle(QRectF(0.45, 0.75, 0.2, 0.2)))});
    // (300, 300) is the top-right corner of the first and inside the second.
    host.press(QPointF(300, 300));
    QCOMPARE(host.engine.interactionMode(), Mode::move(1));
    host.engine.mouseUp(QPointF(300, 300));

    host.engine.setSelectedIndex(0);
    host.press(QPointF(300, 300));
    QCOMPARE(host.engine.interactionMode(), Mode::resize(0, MarkupHandle::topRight));
    host.engine.mouseUp(QPointF(300, 300));
    QCOMPARE(host.engine.selectedIndex(), Index(0));
}

void TestMarkupEngineInteraction::doubleClick()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations(
        {plainAnnotation(MarkupShape::rectangle(viewSquare)),
         plainAnnotation(MarkupShape::text(QPointF(0.6, 0.2), QStringLiteral("Hi"), 0.08))});
    host.doubleClick(QPointF(250, 250));
    QVERIFY(host.editRequests.isEmpty());
    QCOMPARE(host.engine.interactionMode(), Mode::none());

    host.engine.mouseDown(at(0.61, 0.21), 2, Qt::NoModifier);
    QCOMPARE(host.editRequests.size(), 1);
    QCOMPARE(host.editRequests.front().first, Index(1));
    QCOMPARE(host.editRequests.front().second, MarkupEngineHarness::defaultImageRect);
    QCOMPARE(host.engine.interactionMode(), Mode::none());
    QVERIFY(!host.engine.hasCapturedUndoState());
    QVERIFY(!host.engine.dragStartPoint());
}

void TestMarkupEngineInteraction::pointsThatAreNotFiniteAreNeverStored()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    host.resetCounts();
    host.press(QPointF(notANumber, 200));
    host.engine.handleDoubleClick(QPointF(infinity, infinity));
    QCOMPARE(host.changedCount + host.redrawCount + host.selectionChangedCount, 0);
    QVERIFY(!host.engine.canUndo());

    // A move ignores positions that are not numbers.
    host.press(QPointF(250, 250));
    host.engine.mouseDragged(QPointF(260, 250));
    host.engine.mouseDragged(QPointF(infinity, 250));
    host.engine.mouseDragged(QPointF(250, notANumber));
    host.engine.mouseUp(QPointF(notANumber, notANumber));
    QCOMPARE(host.box(0), viewSquare.translated(10.0 / 400, 0));
    QCOMPARE(host.engine.interactionMode(), Mode::none());

    // A pen stroke released at no position keeps the points it has.
    host.engine.setTool(MarkupTool::pen);
    host.press(QPointF(120, 80));
    host.engine.mouseDragged(QPointF(150, 90));
    host.engine.mouseDragged(QPointF(-infinity, 90));
    host.engine.mouseUp(QPointF(notANumber, 0));
    QCOMPARE(host.engine.annotations().size(), 2);
    QCOMPARE(host.annotation(1).shape.as<MarkupShape::Pen>()->points.size(), 2);

    host.engine.setTool(MarkupTool::arrow);
    host.press(QPointF(120, 300));
    host.engine.mouseDragged(QPointF(infinity, infinity));
    host.engine.mouseUp(QPointF(infinity, infinity));
    QCOMPARE(host.engine.annotations().size(), 2);
    QVERIFY(allFinite(host.engine));
}

void TestMarkupEngineInteraction::modesWithStaleIndexesDoNothing()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(
        MarkupShape::curvedArrow(QPointF(0.25, 0.5), QPointF(0.75, 0.5), {QPointF(0.5, 0.7)}))});
    // The host empties the list under a press.
    host.engine.setSelectedIndex(0);
    host.press(at(0.5, 0.7));
    QCOMPARE(host.engine.interactionMode(), Mode::resizeArrowAnchor(0, 0));
    host.engine.setAnnotations({});
    host.engine.mouseDragged(at(0.5, 0.9));
    host.engine.mouseUp(at(0.5, 0.9));
    QVERIFY(!host.engine.hasAnnotations());
    QVERIFY(!host.engine.selectedIndex());

    // Modes the host sets with indexes out of range.
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    for (const Mode& mode :
         {Mode::move(5), Mode::resize(-1, MarkupHandle::topLeft),
          Mode::resizeLine(3, MarkupEngine::LineEndpoint::end), Mode::resizeArrowAnchor(4, 0)}) {
        host.engine.setInteractionMode(mode);
        host.engine.mouseDragged(QPointF(400, 300));
        host.engine.mouseUp(QPointF(400, 300));
        QCOMPARE(host.box(0), viewSquare);
        QVERIFY(!host.engine.selectedIndex());
        QCOMPARE(host.engine.interactionMode(), Mode::none());
    }
    // A valid annotation with an anchor it does not have: the release still selects it.
    host.engine.setInteractionMode(Mode::resizeArrowAnchor(0, 7));
    host.engine.mouseDragged(QPointF(400, 300));
    host.engine.mouseUp(QPointF(400, 300));
    QCOMPARE(host.box(0), viewSquare);
    QCOMPARE(host.engine.selectedIndex(), Index(0));
}

void TestMarkupEngineInteraction::releaseWithoutImageStillEndsThePress()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations({plainAnnotation(MarkupShape::rectangle(viewSquare))});
    host.press(QPointF(250, 250));
    host.imageRect.reset();
    host.engine.mouseDragged(QPointF(300, 300));
    QCOMPARE(host.box(0), viewSquare);
    host.engine.mouseUp(QPointF(300, 300));
    QCOMPARE(host.engine.interactionMode(), Mode::none());
    QVERIFY(!host.engine.hasCapturedUndoState());
    QVERIFY(!host.engine.dragStartAnnotation());
    host.engine.handleDoubleClick(QPointF(250, 250));
    QVERIFY(host.editRequests.isEmpty());
}

void TestMarkupEngineInteraction::everyGestureIsOneUndoStep()
{
    MarkupEngineHarness host;
    host.draw(MarkupTool::rectangle, QPointF(0.1, 0.1), QPointF(0.3, 0.3));
    const QRectF drawn = host.box(0);
    host.drag(at(0.2, 0.2), at(0.4, 0.3), Qt::NoModifier, 10);
    const QRectF moved = host.box(0);
    host.drag(at(0.5, 0.4), at(0.6, 0.6), Qt::NoModifier, 10);
    const QRectF resized = host.box(0);
    host.draw(MarkupTool::arrow, QPointF(0.6, 0.1), QPointF(0.9, 0.1));
    host.drag(at(0.75, 0.1), at(0.75, 0.3), Qt::AltModifier, 10);
    QCOMPARE(host.annotation(1).shape.kind(), MarkupShape::Kind::curvedArrow);
    QCOMPARE(host.engine.undoStack().size(), 5);

    host.engine.undo();
    QCOMPARE(host.annotation(1).shape.kind(), MarkupShape::Kind::arrow);
    host.engine.undo();
    QCOMPARE(host.engine.annotations().size(), 1);
    host.engine.undo();
    QCOMPARE(host.box(0), moved);
    host.engine.undo();
    QCOMPARE(host.box(0), drawn);
    host.engine.undo();
    QVERIFY(!host.engine.hasAnnotations());
    host.engine.redo();
    host.engine.redo();
    host.engine.redo();
    QCOMPARE(host.box(0), resized);
}

QTEST_MAIN(TestMarkupEngineInteraction)
#include "tst_markupengineinteraction.moc"
