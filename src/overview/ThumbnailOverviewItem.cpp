#include "ThumbnailOverviewItem.h"

#include "ThumbnailImagePreviewView.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

QFont fileNameFont()
{
    QFont font;
    font.setPixelSize(10);
    font.setWeight(QFont::Medium);
    return font;
}

// Qt 6.4 has no font-feature switch for tabular digits; a fixed-pitch font keeps the badge's
// digits the same width so badges of neighbouring items line up.
QFont badgeFont()
{
    QFont font("monospace");
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(9);
    font.setWeight(QFont::DemiBold);
    return font;
}

void paintBadge(QPainter& painter, const QRectF& square, int row)
{
    constexpr qreal inset = 6;
    constexpr qreal height = 16;
    constexpr qreal textPadding = 5;
    constexpr qreal radius = 6;
    const QString text = QString::number(row + 1);
    const QFont font = badgeFont();
    const qreal width = QFontMetricsF(font).horizontalAdvance(text) + 2 * textPadding;
    const QRectF badge(square.right() - inset - width, square.top() + inset, width, height);
    QPainterPath outline;
    outline.addRoundedRect(badge, radius, radius);
    painter.fillPath(outline, QColor::fromRgbF(0.05f, 0.05f, 0.05f, 0.72f));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, text);
}

// A dark translucent disc with a light rim and a white triangle pointing right, in the lower left
// corner of the visible part of the thumbnail (`imageArea`). Placed on whole device-independent
// pixels, so its edges fall on pixel boundaries at device pixel ratios 1 and 2.
void paintPlayBadge(QPainter& painter, const QRectF& imageArea)
{
    constexpr qreal inset = 6;
    constexpr qreal diameter = 20;
    const QRectF disc(std::round(imageArea.left() + inset),
                      std::round(imageArea.bottom() - inset - diameter), diameter, diameter);
    // A faint light rim keeps the disc visible on dark pictures.
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.55f), 1));
    painter.setBrush(QColor::fromRgbF(0.05f, 0.05f, 0.05f, 0.6f));
    painter.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::NoPen);
    // 8 wide and 10 high, one pixel right of centre: a triangle's visual centre lies left of
    // its bounding box's.
    const QPointF centre = disc.center() + QPointF(1, 0);
    const QPointF triangle[] = {centre + QPointF(-4, -5), centre + QPointF(4, 0),
                                centre + QPointF(-4, 5)};
    painter.setBrush(Qt::white);
    painter.drawPolygon(triangle, 3);
}

void paintSelectionBorder(QPainter& painter, const QRectF& square, bool selected)
{
    const qreal width = selected ? 2 : 1;
    const QColor colour = selected ? QColor(0, 122, 255) : QColor::fromRgbF(1, 1, 1, 0.12f);
    // The stroke lies inside the square, so the half-width inset keeps it whole.
    const QRectF outline = square.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    const qreal radius = ThumbnailImagePreviewView::cornerRadius - width / 2;
    painter.setPen(QPen(colour, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(outline, radius, radius);
}

} // namespace

ThumbnailOverviewItem::ThumbnailOverviewItem(QObject* parent) : QStyledItemDelegate(parent) {}

void ThumbnailOverviewItem::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    const QRect cell = option.rect;
    const QRectF square(cell.left(), cell.top(), cell.width(), cell.width());

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    ThumbnailImagePreviewView preview;
    preview.setContentMode(m_contentMode);
    const QImage thumbnail = thumbnailForRow ? thumbnailForRow(index.row()) : QImage();
    preview.setImage(thumbnail);
    preview.paint(*painter, square);
    if (!thumbnail.isNull() && isAnimatedRow && isAnimatedRow(index.row())) {
        // A thumbnail too small to hold the badge has it in the corner of the square instead.
        const QRectF shown =
            ThumbnailImagePreviewView::imageRect(thumbnail.size(), square, m_contentMode)
                .intersected(square);
        constexpr qreal smallestArea = 40;
        const bool fits = shown.width() >= smallestArea && shown.height() >= smallestArea;
        paintPlayBadge(*painter, fits ? shown : square);
    }
    paintBadge(*painter, square, index.row());
    paintSelectionBorder(*painter, square, option.state.testFlag(QStyle::State_Selected));

    const int nameTop = cell.top() + cell.width() + 4;
    const QRect nameRect(cell.left() + 2, nameTop, cell.width() - 4, cell.bottom() + 1 - nameTop);
    painter->setFont(fileNameFont());
    painter->setPen(QColor::fromRgbF(1, 1, 1, 0.55f));
    painter->drawText(nameRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                      elidedFileName(index.data(Qt::DisplayRole).toString(), nameRect.width()));
    painter->restore();
}

QSize ThumbnailOverviewItem::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return m_itemSize;
}

QString ThumbnailOverviewItem::elidedFileName(const QString& name, int width)
{
    return QFontMetrics(fileNameFont()).elidedText(name, Qt::ElideMiddle, width);
}
