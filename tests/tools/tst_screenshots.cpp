#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// vistrel-screenshots drives the real window: these tests run the binary with a throwaway home
// folder on the offscreen platform and check that it refuses what it must and writes every
// shot at the window's size.
class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusesWithoutTheTemporaryHomePromise_data();
    void refusesWithoutTheTemporaryHomePromise();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void writesEveryShotAtItsWindowSize_data();
    void writesEveryShotAtItsWindowSize();
    void overlayShotShowsThePanelThatTheFadedShotLacks();
    void markupShotsDifferByTheirSelectedAnnotation();

private:
    struct Run
    {
        int exitCode;
        QString errors;
    };
    // Runs the tool with HOME and the XDG folders inside m_home; `promise` is the value of
    // VISTREL_SCREENSHOTS_HOME_IS_TEMPORARY (none when null).
    Run screenshots(const QStringList& arguments, const QString& promise) const;
    QString shot(const QString& name) const { return m_output.filePath(name); }

    QTemporaryDir m_home;
    QTemporaryDir m_output;
    QString m_imagePath;
    Run m_fullRun{-1, {}};
};

TestScreenshots::Run TestScreenshots::screenshots(const QStringList& arguments,
                                                  const QString& promise) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
    environment.remove(QStringLiteral("VISTREL_SCREENSHOTS_HOME_IS_TEMPORARY"));
    if (!promise.isNull()) {
        environment.insert(QStringLiteral("VISTREL_SCREENSHOTS_HOME_IS_TEMPORARY"), promise);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VISTREL_SCREENSHOTS), arguments);
    if (!process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("timed out")};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

void TestScreenshots::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY(m_output.isValid());
    // A landscape with a bright sky and dark ground, so the translucent panels show over both.
    QImage picture(640, 480, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(0, 0, 640, 300, QColor(120, 180, 240));
    painter.fillRect(0, 300, 640, 180, QColor(40, 90, 30));
    painter.end();
    m_imagePath = m_home.filePath(QStringLiteral("Landscape.png"));
    QVERIFY(picture.save(m_imagePath));
    m_fullRun = screenshots({m_output.path(), m_imagePath}, QStringLiteral("1"));
}

void TestScreenshots::refusesWithoutTheTemporaryHomePromise_data()
{
    QTest::addColumn<QString>("promise");
    QTest::newRow("unset") << QString();
    QTest::newRow("zero") << QStringLiteral("0");
    QTest::newRow("yes") << QStringLiteral("yes");
}

void TestScreenshots::refusesWithoutTheTemporaryHomePromise()
{
    QFETCH(QString, promise);
    QTemporaryDir output;
    const QString folder = output.filePath(QStringLiteral("shots"));
    const Run run = screenshots({folder, m_imagePath}, promise);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.errors.contains(QStringLiteral("VISTREL_SCREENSHOTS_HOME_IS_TEMPORARY")));
    QVERIFY(!QDir(folder).exists());
}

void TestScreenshots::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("writesFolder");
    QTest::newRow("no arguments") << QStringList() << false;
    QTest::newRow("no image") << QStringList{QStringLiteral("shots")} << false;
    QTest::newRow("missing image")
        << QStringList{QStringLiteral("shots"), QStringLiteral("missing.png")} << false;
    QTest::newRow("not an image") << QStringList{QStringLiteral("shots"),
                                                 QStringLiteral("notes.txt")}
                                  << true;
}

void TestScreenshots::refusesBadArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, writesFolder);
    QTemporaryDir work;
    QFile notes(work.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture");
    notes.close();
    for (QString& argument : arguments) {
        argument = work.filePath(argument);
    }
    const Run run = screenshots(arguments, QStringLiteral("1"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY(!run.errors.isEmpty());
    const QDir folder(work.filePath(QStringLiteral("shots")));
    QCOMPARE(folder.exists(), writesFolder);
    QVERIFY(folder.entryList({QStringLiteral("*.png")}).isEmpty());
}

void TestScreenshots::writesEveryShotAtItsWindowSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    const QSize viewer(1200, 800);
    for (const char* name :
         {"view-overlay.png", "view-faded.png", "overview.png", "crop.png", "markup-rectangle.png",
          "markup-ellipse.png", "markup-blur.png", "markup-arrow.png", "markup-curved-arrow.png",
          "markup-pen.png", "markup-text.png", "undo-toast.png"}) {
        QTest::newRow(name) << QString::fromLatin1(name) << viewer;
    }
    QTest::newRow("settings.png") << QStringLiteral("settings.png") << QSize(560, 390);
}

void TestScreenshots::writesEveryShotAtItsWindowSize()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QVERIFY2(m_fullRun.exitCode == 0, qPrintable(m_fullRun.errors));
    const QImage image(shot(name));
    QVERIFY2(!image.isNull(), qPrintable(name));
    QCOMPARE(image.size(), size);
}

void TestScreenshots::overlayShotShowsThePanelThatTheFadedShotLacks()
{
    const QImage overlay(shot(QStringLiteral("view-overlay.png")));
    const QImage faded(shot(QStringLiteral("view-faded.png")));
    QVERIFY(!overlay.isNull() && !faded.isNull());
    QVERIFY(overlay != faded);
}

void TestScreenshots::markupShotsDifferByTheirSelectedAnnotation()
{
    const QImage rectangle(shot(QStringLiteral("markup-rectangle.png")));
    const QImage text(shot(QStringLiteral("markup-text.png")));
    QVERIFY(!rectangle.isNull() && !text.isNull());
    QVERIFY(rectangle != text);
}

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
