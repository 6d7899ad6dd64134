// Pointer handling of the engine: presses, drags and releases draw new annotations, select,
// move and resize them, drag arrow ends, and add, drag and remove the anchors that bend an
// arrow. Every drag step recomputes the annotation from the copy taken at the press and the
// current pointer position, so no error accumulates over a long drag.

#include "MarkupEngine.h"
#include "MarkupGeometry.h"

#include <cmath>

using namespace MarkupGeometry;

namespace {

// Line width of new rectangles, ellipses and pen strokes, points.
constexpr double shapeLineWidth = 3;
// The arrow fields every annotation that is not an arrow carries.
constexpr double plainHeadScale = 5;
constexpr double plainHeadWidthScale = 1;
constexpr MarkupArrowheadStyle plainArrowheadStyle = MarkupArrowheadStyle::end;
// Pen points closer than this to the previous one are dropped, points.
constexpr double penPointSpacing = 1.5;
// Rectangles and ellipses need one side of at least this, points.
constexpr double minimumShapeSide = 1;
// Blur regions need both sides of at least this, points.
constexpr double minimumBlurSide = 6;
// Arrows shorter than this, in normalized units, are discarded.
constexpr double minimumArrowLength = 0.002;
// A text box whose normalized height is at most this cannot be scaled by its height.
constexpr double minimumScalableTextHeight = 0.001;
// The smallest normalized font size resizing leaves.
constexpr double minimumNormalizedFontSize = 0.005;

bool isFinite(const QPointF& point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

QList<QPointF> translatedPoints(const QList<QPointF>& points, const QPointF& delta)
{
    QList<QPointF> result;
    result.reserve(points.size());
    for (const QPointF& point : points) {
        result.append(point + delta);
    }
    return result;
}

// The smallest size a corner handle can make an annotation of this kind, points.
double minimumResizeSize(MarkupShape::Kind kind)
{
    switch (kind) {
    case MarkupShape::Kind::rectangle:
    case MarkupShape::Kind::ellipse:
        return MarkupEngine::thinShapeMinSize;
    case MarkupShape::Kind::blur:
    case MarkupShape::Kind::text:
        return MarkupEngine::minSize;
    case MarkupShape::Kind::arrow:
    case MarkupShape::Kind::curvedArrow:
    case MarkupShape::Kind::pen:
        return 0;
    }
    Q_UNREACHABLE();
    return 0;
}

} // namespace

void MarkupEngine::mouseDown(const QPointF& point, int clickCount, Qt::KeyboardModifiers modifiers)
{
    if (clickCount == 2) {
        handleDoubleClick(point);
    } else {
        beginInteraction(point, modifiers);
    }
}

void MarkupEngine::beginInteraction(const QPointF& point, Qt::KeyboardModifiers modifiers)
{
    if (!isFinite(point)) {
        return;
    }
    if (isEditingText && isEditingText()) {
        call(commitTextEditor);
        return;
    }
    const auto img = imageRect();
    if (!img || !contains(*img, point)) {
        setSelectedIndex(std::nullopt);
        m_interactionMode = InteractionMode::none();
        redraw();
        return;
    }
    if (modifiers.testFlag(Qt::AltModifier) && editCurve(point, *img)) {
        return;
    }
    // Handles of the selected annotation win over the bodies of annotations drawn above it.
    if (const auto selected = selectedAnnotation()) {
        const Index index = *m_selectedIndex;
        if (const auto anchor = arrowAnchorHandle(point, *selected, *img)) {
            startHandleDrag(point, *img, InteractionMode::resizeArrowAnchor(index, *anchor));
            return;
        }
        if (const auto endpoint = lineEndpointHandle(point, *selected, *img)) {
            startHandleDrag(point, *img, InteractionMode::resizeLine(index, *endpoint));
            return;
        }
        if (selected->isResizable()) {
            if (const auto handle =
                    MarkupHandle::handle(point, selectionRect(*selected, *img), handleHitRadius)) {
                startHandleDrag(point, *img, InteractionMode::resize(index, *handle));
                return;
            }
        }
    }
    if (const auto index = annotationIndex(point, *img)) {
        setSelectedIndex(index);
        captureUndoState();
        m_dragStartPoint = clampPoint(point, *img);
        m_dragStartAnnotation = m_annotations[*index];
        m_interactionMode = InteractionMode::move(*index);
        call(requestCursorRefresh);
        redraw();
        return;
    }
    setSelectedIndex(std::nullopt);
    beginDrawing(point, *img);
}

// A press with the alternate modifier on an arrow: removes the anchor under the point, or
// inserts one on the curve that then follows the pointer. False when no arrow is under the point.
bool MarkupEngine::editCurve(const QPointF& point, const QRectF& imageRect)
{
    const auto index = arrowIndexForCurveEdit(point, imageRect);
    if (!index) {
        return false;
    }
    const MarkupShape shape = m_annotations[*index].shape;
    QList<QPointF> anchors = shape.arrowAnchors();
    if (const auto anchor = arrowAnchorHandle(point, m_annotations[*index], imageRect)) {
        setSelectedIndex(index);
        captureUndoState();
        anchors.removeAt(*anchor);
        m_annotations[*index].shape = shape.withArrowAnchors(anchors);
        closeUndoStep();
        changed();
        redraw();
        return true;
    }
    const auto nearest =
        nearestPointOnArrowPath(point, denormalizedPoints(*shape.arrowPathPoints(), imageRect));
    if (!nearest) {
        return false;
    }
    setSelectedIndex(index);
    captureUndoState();
    const Index slot = std::min(nearest->insertionIndex, anchors.size());
    anchors.insert(slot, normalizedPoint(nearest->point, imageRect));
    m_annotations[*index].shape = shape.withArrowAnchors(anchors);
    m_dragStartPoint = nearest->point;
    m_dragStartAnnotation = m_annotations[*index];
    m_interactionMode = InteractionMode::resizeArrowAnchor(*index, slot);
    redraw();
    return true;
}

void MarkupEngine::startHandleDrag(const QPointF& point, const QRectF& imageRect,
                                   const InteractionMode& mode)
{
    captureUndoState();
    m_dragStartPoint = clampPoint(point, imageRect);
    m_dragStartAnnotation = selectedAnnotation();
    m_interactionMode = mode;
    redraw();
}

void MarkupEngine::handleDoubleClick(const QPointF& point)
{
    if (!isFinite(point)) {
        return;
    }
    const auto img = imageRect();
    if (!img) {
        return;
    }
    m_interactionMode = InteractionMode::none();
    m_dragStartPoint.reset();
    m_dragStartAnnotation.reset();
    closeUndoStep();
    const auto index = annotationIndex(point, *img);
    if (index && m_annotations[*index].shape.kind() == MarkupShape::Kind::text &&
        requestEditTextAnnotation) {
        requestEditTextAnnotation(*index, *img);
    }
}

void MarkupEngine::mouseDragged(const QPointF& point)
{
    if (!isFinite(point)) {
        return;
    }
    const auto img = imageRect();
    if (!img) {
        return;
    }
    const QPointF clamped = clampPoint(point, *img);
    const InteractionMode mode = m_interactionMode;
    switch (mode.kind()) {
    case InteractionMode::Kind::none:
        return;
    case InteractionMode::Kind::drawing:
        updateDrawing(clamped);
        break;
    case InteractionMode::Kind::move:
        moveMarkup(*mode.annotationIndex(), clamped, *img);
        break;
    case InteractionMode::Kind::resize:
        resizeMarkup(*mode.annotationIndex(), *mode.handle(), clamped, *img);
        break;
    case InteractionMode::Kind::resizeLine:
        resizeLineMarkup(*mode.annotationIndex(), *mode.endpoint(), clamped, *img);
        break;
    case InteractionMode::Kind::resizeArrowAnchor: {
        const Index index = *mode.annotationIndex();
        const Index anchor = *mode.anchorIndex();
        if (isValidIndex(index) && m_dragStartAnnotation && anchor >= 0 &&
            anchor < m_dragStartAnnotation->shape.arrowAnchors().size()) {
            m_annotations[index].shape = m_dragStartAnnotation->shape.withArrowAnchor(
                normalizedPoint(clamped, *img), anchor);
        }
        break;
    }
    }
    redraw();
}

void MarkupEngine::mouseUp(const QPointF& point)
{
    const InteractionMode mode = m_interactionMode;
    if (const auto img = imageRect()) {
        switch (mode.kind()) {
        case InteractionMode::Kind::none:
            break;
        case InteractionMode::Kind::drawing:
            finalizeDrawing(isFinite(point) ? std::optional(point) : std::nullopt, *img);
            break;
        case InteractionMode::Kind::move:
        case InteractionMode::Kind::resize:
        case InteractionMode::Kind::resizeLine:
        case InteractionMode::Kind::resizeArrowAnchor:
            if (isValidIndex(*mode.annotationIndex())) {
                setSelectedIndex(mode.annotationIndex());
            }
            break;
        }
    }
    if (mode.kind() == InteractionMode::Kind::drawing) {
        resetDraft();
    }
    m_dragStartPoint.reset();
    m_dragStartAnnotation.reset();
    m_interactionMode = InteractionMode::none();
    closeUndoStep();
    changed();
    call(requestCursorRefresh);
    redraw();
}

void MarkupEngine::beginDrawing(const QPointF& point, const QRectF& imageRect)
{
    const QPointF start = clampPoint(point, imageRect);
    if (m_tool == MarkupTool::text) {
        // The host captures the undo state when the text is committed.
        if (requestTextEditor) {
            requestTextEditor(start);
        }
        return;
    }
    captureUndoState();
    m_dragStartPoint = start;
    m_interactionMode = InteractionMode::drawing();
    switch (m_tool.value()) {
    case MarkupTool::rectangle:
    case MarkupTool::ellipse:
    case MarkupTool::blur:
        m_draftRect = QRectF(start, QSizeF(0, 0));
        m_draftPoints.clear();
        break;
    case MarkupTool::arrow:
        m_draftRect.reset();
        m_draftPoints = {start, start};
        break;
    case MarkupTool::pen:
        m_draftRect.reset();
        m_draftPoints = {start};
        break;
    case MarkupTool::text:
        break;
    }
}

void MarkupEngine::updateDrawing(const QPointF& point)
{
    // A draft reset under the press (a tool change) ends the drawing.
    if (!m_dragStartPoint) {
        return;
    }
    switch (m_tool.value()) {
    case MarkupTool::rectangle:
    case MarkupTool::ellipse:
    case MarkupTool::blur:
        m_draftRect = rect(*m_dragStartPoint, point);
        break;
    case MarkupTool::arrow:
        m_draftPoints = {*m_dragStartPoint, point};
        break;
    case MarkupTool::pen:
        appendPenPoint(point);
        break;
    case MarkupTool::text:
        break;
    }
}

void MarkupEngine::appendPenPoint(const QPointF& point)
{
    if (m_draftPoints.isEmpty() || distance(m_draftPoints.last(), point) > penPointSpacing) {
        m_draftPoints.append(point);
    }
}

void MarkupEngine::finalizeDrawing(std::optional<QPointF> point, const QRectF& imageRect)
{
    const QColor clear(Qt::transparent);
    const double plainLineWidth =
        MarkupAnnotation::normalizedLineWidthFor(shapeLineWidth, imageRect);
    std::optional<MarkupAnnotation> created;
    switch (m_tool.value()) {
    case MarkupTool::rectangle:
    case MarkupTool::ellipse: {
        if (!m_draftRect ||
            (m_draftRect->width() < minimumShapeSide && m_draftRect->height() < minimumShapeSide)) {
            break;
        }
        const QRectF box = normalizedRect(
            expandedToMinimumSize(*m_draftRect, thinShapeMinSize, imageRect), imageRect);
        created.emplace(m_tool == MarkupTool::rectangle ? MarkupShape::rectangle(box)
                                                        : MarkupShape::ellipse(box),
                        m_strokeColor, m_fillColor, plainLineWidth, plainHeadScale,
                        plainHeadWidthScale, plainArrowheadStyle);
        break;
    }
    case MarkupTool::blur:
        if (!m_draftRect || m_draftRect->width() < minimumBlurSide ||
            m_draftRect->height() < minimumBlurSide) {
            break;
        }
        created.emplace(MarkupShape::blur(normalizedRect(*m_draftRect, imageRect)), clear, clear, 0,
                        plainHeadScale, plainHeadWidthScale, plainArrowheadStyle);
        break;
    case MarkupTool::arrow: {
        if (m_draftPoints.size() < 2) {
            break;
        }
        const QPointF start = normalizedPoint(m_draftPoints[0], imageRect);
        const QPointF end = normalizedPoint(m_draftPoints[1], imageRect);
        if (distance(start, end) < minimumArrowLength) {
            break;
        }
        created.emplace(MarkupShape::arrow(start, end), m_strokeColor, clear,
                        MarkupAnnotation::normalizedLineWidthFor(m_arrowLineWidth, imageRect),
                        m_arrowHeadScale, m_arrowHeadWidthScale, m_arrowheadStyle);
        break;
    }
    case MarkupTool::pen: {
        if (point) {
            appendPenPoint(clampPoint(*point, imageRect));
        }
        if (m_draftPoints.size() < 2) {
            break;
        }
        QList<QPointF> points;
        points.reserve(m_draftPoints.size());
        for (const QPointF& draftPoint : std::as_const(m_draftPoints)) {
            points.append(normalizedPoint(draftPoint, imageRect));
        }
        created.emplace(MarkupShape::pen(points), m_strokeColor, clear, plainLineWidth,
                        plainHeadScale, plainHeadWidthScale, plainArrowheadStyle);
        break;
    }
    case MarkupTool::text:
        break;
    }
    if (created) {
        m_annotations.append(*created);
        changed();
        setSelectedIndex(m_annotations.size() - 1);
    }
}

QRectF MarkupEngine::dragBounds(const MarkupAnnotation& annotation, const QRectF& imageRect) const
{
    // Text is bounded by what is on screen, not by the reference measurement.
    if (annotation.shape.kind() == MarkupShape::Kind::text) {
        return normalizedRect(selectionRect(annotation, imageRect), imageRect);
    }
    return annotation.normalizedBounds().normalized();
}

void MarkupEngine::moveMarkup(Index index, const QPointF& point, const QRectF& imageRect)
{
    if (!isValidIndex(index) || !m_dragStartPoint || !m_dragStartAnnotation) {
        return;
    }
    const QPointF delta((point.x() - m_dragStartPoint->x()) / imageRect.width(),
                        (point.y() - m_dragStartPoint->y()) / imageRect.height());
    // The annotation cannot leave the image; one that already sticks out can only move back in.
    const QRectF bounds = dragBounds(*m_dragStartAnnotation, imageRect);
    const double dx = std::max(-minX(bounds), std::min(1 - maxX(bounds), delta.x()));
    const double dy = std::max(-minY(bounds), std::min(1 - maxY(bounds), delta.y()));
    m_annotations[index] = translated(*m_dragStartAnnotation, QPointF(dx, dy));
}

void MarkupEngine::resizeMarkup(Index index, MarkupHandle handle, const QPointF& point,
                                const QRectF& imageRect)
{
    if (!isValidIndex(index) || !m_dragStartAnnotation) {
        return;
    }
    const MarkupShape& startShape = m_dragStartAnnotation->shape;
    const QRectF bounds = dragBounds(*m_dragStartAnnotation, imageRect);
    const QPointF p = normalizedPoint(point, imageRect);
    const double minimum = minimumResizeSize(startShape.kind());
    const double minWidth = minimum / imageRect.width();
    const double minHeight = minimum / imageRect.height();
    const double left = minX(bounds);
    const double bottom = minY(bounds);
    const double right = maxX(bounds);
    const double top = maxY(bounds);

    // The corner opposite the handle stays fixed; the dragged corner stops at the minimum size
    // instead of flipping over to the other side.
    QRectF resized;
    switch (handle.value()) {
    case MarkupHandle::topLeft: {
        const double x = std::max(0.0, std::min(right - minWidth, p.x()));
        const double newTop = std::max(bottom + minHeight, p.y());
        resized = QRectF(x, bottom, right - x, newTop - bottom);
        break;
    }
    case MarkupHandle::topRight: {
        const double newRight = std::max(left + minWidth, p.x());
        const double newTop = std::max(bottom + minHeight, p.y());
        resized = QRectF(left, bottom, newRight - left, newTop - bottom);
        break;
    }
    case MarkupHandle::bottomLeft: {
        const double x = std::max(0.0, std::min(right - minWidth, p.x()));
        const double y = std::max(0.0, std::min(top - minHeight, p.y()));
        resized = QRectF(x, y, right - x, top - y);
        break;
    }
    case MarkupHandle::bottomRight: {
        const double newRight = std::max(left + minWidth, p.x());
        const double y = std::max(0.0, std::min(top - minHeight, p.y()));
        resized = QRectF(left, y, newRight - left, top - y);
        break;
    }
    }

    if (startShape.boxRect()) {
        m_annotations[index].shape = startShape.withBoxRect(resized);
    } else if (const auto* text = startShape.as<MarkupShape::Text>()) {
        // Text scales with the height of the dragged box and keeps the baseline row it had at
        // the press; its width follows from the font size.
        if (bounds.height() <= minimumScalableTextHeight) {
            return;
        }
        const double fontSize =
            std::max(minimumNormalizedFontSize,
                     resized.height() / bounds.height() * text->normalizedFontSize);
        m_annotations[index].shape =
            MarkupShape::text(QPointF(resized.x(), text->origin.y()), text->text, fontSize);
    }
}

void MarkupEngine::resizeLineMarkup(Index index, LineEndpoint endpoint, const QPointF& point,
                                    const QRectF& imageRect)
{
    if (!isValidIndex(index) || !m_dragStartAnnotation) {
        return;
    }
    const MarkupShape& startShape = m_dragStartAnnotation->shape;
    const auto ends = startShape.lineEndpoints();
    if (!ends) {
        return;
    }
    const QPointF moved = normalizedPoint(point, imageRect);
    m_annotations[index].shape = endpoint == LineEndpoint::start
                                     ? startShape.withEndpoints(moved, ends->second)
                                     : startShape.withEndpoints(ends->first, moved);
}

MarkupAnnotation MarkupEngine::translated(const MarkupAnnotation& annotation, const QPointF& delta)
{
    MarkupAnnotation result = annotation;
    const MarkupShape& shape = annotation.shape;
    if (const auto box = shape.boxRect()) {
        result.shape = shape.withBoxRect(box->translated(delta));
    } else if (const auto* arrow = shape.as<MarkupShape::Arrow>()) {
        result.shape = MarkupShape::arrow(arrow->start + delta, arrow->end + delta);
    } else if (const auto* curved = shape.as<MarkupShape::CurvedArrow>()) {
        result.shape = MarkupShape::curvedArrow(curved->start + delta, curved->end + delta,
                                                translatedPoints(curved->anchors, delta));
    } else if (const auto* pen = shape.as<MarkupShape::Pen>()) {
        result.shape = MarkupShape::pen(translatedPoints(pen->points, delta));
    } else if (const auto* text = shape.as<MarkupShape::Text>()) {
        result.shape =
            MarkupShape::text(text->origin + delta, text->text, text->normalizedFontSize);
    }
    return result;
}
