#include "MarkupEngine.h"

#include "MarkupGeometry.h"

#include <cmath>
#include <utility>

namespace {

double shorterSide(const QRectF& rect)
{
    return std::min(std::abs(rect.width()), std::abs(rect.height()));
}

} // namespace

MarkupEngine::InteractionMode MarkupEngine::InteractionMode::move(Index annotationIndex)
{
    InteractionMode mode(Kind::move);
    mode.m_annotationIndex = annotationIndex;
    return mode;
}

MarkupEngine::InteractionMode MarkupEngine::InteractionMode::resize(Index annotationIndex,
                                                                    MarkupHandle handle)
{
    InteractionMode mode(Kind::resize);
    mode.m_annotationIndex = annotationIndex;
    mode.m_handle = handle;
    return mode;
}

MarkupEngine::InteractionMode MarkupEngine::InteractionMode::resizeLine(Index annotationIndex,
                                                                        LineEndpoint endpoint)
{
    InteractionMode mode(Kind::resizeLine);
    mode.m_annotationIndex = annotationIndex;
    mode.m_endpoint = endpoint;
    return mode;
}

MarkupEngine::InteractionMode
MarkupEngine::InteractionMode::resizeArrowAnchor(Index annotationIndex, Index anchorIndex)
{
    InteractionMode mode(Kind::resizeArrowAnchor);
    mode.m_annotationIndex = annotationIndex;
    mode.m_anchorIndex = anchorIndex;
    return mode;
}

MarkupEngine::MarkupEngine()
{
    applyToolDefaults(MarkupToolDefaults::initial());
}

void MarkupEngine::call(const std::function<void()>& callback)
{
    if (callback) {
        callback();
    }
}

std::optional<QRectF> MarkupEngine::imageRect() const
{
    if (!imageRectProvider) {
        return std::nullopt;
    }
    const std::optional<QRectF> rect = imageRectProvider();
    if (!rect) {
        return std::nullopt;
    }
    const QRectF standardized = rect->normalized();
    const bool finite = std::isfinite(standardized.x()) && std::isfinite(standardized.y()) &&
                        std::isfinite(standardized.width()) && std::isfinite(standardized.height());
    if (!finite || !(standardized.width() > 0) || !(standardized.height() > 0)) {
        return std::nullopt;
    }
    return standardized;
}

bool MarkupEngine::isValidIndex(Index index) const
{
    return index >= 0 && index < m_annotations.size();
}

void MarkupEngine::changed()
{
    call(onChanged);
}

void MarkupEngine::redraw()
{
    call(requestRedraw);
}

void MarkupEngine::setAnnotations(const QList<MarkupAnnotation>& annotations)
{
    m_annotations = annotations;
    if (m_selectedIndex && !isValidIndex(*m_selectedIndex)) {
        setSelectedIndex(std::nullopt);
    }
}

void MarkupEngine::setSelectedIndex(std::optional<Index> index)
{
    if (index && !isValidIndex(*index)) {
        index.reset();
    }
    if (index == m_selectedIndex) {
        return;
    }
    m_selectedIndex = index;
    call(onSelectionChanged);
}

void MarkupEngine::setTextFontSize(double pointSize)
{
    if (std::isfinite(pointSize)) {
        m_textFontSize = pointSize;
    }
}

std::optional<MarkupShape> MarkupEngine::selectedShape() const
{
    if (const auto annotation = selectedAnnotation()) {
        return annotation->shape;
    }
    return std::nullopt;
}

std::optional<MarkupAnnotation> MarkupEngine::selectedAnnotation() const
{
    if (!m_selectedIndex || !isValidIndex(*m_selectedIndex)) {
        return std::nullopt;
    }
    return m_annotations[*m_selectedIndex];
}

void MarkupEngine::captureUndoState()
{
    if (m_hasCapturedUndoState) {
        return;
    }
    m_undoStack.append(m_annotations);
    m_redoStack.clear();
    m_hasCapturedUndoState = true;
    changed();
}

void MarkupEngine::finalizeHistoryCapture()
{
    closeUndoStep();
    changed();
}

void MarkupEngine::appendAnnotation(const MarkupAnnotation& annotation)
{
    m_annotations.append(annotation);
    changed();
}

void MarkupEngine::restoreSnapshot(QList<QList<MarkupAnnotation>>& from,
                                   QList<QList<MarkupAnnotation>>& to)
{
    if (from.isEmpty()) {
        return;
    }
    // A step left open by a change made outside a press (a slider moved from the keyboard) is
    // closed first: otherwise the next change would join the restored state without a snapshot
    // of its own and without emptying the other stack, and could then never be undone.
    if (m_interactionMode == InteractionMode::none()) {
        closeUndoStep();
    }
    to.append(std::exchange(m_annotations, from.takeLast()));
    if (m_selectedIndex && !isValidIndex(*m_selectedIndex)) {
        setSelectedIndex(m_annotations.isEmpty() ? std::nullopt
                                                 : std::optional<Index>(m_annotations.size() - 1));
    }
    changed();
    redraw();
}

void MarkupEngine::undo()
{
    restoreSnapshot(m_undoStack, m_redoStack);
}

void MarkupEngine::redo()
{
    restoreSnapshot(m_redoStack, m_undoStack);
}

void MarkupEngine::clear()
{
    if (m_annotations.isEmpty()) {
        return;
    }
    captureUndoState();
    m_annotations.clear();
    setSelectedIndex(std::nullopt);
    m_interactionMode = InteractionMode::none();
    resetDraft();
    closeUndoStep();
    changed();
    redraw();
}

void MarkupEngine::resetDraft()
{
    m_dragStartPoint.reset();
    m_draftRect.reset();
    m_draftPoints.clear();
    call(commitTextEditor);
}

void MarkupEngine::reset()
{
    call(dismissTextEditor);
    m_annotations.clear();
    m_undoStack.clear();
    m_redoStack.clear();
    setSelectedIndex(std::nullopt);
    m_interactionMode = InteractionMode::none();
    closeUndoStep();
    m_dragStartPoint.reset();
    m_dragStartAnnotation.reset();
    m_draftRect.reset();
    m_draftPoints.clear();
    changed();
    redraw();
}

void MarkupEngine::setTool(MarkupTool tool)
{
    m_tool = tool;
    resetDraft();
    redraw();
}

void MarkupEngine::setStrokeColor(const QColor& color)
{
    if (color.isValid()) {
        m_strokeColor = MarkupToolDefaults::deviceRgbColor(color);
    }
}

void MarkupEngine::setFillColor(const QColor& color)
{
    if (color.isValid()) {
        m_fillColor = MarkupToolDefaults::deviceRgbColor(color);
    }
}

void MarkupEngine::updateSelectedAnnotationStrokeColor(const QColor& color)
{
    if (!color.isValid() || !selectedAnnotation()) {
        return;
    }
    captureUndoState();
    m_annotations[*m_selectedIndex].strokeColor = MarkupToolDefaults::deviceRgbColor(color);
    closeUndoStep();
    changed();
    redraw();
}

void MarkupEngine::updateSelectedArrow(
    EventKind currentEvent, const std::function<void(MarkupAnnotation&, const QRectF&)>& change)
{
    const auto selected = selectedAnnotation();
    const auto img = imageRect();
    if (!selected || !selected->shape.isArrow() || !img) {
        return;
    }
    if (currentEvent == EventKind::leftButtonPress) {
        closeUndoStep();
    }
    captureUndoState();
    change(m_annotations[*m_selectedIndex], *img);
    if (currentEvent == EventKind::leftButtonRelease) {
        closeUndoStep();
        changed();
    }
    redraw();
}

void MarkupEngine::setArrowLineWidth(double width, EventKind currentEvent)
{
    if (!std::isfinite(width)) {
        return;
    }
    m_arrowLineWidth = width;
    updateSelectedArrow(currentEvent, [width](MarkupAnnotation& arrow, const QRectF& img) {
        arrow.normalizedLineWidth = MarkupAnnotation::normalizedLineWidthFor(width, img);
    });
}

void MarkupEngine::setArrowHeadScale(double scale, EventKind currentEvent)
{
    if (!std::isfinite(scale)) {
        return;
    }
    m_arrowHeadScale = scale;
    updateSelectedArrow(currentEvent, [scale](MarkupAnnotation& arrow, const QRectF&) {
        arrow.arrowHeadScale = scale;
    });
}

void MarkupEngine::setArrowHeadWidthScale(double scale, EventKind currentEvent)
{
    if (!std::isfinite(scale)) {
        return;
    }
    m_arrowHeadWidthScale = scale;
    updateSelectedArrow(currentEvent, [scale](MarkupAnnotation& arrow, const QRectF&) {
        arrow.arrowHeadWidthScale = scale;
    });
}

void MarkupEngine::setArrowheadStyle(MarkupArrowheadStyle style, EventKind currentEvent)
{
    m_arrowheadStyle = style;
    updateSelectedArrow(currentEvent, [style](MarkupAnnotation& arrow, const QRectF&) {
        arrow.arrowheadStyle = style;
    });
}

void MarkupEngine::applyToolDefaults(const MarkupToolDefaults& toolDefaults)
{
    const auto assignFinite = [](double& field, double value) {
        if (std::isfinite(value)) {
            field = value;
        }
    };
    m_tool = toolDefaults.tool;
    setStrokeColor(toolDefaults.strokeColor);
    setFillColor(toolDefaults.fillColor);
    assignFinite(m_textFontSize, toolDefaults.textFontSize);
    assignFinite(m_arrowLineWidth, toolDefaults.arrowLineWidth);
    assignFinite(m_arrowHeadScale, toolDefaults.arrowHeadScale);
    assignFinite(m_arrowHeadWidthScale, toolDefaults.arrowHeadWidthScale);
    m_arrowheadStyle = toolDefaults.arrowheadStyle;
}

MarkupToolDefaults MarkupEngine::currentToolDefaults() const
{
    return {m_tool,           m_strokeColor,    m_fillColor,           m_textFontSize,
            m_arrowLineWidth, m_arrowHeadScale, m_arrowHeadWidthScale, m_arrowheadStyle};
}

std::optional<MarkupToolDefaults> MarkupEngine::adoptSelectedAnnotationDefaults()
{
    const auto selected = selectedAnnotation();
    if (!selected) {
        return std::nullopt;
    }
    const auto img = imageRect();
    MarkupToolDefaults adopted = currentToolDefaults();
    // A blur region's colours are always clear; adopting them would make every shape drawn
    // after selecting a blur invisible, so the current colours stay.
    if (selected->shape.kind() != MarkupShape::Kind::blur) {
        adopted.strokeColor = selected->strokeColor;
        adopted.fillColor = selected->fillColor();
    }
    switch (selected->shape.kind()) {
    case MarkupShape::Kind::rectangle:
        adopted.tool = MarkupTool::rectangle;
        break;
    case MarkupShape::Kind::ellipse:
        adopted.tool = MarkupTool::ellipse;
        break;
    case MarkupShape::Kind::blur:
        adopted.tool = MarkupTool::blur;
        break;
    case MarkupShape::Kind::arrow:
    case MarkupShape::Kind::curvedArrow:
        adopted.tool = MarkupTool::arrow;
        adopted.arrowHeadScale = selected->arrowHeadScale;
        adopted.arrowHeadWidthScale = selected->arrowHeadWidthScale;
        adopted.arrowheadStyle = selected->arrowheadStyle;
        if (img) {
            adopted.arrowLineWidth = selected->lineWidth(*img);
        }
        break;
    case MarkupShape::Kind::pen:
        adopted.tool = MarkupTool::pen;
        break;
    case MarkupShape::Kind::text:
        adopted.tool = MarkupTool::text;
        if (img) {
            adopted.textFontSize =
                selected->shape.as<MarkupShape::Text>()->normalizedFontSize * shorterSide(*img);
        }
        break;
    }
    applyToolDefaults(adopted);
    return currentToolDefaults();
}
