#include "DuplicateLaunchRequestStore.h"
#include "SingleInstanceController.h"
#include "SingleInstanceStartupResult.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    void lockFailureIsReportedAndTheRequestStillPosted();
    void endedControllerLeavesTheRequestsToTheNextOwner();

private:
    SingleInstanceConfiguration configuration(std::optional<QString> lockFileName = {}) const
    {
        return {QStringLiteral("a.b"),
                SingleInstancePolicy::userDefaults(*m_defaults,
                                                   QStringLiteral("allowMultipleInstances")),
                SingleInstanceLockLocation::directory(QUrl::fromLocalFile(m_dir->path())),
                lockFileName};
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

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    QList<QList<DuplicateLaunchRequest>> m_deliveries;
};

void TestSingleInstanceController::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
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

void TestSingleInstanceController::endedControllerLeavesTheRequestsToTheNextOwner()
{
    auto running = startRunning();
    QVERIFY(running);
    running->setDuplicateLaunchHandler(
        [this](const QList<DuplicateLaunchRequest>& requests) { m_deliveries.append(requests); });
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
    next->setDuplicateLaunchHandler(
        [this](const QList<DuplicateLaunchRequest>& requests) { m_deliveries.append(requests); });
    QTRY_COMPARE(m_deliveries.size(), 1);
    QCOMPARE(m_deliveries.first().size(), 1);
}

QTEST_GUILESS_MAIN(TestSingleInstanceController)
#include "tst_singleinstancecontroller.moc"
