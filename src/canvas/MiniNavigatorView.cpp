#include "MiniNavigatorView.h"

#include "FlippedPainter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

// The miniature keeps at most this many device pixels per view point, so it stays sharp
// without being a large bitmap.
constexpr double miniatureOversampling = 2;
// A large image is first sampled down to this multiple of the miniature's size, cheaply, so
// that the smooth reduction that follows reads few pixels yet averages enough of them.
constexpr int coarseOversampling = 4;

const QColor missingImageFill = QColor::fromRgbF(0.15f, 0.15f, 0.15f, 0.92f);
const QColor viewportFill = QColor::fromRgbF(1, 1, 1, 0.2f);
const QColor viewportStroke(0, 122, 255);

} // namespace

MiniNavigatorView::MiniNavigatorView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
}

void MiniNavigatorView::setImage(const QImage& image)
{
    if (image.isNull()) {
        m_miniature = QImage();
        m_sourceKey = 0;
        update();
        return;
    }
    if (image.cacheKey() == m_sourceKey && !m_miniature.isNull()) {
        return;
    }
    m_sourceKey = image.cacheKey();
    const QSize viewSize = size().expandedTo(preferredSize);
    const QSize bound = (QSizeF(viewSize) * miniatureOversampling * devicePixelRatioF()).toSize();
    if (image.width() <= bound.width() && image.height() <= bound.height()) {
        m_miniature = image;
    } else {
        const QSize coarse = bound * coarseOversampling;
        const QImage sampled =
            image.width() > coarse.width() || image.height() > coarse.height()
                ? image.scaled(coarse, Qt::KeepAspectRatio, Qt::FastTransformation)
                : image;
        m_miniature = sampled.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    update();
}

void MiniNavigatorView::setState(std::optional<ImageCanvasView::NavigatorState> state)
{
    m_state = state;
    update();
}

std::optional<QRectF> MiniNavigatorView::imageRect(double aspectRatio, const QRectF& rect)
{
    if (!(rect.width() > 0) || !(rect.height() > 0)) {
        return std::nullopt;
    }
    if (aspectRatio >= 1) {
        const double height = rect.width() / std::max(aspectRatio, 0.0001);
        return QRectF(rect.left(), rect.center().y() - height / 2, rect.width(), height);
    }
    const double width = rect.height() * aspectRatio;
    return QRectF(rect.center().x() - width / 2, rect.top(), width, rect.height());
}

std::optional<QRectF> MiniNavigatorView::miniatureRect() const
{
    if (!m_state) {
        return std::nullopt;
    }
    // The view's bounds in y-up points, inset by one point on each side.
    const QRectF inset = QRectF(QPointF(0, 0), QSizeF(size())).adjusted(1, 1, -1, -1);
    return imageRect(m_state->imageAspectRatio, inset);
}

std::optional<QPointF> MiniNavigatorView::normalizedPoint(QPointF widgetPosition) const
{
    const std::optional<QRectF> miniature = miniatureRect();
    if (!miniature || !(miniature->width() > 0) || !(miniature->height() > 0)) {
        return std::nullopt;
    }
    const QPointF point = FlippedPainter::yUpTransform(height()).map(widgetPosition);
    const double x = std::clamp(point.x(), miniature->left(), miniature->right());
    const double y = std::clamp(point.y(), miniature->top(), miniature->bottom());
    return QPointF((x - miniature->left()) / miniature->width(),
                   (y - miniature->top()) / miniature->height());
}

bool MiniNavigatorView::shouldShow(const std::optional<ImageCanvasView::NavigatorState>& state,
                                   bool isViewMode, bool showSetting)
{
    if (!isViewMode || !showSetting || !state) {
        return false;
    }
    const QRectF& visible = state->visibleRectNormalized;
    return visible.width() < wholeImageFraction || visible.height() < wholeImageFraction;
}

QSize MiniNavigatorView::sizeHint() const
{
    return preferredSize;
}

void MiniNavigatorView::paintEvent(QPaintEvent*)
{
    // No background is painted: the view is clear wherever the miniature is not.
    const std::optional<QRectF> miniature = miniatureRect();
    if (!miniature || miniature->isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.setTransform(FlippedPainter::yUpTransform(height()));

    QPainterPath rounded;
    rounded.addRoundedRect(*miniature, miniatureCornerRadius, miniatureCornerRadius);
    painter.save();
    painter.setClipPath(rounded);
    if (m_miniature.isNull()) {
        painter.fillPath(rounded, missingImageFill);
    } else {
        FlippedPainter::drawImage(painter, *miniature, m_miniature);
    }
    painter.restore();

    const QRectF& v = m_state->visibleRectNormalized;
    const QRectF viewport(miniature->left() + v.x() * miniature->width(),
                          miniature->top() + v.y() * miniature->height(),
                          v.width() * miniature->width(), v.height() * miniature->height());
    QPainterPath viewportPath;
    viewportPath.addRoundedRect(viewport, viewportCornerRadius, viewportCornerRadius);
    painter.fillPath(viewportPath, viewportFill);
    painter.strokePath(viewportPath, QPen(viewportStroke, viewportLineWidth));
}

bool MiniNavigatorView::reportInteraction(const QMouseEvent* event)
{
    const std::optional<QPointF> point = normalizedPoint(event->position());
    if (!point) {
        return false;
    }
    if (onViewportInteraction) {
        onViewportInteraction(*point);
    }
    return true;
}

void MiniNavigatorView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !reportInteraction(event)) {
        QWidget::mousePressEvent(event);
    }
}

void MiniNavigatorView::mouseMoveEvent(QMouseEvent* event)
{
    if (!event->buttons().testFlag(Qt::LeftButton) || !reportInteraction(event)) {
        QWidget::mouseMoveEvent(event);
    }
}
