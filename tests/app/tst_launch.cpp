#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Starts the real `vistrel` on a private X server, each test in a fresh home folder, and watches
// the line it logs for every image presented. These are the rules a user sees when launching it
// from a terminal or a file manager: one viewer, later launches hand over their file and end.
class TestLaunch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void presentsTheFileItWasLaunchedWith();
    void secondLaunchWithAFileHandsItToTheRunningViewer();
    void secondLaunchWithoutFilesEndsAfterWaitingForAnOpenEvent();
    void killedViewerDoesNotBlockTheNextStart();
    void allowMultipleInstancesLetsEveryLaunchRun();
    void lockFailureIsLoggedAndEndsTheLaunch();
    void argumentsThatAreNotImagesAreSkipped_data();
    void argumentsThatAreNotImagesAreSkipped();

private:
    // Generous enough for a sanitizer build starting its first window; a normal build presents
    // in a fraction of a second, and the wait ends as soon as the line arrives.
    static constexpr int presentTimeoutMs = 20000;

    // The title ends the line, but a title (the file's name) may hold a line break itself, so
    // the record keeps what follows the metadata and the title is matched against it.
    struct Presented
    {
        QString path;
        QString position;
        QString metadata;
        QString rest;

        bool hasTitle(const QString& title) const { return rest.startsWith(title + u'\n'); }
    };

    struct Launch
    {
        QProcess process;
        QByteArray output;
        QElapsedTimer clock;
        qint64 finishedAfterMs = -1;

        QList<Presented> presented() const;
        std::optional<Presented> presentedFile(const QString& path) const;
        bool isFinished() const { return finishedAfterMs >= 0; }
    };

    Launch& start(const QStringList& arguments, const QString& escapedFirstArgument = {});
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    std::optional<Presented> waitForPresented(Launch& launch, const QString& path);
    bool waitForFinished(Launch& launch, int timeoutMs);
    QString picture(const QString& name) const { return m_fixtures.filePath("Pictures/" + name); }
    QString odd(const QString& name) const { return m_fixtures.filePath("Odd/" + name); }
    static QString failureContext(const Launch& launch);

    QProcess m_display;
    QString m_displayName;
    QTemporaryDir m_fixtures;
    std::unique_ptr<QTemporaryDir> m_home;
    std::vector<std::unique_ptr<Launch>> m_launches;
};

namespace {

const QByteArray presentedMarker = "vistrel.presentation: presented\t";

QString sample(const QString& name)
{
    return QDir(QStringLiteral(VISTREL_SAMPLES_DIR)).filePath(name);
}

bool copyFile(const QByteArray& from, const QByteArray& to)
{
    QFile source(QFile::decodeName(from));
    if (!source.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = source.readAll();
    // Raw bytes, so a name that is not valid UTF-8 is written as given.
    std::FILE* target = std::fopen(to.constData(), "wb");
    if (target == nullptr) {
        return false;
    }
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), target) == size_t(bytes.size());
    return std::fclose(target) == 0 && written;
}

} // namespace

QList<TestLaunch::Presented> TestLaunch::Launch::presented() const
{
    // PATH, N/T, METADATA and TITLE are tab-separated. A path may hold a line break, so records
    // are cut at tabs rather than read line by line.
    QList<Presented> records;
    for (qsizetype at = output.indexOf(presentedMarker); at >= 0;
         at = output.indexOf(presentedMarker, at + 1)) {
        const QStringList fields =
            QString::fromUtf8(output.mid(at + presentedMarker.size(), 4096)).split(u'\t');
        if (fields.size() >= 4) {
            records.append({fields.at(0), fields.at(1), fields.at(2), fields.mid(3).join(u'\t')});
        }
    }
    return records;
}

std::optional<TestLaunch::Presented> TestLaunch::Launch::presentedFile(const QString& path) const
{
    for (const Presented& record : presented()) {
        if (record.path == path) {
            return record;
        }
    }
    return std::nullopt;
}

void TestLaunch::initTestCase()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    QVERIFY2(!xvfb.isEmpty(), "Xvfb is needed (scripts/bootstrap installs it)");
    // The server picks a free display itself and writes its number once it accepts clients.
    m_display.start(xvfb,
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(m_display.waitForStarted());
    QByteArray number;
    while (!number.contains('\n') && m_display.waitForReadyRead(15000)) {
        number += m_display.readAllStandardOutput();
    }
    bool isNumber = false;
    number.trimmed().toInt(&isNumber);
    QVERIFY2(isNumber, number.constData());
    m_displayName = u':' + QString::fromLatin1(number.trimmed());

    // A folder of three images in natural name order, plus a file that is not one.
    QVERIFY(m_fixtures.isValid());
    QVERIFY(QDir(m_fixtures.path()).mkpath(QStringLiteral("Pictures")));
    QVERIFY(QDir(m_fixtures.path()).mkpath(QStringLiteral("Odd/folder.jpg")));
    QVERIFY(QFile::copy(sample(QStringLiteral("IMG_1.png")), picture(QStringLiteral("a1.png"))));
    QVERIFY(QFile::copy(sample(QStringLiteral("Orientation_1.jpg")),
                        picture(QStringLiteral("a2.jpg"))));
    QVERIFY(QFile::copy(sample(QStringLiteral("IMG_2.jpg")), picture(QStringLiteral("a10.jpg"))));
    QVERIFY(QFile::copy(sample(QStringLiteral("Notes.txt")), picture(QStringLiteral("notes.txt"))));
    // Odd names: image bytes behind names that are not image names, and image names that are
    // unusual.
    const QByteArray jpeg = QFile::encodeName(sample(QStringLiteral("IMG_2.jpg")));
    for (const QString& name :
         {QStringLiteral("README"), QStringLiteral("photo.txt"), QStringLiteral("CAPS.JPG"),
          QStringLiteral("line\nbreak.jpg"), QStringLiteral("ok.jpg")}) {
        QVERIFY(copyFile(jpeg, QFile::encodeName(odd(name))));
    }
    QVERIFY(copyFile(jpeg, QFile::encodeName(odd({})) + "/\xff\xfe"));
}

void TestLaunch::cleanupTestCase()
{
    m_display.kill();
    m_display.waitForFinished();
    // QDir cannot name it, so the temporary folder could not remove it.
    std::remove((QFile::encodeName(odd({})) + "/\xff\xfe").constData());
}

void TestLaunch::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    QDir home(m_home->path());
    for (const QString& folder : {QStringLiteral(".config"), QStringLiteral(".local/share"),
                                  QStringLiteral(".cache"), QStringLiteral("run")}) {
        QVERIFY(home.mkpath(folder));
    }
    QVERIFY(QFile::setPermissions(home.filePath(QStringLiteral("run")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestLaunch::cleanup()
{
    for (const std::unique_ptr<Launch>& launch : m_launches) {
        launch->process.kill();
        launch->process.waitForFinished();
    }
    m_launches.clear();
    m_home.reset();
}

// Starts vistrel with `arguments`. An `escapedFirstArgument` (printf %b escapes) goes first as
// raw bytes through the shell, which then becomes vistrel (same process).
TestLaunch::Launch& TestLaunch::start(const QStringList& arguments,
                                      const QString& escapedFirstArgument)
{
    const QString home = m_home->path();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + "/.config");
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + "/.local/share");
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + "/.cache");
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + "/run");
    environment.insert(QStringLiteral("DISPLAY"), m_displayName);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                       QStringLiteral("vistrel.presentation.debug=true"));
    // Nothing of the user's desktop session: no bus, no session manager, no compositor.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + home + "/no-bus");
    environment.remove(QStringLiteral("SESSION_MANAGER"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));

    auto launch = std::make_unique<Launch>();
    Launch* raw = launch.get();
    raw->process.setProcessEnvironment(environment);
    raw->process.setProcessChannelMode(QProcess::MergedChannels);
    raw->process.setWorkingDirectory(m_fixtures.path());
    connect(&raw->process, &QProcess::readyRead, this,
            [raw] { raw->output += raw->process.readAll(); });
    connect(&raw->process, &QProcess::finished, this, [raw] {
        raw->output += raw->process.readAll();
        raw->finishedAfterMs = raw->clock.elapsed();
    });
    const QString program = QStringLiteral(VISTREL_PROGRAM);
    raw->clock.start();
    if (escapedFirstArgument.isEmpty()) {
        raw->process.start(program, arguments);
    } else {
        raw->process.start(QStringLiteral("/bin/sh"),
                           QStringList{QStringLiteral("-c"),
                                       QStringLiteral("p=$0; a=$(printf '%b' \"$1\"); shift; "
                                                      "exec \"$p\" \"$a\" \"$@\""),
                                       program, escapedFirstArgument} +
                               arguments);
    }
    m_launches.push_back(std::move(launch));
    return *raw;
}

// Runs the event loop until `done` holds after some output or end of a launch, or the time runs
// out. No fixed sleeps: it returns as soon as the awaited line or exit arrives.
bool TestLaunch::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done()) {
            loop.quit();
        }
    };
    for (const std::unique_ptr<Launch>& launch : m_launches) {
        connect(&launch->process, &QProcess::readyRead, &loop, check);
        connect(&launch->process, &QProcess::finished, &loop, check);
    }
    loop.exec();
    return done();
}

std::optional<TestLaunch::Presented> TestLaunch::waitForPresented(Launch& launch,
                                                                  const QString& path)
{
    waitUntil([&] { return launch.presentedFile(path).has_value() || launch.isFinished(); },
              presentTimeoutMs);
    return launch.presentedFile(path);
}

bool TestLaunch::waitForFinished(Launch& launch, int timeoutMs)
{
    return waitUntil([&] { return launch.isFinished(); }, timeoutMs);
}

QString TestLaunch::failureContext(const Launch& launch)
{
    return QStringLiteral("state %1, exit status %2, exit code %3, error %4, output:\n%5")
        .arg(int(launch.process.state()))
        .arg(int(launch.process.exitStatus()))
        .arg(launch.process.exitCode())
        .arg(launch.process.errorString(), QString::fromUtf8(launch.output.right(4000)));
}

void TestLaunch::presentsTheFileItWasLaunchedWith()
{
    Launch& viewer = start({picture(QStringLiteral("a2.jpg"))});
    const std::optional<Presented> shown = waitForPresented(viewer, picture("a2.jpg"));
    QVERIFY2(shown, qPrintable(failureContext(viewer)));
    // a1.png, a2.jpg, a10.jpg: natural order, and the text file is not counted.
    QCOMPARE(shown->position, QStringLiteral("2/3"));
    QVERIFY2(shown->metadata.startsWith(QStringLiteral("480x320 px \u2022 Test Camera 100")),
             qPrintable(shown->metadata));
    QVERIFY2(shown->hasTitle(QStringLiteral("a2.jpg")), qPrintable(shown->rest));
    QCOMPARE(viewer.presented().size(), 1);
}

void TestLaunch::secondLaunchWithAFileHandsItToTheRunningViewer()
{
    Launch& viewer = start({picture(QStringLiteral("a2.jpg"))});
    QVERIFY2(waitForPresented(viewer, picture("a2.jpg")), qPrintable(failureContext(viewer)));

    Launch& second = start({picture(QStringLiteral("a10.jpg"))});
    const std::optional<Presented> shown = waitForPresented(viewer, picture("a10.jpg"));
    const qint64 presentedAfterMs = second.clock.elapsed();
    QVERIFY2(shown, qPrintable(failureContext(viewer)));
    QCOMPARE(shown->position, QStringLiteral("3/3"));
    QVERIFY2(shown->hasTitle(QStringLiteral("a10.jpg")), qPrintable(shown->rest));

    QVERIFY2(waitForFinished(second, 10000), qPrintable(failureContext(second)));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY2(second.presented().isEmpty(), qPrintable(failureContext(second)));
    qInfo("second launch ended after %lld ms; its file presented after %lld ms",
          second.finishedAfterMs, presentedAfterMs);
    // About a second in a normal build; a sanitizer build starts processes more slowly.
    QVERIFY2(second.finishedAfterMs < 3000, qPrintable(QString::number(second.finishedAfterMs)));
    QCOMPARE(viewer.process.state(), QProcess::Running);
}

void TestLaunch::secondLaunchWithoutFilesEndsAfterWaitingForAnOpenEvent()
{
    Launch& viewer = start({picture(QStringLiteral("a2.jpg"))});
    QVERIFY2(waitForPresented(viewer, picture("a2.jpg")), qPrintable(failureContext(viewer)));

    Launch& second = start({});
    QVERIFY2(waitForFinished(second, 10000), qPrintable(failureContext(second)));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    qInfo("second launch without files ended after %lld ms", second.finishedAfterMs);
    // It waits for the desktop's open-documents event for a second before giving up.
    QVERIFY2(second.finishedAfterMs >= 1000, qPrintable(QString::number(second.finishedAfterMs)));
    QCOMPARE(viewer.presented().size(), 1);
    QCOMPARE(viewer.process.state(), QProcess::Running);
}

void TestLaunch::killedViewerDoesNotBlockTheNextStart()
{
    Launch& killed = start({picture(QStringLiteral("a2.jpg"))});
    QVERIFY2(waitForPresented(killed, picture("a2.jpg")), qPrintable(failureContext(killed)));
    killed.process.kill();
    QVERIFY(waitForFinished(killed, 10000));

    Launch& next = start({picture(QStringLiteral("a10.jpg"))});
    const std::optional<Presented> shown = waitForPresented(next, picture("a10.jpg"));
    QVERIFY2(shown, qPrintable(failureContext(next)));
    QCOMPARE(shown->position, QStringLiteral("3/3"));
}

void TestLaunch::allowMultipleInstancesLetsEveryLaunchRun()
{
    QFile settings(m_home->filePath(QStringLiteral(".config/com.dorn.vistrel.conf")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nallowMultipleInstances=true\n");
    settings.close();

    Launch& first = start({picture(QStringLiteral("a2.jpg"))});
    QVERIFY2(waitForPresented(first, picture("a2.jpg")), qPrintable(failureContext(first)));
    Launch& second = start({picture(QStringLiteral("a10.jpg"))});
    QVERIFY2(waitForPresented(second, picture("a10.jpg")), qPrintable(failureContext(second)));
    QCOMPARE(first.process.state(), QProcess::Running);
    QCOMPARE(second.process.state(), QProcess::Running);
    QVERIFY(!first.presentedFile(picture(QStringLiteral("a10.jpg"))));
}

void TestLaunch::lockFailureIsLoggedAndEndsTheLaunch()
{
    // A file where the lock's folder belongs: the lock cannot be taken, and no one holds it.
    QFile blocker(m_home->filePath(QStringLiteral(".local/share/com.dorn.vistrel")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    Launch& launch = start({picture(QStringLiteral("a2.jpg"))});
    QVERIFY2(waitForFinished(launch, 10000), qPrintable(failureContext(launch)));
    QCOMPARE(launch.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(launch.process.exitCode(), 0);
    QVERIFY2(launch.output.contains("vistrel failed to acquire the single-instance lock: "),
             qPrintable(failureContext(launch)));
    QVERIFY(launch.presented().isEmpty());
}

void TestLaunch::argumentsThatAreNotImagesAreSkipped_data()
{
    QTest::addColumn<QString>("escapedFirstArgument");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    const QString image = odd(QStringLiteral("ok.jpg"));
    const QString later = picture(QStringLiteral("a10.jpg"));
    QTest::newRow("folders") << QString() << QStringList{m_fixtures.path(), odd({}), "/", image}
                             << image;
    QTest::newRow("missing files")
        << QString()
        << QStringList{odd(QStringLiteral("missing")), odd(QStringLiteral("missing.txt")), image,
                       odd(QStringLiteral("missing.jpg"))}
        << image;
    QTest::newRow("image bytes under other names")
        << QString()
        << QStringList{odd(QStringLiteral("README")), odd(QStringLiteral("photo.txt")),
                       picture(QStringLiteral("notes.txt")), image}
        << image;
    QTest::newRow("options") << QString()
                             << QStringList{"-v", "--help",    "-psn_0_12345", "--",
                                            "-",  "-" + later, image,          "--version"}
                             << image;
    QTest::newRow("extension in capitals")
        << QString() << QStringList{odd(QStringLiteral("CAPS.JPG")), image}
        << odd(QStringLiteral("CAPS.JPG"));
    QTest::newRow("relative path with dot segments")
        << QString() << QStringList{QStringLiteral("./nowhere/../Odd/ok.jpg")} << image;
    QTest::newRow("line break in the name")
        << QString() << QStringList{odd(QStringLiteral("line\nbreak.jpg")), image}
        << odd(QStringLiteral("line\nbreak.jpg"));
    QTest::newRow("name not valid UTF-8")
        << QString(odd(QStringLiteral("\\0377\\0376"))) << QStringList{image} << image;

    // 1 000 arguments: missing names, options and folders before the first image, more
    // images after it.
    QStringList many;
    for (int i = 0; i < 997; ++i) {
        many.append(i % 3 == 0   ? odd(QStringLiteral("missing-%1").arg(i))
                    : i % 3 == 1 ? QStringLiteral("--option-%1").arg(i)
                                 : m_fixtures.path());
        if (i == 600) {
            many.append({image, later});
        }
    }
    many.append(later);
    QTest::newRow("1000 arguments") << QString() << many << image;
}

void TestLaunch::argumentsThatAreNotImagesAreSkipped()
{
    QFETCH(QString, escapedFirstArgument);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    Launch& viewer = start(arguments, escapedFirstArgument);
    const std::optional<Presented> shown = waitForPresented(viewer, expected);
    QVERIFY2(shown, qPrintable(failureContext(viewer)));
    QVERIFY2(shown->hasTitle(QFileInfo(expected).fileName()), qPrintable(shown->rest));
    QCOMPARE(viewer.presented().size(), 1);
    QVERIFY2(viewer.process.state() == QProcess::Running, qPrintable(failureContext(viewer)));
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
