#include "ColorWell.h"

#include <QColorDialog>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionToolButton>
#include <algorithm>
#include <cmath>

namespace {

constexpr double bezelRadius = 6;
constexpr double swatchInset = 4;
constexpr double swatchRadius = 3;
constexpr int checkerSquare = 4;
const QColor bezelFill(255, 255, 255, 31);
const QColor bezelHoverFill(255, 255, 255, 51);
const QColor bezelPressedFill(255, 255, 255, 71);
const QColor swatchStroke(255, 255, 255, 90);
const QColor checkerLight(235, 235, 235);
const QColor checkerDark(170, 170, 170);

} // namespace

ColorWell::ColorWell(const QString& title, const QColor& color, QWidget* parent)
    : QToolButton(parent), m_title(title), m_color(color)
{
    setToolTip(title);
    setFixedSize(wellSize);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    connect(this, &QToolButton::clicked, this, &ColorWell::chooseColor);
}

void ColorWell::setColor(const QColor& color)
{
    if (!color.isValid()) {
        return;
    }
    m_color = color;
    update();
}

void ColorWell::setColorFromUser(const QColor& color)
{
    if (!color.isValid()) {
        return;
    }
    setColor(color);
    if (onColorChanged) {
        onColorChanged(m_color);
    }
}

void ColorWell::setOpacity(double opacity)
{
    if (!std::isfinite(opacity)) {
        return;
    }
    m_opacity = std::clamp(opacity, 0.0, 1.0);
    update();
}

void ColorWell::chooseColor()
{
    setColorFromUser(
        QColorDialog::getColor(m_color, window(), m_title, QColorDialog::ShowAlphaChannel));
}

void ColorWell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);

    QStyleOptionToolButton option;
    initStyleOption(&option);
    const bool isPressed = isDown();
    const bool isHovered = isEnabled() && (option.state & QStyle::State_MouseOver);
    const QRectF bezel = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isPressed ? bezelPressedFill : isHovered ? bezelHoverFill : bezelFill);
    painter.drawRoundedRect(bezel, bezelRadius, bezelRadius);

    const QRectF swatch = bezel.adjusted(swatchInset, swatchInset, -swatchInset, -swatchInset);
    QPainterPath swatchPath;
    swatchPath.addRoundedRect(swatch, swatchRadius, swatchRadius);
    painter.save();
    painter.setClipPath(swatchPath);
    if (m_color.alpha() < 255) {
        painter.fillRect(swatch, checkerLight);
        for (int y = 0; y * checkerSquare < swatch.height(); ++y) {
            for (int x = (y % 2); x * checkerSquare < swatch.width(); x += 2) {
                painter.fillRect(QRectF(swatch.left() + x * checkerSquare,
                                        swatch.top() + y * checkerSquare, checkerSquare,
                                        checkerSquare),
                                 checkerDark);
            }
        }
    }
    painter.fillRect(swatch, m_color);
    painter.restore();
    painter.setPen(QPen(swatchStroke, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(swatchPath);
}
