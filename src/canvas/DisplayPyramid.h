#pragma once

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <functional>
#include <memory>

// Successive halvings of a bitmap, so that a frame is drawn from the smallest copy that still
// has at least one pixel per device pixel, clipped to the visible part, and never rescales the
// full-resolution bitmap.
//
// setImage() starts building the reduced levels on a worker thread; until they arrive the full
// bitmap is drawn through a cheap (unsmoothed) path. Above 100 % of the image's pixels the
// image is drawn without smoothing beyond a zoom where pixel edges should stay visible.
class DisplayPyramid
{
public:
    // Levels are halved while the current one's longest side is at least this many pixels, so
    // the smallest level's longest side lies between half this and this.
    static constexpr int smallestHalvedSide = 512;
    // Device pixels per image pixel from which an enlarged image is drawn without smoothing:
    // each image pixel then covers a block of at least 3 x 3 device pixels, and blurring their
    // edges would hide the pixels the user zoomed in to see.
    static constexpr double unsmoothedMagnification = 3.0;

    DisplayPyramid();
    ~DisplayPyramid();
    DisplayPyramid(const DisplayPyramid&) = delete;
    DisplayPyramid& operator=(const DisplayPyramid&) = delete;

    // Called on the main thread when the levels of the current image are ready (so the owner
    // repaints). Optional.
    std::function<void()> onLevelsReady;

    // Replaces the image; a build for a previous image is abandoned. A null image clears.
    void setImage(const QImage& image);
    // As setImage(), for the same picture at a higher resolution (a preview's full bitmap) or
    // the next frame of an animation: the current levels go on being drawn until the new ones
    // are ready, so the picture never drops to the unsmoothed path in between.
    void replaceKeepingLevels(const QImage& image);

    // Draws the image into `target` (Qt's widget coordinates, y down, device-independent
    // pixels) on `painter`, only where it meets `exposed`. The painter's device pixel ratio
    // decides the level.
    void draw(QPainter& painter, const QRectF& target, const QRectF& exposed) const;

    // True once the reduced levels of the current image are ready (or none are needed).
    bool isComplete() const;

    // The levels held now, the full bitmap first (for tests and the memory figure).
    QList<QImage> levels() const;

    // The index of the level draw() uses for `target` on a device of `devicePixelRatio` with
    // the levels held now.
    int levelIndexFor(const QRectF& target, double devicePixelRatio) const;

    // The smallest of `levels` (full bitmap first, each about half the previous) with at least
    // `devicePixelsPerImagePixel` pixels of its own per pixel of the full bitmap, so that it
    // still has one pixel per device pixel; 0 when none is small enough or there are none.
    static int levelIndexFor(double devicePixelsPerImagePixel, const QList<QImage>& levels);

    // The halvings of `image` down to a longest side below smallestHalvedSide, each a 2 x 2
    // box average of the previous one (a trailing odd row or column is averaged on its own).
    // Stops early, returning nothing, once `isCancelled` answers true.
    static QList<QImage> buildReducedLevels(const QImage& image,
                                            const std::function<bool()>& isCancelled);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
