#include "MarkupTextView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>

MarkupTextView::MarkupTextView(QWidget* parent) : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(textInset);
    // The box behind the view shows through: neither the view nor its viewport fill.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    setPalette(clear);
    // Qt draws the insertion point inverting what lies below it (black on the white box); this
    // view draws its own in the text colour instead, steady while it has focus, and repaints
    // whenever it moves so that none is left behind.
    setCursorWidth(0);
    connect(this, &QPlainTextEdit::cursorPositionChanged, viewport(),
            qOverload<>(&QWidget::update));
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (resizeHandler) {
            resizeHandler();
        }
    });
}

void MarkupTextView::setTextColor(const QColor& color)
{
    // The insertion point is drawn in the palette's text colour too (paintEvent).
    QPalette colored = palette();
    colored.setColor(QPalette::Text, color);
    setPalette(colored);
}

QSizeF MarkupTextView::usedTextSize() const
{
    double width = 0;
    double height = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        // Lays the block out when it is not yet (its rectangle also counts the document margin,
        // so the lines are measured instead).
        blockBoundingRect(block);
        const QTextLayout* layout = block.layout();
        for (int line = 0; line < layout->lineCount(); ++line) {
            width = std::max(width, layout->lineAt(line).naturalTextWidth());
            height += layout->lineAt(line).height();
        }
    }
    return {width, height};
}

void MarkupTextView::paintEvent(QPaintEvent* event)
{
    QPlainTextEdit::paintEvent(event);
    if (!hasFocus() || isReadOnly()) {
        return;
    }
    const QRect position = cursorRect();
    const int width = std::max(1, style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this));
    QPainter painter(viewport());
    painter.fillRect(QRect(position.left(), position.top(), width, position.height()),
                     palette().color(QPalette::Text));
}

void MarkupTextView::keyPressEvent(QKeyEvent* event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && event->modifiers().testFlag(Qt::ShiftModifier)) {
        // A new paragraph rather than the editor's soft line break, so that the text holds a
        // plain line break (replacing any selection, like typed text).
        insertPlainText(QStringLiteral("\n"));
        event->accept();
        return;
    }
    if (isReturn || event->key() == Qt::Key_Escape) {
        event->accept();
        if (commitHandler) {
            commitHandler();
        }
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
