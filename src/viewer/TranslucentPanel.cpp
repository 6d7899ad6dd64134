#include "TranslucentPanel.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <functional>

namespace {

// Dark enough for white text over a white sky, light enough to keep the photo's context.
const QColor panelFill(12, 12, 14, 168);
const QColor panelRim(255, 255, 255, 38);

} // namespace

TranslucentPanel::TranslucentPanel(QWidget* parent)
    : QWidget(parent), m_opacityEffect(new QGraphicsOpacityEffect(this)),
      m_animation(new QPropertyAnimation(m_opacityEffect, "opacity", this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_opacityEffect->setOpacity(1);
    setGraphicsEffect(m_opacityEffect);
}

double TranslucentPanel::alpha() const
{
    return m_opacityEffect->opacity();
}

void TranslucentPanel::setAlpha(double alpha)
{
    ++m_fadeGeneration;
    m_animation->stop();
    m_targetAlpha = alpha;
    applyAlpha(alpha);
}

void TranslucentPanel::fadeTo(double alpha, int milliseconds, std::function<void()> finished)
{
    const quint64 generation = ++m_fadeGeneration;
    m_animation->stop();
    m_targetAlpha = alpha;
    // A fade in must be clickable from its first frame.
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    disconnect(m_animation, &QPropertyAnimation::finished, this, nullptr);
    connect(m_animation, &QPropertyAnimation::finished, this,
            [this, generation, alpha, finished = std::move(finished)] {
                if (generation != m_fadeGeneration) {
                    return;
                }
                applyAlpha(alpha);
                if (finished) {
                    finished();
                }
            });
    m_animation->setDuration(milliseconds);
    m_animation->setStartValue(m_opacityEffect->opacity());
    m_animation->setEndValue(alpha);
    m_animation->start();
}

void TranslucentPanel::applyAlpha(double alpha)
{
    m_opacityEffect->setOpacity(alpha);
    // An invisible panel must not swallow clicks meant for the image below.
    setAttribute(Qt::WA_TransparentForMouseEvents, alpha <= 0);
}

void TranslucentPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Half a pixel in, so the one-pixel rim lies on whole pixels.
    const QRectF plate = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(panelRim, 1));
    painter.setBrush(panelFill);
    painter.drawRoundedRect(plate, cornerRadius, cornerRadius);
}
