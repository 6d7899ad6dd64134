#pragma once

#include "ThumbnailContentMode.h"

#include <QImage>
#include <QSize>
#include <QStyledItemDelegate>
#include <functional>

// Paints one cell of the thumbnail grid: the rounded square preview with the index badge in its
// upper right corner, a play badge in the lower left corner of the image of an animated file,
// the selection border around it, and the file name below.
//
// Layout of a cell of width w (device-independent pixels): the square is w x w at the top; the
// name occupies the rest, inset 2 on both sides and starting 4 below the square.
class ThumbnailOverviewItem : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Height of the name strip below the square.
    static constexpr int nameStripHeight = 30;

    explicit ThumbnailOverviewItem(QObject* parent = nullptr);

    // The thumbnail of a row, null while there is none. Bound by the grid.
    std::function<QImage(int row)> thumbnailForRow;
    // Whether the row's file is animated: its thumbnail (frame 0) then carries a play badge.
    std::function<bool(int row)> isAnimatedRow;

    void setItemSize(const QSize& size) { m_itemSize = size; }
    void setContentMode(ThumbnailContentMode mode) { m_contentMode = mode; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // `name` shortened in the middle to fit `width` pixels in the name font: the beginning and
    // the extension stay readable.
    static QString elidedFileName(const QString& name, int width);

private:
    QSize m_itemSize{120, 120 + nameStripHeight};
    ThumbnailContentMode m_contentMode = ThumbnailContentMode::fit;
};
