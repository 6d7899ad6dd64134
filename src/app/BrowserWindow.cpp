#include "BrowserWindow.h"

#include "AppSettings.h"
#include "ImageCanvasView.h"
#include "ImageLoadingPipeline.h"
#include "MiniNavigatorView.h"
#include "SettingsNotifier.h"
#include "SettingsWindowController.h"
#include "SystemBeep.h"
#include "ThumbnailOverviewView.h"
#include "WeakCallback.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

// One press of the zoom keys.
constexpr double keyZoomStep = 1.25;

// The navigator's size and its distance from the window's right and bottom edges.
constexpr QSize navigatorSize(190, 135);
constexpr int navigatorMargin = 16;

} // namespace

BrowserWindow::BrowserWindow(ImageLoadingPipeline& pipeline, QWidget* parent)
    : QWidget(parent), m_pipeline(pipeline), m_canvas(new ImageCanvasView(this)),
      m_navigator(new MiniNavigatorView(this)), m_overview(new ThumbnailOverviewView())
{
    m_overview->setParent(this);
    setWindowTitle(QStringLiteral("vistrel.app"));
    // The window takes the keys; the canvas's text editor takes them while it has the focus.
    setFocusPolicy(Qt::StrongFocus);
    m_canvas->setFocusPolicy(Qt::NoFocus);
    m_canvas->onImageDropped =
        bindWeak(this, [](BrowserWindow* window, const QUrl& url) { window->open(url); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_canvas);
    m_canvas->onViewStateChanged =
        bindWeak(this, [](BrowserWindow* window) { window->updateNavigator(); });
    m_navigator->onViewportInteraction =
        bindWeak(this, [](BrowserWindow* window, QPointF normalizedPoint) {
            window->m_canvas->recenterVisibleRegion(normalizedPoint);
        });
    m_navigator->hide();
    m_navigator->raise();
    m_overview->hide();
    m_overview->onActivateIndex =
        bindWeak(this, [](BrowserWindow* window, int index) { window->showFromOverview(index); });
    // Printing and deleting arrive with the file operations; until then they are refused.
    m_overview->onPrintSelectedIndexes = [](const QList<int>&) { SystemBeep::beep(); };
    m_overview->onDeleteSelectedIndexes = [](const QList<int>&) { SystemBeep::beep(); };
    // Ctrl+Shift+G wherever the focus is (the grid takes it while shown).
    auto* overviewShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G), this);
    connect(overviewShortcut, &QShortcut::activated, this, &BrowserWindow::toggleOverview);
    auto* settingsShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
    connect(settingsShortcut, &QShortcut::activated, this, &BrowserWindow::showSettingsWindow);
    connect(&SettingsNotifier::instance(), &SettingsNotifier::appSettingsChanged, this,
            &BrowserWindow::applyViewingSettings);
    applyViewingSettings();
    resize(initialSize);
}

void BrowserWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateNavigator();
}

void BrowserWindow::showSettingsWindow()
{
    if (!m_settingsWindowController) {
        m_settingsWindowController = std::make_unique<SettingsWindowController>();
    }
    m_settingsWindowController->show();
}

bool BrowserWindow::isOverviewShown() const
{
    return m_overview->isVisibleTo(this);
}

void BrowserWindow::toggleOverview()
{
    if (isOverviewShown()) {
        // The first of the selected images, or the current one when none is selected.
        const int current = m_overview->selectedIndex();
        showFromOverview(m_overview->selectedIndexes(current).value(0, current));
        return;
    }
    if (m_sequence.urls().isEmpty()) {
        SystemBeep::beep();
        return;
    }
    m_overview->setGeometry(rect());
    m_overview->update(m_sequence.urls(), int(m_sequence.currentIndex()));
    m_overview->show();
    m_overview->raise();
    m_overview->selectCurrentIndex(true);
    m_overview->setFocus();
    updateNavigator();
}

void BrowserWindow::showFromOverview(int index)
{
    m_overview->hide();
    setFocus();
    if (index != m_sequence.currentIndex() && m_sequence.setCurrentIndex(index)) {
        presentCurrentImage();
    }
    updateNavigator();
}

void BrowserWindow::updateNavigator()
{
    m_navigator->setGeometry(width() - navigatorMargin - navigatorSize.width(),
                             height() - navigatorMargin - navigatorSize.height(),
                             navigatorSize.width(), navigatorSize.height());
    const std::optional<ImageCanvasView::NavigatorState> state = m_canvas->navigatorState();
    const qint64 imageKey = m_canvas->image().cacheKey();
    if (imageKey != m_navigatorImageKey) {
        m_navigatorImageKey = imageKey;
        m_navigator->setImage(m_canvas->image());
    }
    m_navigator->setState(state);
    m_overview->setGeometry(rect());
    const bool isViewMode =
        !m_canvas->isCropModeEnabled() && !m_canvas->isMarkupModeEnabled() && !isOverviewShown();
    m_navigator->setVisible(
        MiniNavigatorView::shouldShow(state, isViewMode, m_isMiniNavigatorEnabled));
}

BrowserWindow::~BrowserWindow()
{
    m_imageLoadTask.cancel();
    m_imagePreloadTask.cancel();
}

bool BrowserWindow::open(const QUrl& url)
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

void BrowserWindow::showNextImage()
{
    if (!m_sequence.setCurrentIndex(m_sequence.currentIndex() + 1)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void BrowserWindow::showPreviousImage()
{
    if (!m_sequence.setCurrentIndex(m_sequence.currentIndex() - 1)) {
        SystemBeep::beep();
        return;
    }
    presentCurrentImage();
}

void BrowserWindow::presentCurrentImage()
{
    const QList<QUrl> urls = m_sequence.urls();
    const qsizetype index = m_sequence.currentIndex();
    if (index < 0 || index >= urls.size()) {
        SystemBeep::beep();
        return;
    }
    const QUrl url = urls.at(index);
    m_imageLoadTask.cancel();
    m_imageLoadTask = m_pipeline.image(
        url, fitSize(), this,
        [this, url](const LoadedImage& preview, QSize fullPixelSize) {
            showPreview(url, preview.cgImage, fullPixelSize);
        },
        [this, url, index, urls](const std::optional<LoadedImage>& loaded) {
            if (!loaded) {
                // A preview of a file that then failed to decode must not stay up as if it
                // were the image.
                if (m_isShowingPreview && m_shownUrl == url) {
                    m_canvas->clearImage();
                    m_shownUrl = QUrl();
                    m_isShowingPreview = false;
                }
                SystemBeep::beep();
                return;
            }
            if (!isCurrent(url)) {
                return;
            }
            showImage(url, loaded->cgImage);
            preloadAdjacentImages(index, urls);
        });
}

// The user may have moved on while an image was decoding; a later task presents.
bool BrowserWindow::isCurrent(const QUrl& url) const
{
    const qsizetype current = m_sequence.currentIndex();
    return current >= 0 && current < m_sequence.urls().size() &&
           m_sequence.urls().at(current) == url;
}

void BrowserWindow::showPreview(const QUrl& url, const QImage& preview, QSize fullPixelSize)
{
    if (!isCurrent(url)) {
        return;
    }
    m_canvas->setPreview(preview, fullPixelSize, AppSettings::isPreserveViewBetweenImagesEnabled());
    m_isShowingPreview = true;
    m_shownUrl = url;
    emit previewShown(url);
}

void BrowserWindow::showImage(const QUrl& url, const QImage& image)
{
    // The full image of the preview on screen takes its place without changing the view, so
    // whatever the user did with the preview stays.
    const bool replacesPreview =
        m_isShowingPreview && m_shownUrl == url && m_canvas->imageSize() == QSizeF(image.size());
    if (replacesPreview) {
        m_canvas->replacePreview(image);
        updateNavigator(); // its miniature comes from the sharper bitmap now
    } else {
        m_canvas->setImage(image, AppSettings::isPreserveViewBetweenImagesEnabled());
    }
    m_isShowingPreview = false;
    m_shownUrl = url;
    emit imageShown(url);
}

void BrowserWindow::preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls)
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

QSize BrowserWindow::fitSize() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

QImage BrowserWindow::shownImage() const
{
    return m_canvas->image();
}

QRectF BrowserWindow::imageRect() const
{
    const std::optional<QRectF> rect = m_canvas->currentImageRect();
    if (!rect) {
        return {};
    }
    return m_canvas->toWidget(*rect).translated(m_canvas->pos());
}

void BrowserWindow::keyPressEvent(QKeyEvent* event)
{
    const MarkupTextView* textView = m_canvas->markupTextView();
    if (textView != nullptr && textView->hasFocus()) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Right:
        showNextImage();
        return;
    case Qt::Key_Left:
        showPreviousImage();
        return;
    default:
        break;
    }
    if (!handleCanvasKey(event)) {
        QWidget::keyPressEvent(event);
    }
    // A mode may have changed.
    updateNavigator();
}

bool BrowserWindow::handleCanvasKey(const QKeyEvent* event)
{
    // The keypad's keys count as the main keyboard's; Shift is part of typing "+".
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const bool plain = modifiers == Qt::NoModifier;
    const bool command = modifiers == Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_0:
        if (!plain && !command) {
            return false;
        }
        m_canvas->resetView();
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        if (!plain && !command) {
            return false;
        }
        zoomAboutTheCentre(keyZoomStep);
        return true;
    case Qt::Key_Minus:
        if (!plain && !command) {
            return false;
        }
        zoomAboutTheCentre(1 / keyZoomStep);
        return true;
    case Qt::Key_C:
        if (!plain) {
            return false;
        }
        m_canvas->setMarkupModeEnabled(false);
        m_canvas->setCropModeEnabled(!m_canvas->isCropModeEnabled());
        return true;
    case Qt::Key_M:
        if (!plain) {
            return false;
        }
        m_canvas->setCropModeEnabled(false);
        m_canvas->setMarkupModeEnabled(!m_canvas->isMarkupModeEnabled());
        return true;
    case Qt::Key_O:
        // The open panel the placeholder names; the folder of the image on screen first.
        if (!command) {
            return false;
        }
        if (const QUrl url = QFileDialog::getOpenFileUrl(
                this, QString(), QUrl::fromLocalFile(QFileInfo(m_shownUrl.toLocalFile()).path()));
            !url.isEmpty()) {
            open(url);
        }
        return true;
    case Qt::Key_Z:
        // Undo, and redo with Shift, of the markup on the image.
        if (!command || !m_canvas->isMarkupModeEnabled()) {
            return false;
        }
        event->modifiers().testFlag(Qt::ShiftModifier) ? m_canvas->markupEngine().redo()
                                                       : m_canvas->markupEngine().undo();
        return true;
    case Qt::Key_Escape:
        if (!m_canvas->isCropModeEnabled() && !m_canvas->isMarkupModeEnabled()) {
            return false;
        }
        m_canvas->setCropModeEnabled(false);
        m_canvas->setMarkupModeEnabled(false);
        return true;
    default:
        return selectMarkupToolByKey(event->key(), plain);
    }
}

// The zoom keys. While cropping the view stays still, as for the wheel: the selection is kept in
// view points and would otherwise slide over the image.
void BrowserWindow::zoomAboutTheCentre(double multiplier)
{
    if (!m_canvas->isCropModeEnabled()) {
        const QPointF centre(m_canvas->width() * 0.5, m_canvas->height() * 0.5);
        m_canvas->adjustZoom(multiplier, m_canvas->toView(centre));
    }
}

void BrowserWindow::applyViewingSettings()
{
    m_canvas->isZoomScrollInverted = AppSettings::isZoomScrollInverted();
    m_canvas->isSmoothZoomEnabled = AppSettings::isSmoothZoomEnabled();
    m_canvas->smoothZoomFactor = AppSettings::smoothZoomFactor();
    m_isMiniNavigatorEnabled = AppSettings::isMiniNavigatorEnabled();
    updateNavigator();
}

// In markup mode the digits 1 to 6 choose the tools in toolbar order.
bool BrowserWindow::selectMarkupToolByKey(int key, bool plain)
{
    constexpr auto tools = MarkupTool::allCases();
    const int position = key - Qt::Key_1;
    if (!plain || !m_canvas->isMarkupModeEnabled() || position < 0 ||
        position >= int(tools.size())) {
        return false;
    }
    m_canvas->markupEngine().setTool(tools[std::size_t(position)]);
    return true;
}
