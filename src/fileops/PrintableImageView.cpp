#include "PrintableImageView.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <utility>

namespace {

constexpr double pointsPerInch = 72.0;

} // namespace

PrintableImageView::PrintableImageView(QImage image) : m_image(std::move(image)) {}

void PrintableImageView::paint(QPainter& painter, const QRectF& pageRect) const
{
    painter.fillRect(pageRect, Qt::white);
    const QPaintDevice* device = painter.device();
    const double dotsPerInch = device ? device->logicalDpiX() : pointsPerInch;
    const QRectF target =
        imageRect(m_image.size(), pageRect, borderPoints * dotsPerInch / pointsPerInch);
    if (target.isNull())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Never more pixels than the page has dots for them: a 100-megapixel photo would otherwise
    // go to the spooler or PDF whole.
    const QSize dots = painter.deviceTransform().mapRect(target).size().toSize();
    if (m_image.width() > dots.width() && m_image.height() > dots.height() && !dots.isEmpty()) {
        painter.drawImage(target,
                          m_image.scaled(dots, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
        painter.drawImage(target, m_image);
    }
    painter.restore();
}

QRectF PrintableImageView::imageRect(QSizeF imageSize, QRectF pageRect, double inset)
{
    if (!(imageSize.width() > 0 && imageSize.height() > 0))
        return {};
    const QRectF area = pageRect.adjusted(inset, inset, -inset, -inset);
    if (!(area.width() > 0 && area.height() > 0))
        return {};
    const double scale =
        std::min(area.width() / imageSize.width(), area.height() / imageSize.height());
    QRectF placed(QPointF(), imageSize * scale);
    placed.moveCenter(area.center());
    return placed;
}
