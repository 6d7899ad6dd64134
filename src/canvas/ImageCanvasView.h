#pragma once

#include "AnimationPlayer.h"
#include "DisplayPyramid.h"
#include "LocalModifierFlagsMonitor.h"
#include "MarkupEngine.h"
#include "MarkupTextView.h"
#include "MarkupToolDefaultsStore.h"

#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QMimeData;

// The view that shows the current image: fitted into its bounds, scaled by a zoom factor around
// that fit and shifted by a pan offset kept within limits. It also hosts the crop interaction
// and the markup engine with its in-place text editor, and routes pointer, wheel and gesture
// events between viewing, crop and markup.
//
// All geometry is in y-up view coordinates (origin at the bottom-left corner, one unit per
// device-independent pixel), converted from and to Qt's y-down coordinates only at the widget
// boundary, through FlippedPainter::yUpTransform. Owners are told of changes through the
// optional callbacks below, which the canvas calls synchronously on the main thread.
//
// Written in three files: ImageCanvasView.cpp (geometry, viewing, events, painting),
// ImageCanvasViewCrop.cpp (crop), ImageCanvasViewMarkup.cpp (markup hosting and text editor).
class ImageCanvasView : public QWidget
{
    Q_OBJECT

public:
    // What the mini navigator needs: the image's shape and the visible part of it, in fractions
    // of its width and height (origin at its lower-left corner as displayed, y up).
    struct NavigatorState
    {
        double imageAspectRatio = 1;
        QRectF visibleRectNormalized;
    };

    enum class CropHandle
    {
        topLeft,
        topRight,
        bottomLeft,
        bottomRight
    };

    // What the current crop drag does: nothing, move the selection, or resize it by a handle.
    struct CropInteractionMode
    {
        enum class Kind
        {
            none,
            move,
            resize
        };
        Kind kind = Kind::none;
        CropHandle handle = CropHandle::topLeft; // meaningful for resize only

        bool operator==(const CropInteractionMode&) const = default;
    };

    static constexpr double cropHandleHitRadius = 10;
    static constexpr double cropInitialInset = 28;
    static constexpr double cropMinSize = 20;

    // The zoom factor's range, relative to the fitted size.
    static constexpr double minimumZoom = 0.05;
    static constexpr double maximumZoom = 32.0;

    explicit ImageCanvasView(QWidget* parent = nullptr);
    ~ImageCanvasView() override;

    // Callbacks, bound by the owner (through bindWeak); all optional.
    std::function<void(double percent)> onZoomChanged;
    std::function<void()> onViewStateChanged;
    std::function<void(const QUrl& url)> onImageDropped;
    std::function<void(bool hasSelection)> onCropSelectionChanged;
    std::function<void()> onMarkupChanged;
    // The animation shown turned out to be one, was paused or resumed, or ended.
    std::function<void()> onAnimationStateChanged;

    // Viewing preferences, written by the owner from the settings.
    bool isZoomScrollInverted = false;
    bool isSmoothZoomEnabled = false;
    double smoothZoomFactor = 0.6;

    // --- Geometry and viewing (ImageCanvasView.cpp) ---

    // Shows `image`. With `preserveView` (and a previous image, crop mode off) the zoom is kept
    // and the offset re-clamped; otherwise the view is fitted. A preview followed by the full
    // bitmap of the same file keeps everything the user set: zoom, offset, crop selection and
    // annotations are in view points and normalized coordinates, not pixels.
    void setImage(const QImage& image, bool preserveView);
    // As setImage(), for a reduced preview of an image of `fullPixelSize` that is still being
    // decoded: the geometry is that of the full image, so replacePreview() changes nothing the
    // user sees but the sharpness.
    void setPreview(const QImage& preview, QSize fullPixelSize, bool preserveView);
    // Swaps the full bitmap in for the preview on screen. Zoom, offset, crop selection, markup
    // and the open text editor stay as they are; no callback fires.
    void replacePreview(const QImage& fullImage);
    void clearImage();
    void resetView();

    const QImage& image() const { return m_image; }
    bool hasImage() const { return !m_image.isNull(); }
    // The size the geometry uses: the image's pixel size (the full image's for a preview).
    QSizeF imageSize() const { return m_imageSize; }
    double zoomFactor() const { return m_zoomFactor; }
    QPointF contentOffset() const { return m_contentOffset; }

    std::optional<NavigatorState> navigatorState() const;
    void recenterVisibleRegion(QPointF normalizedPoint);

    // The rectangle the image occupies for `zoom` and `offset` (y-up view points).
    QRectF drawRect(double zoom, QPointF offset, QSizeF imageSize) const;
    // The nearest allowed offset for `zoom`; (0, 0) without an image size or a view size.
    QPointF clampedOffset(QPointF offset, double zoom, std::optional<QSizeF> imageSize) const;
    // The current image rectangle, absent without an image of positive size.
    std::optional<QRectF> currentImageRect() const;
    // The reduced copies painting draws from: whether they are complete, and their memory.
    const DisplayPyramid& displayPyramid() const { return m_pyramid; }

    // Plays the frames of `filePath`, the file whose frame 0 is the image shown, when it is an
    // animation. Showing another image stops it; crop and markup mode (which work on frame 0)
    // and hiding the canvas suspend it, showing frame 0 until they end.
    void playAnimation(const QString& filePath);
    AnimationPlayer& animationPlayer() { return m_animationPlayer; }
    const AnimationPlayer& animationPlayer() const { return m_animationPlayer; }

    // Zooms by `multiplier` about `anchorInView` (y-up), the one place the zoom changes other
    // than the resets. Ignores non-finite and non-positive multipliers.
    void adjustZoom(double multiplier, std::optional<QPointF> anchorInView);

    // The first acceptable image file of a drag, in order; absent when there is none.
    static std::optional<QUrl> droppedImageURL(const QMimeData* mimeData);

    // --- Crop (ImageCanvasViewCrop.cpp) ---

    bool isCropModeEnabled() const { return m_isCropModeEnabled; }
    void setCropModeEnabled(bool enabled);
    void applyCropSelection(std::optional<QRectF> normalizedRect);
    std::optional<QRectF> currentCropRectNormalized() const;
    std::optional<QRectF> cropSelectionRect() const { return m_cropSelectionRect; }
    CropInteractionMode cropInteractionMode() const { return m_cropInteractionMode; }
    std::optional<CropHandle> cropHandle(QPointF point, const QRectF& selection) const;

    // --- Markup (ImageCanvasViewMarkup.cpp) ---

    // Where the engine's tool settings are kept between runs (the application's standard store).
    MarkupToolDefaultsStore& markupDefaultsStore() const { return *m_markupDefaultsStore; }
    MarkupEngine& markupEngine() { return m_markupEngine; }
    const MarkupEngine& markupEngine() const { return m_markupEngine; }
    bool isMarkupModeEnabled() const { return m_isMarkupModeEnabled; }
    void setMarkupModeEnabled(bool enabled);
    // The open text editor's text view, null when none is open.
    MarkupTextView* markupTextView() const { return m_markupTextView; }
    QWidget* markupTextContainer() const { return m_markupTextContainer; }
    std::optional<QPointF> markupTextOriginInView() const { return m_markupTextOriginInView; }
    void updateMarkupCursor();
    void showMarkupTextField(QPointF point);
    void editMarkupTextAnnotation(MarkupEngine::Index index, const QRectF& imageRect);
    void commitMarkupTextField();
    void dismissMarkupTextFieldWithoutCommit();

    // Conversion between Qt's widget coordinates (y down) and the view's y-up coordinates; the
    // mapping is its own inverse.
    QPointF toView(QPointF widgetPoint) const;
    QRectF toWidget(const QRectF& viewRect) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Geometry and viewing.
    // Shows `bitmap` as an image of `size` pixels (larger than the bitmap for a preview).
    void showBitmap(const QImage& bitmap, QSizeF size, bool preserveView);
    // drawRect() for a view of `bounds`.
    static QRectF drawRect(QSizeF bounds, double zoom, QPointF offset, QSizeF imageSize);
    void setZoomReported(double zoom);
    void showAnimationFrame(const QImage& frame);
    // Suspends the animation while it must not play: in crop or markup mode, or hidden.
    void updateAnimationSuspension();
    void reportViewStateChanged();
    void handleModifierFlagsChanged();
    bool takesMagnify() const;
    void magnify(double multiplier, QPointF anchor);
    void drawPlaceholder(QPainter& painter) const;
    QColor placeholderColor() const;

    // Crop.
    void handleCropMouseDown(QPointF point);
    void handleCropMouseDragged(QPointF point);
    void handleCropMouseUp(QPointF point);
    void updateCropCursor(QPointF point);
    QRectF defaultCropSelection(const QRectF& imageRect) const;
    void resetCropInteraction();
    // After a resize from `oldBounds`, puts the selection back on the part of the image it
    // covered: the fitted image moves and scales with the view.
    void keepCropSelectionOnImage(QSizeF oldBounds);
    void drawCropOverlay(QPainter& painter, const QRectF& imageRect) const;
    void drawCropHandles(QPainter& painter, const QRectF& selectedRect) const;

    // Markup.
    void configureMarkupEngine();
    // Sets the engine's cursor for a pointer at `point` (view coordinates) in markup mode.
    void updateMarkupCursorAt(QPointF point, Qt::KeyboardModifiers modifiers);
    // The bordered box of a text editor and the text view filling it, a child of the canvas.
    struct MarkupTextEditor
    {
        QWidget* container;
        MarkupTextView* textView;
    };
    // `fontSize` and `minWidth` in device-independent pixels; `origin` is the box's bottom-left
    // corner in view coordinates (y up).
    MarkupTextEditor makeMarkupTextEditor(const QString& text, double fontSize, const QColor& color,
                                          QPointF origin, double minWidth);
    void resizeMarkupTextContainer();

    QImage m_image;
    QSizeF m_imageSize;
    // Reduced copies of the image, drawn so that a frame never rescales the full bitmap.
    DisplayPyramid m_pyramid;
    double m_zoomFactor = 1.0;
    // Pan offset of the image centre from the view centre, in view points.
    QPointF m_contentOffset;
    std::optional<QPointF> m_dragStartPoint;
    QPointF m_dragStartOffset;

    CropInteractionMode m_cropInteractionMode;
    std::optional<QPointF> m_cropDragStartPoint;
    QRectF m_cropDragStartRect;
    std::optional<QRectF> m_cropSelectionRect;
    bool m_isCropModeEnabled = false;

    MarkupEngine m_markupEngine;
    // The shared store of tool settings (the application's standard one).
    MarkupToolDefaultsStore* m_markupDefaultsStore;
    bool m_isMarkupModeEnabled = false;
    QPointer<QWidget> m_markupTextContainer;
    QPointer<MarkupTextView> m_markupTextView;
    std::optional<QPointF> m_markupTextOriginInView;

    LocalModifierFlagsMonitor m_modifierFlagsMonitor;
    AnimationPlayer m_animationPlayer;
};
