#include "ImageCanvasView.h"
#include "MarkupAnnotation.h"
#include "MarkupGeometry.h"
#include "MarkupTextView.h"
#include "MarkupToolDefaultsStore.h"

#include <QApplication>
#include <QTest>
#include <memory>

namespace {

// Large enough that the image rectangle fills the canvas width with room above and below.
const QSize canvasSize(400, 300);

QImage testImage(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkGray);
    return image;
}

MarkupAnnotation textAnnotation(const QString& text, double normalizedFontSize,
                                const QColor& color = Qt::red)
{
    return {MarkupShape::text(QPointF(0.3, 0.4), text, normalizedFontSize),
            color,
            Qt::transparent,
            0,
            5,
            1,
            MarkupArrowheadStyle::end};
}

const MarkupShape::Text* textOf(const MarkupAnnotation& annotation)
{
    return annotation.shape.as<MarkupShape::Text>();
}

double shorterSide(const QRectF& rect)
{
    return std::min(rect.width(), rect.height());
}

} // namespace

class TestImageCanvasMarkup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rectangleDragLandsInNormalizedImageCoordinates_data();
    void rectangleDragLandsInNormalizedImageCoordinates();
    void typedTextSizeIsRelativeToTheDisplayedImage();
    void editorOpensAtTheTextsOnScreenSizeButNeverBelow12_data();
    void editorOpensAtTheTextsOnScreenSizeButNeverBelow12();
    void clearingAnExistingTextRemovesItAndUndoRestoresIt();
    void committingAnEditRecoloursToTheCurrentStrokeColour();
    void editorBoxWidensAndGrowsDownward();
    void whitespaceOnlyNewTextAddsNothing();
    void selectingAnAnnotationPersistsItsStyle();
    void newImageResetsMarkupAndDismissesTheEditor();
    void previewReplacementKeepsAnnotationsAndTheEditor();
    void leavingMarkupModeCommitsTheOpenEditor();

private:
    void openEditorWithTextTool(QPoint widgetPoint);
    void commitWithReturn();

    std::unique_ptr<ImageCanvasView> m_canvas;
    int m_markupChanges = 0;
};

void TestImageCanvasMarkup::init()
{
    // Every canvas starts from the stored tool settings; start each test from the initial ones.
    MarkupToolDefaultsStore::standard().reset();
    m_canvas = std::make_unique<ImageCanvasView>();
    m_canvas->resize(canvasSize);
    m_markupChanges = 0;
    m_canvas->onMarkupChanged = [this] { ++m_markupChanges; };
    m_canvas->show();
    QApplication::setActiveWindow(m_canvas.get());
    QVERIFY(QTest::qWaitForWindowActive(m_canvas.get()));
    m_canvas->setImage(testImage(QSize(200, 100)), false);
    m_canvas->setMarkupModeEnabled(true);
}

void TestImageCanvasMarkup::cleanup()
{
    m_canvas.reset();
}

void TestImageCanvasMarkup::openEditorWithTextTool(QPoint widgetPoint)
{
    m_canvas->markupEngine().setTool(MarkupTool::text);
    QTest::mouseClick(m_canvas.get(), Qt::LeftButton, {}, widgetPoint);
    QVERIFY(m_canvas->markupTextView() != nullptr);
}

void TestImageCanvasMarkup::commitWithReturn()
{
    QVERIFY(m_canvas->markupTextView() != nullptr);
    QTest::keyClick(m_canvas->markupTextView(), Qt::Key_Return);
    QCOMPARE(m_canvas->markupTextView(), nullptr);
}

void TestImageCanvasMarkup::rectangleDragLandsInNormalizedImageCoordinates_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<double>("zoom");
    QTest::newRow("down and right") << QPoint(100, 100) << QPoint(300, 200) << 1.0;
    QTest::newRow("up and left") << QPoint(250, 220) << QPoint(60, 80) << 1.0;
    QTest::newRow("zoomed in") << QPoint(120, 90) << QPoint(280, 240) << 2.0;
}

void TestImageCanvasMarkup::rectangleDragLandsInNormalizedImageCoordinates()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(double, zoom);
    m_canvas->adjustZoom(zoom, std::nullopt);
    m_canvas->markupEngine().setTool(MarkupTool::rectangle);
    QTest::mousePress(m_canvas.get(), Qt::LeftButton, {}, from);
    QTest::mouseMove(m_canvas.get(), (from + to) / 2);
    QTest::mouseMove(m_canvas.get(), to);
    QTest::mouseRelease(m_canvas.get(), Qt::LeftButton, {}, to);

    const QList<MarkupAnnotation>& annotations = m_canvas->markupEngine().annotations();
    QCOMPARE(annotations.size(), 1);
    const std::optional<QRectF> rect = annotations.first().shape.boxRect();
    QVERIFY(rect);

    // The widget's y grows downward; normalized image coordinates grow upward from the image's
    // bottom edge.
    const QRectF image = *m_canvas->currentImageRect();
    const double bottom = canvasSize.height() - image.y();
    const auto normalizedX = [&](int x) { return (x - image.x()) / image.width(); };
    const auto normalizedY = [&](int y) { return (bottom - y) / image.height(); };
    QCOMPARE(rect->x(), normalizedX(std::min(from.x(), to.x())));
    QCOMPARE(rect->y(), normalizedY(std::max(from.y(), to.y())));
    QCOMPARE(rect->width(), std::abs(to.x() - from.x()) / image.width());
    QCOMPARE(rect->height(), std::abs(to.y() - from.y()) / image.height());
}

void TestImageCanvasMarkup::typedTextSizeIsRelativeToTheDisplayedImage()
{
    const QPoint click(200, 150);
    QList<double> normalizedSizes;
    QList<double> shownSides;
    for (const double zoom : {1.0, 2.0}) {
        m_canvas->setImage(testImage(QSize(200, 100)), false);
        m_canvas->adjustZoom(zoom, std::nullopt);
        const QRectF image = *m_canvas->currentImageRect();
        openEditorWithTextTool(click);
        QCOMPARE(QApplication::focusWidget(), m_canvas->markupTextView());
        QTest::keyClicks(m_canvas->markupTextView(), QStringLiteral("Note"));
        commitWithReturn();

        QCOMPARE(m_canvas->markupEngine().annotations().size(), 1);
        const MarkupShape::Text* text = textOf(m_canvas->markupEngine().annotations().first());
        QVERIFY(text);
        QCOMPARE(text->text, QStringLiteral("Note"));
        // The text starts where the user clicked.
        const QPointF clickInView(click.x(), canvasSize.height() - click.y());
        QCOMPARE(text->origin, MarkupGeometry::normalizedPoint(clickInView, image));
        normalizedSizes.append(text->normalizedFontSize);
        shownSides.append(shorterSide(image));
    }
    QCOMPARE(shownSides.at(1), 2 * shownSides.at(0));
    QCOMPARE(normalizedSizes.at(0) / normalizedSizes.at(1), shownSides.at(1) / shownSides.at(0));
    QCOMPARE(normalizedSizes.at(0) * shownSides.at(0), m_canvas->markupEngine().textFontSize());
}

void TestImageCanvasMarkup::editorOpensAtTheTextsOnScreenSizeButNeverBelow12_data()
{
    QTest::addColumn<double>("onScreenSize");
    QTest::addColumn<double>("editorSize");
    QTest::newRow("tiny text") << 3.0 << 12.0;
    QTest::newRow("just below") << 11.5 << 12.0;
    QTest::newRow("large text") << 40.0 << 40.0;
}

void TestImageCanvasMarkup::editorOpensAtTheTextsOnScreenSizeButNeverBelow12()
{
    QFETCH(double, onScreenSize);
    QFETCH(double, editorSize);
    const QRectF image = *m_canvas->currentImageRect();
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.appendAnnotation(
        textAnnotation(QStringLiteral("small"), onScreenSize / shorterSide(image)));

    m_canvas->editMarkupTextAnnotation(0, image);
    MarkupTextView* view = m_canvas->markupTextView();
    QVERIFY(view);
    QCOMPARE(view->font(), MarkupAnnotation::textFont(editorSize, *m_canvas));
    QCOMPARE(view->toPlainText(), QStringLiteral("small"));
    // All of the text is selected, so typing replaces it.
    QCOMPARE(view->textCursor().selectedText(), QStringLiteral("small"));
    QCOMPARE(engine.editingAnnotationIndex(), 0);
    QCOMPARE(engine.selectedIndex(), 0);
}

void TestImageCanvasMarkup::clearingAnExistingTextRemovesItAndUndoRestoresIt()
{
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.appendAnnotation(textAnnotation(QStringLiteral("gone soon"), 0.1));
    const QRectF image = *m_canvas->currentImageRect();
    // A double click on the text opens it for editing.
    const QPointF originInView = MarkupGeometry::denormalizedPoint(QPointF(0.3, 0.4), image);
    const QPoint onText(int(originInView.x()) + 5, canvasSize.height() - int(originInView.y()) - 5);
    QTest::mouseDClick(m_canvas.get(), Qt::LeftButton, {}, onText);
    QVERIFY(m_canvas->markupTextView());
    QCOMPARE(engine.editingAnnotationIndex(), 0);

    QTest::keyClick(m_canvas->markupTextView(), Qt::Key_Backspace);
    commitWithReturn();
    QVERIFY(engine.annotations().isEmpty());
    QCOMPARE(engine.selectedIndex(), std::nullopt);
    QCOMPARE(engine.editingAnnotationIndex(), std::nullopt);

    engine.undo();
    QCOMPARE(engine.annotations().size(), 1);
    QCOMPARE(textOf(engine.annotations().first())->text, QStringLiteral("gone soon"));
}

void TestImageCanvasMarkup::committingAnEditRecoloursToTheCurrentStrokeColour()
{
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.appendAnnotation(textAnnotation(QStringLiteral("Label"), 0.1, Qt::red));
    m_canvas->editMarkupTextAnnotation(0, *m_canvas->currentImageRect());
    // The user picks another colour while the editor is open.
    engine.setStrokeColor(Qt::blue);
    QTest::keyClick(m_canvas->markupTextView(), Qt::Key_End);
    QTest::keyClicks(m_canvas->markupTextView(), QStringLiteral(" two"));
    commitWithReturn();

    QCOMPARE(engine.annotations().size(), 1);
    const MarkupAnnotation& edited = engine.annotations().first();
    QCOMPARE(textOf(edited)->text, QStringLiteral("Label two"));
    QCOMPARE(edited.strokeColor, engine.strokeColor());
    QCOMPARE(edited.strokeColor.rgb(), QColor(Qt::blue).rgb());
    // Origin and size are the text's own.
    QCOMPARE(textOf(edited)->origin, QPointF(0.3, 0.4));
    QCOMPARE(textOf(edited)->normalizedFontSize, 0.1);
    QCOMPARE(engine.selectedIndex(), 0);
    // Editing and committing is one undo step.
    engine.undo();
    QCOMPARE(textOf(engine.annotations().first())->text, QStringLiteral("Label"));
}

void TestImageCanvasMarkup::editorBoxWidensAndGrowsDownward()
{
    const QPointF point(100, 160);
    m_canvas->showMarkupTextField(point);
    QWidget* box = m_canvas->markupTextContainer();
    MarkupTextView* view = m_canvas->markupTextView();
    QVERIFY(box);
    QCOMPARE(QApplication::focusWidget(), view);
    const QRect opened = box->geometry();
    QCOMPARE(opened.width(), 220);
    // The box's bottom-left corner (y up) lies 4 points before the text's origin.
    QCOMPARE(box->geometry(),
             m_canvas->toWidget(QRectF(point - QPointF(4, 4), QSizeF(opened.size()))).toRect());

    QTest::keyClicks(view, QStringLiteral("A line long enough to need more than the box"));
    const QRect widened = box->geometry();
    QVERIFY(widened.width() > 220);
    QCOMPARE(widened.top(), opened.top());
    QCOMPARE(widened.height(), opened.height());

    QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(view, QStringLiteral("and a second"));
    const QRect twoLines = box->geometry();
    QCOMPARE(twoLines.top(), opened.top());
    QVERIFY(twoLines.height() > opened.height());
    QCOMPARE(twoLines.width(), widened.width());

    // Deleting text never narrows the box.
    view->selectAll();
    QTest::keyClick(view, Qt::Key_Backspace);
    QCOMPARE(box->geometry().width(), widened.width());
    QCOMPARE(box->geometry().top(), opened.top());
    QCOMPARE(box->geometry().height(), opened.height());
}

void TestImageCanvasMarkup::whitespaceOnlyNewTextAddsNothing()
{
    openEditorWithTextTool(QPoint(200, 150));
    QTest::keyClicks(m_canvas->markupTextView(), QStringLiteral("   "));
    QTest::keyClick(m_canvas->markupTextView(), Qt::Key_Return, Qt::ShiftModifier);
    commitWithReturn();
    QVERIFY(m_canvas->markupEngine().annotations().isEmpty());
    QVERIFY(!m_canvas->markupEngine().canUndo());
}

void TestImageCanvasMarkup::selectingAnAnnotationPersistsItsStyle()
{
    MarkupEngine& engine = m_canvas->markupEngine();
    const QColor green(40, 200, 60);
    engine.appendAnnotation(MarkupAnnotation(MarkupShape::rectangle(QRectF(0.2, 0.2, 0.5, 0.5)),
                                             green, Qt::transparent, 0.02, 5, 1,
                                             MarkupArrowheadStyle::end));
    m_markupChanges = 0;
    // A press inside the rectangle selects it.
    QTest::mouseClick(m_canvas.get(), Qt::LeftButton, {}, QPoint(180, 150));
    QCOMPARE(engine.selectedIndex(), 0);
    QVERIFY(m_markupChanges > 0);
    QCOMPARE(engine.strokeColor().rgb(), green.rgb());
    const MarkupToolDefaults stored = MarkupToolDefaultsStore::standard().load();
    QCOMPARE(stored.strokeColor.rgb(), green.rgb());
    QCOMPARE(stored.tool, engine.tool());

    // A new canvas starts with the persisted style.
    ImageCanvasView another;
    QCOMPARE(another.markupEngine().strokeColor().rgb(), green.rgb());
}

void TestImageCanvasMarkup::newImageResetsMarkupAndDismissesTheEditor()
{
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.appendAnnotation(textAnnotation(QStringLiteral("old"), 0.1));
    m_canvas->showMarkupTextField(QPointF(200, 150));
    QTest::keyClicks(m_canvas->markupTextView(), QStringLiteral("unsaved"));

    m_canvas->setImage(testImage(QSize(120, 90)), false);
    QCOMPARE(m_canvas->markupTextView(), nullptr);
    QCOMPARE(m_canvas->markupTextContainer(), nullptr);
    QCOMPARE(m_canvas->markupTextOriginInView(), std::nullopt);
    QVERIFY(engine.annotations().isEmpty());
    QVERIFY(!engine.canUndo());
}

void TestImageCanvasMarkup::previewReplacementKeepsAnnotationsAndTheEditor()
{
    const QSize full(400, 200);
    m_canvas->setPreview(testImage(full / 4), full, false);
    MarkupEngine& engine = m_canvas->markupEngine();
    engine.appendAnnotation(textAnnotation(QStringLiteral("kept"), 0.1));
    m_canvas->showMarkupTextField(QPointF(200, 150));
    QTest::keyClicks(m_canvas->markupTextView(), QStringLiteral("typing"));
    const QRect box = m_canvas->markupTextContainer()->geometry();

    m_canvas->replacePreview(testImage(full));
    QCOMPARE(engine.annotations().size(), 1);
    QVERIFY(m_canvas->markupTextView());
    QCOMPARE(m_canvas->markupTextView()->toPlainText(), QStringLiteral("typing"));
    QCOMPARE(m_canvas->markupTextContainer()->geometry(), box);
    commitWithReturn();
    QCOMPARE(engine.annotations().size(), 2);
}

void TestImageCanvasMarkup::leavingMarkupModeCommitsTheOpenEditor()
{
    m_canvas->showMarkupTextField(QPointF(200, 150));
    QTest::keyClicks(m_canvas->markupTextView(), QStringLiteral("done"));
    m_canvas->setMarkupModeEnabled(false);
    QCOMPARE(m_canvas->markupTextView(), nullptr);
    QCOMPARE(m_canvas->markupEngine().annotations().size(), 1);
    QCOMPARE(textOf(m_canvas->markupEngine().annotations().first())->text, QStringLiteral("done"));
    QCOMPARE(m_canvas->cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(TestImageCanvasMarkup)
#include "tst_imagecanvasmarkup.moc"
