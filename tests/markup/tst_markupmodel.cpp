#include "MarkupAnnotation.h"
#include "MarkupArrowheadStyle.h"
#include "MarkupGeometry.h"
#include "MarkupHandle.h"
#include "MarkupShape.h"
#include "MarkupTool.h"

#include <QImage>
#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(MarkupShape)

namespace {

MarkupAnnotation annotationWith(const MarkupShape& shape, double normalizedLineWidth = 0.01)
{
    return MarkupAnnotation(shape, Qt::red, Qt::transparent, normalizedLineWidth, 5, 1,
                            MarkupArrowheadStyle::end);
}

} // namespace

class TestMarkupModel : public QObject
{
    Q_OBJECT

private slots:
    void tools_data();
    void tools();
    void arrowheadStyles_data();
    void arrowheadStyles();
    void rawValuesOutsideTheCasesFail();
    void arrowAccessors_data();
    void arrowAccessors();
    void anchorEditing();
    void normalizedBounds_data();
    void normalizedBounds();
    void curvedArrowBoundsCoverTheBulge();
    void textSizeIsMeasuredAtTheReferenceSize();
    void lineWidthInAnImageRectangle_data();
    void lineWidthInAnImageRectangle();
    void fillColorIsFixedAtCreation();
    void handleHitTesting_data();
    void handleHitTesting();
    void handleCornersAndCursors();
};

void TestMarkupModel::tools_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<bool>("supportsFill");
    QTest::addColumn<bool>("usesColors");
    QTest::newRow("rectangle") << 0 << "Rectangle"
                               << "square" << true << true;
    QTest::newRow("ellipse") << 1 << "Ellipse"
                             << "circle" << true << true;
    QTest::newRow("blur") << 2 << "Blur / Redact"
                          << "eye.slash" << false << false;
    QTest::newRow("arrow") << 3 << "Arrow"
                           << "line.diagonal.arrow" << false << true;
    QTest::newRow("pen") << 4 << "Pen"
                         << "pencil.tip" << false << true;
    QTest::newRow("text") << 5 << "Text"
                          << "character.textbox" << false << true;
}

void TestMarkupModel::tools()
{
    QFETCH(int, raw);
    QFETCH(QString, title);
    QFETCH(QString, symbol);
    QFETCH(bool, supportsFill);
    QFETCH(bool, usesColors);
    const auto tool = MarkupTool::fromRawValue(raw);
    QVERIFY(tool);
    QCOMPARE(tool->rawValue(), raw);
    QCOMPARE(tool->title(), title);
    QCOMPARE(tool->symbolName(), symbol);
    QCOMPARE(tool->supportsFill(), supportsFill);
    QCOMPARE(tool->usesColors(), usesColors);
    QCOMPARE(MarkupTool::allCases()[raw], *tool);
}

void TestMarkupModel::arrowheadStyles_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("symbol");
    QTest::newRow("none") << 0 << "No arrowheads"
                          << "line.diagonal";
    QTest::newRow("end") << 1 << "One arrowhead"
                         << "arrow.up.right";
    QTest::newRow("both") << 2 << "Two arrowheads"
                          << "arrow.left.and.right";
}

void TestMarkupModel::arrowheadStyles()
{
    QFETCH(int, raw);
    QFETCH(QString, title);
    QFETCH(QString, symbol);
    const auto style = MarkupArrowheadStyle::fromRawValue(raw);
    QVERIFY(style);
    QCOMPARE(style->rawValue(), raw);
    QCOMPARE(style->title(), title);
    QCOMPARE(style->symbolName(), symbol);
    QCOMPARE(MarkupArrowheadStyle::allCases()[raw], *style);
}

void TestMarkupModel::rawValuesOutsideTheCasesFail()
{
    QVERIFY(!MarkupTool::fromRawValue(6));
    QVERIFY(!MarkupTool::fromRawValue(-1));
    QVERIFY(!MarkupTool::fromRawValue(Q_INT64_C(1) << 32));
    QVERIFY(!MarkupArrowheadStyle::fromRawValue(3));
    QVERIFY(!MarkupArrowheadStyle::fromRawValue(-1));
}

void TestMarkupModel::arrowAccessors_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<bool>("isArrow");
    QTest::addColumn<QList<QPointF>>("path");
    QTest::addColumn<QList<QPointF>>("anchors");
    const QPointF s(0.1, 0.2);
    const QPointF e(0.9, 0.8);
    const QList<QPointF> two{{0.3, 0.5}, {0.6, 0.4}};
    QTest::newRow("arrow") << MarkupShape::arrow(s, e) << true << QList<QPointF>{s, e}
                           << QList<QPointF>{};
    QTest::newRow("curved arrow") << MarkupShape::curvedArrow(s, e, two) << true
                                  << QList<QPointF>{s, two[0], two[1], e} << two;
    QTest::newRow("rectangle") << MarkupShape::rectangle(QRectF(0, 0, 1, 1)) << false
                               << QList<QPointF>{} << QList<QPointF>{};
    QTest::newRow("pen") << MarkupShape::pen({s, e}) << false << QList<QPointF>{}
                         << QList<QPointF>{};
    QTest::newRow("text") << MarkupShape::text(s, "a", 0.05) << false << QList<QPointF>{}
                          << QList<QPointF>{};
}

void TestMarkupModel::arrowAccessors()
{
    QFETCH(MarkupShape, shape);
    QFETCH(bool, isArrow);
    QFETCH(QList<QPointF>, path);
    QFETCH(QList<QPointF>, anchors);
    QCOMPARE(shape.isArrow(), isArrow);
    QCOMPARE(shape.arrowPathPoints().has_value(), isArrow);
    QCOMPARE(shape.lineEndpoints().has_value(), isArrow);
    QCOMPARE(shape.arrowAnchors(), anchors);
    if (isArrow) {
        QCOMPARE(*shape.arrowPathPoints(), path);
        QCOMPARE(shape.lineEndpoints()->first, path.first());
        QCOMPARE(shape.lineEndpoints()->second, path.last());
    } else {
        // Arrow edits leave every other case alone.
        QCOMPARE(shape.withArrowAnchors({QPointF(0.5, 0.5)}).kind(), shape.kind());
        QCOMPARE(shape.withEndpoints(QPointF(0, 0), QPointF(1, 1)).kind(), shape.kind());
        QCOMPARE(shape.withArrowAnchor(QPointF(0.5, 0.5), 0).kind(), shape.kind());
    }
}

void TestMarkupModel::anchorEditing()
{
    const QPointF s(0.1, 0.1);
    const QPointF e(0.9, 0.1);
    const MarkupShape arrow = MarkupShape::arrow(s, e);
    const MarkupShape curved = MarkupShape::curvedArrow(s, e, {{0.3, 0.5}, {0.6, 0.5}});

    const MarkupShape bent = arrow.withArrowAnchors({QPointF(0.5, 0.4)});
    QCOMPARE(bent.kind(), MarkupShape::Kind::curvedArrow);
    QCOMPARE(bent.arrowAnchors(), QList<QPointF>{QPointF(0.5, 0.4)});
    QCOMPARE(bent.lineEndpoints()->first, s);

    const MarkupShape straightened = curved.withArrowAnchors({});
    QCOMPARE(straightened.kind(), MarkupShape::Kind::arrow);
    QCOMPARE(straightened.lineEndpoints()->second, e);

    QCOMPARE(arrow.withArrowAnchor(QPointF(0.5, 0.5), 0).kind(), MarkupShape::Kind::arrow);
    QCOMPARE(curved.withArrowAnchor(QPointF(0, 0), 2).arrowAnchors(), curved.arrowAnchors());
    QCOMPARE(curved.withArrowAnchor(QPointF(0, 0), -1).arrowAnchors(), curved.arrowAnchors());
    QCOMPARE(curved.withArrowAnchor(QPointF(0, 0), 1).arrowAnchors(),
             (QList<QPointF>{{0.3, 0.5}, {0, 0}}));

    const MarkupShape moved = curved.withEndpoints(QPointF(0, 0), QPointF(1, 1));
    QCOMPARE(moved.kind(), MarkupShape::Kind::curvedArrow);
    QCOMPARE(moved.arrowAnchors(), curved.arrowAnchors());
    QCOMPARE(*moved.arrowPathPoints(), (QList<QPointF>{{0, 0}, {0.3, 0.5}, {0.6, 0.5}, {1, 1}}));
}

void TestMarkupModel::normalizedBounds_data()
{
    QTest::addColumn<MarkupShape>("shape");
    QTest::addColumn<QRectF>("bounds");
    QTest::addColumn<bool>("resizable");
    QTest::newRow("rectangle as stored")
        << MarkupShape::rectangle(QRectF(0.1, 0.2, 0.3, 0.4)) << QRectF(0.1, 0.2, 0.3, 0.4) << true;
    QTest::newRow("ellipse") << MarkupShape::ellipse(QRectF(0.5, 0.5, 0.1, 0.1))
                             << QRectF(0.5, 0.5, 0.1, 0.1) << true;
    QTest::newRow("blur") << MarkupShape::blur(QRectF(0, 0, 1, 1)) << QRectF(0, 0, 1, 1) << true;
    QTest::newRow("straight arrow: box of its ends")
        << MarkupShape::arrow(QPointF(0.8, 0.1), QPointF(0.2, 0.5)) << QRectF(0.2, 0.1, 0.6, 0.4)
        << false;
    QTest::newRow("pen") << MarkupShape::pen({{0.2, 0.3}, {0.4, 0.1}, {0.3, 0.6}})
                         << QRectF(0.2, 0.1, 0.2, 0.5) << false;
    QTest::newRow("pen without points: zero rectangle")
        << MarkupShape::pen({}) << QRectF() << false;
    QTest::newRow("empty text: origin plus 0.01")
        << MarkupShape::text(QPointF(0.4, 0.3), QString(), 0.05) << QRectF(0.4, 0.3, 0.01, 0.01)
        << true;
}

void TestMarkupModel::normalizedBounds()
{
    QFETCH(MarkupShape, shape);
    QFETCH(QRectF, bounds);
    QFETCH(bool, resizable);
    const MarkupAnnotation annotation = annotationWith(shape);
    QCOMPARE(annotation.normalizedBounds(), bounds);
    QCOMPARE(annotation.isResizable(), resizable);
}

void TestMarkupModel::curvedArrowBoundsCoverTheBulge()
{
    // Catmull-Rom overshoots the anchors: the curve through a high anchor climbs above it when
    // its neighbours pull it on.
    const QList<QPointF> anchors{{0.3, 0.6}, {0.7, 0.6}};
    const MarkupAnnotation curved =
        annotationWith(MarkupShape::curvedArrow(QPointF(0.1, 0.2), QPointF(0.9, 0.2), anchors));
    const QRectF bounds = curved.normalizedBounds();
    const QRectF anchorBox =
        MarkupGeometry::boundingRect({{0.1, 0.2}, {0.3, 0.6}, {0.7, 0.6}, {0.9, 0.2}});
    QVERIFY(bounds.contains(anchorBox));
    QVERIFY2(MarkupGeometry::maxY(bounds) > MarkupGeometry::maxY(anchorBox) + 0.04,
             "the top of the bulge lies above the anchors");
}

void TestMarkupModel::textSizeIsMeasuredAtTheReferenceSize()
{
    QCOMPARE(MarkupAnnotation::normalizedTextSize(QString(), 0.05), QSizeF(0.01, 0.01));
    QCOMPARE(MarkupAnnotation::normalizedTextSize(QString(), 5), QSizeF(0.01, 0.01));

    // A tiny font is measured at 8 points, not at 1.
    const QSizeF tiny = MarkupAnnotation::normalizedTextSize(QStringLiteral("W"), 0.001);
    const QSizeF eight = MarkupAnnotation::normalizedTextSize(QStringLiteral("W"), 0.008);
    QCOMPARE(tiny, eight);
    QVERIFY(tiny.width() >= 0.01 && tiny.height() >= 0.01);

    // Measured as if the image were 1000 points: 0.05 is a 50-point font.
    const QSizeF measured = MarkupAnnotation::measuredTextSize(QStringLiteral("Hello"), 50);
    const QSizeF size = MarkupAnnotation::normalizedTextSize(QStringLiteral("Hello"), 0.05);
    QCOMPARE(size, measured / 1000);
    QVERIFY(size.width() > 0.05);

    // Line breaks start new lines: two lines are taller, not wider.
    const QSizeF twoLines =
        MarkupAnnotation::normalizedTextSize(QStringLiteral("Hello\nHello"), 0.05);
    QCOMPARE(twoLines.width(), size.width());
    QVERIFY(twoLines.height() > 1.8 * size.height());
    QCOMPARE(MarkupAnnotation::textFont(12, QImage(1, 1, QImage::Format_RGB32)).weight(),
             QFont::Medium);
}

void TestMarkupModel::lineWidthInAnImageRectangle_data()
{
    QTest::addColumn<double>("normalized");
    QTest::addColumn<QRectF>("image");
    QTest::addColumn<double>("points");
    QTest::newRow("0.002 of 200 is raised to 1") << 0.002 << QRectF(0, 0, 300, 200) << 1.0;
    QTest::newRow("0.01 of 200") << 0.01 << QRectF(0, 0, 300, 200) << 2.0;
    QTest::newRow("the shorter side counts") << 0.01 << QRectF(0, 0, 200, 900) << 2.0;
    QTest::newRow("sides of a point or less use the width as is")
        << 4.0 << QRectF(0, 0, 1, 0.5) << 4.0;
    QTest::newRow("zero-sized image") << 0.5 << QRectF(0, 0, 0, 0) << 1.0;
}

void TestMarkupModel::lineWidthInAnImageRectangle()
{
    QFETCH(double, normalized);
    QFETCH(QRectF, image);
    QFETCH(double, points);
    QCOMPARE(annotationWith(MarkupShape::pen({}), normalized).lineWidth(image), points);
}

void TestMarkupModel::fillColorIsFixedAtCreation()
{
    MarkupAnnotation annotation(MarkupShape::rectangle(QRectF(0, 0, 1, 1)), Qt::red, Qt::blue, 0.01,
                                5, 1, MarkupArrowheadStyle::end);
    annotation.strokeColor = Qt::green;
    QCOMPARE(annotation.fillColor(), QColor(Qt::blue));
    QCOMPARE(MarkupAnnotation::normalizedLineWidthFor(3, QRectF(0, 0, 300, 200)), 0.015);
    QCOMPARE(MarkupAnnotation::normalizedLineWidthFor(3, QRectF(0, 0, 0.5, 0.5)), 3.0);
}

void TestMarkupModel::handleHitTesting_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<int>("handle");
    const QRectF small(0, 0, 10, 10);
    const QRectF large(100, 100, 200, 100);
    QTest::newRow("centre of a small rectangle lies in all four: top-left first")
        << small << QPointF(5, 5) << int(MarkupHandle::topLeft);
    QTest::newRow("exactly r right of the top-right corner is outside")
        << small << QPointF(20, 10) << -1;
    QTest::newRow("exactly r left of the top-left corner is inside")
        << small << QPointF(-10, 10) << int(MarkupHandle::topLeft);
    QTest::newRow("top-left is the larger y")
        << large << QPointF(102, 199) << int(MarkupHandle::topLeft);
    QTest::newRow("top-right") << large << QPointF(309.9, 209.9) << int(MarkupHandle::topRight);
    QTest::newRow("bottom-left") << large << QPointF(90, 90) << int(MarkupHandle::bottomLeft);
    QTest::newRow("bottom-right") << large << QPointF(295, 105) << int(MarkupHandle::bottomRight);
    QTest::newRow("middle of an edge") << large << QPointF(200, 100) << -1;
}

void TestMarkupModel::handleHitTesting()
{
    QFETCH(QRectF, rect);
    QFETCH(QPointF, point);
    QFETCH(int, handle);
    const auto hit = MarkupHandle::handle(point, rect, 10);
    QCOMPARE(hit ? int(hit->value()) : -1, handle);
}

void TestMarkupModel::handleCornersAndCursors()
{
    const QRectF rect(10, 20, 30, 40);
    QCOMPARE(MarkupHandle(MarkupHandle::topLeft).point(rect), QPointF(10, 60));
    QCOMPARE(MarkupHandle(MarkupHandle::topRight).point(rect), QPointF(40, 60));
    QCOMPARE(MarkupHandle(MarkupHandle::bottomLeft).point(rect), QPointF(10, 20));
    QCOMPARE(MarkupHandle(MarkupHandle::bottomRight).point(rect), QPointF(40, 20));

    QCOMPARE(MarkupHandle(MarkupHandle::topLeft).resizeCursor(), Qt::SizeFDiagCursor);
    QCOMPARE(MarkupHandle(MarkupHandle::bottomRight).resizeCursor(), Qt::SizeFDiagCursor);
    QCOMPARE(MarkupHandle(MarkupHandle::topRight).resizeCursor(), Qt::SizeBDiagCursor);
    QCOMPARE(MarkupHandle(MarkupHandle::bottomLeft).resizeCursor(), Qt::SizeBDiagCursor);

    QSet<MarkupHandle> handles;
    for (const MarkupHandle handle : MarkupHandle::allCases()) {
        handles.insert(handle);
    }
    QCOMPARE(handles.size(), 4);
}

QTEST_MAIN(TestMarkupModel)
#include "tst_markupmodel.moc"
