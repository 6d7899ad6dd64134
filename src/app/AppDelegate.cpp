#include "ViewerPresenter.h"

#include "AppSettings.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "ImageLoadingPipeline.h"
#include "SettingsWindowController.h"
#include "SystemBeep.h"
#include "ThumbnailOverviewView.h"
#include "ViewerContentView.h"
#include "ViewerWindowController.h"
#include "WeakCallback.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

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

} // namespace

ViewerPresenter::ViewerPresenter(ImageLoadingPipeline& pipeline, QObject* parent)
    : QObject(parent), m_pipeline(pipeline),
      m_windowController(std::make_unique<ViewerWindowController>())
{
    wireContent();
}

ViewerPresenter::~ViewerPresenter()
{
    m_imageLoadTask.cancel();
    m_imagePreloadTask.cancel();
}

ViewerContentView& ViewerPresenter::content() const
{
    return m_windowController->content();
}

void ViewerPresenter::wireContent()
{
    ViewerContentView& view = content();
    view.onNextRequested = bindWeak(this, [](ViewerPresenter* p) { p->showNextImage(); });
    view.onPreviousRequested = bindWeak(this, [](ViewerPresenter* p) { p->showPreviousImage(); });
    view.onOpenRequested = bindWeak(this, [](ViewerPresenter* p) { p->showOpenPanel(); });
    view.onSettingsRequested = bindWeak(this, [](ViewerPresenter* p) { p->showSettingsWindow(); });
    view.onImageDropped = bindWeak(this, [](ViewerPresenter* p, const QUrl& url) { p->open(url); });
    view.onThumbnailSelected =
        bindWeak(this, [](ViewerPresenter* p, int index) { p->showImageAt(index); });
    // Printing, deleting and saving copies arrive with the file operations; until then the
    // print and delete requests are refused, and a markup save reports that it failed.
    const auto refuse = [] { SystemBeep::beep(); };
    const auto refuseIndexes = [](const QList<int>&) { SystemBeep::beep(); };
    view.onPrintRequested = refuse;
    view.onDeleteRequested = refuse;
    view.onThumbnailPrintRequested = refuseIndexes;
    view.onThumbnailDeleteRequested = refuseIndexes;
    view.onCropSaveRequested = [](std::optional<QRectF>) { SystemBeep::beep(); };
}

void ViewerPresenter::showWindow()
{
    m_windowController->showWindow();
}

bool ViewerPresenter::open(const QUrl& url)
{
    if (!m_sequence.load(url)) {
        SystemBeep::beep();
        return false;
    }
    // The neighbours of the previous folder are no longer worth decoding.
    m_imagePreloadTask.cancel();
    presentCurrentImage();
    return true;
}

void ViewerPresenter::showNextImage()
{
    if (!m_sequence.setCurrentIndex(m_sequence.currentIndex() + 1)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void ViewerPresenter::showPreviousImage()
{
    if (!m_sequence.setCurrentIndex(m_sequence.currentIndex() - 1)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void ViewerPresenter::showImageAt(int index)
{
    if (index == m_sequence.currentIndex()) {
        return;
    }
    if (!m_sequence.setCurrentIndex(index)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void ViewerPresenter::presentCurrentImage()
{
    const QList<QUrl> urls = m_sequence.urls();
    const qsizetype index = m_sequence.currentIndex();
    if (index < 0 || index >= urls.size()) {
        SystemBeep::beep();
        return;
    }
    const QUrl url = urls.at(index);
    // Stepping with the keys must not flash the overlay when the image arrives later.
    m_revealsOverlayWhenPresented = !content().isOverlaySuppressed();
    m_imageLoadTask.cancel();
    m_imageLoadTask = m_pipeline.image(
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
            showImage(url, loaded->cgImage, loaded->metadata, index, urls);
            preloadAdjacentImages(index, urls);
        });
}

// The user may have moved on while an image was decoding; a later task presents.
bool ViewerPresenter::isCurrent(const QUrl& url) const
{
    const qsizetype current = m_sequence.currentIndex();
    return current >= 0 && current < m_sequence.urls().size() &&
           m_sequence.urls().at(current) == url;
}

void ViewerPresenter::showPreview(const QUrl& url, const QImage& preview, QSize fullPixelSize,
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

void ViewerPresenter::showImage(const QUrl& url, const QImage& image, const QString& metadata,
                                qsizetype index, const QList<QUrl>& urls)
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
        describeImage(url, metadata, index, urls.size());
    }
    // The navigator's miniature comes from the sharper bitmap now.
    content().updateNavigatorState();
    m_isShowingPreview = false;
    emit imageShown(url);
}

void ViewerPresenter::describeImage(const QUrl& url, const QString& metadata, qsizetype index,
                                    qsizetype count)
{
    ViewerContentView& view = content();
    const QString path = url.toLocalFile();
    view.setCurrentIndex(int(index) + 1);
    view.setTotalCount(int(count));
    view.fileLabel()->setText(QFileInfo(path).fileName());
    view.pathLabel()->setText(abbreviatedFolder(path));
    view.metadataLabel()->setText(metadata);
    view.thumbnailOverview()->update(m_sequence.urls(), int(std::max<qsizetype>(index, 0)));
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
    QWidget* window = m_windowController->window();
    window->setWindowFilePath(path);
    window->setWindowTitle(QFileInfo(path).fileName());
}

void ViewerPresenter::preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls)
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
    m_imagePreloadTask = m_pipeline.preload(neighbours);
}

void ViewerPresenter::showOpenPanel()
{
    // The folder of the image on screen first.
    const QString folder = QFileInfo(m_shownUrl.toLocalFile()).path();
    const QUrl url = QFileDialog::getOpenFileUrl(m_windowController->window(), QString(),
                                                 QUrl::fromLocalFile(folder));
    if (!url.isEmpty()) {
        open(url);
    }
}

void ViewerPresenter::showSettingsWindow()
{
    if (!m_settingsWindowController) {
        m_settingsWindowController = std::make_unique<SettingsWindowController>();
    }
    m_settingsWindowController->show();
}

QSize ViewerPresenter::fitSize() const
{
    const QWidget* window = m_windowController->window();
    return (QSizeF(window->size()) * window->devicePixelRatioF()).toSize();
}

QImage ViewerPresenter::shownImage() const
{
    return content().canvas()->image();
}

QRectF ViewerPresenter::imageRect() const
{
    const ImageCanvasView& canvas = *content().canvas();
    const std::optional<QRectF> rect = canvas.currentImageRect();
    if (!rect) {
        return {};
    }
    return canvas.toWidget(*rect).translated(canvas.pos());
}
