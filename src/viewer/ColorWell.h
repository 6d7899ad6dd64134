#pragma once

#include <QColor>
#include <QString>
#include <QToolButton>
#include <functional>

// A small button showing a colour as a rounded swatch (over a checkerboard where the colour is
// translucent); a click opens the colour dialog, alpha included. It can be drawn dimmed, at an
// opacity below 1, independently of being enabled.
class ColorWell : public QToolButton
{
    Q_OBJECT

public:
    static constexpr QSize wellSize{52, 23};

    // `title` names the colour: the tool tip and the dialog's title.
    explicit ColorWell(const QString& title, const QColor& color = Qt::white,
                       QWidget* parent = nullptr);

    // Called when the user picked a colour in the dialog.
    std::function<void(const QColor& color)> onColorChanged;

    QColor color() const { return m_color; }
    // Shows `color` without calling onColorChanged; an invalid colour is ignored.
    void setColor(const QColor& color);
    // What an accepted dialog does: shows `color` and calls onColorChanged. An invalid colour
    // (a cancelled dialog) changes nothing.
    void setColorFromUser(const QColor& color);

    // The opacity the whole well is drawn with, 0 to 1.
    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);

    QSize sizeHint() const override { return wellSize; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void chooseColor();

    QString m_title;
    QColor m_color;
    double m_opacity = 1;
};
