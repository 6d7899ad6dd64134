#pragma once

#include "CancellationHandle.h"
#include "ImageSequence.h"

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QUrl>
#include <memory>

class ImageLoadingPipeline;
class SettingsWindowController;
class ViewerContentView;
class ViewerWindowController;

// Shows a folder's images in the viewer window: the sequence of the folder, decoding through
// the pipeline with a preview first, preloading the neighbours, and the labels, count and
// overview of the window. Refusals beep.
class ViewerPresenter : public QObject
{
    Q_OBJECT

public:
    explicit ViewerPresenter(ImageLoadingPipeline& pipeline, QObject* parent = nullptr);
    ~ViewerPresenter() override;

    // Loads the folder of `url` and presents `url`; false (and a beep) when it is refused.
    bool open(const QUrl& url);
    void showNextImage();
    void showPreviousImage();
    void showWindow();

    const ImageSequence& sequence() const { return m_sequence; }
    ViewerWindowController& windowController() const { return *m_windowController; }
    ViewerContentView& content() const;

    // The URL of the image on screen; empty before the first image is shown.
    QUrl shownUrl() const { return m_shownUrl; }
    // True while the image on screen is the reduced preview of the one being decoded.
    bool isShowingPreview() const { return m_isShowingPreview; }
    // The bitmap on screen (the preview or the full image); null before the first.
    QImage shownImage() const;
    // Where the image is drawn, in the content view's coordinates; empty with no image.
    QRectF imageRect() const;

signals:
    // A preview of the image at `url` is on screen; the full image follows.
    void previewShown(const QUrl& url);
    // The image at `url` is now on screen at full resolution.
    void imageShown(const QUrl& url);

private:
    void wireContent();
    void presentCurrentImage();
    bool isCurrent(const QUrl& url) const;
    void showPreview(const QUrl& url, const QImage& preview, QSize fullPixelSize,
                     const QString& metadata, qsizetype index, qsizetype count);
    void showImage(const QUrl& url, const QImage& image, const QString& metadata, qsizetype index,
                   const QList<QUrl>& urls);
    // The labels, count, overview and title of the image at `index` of `urls`.
    void describeImage(const QUrl& url, const QString& metadata, qsizetype index, qsizetype count);
    void preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls);
    void showImageAt(int index);
    void showOpenPanel();
    void showSettingsWindow();
    // The window's size in device pixels, which a preview should cover.
    QSize fitSize() const;

    ImageLoadingPipeline& m_pipeline;
    ImageSequence m_sequence;
    CancellationHandle m_imageLoadTask;
    CancellationHandle m_imagePreloadTask;
    std::unique_ptr<ViewerWindowController> m_windowController;
    bool m_isShowingPreview = false;
    // False while presenting an image the user stepped to with the keys.
    bool m_revealsOverlayWhenPresented = true;
    QUrl m_shownUrl;
    // Built on first use and kept, so that it reopens as it was left.
    std::unique_ptr<SettingsWindowController> m_settingsWindowController;
};
