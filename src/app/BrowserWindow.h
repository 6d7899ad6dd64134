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
    explicit BrowserWindow(ImageLoadingPipeline& pipeline, QWidget* parent = nullptr);
    ~BrowserWindow() override;

    // Loads the folder of `url` and presents `url`; false (and a beep) when it is refused.
    bool open(const QUrl& url);
    void showNextImage();
    void showPreviousImage();

    const ImageSequence& sequence() const { return m_sequence; }

    // The URL of the image on screen; empty before the first image is shown.
    QUrl shownUrl() const { return m_shownUrl; }

signals:
    // The image at `url` is now on screen.
    void imageShown(const QUrl& url);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void presentCurrentImage();
    void preloadAdjacentImages(qsizetype index, const QList<QUrl>& urls);
    void updateFittedPixmap();

    ImageLoadingPipeline& m_pipeline;
    ImageSequence m_sequence;
    CancellationHandle m_imageLoadTask;
    CancellationHandle m_imagePreloadTask;
    QImage m_image;
    // The image scaled once to the window's fitted size, so a paint never rescales the
    // full-resolution bitmap.
    QPixmap m_fitted;
    QUrl m_shownUrl;
};
