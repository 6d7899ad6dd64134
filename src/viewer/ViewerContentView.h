#pragma once

#include "MarkupAnnotation.h"
#include "MarkupEngine.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSize>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class ColorWell;
class ElidedLabel;
class ImageCanvasView;
class MiniNavigatorView;
class QAbstractButton;
class QBoxLayout;
class QFrame;
class QLabel;
class QPushButton;
class SegmentedControl;
class ThumbnailOverviewView;
class TranslucentPanel;
class ValueSlider;

// The whole content of the viewer window: the image canvas, the thumbnail overview, the
// translucent overlay with the labels and the toolbar, the undo toast and the mini navigator.
//
// It owns the four modes (view, overview, crop, markup; at most one of the last three is on),
// the auto-hiding of the overlay and the placement of the edit toolbar. It loads no image and
// touches no file: user intent goes out through the optional on... callbacks, and the owner
// writes the labels, the position and the count, then asks for a refresh (updateInfoLabel() and
// the update...() functions).
//
// Written in several files: ViewerContentView.cpp (creation, wiring, settings, labels, reset
// rule, navigator), ViewerContentViewModes.cpp (modes and saving), ViewerContentViewOverlay.cpp
// (overlay visibility, pointer tracking, placement, layout, undo toast),
// ViewerContentViewKeys.cpp (keys), ViewerContentViewToolbar.cpp (building the controls) and
// ViewerContentViewHandlers.cpp (control handlers and their visibility and enabled rules).
//
// Lengths are in device-independent pixels. The controls carry their names as object names, by
// which tests find them.
class ViewerContentView : public QWidget
{
    Q_OBJECT

public:
    // Overlay geometry: pinned this far below the top or above the bottom edge.
    static constexpr int overlayTopInset = 8;
    static constexpr int overlayBottomInset = 12;
    static constexpr int overlaySideInset = 12;
    static constexpr int overlayHeight = 70;
    static constexpr int overlayHeightWithToolRow = 100;
    // Gap between a docked edit toolbar and the canvas.
    static constexpr int dockedCanvasGap = 8;
    // In crop and markup mode the pointer reveals the overlay within this distance of it.
    static constexpr int overlayRevealMargin = 12;
    static constexpr int overlayFadeInMs = 120;
    static constexpr int overlayFadeOutMs = 80;
    static constexpr int undoToastFadeInMs = 140;
    static constexpr int undoToastFadeOutMs = 100;
    static constexpr int undoToastVisibleMs = 5000;
    static constexpr int undoToastBottomInset = 16;
    // After the edit toolbar moves it stays up at least this long, so it does not vanish under
    // the pointer that moved it.
    static constexpr int keepOverlayAfterPlacementChangeMs = 800;
    // Below this width the markup Cancel and Apply shrink to icon buttons.
    static constexpr int compactConfirmWidthThreshold = 1180;
    static constexpr int confirmButtonWidth = 84;
    static constexpr int compactConfirmButtonWidth = 34;
    static constexpr QSize miniNavigatorBoxSize{190, 135};
    static constexpr int miniNavigatorInset = 16;
    // One press of the zoom keys.
    static constexpr double keyZoomStep = 1.25;

    explicit ViewerContentView(QWidget* parent = nullptr);
    ~ViewerContentView() override;

    // --- Callbacks to the owner, all optional ---
    std::function<void()> onOpenRequested;
    std::function<void()> onPrintRequested;
    std::function<void()> onNextRequested;
    std::function<void()> onPreviousRequested;
    std::function<void()> onDeleteRequested;
    std::function<void()> onUndoDeleteRequested;
    std::function<void()> onSettingsRequested;
    std::function<void(const QUrl& url)> onImageDropped;
    std::function<void(int index)> onThumbnailSelected;
    std::function<void(const QList<int>& indexes)> onThumbnailPrintRequested;
    std::function<void(const QList<int>& indexes)> onThumbnailDeleteRequested;
    // The normalized crop rectangle (fractions of the image as shown, y up).
    std::function<void(std::optional<QRectF> normalizedRect)> onCropSaveRequested;
    // True when the copy was saved.
    std::function<bool(const QList<MarkupAnnotation>& annotations)> onMarkupSaveRequested;

    // --- Views the owner writes to ---
    ImageCanvasView* canvas() const { return m_canvas; }
    ThumbnailOverviewView* thumbnailOverview() const { return m_thumbnailOverview; }
    MiniNavigatorView* miniNavigatorView() const { return m_miniNavigatorView; }
    ElidedLabel* fileLabel() const { return m_fileLabel; }
    ElidedLabel* pathLabel() const { return m_pathLabel; }
    ElidedLabel* metadataLabel() const { return m_metadataLabel; }
    ElidedLabel* undoToastLabel() const { return m_undoToastLabel; }
    // Shown with a deletion's message, hidden for messages that cannot be undone.
    QPushButton* undoToastButton() const { return m_undoToastButton; }
    QLabel* infoLabel() const { return m_infoLabel; }
    TranslucentPanel* overlay() const { return m_overlay; }
    TranslucentPanel* undoToast() const { return m_undoToast; }

    // The 1-based position shown to the user (0 with no image) and the number of images.
    // Written by the owner; nothing refreshes until it asks.
    int currentIndex() const { return m_currentIndex; }
    void setCurrentIndex(int index) { m_currentIndex = index; }
    int totalCount() const { return m_totalCount; }
    void setTotalCount(int count) { m_totalCount = count; }

    bool isOverviewModeEnabled() const { return m_isOverviewModeEnabled; }
    bool isCropModeEnabled() const { return m_isCropModeEnabled; }
    bool isMarkupModeEnabled() const { return m_isMarkupModeEnabled; }
    bool isViewMode() const;
    // Raised around keyboard stepping, so that an image change does not reveal the overlay.
    bool isOverlaySuppressed() const { return m_suppressOverlay; }

    // --- Modes (ViewerContentViewModes.cpp) ---

    // Back to the empty state: no image, no count, view mode, toast hidden.
    void clear();
    // Leaving with `syncSelectionToDetail` reports the overview's first selected index (else its
    // current one) through onThumbnailSelected.
    void setOverviewMode(bool enabled, bool syncSelectionToDetail);
    void setMarkupMode(bool enabled);
    // Beeps without images or in the overview.
    void enterCropMode();
    void exitCropMode();
    // Beeps and stays without a usable selection.
    void saveCrop();
    // Leaves markup mode once the owner saved the copy; otherwise says so in the toast.
    void saveMarkup();
    // Drops every annotation and its history, then leaves markup mode.
    void cancelMarkup();

    // --- Overlay and toast (ViewerContentViewOverlay.cpp) ---

    void showOverlayTemporarily(bool force);
    void hideOverlayImmediately();
    void restartHideTimer();
    // Whether a pointer at `point` (this view's coordinates) may reveal the overlay.
    bool pointRevealsOverlay(QPointF point) const;
    void setUndoToastVisible(bool visible, bool animated);
    void restartUndoToastHideTimer();
    void stopUndoToastHideTimer() { m_undoToastHideTimer.stop(); }
    void updateOverlayPlacement();
    // The window became or stopped being the active one.
    void handleWindowActivated();
    void handleWindowDeactivated();
    // The running hide timers, for tests; null when none runs.
    const QTimer* hideTimer() const { return m_hideTimer.isActive() ? &m_hideTimer : nullptr; }
    const QTimer* undoToastHideTimer() const
    {
        return m_undoToastHideTimer.isActive() ? &m_undoToastHideTimer : nullptr;
    }

    // --- Refreshes (ViewerContentView.cpp) ---

    // "n/t  zoom%" in view mode (with "  frame f/m" while an animation is paused), "n/t
    // Overview" (Crop, Markup) in the others; empty without images.
    void updateInfoLabel();
    // The reset button is enabled only in view mode while the view differs from fitted.
    void updateResetButtonState();
    void updateNavigatorState();
    // The overview button is enabled exactly when there are images; its title, symbol and
    // state follow the mode.
    void updateOverviewButtonAppearance();
    // Copies the viewing preferences to the canvas and re-places the overlay.
    void applyCurrentSettings();

    // --- Controls (ViewerContentViewHandlers.cpp) ---

    void updateCropControls();
    void updateMarkupControls();
    void updateEditOverlayControls();
    void updateConfirmButtonDensity();
    void syncMarkupControlsFromCanvas();
    // The overview's selection (else the current image) to the owner; beeps when empty.
    void requestPrintFromOverview();
    void requestDeleteFromOverview();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class ConfirmRole
    {
        confirm,
        cancel
    };

    // ViewerContentView.cpp
    void setupCallbacks();
    // What a key of the key table does in the current mode, empty when the key is not one of
    // them. Taken before the focused control (text inputs excepted) and before any menu
    // shortcut sees the key.
    std::function<void()> keyEquivalentAction(const QKeyEvent* event);
    // The zoom keys; false when `event` is not one or the mode takes no zoom.
    bool zoomByKey(const QKeyEvent* event);

    // ViewerContentViewModes.cpp
    void leaveOverviewAfterActivation(int index);
    // The updates every mode change ends with, then the overlay fade-in unless suppressed.
    void finishModeChange();

    // ViewerContentViewOverlay.cpp
    void layoutChildren();
    void fadeOverlayIn();
    void handleHideTimerFired();
    void handlePointerMoved(QPointF point);
    void handlePointerExited();
    QRectF overlayRevealRect() const;
    bool isPointerOverOverlay() const;
    // The last pointer position seen inside this view, else the pointer's position while it is
    // over the view; absent when it is outside.
    std::optional<QPointF> pointerPosition() const;
    void keepOverlayVisibleFor(int milliseconds);

    // ViewerContentViewToolbar.cpp
    void setupUI();
    QBoxLayout* makeToolbarGroup(const QList<QWidget*>& views, int spacing, bool collapsible);
    QFrame* makeSeparator(const char* name);
    void configureIconToolbarButton(QAbstractButton* button);
    void syncConfirmToolbarButton(QPushButton* button, ConfirmRole role);

    // ViewerContentViewHandlers.cpp
    void wireControls();
    void handleOverviewButtonPressed();
    void handleMarkupToolChanged(int segment);
    void handleStrokeColorChanged();
    void handleFillColorChanged();
    void handleTextSizeChanged();
    void handleArrowLineWidthChanged();
    void handleArrowHeadSizeChanged();
    void handleArrowHeadWidthChanged();
    void handleArrowheadStyleChanged(int segment);
    // One of the engine's arrow setters, fed by `slider` so that a drag is one undo step; then
    // the tool settings are saved and the overlay revealed.
    using ArrowSetter = void (MarkupEngine::*)(double, MarkupEngine::EventKind);
    void applyArrowSlider(const ValueSlider* slider, ArrowSetter setter);
    void handleEditToolbarMovePressed();
    void handleResetViewPressed();
    void saveMarkupToolDefaults();
    void updateOverviewButtonLook();
    void updateSeparators();
    void updateToolbarGroupVisibility();

    // Views.
    ImageCanvasView* m_canvas = nullptr;
    ThumbnailOverviewView* m_thumbnailOverview = nullptr;
    TranslucentPanel* m_overlay = nullptr;
    TranslucentPanel* m_undoToast = nullptr;
    ElidedLabel* m_undoToastLabel = nullptr;
    QPushButton* m_undoToastButton = nullptr;
    ElidedLabel* m_fileLabel = nullptr;
    ElidedLabel* m_pathLabel = nullptr;
    ElidedLabel* m_metadataLabel = nullptr;
    QLabel* m_infoLabel = nullptr;
    QPushButton* m_overviewButton = nullptr;
    QPushButton* m_cropButton = nullptr;
    QPushButton* m_cropCancelButton = nullptr;
    QPushButton* m_cropSaveCopyButton = nullptr;
    QPushButton* m_markupButton = nullptr;
    QPushButton* m_markupCancelButton = nullptr;
    QPushButton* m_markupApplyButton = nullptr;
    SegmentedControl* m_markupToolControl = nullptr;
    ColorWell* m_markupStrokeColorWell = nullptr;
    ColorWell* m_markupFillColorWell = nullptr;
    QPushButton* m_markupUndoButton = nullptr;
    QPushButton* m_markupRedoButton = nullptr;
    ValueSlider* m_markupTextSizeSlider = nullptr;
    QLabel* m_markupTextSizeLabel = nullptr;
    ValueSlider* m_markupArrowThicknessSlider = nullptr;
    QLabel* m_markupArrowThicknessLabel = nullptr;
    SegmentedControl* m_markupArrowheadControl = nullptr;
    ValueSlider* m_markupArrowHeadWidthSlider = nullptr;
    QLabel* m_markupArrowHeadWidthLabel = nullptr;
    ValueSlider* m_markupArrowHeadSlider = nullptr;
    QLabel* m_markupArrowHeadLabel = nullptr;
    QPushButton* m_markupClearButton = nullptr;
    QLabel* m_thumbnailSliderLabel = nullptr;
    ValueSlider* m_thumbnailSizeSlider = nullptr;
    SegmentedControl* m_thumbnailStyleControl = nullptr;
    QPushButton* m_editToolbarMoveButton = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QPushButton* m_resetViewButton = nullptr;
    QFrame* m_modeSeparator = nullptr;
    QFrame* m_historySeparator = nullptr;
    QFrame* m_placementSeparator = nullptr;
    QFrame* m_viewSeparator = nullptr;
    QFrame* m_actionSeparator = nullptr;
    QWidget* m_miniNavigatorContainer = nullptr;
    MiniNavigatorView* m_miniNavigatorView = nullptr;

    // Layout: the overlay's second row, and the groups that hide when all their members are
    // hidden (each a widget holding one horizontal layout).
    QWidget* m_markupToolRow = nullptr;
    QList<QWidget*> m_collapsibleToolbarGroups;

    // Timers and state: one-shot timers; starting one again replaces its pending expiry.
    QTimer m_hideTimer;
    QTimer m_undoToastHideTimer;
    // Milliseconds on m_clock until which the hide timer only restarts.
    std::optional<qint64> m_keepOverlayVisibleUntil;
    QElapsedTimer m_clock;
    // Where the pointer was last seen inside this view; absent once it left.
    std::optional<QPointF> m_pointerPosition;
    int m_currentIndex = 0;
    int m_totalCount = 0;
    bool m_isOverviewModeEnabled = false;
    bool m_isCropModeEnabled = false;
    bool m_isMarkupModeEnabled = false;
    bool m_suppressOverlay = false;
    // The "showMiniNavigator" setting, read when settings change rather than on every pan.
    bool m_isMiniNavigatorEnabled = true;
    qint64 m_navigatorImageKey = 0;
};
