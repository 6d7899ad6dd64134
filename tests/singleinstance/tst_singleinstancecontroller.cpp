#include "DuplicateLaunchRequestStore.h"
#include "DuplicateLaunchSignal.h"
#include "SingleInstanceController.h"
#include "SingleInstanceStartupResult.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DuplicateLaunchRequest requestFor(const QString& path, qint64 secondsAfterEpoch)
{
    return {
        {}, {QUrl::fromLocalFile(path)}, QDateTime::fromSecsSinceEpoch(secondsAfterEpoch, Qt::UTC)};
}

const DuplicateLaunchRequest noFiles{{}, {}, QDateTime::fromSecsSinceEpoch(0, Qt::UTC)};

} // namespace

class TestSingleInstanceController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void activationHandlerConsumesTheRequests();
    void requestQueuedBeforeStartReachesTheFirstHandler();
    void nullHandlerKeepsThePendingActivation_data();
    void nullHandlerKeepsThePendingActivation();
    void replacedHandlerIsNoLongerCalled();
    void lockFailureIsReportedAndTheRequestStillPosted();
    void unobservableSignalFailsAndFreesTheLock_data();
    void unobservableSignalFailsAndFreesTheLock();
    void endedControllerLeavesTheRequestsToTheNextOwner();
    void foldersMustBeOursAlone_data();
    void foldersMustBeOursAlone();

private:
    SingleInstanceConfiguration configuration(std::optional<QString> lockFileName = {},
                                              std::optional<QString> signalName = {}) const
    {
        return {QStringLiteral("a.b"),
                SingleInstancePolicy::userDefaults(*m_defaults,
                                                   QStringLiteral("allowMultipleInstances")),
                SingleInstanceLockLocation::directory(QUrl::fromLocalFile(m_dir->path())),
                lockFileName, signalName};
    }
    std::unique_ptr<SingleInstanceController> startRunning()
    {
        SingleInstanceStartupResult result =
            SingleInstanceController::start(configuration(), noFiles);
        return result.kind() == SingleInstanceStartupResult::Case::run ? result.takeController()
                                                                       : nullptr;
    }
    SingleInstanceStartupResult::Case startDuplicate(const DuplicateLaunchRequest& request)
    {
        return SingleInstanceController::start(configuration(), request).kind();
    }
    int queuedRequests() const
    {
        return QDir(configuration().duplicateLaunchRequestsURL().toLocalFile())
            .entryList({QStringLiteral("*.json")}, QDir::Files)
            .size();
    }

    SingleInstanceController::DuplicateLaunchHandler recorder()
    {
        return [this](const QList<DuplicateLaunchRequest>& requests) {
            m_deliveries.append(requests);
        };
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    QList<QList<DuplicateLaunchRequest>> m_deliveries;
};

void TestSingleInstanceController::init()
{
    // Under /tmp rather than TMPDIR: the socket then fits in the lock folder, so the tests
    // below that name its place hold whatever TMPDIR is.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vistrel-controller-XXXXXX"));
    QVERIFY(m_dir->isValid());
    m_defaults = std::make_unique<UserDefaults>(m_dir->filePath(QStringLiteral("defaults.conf")));
    m_deliveries.clear();
}

void TestSingleInstanceController::activationHandlerConsumesTheRequests()
{
    const auto running = startRunning();
    QVERIFY(running);
    QCOMPARE(startDuplicate(requestFor("/p/a.jpg", 100)),
             SingleInstanceStartupResult::Case::alreadyRunning);
    QTRY_VERIFY(running->pendingActivation());

    int activations = 0;
    running->setActivationHandler([&activations] { ++activations; });
    QCOMPARE(activations, 1);
    QCOMPARE(queuedRequests(), 0);
}

void TestSingleInstanceController::requestQueuedBeforeStartReachesTheFirstHandler()
{
    // What a launch leaves that queued its file after the owner took the lock but before its
    // socket was bound (its signal reached nobody), or an owner that crashed before reading it.
    const DuplicateLaunchRequest request = requestFor("/p/early.jpg", 100);
    QVERIFY(!DuplicateLaunchRequestStore::enqueue(request, configuration()));

    const auto running = startRunning();
    QVERIFY(running);
    QVERIFY(running->pendingActivation());
    running->setDuplicateLaunchHandler(recorder());
    QCOMPARE(m_deliveries, QList<QList<DuplicateLaunchRequest>>{{request}});
    QVERIFY(!running->pendingActivation());
    QCOMPARE(queuedRequests(), 0);
}

void TestSingleInstanceController::nullHandlerKeepsThePendingActivation_data()
{
    QTest::addColumn<bool>("throughActivationHandler");
    QTest::newRow("duplicate-launch handler") << false;
    QTest::newRow("activation handler") << true;
}

void TestSingleInstanceController::nullHandlerKeepsThePendingActivation()
{
    QFETCH(bool, throughActivationHandler);
    const auto running = startRunning();
    QVERIFY(running);
    QCOMPARE(startDuplicate(requestFor("/p/a.jpg", 100)),
             SingleInstanceStartupResult::Case::alreadyRunning);
    QTRY_VERIFY(running->pendingActivation());

    if (throughActivationHandler) {
        running->setActivationHandler(nullptr);
    } else {
        running->setDuplicateLaunchHandler(nullptr);
    }
    QVERIFY(running->pendingActivation());
    QCOMPARE(queuedRequests(), 1);

    running->setDuplicateLaunchHandler(recorder());
    QCOMPARE(m_deliveries.size(), 1);
    QCOMPARE(m_deliveries.first().size(), 1);
}

void TestSingleInstanceController::replacedHandlerIsNoLongerCalled()
{
    const auto running = startRunning();
    QVERIFY(running);
    int earlierCalls = 0;
    running->setDuplicateLaunchHandler(
        [&earlierCalls](const QList<DuplicateLaunchRequest>&) { ++earlierCalls; });
    running->setDuplicateLaunchHandler(recorder());

    const DuplicateLaunchRequest request = requestFor("/p/a.jpg", 100);
    QCOMPARE(startDuplicate(request), SingleInstanceStartupResult::Case::alreadyRunning);
    QTRY_COMPARE(m_deliveries.size(), 1);
    QCOMPARE(m_deliveries.first(), QList<DuplicateLaunchRequest>{request});
    QCOMPARE(earlierCalls, 0);
}

void TestSingleInstanceController::lockFailureIsReportedAndTheRequestStillPosted()
{
    // A folder where the lock file belongs: opening fails, which is not "already running".
    const SingleInstanceConfiguration blocked = configuration(QStringLiteral("blocked"));
    QVERIFY(QDir().mkpath(blocked.lockURL().toLocalFile()));
    const DuplicateLaunchRequest request = requestFor("/p/a.jpg", 100);

    const SingleInstanceStartupResult result = SingleInstanceController::start(blocked, request);
    QCOMPARE(result.kind(), SingleInstanceStartupResult::Case::failed);
    QVERIFY(!result.controller());
    QCOMPARE(std::get<InstanceLockError>(*result.error()), InstanceLockError::openFailed(EISDIR));
    QCOMPARE(DuplicateLaunchRequestStore::consumePending(blocked),
             QList<DuplicateLaunchRequest>{request});

    // When the folder itself cannot be made, the error is the file system's.
    QVERIFY(QFile(m_dir->filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
    const SingleInstanceConfiguration underAFile(
        QStringLiteral("a.b"), SingleInstancePolicy::alwaysSingle(),
        SingleInstanceLockLocation::directory(
            QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("file")))));
    const SingleInstanceStartupResult noFolder =
        SingleInstanceController::start(underAFile, request);
    QCOMPARE(noFolder.kind(), SingleInstanceStartupResult::Case::failed);
    QVERIFY(std::holds_alternative<FileSystemError>(*noFolder.error()));
}

void TestSingleInstanceController::unobservableSignalFailsAndFreesTheLock_data()
{
    QTest::addColumn<QString>("signalName");
    QTest::addColumn<bool>("plantFolder"); // a folder where the socket belongs
    QTest::newRow("folder at the socket path") << QStringLiteral("a.b.activate") << true;
    QTest::newRow("signal named like the lock file") << QStringLiteral("a.b.lock") << false;
}

void TestSingleInstanceController::unobservableSignalFailsAndFreesTheLock()
{
    QFETCH(QString, signalName);
    QFETCH(bool, plantFolder);
    const SingleInstanceConfiguration blocked = configuration({}, signalName);
    const auto socket = DuplicateLaunchSignal::socketPath(signalName, blocked.lockFolderURL());
    QVERIFY(std::holds_alternative<QString>(socket));
    if (plantFolder) {
        QVERIFY(QDir().mkpath(std::get<QString>(socket)));
    }

    // Running as the only instance without hearing later launches would lose their files:
    // start-up is told, and runs without enforcement.
    const SingleInstanceStartupResult result =
        SingleInstanceController::start(blocked, requestFor("/p/own.jpg", 100));
    QCOMPARE(result.kind(), SingleInstanceStartupResult::Case::failed);
    QVERIFY(!result.controller());
    QCOMPARE(std::get<FileSystemError>(*result.error()).path, std::get<QString>(socket));
    // This process opens its own files; none is queued for a later owner.
    QCOMPARE(queuedRequests(), 0);

    QVERIFY(QFileInfo(std::get<QString>(socket)).isDir() == plantFolder);
    QVERIFY(QFileInfo(blocked.lockURL().toLocalFile()).isFile());
    QVERIFY(std::holds_alternative<std::unique_ptr<InstanceLock>>(
        InstanceLock::acquire(blocked.lockURL())));
}

void TestSingleInstanceController::endedControllerLeavesTheRequestsToTheNextOwner()
{
    auto running = startRunning();
    QVERIFY(running);
    running->setDuplicateLaunchHandler(recorder());
    QCOMPARE(startDuplicate(requestFor("/p/a.jpg", 100)),
             SingleInstanceStartupResult::Case::alreadyRunning);
    running.reset(); // before the event loop has seen the signal
    QCoreApplication::processEvents();
    QVERIFY(m_deliveries.isEmpty());
    QCOMPARE(queuedRequests(), 1);

    // The lock and the socket went with it: the next start runs and receives the request.
    const auto next = startRunning();
    QVERIFY(next);
    QCOMPARE(startDuplicate(noFiles), SingleInstanceStartupResult::Case::alreadyRunning);
    next->setDuplicateLaunchHandler(recorder());
    QTRY_COMPARE(m_deliveries.size(), 1);
    QCOMPARE(m_deliveries.first().size(), 1);
}

void TestSingleInstanceController::foldersMustBeOursAlone_data()
{
    QTest::addColumn<QString>("folder"); // "lock" or "queue": which folder is prepared
    QTest::addColumn<QString>("setup");  // "open": 0755; "link": a link to a 0755 folder;
                                         // "theirs": another user's (only root can make it)
    QTest::addColumn<bool>("runs");
    QTest::addColumn<bool>("typed"); // refused as a PrivateFolderError
    QTest::newRow("lock folder: our link to a folder open to others")
        << QStringLiteral("lock") << QStringLiteral("link") << false << true;
    QTest::newRow("lock folder: another user's")
        << QStringLiteral("lock") << QStringLiteral("theirs") << false << true;
    QTest::newRow("queue folder: ours, open to others is narrowed")
        << QStringLiteral("queue") << QStringLiteral("open") << true << false;
    QTest::newRow("queue folder: a link")
        << QStringLiteral("queue") << QStringLiteral("link") << false << false;
    QTest::newRow("queue folder: another user's")
        << QStringLiteral("queue") << QStringLiteral("theirs") << false << true;
}

void TestSingleInstanceController::foldersMustBeOursAlone()
{
    QFETCH(QString, folder);
    QFETCH(QString, setup);
    QFETCH(bool, runs);
    QFETCH(bool, typed);
    if (setup == QStringLiteral("theirs") && ::geteuid() != 0) {
        QSKIP("Only root can give a folder to another user");
    }
    const SingleInstanceConfiguration config = configuration();
    const QString lockFolder = config.lockFolderURL().toLocalFile();
    const QString queue = config.duplicateLaunchRequestsURL().toLocalFile();
    const QString path = folder == QStringLiteral("lock") ? lockFolder : queue;
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere) && QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(::chmod(QFile::encodeName(elsewhere).constData(), 0755) == 0);
    if (setup == QStringLiteral("link")) {
        QVERIFY(QFile::link(elsewhere, path));
    } else {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0755) == 0);
    }
    // A request planted by whoever owns the folder.
    const QString planted = QDir(path).filePath(QStringLiteral("P.json"));
    QFile plantedFile(planted);
    QVERIFY(plantedFile.open(QIODevice::WriteOnly));
    QVERIFY(plantedFile.write(*requestFor("/planted.jpg", 50).toJson()) > 0);
    plantedFile.close();
    if (setup == QStringLiteral("theirs")) {
        QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    }

    const SingleInstanceStartupResult result =
        SingleInstanceController::start(config, requestFor("/p/own.jpg", 100));
    if (runs) {
        QCOMPARE(result.kind(), SingleInstanceStartupResult::Case::run);
        struct stat info = {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
        return;
    }
    QCOMPARE(result.kind(), SingleInstanceStartupResult::Case::failed);
    QVERIFY(!result.controller());
    QCOMPARE(std::holds_alternative<PrivateFolderError>(*result.error()), typed);
    // The start-up log line names the refused folder.
    QVERIFY2(InstanceLock::describe(*result.error()).contains(path),
             qPrintable(InstanceLock::describe(*result.error())));
    // Nothing of ours went into it, the planted request was not taken, and the lock is free.
    QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("P.json")});
    QVERIFY(QFileInfo::exists(planted));
    if (folder == QStringLiteral("queue")) {
        QVERIFY(std::holds_alternative<std::unique_ptr<InstanceLock>>(
            InstanceLock::acquire(config.lockURL())));
    }
}

QTEST_GUILESS_MAIN(TestSingleInstanceController)
#include "tst_singleinstancecontroller.moc"
