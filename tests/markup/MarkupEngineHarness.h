#pragma once

#include "MarkupEngine.h"
#include "MarkupGeometry.h"

#include <QList>
#include <cmath>
#include <utility>

// A host for the engine as the canvas is one: it provides the image rectangle, records every
// callback, and drives presses, drags and releases with view points (y up).
struct MarkupEngineHarness
{
    // The image occupies 400 x 300 points of the view, its bottom-left corner at (100, 50).
    static constexpr QRectF defaultImageRect{100, 50, 400, 300};

    MarkupEngine engine;
    std::optional<QRectF> imageRect = defaultImageRect;
    bool editingText = false;

    int changedCount = 0;
    int selectionChangedCount = 0;
    int redrawCount = 0;
    int cursorRefreshCount = 0;
    int commitCount = 0;
    int dismissCount = 0;
    QList<QPointF> textEditorRequests;
    QList<std::pair<MarkupEngine::Index, QRectF>> editRequests;

    MarkupEngineHarness()
    {
        engine.imageRectProvider = [this] { return imageRect; };
        engine.onChanged = [this] { ++changedCount; };
        engine.onSelectionChanged = [this] { ++selectionChangedCount; };
        engine.requestRedraw = [this] { ++redrawCount; };
        engine.requestCursorRefresh = [this] { ++cursorRefreshCount; };
        engine.requestTextEditor = [this](QPointF point) { textEditorRequests.append(point); };
        engine.requestEditTextAnnotation = [this](MarkupEngine::Index index, QRectF rect) {
            editRequests.append({index, rect});
        };
        engine.commitTextEditor = [this] { ++commitCount; };
        engine.dismissTextEditor = [this] { ++dismissCount; };
        engine.isEditingText = [this] { return editingText; };
    }

    MarkupEngineHarness(const MarkupEngineHarness&) = delete;
    MarkupEngineHarness& operator=(const MarkupEngineHarness&) = delete;

    void resetCounts()
    {
        changedCount = selectionChangedCount = redrawCount = cursorRefreshCount = commitCount =
            dismissCount = 0;
        textEditorRequests.clear();
        editRequests.clear();
    }

    // The view point of a normalized image point.
    static QPointF at(double x, double y)
    {
        return MarkupGeometry::denormalizedPoint(QPointF(x, y), defaultImageRect);
    }

    void press(const QPointF& point, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        engine.mouseDown(point, 1, modifiers);
    }

    // Press at `from`, move in `steps` drag events to `to`, release there.
    void drag(const QPointF& from, const QPointF& to,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier, int steps = 4)
    {
        press(from, modifiers);
        for (int i = 1; i <= steps; ++i) {
            engine.mouseDragged(from + (to - from) * (static_cast<double>(i) / steps));
        }
        engine.mouseUp(to);
    }

    void click(const QPointF& point, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        press(point, modifiers);
        engine.mouseUp(point);
    }

    void doubleClick(const QPointF& point)
    {
        click(point);
        engine.mouseDown(point, 2, Qt::NoModifier);
        engine.mouseUp(point);
    }

    // Draws a shape with the given tool from one normalized point to another.
    void draw(MarkupTool tool, const QPointF& from, const QPointF& to)
    {
        engine.setTool(tool);
        drag(at(from.x(), from.y()), at(to.x(), to.y()));
    }

    const MarkupAnnotation& annotation(MarkupEngine::Index index) const
    {
        return engine.annotations()[index];
    }

    QRectF box(MarkupEngine::Index index) const { return *annotation(index).shape.boxRect(); }

    // The annotation's geometry in view points, as a box.
    QRectF viewBounds(MarkupEngine::Index index) const
    {
        return MarkupGeometry::denormalizedRect(annotation(index).normalizedBounds(),
                                                defaultImageRect);
    }
};

inline MarkupAnnotation plainAnnotation(const MarkupShape& shape, double normalizedLineWidth = 0.01)
{
    return MarkupAnnotation(shape, QColor(Qt::red), QColor(Qt::transparent), normalizedLineWidth, 5,
                            1, MarkupArrowheadStyle::end);
}

// True when every coordinate and number of the annotation is finite.
inline bool isFiniteAnnotation(const MarkupAnnotation& annotation)
{
    const auto finitePoint = [](const QPointF& p) {
        return std::isfinite(p.x()) && std::isfinite(p.y());
    };
    const QRectF bounds = annotation.normalizedBounds();
    const bool finiteBounds = finitePoint(bounds.topLeft()) && finitePoint(bounds.bottomRight());
    bool finitePoints = true;
    QList<QPointF> points = annotation.shape.arrowPathPoints().value_or(QList<QPointF>());
    if (const auto* pen = annotation.shape.as<MarkupShape::Pen>()) {
        points = pen->points;
    }
    for (const QPointF& p : std::as_const(points)) {
        finitePoints = finitePoints && finitePoint(p);
    }
    return finiteBounds && finitePoints && std::isfinite(annotation.normalizedLineWidth);
}
