#include "ToolbarStyle.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace ToolbarStyle {

QString styleSheet()
{
    // The green and red are confirmColor and cancelColor.
    return QStringLiteral(R"(
QPushButton, QToolButton {
    color: rgba(255, 255, 255, 235);
    background-color: rgba(255, 255, 255, 31);
    border: none;
    border-radius: 7px;
    padding: 0px 10px;
}
QPushButton:hover, QToolButton:hover { background-color: rgba(255, 255, 255, 51); }
QPushButton:checked, QToolButton:checked, QPushButton:pressed, QToolButton:pressed {
    background-color: rgba(255, 255, 255, 71);
}
QPushButton:disabled, QToolButton:disabled {
    color: rgba(255, 255, 255, 102);
    background-color: rgba(255, 255, 255, 20);
}
QPushButton[symbolOnly="true"] { padding: 0px; }
QPushButton[toolbarRole="confirm"] { color: white; background-color: rgb(48, 209, 88); }
QPushButton[toolbarRole="confirm"]:hover { background-color: rgb(70, 220, 108); }
QPushButton[toolbarRole="confirm"]:pressed { background-color: rgb(38, 178, 74); }
QPushButton[toolbarRole="confirm"]:disabled {
    color: rgba(255, 255, 255, 128);
    background-color: rgba(48, 209, 88, 89);
}
QPushButton[toolbarRole="cancel"] { color: rgb(255, 69, 58); }
QPushButton[toolbarRole="cancel"]:disabled { color: rgba(255, 69, 58, 102); }
SegmentedControl QToolButton {
    background-color: transparent;
    border-radius: 6px;
    padding: 0px;
}
SegmentedControl QToolButton:hover { background-color: rgba(255, 255, 255, 20); }
SegmentedControl QToolButton:checked { background-color: rgba(255, 255, 255, 71); }
QLabel { color: rgba(255, 255, 255, 166); background: transparent; }
QSlider { background: transparent; }
QSlider::groove:horizontal {
    height: 3px;
    border-radius: 1px;
    background: rgba(255, 255, 255, 51);
}
QSlider::sub-page:horizontal {
    height: 3px;
    border-radius: 1px;
    background: rgba(255, 255, 255, 190);
}
QSlider::handle:horizontal {
    width: 14px;
    height: 14px;
    margin: -6px 0px;
    border-radius: 7px;
    background: rgb(240, 240, 240);
}
QSlider::handle:horizontal:hover { background: white; }
QSlider::sub-page:horizontal:disabled { background: rgba(255, 255, 255, 70); }
QSlider::handle:horizontal:disabled { background: rgba(255, 255, 255, 110); }
QFrame[toolbarSeparator="true"] { background-color: rgba(255, 255, 255, 46); border: none; }
QToolTip {
    color: white;
    background-color: rgb(44, 44, 46);
    border: 1px solid rgba(255, 255, 255, 40);
    padding: 3px;
}
)");
}

QFont font(double designSize, QFont::Weight weight)
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * designSize / normalDesignSize);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(std::max(1, qRound(font.pixelSize() * designSize / normalDesignSize)));
    }
    font.setWeight(weight);
    return font;
}

void setStyleProperty(QWidget* widget, const char* name, const QVariant& value)
{
    if (widget->property(name) == value) {
        return;
    }
    widget->setProperty(name, value);
    // Rules keyed by a property apply only after the style is applied again.
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

} // namespace ToolbarStyle
