#pragma once

#include "ThumbnailContentMode.h"
#include "ThumbnailDiskCache.h"
#include "ThumbnailLoader.h"
#include "ThumbnailMemoryCache.h"

#include <QImage>
#include <QList>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QMenu;
class QStringListModel;
class ThumbnailCollectionView;
class ThumbnailOverviewItem;

// Every image of the folder as a grid of square thumbnails with the file name under each, on a
// black background. The user selects one or several items; the host hears about selections the
// user made, activations, and print and delete requests through the callbacks. Programmatic
// selection never raises a callback.
//
// Thumbnails are decoded lazily, one at a time, only for items that are painted, at twice the
// side length in pixels, and kept in a memory cache; requests still queued for items more than
// a screen away from the visible ones are dropped. Thumbnails of animated files carry a play
// badge, from a probe the loader runs next to the first thumbnail request of each file.
class ThumbnailOverviewView : public QWidget
{
    Q_OBJECT

public:
    static constexpr qreal minimumSideLength = 70;
    static constexpr qreal maximumSideLength = 240;

    // Reads and writes the desktop's shared thumbnail cache through `diskCache`; null decodes
    // without it (tests).
    explicit ThumbnailOverviewView(
        std::shared_ptr<ThumbnailDiskCache> diskCache = std::make_shared<ThumbnailDiskCache>(),
        QWidget* parent = nullptr);
    ~ThumbnailOverviewView() override;

    // The primary selected index changed by the user.
    std::function<void(int index)> onSelectionChanged;
    // The user asked to open this image in the detail view.
    std::function<void(int index)> onActivateIndex;
    std::function<void(const QList<int>& indexes)> onPrintSelectedIndexes;
    std::function<void(const QList<int>& indexes)> onDeleteSelectedIndexes;

    using QWidget::update;
    // Replaces the list and the current index (an invalid index selects 0). Thumbnails and
    // failures of URLs that left the list are forgotten. No callback fires.
    void update(const QList<QUrl>& urls, int selectedIndex);
    // The side of the square previews, limited to 70...240; thumbnails are decoded again.
    void setThumbnailSideLength(qreal side);
    void setThumbnailContentMode(ThumbnailContentMode mode);
    // Selects selectedIndex() again silently; with `scrollIntoView`, after the current event,
    // scrolls it to the vertical centre.
    void selectCurrentIndex(bool scrollIntoView);
    // The selected indexes ascending; when none is selected, [fallbackIndex] if it is valid,
    // else none.
    QList<int> selectedIndexes(int fallbackIndex) const;

    int selectedIndex() const { return m_selectedIndex; }
    qreal thumbnailSideLength() const { return m_thumbnailSideLength; }
    int thumbnailMaxPixelSize() const { return m_thumbnailMaxPixelSize; }

    // Where the loader's results arrive (main thread): a result for another pixel size than
    // the current one, or for a URL no longer listed, is dropped; otherwise the thumbnail is
    // kept (or the URL marked failed, not retried) and only that item repaints.
    void acceptThumbnail(const QUrl& url, int maxPixelSize, std::optional<QImage> thumbnail);

    // The decoding queue behind the grid (how many decodes wait, for the scroll benchmark).
    const ThumbnailLoader& thumbnailLoader() const { return m_loader; }
    ThumbnailCollectionView* collectionView() const { return m_collectionView; }
    QMenu* contextMenu() const { return m_contextMenu; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class MenuCommand
    {
        open,
        print,
        remove
    };

    bool isValidIndex(int index) const { return index >= 0 && index < m_imageUrls.size(); }
    QList<int> selectedRows() const;
    QImage thumbnailImage(const QUrl& url);
    void reloadGrid();
    void selectRowsSilently(const QList<int>& rows, int currentRow);
    void reselectCurrentSilently();
    void handleSelectionNotice();
    void selectRange(int to, bool additive);
    void handleContextClick(std::optional<int> row);
    void runMenuCommand(MenuCommand command);
    void updateRow(int row);
    void scheduleWantedUpdate();
    void updateWanted();

    ThumbnailCollectionView* m_collectionView = nullptr;
    QStringListModel* m_model = nullptr;
    ThumbnailOverviewItem* m_item = nullptr;
    QLabel* m_emptyStateLabel = nullptr;
    QMenu* m_contextMenu = nullptr;

    QList<QUrl> m_imageUrls;
    // The first row of each listed URL.
    QHash<QUrl, int> m_firstRows;
    int m_selectedIndex = 0;
    qreal m_thumbnailSideLength = 120;
    int m_thumbnailMaxPixelSize = 240;
    ThumbnailMemoryCache m_thumbnailCache;
    QSet<QUrl> m_failedThumbnailUrls;
    // Whether each listed file is animated, once probed: asked for with the first thumbnail
    // request of a URL and kept, like its thumbnail, while the URL stays listed, so a thumbnail
    // served from the memory cache or decoded again at another size costs no second probe.
    QHash<QUrl, bool> m_animatedUrls;
    ThumbnailLoader m_loader;
    bool m_suppressSelectionCallback = false;
    ThumbnailContentMode m_thumbnailContentMode = ThumbnailContentMode::fit;
    std::optional<int> m_selectionAnchorIndex;
    // Collapses the scrolls, resizes and reloads of one event into one wanted-list update.
    QTimer m_wantedTimer;
};
