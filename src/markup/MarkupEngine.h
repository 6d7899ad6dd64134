#pragma once

#include "MarkupAnnotation.h"
#include "MarkupArrowheadStyle.h"
#include "MarkupHandle.h"
#include "MarkupTool.h"
#include "MarkupToolDefaults.h"

#include <QColor>
#include <QCursor>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <Qt>
#include <functional>
#include <optional>

// The editing engine of markup mode: it keeps the annotations of one image in normalized
// image coordinates, the selection, an undo and redo history of whole annotation lists, and
// the current tool and style, and it turns presses, drags and releases into annotations.
//
// The engine knows nothing of windows. The host hands it pointer positions in its own view
// coordinates (y up, points) and says through imageRectProvider where the image lies in that
// view; the engine talks back only through the optional callbacks below, which the host
// binds weakly (bindWeak) so they do nothing once the host is gone. Main thread only.
//
// Invariant: selectedIndex(), when present, is a valid index of annotations(). The engine's
// own operations keep it (undo and redo repair it); setAnnotations() drops a selection the new
// list no longer has.
//
// Gestures are undo steps: captureUndoState() snapshots the list once per open step, and the
// end of a press (or finalizeHistoryCapture()) closes the step, so a whole drag undoes at once.
class MarkupEngine
{
public:
    using Index = qsizetype;

    enum class LineEndpoint
    {
        start,
        end
    };

    // What the current press is doing.
    class InteractionMode
    {
    public:
        enum class Kind
        {
            none,
            drawing,
            move,
            resize,
            resizeLine,
            resizeArrowAnchor
        };

        static InteractionMode none() { return InteractionMode(Kind::none); }
        static InteractionMode drawing() { return InteractionMode(Kind::drawing); }
        static InteractionMode move(Index annotationIndex);
        static InteractionMode resize(Index annotationIndex, MarkupHandle handle);
        static InteractionMode resizeLine(Index annotationIndex, LineEndpoint endpoint);
        static InteractionMode resizeArrowAnchor(Index annotationIndex, Index anchorIndex);

        Kind kind() const { return m_kind; }
        // The annotation being changed; absent for none and drawing.
        std::optional<Index> annotationIndex() const { return m_annotationIndex; }
        // Present for resize only.
        std::optional<MarkupHandle> handle() const { return m_handle; }
        // Present for resizeLine only.
        std::optional<LineEndpoint> endpoint() const { return m_endpoint; }
        // Present for resizeArrowAnchor only.
        std::optional<Index> anchorIndex() const { return m_anchorIndex; }

        friend bool operator==(const InteractionMode&, const InteractionMode&) = default;

    private:
        explicit InteractionMode(Kind kind) : m_kind(kind) {}

        Kind m_kind;
        std::optional<Index> m_annotationIndex;
        std::optional<MarkupHandle> m_handle;
        std::optional<LineEndpoint> m_endpoint;
        std::optional<Index> m_anchorIndex;
    };

    // The kind of user-interface event being processed when a style setter runs. A slider
    // reports its press and release so that one slider drag becomes one undo step.
    enum class EventKind
    {
        other,
        leftButtonPress,
        leftButtonRelease
    };

    // Minimum size in points when resizing blur regions and text.
    static constexpr double minSize = 20;
    // Minimum size in points when resizing rectangles and ellipses.
    static constexpr double thinShapeMinSize = 1;
    // Half the side of a corner handle's hit square, points.
    static constexpr double handleHitRadius = 10;
    // Stroke alpha of annotations and drafts on screen; flattened copies use full alpha.
    static constexpr double liveStrokeAlpha = 0.96;

    // The cursor shown where an option-press would add an anchor to an arrow: a plus in a
    // white disc with a small arrow to its upper right, 22 x 22 points, hot spot on the plus.
    // Made on first use and shared; needs a QGuiApplication.
    static QCursor markupAddAnchor();

    MarkupEngine();

    MarkupEngine(const MarkupEngine&) = delete;
    MarkupEngine& operator=(const MarkupEngine&) = delete;

    // --- Callbacks (all optional) ---

    // The image's rectangle in view coordinates; absent when no image is shown, and then every
    // operation that needs it does nothing. A rectangle without area, or with a coordinate that
    // is not finite, counts as absent.
    std::function<std::optional<QRectF>()> imageRectProvider;
    // The shown image, the pixels blur regions fall back to when the painter's device cannot be
    // read back (a widget); a null image means none. Asked at most once per draw().
    std::function<QImage()> imageProvider;
    // After any change of the annotations or the history.
    std::function<void()> onChanged;
    // Whenever the selected index changes to a different value.
    std::function<void()> onSelectionChanged;
    // After visible changes.
    std::function<void()> requestRedraw;
    // Show this pointer cursor (from updateCursor()).
    std::function<void(const QCursor&)> requestCursor;
    // When the pointer cursor may have to change (a press on an annotation, a release).
    std::function<void()> requestCursorRefresh;
    // The text tool was pressed on empty image area: open a new text editor at this view point.
    std::function<void(QPointF)> requestTextEditor;
    // A text annotation was double-clicked: edit annotation `index` in the image rectangle.
    std::function<void(Index index, QRectF imageRect)> requestEditTextAnnotation;
    // Commit the open text editor (when the draft is reset, and on a press while it is open).
    std::function<void()> commitTextEditor;
    // Close the open text editor without committing (when the engine is reset).
    std::function<void()> dismissTextEditor;
    // Whether the host's text editor is open; false when unbound.
    std::function<bool()> isEditingText;

    // --- State ---

    // Drawing order: index 0 is drawn first (bottom), the last on top.
    const QList<MarkupAnnotation>& annotations() const { return m_annotations; }
    // Replaces the list without notifying (the host calls onChanged when it is done); drops a
    // selection that the new list does not have.
    void setAnnotations(const QList<MarkupAnnotation>& annotations);
    // Snapshots of the annotation list, newest last.
    const QList<QList<MarkupAnnotation>>& undoStack() const { return m_undoStack; }
    const QList<QList<MarkupAnnotation>>& redoStack() const { return m_redoStack; }

    std::optional<Index> selectedIndex() const { return m_selectedIndex; }
    // Selects an annotation (absent: none); an index out of range selects none. Calls
    // onSelectionChanged when the value changes.
    void setSelectedIndex(std::optional<Index> index);

    InteractionMode interactionMode() const { return m_interactionMode; }
    void setInteractionMode(const InteractionMode& mode) { m_interactionMode = mode; }

    MarkupTool tool() const { return m_tool; }
    QColor strokeColor() const { return m_strokeColor; }
    QColor fillColor() const { return m_fillColor; }
    // Point size of new text (used by the host's text editor).
    double textFontSize() const { return m_textFontSize; }
    // Ignores a size that is not finite.
    void setTextFontSize(double pointSize);
    // Line width of new arrows, points.
    double arrowLineWidth() const { return m_arrowLineWidth; }
    double arrowHeadScale() const { return m_arrowHeadScale; }
    double arrowHeadWidthScale() const { return m_arrowHeadWidthScale; }
    MarkupArrowheadStyle arrowheadStyle() const { return m_arrowheadStyle; }

    // Where the current press started, clamped into the image, view points.
    std::optional<QPointF> dragStartPoint() const { return m_dragStartPoint; }
    // The pressed annotation as it was when the press began.
    const std::optional<MarkupAnnotation>& dragStartAnnotation() const
    {
        return m_dragStartAnnotation;
    }
    // The rubber band of a rectangle, ellipse or blur being drawn, view points.
    std::optional<QRectF> draftRect() const { return m_draftRect; }
    // The points of an arrow or pen stroke being drawn, view points.
    const QList<QPointF>& draftPoints() const { return m_draftPoints; }

    // An undo step is open: a snapshot was taken and the step not yet closed.
    bool hasCapturedUndoState() const { return m_hasCapturedUndoState; }
    void setHasCapturedUndoState(bool captured) { m_hasCapturedUndoState = captured; }

    // The text annotation open in the host's editor; set and cleared by the host.
    std::optional<Index> editingAnnotationIndex() const { return m_editingAnnotationIndex; }
    void setEditingAnnotationIndex(std::optional<Index> index) { m_editingAnnotationIndex = index; }

    bool hasAnnotations() const { return !m_annotations.isEmpty(); }
    bool canUndo() const { return !m_undoStack.isEmpty(); }
    bool canRedo() const { return !m_redoStack.isEmpty(); }
    std::optional<MarkupShape> selectedShape() const;
    std::optional<MarkupAnnotation> selectedAnnotation() const;

    // --- History ---

    // Opens an undo step: when none is open, pushes a copy of the list, empties the redo
    // stack and calls onChanged. Every editing path calls this before its first change.
    void captureUndoState();
    // Closes the open undo step; onChanged.
    void finalizeHistoryCapture();
    // Appends on top; onChanged. The caller captures first.
    void appendAnnotation(const MarkupAnnotation& annotation);
    void undo();
    void redo();
    // Empties the list as one undo step (nothing at all when it is already empty).
    void clear();
    // Drops the shape being drawn, then commits an open text editor.
    void resetDraft();
    // Starts afresh for a new image: no annotations, no history, no press.
    void reset();

    // --- Tool and style ---

    // Selection and annotations are left alone.
    void setTool(MarkupTool tool);
    // Style of new annotations only; invalid colours are ignored.
    void setStrokeColor(const QColor& color);
    void setFillColor(const QColor& color);
    // Recolours the selected annotation's stroke as one undo step (fill colours never change).
    void updateSelectedAnnotationStrokeColor(const QColor& color);

    // Arrow style of new arrows, also applied to a selected arrow. `currentEvent` says which
    // event is being processed: a left-button press closes any open undo step and opens a new
    // one, a left-button release closes it, anything else joins the open step. Values that
    // are not finite are ignored.
    void setArrowLineWidth(double width, EventKind currentEvent = EventKind::other);
    void setArrowHeadScale(double scale, EventKind currentEvent = EventKind::other);
    void setArrowHeadWidthScale(double scale, EventKind currentEvent = EventKind::other);
    void setArrowheadStyle(MarkupArrowheadStyle style, EventKind currentEvent = EventKind::other);

    // Takes over all eight settings (invalid colours and numbers that are not finite keep the
    // current value). No callbacks.
    void applyToolDefaults(const MarkupToolDefaults& toolDefaults);
    MarkupToolDefaults currentToolDefaults() const;
    // Makes the selected annotation's style the current one and returns it; absent when
    // nothing is selected.
    std::optional<MarkupToolDefaults> adoptSelectedAnnotationDefaults();

    // --- Hit testing (view points; imageRect is the image's rectangle in the view) ---

    // The rectangle the selection outline and corner handles are drawn around.
    QRectF selectionRect(const MarkupAnnotation& annotation, const QRectF& imageRect) const;
    bool annotationContains(const QPointF& point, const MarkupAnnotation& annotation,
                            const QRectF& imageRect) const;
    // The topmost annotation containing the point.
    std::optional<Index> annotationIndex(const QPointF& point, const QRectF& imageRect) const;
    std::optional<MarkupHandle> resizeHandle(const QPointF& point,
                                             const MarkupAnnotation& annotation,
                                             const QRectF& imageRect) const;
    // The end of an arrow whose 20 x 20 square holds the point; the start wins a tie.
    std::optional<LineEndpoint> lineEndpointHandle(const QPointF& point,
                                                   const MarkupAnnotation& annotation,
                                                   const QRectF& imageRect) const;
    // The lowest anchor of a curved arrow whose 20 x 20 square holds the point.
    std::optional<Index> arrowAnchorHandle(const QPointF& point, const MarkupAnnotation& annotation,
                                           const QRectF& imageRect) const;
    // The arrow a curve edit at the point applies to: the selected arrow when it contains the
    // point, else the topmost arrow that does.
    std::optional<Index> arrowIndexForCurveEdit(const QPointF& point,
                                                const QRectF& imageRect) const;

    // --- Pointer input (view points) ---
    //
    // Points that are not finite are ignored (a release still ends the press). Only the
    // alternate modifier (Qt::AltModifier) matters: held at a press, it edits the curve of an
    // arrow.

    // A click count of 2 is the second press of a double click; anything else starts a press.
    void mouseDown(const QPointF& point, int clickCount, Qt::KeyboardModifiers modifiers);
    void beginInteraction(const QPointF& point, Qt::KeyboardModifiers modifiers);
    void handleDoubleClick(const QPointF& point);
    void mouseDragged(const QPointF& point);
    void mouseUp(const QPointF& point);

    // --- Drawing and cursors ---

    // Paints the annotations (all but the one open in the text editor), the shape being drawn
    // and the selection with its handles, clipped to `imageRect`. The painter's coordinates are
    // the view's (y up, points); `imageRect` is where the image lies in them. Called after the
    // image itself is painted.
    void draw(QPainter& painter, const QRectF& imageRect) const;
    // The pointer cursor for a view point (absent: the pointer is outside the view) with these
    // modifiers held; the alternate modifier shows where a press would add an anchor.
    QCursor cursor(std::optional<QPointF> point, Qt::KeyboardModifiers modifiers) const;
    // Passes cursor(point) without modifiers to requestCursor.
    void updateCursor(std::optional<QPointF> point) const;

private:
    static void call(const std::function<void()>& callback);
    std::optional<QRectF> imageRect() const;
    bool isValidIndex(Index index) const;
    void changed();
    void redraw();
    void closeUndoStep() { m_hasCapturedUndoState = false; }
    void restoreSnapshot(QList<QList<MarkupAnnotation>>& from, QList<QList<MarkupAnnotation>>& to);
    void updateSelectedArrow(EventKind currentEvent,
                             const std::function<void(MarkupAnnotation&, const QRectF&)>& change);
    QRectF dragBounds(const MarkupAnnotation& annotation, const QRectF& imageRect) const;
    void startHandleDrag(const QPointF& point, const QRectF& imageRect,
                         const InteractionMode& mode);
    bool editCurve(const QPointF& point, const QRectF& imageRect);

    void beginDrawing(const QPointF& point, const QRectF& imageRect);
    void updateDrawing(const QPointF& point);
    void finalizeDrawing(std::optional<QPointF> point, const QRectF& imageRect);
    void moveMarkup(Index index, const QPointF& point, const QRectF& imageRect);
    void resizeMarkup(Index index, MarkupHandle handle, const QPointF& point,
                      const QRectF& imageRect);
    void resizeLineMarkup(Index index, LineEndpoint endpoint, const QPointF& point,
                          const QRectF& imageRect);
    void appendPenPoint(const QPointF& point);
    static MarkupAnnotation translated(const MarkupAnnotation& annotation, const QPointF& delta);

    QList<MarkupAnnotation> m_annotations;
    QList<QList<MarkupAnnotation>> m_undoStack;
    QList<QList<MarkupAnnotation>> m_redoStack;
    std::optional<Index> m_selectedIndex;
    InteractionMode m_interactionMode = InteractionMode::none();
    // The tool and style fields start at MarkupToolDefaults::initial() (set by the constructor).
    MarkupTool m_tool = MarkupTool::rectangle;
    QColor m_strokeColor;
    QColor m_fillColor;
    double m_textFontSize = 0;
    double m_arrowLineWidth = 0;
    double m_arrowHeadScale = 0;
    double m_arrowHeadWidthScale = 0;
    MarkupArrowheadStyle m_arrowheadStyle = MarkupArrowheadStyle::end;
    std::optional<QPointF> m_dragStartPoint;
    std::optional<MarkupAnnotation> m_dragStartAnnotation;
    std::optional<QRectF> m_draftRect;
    QList<QPointF> m_draftPoints;
    bool m_hasCapturedUndoState = false;
    std::optional<Index> m_editingAnnotationIndex;
};
