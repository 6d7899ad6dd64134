#pragma once

#include <QListView>
#include <QMenu>
#include <QPointer>
#include <functional>
#include <optional>

// The list view of the thumbnail grid: multiple selection with Control toggling, plus three
// hooks the grid binds. Rows are the items' indexes.
//
// A left press with Shift over an item skips the standard selection handling and raises
// onRangeSelectRequest instead (Shift on empty space keeps the standard handling).
class ThumbnailCollectionView : public QListView
{
    Q_OBJECT

public:
    explicit ThumbnailCollectionView(QWidget* parent = nullptr);

    // Raised before the context menu opens, with the item under the pointer or none.
    std::function<void(std::optional<int> row)> onContextClick;
    // Raised after the standard handling of a double-click on an item.
    std::function<void(int row)> onDoubleClickIndex;
    // Shift-click on an item; `additive` when Control was held as well.
    std::function<void(int row, bool additive)> onRangeSelectRequest;

    // Places items `itemSpacing` apart and `insets` from the view's edges (the insets must be
    // at least the spacing on every side).
    void setLayoutMetrics(int itemSpacing, const QMargins& insets);

    // The menu shown on a context click (not owned); none shows no menu.
    void setContextMenu(QMenu* menu) { m_contextMenu = menu; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QPointer<QMenu> m_contextMenu;
    // True from a Shift press handled as a range request until its release, so the standard
    // handling never sees the rest of that click (it would act on a stale press position).
    bool m_rangeClickActive = false;
};
