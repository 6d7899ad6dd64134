#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// One line of text in a given font and colour that shortens itself with an ellipsis when it
// does not fit, instead of widening the layout it sits in: its minimum width is small and its
// preferred width is that of the whole text.
class ElidedLabel : public QWidget
{
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode elideMode = Qt::ElideMiddle, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);
    Qt::TextElideMode elideMode() const { return m_elideMode; }
    void setElideMode(Qt::TextElideMode mode);
    // The text as painted at the current width.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_text;
    QColor m_textColor = Qt::white;
    Qt::TextElideMode m_elideMode;
};
