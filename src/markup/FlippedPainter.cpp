#include "FlippedPainter.h"

#include <QFontMetricsF>

namespace {

// Text is laid out from its top-left corner, lines separated by the line breaks in the string.
constexpr int textFlags = Qt::AlignLeft | Qt::AlignTop;

// Runs `draw` in y-down coordinates local to `target` (a y-up rectangle): the origin at the
// top-left corner of `target`, y growing downwards, so items come out upright.
template <typename Draw> void drawUpright(QPainter& painter, const QRectF& target, Draw draw)
{
    const QRectF box = target.normalized();
    painter.save();
    painter.translate(box.left(), box.top() + box.height());
    painter.scale(1, -1);
    draw(QRectF(QPointF(0, 0), box.size()));
    painter.restore();
}

// The device's height in device-independent pixels. Images and pixmaps report their height in
// pixels, widgets theirs in device-independent pixels already.
double logicalHeight(const QPaintDevice* device)
{
    const int type = device->devType();
    const bool countsPixels = type == QInternal::Image || type == QInternal::Pixmap;
    return countsPixels ? device->height() / device->devicePixelRatio() : device->height();
}

} // namespace

FlippedPainter::FlippedPainter(QPaintDevice* device) : m_painter(device)
{
    if (!m_painter.isActive()) {
        return;
    }
    m_painter.setTransform(yUpTransform(logicalHeight(device)));
    m_painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                             QPainter::TextAntialiasing);
}

QTransform FlippedPainter::yUpTransform(double height)
{
    return QTransform(1, 0, 0, -1, 0, height);
}

void FlippedPainter::drawImage(QPainter& painter, const QRectF& target, const QImage& image)
{
    drawUpright(painter, target,
                [&](const QRectF& local) { painter.drawImage(local, image, image.rect()); });
}

QSizeF FlippedPainter::textSize(const QPainter& painter, const QString& text, const QFont& font)
{
    return QFontMetricsF(font, painter.device()).size(0, text);
}

void FlippedPainter::drawText(QPainter& painter, const QPointF& origin, const QString& text,
                              const QFont& font, const QColor& color)
{
    const QRectF box(origin, textSize(painter, text, font));
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    drawUpright(painter, box,
                [&](const QRectF& local) { painter.drawText(local, textFlags, text); });
    painter.restore();
}
