#include "TintedIconEngine.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

TintedIconEngine::TintedIconEngine(const QString& themeName, const QString& svgPath,
                                   const QColor& color)
    : m_themeName(themeName), m_svgPath(svgPath), m_color(color)
{}

void TintedIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                             QIcon::State state)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    QPixmap pixmap = scaledPixmap(rect.size() * ratio, mode, state, ratio);
    pixmap.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, pixmap);
}

QPixmap TintedIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap TintedIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State,
                                       qreal scale)
{
    if (size.isEmpty() || size.width() > maximumSide || size.height() > maximumSide) {
        return {};
    }
    QColor color = m_color;
    if (mode == QIcon::Disabled) {
        color.setAlphaF(color.alphaF() * disabledOpacity);
    }
    // The theme name is part of the key: the same symbol renders from another source after a
    // theme change.
    const QString cacheKey = QStringLiteral("vistrel-symbol:%1:%2:%3:%4x%5:%6")
                                 .arg(QIcon::themeName(), m_themeName, m_svgPath)
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(color.rgba(), 8, 16);
    QPixmap pixmap;
    if (!QPixmapCache::find(cacheKey, &pixmap)) {
        pixmap = QPixmap::fromImage(renderTinted(size, color));
        QPixmapCache::insert(cacheKey, pixmap);
    }
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

QIconEngine* TintedIconEngine::clone() const
{
    return new TintedIconEngine(*this);
}

QString TintedIconEngine::key() const
{
    return QStringLiteral("TintedIconEngine");
}

QString TintedIconEngine::iconName()
{
    return m_themeName;
}

bool TintedIconEngine::isNull()
{
    return false;
}

QImage TintedIconEngine::renderTinted(const QSize& size, const QColor& color) const
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int side = qMin(size.width(), size.height());
    const QRect square((size.width() - side) / 2, (size.height() - side) / 2, side, side);
    QPainter painter(&image);
    // An empty name means the bundled drawing (the theme lookup would answer for it).
    if (!m_themeName.isEmpty() && QIcon::hasThemeIcon(m_themeName)) {
        // A theme may lack the exact size and return a smaller pixmap: centre it unscaled
        // rather than blur it.
        const QPixmap source = QIcon::fromTheme(m_themeName).pixmap(square.size(), 1.0);
        QRect target(QPoint(), source.size().boundedTo(square.size()));
        target.moveCenter(square.center());
        painter.drawPixmap(target, source);
    } else {
        QSvgRenderer(m_svgPath).render(&painter, square);
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}
