#include "ImageCanvasView.h"

#include <QColor>
#include <QCursor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <array>

namespace {

// Edges of a rectangle in y-up view coordinates. QRectF's top() is its smallest y, which lies at
// the bottom of the view here, so these names keep the crop geometry readable.
double minX(const QRectF& r)
{
    return r.left();
}
double maxX(const QRectF& r)
{
    return r.right();
}
double minY(const QRectF& r)
{
    return r.top();
}
double maxY(const QRectF& r)
{
    return r.bottom();
}

QRectF rectFromEdges(double left, double bottom, double right, double top)
{
    return QRectF(QPointF(left, bottom), QPointF(right, top));
}

// The corners in hit-testing and drawing order: the first hit wins on a tiny selection.
constexpr std::array<ImageCanvasView::CropHandle, 4> cropHandlesInOrder = {
    ImageCanvasView::CropHandle::topLeft, ImageCanvasView::CropHandle::topRight,
    ImageCanvasView::CropHandle::bottomLeft, ImageCanvasView::CropHandle::bottomRight};

QPointF cropCorner(const QRectF& r, ImageCanvasView::CropHandle handle)
{
    switch (handle) {
    case ImageCanvasView::CropHandle::topLeft:
        return {minX(r), maxY(r)};
    case ImageCanvasView::CropHandle::topRight:
        return {maxX(r), maxY(r)};
    case ImageCanvasView::CropHandle::bottomLeft:
        return {minX(r), minY(r)};
    case ImageCanvasView::CropHandle::bottomRight:
        return {maxX(r), minY(r)};
    }
    return {};
}

// The screen-space diagonal through the corner: with y up, topLeft is the visual top-left, so
// it and bottomRight share the north-west/south-east cursor.
Qt::CursorShape cursorForHandle(ImageCanvasView::CropHandle handle)
{
    switch (handle) {
    case ImageCanvasView::CropHandle::topLeft:
    case ImageCanvasView::CropHandle::bottomRight:
        return Qt::SizeFDiagCursor;
    case ImageCanvasView::CropHandle::topRight:
    case ImageCanvasView::CropHandle::bottomLeft:
        return Qt::SizeBDiagCursor;
    }
    return Qt::ArrowCursor;
}

// A selection smaller than this on either side counts as none.
constexpr double minimumVisibleCropSide = 2;

bool isUsableCropRect(const QRectF& r)
{
    return r.width() >= minimumVisibleCropSide && r.height() >= minimumVisibleCropSide;
}

const QColor cropAccentColor(0, 122, 255);
constexpr double cropDimAlpha = 0.45;
constexpr double cropSelectionLineWidth = 2;
constexpr double cropHandleSide = 10;
constexpr double cropHandleCornerRadius = 2;

} // namespace

void ImageCanvasView::setCropModeEnabled(bool enabled)
{
    if (enabled == m_isCropModeEnabled) {
        return;
    }
    m_isCropModeEnabled = enabled;
    updateAnimationSuspension();
    if (!enabled) {
        m_cropInteractionMode = {};
        m_cropSelectionRect.reset();
        m_cropDragStartPoint.reset();
        setCursor(Qt::ArrowCursor);
        if (onCropSelectionChanged) {
            onCropSelectionChanged(false);
        }
        update();
        return;
    }
    if (!hasImage() || m_imageSize.isEmpty()) {
        if (onCropSelectionChanged) {
            onCropSelectionChanged(false);
        }
        update();
        return;
    }
    // Zoom and pan stay disabled while cropping, so the selection's view coordinates keep
    // matching the image.
    setZoomReported(1.0);
    m_contentOffset = QPointF(0, 0);
    reportViewStateChanged();
    applyCropSelection(std::nullopt);
    if (isVisible()) {
        updateCropCursor(toView(mapFromGlobal(QCursor::pos())));
    }
    update();
}

void ImageCanvasView::applyCropSelection(std::optional<QRectF> normalizedRect)
{
    const std::optional<QRectF> imageRect =
        hasImage() && !m_imageSize.isEmpty() ? currentImageRect() : std::nullopt;
    if (!imageRect || imageRect->isEmpty()) {
        m_cropSelectionRect.reset();
        if (onCropSelectionChanged) {
            onCropSelectionChanged(false);
        }
        update();
        return;
    }
    const QRectF& r = *imageRect;
    std::optional<QRectF> selection;
    if (normalizedRect) {
        const double x = std::clamp(normalizedRect->x(), 0.0, 1.0);
        const double y = std::clamp(normalizedRect->y(), 0.0, 1.0);
        const double width = std::clamp(normalizedRect->width(), 0.0, 1.0);
        const double height = std::clamp(normalizedRect->height(), 0.0, 1.0);
        const QRectF mapped(minX(r) + x * r.width(), minY(r) + y * r.height(), width * r.width(),
                            height * r.height());
        const QRectF visible = mapped.intersected(r);
        if (isUsableCropRect(visible)) {
            selection = visible;
        }
    }
    m_cropSelectionRect = selection.value_or(defaultCropSelection(r));
    if (onCropSelectionChanged) {
        onCropSelectionChanged(currentCropRectNormalized().has_value());
    }
    update();
}

void ImageCanvasView::keepCropSelectionOnImage(QSizeF oldBounds)
{
    if (!m_isCropModeEnabled || !m_cropSelectionRect || !hasImage() || oldBounds.isEmpty()) {
        return;
    }
    const QRectF before = drawRect(oldBounds, m_zoomFactor, m_contentOffset, m_imageSize);
    if (before.isEmpty()) {
        return;
    }
    const QRectF& selection = *m_cropSelectionRect;
    applyCropSelection(QRectF((minX(selection) - minX(before)) / before.width(),
                              (minY(selection) - minY(before)) / before.height(),
                              selection.width() / before.width(),
                              selection.height() / before.height()));
}

std::optional<QRectF> ImageCanvasView::currentCropRectNormalized() const
{
    if (!hasImage() || !m_cropSelectionRect || m_imageSize.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<QRectF> imageRect = currentImageRect();
    if (!imageRect || imageRect->isEmpty()) {
        return std::nullopt;
    }
    const QRectF& r = *imageRect;
    const QRectF visible = m_cropSelectionRect->intersected(r);
    if (!isUsableCropRect(visible)) {
        return std::nullopt;
    }
    return QRectF(std::clamp((minX(visible) - minX(r)) / r.width(), 0.0, 1.0),
                  std::clamp((minY(visible) - minY(r)) / r.height(), 0.0, 1.0),
                  std::clamp(visible.width() / r.width(), 0.0, 1.0),
                  std::clamp(visible.height() / r.height(), 0.0, 1.0));
}

std::optional<ImageCanvasView::CropHandle>
ImageCanvasView::cropHandle(QPointF point, const QRectF& selection) const
{
    const QSizeF hitSize(2 * cropHandleHitRadius, 2 * cropHandleHitRadius);
    for (const CropHandle handle : cropHandlesInOrder) {
        const QPointF corner = cropCorner(selection, handle);
        const QRectF hitArea(corner - QPointF(cropHandleHitRadius, cropHandleHitRadius), hitSize);
        if (hitArea.contains(point)) {
            return handle;
        }
    }
    return std::nullopt;
}

void ImageCanvasView::handleCropMouseDown(QPointF point)
{
    if (!hasImage() || m_imageSize.isEmpty()) {
        return;
    }
    const std::optional<QRectF> imageRect = currentImageRect();
    if (!imageRect) {
        return;
    }
    if (!m_cropSelectionRect) {
        m_cropSelectionRect = defaultCropSelection(*imageRect);
    }
    if (const std::optional<CropHandle> handle = cropHandle(point, *m_cropSelectionRect)) {
        m_cropInteractionMode = {CropInteractionMode::Kind::resize, *handle};
    } else if (m_cropSelectionRect->contains(point)) {
        m_cropInteractionMode = {CropInteractionMode::Kind::move};
    } else {
        m_cropInteractionMode = {};
        updateCropCursor(point);
        return;
    }
    m_cropDragStartPoint = point;
    m_cropDragStartRect = *m_cropSelectionRect;
    updateCropCursor(point);
    update();
}

void ImageCanvasView::handleCropMouseDragged(QPointF point)
{
    if (!m_cropDragStartPoint || !hasImage() || m_imageSize.isEmpty() ||
        m_cropInteractionMode.kind == CropInteractionMode::Kind::none) {
        return;
    }
    const std::optional<QRectF> imageRect = currentImageRect();
    if (!imageRect) {
        return;
    }
    const QRectF& r = *imageRect;
    const QRectF& s = m_cropDragStartRect;
    const QPointF d = point - *m_cropDragStartPoint;

    // Moving edges are clamped to the image first and then kept cropMinSize away from the fixed
    // edges, so the minimum size wins over the image edge.
    const auto movedMinX = [&] {
        return std::max(minX(r), std::min(maxX(s) - cropMinSize, minX(s) + d.x()));
    };
    const auto movedMaxX = [&] {
        return std::max(minX(s) + cropMinSize, std::min(maxX(r), maxX(s) + d.x()));
    };
    const auto movedMinY = [&] {
        return std::max(minY(r), std::min(maxY(s) - cropMinSize, minY(s) + d.y()));
    };
    const auto movedMaxY = [&] {
        return std::max(minY(s) + cropMinSize, std::min(maxY(r), maxY(s) + d.y()));
    };

    QRectF selection;
    if (m_cropInteractionMode.kind == CropInteractionMode::Kind::move) {
        const double x = std::max(minX(r), std::min(maxX(r) - s.width(), minX(s) + d.x()));
        const double y = std::max(minY(r), std::min(maxY(r) - s.height(), minY(s) + d.y()));
        selection = QRectF(QPointF(x, y), s.size());
    } else {
        switch (m_cropInteractionMode.handle) {
        case CropHandle::topLeft:
            selection = rectFromEdges(movedMinX(), minY(s), maxX(s), movedMaxY());
            break;
        case CropHandle::topRight:
            selection = rectFromEdges(minX(s), minY(s), movedMaxX(), movedMaxY());
            break;
        case CropHandle::bottomLeft:
            selection = rectFromEdges(movedMinX(), movedMinY(), maxX(s), maxY(s));
            break;
        case CropHandle::bottomRight:
            selection = rectFromEdges(minX(s), movedMinY(), movedMaxX(), maxY(s));
            break;
        }
    }
    m_cropSelectionRect = selection;
    if (onCropSelectionChanged) {
        onCropSelectionChanged(currentCropRectNormalized().has_value());
    }
    updateCropCursor(point);
    update();
}

void ImageCanvasView::handleCropMouseUp(QPointF point)
{
    m_cropInteractionMode = {};
    m_cropDragStartPoint.reset();
    updateCropCursor(point);
    if (onCropSelectionChanged) {
        onCropSelectionChanged(currentCropRectNormalized().has_value());
    }
    update();
}

void ImageCanvasView::updateCropCursor(QPointF point)
{
    if (!m_isCropModeEnabled) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    switch (m_cropInteractionMode.kind) {
    case CropInteractionMode::Kind::move:
        setCursor(Qt::ClosedHandCursor);
        return;
    case CropInteractionMode::Kind::resize:
        setCursor(cursorForHandle(m_cropInteractionMode.handle));
        return;
    case CropInteractionMode::Kind::none:
        break;
    }
    if (!m_cropSelectionRect) {
        setCursor(Qt::ArrowCursor);
    } else if (const std::optional<CropHandle> handle = cropHandle(point, *m_cropSelectionRect)) {
        setCursor(cursorForHandle(*handle));
    } else if (m_cropSelectionRect->contains(point)) {
        setCursor(Qt::OpenHandCursor);
    } else {
        setCursor(Qt::ArrowCursor);
    }
}

QRectF ImageCanvasView::defaultCropSelection(const QRectF& imageRect) const
{
    const double inset =
        std::clamp((std::min(imageRect.width(), imageRect.height()) - cropMinSize) * 0.5, 0.0,
                   cropInitialInset);
    const QRectF candidate = imageRect.adjusted(inset, inset, -inset, -inset);
    if (candidate.width() >= cropMinSize && candidate.height() >= cropMinSize) {
        return candidate;
    }
    return imageRect;
}

void ImageCanvasView::resetCropInteraction()
{
    m_cropInteractionMode = {};
    m_cropDragStartPoint.reset();
    m_cropDragStartRect = QRectF();
}

void ImageCanvasView::drawCropOverlay(QPainter& painter, const QRectF& imageRect) const
{
    const QRectF visible =
        m_cropSelectionRect ? m_cropSelectionRect->intersected(imageRect) : QRectF();
    const QRectF bounds(rect());

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor dim(Qt::black);
    dim.setAlphaF(cropDimAlpha);
    QPainterPath dimmed;
    dimmed.setFillRule(Qt::OddEvenFill);
    dimmed.addRect(bounds);
    if (!visible.isEmpty()) {
        dimmed.addRect(visible);
    }
    painter.fillPath(dimmed, dim);

    if (visible.isEmpty()) {
        QColor frame(Qt::white);
        frame.setAlphaF(0.25);
        painter.setPen(QPen(frame, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(imageRect.adjusted(1, 1, -1, -1));
    } else {
        painter.setPen(QPen(cropAccentColor, cropSelectionLineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(visible);
        drawCropHandles(painter, visible);
    }
    painter.restore();
}

void ImageCanvasView::drawCropHandles(QPainter& painter, const QRectF& selectedRect) const
{
    painter.save();
    painter.setPen(QPen(cropAccentColor, 1));
    painter.setBrush(Qt::white);
    const QSizeF size(cropHandleSide, cropHandleSide);
    for (const CropHandle handle : cropHandlesInOrder) {
        const QPointF corner = cropCorner(selectedRect, handle);
        const QRectF square(corner - QPointF(cropHandleSide / 2, cropHandleSide / 2), size);
        painter.drawRoundedRect(square, cropHandleCornerRadius, cropHandleCornerRadius);
    }
    painter.restore();
}
