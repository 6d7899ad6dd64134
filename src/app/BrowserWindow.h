#pragma once

#include "CancellationHandle.h"
#include "ImageSequence.h"

#include <QImage>
#include <QUrl>
#include <QWidget>
#include <memory>

class ImageCanvasView;
class ImageLoadingPipeline;
class MiniNavigatorView;
class SettingsWindowController;
class ThumbnailOverviewView;

// The first window of the viewer: one black window whose canvas shows the current image of the
// folder's sequence, and steps through it with the left and right arrow keys, decoding through
// the pipeline and preloading the neighbours. Keys zoom, reset the view and switch crop and
// markup mode; an image dropped on the canvas is opened. Refusals beep.
class BrowserWindow : public QWidget
{
    Q_OBJECT

public:
    // The size a new window opens at, in device-independent pixels.
    static constexpr QSize initialSize{1200, 800};

    explicit BrowserWindow(ImageLoadingPipeline& pipeline, QWidget* parent = nullptr);
    ~BrowserWindow() override;

    // Loads the folder of `url` and presents `url`; false (and a beep) when it is refused.
    bool open(const QUrl& url);
    void showNextImage();
    void showPreviousImage();

    const ImageSequence& sequence() const { return m_sequence; }

    // The URL of the image on screen; empty before the first image is shown.
    QUrl shownUrl() const { return m_shownUrl; }

    // True while the image on screen is the reduced preview of the one being decoded.
    bool isShowingPreview() const { return m_isShowingPreview; }

    // The bitmap on screen (the preview or the full image); null before the first.
    QImage shownImage() const;

    // Where the image is drawn, in the window's coordinates; empty with no image.
    QRectF imageRect() const;

    ImageCanvasView& canvas() const { return *m_canvas; }
    MiniNavigatorView& navigator() const { return *m_navigator; }
    ThumbnailOverviewView& overview() const { return *m_overview; }
    bool isOverviewShown() const;
    // Shows the folder as a grid of thumbnails, or goes back to the image; beeps without images.
    void toggleOverview();

signals:
    // A preview of the image at `url` is on screen; the full image follows.
    void previewShown(const QUrl& url);
    // The image at `url` is now on screen at full resolution.
    void imageShown(const QUrl& url);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void presentCurrentImage();
    bool isCurrent(const QUrl& url) const;
    void showPreview(const QUrl& url, const QImage& preview, QSize fullPixelSize);
    void showImage(const QUrl& url, const QImage& image);
    void preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls);
    // The window's size in device pixels, which a preview should cover.
    QSize fitSize() const;
    // Keys of the canvas: reset, zoom, crop and markup mode. False when `event` is none.
    bool handleCanvasKey(const QKeyEvent* event);
    bool selectMarkupToolByKey(int key, bool plain);
    // Shows the navigator while the image is zoomed in beyond the window in view mode.
    void updateNavigator();
    void zoomAboutTheCentre(double multiplier);
    // The canvas's scroll-zoom preferences, from the settings.
    void applyViewingSettings();
    // Leaves the overview for the image at `index`.
    void showFromOverview(int index);
    // Brings the preferences window forward, building it on first use.
    void showSettingsWindow();

    ImageLoadingPipeline& m_pipeline;
    ImageSequence m_sequence;
    CancellationHandle m_imageLoadTask;
    CancellationHandle m_imagePreloadTask;
    // Owned by this window (its child), filling it.
    ImageCanvasView* m_canvas;
    // Over the canvas's lower-right corner; owned by this window.
    MiniNavigatorView* m_navigator;
    // Over the whole window while shown; owned by this window.
    ThumbnailOverviewView* m_overview;
    qint64 m_navigatorImageKey = 0;
    // The "showMiniNavigator" setting, read when settings change rather than on every pan step.
    bool m_isMiniNavigatorEnabled = true;
    bool m_isShowingPreview = false;
    QUrl m_shownUrl;
    // Built on first use and kept, so that it reopens as it was left.
    std::unique_ptr<SettingsWindowController> m_settingsWindowController;
};
