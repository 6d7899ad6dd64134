#include "ValueSlider.h"

#include <algorithm>
#include <cmath>

ValueSlider::ValueSlider(double minimum, double maximum, double initial, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_minimum(std::min(minimum, maximum)),
      m_maximum(std::max(minimum, maximum)), m_value(m_minimum)
{
    setRange(0, stepCount);
    setSingleStep(1);
    setPageStep(stepCount / 10);
    setValue(initial);
    connect(this, &QSlider::valueChanged, this, &ValueSlider::handleValueChanged);
    connect(this, &QSlider::sliderReleased, this, &ValueSlider::handleReleased);
}

void ValueSlider::setValue(double value)
{
    if (!std::isfinite(value)) {
        return;
    }
    m_value = std::clamp(value, m_minimum, m_maximum);
    m_isSettingPosition = true;
    QSlider::setValue(positionFor(m_value));
    m_isSettingPosition = false;
}

void ValueSlider::setValueFromUser(double value)
{
    if (!std::isfinite(value)) {
        return;
    }
    setValue(value);
    report(Change::single);
}

int ValueSlider::positionFor(double value) const
{
    const double span = m_maximum - m_minimum;
    if (!(span > 0)) {
        return 0;
    }
    return int(std::lround((value - m_minimum) / span * stepCount));
}

void ValueSlider::handleValueChanged(int position)
{
    if (m_isSettingPosition) {
        return;
    }
    m_value = m_minimum + (m_maximum - m_minimum) * double(position) / stepCount;
    if (!isSliderDown()) {
        report(Change::single);
        return;
    }
    const Change change = m_isDragChanging ? Change::dragged : Change::dragStarted;
    m_isDragChanging = true;
    report(change);
}

void ValueSlider::handleReleased()
{
    if (!m_isDragChanging) {
        return;
    }
    m_isDragChanging = false;
    report(Change::released);
}

void ValueSlider::report(Change change)
{
    m_lastChange = change;
    if (onValueChanged) {
        onValueChanged(m_value);
    }
}
