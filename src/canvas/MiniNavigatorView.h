#pragma once

#include "ImageCanvasView.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <optional>

// A miniature of the whole image with a rectangle marking the part the canvas shows; a click or
// drag in it reports the point of the image to bring to the centre.
//
// It knows nothing of zoom: it is given the canvas's navigator state and reports points in
// fractions of the image (0 to 1 on each axis, origin at the image's lower-left corner, y up).
// Geometry is in y-up view points, converted from Qt's y-down coordinates only at the widget
// boundary through FlippedPainter::yUpTransform.
class MiniNavigatorView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize preferredSize{190, 135};
    // Corner radii of the miniature's clip and of the viewport rectangle, in view points.
    static constexpr double miniatureCornerRadius = 5;
    static constexpr double viewportCornerRadius = 3;
    static constexpr double viewportLineWidth = 1.5;
    // A side of the visible part below this fraction of the image counts as zoomed in.
    static constexpr double wholeImageFraction = 0.995;

    explicit MiniNavigatorView(QWidget* parent = nullptr);

    // Called on a press and on every drag while a state is present, with the point of the
    // image under the pointer, clamped to the miniature. Optional.
    std::function<void(QPointF normalizedPoint)> onViewportInteraction;

    // Keeps a reduced copy of `image` (at most twice the view's size in device pixels), made
    // once per image, so painting never scales a large bitmap. Setting the same image again
    // costs nothing.
    void setImage(const QImage& image);
    const QImage& miniature() const { return m_miniature; }

    void setState(std::optional<ImageCanvasView::NavigatorState> state);
    const std::optional<ImageCanvasView::NavigatorState>& state() const { return m_state; }

    // Where the miniature of an image of `aspectRatio` (width ÷ height) lies in `rect`: placed
    // by width and centred vertically for landscape and square images, placed by height and
    // centred horizontally for portrait ones; absent when `rect` has no area.
    static std::optional<QRectF> imageRect(double aspectRatio, const QRectF& rect);

    // The point of the image under `widgetPosition` (Qt's y-down widget coordinates), clamped
    // to the miniature; absent without a state or a miniature of positive size.
    std::optional<QPointF> normalizedPoint(QPointF widgetPosition) const;

    // Whether the navigator is shown: only in view mode, with the setting on, with a state, and
    // while the visible part is less than the whole image on some axis.
    static bool shouldShow(const std::optional<ImageCanvasView::NavigatorState>& state,
                           bool isViewMode, bool showSetting);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // The miniature's rectangle in this view (y-up), absent without a state.
    std::optional<QRectF> miniatureRect() const;
    // Reports the point under the event; false when there is none.
    bool reportInteraction(const QMouseEvent* event);

    QImage m_miniature;
    // The cache key of the image the miniature was made from.
    qint64 m_sourceKey = 0;
    std::optional<ImageCanvasView::NavigatorState> m_state;
};
