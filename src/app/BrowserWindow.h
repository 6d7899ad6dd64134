#pragma once

#include "CancellationHandle.h"
#include "ImageSequence.h"

#include <QImage>
#include <QPixmap>
#include <QUrl>
#include <QWidget>

class ImageLoadingPipeline;

// The first window of the viewer: one black window that shows the current image of the
// folder's sequence fitted and centred, and steps through it with the left and right arrow
// keys, decoding through the pipeline and preloading the neighbours. Refusals beep.
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
    QImage shownImage() const { return m_image; }

    // Where the image is drawn, in the window's coordinates; empty with no image.
    QRectF imageRect() const;

signals:
    // A preview of the image at `url` is on screen; the full image follows.
    void previewShown(const QUrl& url);
    // The image at `url` is now on screen at full resolution.
    void imageShown(const QUrl& url);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void presentCurrentImage();
    bool isCurrent(const QUrl& url) const;
    void showPreview(const QUrl& url, const QImage& preview, QSize fullPixelSize);
    void showImage(const QUrl& url, const QImage& image);
    void preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls);
    // The window's size in device pixels, which the image is fitted into.
    QSize fitSize() const;
    QSize fittedPixelSize() const;
    void updateFittedPixmap();

    ImageLoadingPipeline& m_pipeline;
    ImageSequence m_sequence;
    CancellationHandle m_imageLoadTask;
    CancellationHandle m_imagePreloadTask;
    QImage m_image;
    // The pixel size of the full image, orientation applied; a preview is drawn in the
    // rectangle this size fits into, so the full image replaces it without a jump.
    QSize m_fullPixelSize;
    bool m_isShowingPreview = false;
    // The image scaled once to the window's fitted size, so a paint never rescales the
    // full-resolution bitmap.
    QPixmap m_fitted;
    QUrl m_shownUrl;
};
