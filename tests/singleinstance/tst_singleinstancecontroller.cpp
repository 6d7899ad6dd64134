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
    void allowingSeveralInstancesRunsWithoutLock();
    void secondStartForwardsItsRequest();
    void signalsBeforeAHandlerAreDeliveredWhenItIsInstalled();
    void activationHandlerConsumesTheRequests();
    void launchWithoutFilesCallsTheHandlerWithNothing();
    void lockFailureIsReportedAndTheRequestStillPosted();
    void signalForAControllerThatIsGoneDoesNothing();

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

void TestSingleInstanceController::allowingSeveralInstancesRunsWithoutLock()
{
    m_defaults->setBool(QStringLiteral("allowMultipleInstances"), true);
    const auto first = startRunning();
    const auto second = startRunning();
    QVERIFY(first && second);
    QVERIFY(!first->isEnforcingSingleInstance());
    QVERIFY(!first->observation());
    QVERIFY(!QFileInfo::exists(configuration().lockURL().toLocalFile()));
}

void TestSingleInstanceController::secondStartForwardsItsRequest()
{
    const auto running = startRunning();
    QVERIFY(running);
    QVERIFY(running->isEnforcingSingleInstance());
    running->setDuplicateLaunchHandler(
        [this](const QList<DuplicateLaunchRequest>& requests) { m_deliveries.append(requests); });

    const DuplicateLaunchRequest request = requestFor("/p/a.jpg", 100);
    QCOMPARE(startDuplicate(request), SingleInstanceStartupResult::Case::alreadyRunning);
    QTRY_COMPARE(m_deliveries.size(), 1);
    QCOMPARE(m_deliveries.first(), QList<DuplicateLaunchRequest>{request});
    QCOMPARE(queuedRequests(), 0);
}

void TestSingleInstanceController::signalsBeforeAHandlerAreDeliveredWhenItIsInstalled()
{
    const auto running = startRunning();
    QVERIFY(running);
    const DuplicateLaunchRequest later = requestFor("/p/later.jpg", 200);
    const DuplicateLaunchRequest earlier = requestFor("/p/earlier.jpg", 100);
    QCOMPARE(startDuplicate(later), SingleInstanceStartupResult::Case::alreadyRunning);
    QCOMPARE(startDuplicate(earlier), SingleInstanceStartupResult::Case::alreadyRunning);
    QTRY_VERIFY(running->pendingActivation());
    QCOMPARE(queuedRequests(), 2);

    running->setDuplicateLaunchHandler(
        [this](const QList<DuplicateLaunchRequest>& requests) { m_deliveries.append(requests); });
    QCOMPARE(m_deliveries.size(), 1); // at once, not on a later signal
    QCOMPARE(m_deliveries.first(), QList<DuplicateLaunchRequest>({earlier, later}));
    QVERIFY(!running->pendingActivation());
    QCOMPARE(queuedRequests(), 0);
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

void TestSingleInstanceController::launchWithoutFilesCallsTheHandlerWithNothing()
{
    const auto running = startRunning();
    QVERIFY(running);
    running->setDuplicateLaunchHandler(
        [this](const QList<DuplicateLaunchRequest>& requests) { m_deliveries.append(requests); });
    QCOMPARE(startDuplicate(noFiles), SingleInstanceStartupResult::Case::alreadyRunning);
    QTRY_COMPARE(m_deliveries.size(), 1);
    QVERIFY(m_deliveries.first().isEmpty());
    QVERIFY(!QFileInfo::exists(configuration().duplicateLaunchRequestsURL().toLocalFile()));
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

void TestSingleInstanceController::signalForAControllerThatIsGoneDoesNothing()
{
    auto running = startRunning();
    QVERIFY(running);
    running->setDuplicateLaunchHandler(
        [this](const QList<DuplicateLaunchRequest>& requests) { m_deliveries.append(requests); });
    QCOMPARE(startDuplicate(requestFor("/p/a.jpg", 100)),
             SingleInstanceStartupResult::Case::alreadyRunning);
    running.reset(); // before the event loop has seen the signal
    QTest::qWait(100);
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
