#include "BrowserWindow.h"
#include "ImageLoadingPipeline.h"
#include "SystemBeep.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestBrowserWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void opensAtTheGivenFileAndStepsWithArrowKeys();
    void beepsAtBothEnds();
    void refusesWhatIsNotAnImage();
    void paintsTheImageFittedAndCentred();
    void previewTakesTheRectangleOfTheFullImage();

private:
    QUrl urlOf(const QString& name) const { return QUrl::fromLocalFile(m_dir.filePath(name)); }

    QTemporaryDir m_dir;
    std::function<void()> m_previousSink;
    int m_beeps = 0;
};

void TestBrowserWindow::initTestCase()
{
    // Three small images of distinct colours; a wide one to check fitting.
    const QList<std::pair<QString, QColor>> images = {{QStringLiteral("a_1.png"), Qt::red},
                                                      {QStringLiteral("a_2.png"), Qt::green},
                                                      {QStringLiteral("a_10.png"), Qt::blue}};
    for (const auto& [name, colour] : images) {
        QImage image(200, 100, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY(image.save(m_dir.filePath(name)));
    }
    QFile text(m_dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    m_previousSink = SystemBeep::setSink([this] { ++m_beeps; });
}

void TestBrowserWindow::cleanupTestCase()
{
    SystemBeep::setSink(m_previousSink);
}

void TestBrowserWindow::init()
{
    m_beeps = 0;
}

void TestBrowserWindow::opensAtTheGivenFileAndStepsWithArrowKeys()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_2.png"))));
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_2.png")));

    QTest::keyClick(&window, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(window.shownUrl(), urlOf(QStringLiteral("a_10.png")));

    QTest::keyClick(&window, Qt::Key_Left);
    QTest::keyClick(&window, Qt::Key_Left);
    QTRY_COMPARE(window.shownUrl(), urlOf(QStringLiteral("a_1.png")));
    QCOMPARE(window.sequence().currentIndex(), 0);
    QCOMPARE(m_beeps, 0);
}

void TestBrowserWindow::beepsAtBothEnds()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_10.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&window, Qt::Key_Right);
    QCOMPARE(m_beeps, 1);
    QCOMPARE(window.sequence().currentIndex(), 2);

    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    QTest::keyClick(&window, Qt::Key_Left);
    QCOMPARE(m_beeps, 2);
    QCOMPARE(window.sequence().currentIndex(), 0);
}

void TestBrowserWindow::refusesWhatIsNotAnImage()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    QVERIFY(!window.open(urlOf(QStringLiteral("notes.txt"))));
    QVERIFY(!window.open(urlOf(QStringLiteral("missing.png"))));
    QCOMPARE(m_beeps, 2);
    QVERIFY(window.shownUrl().isEmpty());
}

void TestBrowserWindow::paintsTheImageFittedAndCentred()
{
    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    window.resize(400, 400);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QVERIFY(window.open(urlOf(QStringLiteral("a_1.png"))));
    QVERIFY(shown.wait());
    // A 2:1 image in a square window fills the width and is centred vertically.
    const QImage frame = window.grab().toImage();
    QCOMPARE(frame.pixelColor(200, 200), QColor(Qt::red));
    QCOMPARE(frame.pixelColor(5, 105), QColor(Qt::red));
    QCOMPARE(frame.pixelColor(395, 295), QColor(Qt::red));
    QCOMPARE(frame.pixelColor(200, 90), QColor(Qt::black));
    QCOMPARE(frame.pixelColor(200, 310), QColor(Qt::black));
}

void TestBrowserWindow::previewTakesTheRectangleOfTheFullImage()
{
    // A photo large enough for a reduced decode to pay.
    QImage photo(1600, 1200, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    const QString path = m_dir.filePath(QStringLiteral("b_photo.jpg"));
    QVERIFY(photo.save(path, "jpeg"));

    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    window.resize(400, 300);
    QSignalSpy previewed(&window, &BrowserWindow::previewShown);
    QSignalSpy shown(&window, &BrowserWindow::imageShown);
    QRectF previewRect;
    QImage previewFrame;
    connect(&window, &BrowserWindow::previewShown, this, [&] {
        QVERIFY(window.isShowingPreview());
        QVERIFY(window.shownImage().width() < 1600);
        previewRect = window.imageRect();
        previewFrame = window.grab().toImage();
    });
    QVERIFY(window.open(QUrl::fromLocalFile(path)));
    QVERIFY(shown.wait());
    QCOMPARE(previewed.size(), 1);
    QVERIFY(!window.isShowingPreview());
    QCOMPARE(window.shownImage().size(), QSize(1600, 1200));
    QCOMPARE(window.imageRect(), previewRect);
    QCOMPARE(previewRect, QRectF(0, 0, 400, 300));
    QCOMPARE(window.grab().toImage(), previewFrame);

    // Shown again from the cache: no preview.
    QTest::keyClick(&window, Qt::Key_Left);
    QVERIFY(shown.wait());
    QTest::keyClick(&window, Qt::Key_Right);
    QVERIFY(shown.wait());
    QCOMPARE(previewed.size(), 1);
}

QTEST_MAIN(TestBrowserWindow)
#include "tst_browserwindow.moc"
