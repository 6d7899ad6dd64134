#include "ImageCanvasView.h"
#include "MarkupAnnotation.h"
#include "MarkupGeometry.h"
#include "MarkupTextView.h"
#include "WeakCallback.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QFrame>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>

namespace {

// The narrowest the text editor's box ever is, device-independent pixels.
constexpr double minimumEditorWidth = 220;
// Room around the text inside the box: the text view's inset on both sides.
constexpr double editorInsets = 2 * MarkupTextView::textInset;
// The extra width the box keeps beyond the text, so the insertion point has room.
constexpr double editorWidthSlack = 16;
// The smallest font size an existing text is edited at.
constexpr double minimumEditingFontSize = 12;
// How far the box's corner lies before the text's origin: the text view's inset.
const QPointF editorInsetOffset(MarkupTextView::textInset, MarkupTextView::textInset);

double shorterSide(const QRectF& rect)
{
    return std::min(rect.width(), rect.height());
}

} // namespace

void ImageCanvasView::configureMarkupEngine()
{
    m_markupEngine.applyToolDefaults(m_markupDefaultsStore->load());
    m_markupEngine.imageRectProvider =
        bindWeak(this, [](ImageCanvasView* view) { return view->currentImageRect(); });
    m_markupEngine.imageProvider =
        bindWeak(this, [](ImageCanvasView* view) { return view->m_image; });
    m_markupEngine.onChanged = bindWeak(this, [](ImageCanvasView* view) {
        if (view->onMarkupChanged) {
            view->onMarkupChanged();
        }
    });
    // Selecting an annotation makes its style the current, persisted tool style.
    m_markupEngine.onSelectionChanged = bindWeak(this, [](ImageCanvasView* view) {
        if (const auto adopted = view->m_markupEngine.adoptSelectedAnnotationDefaults()) {
            view->m_markupDefaultsStore->save(*adopted);
        }
        if (view->onMarkupChanged) {
            view->onMarkupChanged();
        }
    });
    m_markupEngine.requestRedraw = bindWeak(this, [](ImageCanvasView* view) { view->update(); });
    m_markupEngine.requestCursor = bindWeak(this, [](ImageCanvasView* view, const QCursor& cursor) {
        if (view->m_isMarkupModeEnabled) {
            view->setCursor(cursor);
        }
    });
    m_markupEngine.requestCursorRefresh =
        bindWeak(this, [](ImageCanvasView* view) { view->updateMarkupCursor(); });
    m_markupEngine.requestTextEditor = bindWeak(
        this, [](ImageCanvasView* view, QPointF point) { view->showMarkupTextField(point); });
    m_markupEngine.requestEditTextAnnotation =
        bindWeak(this, [](ImageCanvasView* view, MarkupEngine::Index index, QRectF imageRect) {
            view->editMarkupTextAnnotation(index, imageRect);
        });
    m_markupEngine.commitTextEditor =
        bindWeak(this, [](ImageCanvasView* view) { view->commitMarkupTextField(); });
    m_markupEngine.dismissTextEditor =
        bindWeak(this, [](ImageCanvasView* view) { view->dismissMarkupTextFieldWithoutCommit(); });
    m_markupEngine.isEditingText =
        bindWeak(this, [](ImageCanvasView* view) { return !view->m_markupTextView.isNull(); });
}

void ImageCanvasView::setMarkupModeEnabled(bool enabled)
{
    if (enabled == m_isMarkupModeEnabled) {
        return;
    }
    m_isMarkupModeEnabled = enabled;
    updateAnimationSuspension();
    if (!enabled) {
        m_markupEngine.setSelectedIndex(std::nullopt);
        m_markupEngine.setInteractionMode(MarkupEngine::InteractionMode::none());
    }
    // Drops a half-drawn shape and commits an open text editor.
    m_markupEngine.resetDraft();
    updateMarkupCursor();
    update();
}

void ImageCanvasView::updateMarkupCursor()
{
    if (!m_isMarkupModeEnabled) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    if (!isVisible()) {
        setCursor(Qt::CrossCursor);
        return;
    }
    updateMarkupCursorAt(toView(mapFromGlobal(QCursor::pos())),
                         QGuiApplication::queryKeyboardModifiers());
}

void ImageCanvasView::updateMarkupCursorAt(QPointF point, Qt::KeyboardModifiers modifiers)
{
    setCursor(m_markupEngine.cursor(point, modifiers));
}

void ImageCanvasView::showMarkupTextField(QPointF point)
{
    dismissMarkupTextFieldWithoutCommit();
    const MarkupTextEditor editor =
        makeMarkupTextEditor(QString(), m_markupEngine.textFontSize(), m_markupEngine.strokeColor(),
                             point - editorInsetOffset, minimumEditorWidth);
    editor.container->show();
    editor.textView->setFocus(Qt::OtherFocusReason);
    m_markupTextContainer = editor.container;
    m_markupTextView = editor.textView;
    m_markupTextOriginInView = point;
    m_markupEngine.setEditingAnnotationIndex(std::nullopt);
}

void ImageCanvasView::editMarkupTextAnnotation(MarkupEngine::Index index, const QRectF& imageRect)
{
    const QList<MarkupAnnotation>& annotations = m_markupEngine.annotations();
    if (index < 0 || index >= annotations.size()) {
        return;
    }
    const MarkupAnnotation annotation = annotations.at(index);
    const auto* text = annotation.shape.as<MarkupShape::Text>();
    if (text == nullptr) {
        return;
    }
    dismissMarkupTextFieldWithoutCommit();
    m_markupEngine.captureUndoState();

    const QPointF viewOrigin = MarkupGeometry::denormalizedPoint(text->origin, imageRect);
    // The text's current size on screen, but never too small to edit.
    const double fontSize =
        std::max(minimumEditingFontSize, shorterSide(imageRect) * text->normalizedFontSize);
    const double minWidth = std::max(
        minimumEditorWidth, MarkupAnnotation::measuredTextSize(text->text, fontSize).width() + 20);
    const MarkupTextEditor editor = makeMarkupTextEditor(
        text->text, fontSize, annotation.strokeColor, viewOrigin - editorInsetOffset, minWidth);
    editor.container->show();
    editor.textView->setFocus(Qt::OtherFocusReason);
    editor.textView->selectAll();
    m_markupTextContainer = editor.container;
    m_markupTextView = editor.textView;
    m_markupTextOriginInView = viewOrigin;
    m_markupEngine.setEditingAnnotationIndex(index);
    m_markupEngine.setSelectedIndex(index);
    update();
}

ImageCanvasView::MarkupTextEditor
ImageCanvasView::makeMarkupTextEditor(const QString& text, double fontSize, const QColor& color,
                                      QPointF origin, double minWidth)
{
    auto* container = new QFrame(this);
    container->setObjectName(QStringLiteral("markupTextContainer"));
    container->setStyleSheet(QStringLiteral("#markupTextContainer { background: white; "
                                            "border: 2px solid rgb(0, 122, 255); "
                                            "border-radius: 4px; }"));

    auto* textView = new MarkupTextView(container);
    // The size the renderer gives text of this size, so the editor shows what will be drawn.
    textView->setFont(MarkupAnnotation::textFont(fontSize, *this));
    textView->setTextColor(color);
    textView->setPlainText(text);
    textView->commitHandler =
        bindWeak(this, [](ImageCanvasView* view) { view->commitMarkupTextField(); });
    textView->resizeHandler =
        bindWeak(this, [](ImageCanvasView* view) { view->resizeMarkupTextContainer(); });

    const double textHeight = text.isEmpty() ? QFontMetricsF(textView->font()).lineSpacing()
                                             : textView->usedTextSize().height();
    const QSizeF size(std::max(minWidth, minimumEditorWidth), std::ceil(textHeight) + editorInsets);
    container->setGeometry(toWidget(QRectF(origin, size)).toRect());
    textView->setGeometry(container->rect());
    return {container, textView};
}

void ImageCanvasView::resizeMarkupTextContainer()
{
    if (m_markupTextContainer.isNull() || m_markupTextView.isNull()) {
        return;
    }
    const double lineHeight = std::ceil(QFontMetricsF(m_markupTextView->font()).lineSpacing());
    const QSizeF used = m_markupTextView->usedTextSize();
    const double height =
        std::max(std::ceil(used.height()) + editorInsets, lineHeight + editorInsets);
    const double width = std::max(std::ceil(used.width()) + editorWidthSlack, minimumEditorWidth);

    // The box never narrows while typing, and grows downward: its top edge (the smaller y of
    // the widget's y-down geometry) stays where it is.
    const QRect old = m_markupTextContainer->geometry();
    m_markupTextContainer->setGeometry(
        old.x(), old.y(), std::max(static_cast<int>(width), old.width()), static_cast<int>(height));
    m_markupTextView->setGeometry(m_markupTextContainer->rect());
}

void ImageCanvasView::commitMarkupTextField()
{
    const std::optional<QRectF> imageRect = currentImageRect();
    if (m_markupTextView.isNull() || !m_markupTextOriginInView || !imageRect) {
        return;
    }
    const QString text = m_markupTextView->toPlainText().trimmed();
    const QPointF originInView = *m_markupTextOriginInView;
    const std::optional<MarkupEngine::Index> editingIndex = m_markupEngine.editingAnnotationIndex();
    dismissMarkupTextFieldWithoutCommit();

    if (editingIndex) {
        // The state before editing was captured when editing began.
        QList<MarkupAnnotation> annotations = m_markupEngine.annotations();
        const MarkupEngine::Index index = *editingIndex;
        if (index >= 0 && index < annotations.size()) {
            if (text.isEmpty()) {
                m_markupEngine.setSelectedIndex(std::nullopt);
                annotations.removeAt(index);
                m_markupEngine.setAnnotations(annotations);
            } else if (const auto* edited = annotations.at(index).shape.as<MarkupShape::Text>()) {
                MarkupAnnotation& annotation = annotations[index];
                annotation.shape =
                    MarkupShape::text(edited->origin, text, edited->normalizedFontSize);
                annotation.strokeColor = m_markupEngine.strokeColor();
                m_markupEngine.setAnnotations(annotations);
                m_markupEngine.setSelectedIndex(index);
            }
        }
        m_markupEngine.setHasCapturedUndoState(false);
        if (m_markupEngine.onChanged) {
            m_markupEngine.onChanged();
        }
    } else {
        if (text.isEmpty()) {
            return;
        }
        m_markupEngine.captureUndoState();
        // The font size is relative to the image as shown now, so the same point size typed
        // while zoomed in is smaller relative to the image.
        const MarkupAnnotation annotation(
            MarkupShape::text(MarkupGeometry::normalizedPoint(originInView, *imageRect), text,
                              m_markupEngine.textFontSize() / shorterSide(*imageRect)),
            m_markupEngine.strokeColor(), Qt::transparent, 0, 5, 1, MarkupArrowheadStyle::end);
        m_markupEngine.appendAnnotation(annotation);
        m_markupEngine.setSelectedIndex(m_markupEngine.annotations().size() - 1);
        m_markupEngine.setHasCapturedUndoState(false);
    }
    if (m_markupEngine.onChanged) {
        m_markupEngine.onChanged();
    }
    update();
}

void ImageCanvasView::dismissMarkupTextFieldWithoutCommit()
{
    if (m_markupTextContainer.isNull()) {
        return;
    }
    // Deleted later: this may run inside a key event of the text view being closed.
    QWidget* container = m_markupTextContainer;
    container->hide();
    container->deleteLater();
    m_markupTextContainer.clear();
    m_markupTextView.clear();
    m_markupTextOriginInView.reset();
    m_markupEngine.setEditingAnnotationIndex(std::nullopt);
}
