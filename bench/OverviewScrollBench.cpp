#include "BenchmarkRegistry.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewView.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>

namespace {

constexpr int itemCount = 5000;
constexpr QSize viewSize(1200, 800);

// How many items one screen of the grid shows at the default side (120 points).
int itemsPerScreen(const ThumbnailOverviewView& view)
{
    const ThumbnailCollectionView& grid = *view.collectionView();
    const QModelIndex first = grid.indexAt(QPoint(20, 20));
    const QModelIndex last =
        grid.indexAt(QPoint(grid.viewport()->width() - 20, grid.viewport()->height() - 20));
    return first.isValid() && last.isValid() ? last.row() - first.row() + 1 : 0;
}

// A scripted scroll from the top of the grid to the bottom and back, one eighth of a screen
// per frame, with the events of each frame processed: the decodes queued at any moment should
// stay within two screenfuls, whatever was scrolled past.
const bool registered = BenchmarkRegistry::add("overview", [] {
    QTemporaryDir folder;
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    const QString original = folder.filePath(QStringLiteral("original.jpg"));
    if (!folder.isValid() || !picture.save(original, "jpeg")) {
        return;
    }
    QList<QUrl> urls;
    for (int i = 0; i < itemCount; ++i) {
        const QString path = folder.filePath(QStringLiteral("IMG_%1.jpg").arg(i));
        if (!QFile::copy(original, path)) {
            qWarning("overview benchmark: cannot write the folder");
            return;
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    ThumbnailOverviewView view(nullptr);
    view.resize(viewSize);
    view.show();
    view.update(urls, 0);
    QApplication::processEvents();
    QScrollBar* bar = view.collectionView()->verticalScrollBar();
    const int step = std::max(1, bar->pageStep() / 8);
    const auto frame = [&](int value) {
        bar->setValue(value);
        QApplication::processEvents();
    };
    for (int value = 0; value <= bar->maximum(); value += step) {
        frame(value);
    }
    for (int value = bar->maximum(); value >= 0; value -= step) {
        frame(value);
    }
    const int screen = itemsPerScreen(view);
    bench::reportAbsolute(QStringLiteral("peak of queued thumbnail decodes while scrolling "
                                         "through %1 items and back (%2 items a screen)")
                              .arg(itemCount)
                              .arg(screen),
                          view.thumbnailLoader().peakQueuedCount(), QStringLiteral("decodes"),
                          QStringLiteral("<= %1 (two screenfuls)").arg(2 * screen));
});

} // namespace
