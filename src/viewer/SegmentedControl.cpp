#include "SegmentedControl.h"

#include "SymbolImage.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <algorithm>

namespace {

constexpr int segmentHeight = 24;
// The capsule's inset around the segments, so a selected segment sits inside it.
constexpr int capsulePadding = 2;
constexpr QSize symbolSize(16, 16);
const QColor capsuleFill(255, 255, 255, 26);
const QColor capsuleStroke(255, 255, 255, 36);

} // namespace

SegmentedControl::SegmentedControl(const QList<Segment>& segments, int segmentWidth,
                                   QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(capsulePadding, capsulePadding, capsulePadding, capsulePadding);
    layout->setSpacing(0);
    for (const Segment& segment : segments) {
        auto* button = new QToolButton(this);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(segment.toolTip);
        button->setFixedSize(segmentWidth, segmentHeight);
        if (segment.symbol.isEmpty()) {
            button->setText(segment.text);
            button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        } else {
            button->setIcon(SymbolImage::icon(segment.symbol));
            button->setIconSize(symbolSize);
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        }
        const int index = int(m_buttons.size());
        m_group->addButton(button, index);
        m_buttons.append(button);
        layout->addWidget(button);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int index) {
        if (onSegmentSelected) {
            onSegmentSelected(index);
        }
    });
}

int SegmentedControl::selectedSegment() const
{
    return m_group->checkedId();
}

void SegmentedControl::setSelectedSegment(int segment)
{
    if (QToolButton* button = m_buttons.value(segment)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; it lets go only while not exclusive.
    m_group->setExclusive(false);
    for (QToolButton* button : std::as_const(m_buttons)) {
        button->setChecked(false);
    }
    m_group->setExclusive(true);
}

void SegmentedControl::selectSegmentFromUser(int segment)
{
    if (segment < 0 || segment >= segmentCount()) {
        return;
    }
    m_buttons[segment]->click();
}

void SegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(capsule.height() / 2, 8.0);
    painter.setPen(QPen(capsuleStroke, 1));
    painter.setBrush(capsuleFill);
    painter.drawRoundedRect(capsule, radius, radius);
}
