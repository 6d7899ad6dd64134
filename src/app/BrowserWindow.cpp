#include "BrowserWindow.h"

#include "ImageLoadingPipeline.h"
#include "SystemBeep.h"

#include <QKeyEvent>
#include <QPainter>

BrowserWindow::BrowserWindow(ImageLoadingPipeline& pipeline, QWidget* parent)
    : QWidget(parent), m_pipeline(pipeline)
{
    setWindowTitle(QStringLiteral("vistrel.app"));
    resize(1200, 800);
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
        url, this, [this, url, index, urls](const std::optional<LoadedImage>& loaded) {
            if (!loaded) {
                SystemBeep::beep();
                return;
            }
            // The user may have moved on while this image was decoding; a later task presents.
            const qsizetype current = m_sequence.currentIndex();
            if (current >= m_sequence.urls().size() || m_sequence.urls().at(current) != url) {
                return;
            }
            m_image = loaded->cgImage;
            m_shownUrl = url;
            updateFittedPixmap();
            update();
            emit imageShown(url);
            preloadAdjacentImages(index, urls);
        });
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

void BrowserWindow::updateFittedPixmap()
{
    if (m_image.isNull() || width() <= 0 || height() <= 0) {
        m_fitted = QPixmap();
        return;
    }
    // Small images are enlarged to fit as well.
    const QSize fitted = m_image.size().scaled(size() * devicePixelRatioF(), Qt::KeepAspectRatio);
    QPixmap pixmap =
        QPixmap::fromImage(m_image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_fitted = pixmap;
}

void BrowserWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_fitted.isNull()) {
        return;
    }
    const QSizeF shown = m_fitted.deviceIndependentSize();
    const QPointF topLeft((width() - shown.width()) / 2, (height() - shown.height()) / 2);
    painter.drawPixmap(topLeft, m_fitted);
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
