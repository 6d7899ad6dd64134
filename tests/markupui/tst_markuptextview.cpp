#include "MarkupTextView.h"

#include <QApplication>
#include <QTest>

class TestMarkupTextView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void finishingKeysCommitAndKeepTheText_data();
    void finishingKeysCommitAndKeepTheText();
    void shiftReturnInsertsALineBreak_data();
    void shiftReturnInsertsALineBreak();
    void everyTextChangeAsksForAResize();
    void usedSizeFollowsTheLongestLineAndTheLineCount();
    void insertionPointIsDrawnInTheTextColour();

private:
    MarkupTextView* m_view = nullptr;
    int m_commits = 0;
    int m_resizes = 0;
};

void TestMarkupTextView::init()
{
    m_view = new MarkupTextView;
    m_view->resize(220, 60);
    m_commits = 0;
    m_resizes = 0;
    m_view->commitHandler = [this] { ++m_commits; };
    m_view->resizeHandler = [this] { ++m_resizes; };
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
}

void TestMarkupTextView::cleanup()
{
    delete m_view;
    m_view = nullptr;
}

void TestMarkupTextView::finishingKeysCommitAndKeepTheText_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers();
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter)
                                  << Qt::KeyboardModifiers(Qt::KeypadModifier);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers();
}

void TestMarkupTextView::finishingKeysCommitAndKeepTheText()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QTest::keyClicks(m_view, QStringLiteral("Hello"));
    QTest::keyClick(m_view, Qt::Key(key), modifiers);
    QCOMPARE(m_commits, 1);
    QCOMPARE(m_view->toPlainText(), QStringLiteral("Hello"));
}

void TestMarkupTextView::shiftReturnInsertsALineBreak_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Shift+Return") << int(Qt::Key_Return)
                                  << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Shift+keypad Enter")
        << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::KeypadModifier);
}

void TestMarkupTextView::shiftReturnInsertsALineBreak()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QTest::keyClicks(m_view, QStringLiteral("ab"));
    QTest::keyClick(m_view, Qt::Key(key), modifiers);
    QTest::keyClicks(m_view, QStringLiteral("cd"));
    QCOMPARE(m_commits, 0);
    QCOMPARE(m_view->toPlainText(), QStringLiteral("ab\ncd"));
}

void TestMarkupTextView::everyTextChangeAsksForAResize()
{
    QTest::keyClicks(m_view, QStringLiteral("abc"));
    QCOMPARE(m_resizes, 3);
    QTest::keyClick(m_view, Qt::Key_Backspace);
    QCOMPARE(m_resizes, 4);
    QTest::keyClick(m_view, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(m_resizes, 5);
    // Moving the insertion point changes nothing.
    QTest::keyClick(m_view, Qt::Key_Left);
    QCOMPARE(m_resizes, 5);
}

void TestMarkupTextView::usedSizeFollowsTheLongestLineAndTheLineCount()
{
    m_view->setPlainText(QStringLiteral("short"));
    const QSizeF oneLine = m_view->usedTextSize();
    QVERIFY(oneLine.width() > 0);
    QVERIFY(oneLine.height() > 0);

    // Lines never wrap: a line far wider than the view stays one line.
    m_view->setPlainText(QStringLiteral("a much longer line than the view is wide, by far"));
    const QSizeF longLine = m_view->usedTextSize();
    QVERIFY(longLine.width() > m_view->width());
    QCOMPARE(longLine.height(), oneLine.height());

    m_view->setPlainText(QStringLiteral("short\nshort\nshort"));
    const QSizeF threeLines = m_view->usedTextSize();
    QCOMPARE(threeLines.width(), oneLine.width());
    QCOMPARE(threeLines.height(), 3 * oneLine.height());
}

void TestMarkupTextView::insertionPointIsDrawnInTheTextColour()
{
    const QColor green(0, 160, 0);
    m_view->setTextColor(green);
    QApplication::setActiveWindow(m_view);
    QVERIFY(QTest::qWaitForWindowActive(m_view));
    m_view->setFocus();
    QTest::keyClicks(m_view, QStringLiteral("ab"));

    const QImage shot = m_view->viewport()->grab().toImage();
    const QRect caret = m_view->cursorRect();
    QCOMPARE(shot.pixelColor(caret.left(), caret.center().y()).rgb(), green.rgb());
}

QTEST_MAIN(TestMarkupTextView)
#include "tst_markuptextview.moc"
