#include "ImageCanvasView.h"

#include "FlippedPainter.h"
#include "ImageSequence.h"
#include "WeakCallback.h"

#include <QApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGestureEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QResizeEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The scale never drops below this, so no division by zero reaches the geometry or drawing.
constexpr double minimumScale = 0.0001;
// Zoom and offset changes smaller than this are no change.
constexpr double zoomEpsilon = 0.0001;
// At or below this zoom the image is always centred and cannot be panned.
constexpr double fittedZoomLimit = 1.0001;
// Zoom per unit of scroll delta: trackpad pixels, wheel units.
constexpr double preciseScrollSensitivity = 0.0035;
constexpr double wheelScrollSensitivity = 0.018;
// A wheel notch is reported as an angle delta of 120 (15 degrees in eighths of a degree).
constexpr double angleDeltaPerNotch = 120;
constexpr double wheelUnitsPerNotch = 10;
// Zoom per unit of a magnify gesture's value.
constexpr double magnifySensitivity = 0.35;
// A visible part this close to the whole image counts as the whole image.
constexpr double wholeImageVisible = 0.995;

constexpr double placeholderPixelSize = 16;

bool hasPositiveSize(QSizeF size)
{
    return size.width() > 0 && size.height() > 0;
}

bool hasPositiveSize(const QRectF& rect)
{
    return rect.width() > 0 && rect.height() > 0;
}

} // namespace

ImageCanvasView::ImageCanvasView(QWidget* parent)
    : QWidget(parent), m_markupDefaultsStore(&MarkupToolDefaultsStore::standard())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setAcceptDrops(true);
    grabGesture(Qt::PinchGesture);
    m_pyramid.onLevelsReady = bindWeak(this, [](ImageCanvasView* view) { view->update(); });
    m_animationPlayer.onFrameChanged = bindWeak(
        this, [](ImageCanvasView* view, const QImage& frame) { view->showAnimationFrame(frame); });
    m_animationPlayer.onStateChanged = bindWeak(this, [](ImageCanvasView* view) {
        if (view->onAnimationStateChanged) {
            view->onAnimationStateChanged();
        }
    });
    configureMarkupEngine();
}

ImageCanvasView::~ImageCanvasView() = default;

void ImageCanvasView::setImage(const QImage& image, bool preserveView)
{
    showBitmap(image, image.size(), preserveView);
}

void ImageCanvasView::setPreview(const QImage& preview, QSize fullPixelSize, bool preserveView)
{
    showBitmap(preview, fullPixelSize, preserveView);
}

void ImageCanvasView::showBitmap(const QImage& bitmap, QSizeF size, bool preserveView)
{
    if (bitmap.isNull() || !hasPositiveSize(size)) {
        clearImage();
        return;
    }
    const std::optional<QRectF> carriedCrop =
        m_isCropModeEnabled ? currentCropRectNormalized() : std::nullopt;
    const bool preserves = preserveView && hasImage() && !m_isCropModeEnabled;

    m_animationPlayer.stop();
    m_image = bitmap;
    m_imageSize = size;
    m_pyramid.setImage(bitmap);

    if (preserves) {
        m_contentOffset = clampedOffset(m_contentOffset, m_zoomFactor, m_imageSize);
    } else {
        setZoomReported(1.0);
        m_contentOffset = QPointF();
    }
    m_dragStartPoint.reset();

    resetCropInteraction();
    m_markupEngine.reset();
    if (m_isCropModeEnabled) {
        applyCropSelection(carriedCrop);
    } else {
        m_cropSelectionRect.reset();
        if (onCropSelectionChanged) {
            onCropSelectionChanged(false);
        }
    }
    reportViewStateChanged();
    update();
}

void ImageCanvasView::replacePreview(const QImage& fullImage)
{
    // Only the same picture at another resolution: anything else would be drawn stretched.
    if (fullImage.isNull() || !hasImage() || QSizeF(fullImage.size()) != m_imageSize) {
        return;
    }
    m_image = fullImage;
    m_pyramid.replaceKeepingLevels(fullImage);
    update();
}

void ImageCanvasView::clearImage()
{
    m_animationPlayer.stop();
    m_image = QImage();
    m_imageSize = QSizeF();
    m_pyramid.setImage(QImage());
    setZoomReported(1.0);
    m_contentOffset = QPointF();
    m_dragStartPoint.reset();
    resetCropInteraction();
    m_cropSelectionRect.reset();
    m_markupEngine.reset();
    if (onCropSelectionChanged) {
        onCropSelectionChanged(false);
    }
    reportViewStateChanged();
    update();
}

void ImageCanvasView::resetView()
{
    if (!hasImage()) {
        return;
    }
    setZoomReported(1.0);
    m_contentOffset = QPointF();
    resetCropInteraction();
    m_cropSelectionRect.reset();
    if (onCropSelectionChanged) {
        onCropSelectionChanged(false);
    }
    m_markupEngine.clear();
    reportViewStateChanged();
    update();
}

std::optional<ImageCanvasView::NavigatorState> ImageCanvasView::navigatorState() const
{
    const std::optional<QRectF> rect = currentImageRect();
    if (!rect || !hasPositiveSize(*rect)) {
        return std::nullopt;
    }
    NavigatorState state;
    state.imageAspectRatio = m_imageSize.width() / m_imageSize.height();
    const QRectF visible = QRectF(0, 0, width(), height()).intersected(*rect);
    if (!hasPositiveSize(visible)) {
        state.visibleRectNormalized = QRectF(0, 0, 0, 0);
        return state;
    }
    const auto fraction = [](double value) { return std::clamp(value, 0.0, 1.0); };
    state.visibleRectNormalized = QRectF(fraction((visible.left() - rect->left()) / rect->width()),
                                         fraction((visible.top() - rect->top()) / rect->height()),
                                         fraction(visible.width() / rect->width()),
                                         fraction(visible.height() / rect->height()));
    return state;
}

void ImageCanvasView::recenterVisibleRegion(QPointF normalizedPoint)
{
    const std::optional<NavigatorState> state = navigatorState();
    if (!state) {
        return;
    }
    const double w = state->visibleRectNormalized.width();
    const double h = state->visibleRectNormalized.height();
    if (w >= wholeImageVisible && h >= wholeImageVisible) {
        return;
    }
    // A NaN coordinate would survive std::clamp; it means the centre.
    const auto coordinate = [](double value) { return std::isnan(value) ? 0.5 : value; };
    const double x0 = std::clamp(std::clamp(coordinate(normalizedPoint.x()), 0.0, 1.0) - w * 0.5,
                                 0.0, std::max(1 - w, 0.0));
    const double y0 = std::clamp(std::clamp(coordinate(normalizedPoint.y()), 0.0, 1.0) - h * 0.5,
                                 0.0, std::max(1 - h, 0.0));
    const QRectF r0 = drawRect(m_zoomFactor, QPointF(), m_imageSize);
    if (!hasPositiveSize(r0)) {
        return;
    }
    const QPointF target =
        clampedOffset(QPointF(-x0 * r0.width() - r0.left(), -y0 * r0.height() - r0.top()),
                      m_zoomFactor, m_imageSize);
    if (std::abs(target.x() - m_contentOffset.x()) <= zoomEpsilon &&
        std::abs(target.y() - m_contentOffset.y()) <= zoomEpsilon) {
        return;
    }
    m_contentOffset = target;
    reportViewStateChanged();
    update();
}

QRectF ImageCanvasView::drawRect(double zoom, QPointF offset, QSizeF imageSize) const
{
    return drawRect(QSizeF(size()), zoom, offset, imageSize);
}

QRectF ImageCanvasView::drawRect(QSizeF bounds, double zoom, QPointF offset, QSizeF imageSize)
{
    const double boundsWidth = bounds.width();
    const double boundsHeight = bounds.height();
    if (!hasPositiveSize(imageSize)) {
        return {QPointF(boundsWidth * 0.5, boundsHeight * 0.5) + offset, QSizeF(0, 0)};
    }
    const double fit = std::min(boundsWidth / imageSize.width(), boundsHeight / imageSize.height());
    const double scale = std::max(fit * zoom, minimumScale);
    const double drawnWidth = scale * imageSize.width();
    const double drawnHeight = scale * imageSize.height();
    return {(boundsWidth - drawnWidth) * 0.5 + offset.x(),
            (boundsHeight - drawnHeight) * 0.5 + offset.y(), drawnWidth, drawnHeight};
}

QPointF ImageCanvasView::clampedOffset(QPointF offset, double zoom,
                                       std::optional<QSizeF> imageSize) const
{
    if (!imageSize || !hasPositiveSize(*imageSize) || width() <= 0 || height() <= 0) {
        return {};
    }
    const QRectF rect = drawRect(zoom, QPointF(), *imageSize);
    const double maxX = std::max((rect.width() - width()) * 0.5, 0.0);
    const double maxY = std::max((rect.height() - height()) * 0.5, 0.0);
    // A NaN offset would survive std::clamp; it means centred.
    const auto limited = [](double value, double limit) {
        return std::isnan(value) ? 0.0 : std::clamp(value, -limit, limit);
    };
    return {limited(offset.x(), maxX), limited(offset.y(), maxY)};
}

std::optional<QRectF> ImageCanvasView::currentImageRect() const
{
    if (!hasImage() || !hasPositiveSize(m_imageSize)) {
        return std::nullopt;
    }
    return drawRect(m_zoomFactor, m_contentOffset, m_imageSize);
}

void ImageCanvasView::adjustZoom(double multiplier, std::optional<QPointF> anchorInView)
{
    if (!std::isfinite(multiplier) || multiplier <= 0) {
        return;
    }
    const double oldZoom = m_zoomFactor;
    const double newZoom = std::clamp(oldZoom * multiplier, minimumZoom, maximumZoom);
    if (std::abs(newZoom - oldZoom) < zoomEpsilon) {
        return;
    }
    QPointF offset = m_contentOffset;
    if (newZoom <= fittedZoomLimit) {
        offset = QPointF();
    } else if (hasImage() && hasPositiveSize(m_imageSize) && anchorInView) {
        const QPointF anchor = *anchorInView;
        const QRectF rect = drawRect(oldZoom, m_contentOffset, m_imageSize);
        if (hasPositiveSize(rect) && rect.contains(anchor)) {
            const double u = (anchor.x() - rect.left()) / rect.width();
            const double v = (anchor.y() - rect.top()) / rect.height();
            const QRectF r0 = drawRect(newZoom, QPointF(), m_imageSize);
            offset = QPointF(anchor.x() - r0.left() - u * r0.width(),
                             anchor.y() - r0.top() - v * r0.height());
        }
    }
    m_contentOffset = clampedOffset(offset, newZoom,
                                    hasImage() ? std::optional<QSizeF>(m_imageSize) : std::nullopt);
    setZoomReported(newZoom);
    reportViewStateChanged();
    update();
}

std::optional<QUrl> ImageCanvasView::droppedImageURL(const QMimeData* mimeData)
{
    if (mimeData == nullptr || !mimeData->hasUrls()) {
        return std::nullopt;
    }
    const QList<QUrl> urls = mimeData->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile() || !ImageSequence::isImageFile(url)) {
            continue;
        }
        // A folder named like an image, or a file gone since the drag began, is no image.
        if (QFileInfo(url.toLocalFile()).isFile()) {
            return url;
        }
    }
    return std::nullopt;
}

QPointF ImageCanvasView::toView(QPointF widgetPoint) const
{
    return FlippedPainter::yUpTransform(height()).map(widgetPoint);
}

QRectF ImageCanvasView::toWidget(const QRectF& viewRect) const
{
    return FlippedPainter::yUpTransform(height()).mapRect(viewRect);
}

void ImageCanvasView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    const std::optional<QRectF> imageRect = currentImageRect();
    if (!imageRect) {
        drawPlaceholder(painter);
        return;
    }
    m_pyramid.draw(painter, toWidget(*imageRect), event->rect());
    painter.setTransform(FlippedPainter::yUpTransform(height()));
    painter.setRenderHint(QPainter::Antialiasing);
    m_markupEngine.draw(painter, *imageRect);
    if (m_isCropModeEnabled) {
        drawCropOverlay(painter, *imageRect);
    }
}

void ImageCanvasView::drawPlaceholder(QPainter& painter) const
{
    const QString text = QStringLiteral("Drag image here or press ") +
                         QKeySequence(QKeySequence::Open).toString(QKeySequence::NativeText);
    QFont font = QApplication::font();
    font.setPixelSize(static_cast<int>(placeholderPixelSize));
    font.setWeight(QFont::Medium);
    const QSizeF textSize = QFontMetricsF(font, this).size(Qt::TextSingleLine, text);
    const QRectF box(
        QPointF((width() - textSize.width()) * 0.5, (height() - textSize.height()) * 0.5),
        textSize);
    painter.setFont(font);
    painter.setPen(placeholderColor());
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
}

// The palette's placeholder colour is made for light fields in light themes; on the canvas's
// black it must read as a secondary grey, so a colour too dark to see is replaced by one.
QColor ImageCanvasView::placeholderColor() const
{
    const QColor themed = palette().color(QPalette::PlaceholderText);
    constexpr double minimumBrightness = 0.4;
    if (themed.valueF() * themed.alphaF() >= minimumBrightness) {
        return themed;
    }
    return QColor(255, 255, 255, 140);
}

void ImageCanvasView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !hasImage()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF point = toView(event->position());
    if (m_isCropModeEnabled) {
        handleCropMouseDown(point);
    } else if (m_isMarkupModeEnabled) {
        m_markupEngine.beginInteraction(point, event->modifiers());
    } else {
        m_dragStartPoint = point;
        m_dragStartOffset = m_contentOffset;
    }
    event->accept();
}

// Qt delivers the second press of a double click here instead of to mousePressEvent.
void ImageCanvasView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_isMarkupModeEnabled && !m_isCropModeEnabled && event->button() == Qt::LeftButton &&
        hasImage()) {
        m_markupEngine.handleDoubleClick(toView(event->position()));
        event->accept();
        return;
    }
    mousePressEvent(event);
}

void ImageCanvasView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF point = toView(event->position());
    if (!event->buttons().testFlag(Qt::LeftButton)) {
        if (m_isCropModeEnabled) {
            updateCropCursor(point);
        } else if (m_isMarkupModeEnabled) {
            // The event carries the pointer and the modifiers: no need to ask the windowing
            // system on every move.
            updateMarkupCursorAt(point, event->modifiers());
        } else {
            QWidget::mouseMoveEvent(event);
        }
        return;
    }
    // Should both modes be on, a drag belongs to the markup.
    if (m_isMarkupModeEnabled) {
        m_markupEngine.mouseDragged(point);
        return;
    }
    if (m_isCropModeEnabled) {
        handleCropMouseDragged(point);
        return;
    }
    if (!m_dragStartPoint || !hasImage() || m_zoomFactor <= fittedZoomLimit) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    m_contentOffset =
        clampedOffset(m_dragStartOffset + (point - *m_dragStartPoint), m_zoomFactor, m_imageSize);
    reportViewStateChanged();
    update();
}

void ImageCanvasView::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragStartPoint.reset();
    if (event->button() == Qt::LeftButton) {
        const QPointF point = toView(event->position());
        if (m_isCropModeEnabled) {
            handleCropMouseUp(point);
            return;
        }
        if (m_isMarkupModeEnabled) {
            m_markupEngine.mouseUp(point);
            return;
        }
    }
    QWidget::mouseReleaseEvent(event);
}

void ImageCanvasView::leaveEvent(QEvent* event)
{
    if (m_isCropModeEnabled || m_isMarkupModeEnabled) {
        setCursor(Qt::ArrowCursor);
    }
    QWidget::leaveEvent(event);
}

void ImageCanvasView::wheelEvent(QWheelEvent* event)
{
    if (m_isCropModeEnabled || m_isMarkupModeEnabled) {
        event->accept();
        return;
    }
    if (!hasImage()) {
        QWidget::wheelEvent(event);
        return;
    }
    event->accept();
    const bool isPrecise = !event->pixelDelta().isNull();
    // Units: a trackpad's pixels as reported; a wheel's notch (angle delta 120) counts 10 units,
    // the size of a coarse wheel's line step, so one notch zooms by e^(0.018 x 10), about 20 %,
    // close to one press of the zoom keys, and a notch's fractions on a free-spinning wheel
    // scale in proportion.
    // Qt's deltas are integers, so always finite.
    const double dy = isPrecise ? event->pixelDelta().y()
                                : event->angleDelta().y() / angleDeltaPerNotch * wheelUnitsPerNotch;
    if (std::abs(dy) <= std::numeric_limits<double>::epsilon()) {
        return;
    }
    double sensitivity = isPrecise ? preciseScrollSensitivity : wheelScrollSensitivity;
    if (isSmoothZoomEnabled) {
        sensitivity *= smoothZoomFactor;
    }
    // By default scrolling up (positive dy) zooms out.
    const double signedDelta = isZoomScrollInverted ? dy : -dy;
    adjustZoom(std::exp(sensitivity * signedDelta), toView(event->position()));
}

bool ImageCanvasView::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            if (takesMagnify()) {
                magnify(1 + magnifySensitivity * gesture->value(), toView(gesture->position()));
                return true;
            }
            event->ignore();
        }
    } else if (event->type() == QEvent::Gesture) {
        auto* gestureEvent = static_cast<QGestureEvent*>(event);
        if (auto* pinch = static_cast<QPinchGesture*>(gestureEvent->gesture(Qt::PinchGesture))) {
            const bool takes = takesMagnify();
            // The pinch's scale factor is its change since the previous update, so applying it
            // as the multiplier keeps the image following the fingers.
            if (takes && pinch->changeFlags().testFlag(QPinchGesture::ScaleFactorChanged)) {
                magnify(pinch->scaleFactor(), toView(mapFromGlobal(pinch->centerPoint())));
            }
            gestureEvent->setAccepted(pinch, takes);
            return takes;
        }
    }
    return QWidget::event(event);
}

// A pinch is taken (and ignored) in crop and markup mode, passed on without an image.
bool ImageCanvasView::takesMagnify() const
{
    return m_isCropModeEnabled || m_isMarkupModeEnabled || hasImage();
}

void ImageCanvasView::magnify(double multiplier, QPointF anchor)
{
    if (!m_isCropModeEnabled && !m_isMarkupModeEnabled) {
        adjustZoom(multiplier, anchor);
    }
}

void ImageCanvasView::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedImageURL(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void ImageCanvasView::dragMoveEvent(QDragMoveEvent* event)
{
    if (droppedImageURL(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void ImageCanvasView::dropEvent(QDropEvent* event)
{
    const std::optional<QUrl> url = droppedImageURL(event->mimeData());
    if (!url) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (onImageDropped) {
        onImageDropped(*url);
    }
}

void ImageCanvasView::changeEvent(QEvent* event)
{
    // The placeholder is drawn in the palette's colours.
    if (event->type() == QEvent::PaletteChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void ImageCanvasView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    keepCropSelectionOnImage(QSizeF(event->oldSize()));
}

void ImageCanvasView::playAnimation(const QString& filePath)
{
    if (!hasImage()) {
        return;
    }
    m_animationPlayer.start(filePath, m_image.size());
    updateAnimationSuspension();
}

void ImageCanvasView::showAnimationFrame(const QImage& frame)
{
    // A null frame is frame 0: the image itself. A frame large enough for reduced levels is
    // painted when they are ready, the previous frame staying until then. When frames come
    // faster than their levels, each is drawn through the cheap path instead, so the picture
    // keeps moving.
    const QImage& shown = frame.isNull() ? m_image : frame;
    if (!m_pyramid.isComplete()) {
        m_pyramid.setImage(shown);
        update();
        return;
    }
    m_pyramid.replaceKeepingLevels(shown);
    if (m_pyramid.isComplete()) {
        update();
    }
}

void ImageCanvasView::updateAnimationSuspension()
{
    m_animationPlayer.setSuspended(m_isCropModeEnabled || m_isMarkupModeEnabled || !isVisible());
}

void ImageCanvasView::showEvent(QShowEvent* event)
{
    m_modifierFlagsMonitor.install(
        bindWeak(this, [](ImageCanvasView* view) { view->handleModifierFlagsChanged(); }));
    QWidget::showEvent(event);
    updateAnimationSuspension();
}

void ImageCanvasView::hideEvent(QHideEvent* event)
{
    m_modifierFlagsMonitor.remove();
    QWidget::hideEvent(event);
    updateAnimationSuspension();
}

void ImageCanvasView::setZoomReported(double zoom)
{
    m_zoomFactor = zoom;
    if (onZoomChanged) {
        onZoomChanged(zoom * 100);
    }
}

void ImageCanvasView::reportViewStateChanged()
{
    if (onViewStateChanged) {
        onViewStateChanged();
    }
}

// The pointer stands still while a modifier changes: the markup cursor may have to change
// (for a modifier-constrained action), as long as the pointer is over this canvas.
void ImageCanvasView::handleModifierFlagsChanged()
{
    if (!m_isMarkupModeEnabled || !isVisible() || !window()->isActiveWindow()) {
        return;
    }
    if (rect().contains(mapFromGlobal(QCursor::pos()))) {
        updateMarkupCursor();
    }
}
