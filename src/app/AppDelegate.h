#pragma once

#include "CancellationHandle.h"
#include "DeletedImage.h"
#include "DuplicateLaunchRequest.h"
#include "ImageSequence.h"
#include "MarkupAnnotation.h"

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class ImageLoadingPipeline;
class QPrinter;
class SettingsWindowController;
class SingleInstanceController;
class UserDefaults;
class ViewerContentView;
class ViewerWindowController;

// The application controller: owns the folder's sequence, uses the loading pipeline, and owns
// the viewer window and the settings window. It opens files (with the folder access flow),
// presents the current image (a preview first, then the full bitmap, off the interface thread),
// steps through the folder, preloads the neighbours, serves the menu's commands and the
// window's callbacks, and takes the files of later launches. Every refusal is a beep.
//
// Main thread only.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // The key of the last folder the user granted: its absolute path as UTF-8 data.
    static inline const QString folderAccessBookmarkKey = QStringLiteral("folderAccessBookmark");

    // Decodes through `pipeline` and keeps its own keys in `defaults`; both must outlive it.
    explicit AppDelegate(ImageLoadingPipeline& pipeline, UserDefaults& defaults,
                         QObject* parent = nullptr);
    ~AppDelegate() override;

    // --- Launch and termination ---

    // Takes forwarded launches through `controller` (none when several instances run), restores
    // the granted folder, and opens the first image of `arguments` (the full command line), or
    // shows the empty window.
    void applicationDidFinishLaunching(SingleInstanceController* controller,
                                       const QStringList& arguments);
    // A desktop open-documents request: opens the first path only; false when there is none.
    bool openFiles(const QStringList& paths);
    // Cancels the decoding tasks and gives up the granted folder.
    void applicationWillTerminate();
    // The first image among the requests' URLs, in request order; none when there is none.
    static std::optional<QUrl> firstLaunchImageURL(const QList<DuplicateLaunchRequest>& requests);

    // --- Commands of the menu and the window ---

    void openDocument();
    void showNextImage();
    void showPreviousImage();
    void toggleOverviewMode();
    void printDocument();
    void deleteCurrentImage();
    void undoDeleteCurrentImage();
    void showSettingsWindow();
    void showAboutPanel();

    // Moves the images at `indices` of the sequence (duplicates and positions outside it are
    // ignored) to the Trash, shows the next one and offers to undo in the toast; a beep when
    // nothing moved.
    void deleteImages(const QList<int>& indices);
    // The last deletion that can be undone, in name order; empty when there is none.
    const QList<DeletedImage>& lastDeletedImages() const { return m_lastDeletedImages; }
    // Prints the images at `indices` (duplicates and outside positions ignored) in sequence
    // order, one page each; the print dialog comes once; a beep when none is left.
    void printImages(const QList<int>& indices);
    // Asked once per print run, before the first page: the application shows its print
    // dialog; replaceable by tests. False cancels the run.
    std::function<bool(QPrinter& printer, QWidget* parent)> confirmPrinting;
    // Called before each job with its position in the run; tests give each its own file.
    std::function<void(QPrinter& printer, int position)> preparePrintJob;

    // Writes the crop (normalized, y up) of the current image as a new file beside it, which
    // joins the folder's list while the original stays current; a beep when nothing was written.
    void saveCropCopy(std::optional<QRectF> normalizedRect);
    // Writes the current image with `annotations` flattened into it as a new file beside it;
    // false when nothing was written.
    bool saveMarkupCopy(const QList<MarkupAnnotation>& annotations);

    // Standardizes `url`, loads its folder (asking for folder access when it cannot be listed)
    // and presents it; false (and a beep) when refused.
    bool openImage(const QUrl& url);

    // --- Folder access ---

    void restoreFolderAccessBookmarkIfAvailable();
    // True when `folder` is covered by the granted folder, or the user chose a folder to grant
    // (whether or not it covers `folder`: the caller's second load is the real test).
    bool requestFolderAccessIfNeeded(const QUrl& folder);
    // True when `folder` is `root` or lies below it ("/a/b" covers "/a/b/c", not "/a/bc").
    static bool isDirectory(const QUrl& folder, const QUrl& root);
    std::optional<QUrl> grantedFolderURL() const { return m_grantedFolderURL; }

    // The panels, replaceable by tests: each returns the chosen URL, none on cancel.
    std::function<std::optional<QUrl>()> openPanel;
    std::function<std::optional<QUrl>()> folderAccessPanel;

    // --- State, for the menu and tests ---

    const ImageSequence& imageSequence() const { return m_imageSequence; }
    // Created on first use and kept.
    ViewerWindowController& windowController();
    ViewerContentView& content();
    // The URL of the image on screen; empty before the first image is shown.
    QUrl shownUrl() const { return m_shownUrl; }
    bool isShowingPreview() const { return m_isShowingPreview; }
    // The bitmap on screen; null before the first.
    QImage shownImage();
    // Where the image is drawn, in the content view's coordinates; empty with no image.
    QRectF imageRect();

protected:
    // Desktop open-documents events (QEvent::FileOpen) reach openFiles().
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A preview of the image at `url` is on screen; the full image follows.
    void previewShown(const QUrl& url);
    // The image at `url` is now on screen at full resolution.
    void imageShown(const QUrl& url);

private:
    void wireContent(ViewerContentView& view);
    void handleDuplicateLaunch(const QList<DuplicateLaunchRequest>& requests);
    void showMainWindow();
    void showImageAt(int index);
    void presentCurrentImage();
    // After a copy was written beside the current image: the folder is listed again so that the
    // copy takes its sorted place, and the original stays current.
    void relistAroundCurrentImage();
    bool isCurrent(const QUrl& url) const;
    void showPreview(const QUrl& url, const QImage& preview, QSize fullPixelSize,
                     const QString& metadata, qsizetype index, qsizetype count);
    void showImage(const QUrl& url, const QImage& image, const QString& metadata, qsizetype index,
                   qsizetype count);
    // The labels, count, overview and title of the image at `index` of `count`.
    void describeImage(const QUrl& url, const QString& metadata, qsizetype index, qsizetype count);
    void preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls);
    // The window's size in device pixels, which a preview should cover.
    QSize fitSize();
    std::optional<QUrl> runOpenPanel();
    std::optional<QUrl> runFolderAccessPanel();

    ImageLoadingPipeline& m_imagePipeline;
    UserDefaults& m_defaults;
    ImageSequence m_imageSequence;
    QList<DeletedImage> m_lastDeletedImages;
    std::unique_ptr<SettingsWindowController> m_settingsWindowController;
    // The printer the print dialog configures, kept so the user's choices carry over.
    std::unique_ptr<QPrinter> m_printer;
    std::optional<QUrl> m_grantedFolderURL;
    CancellationHandle m_imageLoadTask;
    CancellationHandle m_imagePreloadTask;
    std::unique_ptr<ViewerWindowController> m_windowController;
    bool m_isShowingPreview = false;
    QUrl m_shownUrl;
    // False while presenting an image the user stepped to with the keys: the overlay stays
    // down when it arrives.
    bool m_revealsOverlayWhenPresented = true;
};
