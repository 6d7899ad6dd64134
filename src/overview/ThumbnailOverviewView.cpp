#include "ThumbnailOverviewView.h"

#include "SystemBeep.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewItem.h"
#include "WeakCallback.h"

#include <QGridLayout>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QStringListModel>
#include <algorithm>

namespace {

// Space between neighbouring items, horizontally and vertically.
constexpr int itemSpacing = 10;
// Insets of the grid from the view's edges; the top one keeps the first row below the
// window's floating toolbar.
constexpr int insetTop = 84;
constexpr int insetSide = 12;
constexpr int insetBottom = 12;

} // namespace

ThumbnailOverviewView::ThumbnailOverviewView(std::shared_ptr<ThumbnailDiskCache> diskCache,
                                             QWidget* parent)
    : QWidget(parent), m_loader(std::move(diskCache))
{
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    m_model = new QStringListModel(this);
    m_item = new ThumbnailOverviewItem(this);
    m_item->setItemSize(QSize(int(m_thumbnailSideLength),
                              int(m_thumbnailSideLength) + ThumbnailOverviewItem::nameStripHeight));
    m_item->thumbnailForRow = bindWeak(this, [](ThumbnailOverviewView* view, int row) {
        return view->isValidIndex(row) ? view->thumbnailImage(view->m_imageUrls.at(row)) : QImage();
    });
    m_item->isAnimatedRow = bindWeak(this, [](ThumbnailOverviewView* view, int row) {
        return view->isValidIndex(row) && view->m_animatedUrls.value(view->m_imageUrls.at(row));
    });

    m_collectionView = new ThumbnailCollectionView(this);
    m_collectionView->setModel(m_model);
    m_collectionView->setItemDelegate(m_item);
    m_collectionView->setLayoutMetrics(itemSpacing,
                                       QMargins(insetSide, insetTop, insetSide, insetBottom));

    m_emptyStateLabel = new QLabel(tr("No images in folder"), this);
    QFont labelFont = m_emptyStateLabel->font();
    labelFont.setPixelSize(14);
    labelFont.setWeight(QFont::Medium);
    m_emptyStateLabel->setFont(labelFont);
    QPalette grey = m_emptyStateLabel->palette();
    grey.setColor(QPalette::WindowText, QColor::fromRgbF(1, 1, 1, 0.55f));
    m_emptyStateLabel->setPalette(grey);
    m_emptyStateLabel->setAlignment(Qt::AlignCenter);
    m_emptyStateLabel->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_collectionView, 0, 0);
    layout->addWidget(m_emptyStateLabel, 0, 0, Qt::AlignCenter);
    m_emptyStateLabel->raise();

    m_contextMenu = new QMenu(tr("Thumbnail"), this);
    connect(m_contextMenu->addAction(tr("Open in Detail")), &QAction::triggered, this,
            [this] { runMenuCommand(MenuCommand::open); });
    m_contextMenu->addSeparator();
    connect(m_contextMenu->addAction(tr("Print Selected")), &QAction::triggered, this,
            [this] { runMenuCommand(MenuCommand::print); });
    connect(m_contextMenu->addAction(tr("Delete Selected")), &QAction::triggered, this,
            [this] { runMenuCommand(MenuCommand::remove); });
    m_collectionView->setContextMenu(m_contextMenu);

    m_collectionView->onContextClick =
        bindWeak(this, [](ThumbnailOverviewView* view, std::optional<int> row) {
            view->handleContextClick(row);
        });
    m_collectionView->onDoubleClickIndex = bindWeak(this, [](ThumbnailOverviewView* view, int row) {
        if (view->onActivateIndex) {
            view->onActivateIndex(row);
        }
    });
    m_collectionView->onRangeSelectRequest =
        bindWeak(this, [](ThumbnailOverviewView* view, int row, bool additive) {
            view->selectRange(row, additive);
        });
    connect(m_collectionView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { handleSelectionNotice(); });

    m_loader.onThumbnailReady =
        bindWeak(this, [](ThumbnailOverviewView* view, const QUrl& url, int maxPixelSize,
                          std::optional<QImage> thumbnail) {
            view->acceptThumbnail(url, maxPixelSize, std::move(thumbnail));
        });
    m_loader.onAnimationProbed =
        bindWeak(this, [](ThumbnailOverviewView* view, const QUrl& url, bool animated) {
            // The thumbnail delivered right after repaints the item.
            if (view->m_firstRows.contains(url)) {
                view->m_animatedUrls.insert(url, animated);
            }
        });

    m_wantedTimer.setSingleShot(true);
    m_wantedTimer.setInterval(0);
    connect(&m_wantedTimer, &QTimer::timeout, this, [this] { updateWanted(); });
    QScrollBar* scrollBar = m_collectionView->verticalScrollBar();
    connect(scrollBar, &QScrollBar::valueChanged, this, [this] { scheduleWantedUpdate(); });
    connect(scrollBar, &QScrollBar::rangeChanged, this, [this] { scheduleWantedUpdate(); });

    m_emptyStateLabel->setVisible(true);
}

ThumbnailOverviewView::~ThumbnailOverviewView() = default;

void ThumbnailOverviewView::update(const QList<QUrl>& urls, int selectedIndex)
{
    // Stepping through the same folder hands the same list with every image: only the
    // selection moves, and the grid of a thousand items is not rebuilt each time.
    if (urls == m_imageUrls && !urls.isEmpty()) {
        m_selectedIndex = isValidIndex(selectedIndex) ? selectedIndex : 0;
        m_selectionAnchorIndex = m_selectedIndex;
        reselectCurrentSilently();
        return;
    }
    m_imageUrls = urls;
    m_firstRows.clear();
    // Backwards, so a URL listed twice ends up with its first row.
    for (int row = int(m_imageUrls.size()) - 1; row >= 0; --row) {
        m_firstRows.insert(m_imageUrls.at(row), row);
    }
    m_thumbnailCache.retainOnly(m_imageUrls);
    m_failedThumbnailUrls.removeIf([this](const QUrl& url) { return !m_firstRows.contains(url); });
    m_animatedUrls.removeIf(
        [this](QHash<QUrl, bool>::iterator entry) { return !m_firstRows.contains(entry.key()); });

    m_selectedIndex = isValidIndex(selectedIndex) ? selectedIndex : 0;
    m_selectionAnchorIndex = m_selectedIndex;
    m_emptyStateLabel->setVisible(m_imageUrls.isEmpty());
    reloadGrid();
    reselectCurrentSilently();
}

void ThumbnailOverviewView::setThumbnailSideLength(qreal side)
{
    m_thumbnailSideLength = std::max(std::min(side, maximumSideLength), minimumSideLength);
    // Thumbnails are decoded for a display scale of 2.
    m_thumbnailMaxPixelSize = int(m_thumbnailSideLength * 2);
    m_thumbnailCache.clear();
    m_failedThumbnailUrls.clear();
    // Requests queued at the old size would only be dropped on arrival; the repaint after the
    // reload asks again at the new size.
    m_loader.setWanted({});

    const int itemSide = int(m_thumbnailSideLength);
    m_item->setItemSize(QSize(itemSide, itemSide + ThumbnailOverviewItem::nameStripHeight));
    reloadGrid();
    reselectCurrentSilently();
}

void ThumbnailOverviewView::setThumbnailContentMode(ThumbnailContentMode mode)
{
    if (mode == m_thumbnailContentMode) {
        return;
    }
    m_thumbnailContentMode = mode;
    m_item->setContentMode(mode);
    reloadGrid();
    reselectCurrentSilently();
}

void ThumbnailOverviewView::selectCurrentIndex(bool scrollIntoView)
{
    if (!isValidIndex(m_selectedIndex)) {
        return;
    }
    reselectCurrentSilently();
    if (scrollIntoView) {
        const int row = m_selectedIndex;
        QTimer::singleShot(0, bindWeak(this, [row](ThumbnailOverviewView* view) {
                               if (view->isValidIndex(row)) {
                                   view->m_collectionView->scrollTo(
                                       view->m_model->index(row),
                                       QAbstractItemView::PositionAtCenter);
                               }
                           }));
    }
}

QList<int> ThumbnailOverviewView::selectedIndexes(int fallbackIndex) const
{
    QList<int> rows = selectedRows();
    if (rows.isEmpty() && isValidIndex(fallbackIndex)) {
        rows.append(fallbackIndex);
    }
    return rows;
}

void ThumbnailOverviewView::acceptThumbnail(const QUrl& url, int maxPixelSize,
                                            std::optional<QImage> thumbnail)
{
    const auto firstRow = m_firstRows.constFind(url);
    if (firstRow == m_firstRows.constEnd()) {
        return;
    }
    if (maxPixelSize == m_thumbnailMaxPixelSize) {
        if (thumbnail && !thumbnail->isNull()) {
            m_thumbnailCache.insert(url, *thumbnail);
        } else {
            m_failedThumbnailUrls.insert(url);
        }
    }
    // A result for an older size is dropped; repainting makes the item ask at the current size.
    updateRow(*firstRow);
}

void ThumbnailOverviewView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scheduleWantedUpdate();
}

QList<int> ThumbnailOverviewView::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_collectionView->selectionModel()->selectedIndexes()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QImage ThumbnailOverviewView::thumbnailImage(const QUrl& url)
{
    QImage cached = m_thumbnailCache.take(url);
    if (cached.isNull() && !m_failedThumbnailUrls.contains(url)) {
        m_loader.request(url, m_thumbnailMaxPixelSize, !m_animatedUrls.contains(url));
    }
    return cached;
}

void ThumbnailOverviewView::reloadGrid()
{
    QStringList names;
    names.reserve(m_imageUrls.size());
    for (const QUrl& url : std::as_const(m_imageUrls)) {
        names.append(url.fileName());
    }
    m_suppressSelectionCallback = true;
    m_model->setStringList(names);
    m_suppressSelectionCallback = false;
    m_collectionView->doItemsLayout();
    scheduleWantedUpdate();
}

void ThumbnailOverviewView::selectRowsSilently(const QList<int>& rows, int currentRow)
{
    // One range per run of consecutive rows: a range selection over thousands of items stays
    // a few ranges instead of thousands merged one by one.
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QItemSelection selection;
    for (qsizetype first = 0; first < sorted.size();) {
        qsizetype last = first;
        while (last + 1 < sorted.size() && sorted[last + 1] == sorted[last] + 1) {
            ++last;
        }
        selection.append(
            QItemSelectionRange(m_model->index(sorted[first]), m_model->index(sorted[last])));
        first = last + 1;
    }
    QItemSelectionModel* selectionModel = m_collectionView->selectionModel();
    m_suppressSelectionCallback = true;
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
    // Keyboard navigation continues from the current index; moving it must not scroll (the
    // list view scrolls to a new current index while auto-scroll is on).
    m_collectionView->setAutoScroll(false);
    selectionModel->setCurrentIndex(m_model->index(currentRow), QItemSelectionModel::NoUpdate);
    m_collectionView->setAutoScroll(true);
    m_suppressSelectionCallback = false;
}

void ThumbnailOverviewView::reselectCurrentSilently()
{
    if (!isValidIndex(m_selectedIndex)) {
        return;
    }
    selectRowsSilently({m_selectedIndex}, m_selectedIndex);
    m_selectionAnchorIndex = m_selectedIndex;
}

void ThumbnailOverviewView::handleSelectionNotice()
{
    if (m_suppressSelectionCallback) {
        return;
    }
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    m_selectedIndex = rows.first();
    if (rows.size() == 1) {
        m_selectionAnchorIndex = m_selectedIndex;
    }
    if (onSelectionChanged) {
        onSelectionChanged(m_selectedIndex);
    }
}

void ThumbnailOverviewView::selectRange(int to, bool additive)
{
    if (!isValidIndex(to)) {
        return;
    }
    int anchor = to;
    if (m_selectionAnchorIndex) {
        anchor = *m_selectionAnchorIndex;
    } else if (const QList<int> current = selectedIndexes(m_selectedIndex); !current.isEmpty()) {
        anchor = current.first();
    }
    QList<int> rows = additive ? selectedRows() : QList<int>();
    for (int row = std::min(anchor, to); row <= std::max(anchor, to); ++row) {
        rows.append(row);
    }
    selectRowsSilently(rows, to);
    m_selectedIndex = to;
    m_selectionAnchorIndex = anchor;
    if (onSelectionChanged) {
        onSelectionChanged(to);
    }
}

void ThumbnailOverviewView::handleContextClick(std::optional<int> row)
{
    if (!row || !isValidIndex(*row) ||
        m_collectionView->selectionModel()->isSelected(m_model->index(*row))) {
        return;
    }
    selectRowsSilently({*row}, *row);
    m_selectedIndex = *row;
    m_selectionAnchorIndex = *row;
    if (onSelectionChanged) {
        onSelectionChanged(*row);
    }
}

void ThumbnailOverviewView::runMenuCommand(MenuCommand command)
{
    const QList<int> indexes = selectedIndexes(m_selectedIndex);
    if (indexes.isEmpty()) {
        SystemBeep::beep();
        return;
    }
    switch (command) {
    case MenuCommand::open:
        if (onActivateIndex) {
            onActivateIndex(indexes.first());
        }
        break;
    case MenuCommand::print:
        if (onPrintSelectedIndexes) {
            onPrintSelectedIndexes(indexes);
        }
        break;
    case MenuCommand::remove:
        if (onDeleteSelectedIndexes) {
            onDeleteSelectedIndexes(indexes);
        }
        break;
    }
}

void ThumbnailOverviewView::updateRow(int row)
{
    m_collectionView->viewport()->update(m_collectionView->visualRect(m_model->index(row)));
}

void ThumbnailOverviewView::scheduleWantedUpdate()
{
    m_wantedTimer.start();
}

void ThumbnailOverviewView::updateWanted()
{
    QSet<QUrl> wanted;
    const int count = int(m_imageUrls.size());
    if (count > 0) {
        // The visible part and one screen above and below it, in viewport coordinates.
        const QRect visible = m_collectionView->viewport()->rect();
        const QRect area = visible.adjusted(0, -visible.height(), 0, visible.height());
        // Items flow in reading order, so the rows meeting `area` form one contiguous run.
        const auto rectOf = [this](int row) {
            return m_collectionView->visualRect(m_model->index(row));
        };
        // The first row for which `isBefore` fails (it holds for a leading run of rows), by
        // bisection.
        const auto partitionPoint = [count](const auto& isBefore) {
            int low = 0;
            int high = count;
            while (low < high) {
                const int middle = low + (high - low) / 2;
                if (isBefore(middle)) {
                    low = middle + 1;
                } else {
                    high = middle;
                }
            }
            return low;
        };
        const int first =
            partitionPoint([&](int row) { return rectOf(row).bottom() < area.top(); });
        const int end = partitionPoint([&](int row) { return rectOf(row).top() <= area.bottom(); });
        for (int row = first; row < end; ++row) {
            wanted.insert(m_imageUrls.at(row));
        }
    }
    m_loader.setWanted(wanted);
}
