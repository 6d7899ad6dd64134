#include "ThumbnailCollectionView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

ThumbnailCollectionView::ThumbnailCollectionView(QWidget* parent) : QListView(parent)
{
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::DefaultContextMenu);

    // The grid lies on its owner's black background.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette transparent = palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    transparent.setColor(QPalette::Window, Qt::transparent);
    setPalette(transparent);
}

void ThumbnailCollectionView::setLayoutMetrics(int itemSpacing, const QMargins& insets)
{
    // The list view puts `spacing` between items and between the items and its viewport's
    // edges; the viewport margins make up the rest of the insets.
    setSpacing(itemSpacing);
    setViewportMargins(insets - QMargins(itemSpacing, itemSpacing, itemSpacing, itemSpacing));
}

void ThumbnailCollectionView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && event->modifiers().testFlag(Qt::ShiftModifier) &&
        index.isValid()) {
        m_rangeClickActive = true;
        event->accept();
        if (onRangeSelectRequest) {
            onRangeSelectRequest(index.row(), event->modifiers().testFlag(Qt::ControlModifier));
        }
        return;
    }
    m_rangeClickActive = false;
    QListView::mousePressEvent(event);
}

void ThumbnailCollectionView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_rangeClickActive) {
        event->accept();
        return;
    }
    QListView::mouseMoveEvent(event);
}

void ThumbnailCollectionView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_rangeClickActive) {
        m_rangeClickActive = false;
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

void ThumbnailCollectionView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && onDoubleClickIndex) {
        onDoubleClickIndex(index.row());
    }
}

void ThumbnailCollectionView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (onContextClick) {
        onContextClick(index.isValid() ? std::optional<int>(index.row()) : std::nullopt);
    }
    event->accept();
    if (m_contextMenu) {
        m_contextMenu->exec(event->globalPos());
    }
}
