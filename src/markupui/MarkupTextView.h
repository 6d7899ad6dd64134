#pragma once

#include <QPlainTextEdit>
#include <QSizeF>
#include <functional>

// The in-place editor of a text annotation: plain multi-line text with two callbacks. It draws
// no background and no frame (the box around it does), keeps 4 device-independent pixels of
// inset on each side of the text and never wraps: lines break only where the user breaks them,
// as in the drawn annotation.
class MarkupTextView : public QPlainTextEdit
{
    Q_OBJECT

public:
    // The space kept between the text and each edge of the view, device-independent pixels.
    static constexpr double textInset = 4;

    explicit MarkupTextView(QWidget* parent = nullptr);

    // The user finished the text (Return, keypad Enter or Escape, without Shift).
    std::function<void()> commitHandler;
    // Called after every change of the text.
    std::function<void()> resizeHandler;

    // Sets the text colour, also the colour of the insertion point.
    void setTextColor(const QColor& color);
    // The size of the laid-out text without the insets: the widest line by the sum of the line
    // heights, device-independent pixels.
    QSizeF usedTextSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
