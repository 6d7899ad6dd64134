#include "ColorWell.h"
#include "ElidedLabel.h"
#include "ImageCanvasView.h"
#include "MarkupArrowheadStyle.h"
#include "MarkupTool.h"
#include "MiniNavigatorView.h"
#include "SegmentedControl.h"
#include "SymbolImage.h"
#include "ThumbnailOverviewView.h"
#include "ToolbarStyle.h"
#include "TranslucentPanel.h"
#include "ValueSlider.h"
#include "ViewerContentView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int buttonHeight = 26;
constexpr QSize buttonSymbolSize(15, 15);
constexpr int iconButtonWidth = 34;
constexpr int separatorHeight = 22;
constexpr int sliderHeight = 18;
constexpr int toolRowHeight = 28;
constexpr int groupSpacing = 8;
constexpr int historyGroupSpacing = 6;
constexpr int rowSpacing = 12;
constexpr int markupToolSegmentWidth = 32;
constexpr int arrowheadSegmentWidth = 30;
constexpr int thumbnailStyleSegmentWidth = 44;
constexpr int textSizeSliderWidth = 110;
constexpr int arrowSliderWidth = 76;
constexpr int thumbnailSliderWidth = 120;
constexpr int minimumSliderWidth = 44;
constexpr QMargins overlayMargins(14, 8, 12, 8);
constexpr QMargins toastMargins(14, 8, 10, 8);

QPushButton* makeTextButton(const QString& name, const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setObjectName(name);
    button->setFixedHeight(buttonHeight);
    button->setIconSize(buttonSymbolSize);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

// A titled button with its symbol left of the title.
QPushButton* makeSymbolTextButton(const QString& name, const QString& title, const QString& symbol,
                                  QWidget* parent)
{
    QPushButton* button = makeTextButton(name, title, parent);
    button->setIcon(SymbolImage::icon(symbol));
    return button;
}

ElidedLabel* makeElidedLabel(const QString& name, Qt::TextElideMode mode, const QFont& font,
                             const QColor& color, QWidget* parent)
{
    auto* label = new ElidedLabel(mode, parent);
    label->setObjectName(name);
    label->setFont(font);
    label->setTextColor(color);
    return label;
}

QLabel* makeSecondaryLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(ToolbarStyle::font(11));
    return label;
}

ValueSlider* makeSlider(const QString& name, double minimum, double maximum, double initial,
                        const QString& toolTip, int width, QWidget* parent)
{
    auto* slider = new ValueSlider(minimum, maximum, initial, parent);
    slider->setObjectName(name);
    slider->setToolTip(toolTip);
    // Up to `width` when there is room; narrower rather than pushing its neighbours over each
    // other in a small window.
    slider->setFixedHeight(sliderHeight);
    slider->setMinimumWidth(std::min(width, minimumSliderWidth));
    slider->setMaximumWidth(width);
    slider->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return slider;
}

} // namespace

void ViewerContentView::setupUI()
{
    m_canvas = new ImageCanvasView(this);
    m_canvas->setObjectName(QStringLiteral("canvas"));
    m_thumbnailOverview = new ThumbnailOverviewView(std::make_shared<ThumbnailDiskCache>(), this);
    m_thumbnailOverview->setObjectName(QStringLiteral("thumbnailOverview"));
    m_thumbnailOverview->hide();
    m_miniNavigatorContainer = new QWidget(this);
    m_miniNavigatorContainer->setObjectName(QStringLiteral("miniNavigatorContainer"));
    m_miniNavigatorContainer->setAttribute(Qt::WA_TranslucentBackground);
    m_miniNavigatorView = new MiniNavigatorView(m_miniNavigatorContainer);
    m_miniNavigatorView->setObjectName(QStringLiteral("miniNavigatorView"));

    m_overlay = new TranslucentPanel(this);
    m_overlay->setObjectName(QStringLiteral("overlay"));
    m_overlay->setStyleSheet(ToolbarStyle::styleSheet());

    // Labels of the current image, shortened in the middle so that both the start and the
    // extension of a long name stay readable.
    m_fileLabel = makeElidedLabel(QStringLiteral("fileLabel"), Qt::ElideMiddle,
                                  ToolbarStyle::font(13, QFont::Medium),
                                  ToolbarStyle::primaryTextColor, m_overlay);
    m_fileLabel->setText(QStringLiteral("No image selected"));
    m_pathLabel =
        makeElidedLabel(QStringLiteral("pathLabel"), Qt::ElideMiddle, ToolbarStyle::font(11),
                        ToolbarStyle::secondaryTextColor, m_overlay);
    m_metadataLabel =
        makeElidedLabel(QStringLiteral("metadataLabel"), Qt::ElideMiddle, ToolbarStyle::font(11),
                        ToolbarStyle::tertiaryTextColor, m_overlay);
    m_infoLabel = new QLabel(m_overlay);
    m_infoLabel->setObjectName(QStringLiteral("infoLabel"));
    m_infoLabel->setFont(ToolbarStyle::font(12));

    // Mode buttons.
    m_overviewButton =
        makeSymbolTextButton(QStringLiteral("overviewButton"), QStringLiteral("Overview"),
                             QStringLiteral("square.grid.2x2"), m_overlay);
    m_overviewButton->setCheckable(true);
    m_cropButton = makeSymbolTextButton(QStringLiteral("cropButton"), QStringLiteral("Crop"),
                                        QStringLiteral("crop"), m_overlay);
    m_cropCancelButton =
        makeTextButton(QStringLiteral("cropCancelButton"), QStringLiteral("Cancel"), m_overlay);
    m_cropSaveCopyButton =
        makeTextButton(QStringLiteral("cropSaveCopyButton"), QStringLiteral("Apply"), m_overlay);
    m_cropSaveCopyButton->setEnabled(false);
    m_markupButton = makeSymbolTextButton(QStringLiteral("markupButton"), QStringLiteral("Markup"),
                                          QStringLiteral("pencil.tip"), m_overlay);
    m_markupButton->setCheckable(true);
    m_markupCancelButton =
        makeTextButton(QStringLiteral("markupCancelButton"), QStringLiteral("Cancel"), m_overlay);
    m_markupApplyButton =
        makeTextButton(QStringLiteral("markupApplyButton"), QStringLiteral("Apply"), m_overlay);
    for (QPushButton* button :
         {m_cropCancelButton, m_cropSaveCopyButton, m_markupCancelButton, m_markupApplyButton}) {
        button->setFixedWidth(confirmButtonWidth);
        button->setToolTip(button->text());
    }
    syncConfirmToolbarButton(m_cropCancelButton, ConfirmRole::cancel);
    syncConfirmToolbarButton(m_cropSaveCopyButton, ConfirmRole::confirm);
    syncConfirmToolbarButton(m_markupCancelButton, ConfirmRole::cancel);
    syncConfirmToolbarButton(m_markupApplyButton, ConfirmRole::confirm);

    // Markup tools and their style.
    QList<SegmentedControl::Segment> toolSegments;
    for (const MarkupTool tool : MarkupTool::allCases()) {
        toolSegments.append({tool.symbolName(), QString(), tool.title()});
    }
    m_markupToolControl = new SegmentedControl(toolSegments, markupToolSegmentWidth, m_overlay);
    m_markupToolControl->setObjectName(QStringLiteral("markupToolControl"));
    m_markupStrokeColorWell = new ColorWell(QStringLiteral("Stroke"),
                                            MarkupToolDefaults::defaultStrokeColor(), m_overlay);
    m_markupStrokeColorWell->setObjectName(QStringLiteral("markupStrokeColorWell"));
    m_markupFillColorWell = new ColorWell(QStringLiteral("Fill"), Qt::transparent, m_overlay);
    m_markupFillColorWell->setObjectName(QStringLiteral("markupFillColorWell"));
    m_markupUndoButton = makeTextButton(QStringLiteral("markupUndoButton"), QString(), m_overlay);
    m_markupUndoButton->setIcon(SymbolImage::icon(QStringLiteral("arrow.uturn.backward")));
    m_markupUndoButton->setToolTip(QStringLiteral("Undo"));
    configureIconToolbarButton(m_markupUndoButton);
    m_markupRedoButton = makeTextButton(QStringLiteral("markupRedoButton"), QString(), m_overlay);
    m_markupRedoButton->setIcon(SymbolImage::icon(QStringLiteral("arrow.uturn.forward")));
    m_markupRedoButton->setToolTip(QStringLiteral("Redo"));
    configureIconToolbarButton(m_markupRedoButton);
    m_markupTextSizeSlider =
        makeSlider(QStringLiteral("markupTextSizeSlider"), 10, 80, 24, QStringLiteral("Text Size"),
                   textSizeSliderWidth, m_overlay);
    m_markupTextSizeLabel = makeSecondaryLabel(QStringLiteral("markupTextSizeLabel"),
                                               QStringLiteral("24pt"), m_overlay);
    // Wide enough for the longest value, so the row does not shift while the slider moves.
    m_markupTextSizeLabel->setMinimumWidth(
        m_markupTextSizeLabel->fontMetrics().horizontalAdvance(QStringLiteral("88pt")));
    m_markupArrowThicknessSlider =
        makeSlider(QStringLiteral("markupArrowThicknessSlider"), 1, 8, 4.5,
                   QStringLiteral("Arrow line thickness"), arrowSliderWidth, m_overlay);
    m_markupArrowThicknessLabel = makeSecondaryLabel(QStringLiteral("markupArrowThicknessLabel"),
                                                     QStringLiteral("Line"), m_overlay);
    QList<SegmentedControl::Segment> arrowheadSegments;
    for (const MarkupArrowheadStyle style : MarkupArrowheadStyle::allCases()) {
        arrowheadSegments.append({style.symbolName(), QString(), style.title()});
    }
    m_markupArrowheadControl =
        new SegmentedControl(arrowheadSegments, arrowheadSegmentWidth, m_overlay);
    m_markupArrowheadControl->setObjectName(QStringLiteral("markupArrowheadControl"));
    m_markupArrowHeadWidthSlider =
        makeSlider(QStringLiteral("markupArrowHeadWidthSlider"), 0.45, 1.8, 1.0,
                   QStringLiteral("Arrowhead width"), arrowSliderWidth, m_overlay);
    m_markupArrowHeadWidthLabel = makeSecondaryLabel(QStringLiteral("markupArrowHeadWidthLabel"),
                                                     QStringLiteral("Head W"), m_overlay);
    m_markupArrowHeadSlider =
        makeSlider(QStringLiteral("markupArrowHeadSlider"), 0, 10, 5.0,
                   QStringLiteral("Arrowhead size"), arrowSliderWidth, m_overlay);
    m_markupArrowHeadLabel = makeSecondaryLabel(QStringLiteral("markupArrowHeadLabel"),
                                                QStringLiteral("Head"), m_overlay);
    m_markupClearButton =
        makeTextButton(QStringLiteral("markupClearButton"), QStringLiteral("Clear"), m_overlay);

    // Overview controls, shown only in the overview.
    m_thumbnailSliderLabel = makeSecondaryLabel(QStringLiteral("thumbnailSliderLabel"),
                                                QStringLiteral("Thumbs"), m_overlay);
    m_thumbnailSizeSlider = makeSlider(
        QStringLiteral("thumbnailSizeSlider"), ThumbnailOverviewView::minimumSideLength,
        ThumbnailOverviewView::maximumSideLength, 120, QString(), thumbnailSliderWidth, m_overlay);
    m_thumbnailStyleControl =
        new SegmentedControl({{QString(), QStringLiteral("Fit"), QStringLiteral("Fit")},
                              {QString(), QStringLiteral("Crop"), QStringLiteral("Crop")}},
                             thumbnailStyleSegmentWidth, m_overlay);
    m_thumbnailStyleControl->setObjectName(QStringLiteral("thumbnailStyleControl"));
    m_thumbnailStyleControl->setSelectedSegment(0);
    m_thumbnailSliderLabel->hide();
    m_thumbnailSizeSlider->hide();
    m_thumbnailStyleControl->hide();

    // View buttons.
    m_editToolbarMoveButton =
        makeTextButton(QStringLiteral("editToolbarMoveButton"), QString(), m_overlay);
    configureIconToolbarButton(m_editToolbarMoveButton);
    m_settingsButton = makeTextButton(QStringLiteral("settingsButton"), QString(), m_overlay);
    m_settingsButton->setIcon(SymbolImage::icon(QStringLiteral("gearshape")));
    m_settingsButton->setToolTip(QStringLiteral("Settings"));
    configureIconToolbarButton(m_settingsButton);
    m_resetViewButton =
        makeTextButton(QStringLiteral("resetViewButton"), QStringLiteral("Reset View"), m_overlay);
    m_resetViewButton->setEnabled(false);

    m_modeSeparator = makeSeparator("modeSeparator");
    m_historySeparator = makeSeparator("historySeparator");
    m_placementSeparator = makeSeparator("placementSeparator");
    m_viewSeparator = makeSeparator("viewSeparator");
    m_actionSeparator = makeSeparator("actionSeparator");

    // First row: the labels take what room is left and shorten; the groups keep their size.
    auto* labelColumnWidget = new QWidget(m_overlay);
    labelColumnWidget->setObjectName(QStringLiteral("labelColumn"));
    auto* labelColumn = new QVBoxLayout(labelColumnWidget);
    labelColumn->setContentsMargins(0, 0, 0, 0);
    labelColumn->setSpacing(1);
    labelColumn->addStretch(1);
    for (ElidedLabel* label : {m_fileLabel, m_pathLabel, m_metadataLabel}) {
        labelColumn->addWidget(label, 0, Qt::AlignLeft);
    }
    labelColumn->addStretch(1);
    labelColumnWidget->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* firstRow = new QHBoxLayout();
    firstRow->setContentsMargins(0, 0, 0, 0);
    firstRow->setSpacing(rowSpacing);
    firstRow->addWidget(labelColumnWidget, 1);
    const QList<QWidget*> firstRowItems = {
        makeToolbarGroup({m_thumbnailSliderLabel, m_thumbnailSizeSlider, m_thumbnailStyleControl},
                         groupSpacing, true)
            ->parentWidget(),
        makeToolbarGroup({m_overviewButton, m_cropButton, m_markupButton}, groupSpacing, true)
            ->parentWidget(),
        m_modeSeparator,
        makeToolbarGroup({m_cropCancelButton, m_cropSaveCopyButton}, groupSpacing, true)
            ->parentWidget(),
        makeToolbarGroup({m_markupCancelButton, m_markupApplyButton}, groupSpacing, true)
            ->parentWidget(),
        m_placementSeparator,
        m_editToolbarMoveButton,
        m_viewSeparator,
        makeToolbarGroup({m_infoLabel, m_resetViewButton, m_settingsButton}, groupSpacing, true)
            ->parentWidget(),
    };
    for (QWidget* item : firstRowItems) {
        firstRow->addWidget(item, 0, Qt::AlignVCenter);
    }

    // Second row, shown while annotating: the tool, its style, the history and Clear.
    m_markupToolRow = new QWidget(m_overlay);
    m_markupToolRow->setObjectName(QStringLiteral("markupToolRow"));
    m_markupToolRow->setFixedHeight(toolRowHeight);
    auto* toolRow = new QHBoxLayout(m_markupToolRow);
    toolRow->setContentsMargins(0, 0, 0, 0);
    toolRow->setSpacing(rowSpacing);
    const QList<QWidget*> toolRowItems = {
        makeToolbarGroup({m_markupToolControl, m_markupStrokeColorWell, m_markupFillColorWell},
                         groupSpacing, true)
            ->parentWidget(),
        makeToolbarGroup({m_markupTextSizeSlider, m_markupTextSizeLabel}, groupSpacing, true)
            ->parentWidget(),
        makeToolbarGroup({m_markupArrowThicknessLabel, m_markupArrowThicknessSlider}, groupSpacing,
                         true)
            ->parentWidget(),
        m_markupArrowheadControl,
        makeToolbarGroup({m_markupArrowHeadWidthLabel, m_markupArrowHeadWidthSlider}, groupSpacing,
                         true)
            ->parentWidget(),
        makeToolbarGroup({m_markupArrowHeadLabel, m_markupArrowHeadSlider}, groupSpacing, true)
            ->parentWidget(),
        m_historySeparator,
        makeToolbarGroup({m_markupUndoButton, m_markupRedoButton}, historyGroupSpacing, true)
            ->parentWidget(),
        m_actionSeparator,
        m_markupClearButton,
    };
    for (QWidget* item : toolRowItems) {
        toolRow->addWidget(item, 0, Qt::AlignVCenter);
    }
    toolRow->addStretch(1);
    m_markupToolRow->hide();

    auto* overlayLayout = new QVBoxLayout(m_overlay);
    overlayLayout->setContentsMargins(overlayMargins);
    overlayLayout->setSpacing(4);
    overlayLayout->addLayout(firstRow, 1);
    overlayLayout->addWidget(m_markupToolRow);

    // The undo toast: a message and its Undo button.
    m_undoToast = new TranslucentPanel(this);
    m_undoToast->setObjectName(QStringLiteral("undoToast"));
    m_undoToast->setStyleSheet(ToolbarStyle::styleSheet());
    m_undoToastLabel =
        makeElidedLabel(QStringLiteral("undoToastLabel"), Qt::ElideRight, ToolbarStyle::font(12),
                        ToolbarStyle::primaryTextColor, m_undoToast);
    m_undoToastButton =
        makeTextButton(QStringLiteral("undoToastButton"), QStringLiteral("Undo"), m_undoToast);
    m_undoToastButton->setFont(ToolbarStyle::font(12, QFont::DemiBold));
    auto* toastLayout = new QHBoxLayout(m_undoToast);
    toastLayout->setContentsMargins(toastMargins);
    toastLayout->setSpacing(rowSpacing);
    toastLayout->addWidget(m_undoToastLabel, 1);
    toastLayout->addWidget(m_undoToastButton, 0, Qt::AlignVCenter);
    m_undoToast->hide();
    m_undoToast->setAlpha(0);

    // The keys belong to the viewer (the arrows step through the images), never to a control.
    for (TranslucentPanel* panel : {m_overlay, m_undoToast}) {
        for (QWidget* control : panel->findChildren<QWidget*>()) {
            control->setFocusPolicy(Qt::NoFocus);
        }
    }

    updateOverviewButtonLook();
    updateEditOverlayControls();
    updateSeparators();
    wireControls();
}

QBoxLayout* ViewerContentView::makeToolbarGroup(const QList<QWidget*>& views, int spacing,
                                                bool collapsible)
{
    auto* group = new QWidget(m_overlay);
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* view : views) {
        layout->addWidget(view, 0, Qt::AlignVCenter);
    }
    // The group takes its members' preferred size; short of room its sliders give way first.
    group->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    if (collapsible) {
        m_collapsibleToolbarGroups.append(group);
    }
    return layout;
}

QFrame* ViewerContentView::makeSeparator(const char* name)
{
    auto* separator = new QFrame(m_overlay);
    separator->setObjectName(QString::fromLatin1(name));
    separator->setProperty("toolbarSeparator", true);
    separator->setFrameShape(QFrame::NoFrame);
    separator->setFixedSize(1, separatorHeight);
    return separator;
}

void ViewerContentView::configureIconToolbarButton(QAbstractButton* button)
{
    ToolbarStyle::setStyleProperty(button, "symbolOnly", true);
    button->setText(QString());
    button->setIconSize(buttonSymbolSize);
    button->setFixedSize(iconButtonWidth, buttonHeight);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ViewerContentView::syncConfirmToolbarButton(QPushButton* button, ConfirmRole role)
{
    // The colours for each role and enabled state are in the style sheet.
    ToolbarStyle::setStyleProperty(button, "toolbarRole",
                                   role == ConfirmRole::confirm ? QStringLiteral("confirm")
                                                                : QStringLiteral("cancel"));
    button->setFont(ToolbarStyle::font(ToolbarStyle::normalDesignSize, role == ConfirmRole::confirm
                                                                           ? QFont::Medium
                                                                           : QFont::Normal));
    button->update();
}
