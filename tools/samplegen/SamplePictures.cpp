#include "SamplePictures.h"

#include <QColorSpace>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <array>

namespace {

struct Palette
{
    QColor skyTop;
    QColor skyBottom;
    QColor sun;
    QColor hills;
    QColor accent;
};

const std::array<Palette, 5> palettes = {{
    {QColor(18, 32, 84), QColor(240, 140, 90), QColor(255, 220, 120), QColor(40, 50, 60),
     QColor(230, 90, 70)},
    {QColor(70, 150, 220), QColor(200, 235, 255), QColor(255, 250, 200), QColor(60, 120, 60),
     QColor(250, 200, 40)},
    {QColor(40, 10, 60), QColor(150, 60, 140), QColor(250, 180, 220), QColor(20, 20, 40),
     QColor(120, 220, 200)},
    {QColor(120, 180, 160), QColor(240, 240, 210), QColor(255, 160, 60), QColor(110, 80, 50),
     QColor(60, 90, 170)},
    {QColor(10, 10, 20), QColor(40, 60, 110), QColor(230, 230, 255), QColor(30, 40, 30),
     QColor(200, 60, 160)},
}};

void drawCaption(QPainter& painter, const QRect& area, const QString& caption, int pixelSize)
{
    QFont font;
    font.setPixelSize(pixelSize);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 0, 150));
    painter.drawText(area.translated(2, 2), Qt::AlignCenter, caption);
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignCenter, caption);
}

// The picture as it should appear on screen.
QImage uprightChart(int orientation)
{
    const QSize size = SamplePictures::orientationChartDisplaySize();
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, size.width(), size.height());
    background.setColorAt(0, QColor(235, 235, 245));
    background.setColorAt(1, QColor(170, 185, 215));
    painter.fillRect(image.rect(), background);

    const int corner = size.height() / 8;
    painter.fillRect(QRect(0, 0, corner, corner), QColor(220, 30, 30));
    painter.fillRect(QRect(size.width() - corner, 0, corner, corner), QColor(30, 170, 60));

    // The letter F as three bars, so it does not depend on any installed font.
    const int unit = size.height() / 10;
    const QPoint origin(size.width() / 2 - 2 * unit, unit * 2);
    painter.setBrush(QColor(30, 40, 90));
    painter.setPen(Qt::NoPen);
    painter.drawRect(QRect(origin, QSize(unit, 6 * unit)));
    painter.drawRect(QRect(origin, QSize(4 * unit, unit)));
    painter.drawRect(QRect(origin + QPoint(0, 5 * unit / 2), QSize(3 * unit, unit)));

    drawCaption(painter, QRect(0, size.height() - 2 * unit, size.width(), 2 * unit),
                QStringLiteral("Orientation %1").arg(orientation), unit);
    return image;
}

} // namespace

namespace SamplePictures {

QSize orientationChartDisplaySize()
{
    return {480, 320};
}

QImage scene(QSize size, int variant, const QString& caption, bool withTransparency)
{
    const Palette& palette = palettes[static_cast<std::size_t>(variant) % palettes.size()];
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = size.width();
    const qreal height = size.height();

    if (!withTransparency) {
        QLinearGradient sky(0, 0, 0, height * 0.7);
        sky.setColorAt(0, palette.skyTop);
        sky.setColorAt(1, palette.skyBottom);
        painter.fillRect(image.rect(), sky);
    }

    const QPointF sunCentre(width * (0.25 + 0.12 * (variant % 5)), height * 0.35);
    const qreal sunRadius = height * 0.14;
    QRadialGradient sun(sunCentre, sunRadius * 1.6);
    sun.setColorAt(0, palette.sun);
    sun.setColorAt(0.6, palette.sun);
    sun.setColorAt(1, Qt::transparent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(sun);
    painter.drawEllipse(sunCentre, sunRadius * 1.6, sunRadius * 1.6);

    QPainterPath hills;
    hills.moveTo(0, height);
    hills.lineTo(0, height * 0.7);
    const int peaks = 3 + variant % 4;
    for (int i = 0; i < peaks; ++i) {
        const qreal x0 = width * i / peaks;
        const qreal x1 = width * (i + 1) / peaks;
        const qreal peak = height * (0.45 + 0.08 * ((i + variant) % 3));
        hills.quadTo((x0 + x1) / 2, peak, x1, height * 0.7);
    }
    hills.lineTo(width, height);
    hills.closeSubpath();
    QColor hillColour = palette.hills;
    if (withTransparency) {
        hillColour.setAlpha(170);
    }
    painter.setBrush(hillColour);
    painter.drawPath(hills);

    QColor accent = palette.accent;
    if (withTransparency) {
        accent.setAlpha(140);
    }
    painter.setBrush(accent);
    const qreal box = height * 0.12;
    painter.drawRoundedRect(QRectF(width * 0.78, height * 0.12, box * 1.6, box), box * 0.2,
                            box * 0.2);
    painter.setPen(QPen(palette.accent.lighter(130), height * 0.01));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(width * 0.12, height * 0.18), box * 0.5, box * 0.5);

    drawCaption(painter, QRect(0, int(height * 0.72), int(width), int(height * 0.2)), caption,
                int(height * 0.09));
    painter.end();
    return withTransparency ? image : image.convertToFormat(QImage::Format_RGB32);
}

QImage orientationChart(int orientation)
{
    const QImage upright = uprightChart(orientation);
    // Stored pixels are the upright picture under the inverse of the transform that the
    // orientation value asks a viewer to apply. Mirrors, the half turn, the transpose (5) and
    // the transverse (7) are their own inverses; 6 is shown turned a quarter clockwise, so it
    // is stored turned a quarter anticlockwise, and 8 the other way round.
    switch (orientation) {
    case 2:
        return upright.mirrored(true, false);
    case 3:
        return upright.transformed(QTransform().rotate(180));
    case 4:
        return upright.mirrored(false, true);
    case 5:
        return upright.mirrored(true, false).transformed(QTransform().rotate(-90));
    case 6:
        return upright.transformed(QTransform().rotate(-90));
    case 7:
        return upright.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8:
        return upright.transformed(QTransform().rotate(90));
    default:
        return upright;
    }
}

QImage wideGamutChart(QSize size, const QString& caption)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    image.setColorSpace(QColorSpace::SRgb);
    QPainter painter(&image);
    const int band = size.height() / 3;
    QLinearGradient sweep(0, 0, size.width(), 0);
    for (int step = 0; step <= 6; ++step) {
        sweep.setColorAt(step / 6.0, QColor::fromHsv(step * 60 % 360, 255, 255));
    }
    painter.fillRect(QRect(0, 0, size.width(), band), sweep);
    const std::array<QColor, 6> swatches = {Qt::red,  Qt::yellow, Qt::green,
                                            Qt::cyan, Qt::blue,   Qt::magenta};
    const int count = int(swatches.size());
    for (int i = 0; i < count; ++i) {
        const int left = size.width() * i / count;
        const int right = size.width() * (i + 1) / count;
        painter.fillRect(QRect(left, band, right - left, band), swatches[i]);
    }
    drawCaption(painter, QRect(0, 2 * band, size.width(), size.height() - 2 * band), caption,
                size.height() / 14);
    painter.end();
    image.convertToColorSpace(QColorSpace::AdobeRgb);
    return image;
}

} // namespace SamplePictures
