// What the engine paints over the image in markup mode, and which pointer cursor it asks for.
// Everything here is in the view's y-up coordinates, in points.

#include "FlippedPainter.h"
#include "MarkupAnnotationRenderer.h"
#include "MarkupArrowRenderer.h"
#include "MarkupBlurRenderer.h"
#include "MarkupEngine.h"
#include "MarkupGeometry.h"

#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <algorithm>

namespace {

// The accent colours of handles: the red new annotations start with, and a fixed blue.
QColor systemRed()
{
    return MarkupToolDefaults::defaultStrokeColor();
}

QColor systemBlue()
{
    return QColor(0, 122, 255);
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

// A dashed pen with dashes and gaps measured in points (QPen counts them in line widths).
// Flat caps keep each dash exactly as long as asked.
QPen dashedPen(const QColor& color, double lineWidth, double dash, double gap)
{
    QPen pen(color, lineWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setDashPattern({dash / lineWidth, gap / lineWidth});
    pen.setDashOffset(0);
    return pen;
}

// The shape being drawn and the selection outline are dashed 8 on, 4 off.
constexpr double draftLineWidth = 2.5;
constexpr double draftDash = 8;
constexpr double draftGap = 4;
// A rubber band's fill is never more opaque than this, so the image stays visible under it.
constexpr double maximumDraftFillAlpha = 0.35;
// A fill this transparent or more is not painted. QColor keeps alpha in 16 bits, so the
// comparison is made in those steps (a fill set to exactly the limit stays unpainted).
constexpr double minimumFillAlpha = 0.001;
constexpr int minimumFillAlpha16 = int(minimumFillAlpha * 65535 + 0.5);
constexpr double blurDraftOutlineAlpha = 0.85;
constexpr double penDraftLineWidth = 3;

constexpr double outlineAlpha = 0.95;
constexpr double outlineLineWidth = 1.5;
constexpr double outlineDash = 6;
constexpr double outlineGap = 4;
// How far the outline lies outside the selection rectangle: pens get more room because their
// rectangle is the bare box of their points, which the stroke covers.
constexpr double outlineMargin = 4;
constexpr double penOutlineMargin = 6;

// Drawn handles are smaller than their hit squares (20 points).
constexpr double pointHandleDiameter = 12;
constexpr double pointHandleLineWidth = 1.5;
constexpr double cornerHandleDiameter = 10;
constexpr double cornerHandleLineWidth = 1;

// The shown image, asked for only when a blur needs it and then once per draw.
class FallbackImage
{
public:
    explicit FallbackImage(const std::function<QImage()>& provider) : m_provider(provider) {}

    const QImage& get()
    {
        if (!m_image) {
            m_image = m_provider ? m_provider() : QImage();
        }
        return *m_image;
    }

private:
    const std::function<QImage()>& m_provider;
    std::optional<QImage> m_image;
};

void drawCircle(QPainter& painter, const QPointF& center, double diameter, const QColor& fill,
                const QColor& stroke, double lineWidth)
{
    painter.setPen(QPen(stroke, lineWidth));
    painter.setBrush(fill);
    painter.drawEllipse(center, diameter / 2, diameter / 2);
}

QRectF grown(const QRectF& rect, double margin)
{
    return rect.adjusted(-margin, -margin, margin, margin);
}

void drawRubberBand(QPainter& painter, const MarkupEngine& engine, const QRectF& rect,
                    bool isEllipse, const QColor& liveColor)
{
    QPainterPath path;
    if (isEllipse) {
        path.addEllipse(rect);
    } else {
        path.addRect(rect);
    }
    const QColor fill = engine.fillColor();
    if (fill.rgba64().alpha() > minimumFillAlpha16) {
        painter.fillPath(path,
                         withAlpha(fill, std::min(double(fill.alphaF()), maximumDraftFillAlpha)));
    }
    painter.strokePath(path, dashedPen(liveColor, draftLineWidth, draftDash, draftGap));
}

void drawBlurDraft(QPainter& painter, const QRectF& rect, const QRectF& imageRect,
                   FallbackImage& fallback)
{
    MarkupBlurRenderer::drawBlurredPaintedRegion(
        painter, imageRect, MarkupGeometry::normalizedRect(rect, imageRect), rect, fallback.get());
    QPainterPath path;
    path.addRect(rect);
    painter.strokePath(path, dashedPen(withAlpha(Qt::white, blurDraftOutlineAlpha), draftLineWidth,
                                       draftDash, draftGap));
}

void drawDraft(QPainter& painter, const MarkupEngine& engine, const QRectF& imageRect,
               FallbackImage& fallback)
{
    const QColor liveColor = MarkupAnnotationRenderer::effectiveStrokeColor(
        engine.strokeColor(), MarkupEngine::liveStrokeAlpha);
    const std::optional<QRectF> draftRect = engine.draftRect();
    const bool hasRect = draftRect && draftRect->width() > 0 && draftRect->height() > 0;
    const QList<QPointF>& points = engine.draftPoints();

    switch (engine.tool().value()) {
    case MarkupTool::rectangle:
    case MarkupTool::ellipse:
        if (hasRect) {
            drawRubberBand(painter, engine, *draftRect, engine.tool() == MarkupTool::ellipse,
                           liveColor);
        }
        break;
    case MarkupTool::blur:
        if (hasRect) {
            drawBlurDraft(painter, *draftRect, imageRect, fallback);
        }
        break;
    case MarkupTool::arrow:
        if (points.size() >= 2) {
            MarkupArrowRenderer::draw(painter, points[0], points[1], {}, engine.arrowLineWidth(),
                                      engine.arrowHeadScale(), engine.arrowHeadWidthScale(),
                                      engine.arrowheadStyle(), liveColor, true);
        }
        break;
    case MarkupTool::pen:
        if (points.size() >= 2) {
            QPainterPath path(points.front());
            for (qsizetype i = 1; i < points.size(); ++i) {
                path.lineTo(points[i]);
            }
            painter.strokePath(path, QPen(liveColor, penDraftLineWidth, Qt::SolidLine, Qt::RoundCap,
                                          Qt::RoundJoin));
        }
        break;
    case MarkupTool::text:
        break;
    }
}

void drawArrowHandles(QPainter& painter, const MarkupShape& shape, const QRectF& imageRect)
{
    const auto [start, end] = *shape.lineEndpoints();
    for (const QPointF& point : {start, end}) {
        drawCircle(painter, MarkupGeometry::denormalizedPoint(point, imageRect),
                   pointHandleDiameter, Qt::white, systemRed(), pointHandleLineWidth);
    }
    const QList<QPointF> anchors = shape.arrowAnchors();
    for (const QPointF& anchor : anchors) {
        drawCircle(painter, MarkupGeometry::denormalizedPoint(anchor, imageRect),
                   pointHandleDiameter, systemBlue(), Qt::white, pointHandleLineWidth);
    }
}

void drawSelection(QPainter& painter, const MarkupEngine& engine, const QRectF& imageRect)
{
    const std::optional<MarkupEngine::Index> selected = engine.selectedIndex();
    const std::optional<MarkupAnnotation> annotation = engine.selectedAnnotation();
    if (!annotation || selected == engine.editingAnnotationIndex()) {
        return;
    }
    const MarkupShape::Kind kind = annotation->shape.kind();
    if (annotation->shape.isArrow()) {
        drawArrowHandles(painter, annotation->shape, imageRect);
        return;
    }

    const QRectF rect = engine.selectionRect(*annotation, imageRect);
    if (!(rect.width() > 0) && !(rect.height() > 0)) {
        return;
    }
    QPainterPath outline;
    if (kind == MarkupShape::Kind::ellipse) {
        outline.addEllipse(grown(rect, outlineMargin));
    } else {
        const double margin = kind == MarkupShape::Kind::pen ? penOutlineMargin : outlineMargin;
        outline.addRect(grown(rect, margin));
    }
    painter.strokePath(outline, dashedPen(withAlpha(Qt::white, outlineAlpha), outlineLineWidth,
                                          outlineDash, outlineGap));

    if (annotation->isResizable()) {
        for (const MarkupHandle handle : MarkupHandle::allCases()) {
            drawCircle(painter, handle.point(rect), cornerHandleDiameter, Qt::white, systemBlue(),
                       cornerHandleLineWidth);
        }
    }
}

QCursor makeAddAnchorCursor()
{
    constexpr int side = 22;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    {
        FlippedPainter flipped(&pixmap);
        QPainter& painter = flipped.painter();

        painter.setPen(QPen(withAlpha(Qt::black, 0.85), 1.2));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(2.5, 2.5, 13, 13));

        painter.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(9, 5.5), QPointF(9, 12.5));
        painter.drawLine(QPointF(5.5, 9), QPointF(12.5, 9));

        QPainterPath arrow(QPointF(14, 14));
        arrow.lineTo(20, 20);
        arrow.moveTo(17, 14);
        arrow.lineTo(20, 20);
        arrow.lineTo(14, 17);
        painter.strokePath(arrow, QPen(Qt::white, 3.6, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.strokePath(arrow, QPen(Qt::black, 1.8, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    }
    // The hot spot sits on the plus, at (9, 9) from the bottom-left corner; QCursor counts from
    // the top-left one.
    const QPoint hotSpot(9, side - 9);
    return QCursor(pixmap, hotSpot.x(), hotSpot.y());
}

} // namespace

QCursor MarkupEngine::markupAddAnchor()
{
    static const QCursor cursor = makeAddAnchorCursor();
    return cursor;
}

void MarkupEngine::draw(QPainter& painter, const QRectF& imageRect) const
{
    if (m_annotations.isEmpty() && !m_draftRect && m_draftPoints.isEmpty()) {
        return;
    }
    if (!painter.isActive()) {
        return;
    }
    FallbackImage fallback(imageProvider);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(imageRect, Qt::IntersectClip);
    for (Index i = 0; i < m_annotations.size(); ++i) {
        if (i == m_editingAnnotationIndex) {
            continue;
        }
        const MarkupAnnotation& annotation = m_annotations[i];
        const bool isBlur = annotation.shape.kind() == MarkupShape::Kind::blur;
        MarkupAnnotationRenderer::draw(painter, annotation, imageRect,
                                       isBlur ? fallback.get() : QImage(), liveStrokeAlpha);
    }
    drawDraft(painter, *this, imageRect, fallback);
    drawSelection(painter, *this, imageRect);
    painter.restore();
}

QCursor MarkupEngine::cursor(std::optional<QPointF> point, Qt::KeyboardModifiers modifiers) const
{
    if (!point) {
        return Qt::ArrowCursor;
    }
    switch (m_interactionMode.kind()) {
    case InteractionMode::Kind::move:
        return Qt::ClosedHandCursor;
    case InteractionMode::Kind::resize:
        return m_interactionMode.handle()->resizeCursor();
    case InteractionMode::Kind::resizeLine:
    case InteractionMode::Kind::resizeArrowAnchor:
    case InteractionMode::Kind::drawing:
        return Qt::CrossCursor;
    case InteractionMode::Kind::none:
        break;
    }

    if (const std::optional<QRectF> img = imageRect()) {
        if (const std::optional<MarkupAnnotation> selected = selectedAnnotation()) {
            if (lineEndpointHandle(*point, *selected, *img) ||
                arrowAnchorHandle(*point, *selected, *img)) {
                return Qt::CrossCursor;
            }
            if (const std::optional<MarkupHandle> handle = resizeHandle(*point, *selected, *img)) {
                return handle->resizeCursor();
            }
        }
        if (modifiers.testFlag(Qt::AltModifier) && arrowIndexForCurveEdit(*point, *img)) {
            return markupAddAnchor();
        }
        if (annotationIndex(*point, *img)) {
            return Qt::OpenHandCursor;
        }
    }
    return m_tool == MarkupTool::text ? Qt::IBeamCursor : Qt::CrossCursor;
}

void MarkupEngine::updateCursor(std::optional<QPointF> point) const
{
    if (requestCursor) {
        requestCursor(cursor(point, Qt::NoModifier));
    }
}
