#include "BrowserWindow.h"

#include "ImageLoadingPipeline.h"
#include "SystemBeep.h"

#include <QKeyEvent>
#include <QPainter>

BrowserWindow::BrowserWindow(ImageLoadingPipeline& pipeline, QWidget* parent)
    : QWidget(parent), m_pipeline(pipeline)
{
    setWindowTitle(QStringLiteral("vistrel.app"));
    resize(initialSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
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
                    m_image = QImage();
                    m_fitted = QPixmap();
                    m_shownUrl = QUrl();
                    m_isShowingPreview = false;
                    update();
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
    m_image = preview;
    m_fullPixelSize = fullPixelSize;
    m_isShowingPreview = true;
    m_shownUrl = url;
    updateFittedPixmap();
    update();
    emit previewShown(url);
}

void BrowserWindow::showImage(const QUrl& url, const QImage& image)
{
    // The preview covers the fitted size (the window was not enlarged since): its scaled
    // pixmap is what the full image would give, so the full bitmap is kept for the next resize
    // and nothing is rescaled now.
    const bool keepsPixmap =
        m_isShowingPreview && m_shownUrl == url && m_fullPixelSize == image.size() &&
        m_fitted.size() == fittedPixelSize() && m_image.width() >= m_fitted.width() &&
        m_image.height() >= m_fitted.height();
    m_image = image;
    m_fullPixelSize = image.size();
    m_isShowingPreview = false;
    m_shownUrl = url;
    if (!keepsPixmap) {
        updateFittedPixmap();
        update();
    }
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

// Small images are enlarged to fit as well.
QSize BrowserWindow::fittedPixelSize() const
{
    return m_fullPixelSize.scaled(fitSize(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QRectF BrowserWindow::imageRect() const
{
    if (m_fitted.isNull()) {
        return {};
    }
    const QSizeF shown = m_fitted.deviceIndependentSize();
    return {QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown};
}

void BrowserWindow::updateFittedPixmap()
{
    if (m_image.isNull() || width() <= 0 || height() <= 0) {
        m_fitted = QPixmap();
        return;
    }
    const QSize fitted = fittedPixelSize();
    QPixmap pixmap =
        QPixmap::fromImage(m_image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_fitted = pixmap;
}

void BrowserWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_fitted.isNull()) {
        painter.drawPixmap(imageRect().topLeft(), m_fitted);
    }
}

void BrowserWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Right:
        showNextImage();
        break;
    case Qt::Key_Left:
        showPreviousImage();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void BrowserWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateFittedPixmap();
}
