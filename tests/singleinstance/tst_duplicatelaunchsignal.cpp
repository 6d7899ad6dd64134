#include "DuplicateLaunchSignal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString name = QStringLiteral("a.b.single-instance.activate");

mode_t permissions(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// What a killed owner leaves: a bound socket file nobody reads any more.
bool leaveStaleSocket(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    const int stale = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    const bool bound =
        ::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(stale);
    return bound;
}

} // namespace

class TestDuplicateLaunchSignal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void postReachesTheObserver();
    void postWithoutObserverReachesNobody();
    void cancellingTwiceRemovesTheSocketOnce();
    void staleSocketIsReplaced();
    void onlyASocketIsReplaced_data();
    void onlyASocketIsReplaced();
    void longFolderFallsBackToTheRuntimeFolder();
    void unusableNames_data();
    void unusableNames();

private:
    QUrl folder() const { return QUrl::fromLocalFile(m_dir->path()); }
    std::unique_ptr<DuplicateLaunchSignalObservation> observe(int& calls, const QUrl& at)
    {
        auto observed = DuplicateLaunchSignal::observe(name, at, [&calls] { ++calls; });
        auto* observation =
            std::get_if<std::unique_ptr<DuplicateLaunchSignalObservation>>(&observed);
        return observation ? std::move(*observation) : nullptr;
    }

    // Short folders under /tmp, so that whether a socket fits in its folder does not depend on
    // where the build or TMPDIR is.
    QTemporaryDir m_runtime{QStringLiteral("/tmp/vistrel-run-XXXXXX")};
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDuplicateLaunchSignal::initTestCase()
{
    // The test environment's runtime folder lies in the build folder, whose path may be too
    // long for a socket address; this one is private (0700) and short.
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void TestDuplicateLaunchSignal::init()
{
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vistrel-signal-XXXXXX"));
    QVERIFY(m_dir->isValid());
}

void TestDuplicateLaunchSignal::postReachesTheObserver()
{
    int calls = 0;
    const auto observation = observe(calls, folder());
    QVERIFY(observation);
    QCOMPARE(observation->socketPath(), m_dir->filePath(name));
    QCOMPARE(permissions(observation->socketPath()), mode_t(0600));

    QVERIFY(DuplicateLaunchSignal::post(name, folder()));
    QTRY_COMPARE(calls, 1);
    // Signals carry nothing, so a burst may be folded into fewer calls, never into none.
    for (int index = 0; index < 3; ++index) {
        QVERIFY(DuplicateLaunchSignal::post(name, folder()));
    }
    QTRY_VERIFY(calls >= 2);
}

void TestDuplicateLaunchSignal::postWithoutObserverReachesNobody()
{
    QVERIFY(!DuplicateLaunchSignal::post(name, folder()));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(name)));
}

void TestDuplicateLaunchSignal::cancellingTwiceRemovesTheSocketOnce()
{
    int firstCalls = 0;
    auto first = observe(firstCalls, folder());
    QVERIFY(first);
    first->cancel();
    QVERIFY(first->isCancelled());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(name)));
    QVERIFY(!DuplicateLaunchSignal::post(name, folder()));

    // A later observer of the same name keeps its socket through the first one's second
    // cancel and its end.
    int secondCalls = 0;
    const auto second = observe(secondCalls, folder());
    QVERIFY(second);
    first->cancel();
    first.reset();
    QVERIFY(DuplicateLaunchSignal::post(name, folder()));
    QTRY_COMPARE(secondCalls, 1);
    QCOMPARE(firstCalls, 0);
}

void TestDuplicateLaunchSignal::staleSocketIsReplaced()
{
    QVERIFY(leaveStaleSocket(m_dir->filePath(name)));
    QVERIFY(!DuplicateLaunchSignal::post(name, folder()));

    int calls = 0;
    const auto observation = observe(calls, folder());
    QVERIFY(observation);
    QVERIFY(DuplicateLaunchSignal::post(name, folder()));
    QTRY_COMPARE(calls, 1);
}

void TestDuplicateLaunchSignal::onlyASocketIsReplaced_data()
{
    QTest::addColumn<QString>("entry"); // what sits where the socket belongs
    QTest::newRow("file") << QStringLiteral("file");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("link to a socket") << QStringLiteral("link");
}

void TestDuplicateLaunchSignal::onlyASocketIsReplaced()
{
    QFETCH(QString, entry);
    const QString path = m_dir->filePath(name);
    const QString target = m_dir->filePath(QStringLiteral("stale"));
    if (entry == QStringLiteral("file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("keep"), 4);
    } else if (entry == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else {
        QVERIFY(leaveStaleSocket(target));
        QVERIFY(QFile::link(target, path));
    }
    const QFileInfo before(path);

    int calls = 0;
    const auto observed = DuplicateLaunchSignal::observe(name, folder(), [&calls] { ++calls; });
    QVERIFY(std::holds_alternative<FileSystemError>(observed));
    QCOMPARE(std::get<FileSystemError>(observed).path, path);
    const QFileInfo after(path);
    QCOMPARE(after.isSymLink(), before.isSymLink());
    QCOMPARE(after.isDir(), before.isDir());
    QCOMPARE(after.size(), before.size());
}

void TestDuplicateLaunchSignal::longFolderFallsBackToTheRuntimeFolder()
{
    const QString longFolder = m_dir->filePath(QString(60, QLatin1Char('f')) + QLatin1Char('/') +
                                               QString(60, QLatin1Char('g')));
    const QString otherLongFolder = longFolder + QStringLiteral("2");
    QVERIFY(QDir().mkpath(longFolder));
    QVERIFY(QDir().mkpath(otherLongFolder));

    int calls = 0;
    const auto observation = observe(calls, QUrl::fromLocalFile(longFolder));
    QVERIFY(observation);
    QCOMPARE(QFileInfo(observation->socketPath()).path(), m_runtime.path());
    QVERIFY(QFile::encodeName(observation->socketPath()).size() < 108);

    const auto other =
        DuplicateLaunchSignal::socketPath(name, QUrl::fromLocalFile(otherLongFolder));
    QVERIFY(std::holds_alternative<QString>(other));
    QVERIFY(std::get<QString>(other) != observation->socketPath());

    QVERIFY(DuplicateLaunchSignal::post(name, QUrl::fromLocalFile(longFolder)));
    QTRY_COMPARE(calls, 1);
}

void TestDuplicateLaunchSignal::unusableNames_data()
{
    QTest::addColumn<QString>("signalName");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("dot dot") << QStringLiteral("..");
    QTest::newRow("slash") << QStringLiteral("../elsewhere");
}

void TestDuplicateLaunchSignal::unusableNames()
{
    QFETCH(QString, signalName);
    QVERIFY(std::holds_alternative<FileSystemError>(
        DuplicateLaunchSignal::socketPath(signalName, folder())));
    QVERIFY(!DuplicateLaunchSignal::post(signalName, folder()));
}

QTEST_GUILESS_MAIN(TestDuplicateLaunchSignal)
#include "tst_duplicatelaunchsignal.moc"
