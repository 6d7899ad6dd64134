#include "MarkupEngineHarness.h"

#include <QTest>
#include <limits>

Q_DECLARE_METATYPE(MarkupShape)

using Index = MarkupEngine::Index;
using EventKind = MarkupEngine::EventKind;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// A rectangle covering view (200, 200) to (300, 300) in the harness's image.
const QRectF viewSquare(0.25, 0.5, 0.25, 1.0 / 3);

MarkupShape horizontalArrow()
{
    // View (200, 200) to (400, 200).
    return MarkupShape::arrow(QPointF(0.25, 0.5), QPointF(0.75, 0.5));
}

QList<MarkupAnnotation> annotationsOf(std::initializer_list<MarkupShape> shapes)
{
    QList<MarkupAnnotation> list;
    for (const MarkupShape& shape : shapes) {
        list.append(plainAnnotation(shape));
    }
    return list;
}

} // namespace

class TestMarkupEngine : public QObject
{
    Q_OBJECT

private slots:
    void startsWithTheInitialToolSettings();
    void oneUndoStepPerOpenCapture();
    void undoAndRedoRepairTheSelection_data();
    void undoAndRedoRepairTheSelection();
    void undoWithEmptyHistoryDoesNothing();
    void clearIsOneUndoStep();
    void resetStartsAfresh();
    void resetDraftAndSetTool();
    void selectionChangesAreReportedOnce();
    void strokeColourChanges();
    void arrowStyleSetters_data();
    void arrowStyleSetters();
    void undoClosesAStepLeftOpenBySliderKeys();
    void toolDefaultsRoundTrip();
    void adoptSelectedAnnotationDefaults_data();
    void adoptSelectedAnnotationDefaults();
    void selectionRect_data();
    void selectionRect();
    void annotationContains_data();
    void annotationContains();
    void topmostAnnotationIsHit();
    void handles();
    void curveEditPrefersTheSelectedArrow();
};

void TestMarkupEngine::startsWithTheInitialToolSettings()
{
    MarkupEngine engine;
    QVERIFY(!engine.hasAnnotations());
    QVERIFY(!engine.canUndo());
    QVERIFY(!engine.canRedo());
    QVERIFY(!engine.selectedIndex());
    QVERIFY(!engine.selectedAnnotation());
    QCOMPARE(engine.interactionMode(), MarkupEngine::InteractionMode::none());
    QCOMPARE(engine.tool(), MarkupTool::rectangle);
    QCOMPARE(engine.strokeColor(), QColor(255, 59, 48));
    QCOMPARE(engine.fillColor().alpha(), 0);
    QCOMPARE(engine.textFontSize(), 24.0);
    QCOMPARE(engine.arrowLineWidth(), 4.5);
    QCOMPARE(engine.arrowHeadScale(), 5.0);
    QCOMPARE(engine.arrowHeadWidthScale(), 1.0);
    QCOMPARE(engine.arrowheadStyle(), MarkupArrowheadStyle::end);
    QVERIFY(!engine.hasCapturedUndoState());
    // Unbound callbacks are simply not called.
    engine.mouseDown(QPointF(10, 10), 1, Qt::NoModifier);
    engine.mouseUp(QPointF(10, 10));
    engine.clear();
    engine.undo();
    QVERIFY(!engine.hasAnnotations());
}

void TestMarkupEngine::oneUndoStepPerOpenCapture()
{
    MarkupEngineHarness host;
    host.engine.captureUndoState();
    host.engine.appendAnnotation(plainAnnotation(horizontalArrow()));
    host.engine.captureUndoState();
    host.engine.appendAnnotation(plainAnnotation(MarkupShape::rectangle(viewSquare)));
    QCOMPARE(host.engine.undoStack().size(), 1);
    QVERIFY(host.engine.hasCapturedUndoState());
    host.engine.finalizeHistoryCapture();
    QVERIFY(!host.engine.hasCapturedUndoState());
    QCOMPARE(host.changedCount, 4);

    host.engine.captureUndoState();
    host.engine.finalizeHistoryCapture();
    QCOMPARE(host.engine.undoStack().size(), 2);

    host.engine.undo();
    host.engine.undo();
    QCOMPARE(host.engine.annotations().size(), 0);
    QCOMPARE(host.engine.redoStack().size(), 2);
    host.engine.redo();
    QCOMPARE(host.engine.annotations().size(), 2);
    // A new step drops what could be redone.
    host.engine.captureUndoState();
    QVERIFY(!host.engine.canRedo());
}

void TestMarkupEngine::undoAndRedoRepairTheSelection_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("expected");
    QTest::newRow("the selected last annotation goes: select the new last") << 3 << 2 << 2 << 1;
    QTest::newRow("the only annotation goes: select nothing") << 1 << 0 << 0 << -1;
    QTest::newRow("a selection still valid stays") << 3 << 2 << 0 << 0;
    QTest::newRow("no selection stays none") << 3 << 1 << -1 << -1;
    QTest::newRow("annotations come back: selection stays") << 1 << 3 << 0 << 0;
}

void TestMarkupEngine::undoAndRedoRepairTheSelection()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, selected);
    QFETCH(int, expected);
    const auto listOf = [](int count) {
        QList<MarkupAnnotation> list;
        for (int i = 0; i < count; ++i) {
            list.append(plainAnnotation(MarkupShape::rectangle(QRectF(0.1 * i, 0, 0.05, 0.05))));
        }
        return list;
    };
    const auto toOptional = [](int index) {
        return index < 0 ? std::nullopt : std::optional<Index>(index);
    };

    // Undo from `before` annotations back to a snapshot of `after`.
    MarkupEngineHarness host;
    host.engine.setAnnotations(listOf(after));
    host.engine.captureUndoState();
    host.engine.setAnnotations(listOf(before));
    host.engine.finalizeHistoryCapture();
    host.engine.setSelectedIndex(toOptional(selected));
    host.engine.undo();
    QCOMPARE(host.engine.annotations().size(), after);
    QCOMPARE(host.engine.selectedIndex(), toOptional(expected));

    // Redo is the mirror image.
    MarkupEngineHarness mirror;
    mirror.engine.setAnnotations(listOf(before));
    mirror.engine.captureUndoState();
    mirror.engine.setAnnotations(listOf(after));
    mirror.engine.finalizeHistoryCapture();
    mirror.engine.undo();
    mirror.engine.setSelectedIndex(toOptional(selected));
    mirror.engine.redo();
    QCOMPARE(mirror.engine.annotations().size(), after);
    QCOMPARE(mirror.engine.selectedIndex(), toOptional(expected));
}

void TestMarkupEngine::undoWithEmptyHistoryDoesNothing()
{
    MarkupEngineHarness host;
    host.engine.undo();
    host.engine.redo();
    QCOMPARE(host.changedCount, 0);
    QCOMPARE(host.redrawCount, 0);
}

void TestMarkupEngine::clearIsOneUndoStep()
{
    MarkupEngineHarness host;
    host.engine.clear();
    QVERIFY(!host.engine.canUndo());
    QCOMPARE(host.changedCount, 0);
    QCOMPARE(host.commitCount, 0);

    host.draw(MarkupTool::rectangle, QPointF(0.1, 0.1), QPointF(0.3, 0.3));
    host.draw(MarkupTool::ellipse, QPointF(0.5, 0.5), QPointF(0.7, 0.7));
    QCOMPARE(host.engine.undoStack().size(), 2);
    QCOMPARE(host.engine.selectedIndex(), Index(1));
    host.resetCounts();
    host.engine.clear();
    QVERIFY(!host.engine.hasAnnotations());
    QVERIFY(!host.engine.selectedIndex());
    QVERIFY(!host.engine.hasCapturedUndoState());
    QCOMPARE(host.engine.undoStack().size(), 3);
    QCOMPARE(host.commitCount, 1);
    QVERIFY(host.redrawCount > 0);

    // The next drawing is a step of its own.
    host.draw(MarkupTool::rectangle, QPointF(0.2, 0.2), QPointF(0.4, 0.4));
    QCOMPARE(host.engine.undoStack().size(), 4);
    host.engine.undo();
    QVERIFY(!host.engine.hasAnnotations());
    host.engine.undo();
    QCOMPARE(host.engine.annotations().size(), 2);
}

void TestMarkupEngine::resetStartsAfresh()
{
    MarkupEngineHarness host;
    host.draw(MarkupTool::rectangle, QPointF(0.1, 0.1), QPointF(0.3, 0.3));
    host.engine.undo();
    host.engine.setTool(MarkupTool::pen);
    host.press(MarkupEngineHarness::at(0.5, 0.5));
    host.engine.mouseDragged(MarkupEngineHarness::at(0.6, 0.6));
    host.resetCounts();
    host.engine.reset();
    QCOMPARE(host.dismissCount, 1);
    QVERIFY(!host.engine.hasAnnotations());
    QVERIFY(!host.engine.canUndo());
    QVERIFY(!host.engine.canRedo());
    QVERIFY(!host.engine.hasCapturedUndoState());
    QCOMPARE(host.engine.interactionMode(), MarkupEngine::InteractionMode::none());
    QVERIFY(!host.engine.dragStartPoint());
    QVERIFY(host.engine.draftPoints().isEmpty());
    QCOMPARE(host.changedCount, 1);
    QCOMPARE(host.redrawCount, 1);
    // Style survives a new image.
    QCOMPARE(host.engine.tool(), MarkupTool::pen);
}

void TestMarkupEngine::resetDraftAndSetTool()
{
    MarkupEngineHarness host;
    host.draw(MarkupTool::rectangle, QPointF(0.1, 0.1), QPointF(0.3, 0.3));
    host.press(MarkupEngineHarness::at(0.6, 0.6));
    host.engine.mouseDragged(MarkupEngineHarness::at(0.7, 0.7));
    QVERIFY(host.engine.draftRect());
    const auto steps = host.engine.undoStack().size();
    host.resetCounts();

    host.engine.setTool(MarkupTool::ellipse);
    QVERIFY(!host.engine.draftRect());
    QVERIFY(!host.engine.dragStartPoint());
    QCOMPARE(host.commitCount, 1);
    QCOMPARE(host.redrawCount, 1);
    QCOMPARE(host.engine.interactionMode(), MarkupEngine::InteractionMode::drawing());
    QCOMPARE(host.engine.undoStack().size(), steps);

    // A draft reset under the press ends the drawing: the release creates nothing.
    host.engine.mouseDragged(MarkupEngineHarness::at(0.9, 0.9));
    host.engine.mouseUp(MarkupEngineHarness::at(0.9, 0.9));
    QCOMPARE(host.engine.annotations().size(), 1);

    // The selection is not the tool's business.
    host.engine.setSelectedIndex(0);
    host.engine.setTool(MarkupTool::blur);
    QCOMPARE(host.engine.selectedIndex(), Index(0));
}

void TestMarkupEngine::selectionChangesAreReportedOnce()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations(
        annotationsOf({MarkupShape::rectangle(viewSquare), horizontalArrow()}));
    host.engine.setSelectedIndex(1);
    host.engine.setSelectedIndex(1);
    QCOMPARE(host.selectionChangedCount, 1);
    host.engine.setSelectedIndex(0);
    host.engine.setSelectedIndex(std::nullopt);
    host.engine.setSelectedIndex(std::nullopt);
    QCOMPARE(host.selectionChangedCount, 3);

    // An index out of range selects nothing.
    host.engine.setSelectedIndex(1);
    host.engine.setSelectedIndex(7);
    QVERIFY(!host.engine.selectedIndex());
    host.engine.setSelectedIndex(-1);
    QVERIFY(!host.engine.selectedIndex());

    // A list without the selected index drops the selection.
    host.engine.setSelectedIndex(1);
    host.engine.setAnnotations(annotationsOf({horizontalArrow()}));
    QVERIFY(!host.engine.selectedIndex());
    QVERIFY(!host.engine.selectedShape());
}

void TestMarkupEngine::strokeColourChanges()
{
    MarkupEngineHarness host;
    host.engine.setStrokeColor(QColor::fromHsv(240, 255, 255));
    QCOMPARE(host.engine.strokeColor().spec(), QColor::Rgb);
    QCOMPARE(host.engine.strokeColor(), QColor(0, 0, 255));
    host.engine.setStrokeColor(QColor());
    QCOMPARE(host.engine.strokeColor(), QColor(0, 0, 255));
    host.engine.setFillColor(QColor(0, 255, 0, 100));
    QCOMPARE(host.engine.fillColor(), QColor(0, 255, 0, 100));

    host.draw(MarkupTool::rectangle, QPointF(0.1, 0.1), QPointF(0.3, 0.3));
    host.engine.setStrokeColor(Qt::yellow);
    QCOMPARE(host.annotation(0).strokeColor, QColor(0, 0, 255));

    const auto steps = host.engine.undoStack().size();
    host.engine.updateSelectedAnnotationStrokeColor(Qt::magenta);
    QCOMPARE(host.annotation(0).strokeColor, QColor(Qt::magenta));
    QCOMPARE(host.annotation(0).fillColor(), QColor(0, 255, 0, 100));
    QCOMPARE(host.engine.undoStack().size(), steps + 1);
    QVERIFY(!host.engine.hasCapturedUndoState());
    host.engine.undo();
    QCOMPARE(host.annotation(0).strokeColor, QColor(0, 0, 255));

    host.engine.setSelectedIndex(std::nullopt);
    host.engine.updateSelectedAnnotationStrokeColor(Qt::cyan);
    QCOMPARE(host.engine.undoStack().size(), steps);
}

void TestMarkupEngine::arrowStyleSetters_data()
{
    QTest::addColumn<QList<int>>("events");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("hasImage");
    QTest::addColumn<int>("undoSteps");
    QTest::addColumn<bool>("stepOpen");
    QTest::addColumn<bool>("arrowChanged");
    const int press = int(EventKind::leftButtonPress);
    const int other = int(EventKind::other);
    const int release = int(EventKind::leftButtonRelease);
    QTest::newRow("slider drag is one closed step")
        << QList<int>{press, other, other, release} << 0 << true << 1 << false << true;
    QTest::newRow("changes without a press stay open and join")
        << QList<int>{other, other} << 0 << true << 1 << true << true;
    QTest::newRow("a press closes the open step first")
        << QList<int>{other, press, release} << 0 << true << 2 << false << true;
    QTest::newRow("two slider drags are two steps")
        << QList<int>{press, release, press, other, release} << 0 << true << 2 << false << true;
    QTest::newRow("a selected rectangle is left alone")
        << QList<int>{press, release} << 1 << true << 0 << false << false;
    QTest::newRow("nothing selected")
        << QList<int>{press, release} << -1 << true << 0 << false << false;
    QTest::newRow("no image") << QList<int>{press, release} << 0 << false << 0 << false << false;
}

void TestMarkupEngine::arrowStyleSetters()
{
    QFETCH(QList<int>, events);
    QFETCH(int, selected);
    QFETCH(bool, hasImage);
    QFETCH(int, undoSteps);
    QFETCH(bool, stepOpen);
    QFETCH(bool, arrowChanged);

    MarkupEngineHarness host;
    host.engine.setAnnotations(
        annotationsOf({horizontalArrow(), MarkupShape::rectangle(viewSquare)}));
    host.engine.setSelectedIndex(selected < 0 ? std::nullopt : std::optional<Index>(selected));
    if (!hasImage) {
        host.imageRect.reset();
    }
    // The thickness slider: one setter call per event.
    double width = 2;
    for (const int event : events) {
        width += 1;
        host.engine.setArrowLineWidth(width, EventKind(event));
    }
    QCOMPARE(host.engine.arrowLineWidth(), width);
    QCOMPARE(host.engine.undoStack().size(), undoSteps);
    QCOMPARE(host.engine.hasCapturedUndoState(), stepOpen);
    QCOMPARE(host.annotation(0).normalizedLineWidth, arrowChanged ? width / 300 : 0.01);
    QCOMPARE(host.annotation(1).normalizedLineWidth, 0.01);

    // The other three controls as clicks: each a closed step of its own (a release alone
    // opens and closes one too).
    host.engine.setArrowHeadScale(7, EventKind::leftButtonPress);
    host.engine.setArrowHeadScale(8, EventKind::leftButtonRelease);
    host.engine.setArrowHeadWidthScale(1.5, EventKind::leftButtonPress);
    host.engine.setArrowHeadWidthScale(1.5, EventKind::leftButtonRelease);
    host.engine.setArrowheadStyle(MarkupArrowheadStyle::both, EventKind::leftButtonRelease);
    QCOMPARE(host.engine.arrowHeadScale(), 8.0);
    QCOMPARE(host.engine.arrowHeadWidthScale(), 1.5);
    QCOMPARE(host.engine.arrowheadStyle(), MarkupArrowheadStyle::both);
    const MarkupAnnotation& arrow = host.annotation(0);
    QCOMPARE(arrow.arrowHeadScale, arrowChanged ? 8.0 : 5.0);
    QCOMPARE(arrow.arrowHeadWidthScale, arrowChanged ? 1.5 : 1.0);
    QCOMPARE(arrow.arrowheadStyle,
             arrowChanged ? MarkupArrowheadStyle::both : MarkupArrowheadStyle::end);
    QVERIFY(!host.engine.hasCapturedUndoState());
    QCOMPARE(host.engine.undoStack().size(), arrowChanged ? undoSteps + 3 : 0);

    // Values that are not numbers are never taken.
    host.engine.setArrowLineWidth(notANumber, EventKind::other);
    host.engine.setArrowHeadScale(std::numeric_limits<double>::infinity(), EventKind::other);
    QCOMPARE(host.engine.arrowLineWidth(), width);
    QCOMPARE(host.engine.arrowHeadScale(), 8.0);
    QVERIFY(std::isfinite(host.annotation(0).normalizedLineWidth));
}

void TestMarkupEngine::toolDefaultsRoundTrip()
{
    MarkupEngineHarness host;
    const MarkupToolDefaults settings{MarkupTool::arrow,
                                      QColor::fromHsv(120, 255, 255),
                                      QColor(1, 2, 3, 4),
                                      33,
                                      7,
                                      2,
                                      1.5,
                                      MarkupArrowheadStyle::none};
    host.engine.applyToolDefaults(settings);
    QCOMPARE(host.changedCount + host.redrawCount + host.selectionChangedCount, 0);
    const MarkupToolDefaults current = host.engine.currentToolDefaults();
    QCOMPARE(current.tool, MarkupTool::arrow);
    QCOMPARE(current.strokeColor, QColor(0, 255, 0));
    QCOMPARE(current.strokeColor.spec(), QColor::Rgb);
    QCOMPARE(current.fillColor, QColor(1, 2, 3, 4));
    QCOMPARE(current.textFontSize, 33.0);
    QCOMPARE(current.arrowLineWidth, 7.0);
    QCOMPARE(current.arrowHeadScale, 2.0);
    QCOMPARE(current.arrowHeadWidthScale, 1.5);
    QCOMPARE(current.arrowheadStyle, MarkupArrowheadStyle::none);

    MarkupToolDefaults broken = settings;
    broken.strokeColor = QColor();
    broken.textFontSize = notANumber;
    broken.arrowLineWidth = -std::numeric_limits<double>::infinity();
    host.engine.applyToolDefaults(broken);
    QCOMPARE(host.engine.strokeColor(), QColor(0, 255, 0));
    QCOMPARE(host.engine.textFontSize(), 33.0);
    QCOMPARE(host.engine.arrowLineWidth(), 7.0);
}

void TestMarkupEngine::undoClosesAStepLeftOpenBySliderKeys()
{
    MarkupEngineHarness host;
    host.engine.setAnnotations(annotationsOf({horizontalArrow()}));
    host.engine.setSelectedIndex(0);
    const double original = host.annotation(0).arrowHeadScale;

    // Changed from the keyboard: the step stays open.
    host.engine.setArrowHeadScale(7, EventKind::other);
    QVERIFY(host.engine.hasCapturedUndoState());
    host.engine.undo();
    QCOMPARE(host.annotation(0).arrowHeadScale, original);

    // The next change is a step of its own: it can be undone, and redo has nothing to replay
    // over it.
    host.engine.setArrowHeadScale(9, EventKind::other);
    QCOMPARE(host.engine.undoStack().size(), 1);
    QVERIFY(!host.engine.canRedo());
    host.engine.undo();
    QCOMPARE(host.annotation(0).arrowHeadScale, original);
    host.engine.redo();
    QCOMPARE(host.annotation(0).arrowHeadScale, 9.0);
}

void TestMarkupEngine::adoptSelectedAnnotationDefaults_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<bool>("hasImage");
    QTest::addColumn<int>("tool");
    QTest::addColumn<double>("textFontSize");
    QTest::addColumn<double>("arrowLineWidth");
    QTest::addColumn<double>("arrowHeadScale");
    QTest::addColumn<bool>("adoptsColours");
    QTest::newRow("text: normalized size times the shorter side")
        << MarkupShape::text(QPointF(0.1, 0.1), "Hi", 0.05) << true << int(MarkupTool::text) << 15.0
        << 4.5 << 5.0 << true;
    QTest::newRow("text without image keeps the size")
        << MarkupShape::text(QPointF(0.1, 0.1), "Hi", 0.05) << false << int(MarkupTool::text)
        << 24.0 << 4.5 << 5.0 << true;
    QTest::newRow("arrow: width drawn back, heads taken")
        << horizontalArrow() << true << int(MarkupTool::arrow) << 24.0 << 6.0 << 8.0 << true;
    QTest::newRow("curved arrow without image keeps the width")
        << MarkupShape::curvedArrow(QPointF(0, 0), QPointF(1, 1), {QPointF(0.2, 0.8)}) << false
        << int(MarkupTool::arrow) << 24.0 << 4.5 << 8.0 << true;
    QTest::newRow("blur") << MarkupShape::blur(viewSquare) << true << int(MarkupTool::blur) << 24.0
                          << 4.5 << 5.0 << false;
    QTest::newRow("ellipse") << MarkupShape::ellipse(viewSquare) << true << int(MarkupTool::ellipse)
                             << 24.0 << 4.5 << 5.0 << true;
    QTest::newRow("pen") << MarkupShape::pen({QPointF(0, 0), QPointF(1, 1)}) << true
                         << int(MarkupTool::pen) << 24.0 << 4.5 << 5.0 << true;
}

void TestMarkupEngine::adoptSelectedAnnotationDefaults()
{
    QFETCH(MarkupShape, shape);
    QFETCH(bool, hasImage);
    QFETCH(int, tool);
    QFETCH(double, textFontSize);
    QFETCH(double, arrowLineWidth);
    QFETCH(double, arrowHeadScale);
    QFETCH(bool, adoptsColours);

    MarkupEngineHarness host;
    QVERIFY(!host.engine.adoptSelectedAnnotationDefaults());
    QCOMPARE(host.engine.tool(), MarkupTool::rectangle);

    // Image rectangle 400 x 300: the shorter side is 300.
    const MarkupToolDefaults before = host.engine.currentToolDefaults();
    host.engine.setAnnotations({MarkupAnnotation(shape, Qt::green, QColor(0, 0, 255, 60), 0.02, 8,
                                                 1.2, MarkupArrowheadStyle::both)});
    host.engine.setSelectedIndex(0);
    if (!hasImage) {
        host.imageRect.reset();
    }
    const auto adopted = host.engine.adoptSelectedAnnotationDefaults();
    QVERIFY(adopted);
    QCOMPARE(adopted->tool.rawValue(), tool);
    // A blur's colours are not a style to draw with: the current colours stay.
    QCOMPARE(adopted->strokeColor, adoptsColours ? QColor(Qt::green) : before.strokeColor);
    QCOMPARE(adopted->fillColor, adoptsColours ? QColor(0, 0, 255, 60) : before.fillColor);
    QCOMPARE(adopted->textFontSize, textFontSize);
    QCOMPARE(adopted->arrowLineWidth, arrowLineWidth);
    QCOMPARE(adopted->arrowHeadScale, arrowHeadScale);
    // The result is the engine's style now.
    QCOMPARE(host.engine.tool().rawValue(), tool);
    QCOMPARE(host.engine.textFontSize(), textFontSize);
    QCOMPARE(host.engine.arrowLineWidth(), arrowLineWidth);
    QCOMPARE(host.engine.strokeColor(), adopted->strokeColor);
}

void TestMarkupEngine::selectionRect_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("rectangle") << MarkupShape::rectangle(viewSquare) << QRectF(200, 200, 100, 100);
    QTest::newRow("horizontal arrow is widened to 8 points high")
        << horizontalArrow() << QRectF(200, 196, 200, 8);
    QTest::newRow("short diagonal arrow is widened both ways")
        << MarkupShape::arrow(QPointF(0.25, 0.5), QPointF(0.26, 0.51)) << QRectF(196, 196, 12, 11);
    QTest::newRow("pen is not widened")
        << MarkupShape::pen({QPointF(0.25, 0.5), QPointF(0.75, 0.5)}) << QRectF(200, 200, 200, 0);
    QTest::newRow("empty text is 0.01 of the image")
        << MarkupShape::text(QPointF(0.25, 0.5), QString(), 0.1) << QRectF(200, 200, 4, 3);
}

void TestMarkupEngine::selectionRect()
{
    QFETCH(MarkupShape, shape);
    QFETCH(QRectF, expected);
    MarkupEngine engine;
    QCOMPARE(engine.selectionRect(plainAnnotation(shape), MarkupEngineHarness::defaultImageRect),
             expected);
}

void TestMarkupEngine::annotationContains_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<double>("lineWidth");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<bool>("hit");
    const MarkupShape square = MarkupShape::rectangle(viewSquare);
    QTest::newRow("rectangle interior counts") << square << 0.01 << QPointF(250, 250) << true;
    QTest::newRow("rectangle: 9.9 beyond the right edge")
        << square << 0.01 << QPointF(309.9, 250) << true;
    QTest::newRow("rectangle: 10 beyond the right edge is out")
        << square << 0.01 << QPointF(310, 250) << false;
    QTest::newRow("rectangle: 10 beyond the left edge is in")
        << square << 0.01 << QPointF(190, 250) << true;
    QTest::newRow("blur interior")
        << MarkupShape::blur(viewSquare) << 0.0 << QPointF(201, 299) << true;
    const MarkupShape ellipse = MarkupShape::ellipse(viewSquare);
    QTest::newRow("ellipse centre") << ellipse << 0.01 << QPointF(250, 250) << true;
    QTest::newRow("ellipse at radius 1.07") << ellipse << 0.01 << QPointF(250 + 53.5, 250) << true;
    QTest::newRow("ellipse at radius 1.075")
        << ellipse << 0.01 << QPointF(250 + 53.75, 250) << false;
    QTest::newRow("ellipse corner of its box is out")
        << ellipse << 0.01 << QPointF(201, 201) << false;
    QTest::newRow("flat ellipse is never hit")
        << MarkupShape::ellipse(QRectF(0.25, 0.5, 0.25, 0)) << 0.01 << QPointF(250, 200) << false;
    const MarkupShape arrow = horizontalArrow();
    QTest::newRow("thin arrow: 10 away") << arrow << 1.0 / 300 << QPointF(300, 210) << true;
    QTest::newRow("thin arrow: 10.5 away") << arrow << 1.0 / 300 << QPointF(300, 210.5) << false;
    QTest::newRow("30-point arrow: 19 away") << arrow << 30.0 / 300 << QPointF(300, 181) << true;
    QTest::newRow("30-point arrow: 19.5 away")
        << arrow << 30.0 / 300 << QPointF(300, 180.5) << false;
    QTest::newRow("arrow: beyond its end") << arrow << 0.01 << QPointF(409, 200) << true;
    const MarkupShape pen =
        MarkupShape::pen({QPointF(0.25, 0.5), QPointF(0.5, 0.5), QPointF(0.5, 0.8)});
    QTest::newRow("pen near its second segment") << pen << 0.01 << QPointF(295, 260) << true;
    QTest::newRow("pen inside its box but far from the line")
        << pen << 0.01 << QPointF(230, 280) << false;
    QTest::newRow("pen with one point")
        << MarkupShape::pen({QPointF(0.25, 0.5)}) << 0.01 << QPointF(200, 200) << false;
    const MarkupShape curved =
        MarkupShape::curvedArrow(QPointF(0.25, 0.5), QPointF(0.75, 0.5), {QPointF(0.5, 5.0 / 6)});
    QTest::newRow("curved arrow near its anchor") << curved << 0.01 << QPointF(300, 292) << true;
    QTest::newRow("curved arrow: the bulge beyond its points is hit")
        << MarkupShape::curvedArrow(QPointF(0.25, 0.5), QPointF(0.75, 0.5),
                                    {QPointF(0.4, 0.8), QPointF(0.6, 0.8)})
        << 0.01 << QPointF(300, 310) << true;
    QTest::newRow("curved arrow: the chord is not the curve")
        << curved << 0.01 << QPointF(300, 200) << false;
    const MarkupShape text = MarkupShape::text(QPointF(0.25, 0.5), "Label", 0.08);
    QTest::newRow("text inside") << text << 0.0 << QPointF(210, 210) << true;
    QTest::newRow("text 6 left of its box") << text << 0.0 << QPointF(194, 210) << true;
    QTest::newRow("text 6.1 below its box") << text << 0.0 << QPointF(210, 193.9) << false;
    QTest::newRow("empty text is never hit")
        << MarkupShape::text(QPointF(0.25, 0.5), QString(), 0.08) << 0.0 << QPointF(201, 201)
        << false;
}

void TestMarkupEngine::annotationContains()
{
    QFETCH(MarkupShape, shape);
    QFETCH(double, lineWidth);
    QFETCH(QPointF, point);
    QFETCH(bool, hit);
    MarkupEngine engine;
    QCOMPARE(engine.annotationContains(point, plainAnnotation(shape, lineWidth),
                                       MarkupEngineHarness::defaultImageRect),
             hit);
}

void TestMarkupEngine::topmostAnnotationIsHit()
{
    MarkupEngineHarness host;
    const QRectF img = MarkupEngineHarness::defaultImageRect;
    host.engine.setAnnotations(
        annotationsOf({MarkupShape::rectangle(viewSquare), MarkupShape::ellipse(viewSquare),
                       MarkupShape::rectangle(QRectF(0, 0, 0.1, 0.1))}));
    QCOMPARE(host.engine.annotationIndex(QPointF(250, 250), img), Index(1));
    QCOMPARE(host.engine.annotationIndex(QPointF(201, 201), img), Index(0));
    QVERIFY(!host.engine.annotationIndex(QPointF(450, 300), img));
}

void TestMarkupEngine::handles()
{
    MarkupEngine engine;
    const QRectF img = MarkupEngineHarness::defaultImageRect;
    const MarkupAnnotation square = plainAnnotation(MarkupShape::rectangle(viewSquare));
    QCOMPARE(engine.resizeHandle(QPointF(305, 305), square, img),
             std::optional<MarkupHandle>(MarkupHandle::topRight));
    QVERIFY(!engine.resizeHandle(QPointF(250, 250), square, img));
    const MarkupAnnotation arrow = plainAnnotation(horizontalArrow());
    QVERIFY(!engine.resizeHandle(QPointF(200, 200), arrow, img));

    using LineEndpoint = MarkupEngine::LineEndpoint;
    QCOMPARE(engine.lineEndpointHandle(QPointF(191, 209), arrow, img),
             std::optional(LineEndpoint::start));
    QCOMPARE(engine.lineEndpointHandle(QPointF(409.9, 200), arrow, img),
             std::optional(LineEndpoint::end));
    QVERIFY(!engine.lineEndpointHandle(QPointF(410, 200), arrow, img));
    QVERIFY(!engine.lineEndpointHandle(QPointF(200, 200), square, img));
    // Ends 8 points apart: both squares hold the middle, and the start wins.
    const MarkupAnnotation shortArrow =
        plainAnnotation(MarkupShape::arrow(QPointF(0.25, 0.5), QPointF(0.27, 0.5)));
    QCOMPARE(engine.lineEndpointHandle(QPointF(204, 200), shortArrow, img),
             std::optional(LineEndpoint::start));

    const MarkupAnnotation curved = plainAnnotation(MarkupShape::curvedArrow(
        QPointF(0.25, 0.5), QPointF(0.75, 0.5), {QPointF(0.5, 0.5), QPointF(0.52, 0.5)}));
    QCOMPARE(engine.arrowAnchorHandle(QPointF(304, 200), curved, img), std::optional<Index>(0));
    QCOMPARE(engine.arrowAnchorHandle(QPointF(316, 200), curved, img), std::optional<Index>(1));
    QVERIFY(!engine.arrowAnchorHandle(QPointF(330, 200), curved, img));
    QVERIFY(!engine.arrowAnchorHandle(QPointF(300, 200), arrow, img));
}

void TestMarkupEngine::curveEditPrefersTheSelectedArrow()
{
    MarkupEngineHarness host;
    const QRectF img = MarkupEngineHarness::defaultImageRect;
    host.engine.setAnnotations(
        annotationsOf({horizontalArrow(), horizontalArrow(), MarkupShape::rectangle(viewSquare)}));
    QCOMPARE(host.engine.arrowIndexForCurveEdit(QPointF(250, 200), img), Index(1));
    host.engine.setSelectedIndex(0);
    QCOMPARE(host.engine.arrowIndexForCurveEdit(QPointF(250, 200), img), Index(0));
    // A selected arrow that is not under the point does not count.
    QVERIFY(!host.engine.arrowIndexForCurveEdit(QPointF(250, 280), img));
    host.engine.setSelectedIndex(2);
    QCOMPARE(host.engine.arrowIndexForCurveEdit(QPointF(250, 200), img), Index(1));
}

QTEST_MAIN(TestMarkupEngine)
#include "tst_markupengine.moc"
