// The single-instance layer across real processes: each probe is a separate process that starts
// the layer in a shared temporary folder (see singleinstance_probe.cpp).

#include "DuplicateLaunchRequest.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

constexpr int timeoutMs = 20000;

class Probe
{
public:
    Probe(const QString& folder, const QStringList& arguments)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine()) {
                m_lines.append(QString::fromUtf8(m_process.readLine()).trimmed());
            }
        });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(SINGLEINSTANCE_PROBE), QStringList{folder} + arguments);
    }

    ~Probe()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(timeoutMs);
        }
    }

    // The next unread line starting with `prefix` (lines before it are passed over), or a null
    // string when none comes in time.
    QString next(const QString& prefix)
    {
        QString found;
        [[maybe_unused]] const bool arrived = QTest::qWaitFor(
            [&] {
                while (m_read < m_lines.size()) {
                    const QString& line = m_lines.at(m_read++);
                    if (line.startsWith(prefix)) {
                        found = line;
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }

    // The requests of the next handler call.
    QList<DuplicateLaunchRequest> nextDelivery()
    {
        QList<DuplicateLaunchRequest> requests;
        const int count = next(QStringLiteral("requests ")).section(QLatin1Char(' '), 1).toInt();
        for (int index = 0; index < count; ++index) {
            const QString line = next(QStringLiteral("request "));
            if (auto request = DuplicateLaunchRequest::fromJson(line.section(' ', 1).toUtf8())) {
                requests.append(*request);
            }
        }
        return requests;
    }

    void send(const QByteArray& command) { m_process.write(command + '\n'); }
    qint64 processId() const { return m_process.processId(); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QStringList m_lines;
    qsizetype m_read = 0;
};

} // namespace

class TestSingleInstanceProcesses : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void secondLaunchHandsItsFilesToTheRunningInstance();
    void quickLaunchesBeforeTheHandlerArriveTogetherEarliestFirst();
    void launchWithoutFilesStillCallsTheHandler();
    void allowingSeveralInstancesLetsBothRun();
    void killedOwnerLeavesTheLockToTheNextStart();

private:
    QString lockFolder() const { return m_dir->filePath(QStringLiteral("org.example.probe")); }
    QString requestFolder() const
    {
        return lockFolder() + QStringLiteral("/DuplicateLaunchRequests");
    }
    QByteArray lockFileContents() const
    {
        QFile file(lockFolder() + QStringLiteral("/org.example.probe.lock"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList queuedRequests() const
    {
        return QDir(requestFolder()).entryList({QStringLiteral("*.json")}, QDir::Files);
    }
    std::unique_ptr<Probe> launch(const QStringList& arguments = {})
    {
        return std::make_unique<Probe>(m_dir->path(), arguments);
    }
    // Launches a second process and waits until it has finished.
    QString launchDuplicate(const QStringList& files)
    {
        const auto probe = launch(files);
        const QString result = probe->next(QStringLiteral("result "));
        probe->process().waitForFinished(timeoutMs);
        return result;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSingleInstanceProcesses::init()
{
    // Under /tmp rather than TMPDIR, which may be long: the activation socket then fits in the
    // lock folder, and none of the probes depends on the test environment's runtime folder
    // (inside the build folder, whose path may be too long for a socket address).
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vistrel-processes-XXXXXX"));
    QVERIFY(m_dir->isValid());
}

void TestSingleInstanceProcesses::secondLaunchHandsItsFilesToTheRunningInstance()
{
    const auto first = launch();
    QCOMPARE(first->next(QStringLiteral("result ")), QStringLiteral("result run"));
    QCOMPARE(first->next(QStringLiteral("enforcing ")), QStringLiteral("enforcing 1"));

    const QStringList files{m_dir->filePath(QStringLiteral("a b.jpg")),
                            m_dir->filePath(QStringLiteral("c#1.png"))};
    QCOMPARE(launchDuplicate(files), QStringLiteral("result alreadyRunning"));

    const QList<DuplicateLaunchRequest> delivered = first->nextDelivery();
    QCOMPARE(delivered.size(), 1);
    QCOMPARE(delivered.first().fileURLs,
             QList<QUrl>({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1])}));
    QCOMPARE(delivered.first().arguments, files);
    QVERIFY(queuedRequests().isEmpty());
}

void TestSingleInstanceProcesses::quickLaunchesBeforeTheHandlerArriveTogetherEarliestFirst()
{
    const auto first = launch({QStringLiteral("--defer-handler")});
    QCOMPARE(first->next(QStringLiteral("result ")), QStringLiteral("result run"));

    const QStringList files{QStringLiteral("/p/1.jpg"), QStringLiteral("/p/2.jpg"),
                            QStringLiteral("/p/3.jpg")};
    for (const QString& file : files) {
        QCOMPARE(launchDuplicate({file}), QStringLiteral("result alreadyRunning"));
    }
    // The signals arrive while no handler is installed: they are remembered, the files wait.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            first->send("status");
            return first->next(QStringLiteral("pending ")) == QStringLiteral("pending 1");
        }(),
        timeoutMs);
    QCOMPARE(queuedRequests().size(), 3);

    first->send("install");
    QList<QUrl> urls;
    for (const DuplicateLaunchRequest& request : first->nextDelivery()) {
        urls += request.fileURLs;
    }
    QCOMPARE(urls, QList<QUrl>({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1]),
                                QUrl::fromLocalFile(files[2])}));
    first->send("status");
    QCOMPARE(first->next(QStringLiteral("pending ")), QStringLiteral("pending 0"));
    QVERIFY(queuedRequests().isEmpty());
}

void TestSingleInstanceProcesses::launchWithoutFilesStillCallsTheHandler()
{
    const auto first = launch();
    QCOMPARE(first->next(QStringLiteral("result ")), QStringLiteral("result run"));

    QCOMPARE(launchDuplicate({}), QStringLiteral("result alreadyRunning"));
    QCOMPARE(first->next(QStringLiteral("requests ")), QStringLiteral("requests 0"));
    QVERIFY(!QDir(requestFolder()).exists());
}

void TestSingleInstanceProcesses::allowingSeveralInstancesLetsBothRun()
{
    {
        UserDefaults defaults(m_dir->filePath(QStringLiteral("defaults.conf")));
        defaults.setBool(QStringLiteral("allowMultipleInstances"), true);
    }
    const auto first = launch();
    const auto second = launch({QStringLiteral("/p/x.jpg")});
    for (Probe* probe : {first.get(), second.get()}) {
        QCOMPARE(probe->next(QStringLiteral("result ")), QStringLiteral("result run"));
        QCOMPARE(probe->next(QStringLiteral("enforcing ")), QStringLiteral("enforcing 0"));
    }
    // Neither takes the lock, observes the signal or queues anything.
    QVERIFY(!QDir(lockFolder()).exists());
}

void TestSingleInstanceProcesses::killedOwnerLeavesTheLockToTheNextStart()
{
    const auto first = launch();
    QCOMPARE(first->next(QStringLiteral("result ")), QStringLiteral("result run"));
    QCOMPARE(lockFileContents(), QByteArray::number(first->processId()) + '\n');
    const QString socket =
        lockFolder() + QStringLiteral("/org.example.probe.single-instance.activate");
    QVERIFY(QFileInfo::exists(socket));

    first->process().kill(); // SIGKILL: no clean-up of any kind
    QVERIFY(first->process().waitForFinished(timeoutMs));
    QVERIFY(QFileInfo::exists(socket)); // the dead owner's socket is left behind

    const auto next = launch();
    QCOMPARE(next->next(QStringLiteral("result ")), QStringLiteral("result run"));
    QCOMPARE(lockFileContents(), QByteArray::number(next->processId()) + '\n');

    // The stale socket was replaced: a further launch reaches the new owner.
    QCOMPARE(launchDuplicate({QStringLiteral("/p/after.jpg")}),
             QStringLiteral("result alreadyRunning"));
    const QList<DuplicateLaunchRequest> delivered = next->nextDelivery();
    QCOMPARE(delivered.size(), 1);
    QCOMPARE(delivered.first().fileURLs, QList<QUrl>{QUrl::fromLocalFile("/p/after.jpg")});
}

QTEST_GUILESS_MAIN(TestSingleInstanceProcesses)
#include "tst_singleinstanceprocesses.moc"
