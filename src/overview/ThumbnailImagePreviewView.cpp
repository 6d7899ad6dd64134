#include "ThumbnailImagePreviewView.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

void ThumbnailImagePreviewView::paint(QPainter& painter, const QRectF& square) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(square, cornerRadius, cornerRadius);
    painter.setClipPath(outline, Qt::IntersectClip);
    painter.fillPath(outline, QColor::fromRgbF(0.14f, 0.14f, 0.14f, 0.95f));
    const QRectF target = imageRect(m_image.size(), square, m_contentMode);
    if (!m_image.isNull() && !target.isEmpty()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_image);
    }
    painter.restore();
}

QRectF ThumbnailImagePreviewView::imageRect(const QSizeF& imageSize, const QRectF& square,
                                            ThumbnailContentMode mode)
{
    if (imageSize.isEmpty() || square.isEmpty()) {
        return {};
    }
    const qreal widthScale = square.width() / imageSize.width();
    const qreal heightScale = square.height() / imageSize.height();
    const qreal scale = mode == ThumbnailContentMode::fit ? std::min(widthScale, heightScale)
                                                          : std::max(widthScale, heightScale);
    const QSizeF size = imageSize * scale;
    return {square.center().x() - size.width() / 2, square.center().y() - size.height() / 2,
            size.width(), size.height()};
}
