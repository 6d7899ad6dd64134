#include "ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace {

// The narrowest the label gets in a layout: room for an ellipsis and a little text.
constexpr int narrowestWidth = 24;
// Room above and below the line: at small sizes an underscore is drawn below the font's
// descent and would be cut off at the label's edge.
constexpr int verticalPadding = 1;

} // namespace

ElidedLabel::ElidedLabel(Qt::TextElideMode elideMode, QWidget* parent)
    : QWidget(parent), m_elideMode(elideMode)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == m_text) {
        return;
    }
    m_text = text;
    setToolTip(text);
    updateGeometry();
    update();
}

void ElidedLabel::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    m_elideMode = mode;
    update();
}

QString ElidedLabel::displayedText() const
{
    return fontMetrics().elidedText(m_text, m_elideMode, contentsRect().width());
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {std::max(narrowestWidth, metrics.horizontalAdvance(m_text) + 1),
            metrics.height() + 2 * verticalPadding};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {narrowestWidth, fontMetrics().height() + 2 * verticalPadding};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_textColor);
    painter.setFont(font());
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, displayedText());
}

void ElidedLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
}
