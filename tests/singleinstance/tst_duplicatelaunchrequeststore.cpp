#include "DuplicateLaunchRequestStore.h"
#include "DuplicateLaunchSignal.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

DuplicateLaunchRequest requestFor(const QString& path, const char* createdAt)
{
    return {{path}, {QUrl::fromLocalFile(path)}, utc(createdAt)};
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

mode_t permissions(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QStringList pathsOf(const QList<DuplicateLaunchRequest>& requests)
{
    QStringList paths;
    for (const DuplicateLaunchRequest& request : requests) {
        paths += request.arguments;
    }
    return paths;
}

} // namespace

class TestDuplicateLaunchRequestStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void postWritesOneOwnerOnlyFileAndSignals();
    void postingAnEmptyRequestWritesNothingButSignals();
    void postSignalsEvenWhenTheWriteFails();
    void consumeReturnsEarliestFirstAndLeavesOtherFiles();
    void equalTimesKeepTheWritingOrder();
    void consumeDiscardsWhatCannotBeUsed_data();
    void consumeDiscardsWhatCannotBeUsed();
    void missingFolderGivesNothing();
    void linkedQueueFolderIsNotFollowed();
    void queueMustBeOursAlone_data();
    void queueMustBeOursAlone();

private:
    QString queue() const { return m_configuration->duplicateLaunchRequestsURL().toLocalFile(); }
    QStringList queueEntries() const
    {
        return QDir(queue()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                       QDir::Name);
    }
    // Counts activation signals for the configuration while the returned observation lives.
    std::unique_ptr<DuplicateLaunchSignalObservation> observeSignals()
    {
        QDir().mkpath(m_configuration->lockFolderURL().toLocalFile());
        auto observed = DuplicateLaunchSignal::observe(m_configuration->activationSignalName(),
                                                       m_configuration->lockFolderURL(),
                                                       [this] { ++m_signals; });
        auto* observation =
            std::get_if<std::unique_ptr<DuplicateLaunchSignalObservation>>(&observed);
        return observation ? std::move(*observation) : nullptr;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<SingleInstanceConfiguration> m_configuration;
    int m_signals = 0;
};

void TestDuplicateLaunchRequestStore::init()
{
    // Under /tmp rather than TMPDIR, which may be long: the activation socket then fits in the
    // lock folder instead of falling back to the test environment's runtime folder (inside the
    // build folder, whose path may be too long for a socket address).
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vistrel-store-XXXXXX"));
    QVERIFY(m_dir->isValid());
    m_configuration.emplace(QStringLiteral("a.b"), SingleInstancePolicy::alwaysSingle(),
                            SingleInstanceLockLocation::directory(
                                QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("x")))));
    m_signals = 0;
}

void TestDuplicateLaunchRequestStore::postWritesOneOwnerOnlyFileAndSignals()
{
    const auto observation = observeSignals();
    QVERIFY(observation);
    const DuplicateLaunchRequest request = requestFor("/p/a b.jpg", "2024-03-01T10:00:05Z");
    QVERIFY(!DuplicateLaunchRequestStore::post(request, *m_configuration));
    QTRY_COMPARE(m_signals, 1);

    const QStringList files = queueEntries();
    QCOMPARE(files.size(), 1);
    static const QRegularExpression uuidName(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.json$"));
    QVERIFY2(uuidName.match(files.first()).hasMatch(), qPrintable(files.first()));
    QCOMPARE(permissions(queue()), mode_t(0700));
    QCOMPARE(permissions(QDir(queue()).filePath(files.first())), mode_t(0600));

    QCOMPARE(DuplicateLaunchRequestStore::consumePending(*m_configuration),
             QList<DuplicateLaunchRequest>{request});
    QVERIFY(queueEntries().isEmpty());
}

void TestDuplicateLaunchRequestStore::postingAnEmptyRequestWritesNothingButSignals()
{
    const auto observation = observeSignals();
    QVERIFY(observation);
    QVERIFY(!DuplicateLaunchRequestStore::post({{}, {}, QDateTime::currentDateTimeUtc()},
                                               *m_configuration));
    QTRY_COMPARE(m_signals, 1);
    QVERIFY(!QFileInfo::exists(queue()));
}

void TestDuplicateLaunchRequestStore::postSignalsEvenWhenTheWriteFails()
{
    const auto observation = observeSignals();
    QVERIFY(observation);
    QVERIFY(write(queue(), "a file where the queue folder belongs"));
    const auto error = DuplicateLaunchRequestStore::post(
        requestFor("/p/a.jpg", "2024-03-01T10:00:05Z"), *m_configuration);
    QVERIFY(error);
    QCOMPARE(error->path, queue());
    QTRY_COMPARE(m_signals, 1);
}

void TestDuplicateLaunchRequestStore::consumeReturnsEarliestFirstAndLeavesOtherFiles()
{
    QVERIFY(QDir().mkpath(queue()));
    const QDir folder(queue());
    QVERIFY(write(folder.filePath("a.json"), *requestFor("/a", "2024-03-01T10:00:05Z").toJson()));
    QVERIFY(write(folder.filePath("b.json"), *requestFor("/b", "2024-03-01T10:00:01Z").toJson()));
    QVERIFY(write(folder.filePath("c.txt"), "left alone"));
    QVERIFY(write(folder.filePath("x.JSON"), *requestFor("/x", "2024-03-01T10:00:00Z").toJson()));

    QVERIFY(DuplicateLaunchRequestStore::hasPending(*m_configuration));
    QCOMPARE(pathsOf(DuplicateLaunchRequestStore::consumePending(*m_configuration)),
             QStringList({"/b", "/a"}));
    QCOMPARE(queueEntries(), QStringList({"c.txt", "x.JSON"}));
    QVERIFY(!DuplicateLaunchRequestStore::hasPending(*m_configuration));
    QVERIFY(DuplicateLaunchRequestStore::consumePending(*m_configuration).isEmpty());
}

void TestDuplicateLaunchRequestStore::equalTimesKeepTheWritingOrder()
{
    // Several launches within one second share a createdAt; the files' modification times
    // (set here against name order) still say which came first.
    QVERIFY(QDir().mkpath(queue()));
    const QStringList names{"A.json", "B.json", "C.json"};
    const int secondsAgo[] = {10, 30, 20};
    for (int index = 0; index < names.size(); ++index) {
        const QString path = QDir(queue()).filePath(names[index]);
        QVERIFY(write(path, *requestFor(names[index], "2024-03-01T10:00:05Z").toJson()));
        const timespec modified{::time(nullptr) - secondsAgo[index], 0};
        const timespec times[2] = {modified, modified};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
    }
    QCOMPARE(pathsOf(DuplicateLaunchRequestStore::consumePending(*m_configuration)),
             QStringList({"B.json", "C.json", "A.json"}));
}

void TestDuplicateLaunchRequestStore::consumeDiscardsWhatCannotBeUsed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<bool>("removed");
    QTest::newRow("malformed JSON") << QStringLiteral("malformed") << false << true;
    QTest::newRow("exactly the size limit") << QStringLiteral("at-limit") << true << true;
    QTest::newRow("one byte over the limit") << QStringLiteral("over-limit") << false << true;
    QTest::newRow("link to a request elsewhere") << QStringLiteral("link") << false << true;
    QTest::newRow("FIFO") << QStringLiteral("fifo") << false << true;
    QTest::newRow("folder named like a request") << QStringLiteral("folder") << false << false;
}

void TestDuplicateLaunchRequestStore::consumeDiscardsWhatCannotBeUsed()
{
    QFETCH(QString, kind);
    QVERIFY(QDir().mkpath(queue()));
    const QString entry = QDir(queue()).filePath(QStringLiteral("E.json"));
    const QString outside = m_dir->filePath(QStringLiteral("outside.json"));
    const QByteArray valid = *requestFor("/e", "2024-03-01T10:00:05Z").toJson();
    QVERIFY(write(outside, valid));

    // A valid request padded with white space, which JSON allows, to a given size.
    const auto padded = [&](qint64 size) { return valid + QByteArray(size - valid.size(), ' '); };
    if (kind == QStringLiteral("malformed")) {
        QVERIFY(write(entry, "{\"arguments\":"));
    } else if (kind == QStringLiteral("at-limit")) {
        QVERIFY(write(entry, padded(DuplicateLaunchRequestStore::maximumRequestFileSize)));
    } else if (kind == QStringLiteral("over-limit")) {
        QVERIFY(write(entry, padded(DuplicateLaunchRequestStore::maximumRequestFileSize + 1)));
    } else if (kind == QStringLiteral("link")) {
        QVERIFY(QFile::link(outside, entry));
    } else if (kind == QStringLiteral("fifo")) {
        QVERIFY(::mkfifo(QFile::encodeName(entry).constData(), 0600) == 0);
    } else {
        QVERIFY(QDir().mkpath(entry));
    }

    // Whatever consuming removes counts as pending: an owner is woken to clear it.
    QFETCH(bool, removed);
    QCOMPARE(DuplicateLaunchRequestStore::hasPending(*m_configuration), removed);
    const auto requests = DuplicateLaunchRequestStore::consumePending(*m_configuration);
    QTEST(requests.size() == 1, "delivered");
    QCOMPARE(!QFileInfo::exists(entry) && !QFileInfo(entry).isSymLink(), removed);
    QFile target(outside);
    QVERIFY(target.open(QIODevice::ReadOnly));
    QCOMPARE(target.readAll(), valid); // whatever a link pointed at is untouched
}

void TestDuplicateLaunchRequestStore::missingFolderGivesNothing()
{
    QVERIFY(!DuplicateLaunchRequestStore::hasPending(*m_configuration));
    QVERIFY(DuplicateLaunchRequestStore::consumePending(*m_configuration).isEmpty());
    QVERIFY(!QFileInfo::exists(queue()));
}

void TestDuplicateLaunchRequestStore::linkedQueueFolderIsNotFollowed()
{
    const QString real = m_dir->filePath(QStringLiteral("real"));
    QVERIFY(QDir().mkpath(real));
    QVERIFY(write(real + QStringLiteral("/R.json"),
                  *requestFor("/r", "2024-03-01T10:00:05Z").toJson()));
    QVERIFY(QDir().mkpath(m_configuration->lockFolderURL().toLocalFile()));
    QVERIFY(QFile::link(real, queue()));

    QVERIFY(!DuplicateLaunchRequestStore::hasPending(*m_configuration));
    QVERIFY(DuplicateLaunchRequestStore::consumePending(*m_configuration).isEmpty());
    QVERIFY(QFileInfo::exists(real + QStringLiteral("/R.json")));
    // Nor does a writer put requests where they would never be read.
    QVERIFY(DuplicateLaunchRequestStore::enqueue(requestFor("/w", "2024-03-01T10:00:05Z"),
                                                 *m_configuration));
    QCOMPARE(QDir(real).entryList(QDir::Files), QStringList{"R.json"});
}

void TestDuplicateLaunchRequestStore::queueMustBeOursAlone_data()
{
    QTest::addColumn<bool>("theirs"); // else ours, but open to others
    QTest::newRow("ours, open to others: narrowed and used") << false;
    QTest::newRow("another user's: neither read nor written") << true;
}

void TestDuplicateLaunchRequestStore::queueMustBeOursAlone()
{
    QFETCH(bool, theirs);
    if (theirs && ::geteuid() != 0) {
        QSKIP("Only root can give a folder to another user");
    }
    QVERIFY(QDir().mkpath(queue()));
    QVERIFY(::chmod(QFile::encodeName(queue()).constData(), 0755) == 0);
    const QString planted = QDir(queue()).filePath(QStringLiteral("P.json"));
    QVERIFY(write(planted, *requestFor("/planted", "2024-03-01T10:00:05Z").toJson()));
    QVERIFY(!theirs || ::chown(QFile::encodeName(queue()).constData(), 65534, 65534) == 0);

    QCOMPARE(DuplicateLaunchRequestStore::hasPending(*m_configuration), !theirs);
    QCOMPARE(DuplicateLaunchRequestStore::consumePending(*m_configuration).size(), theirs ? 0 : 1);
    QCOMPARE(permissions(queue()), mode_t(theirs ? 0755 : 0700));
    QCOMPARE(QFileInfo::exists(planted), theirs);
    const auto error = DuplicateLaunchRequestStore::enqueue(
        requestFor("/w", "2024-03-01T10:00:05Z"), *m_configuration);
    QCOMPARE(bool(error), theirs);
    QCOMPARE(queueEntries().size(), 1);
}

QTEST_GUILESS_MAIN(TestDuplicateLaunchRequestStore)
#include "tst_duplicatelaunchrequeststore.moc"
