#include "SampleAnimation.h"

#include <QFont>
#include <QPainter>
#include <QTransform>
#include <array>
#include <cmath>
#include <numbers>

namespace {

struct Colours
{
    QColor sky;
    QColor ground;
    QColor sun;
    QColor ball;
};

const std::array<Colours, 3> variants = {{
    {QColor(96, 170, 230), QColor(70, 140, 70), QColor(255, 214, 90), QColor(230, 70, 60)},
    {QColor(40, 40, 90), QColor(60, 60, 70), QColor(250, 240, 200), QColor(90, 210, 190)},
    {QColor(240, 190, 140), QColor(150, 100, 60), QColor(255, 250, 230), QColor(70, 90, 200)},
}};

QImage frame(QSize size, qreal phase, const Colours& colours, const QString& caption)
{
    QImage image(size, QImage::Format_RGB32);
    const qreal width = size.width();
    const qreal height = size.height();
    const qreal horizon = height * 0.7;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, width, horizon), colours.sky);
    painter.fillRect(QRectF(0, horizon, width, height - horizon), colours.ground);

    // The sun's rays turn a twelfth of a turn per cycle, which looks the same at both ends.
    const QPointF sunCentre(width * 0.82, height * 0.2);
    const qreal sunRadius = height * 0.08;
    painter.setPen(QPen(colours.sun, 4, Qt::SolidLine, Qt::RoundCap));
    for (int ray = 0; ray < 12; ++ray) {
        const qreal angle = (ray + phase) * 2 * std::numbers::pi / 12;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(sunCentre + direction * sunRadius * 1.3,
                         sunCentre + direction * sunRadius * 1.8);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.sun);
    painter.drawEllipse(sunCentre, sunRadius, sunRadius);

    // Across and back once from the middle, bouncing four times; the shadow shrinks as the
    // ball rises. The first frame keeps the lower left corner free for the viewer's badge.
    const qreal ballRadius = height * 0.07;
    const qreal across = (1 - std::sin(phase * 2 * std::numbers::pi)) / 2;
    const qreal x = width * 0.12 + across * width * 0.6;
    const qreal rise = std::abs(std::sin(phase * 4 * std::numbers::pi));
    const qreal y = horizon + height * 0.08 - ballRadius - rise * height * 0.4;
    painter.setBrush(QColor(0, 0, 0, 70));
    const qreal shadow = ballRadius * (1.1 - 0.5 * rise);
    painter.drawEllipse(QPointF(x, horizon + height * 0.08), shadow, shadow * 0.3);
    painter.setBrush(colours.ball);
    painter.drawEllipse(QPointF(x, y), ballRadius, ballRadius);
    painter.setBrush(QColor(255, 255, 255, 140));
    painter.drawEllipse(QPointF(x - ballRadius * 0.35, y - ballRadius * 0.35), ballRadius * 0.25,
                        ballRadius * 0.25);

    QFont font;
    font.setPixelSize(int(height / 11));
    font.setBold(true);
    painter.setFont(font);
    const QRectF captionArea(0, horizon + height * 0.1, width, height * 0.18);
    painter.setPen(QColor(0, 0, 0, 150));
    painter.drawText(captionArea.translated(2, 2), Qt::AlignCenter, caption);
    painter.setPen(Qt::white);
    painter.drawText(captionArea, Qt::AlignCenter, caption);
    return image;
}

} // namespace

namespace SampleAnimation {

QList<QImage> frames(QSize size, int count, int variant, const QString& caption)
{
    const Colours& colours = variants[std::size_t(variant) % variants.size()];
    QList<QImage> images;
    images.reserve(count);
    for (int index = 0; index < count; ++index) {
        images.append(frame(size, qreal(index) / count, colours, caption));
    }
    return images;
}

} // namespace SampleAnimation
