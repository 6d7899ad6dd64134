#include "SystemBeep.h"
#include "ThumbnailCollectionView.h"
#include "ThumbnailOverviewItem.h"
#include "ThumbnailOverviewView.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QList<QUrl> makeUrls(int count)
{
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        // Files that do not exist: their decodes fail, so only thumbnails the tests deliver
        // ever show.
        urls.append(
            QUrl::fromLocalFile(QStringLiteral("/nonexistent-vistrel/image_%1.jpg").arg(i)));
    }
    return urls;
}

QList<int> range(int first, int last)
{
    QList<int> rows;
    for (int row = first; row <= last; ++row) {
        rows.append(row);
    }
    return rows;
}

// A shown view with `count` items whose selection starts at `selected`, recording the
// selection callbacks.
struct Fixture
{
    explicit Fixture(int count, int selected = 0)
    {
        view.resize(700, 900);
        view.update(makeUrls(count), selected);
        view.onSelectionChanged = [this](int index) {
            reported.append(index);
            menuWasVisibleAtReport = view.contextMenu()->isVisible();
        };
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.collectionView()->doItemsLayout();
    }

    QRect itemRect(int row) const
    {
        ThumbnailCollectionView* grid = view.collectionView();
        return grid->visualRect(grid->model()->index(row, 0));
    }

    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view.collectionView()->viewport(), Qt::LeftButton, modifiers,
                          itemRect(row).center());
    }

    void contextClick(const QPoint& position)
    {
        QWidget* viewport = view.collectionView()->viewport();
        QMenu* menu = view.contextMenu();
        QTimer::singleShot(0, menu, &QMenu::close);
        QContextMenuEvent event(QContextMenuEvent::Mouse, position,
                                viewport->mapToGlobal(position));
        QApplication::sendEvent(viewport, &event);
    }

    // The colour at `point` of the grid's viewport as the user sees it.
    QColor pixelAt(const QPoint& point)
    {
        const QImage image = view.grab().toImage();
        return image.pixelColor(view.collectionView()->viewport()->mapTo(&view, point));
    }

    ThumbnailOverviewView view{nullptr};
    QList<int> reported;
    bool menuWasVisibleAtReport = false;
};

bool isDarkPreview(const QColor& colour)
{
    // White 0.14 at alpha 0.95 over black.
    return std::abs(colour.red() - 34) <= 4 && colour.red() == colour.green() &&
           colour.green() == colour.blue();
}

bool isRed(const QColor& colour)
{
    return colour.red() > 220 && colour.green() < 30 && colour.blue() < 30;
}

// A GIF of `frames` 1x1 red images, each shown for 100 ms.
QByteArray redGif(int frames)
{
    QByteArray gif("GIF89a");
    gif += QByteArray::fromHex("01000100800000"
                               "ff0000"
                               "000000");
    for (int i = 0; i < frames; ++i) {
        gif += QByteArray::fromHex("21f904000a000000"
                                   "2c00000000010001000002024401"
                                   "00");
    }
    return gif + QByteArray::fromHex("3b");
}

} // namespace

class TestThumbnailOverviewView : public QObject
{
    Q_OBJECT

private slots:
    void layoutPlacesItemsBelowTheToolbar();
    void updateChoosesSelection_data();
    void updateChoosesSelection();
    void sideLengthIsClamped_data();
    void sideLengthIsClamped();
    void userSelection_data();
    void userSelection();
    void doubleClickActivates();
    void selectCurrentIndexScrollsToCentre();
    void contextClick_data();
    void contextClick();
    void menuCommands_data();
    void menuCommands();
    void previewPainting_data();
    void previewPainting();
    void selectionBorder_data();
    void selectionBorder();
    void updatePrunesThumbnails();
    void playBadge_data();
    void playBadge();
    void longNamesLoseTheirMiddle_data();
    void longNamesLoseTheirMiddle();
};

void TestThumbnailOverviewView::layoutPlacesItemsBelowTheToolbar()
{
    Fixture fixture(12);
    ThumbnailCollectionView* grid = fixture.view.collectionView();
    const QPoint first = grid->viewport()->mapTo(&fixture.view, fixture.itemRect(0).topLeft());
    QCOMPARE(first, QPoint(12, 84));
    QCOMPARE(fixture.itemRect(0).size(), QSize(120, 150));
    QCOMPARE(fixture.itemRect(1).left() - fixture.itemRect(0).right() - 1, 10);
    const QRect below = fixture.itemRect(int(grid->viewport()->width() / 130));
    QCOMPARE(below.top() - fixture.itemRect(0).bottom() - 1, 10);
    QVERIFY(fixture.view.findChild<QLabel*>()->isHidden());
}

void TestThumbnailOverviewView::updateChoosesSelection_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<int>>("selected");
    QTest::newRow("valid") << 10 << 4 << 4 << QList<int>{4};
    QTest::newRow("negative") << 10 << -1 << 0 << QList<int>{0};
    QTest::newRow("past the end") << 10 << 10 << 0 << QList<int>{0};
    QTest::newRow("empty list") << 0 << 3 << 0 << QList<int>{};
}

void TestThumbnailOverviewView::updateChoosesSelection()
{
    QFETCH(int, count);
    QFETCH(int, requested);
    QFETCH(int, expected);
    QFETCH(QList<int>, selected);
    Fixture fixture(5, 2);
    fixture.view.update(makeUrls(count), requested);
    QCOMPARE(fixture.view.selectedIndex(), expected);
    QCOMPARE(fixture.view.selectedIndexes(-1), selected);
    QCOMPARE(fixture.view.collectionView()->model()->rowCount(), count);
    QCOMPARE(fixture.view.findChild<QLabel*>()->isVisible(), count == 0);
    QVERIFY(fixture.reported.isEmpty());
}

void TestThumbnailOverviewView::sideLengthIsClamped_data()
{
    QTest::addColumn<qreal>("requested");
    QTest::addColumn<qreal>("side");
    QTest::addColumn<int>("maxPixelSize");
    QTest::newRow("below") << 50.0 << 70.0 << 140;
    QTest::newRow("inside") << 100.5 << 100.5 << 201;
    QTest::newRow("above") << 500.0 << 240.0 << 480;
}

void TestThumbnailOverviewView::sideLengthIsClamped()
{
    QFETCH(qreal, requested);
    QFETCH(qreal, side);
    QFETCH(int, maxPixelSize);
    Fixture fixture(8, 3);
    fixture.view.setThumbnailSideLength(requested);
    QCOMPARE(fixture.view.thumbnailSideLength(), side);
    QCOMPARE(fixture.view.thumbnailMaxPixelSize(), maxPixelSize);
    QCOMPARE(fixture.itemRect(0).size(), QSize(int(side), int(side) + 30));
    QCOMPARE(fixture.view.selectedIndexes(-1), QList<int>{3});
    QVERIFY(fixture.reported.isEmpty());
}

void TestThumbnailOverviewView::userSelection_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("clickRows");
    QTest::addColumn<QList<int>>("clickModifiers");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<int>>("reported");
    const int shift = Qt::ShiftModifier;
    const int control = Qt::ControlModifier;
    QTest::newRow("plain click") << 5 << QList<int>{3} << QList<int>{0} << QList<int>{3}
                                 << QList<int>{3};
    QTest::newRow("shift back from the anchor")
        << 5 << QList<int>{2} << QList<int>{shift} << range(2, 5) << QList<int>{2};
    QTest::newRow("anchor stays for the next shift")
        << 5 << QList<int>{2, 8} << QList<int>{shift, shift} << range(5, 8) << QList<int>{2, 8};
    QTest::newRow("control-shift adds the range")
        << 5 << QList<int>{0, 8} << QList<int>{control, control | shift}
        << QList<int>{0, 5, 6, 7, 8} << QList<int>{0, 8};
    QTest::newRow("control adds, lowest reported")
        << 1 << QList<int>{4} << QList<int>{control} << QList<int>{1, 4} << QList<int>{1};
    QTest::newRow("deselecting the last reports nothing")
        << 5 << QList<int>{5} << QList<int>{control} << QList<int>{} << QList<int>{};
    QTest::newRow("single click moves the anchor")
        << 5 << QList<int>{7, 9} << QList<int>{0, shift} << range(7, 9) << QList<int>{7, 9};
}

void TestThumbnailOverviewView::userSelection()
{
    QFETCH(int, start);
    QFETCH(QList<int>, clickRows);
    QFETCH(QList<int>, clickModifiers);
    QFETCH(QList<int>, selected);
    QFETCH(QList<int>, reported);
    Fixture fixture(12, start);
    for (qsizetype i = 0; i < clickRows.size(); ++i) {
        fixture.click(clickRows.at(i), Qt::KeyboardModifiers(clickModifiers.at(i)));
    }
    QCOMPARE(fixture.view.selectedIndexes(-1), selected);
    QCOMPARE(fixture.reported, reported);
    if (!reported.isEmpty()) {
        QCOMPARE(fixture.view.selectedIndex(), reported.last());
    }
}

void TestThumbnailOverviewView::doubleClickActivates()
{
    Fixture fixture(6);
    QList<int> activated;
    fixture.view.onActivateIndex = [&](int index) { activated.append(index); };
    QTest::mouseDClick(fixture.view.collectionView()->viewport(), Qt::LeftButton, {},
                       fixture.itemRect(4).center());
    QCOMPARE(activated, QList<int>{4});
    QCOMPARE(fixture.view.selectedIndexes(-1), QList<int>{4});
}

void TestThumbnailOverviewView::selectCurrentIndexScrollsToCentre()
{
    Fixture fixture(300, 0);
    fixture.view.update(makeUrls(300), 150);
    fixture.view.selectCurrentIndex(true);
    // The scroll waits for the current event to finish.
    QCOMPARE(fixture.view.collectionView()->verticalScrollBar()->value(), 0);
    QCoreApplication::processEvents();
    const QRect viewport = fixture.view.collectionView()->viewport()->rect();
    QVERIFY(std::abs(fixture.itemRect(150).center().y() - viewport.center().y()) <= 1);
    QCOMPARE(fixture.view.selectedIndexes(-1), QList<int>{150});
    QVERIFY(fixture.reported.isEmpty());
}

void TestThumbnailOverviewView::contextClick_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<int>>("reported");
    QTest::newRow("unselected item") << 4 << QList<int>{4} << QList<int>{4};
    QTest::newRow("selected item") << 2 << QList<int>{2} << QList<int>{};
    QTest::newRow("empty space") << -1 << QList<int>{2} << QList<int>{};
}

void TestThumbnailOverviewView::contextClick()
{
    QFETCH(int, row);
    QFETCH(QList<int>, selected);
    QFETCH(QList<int>, reported);
    Fixture fixture(6, 2);
    const QPoint position =
        row >= 0 ? fixture.itemRect(row).center()
                 : fixture.view.collectionView()->viewport()->rect().bottomRight() - QPoint(5, 5);
    fixture.contextClick(position);
    QCOMPARE(fixture.view.selectedIndexes(-1), selected);
    QCOMPARE(fixture.reported, reported);
    QVERIFY(!fixture.menuWasVisibleAtReport);
    if (!reported.isEmpty()) {
        QCOMPARE(fixture.view.selectedIndex(), row);
    }
}

void TestThumbnailOverviewView::menuCommands_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("controlClicks");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("beeps");
    QTest::addColumn<QList<int>>("activated");
    QTest::addColumn<QList<int>>("printed");
    QTest::addColumn<QList<int>>("deleted");
    const QList<int> none;
    for (const char* command : {"Open in Detail", "Print Selected", "Delete Selected"}) {
        QTest::addRow("empty list: %s", command)
            << 0 << none << command << 1 << none << none << none;
    }
    QTest::newRow("open the lowest")
        << 10 << QList<int>{7} << "Open in Detail" << 0 << QList<int>{3} << none << none;
    QTest::newRow("print all selected")
        << 10 << QList<int>{7} << "Print Selected" << 0 << none << QList<int>{3, 7} << none;
    QTest::newRow("delete all selected")
        << 10 << QList<int>{7} << "Delete Selected" << 0 << none << none << QList<int>{3, 7};
    QTest::newRow("nothing selected falls back to the current")
        << 10 << QList<int>{3} << "Print Selected" << 0 << none << QList<int>{3} << none;
}

void TestThumbnailOverviewView::menuCommands()
{
    QFETCH(int, count);
    QFETCH(QList<int>, controlClicks);
    QFETCH(QString, command);
    QFETCH(int, beeps);
    QFETCH(QList<int>, activated);
    QFETCH(QList<int>, printed);
    QFETCH(QList<int>, deleted);
    Fixture fixture(count, 3);
    for (int row : controlClicks) {
        fixture.click(row, Qt::ControlModifier);
    }
    int beepCount = 0;
    const auto previousSink = SystemBeep::setSink([&] { ++beepCount; });
    QList<int> seenActivated;
    QList<int> seenPrinted;
    QList<int> seenDeleted;
    fixture.view.onActivateIndex = [&](int index) { seenActivated.append(index); };
    fixture.view.onPrintSelectedIndexes = [&](const QList<int>& list) { seenPrinted = list; };
    fixture.view.onDeleteSelectedIndexes = [&](const QList<int>& list) { seenDeleted = list; };

    QMenu* menu = fixture.view.contextMenu();
    QCOMPARE(menu->title(), QStringLiteral("Thumbnail"));
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 4);
    QVERIFY(actions.at(1)->isSeparator());
    const auto found = std::find_if(actions.begin(), actions.end(),
                                    [&](QAction* action) { return action->text() == command; });
    QVERIFY(found != actions.end());
    (*found)->trigger();
    SystemBeep::setSink(previousSink);

    QCOMPARE(beepCount, beeps);
    QCOMPARE(seenActivated, activated);
    QCOMPARE(seenPrinted, printed);
    QCOMPARE(seenDeleted, deleted);
}

void TestThumbnailOverviewView::previewPainting_data()
{
    QTest::addColumn<QSize>("thumbnailSize");
    QTest::addColumn<int>("deliveredMaxPixelSize");
    QTest::addColumn<bool>("fill");
    QTest::addColumn<bool>("edgeIsImage");
    QTest::addColumn<bool>("centreIsImage");
    // The side is 100, so the current maximum pixel size is 200.
    QTest::newRow("no thumbnail yet") << QSize() << 0 << false << false << false;
    QTest::newRow("failed decode") << QSize() << 200 << false << false << false;
    QTest::newRow("portrait fitted") << QSize(100, 200) << 200 << false << false << true;
    QTest::newRow("portrait filled") << QSize(100, 200) << 200 << true << true << true;
    QTest::newRow("result for the old size") << QSize(100, 200) << 240 << true << false << false;
}

void TestThumbnailOverviewView::previewPainting()
{
    QFETCH(QSize, thumbnailSize);
    QFETCH(int, deliveredMaxPixelSize);
    QFETCH(bool, fill);
    QFETCH(bool, edgeIsImage);
    QFETCH(bool, centreIsImage);
    Fixture fixture(3, 0);
    fixture.view.setThumbnailSideLength(100);
    fixture.view.setThumbnailContentMode(fill ? ThumbnailContentMode::fillAndCrop
                                              : ThumbnailContentMode::fit);
    const QUrl url = makeUrls(3).at(1);
    if (deliveredMaxPixelSize > 0) {
        std::optional<QImage> thumbnail;
        if (thumbnailSize.isValid()) {
            thumbnail = QImage(thumbnailSize, QImage::Format_RGB32);
            thumbnail->fill(Qt::red);
        }
        fixture.view.acceptThumbnail(url, deliveredMaxPixelSize, thumbnail);
    }
    const QRect square = fixture.itemRect(1).adjusted(0, 0, 0, -30);
    const QPoint edge(square.left() + 5, square.center().y());
    const QColor edgeColour = fixture.pixelAt(edge);
    const QColor centreColour = fixture.pixelAt(square.center());
    QVERIFY2(edgeIsImage ? isRed(edgeColour) : isDarkPreview(edgeColour),
             qPrintable(edgeColour.name()));
    QVERIFY2(centreIsImage ? isRed(centreColour) : isDarkPreview(centreColour),
             qPrintable(centreColour.name()));
}

void TestThumbnailOverviewView::selectionBorder_data()
{
    QTest::addColumn<QList<int>>("controlClicks");
    QTest::addColumn<bool>("selected");
    QTest::newRow("selected") << QList<int>{} << true;
    QTest::newRow("deselected") << QList<int>{1} << false;
    QTest::newRow("selected again") << QList<int>{1, 1} << true;
    QTest::newRow("another selected instead") << QList<int>{1, 2} << false;
}

void TestThumbnailOverviewView::selectionBorder()
{
    QFETCH(QList<int>, controlClicks);
    QFETCH(bool, selected);
    Fixture fixture(3, 1);
    for (int row : controlClicks) {
        fixture.click(row, Qt::ControlModifier);
    }
    const QRect cell = fixture.itemRect(1);
    const QColor border = fixture.pixelAt(QPoint(cell.left(), cell.top() + cell.width() / 2));
    if (selected) {
        // 2 px of (0, 122, 255).
        QCOMPARE(border, QColor(0, 122, 255));
        QCOMPARE(fixture.pixelAt(QPoint(cell.left() + 1, cell.top() + cell.width() / 2)), border);
    } else {
        // 1 px of white at alpha 0.12 over the dark preview.
        QVERIFY2(std::abs(border.red() - 60) <= 4 && border.red() == border.blue(),
                 qPrintable(border.name()));
        QVERIFY(
            isDarkPreview(fixture.pixelAt(QPoint(cell.left() + 1, cell.top() + cell.width() / 2))));
    }
}

void TestThumbnailOverviewView::updatePrunesThumbnails()
{
    Fixture fixture(3, 0);
    const QList<QUrl> urls = makeUrls(3);
    QImage red(240, 240, QImage::Format_RGB32);
    red.fill(Qt::red);
    fixture.view.acceptThumbnail(urls.at(1), fixture.view.thumbnailMaxPixelSize(), red);
    fixture.view.acceptThumbnail(urls.at(2), fixture.view.thumbnailMaxPixelSize(), red);
    // urls[1] leaves the list and comes back; urls[2] stays throughout.
    fixture.view.update({urls.at(0), urls.at(2)}, 0);
    fixture.view.update(urls, 0);
    QVERIFY(isDarkPreview(fixture.pixelAt(fixture.itemRect(1).center() - QPoint(0, 15))));
    QVERIFY(isRed(fixture.pixelAt(fixture.itemRect(2).center() - QPoint(0, 15))));
    // A result for a URL no longer listed is dropped.
    fixture.view.update({urls.at(0)}, 0);
    fixture.view.acceptThumbnail(urls.at(1), fixture.view.thumbnailMaxPixelSize(), red);
    fixture.view.update(urls, 0);
    QVERIFY(isDarkPreview(fixture.pixelAt(fixture.itemRect(1).center() - QPoint(0, 15))));
}

void TestThumbnailOverviewView::playBadge_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("badge");
    QTest::newRow("animated gif") << "moving.gif" << 2 << true;
    QTest::newRow("still gif") << "still.gif" << 1 << false;
    // Only names that can animate are probed.
    QTest::newRow("animated gif named jpeg") << "moving.jpg" << 2 << false;
}

void TestThumbnailOverviewView::playBadge()
{
    QFETCH(QString, name);
    QFETCH(int, frames);
    QFETCH(bool, badge);
    QTemporaryDir folder;
    const QString path = folder.filePath(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(redGif(frames)) > 0);
    file.close();
    ThumbnailOverviewView view(nullptr);
    view.resize(700, 900);
    view.setThumbnailSideLength(100);
    view.update({QUrl::fromLocalFile(path)}, 0);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    ThumbnailCollectionView* grid = view.collectionView();
    grid->doItemsLayout();
    const QRect cell = grid->visualRect(grid->model()->index(0, 0));
    const auto pixelAt = [&](const QPoint& point) {
        return view.grab().toImage().pixelColor(grid->viewport()->mapTo(&view, point));
    };
    // The square is filled by the red frame once the thumbnail arrives (with the probe's
    // answer, which comes first).
    QTRY_VERIFY(isRed(pixelAt(cell.topLeft() + QPoint(50, 50))));
    // The badge is a 20 px disc 6 px in from the lower left corner of the image, with the
    // triangle's centre one pixel right of the disc's.
    const QPoint discCentre(cell.left() + 16, cell.top() + 100 - 16);
    const QColor triangle = pixelAt(discCentre);
    const QColor disc = pixelAt(discCentre - QPoint(7, 0));
    if (badge) {
        QVERIFY2(triangle.red() > 240 && triangle.green() > 240 && triangle.blue() > 240,
                 qPrintable(triangle.name()));
        QVERIFY2(disc.red() > 60 && disc.red() < 150 && disc.green() < 30, qPrintable(disc.name()));
    } else {
        QVERIFY2(isRed(triangle), qPrintable(triangle.name()));
        QVERIFY2(isRed(disc), qPrintable(disc.name()));
    }
}

void TestThumbnailOverviewView::longNamesLoseTheirMiddle_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("elided");
    QTest::newRow("short") << "a.jpg" << false;
    QTest::newRow("long") << "IMG_20240101_holiday_at_the_seaside_with_everyone_0001.jpeg" << true;
}

void TestThumbnailOverviewView::longNamesLoseTheirMiddle()
{
    QFETCH(QString, name);
    QFETCH(bool, elided);
    const QString shown = ThumbnailOverviewItem::elidedFileName(name, 116);
    if (!elided) {
        QCOMPARE(shown, name);
        return;
    }
    QVERIFY(shown.size() < name.size());
    QVERIFY(shown.startsWith(QStringLiteral("IMG_")));
    QVERIFY(shown.endsWith(QStringLiteral(".jpeg")));
    QVERIFY(shown.contains(QChar(0x2026)));
}

QTEST_MAIN(TestThumbnailOverviewView)
#include "tst_thumbnailoverviewview.moc"
