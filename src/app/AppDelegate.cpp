#include "AppDelegate.h"

#include "AppBundle.h"
#include "AppSettings.h"
#include "AppVersionDisplay.h"
#include "CopyMetadata.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "ImageCropManager.h"
#include "ImageDeletionManager.h"
#include "ImageLoadingPipeline.h"
#include "ImagePrintManager.h"
#include "ImageSource.h"
#include "ImageTypeRegistry.h"
#include "ImageViewerRuntime.h"
#include "MarkupSaver.h"
#include "NaturalNameOrder.h"
#include "SettingsWindowController.h"
#include "SingleInstanceController.h"
#include "SystemBeep.h"
#include "ThumbnailOverviewView.h"
#include "UserDefaults.h"
#include "ViewerContentView.h"
#include "ViewerWindowController.h"
#include "WeakCallback.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileOpenEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QTimeZone>
#include <QWidget>
#include <algorithm>

// One line per image presented at full resolution (path, position, metadata line, window
// title), for whoever watches a running instance from outside: enable with
// QT_LOGGING_RULES="vistrel.presentation.debug=true".
Q_LOGGING_CATEGORY(presentationLog, "vistrel.presentation", QtWarningMsg)

namespace {

// The folder of `path` with the home folder written as a tilde.
QString abbreviatedFolder(const QString& path)
{
    const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    if (folder == home) {
        return QStringLiteral("~");
    }
    if (folder.startsWith(home + QDir::separator())) {
        return u'~' + folder.mid(home.size());
    }
    return folder;
}

// Without a sandbox, access to a folder is being able to list it.
bool canBeListed(const QFileInfo& folder)
{
    return folder.isDir() && folder.isReadable() && folder.isExecutable();
}

} // namespace

AppDelegate::AppDelegate(ImageLoadingPipeline& pipeline, UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_imagePipeline(pipeline), m_defaults(defaults)
{
    openPanel = [this] { return runOpenPanel(); };
    confirmPrinting = &ImagePrintManager::askWithPrintDialog;
    folderAccessPanel = [this] { return runFolderAccessPanel(); };
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

// --- Launch and termination ---

void AppDelegate::applicationDidFinishLaunching(SingleInstanceController* controller,
                                                const QStringList& arguments)
{
    if (controller != nullptr) {
        controller->setDuplicateLaunchHandler(bindWeak(
            this, [](AppDelegate* delegate, const QList<DuplicateLaunchRequest>& requests) {
                delegate->handleDuplicateLaunch(requests);
            }));
    }
    QCoreApplication::instance()->installEventFilter(this);
    restoreFolderAccessBookmarkIfAvailable();
    const QList<QUrl> urls = ImageViewerRuntime::launchImageURLs(arguments);
    if (!urls.isEmpty()) {
        openImage(urls.first());
    }
    // Shown at once, also when the file is refused (the window is all the user sees of the
    // application), and so that mapping it overlaps the first decode.
    showMainWindow();
}

void AppDelegate::handleDuplicateLaunch(const QList<DuplicateLaunchRequest>& requests)
{
    if (const std::optional<QUrl> url = firstLaunchImageURL(requests)) {
        openImage(*url);
    }
    // Brought forward also for a launch without files; a compositor may still refuse focus to
    // a request that came from another process.
    showMainWindow();
}

bool AppDelegate::openFiles(const QStringList& paths)
{
    if (paths.isEmpty() || paths.first().isEmpty()) {
        return false;
    }
    openImage(QUrl::fromLocalFile(paths.first()));
    return true;
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::FileOpen) {
        openFiles({static_cast<QFileOpenEvent*>(event)->file()});
        return true;
    }
    return false;
}

void AppDelegate::applicationWillTerminate()
{
    m_imageLoadTask.cancel();
    m_imagePreloadTask.cancel();
    m_grantedFolderURL.reset();
}

std::optional<QUrl> AppDelegate::firstLaunchImageURL(const QList<DuplicateLaunchRequest>& requests)
{
    for (const DuplicateLaunchRequest& request : requests) {
        for (const QUrl& url : request.fileURLs) {
            const QUrl standardized = ImageSequence::standardized(url);
            if (ImageSequence::isImageFile(standardized)) {
                return standardized;
            }
        }
    }
    return std::nullopt;
}

// --- Window ---

ViewerWindowController& AppDelegate::windowController()
{
    if (!m_windowController) {
        m_windowController = std::make_unique<ViewerWindowController>();
        wireContent(m_windowController->content());
    }
    return *m_windowController;
}

ViewerContentView& AppDelegate::content()
{
    return windowController().content();
}

void AppDelegate::showMainWindow()
{
    windowController().showWindow();
}

void AppDelegate::wireContent(ViewerContentView& view)
{
    view.onOpenRequested = bindWeak(this, [](AppDelegate* d) { d->openDocument(); });
    view.onPrintRequested = bindWeak(this, [](AppDelegate* d) { d->printDocument(); });
    view.onNextRequested = bindWeak(this, [](AppDelegate* d) { d->showNextImage(); });
    view.onPreviousRequested = bindWeak(this, [](AppDelegate* d) { d->showPreviousImage(); });
    view.onDeleteRequested = bindWeak(this, [](AppDelegate* d) { d->deleteCurrentImage(); });
    view.onUndoDeleteRequested =
        bindWeak(this, [](AppDelegate* d) { d->undoDeleteCurrentImage(); });
    view.onSettingsRequested = bindWeak(this, [](AppDelegate* d) { d->showSettingsWindow(); });
    view.onImageDropped =
        bindWeak(this, [](AppDelegate* d, const QUrl& url) { d->openImage(url); });
    view.onThumbnailSelected =
        bindWeak(this, [](AppDelegate* d, int index) { d->showImageAt(index); });
    view.onThumbnailPrintRequested =
        bindWeak(this, [](AppDelegate* d, const QList<int>& indices) { d->printImages(indices); });
    view.onThumbnailDeleteRequested =
        bindWeak(this, [](AppDelegate* d, const QList<int>& indices) { d->deleteImages(indices); });
    view.onCropSaveRequested =
        bindWeak(this, [](AppDelegate* d, std::optional<QRectF> rect) { d->saveCropCopy(rect); });
    view.onMarkupSaveRequested =
        bindWeak(this, [](AppDelegate* d, const QList<MarkupAnnotation>& annotations) {
            return d->saveMarkupCopy(annotations);
        });
}

// --- Commands ---

void AppDelegate::openDocument()
{
    if (const std::optional<QUrl> url = openPanel ? openPanel() : std::nullopt) {
        openImage(*url);
    }
}

void AppDelegate::showNextImage()
{
    const qsizetype next = m_imageSequence.currentIndex() + 1;
    if (next >= m_imageSequence.urls().size() || !m_imageSequence.setCurrentIndex(next)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void AppDelegate::showPreviousImage()
{
    const qsizetype previous = m_imageSequence.currentIndex() - 1;
    if (previous < 0 || !m_imageSequence.setCurrentIndex(previous)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void AppDelegate::showImageAt(int index)
{
    if (index < 0 || index >= m_imageSequence.urls().size() ||
        !m_imageSequence.setCurrentIndex(index)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void AppDelegate::toggleOverviewMode()
{
    ViewerContentView& view = content();
    if (view.totalCount() < 1) {
        SystemBeep::beep();
        return;
    }
    view.setOverviewMode(!view.isOverviewModeEnabled(), true);
}

void AppDelegate::printDocument()
{
    printImages({int(m_imageSequence.currentIndex())});
}

void AppDelegate::deleteCurrentImage()
{
    deleteImages({int(m_imageSequence.currentIndex())});
}

namespace {

// The distinct positions of `indices` inside a list of `count`, ascending.
QList<int> validPositions(const QList<int>& indices, qsizetype count)
{
    QList<int> positions;
    for (const int index : indices) {
        if (index >= 0 && index < count && !positions.contains(index)) {
            positions.append(index);
        }
    }
    std::sort(positions.begin(), positions.end());
    return positions;
}

} // namespace

void AppDelegate::deleteImages(const QList<int>& indices)
{
    QList<int> positions = validPositions(indices, m_imageSequence.urls().size());
    if (positions.isEmpty()) {
        SystemBeep::beep();
        return;
    }
    const int firstPosition = positions.first();
    // Largest first, so removing one never shifts a position still to be removed.
    std::reverse(positions.begin(), positions.end());
    QList<QUrl> urls;
    for (const int position : positions) {
        urls.append(m_imageSequence.urls().at(position));
    }
    QList<DeletedImage> deleted = ImageDeletionManager::deleteImages(urls);
    for (const int position : positions) {
        const QUrl url = m_imageSequence.urls().at(position);
        if (std::any_of(deleted.cbegin(), deleted.cend(),
                        [&url](const DeletedImage& image) { return image.originalUrl == url; })) {
            m_imageSequence.remove(position);
        }
    }
    if (deleted.isEmpty()) {
        SystemBeep::beep();
        return;
    }
    std::sort(deleted.begin(), deleted.end(), [](const DeletedImage& a, const DeletedImage& b) {
        return NaturalNameOrder::compare(a.originalUrl.fileName(), b.originalUrl.fileName()) < 0;
    });
    m_lastDeletedImages = deleted;

    if (m_imageSequence.urls().isEmpty()) {
        m_imageLoadTask.cancel();
        m_shownUrl = QUrl();
        m_isShowingPreview = false;
        windowController().clear();
        showMainWindow();
    } else {
        // The image that followed the first deleted one takes its place.
        m_imageSequence.setCurrentIndex(
            std::min<qsizetype>(firstPosition, m_imageSequence.urls().size() - 1));
        presentCurrentImage();
    }
    ViewerContentView& view = content();
    view.undoToastLabel()->setText(
        deleted.size() == 1 ? QStringLiteral("Deleted ") + deleted.first().originalUrl.fileName()
                            : QStringLiteral("Deleted %1 images").arg(deleted.size()));
    view.undoToastButton()->show();
    view.setUndoToastVisible(true, true);
    view.restartUndoToastHideTimer();
}

void AppDelegate::undoDeleteCurrentImage()
{
    if (m_lastDeletedImages.isEmpty()) {
        SystemBeep::beep();
        return;
    }
    QList<DeletedImage> restored;
    QList<DeletedImage> failed;
    for (const DeletedImage& image : std::as_const(m_lastDeletedImages)) {
        (ImageDeletionManager::restoreDeletedImage(image) ? failed : restored).append(image);
    }
    if (restored.isEmpty() || !m_imageSequence.load(restored.first().originalUrl)) {
        SystemBeep::beep();
        return;
    }
    m_lastDeletedImages = failed;
    ViewerContentView& view = content();
    view.stopUndoToastHideTimer();
    view.setUndoToastVisible(false, true);
    presentCurrentImage();
    if (!failed.isEmpty()) {
        SystemBeep::beep();
    }
}

void AppDelegate::saveCropCopy(std::optional<QRectF> normalizedRect)
{
    const qsizetype index = m_imageSequence.currentIndex();
    if (index < 0 || index >= m_imageSequence.urls().size() || !normalizedRect ||
        !ImageCropManager::saveCropCopy(m_imageSequence.urls().at(index), *normalizedRect)) {
        SystemBeep::beep();
        return;
    }
    relistAroundCurrentImage();
}

bool AppDelegate::saveMarkupCopy(const QList<MarkupAnnotation>& annotations)
{
    const qsizetype index = m_imageSequence.currentIndex();
    if (index < 0 || index >= m_imageSequence.urls().size()) {
        return false;
    }
    // The pixels as the viewer shows them (orientation applied), the colour profile kept.
    const auto decode = [](const QString& path) { return ImageSource(path).decode(); };
    const QUrl original = m_imageSequence.urls().at(index);
    const auto addMetadata = [&](const QByteArray& encoded, const QString& pathExtension) {
        return CopyMetadata::forMarkup(encoded, pathExtension,
                                       CopyMetadata::readOriginal(original.toLocalFile()));
    };
    if (!MarkupSaver::saveMarkupCopy(original, annotations, decode, addMetadata)) {
        return false;
    }
    relistAroundCurrentImage();
    return true;
}

void AppDelegate::relistAroundCurrentImage()
{
    const QUrl original = m_imageSequence.urls().at(m_imageSequence.currentIndex());
    if (m_imageSequence.load(original)) {
        presentCurrentImage();
    }
}

void AppDelegate::printImages(const QList<int>& indices)
{
    const QList<int> positions = validPositions(indices, m_imageSequence.urls().size());
    if (positions.isEmpty()) {
        SystemBeep::beep();
        return;
    }
    QList<QUrl> urls;
    for (const int position : positions) {
        urls.append(m_imageSequence.urls().at(position));
    }
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    ImagePrintManager::PrintSetup setup;
    setup.printer = m_printer.get();
    setup.confirm = confirmPrinting;
    setup.prepareJob = preparePrintJob;
    ImagePrintManager::printImages(urls, windowController().window(), setup);
}

void AppDelegate::showSettingsWindow()
{
    if (!m_settingsWindowController) {
        m_settingsWindowController = std::make_unique<SettingsWindowController>(m_defaults);
    }
    m_settingsWindowController->show();
}

void AppDelegate::showAboutPanel()
{
    QWidget* parent = m_windowController ? m_windowController->window() : nullptr;
    QMessageBox::about(parent, QStringLiteral("About vistrel"),
                       QStringLiteral("<b>vistrel</b><br>%1")
                           .arg(AppVersionDisplay::current(AppBundle::main()).toHtmlEscaped()));
}

bool AppDelegate::openImage(const QUrl& url)
{
    const QUrl standardized = ImageSequence::standardized(url);
    if (!ImageSequence::isImageFile(standardized)) {
        SystemBeep::beep();
        return false;
    }
    bool loaded = m_imageSequence.load(standardized);
    const QFileInfo folder(QFileInfo(standardized.toLocalFile()).absolutePath());
    // Access is asked for only where it is what failed: a missing file in a folder that can be
    // listed is simply refused.
    if (!loaded && !canBeListed(folder)) {
        loaded = requestFolderAccessIfNeeded(QUrl::fromLocalFile(folder.absoluteFilePath())) &&
                 m_imageSequence.load(standardized);
    }
    const qsizetype index = m_imageSequence.currentIndex();
    if (!loaded || index < 0 || index >= m_imageSequence.urls().size()) {
        SystemBeep::beep();
        return false;
    }
    // A deletion can no longer be undone once another file is opened.
    m_lastDeletedImages.clear();
    ViewerContentView& view = content();
    view.stopUndoToastHideTimer();
    view.setUndoToastVisible(false, true);
    // The neighbours of the previous folder are no longer worth decoding.
    m_imagePreloadTask.cancel();
    presentCurrentImage();
    return true;
}

// --- Folder access ---

void AppDelegate::restoreFolderAccessBookmarkIfAvailable()
{
    const std::optional<QByteArray> bookmark = m_defaults.dataValue(folderAccessBookmarkKey);
    if (!bookmark || bookmark->isEmpty()) {
        return;
    }
    // Without a sandbox a bookmark is the folder's path, and access is being able to list it.
    const QString path = QString::fromUtf8(*bookmark);
    const QFileInfo folder(path);
    if (!folder.isAbsolute() || !canBeListed(folder)) {
        return;
    }
    m_grantedFolderURL = QUrl::fromLocalFile(folder.absoluteFilePath());
}

bool AppDelegate::requestFolderAccessIfNeeded(const QUrl& folder)
{
    if (m_grantedFolderURL && isDirectory(folder, *m_grantedFolderURL)) {
        return true;
    }
    const std::optional<QUrl> chosen = folderAccessPanel ? folderAccessPanel() : std::nullopt;
    if (!chosen) {
        return false;
    }
    const QFileInfo granted(chosen->toLocalFile());
    m_defaults.setData(folderAccessBookmarkKey, granted.absoluteFilePath().toUtf8());
    if (canBeListed(granted)) {
        m_grantedFolderURL = QUrl::fromLocalFile(granted.absoluteFilePath());
    }
    return true;
}

bool AppDelegate::isDirectory(const QUrl& folder, const QUrl& root)
{
    const QString folderPath = ImageSequence::standardized(folder).path();
    QString rootPath = ImageSequence::standardized(root).path();
    if (folderPath == rootPath) {
        return true;
    }
    // The file system's root covers everything; no other root ends in a separator.
    if (!rootPath.endsWith(u'/')) {
        rootPath += u'/';
    }
    return folderPath.startsWith(rootPath);
}

std::optional<QUrl> AppDelegate::runOpenPanel()
{
    const QString folder = QFileInfo(m_shownUrl.toLocalFile()).path();
    const QString filter =
        QStringLiteral("Images (%1)").arg(ImageTypeRegistry::imageNamePatterns().join(u' '));
    const QUrl url = QFileDialog::getOpenFileUrl(windowController().window(), QString(),
                                                 QUrl::fromLocalFile(folder), filter);
    return url.isEmpty() ? std::nullopt : std::optional<QUrl>(url);
}

std::optional<QUrl> AppDelegate::runFolderAccessPanel()
{
    QFileDialog dialog(windowController().window(), QStringLiteral("Folder Access"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Grant Access"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* message = new QLabel(
            QStringLiteral("Choose a folder to grant image access for drag-and-drop and browsing."),
            &dialog);
        message->setWordWrap(true);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedUrls().first();
}

// --- Presentation ---

void AppDelegate::presentCurrentImage()
{
    const QList<QUrl> urls = m_imageSequence.urls();
    const qsizetype index = m_imageSequence.currentIndex();
    if (index < 0 || index >= urls.size()) {
        SystemBeep::beep();
        return;
    }
    const QUrl url = urls.at(index);
    // Stepping with the keys must not flash the overlay when the image arrives later.
    m_revealsOverlayWhenPresented = !content().isOverlaySuppressed();
    m_imageLoadTask.cancel();
    // The frames of an animation the user steps away from stop being decoded now, not when the
    // next image arrives.
    if (url != m_shownUrl) {
        content().canvas()->animationPlayer().stop();
    }
    m_imageLoadTask = m_imagePipeline.image(
        url, fitSize(), this,
        [this, url, index, count = urls.size()](const LoadedImage& preview, QSize fullPixelSize) {
            showPreview(url, preview.cgImage, fullPixelSize, preview.metadata, index, count);
        },
        [this, url, index, urls](const std::optional<LoadedImage>& loaded) {
            if (!loaded) {
                // A preview of a file that then failed to decode must not stay up as if it
                // were the image.
                if (m_isShowingPreview && m_shownUrl == url) {
                    content().canvas()->clearImage();
                    content().updateNavigatorState();
                    m_shownUrl = QUrl();
                    m_isShowingPreview = false;
                }
                SystemBeep::beep();
                return;
            }
            if (!isCurrent(url)) {
                return;
            }
            showImage(url, loaded->cgImage, loaded->metadata, index, urls.size());
            preloadAdjacentImages(index, urls);
        });
}

// The user may have moved on while an image was decoding; a later task presents.
bool AppDelegate::isCurrent(const QUrl& url) const
{
    const qsizetype current = m_imageSequence.currentIndex();
    return current >= 0 && current < m_imageSequence.urls().size() &&
           m_imageSequence.urls().at(current) == url;
}

void AppDelegate::showPreview(const QUrl& url, const QImage& preview, QSize fullPixelSize,
                              const QString& metadata, qsizetype index, qsizetype count)
{
    if (!isCurrent(url)) {
        return;
    }
    content().canvas()->setPreview(preview, fullPixelSize,
                                   AppSettings::isPreserveViewBetweenImagesEnabled());
    m_isShowingPreview = true;
    m_shownUrl = url;
    describeImage(url, metadata, index, count);
    emit previewShown(url);
}

void AppDelegate::showImage(const QUrl& url, const QImage& image, const QString& metadata,
                            qsizetype index, qsizetype count)
{
    ImageCanvasView& canvas = *content().canvas();
    // The full image of the preview on screen takes its place without changing the view, so
    // whatever the user did with the preview stays.
    const bool replacesPreview =
        m_isShowingPreview && m_shownUrl == url && canvas.imageSize() == QSizeF(image.size());
    if (replacesPreview) {
        canvas.replacePreview(image);
    } else {
        canvas.setImage(image, AppSettings::isPreserveViewBetweenImagesEnabled());
        m_shownUrl = url;
        describeImage(url, metadata, index, count);
    }
    canvas.playAnimation(url.toLocalFile());
    // The navigator's miniature comes from the sharper bitmap now.
    content().updateNavigatorState();
    m_isShowingPreview = false;
    qCDebug(presentationLog).noquote()
        << QStringLiteral("presented\t%1\t%2/%3\t%4\t%5")
               .arg(url.toLocalFile())
               .arg(index + 1)
               .arg(count)
               .arg(metadata, windowController().window()->windowTitle());
    emit imageShown(url);
}

void AppDelegate::describeImage(const QUrl& url, const QString& metadata, qsizetype index,
                                qsizetype count)
{
    ViewerContentView& view = content();
    const QString path = url.toLocalFile();
    view.setCurrentIndex(int(index) + 1);
    view.setTotalCount(int(count));
    view.fileLabel()->setText(QFileInfo(path).fileName());
    view.pathLabel()->setText(abbreviatedFolder(path));
    view.metadataLabel()->setText(metadata);
    view.thumbnailOverview()->update(m_imageSequence.urls(), int(std::max<qsizetype>(index, 0)));
    view.updateInfoLabel();
    view.updateOverviewButtonAppearance();
    view.updateCropControls();
    view.updateMarkupControls();
    if (count < 1) {
        view.setMarkupMode(false);
        view.setOverviewMode(false, false);
    }
    view.updateNavigatorState();
    if (m_revealsOverlayWhenPresented) {
        view.showOverlayTemporarily(false);
    }
    QWidget* window = windowController().window();
    window->setWindowFilePath(path);
    window->setWindowTitle(QFileInfo(path).fileName());
    if (!window->isVisible()) {
        showMainWindow();
    } else {
        // A dropped or forwarded image brings the window forward; stepping changes nothing.
        window->raise();
        window->activateWindow();
    }
}

void AppDelegate::preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls)
{
    QList<QUrl> neighbours;
    for (const qsizetype position : {index + 1, index - 1}) {
        if (position >= 0 && position < urls.size()) {
            neighbours.append(urls.at(position));
        }
    }
    // With no neighbour a running preload is left alone: it serves the same folder.
    if (neighbours.isEmpty()) {
        return;
    }
    m_imagePreloadTask.cancel();
    m_imagePreloadTask = m_imagePipeline.preload(neighbours);
}

QSize AppDelegate::fitSize()
{
    const QWidget* window = windowController().window();
    return (QSizeF(window->size()) * window->devicePixelRatioF()).toSize();
}

QImage AppDelegate::shownImage()
{
    return content().canvas()->image();
}

QRectF AppDelegate::imageRect()
{
    const ImageCanvasView& canvas = *content().canvas();
    const std::optional<QRectF> rect = canvas.currentImageRect();
    if (!rect) {
        return {};
    }
    return canvas.toWidget(*rect).translated(canvas.pos());
}
