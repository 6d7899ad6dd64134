#include "InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t permissions(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QByteArray ownPid = QByteArray::number(::getpid()) + '\n';

} // namespace

class TestInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void acquireHoldsTheLockUntilReleased();
    void acquireTruncatesAnEarlierLongerIdentifier();
    void acquireNarrowsAnOpenLockFolder();
    void lockFolderMayBeMovedElsewhereByALink();
    void acquireFailures_data();
    void acquireFailures();
    void lockFolderMustBeOursAlone_data();
    void lockFolderMustBeOursAlone();

private:
    QString lockPath() const { return m_dir->filePath(QStringLiteral("app/app.lock")); }
    InstanceLock::AcquireResult acquire() const
    {
        return InstanceLock::acquire(QUrl::fromLocalFile(lockPath()));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestInstanceLock::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestInstanceLock::acquireHoldsTheLockUntilReleased()
{
    auto first = acquire();
    auto* lock = std::get_if<std::unique_ptr<InstanceLock>>(&first);
    QVERIFY(lock);
    QCOMPARE((*lock)->lockURL(), QUrl::fromLocalFile(lockPath()));
    QCOMPARE(contents(lockPath()), ownPid);
    QCOMPARE(permissions(m_dir->filePath(QStringLiteral("app"))), mode_t(0700));
    QCOMPARE(permissions(lockPath()), mode_t(0600));
    QVERIFY(::fcntl((*lock)->fileDescriptor(), F_GETFD) & FD_CLOEXEC);

    // flock conflicts between separate opens even within one process.
    const auto second = acquire();
    QVERIFY(std::holds_alternative<InstanceLock::Error>(second));
    QCOMPARE(std::get<InstanceLockError>(std::get<InstanceLock::Error>(second)),
             InstanceLockError::alreadyRunning());

    lock->reset();
    QVERIFY(QFile::exists(lockPath())); // the file stays for the next owner
    QVERIFY(std::holds_alternative<std::unique_ptr<InstanceLock>>(acquire()));
}

void TestInstanceLock::acquireTruncatesAnEarlierLongerIdentifier()
{
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("app"))));
    QVERIFY(write(lockPath(), "123456789012345678\n"));
    const auto result = acquire();
    QVERIFY(std::holds_alternative<std::unique_ptr<InstanceLock>>(result));
    QCOMPARE(contents(lockPath()), ownPid);
}

void TestInstanceLock::acquireNarrowsAnOpenLockFolder()
{
    const QString folder = m_dir->filePath(QStringLiteral("app"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    QVERIFY(std::holds_alternative<std::unique_ptr<InstanceLock>>(acquire()));
    QCOMPARE(permissions(folder), mode_t(0700));
}

void TestInstanceLock::lockFolderMayBeMovedElsewhereByALink()
{
    const QString real = m_dir->filePath(QStringLiteral("real"));
    QVERIFY(QDir().mkpath(real));
    QVERIFY(::chmod(QFile::encodeName(real).constData(), 0700) == 0);
    QVERIFY(QFile::link(real, m_dir->filePath(QStringLiteral("app"))));
    QVERIFY(std::holds_alternative<std::unique_ptr<InstanceLock>>(acquire()));
    QCOMPARE(contents(real + QStringLiteral("/app.lock")), ownPid);
}

void TestInstanceLock::acquireFailures_data()
{
    QTest::addColumn<QString>("blocker");   // what is put where the folder or file should be
    QTest::addColumn<bool>("isFileSystem"); // a FileSystemError rather than InstanceLockError
    QTest::addColumn<int>("errorNumber");   // ENOTDIR about the folder, else of openFailed
    QTest::addColumn<QString>("description");
    QTest::newRow("lock folder is a file")
        << QStringLiteral("folder-file") << true << ENOTDIR << QStringLiteral("%1: <dir>/app");
    QTest::newRow("lock file is a folder")
        << QStringLiteral("file-folder") << false << EISDIR
        << QStringLiteral("could not open the lock file (errno 21: %1)");
    QTest::newRow("lock file is a link")
        << QStringLiteral("file-link") << false << ELOOP
        << QStringLiteral("could not open the lock file (errno 40: %1)");
}

void TestInstanceLock::acquireFailures()
{
    QFETCH(QString, blocker);
    QFETCH(bool, isFileSystem);
    QFETCH(int, errorNumber);
    QFETCH(QString, description);
    const QString folder = m_dir->filePath(QStringLiteral("app"));
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    QVERIFY(write(elsewhere, "keep"));
    if (blocker == QStringLiteral("folder-file")) {
        QVERIFY(write(folder, "x"));
    } else if (blocker == QStringLiteral("file-folder")) {
        QVERIFY(QDir().mkpath(lockPath()));
    } else {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(elsewhere, lockPath()));
    }

    const auto result = acquire();
    QVERIFY(std::holds_alternative<InstanceLock::Error>(result));
    const auto& error = std::get<InstanceLock::Error>(result);
    QCOMPARE(std::holds_alternative<FileSystemError>(error), isFileSystem);
    if (!isFileSystem) {
        QCOMPARE(std::get<InstanceLockError>(error), InstanceLockError::openFailed(errorNumber));
    }
    // The system's text for the error number follows the user's language.
    QCOMPARE(InstanceLock::describe(error),
             description.replace(QStringLiteral("<dir>"), m_dir->path())
                 .arg(QString::fromLocal8Bit(std::strerror(errorNumber))));
    QCOMPARE(contents(elsewhere), QByteArray("keep")); // nothing written through a link
}

void TestInstanceLock::lockFolderMustBeOursAlone_data()
{
    // What is put where the lock folder belongs. "<dir>" is the test's folder; "mine" is made
    // 0700, "open" 0755, "theirs" 0700 and given to another user (only root can do that).
    QTest::addColumn<QString>("linkTarget"); // the link's text; empty: a real folder
    QTest::addColumn<QString>("target");     // the folder the lock would land in
    QTest::addColumn<bool>("linkIsTheirs");
    QTest::addColumn<int>("refusal"); // a PrivateFolderError::Case; -1: the lock is taken
    using Case = PrivateFolderError::Case;
    QTest::newRow("our link to our private folder")
        << QStringLiteral("<dir>/mine") << QStringLiteral("<dir>/mine") << false << -1;
    QTest::newRow("our relative link to our private folder")
        << QStringLiteral("mine") << QStringLiteral("<dir>/mine") << false << -1;
    QTest::newRow("our link to a folder open to others")
        << QStringLiteral("<dir>/open") << QStringLiteral("<dir>/open") << false
        << int(Case::linkTargetNotPrivate);
    QTest::newRow("our link to the root")
        << QStringLiteral("/") << QStringLiteral("/") << false << int(Case::linkTargetNotPrivate);
    QTest::newRow("our link to /tmp") << QStringLiteral("/tmp") << QStringLiteral("/tmp") << false
                                      << int(Case::linkTargetNotPrivate);
    QTest::newRow("another user's folder")
        << QString() << QStringLiteral("<dir>/app") << false << int(Case::ownedByAnotherUser);
    QTest::newRow("another user's link to our private folder")
        << QStringLiteral("<dir>/mine") << QStringLiteral("<dir>/mine") << true
        << int(Case::linkOwnedByAnotherUser);
    QTest::newRow("our link to another user's folder")
        << QStringLiteral("<dir>/theirs") << QStringLiteral("<dir>/theirs") << false
        << int(Case::linkTargetNotPrivate);
}

void TestInstanceLock::lockFolderMustBeOursAlone()
{
    QFETCH(QString, linkTarget);
    QFETCH(QString, target);
    QFETCH(bool, linkIsTheirs);
    QFETCH(int, refusal);
    const bool needsAnotherUser = linkIsTheirs || linkTarget.endsWith(QStringLiteral("theirs")) ||
                                  refusal == int(PrivateFolderError::Case::ownedByAnotherUser);
    if (needsAnotherUser && ::geteuid() != 0) {
        QSKIP("Only root can give a folder to another user");
    }
    constexpr uid_t anotherUser = 65534;
    const QString folder = m_dir->filePath(QStringLiteral("app"));
    const auto made = [](const QString& path, mode_t mode) {
        return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
    };
    QVERIFY(made(m_dir->filePath(QStringLiteral("mine")), 0700));
    QVERIFY(made(m_dir->filePath(QStringLiteral("open")), 0755));
    QVERIFY(made(m_dir->filePath(QStringLiteral("theirs")), 0700));
    const auto giveAway = [](const QString& path) {
        return ::lchown(QFile::encodeName(path).constData(), anotherUser, anotherUser) == 0;
    };
    QVERIFY(!needsAnotherUser || giveAway(m_dir->filePath(QStringLiteral("theirs"))));
    target.replace(QStringLiteral("<dir>"), m_dir->path());
    if (linkTarget.isEmpty()) {
        QVERIFY(made(folder, 0700) && giveAway(folder));
    } else {
        QVERIFY(QFile::link(linkTarget.replace(QStringLiteral("<dir>"), m_dir->path()), folder));
        QVERIFY(!linkIsTheirs || giveAway(folder));
    }
    const QString lockFile = QDir(target).filePath(QStringLiteral("app.lock"));
    const bool lockFileExisted = QFileInfo::exists(lockFile);
    const mode_t targetMode = permissions(target);

    const auto result = acquire();
    if (refusal < 0) {
        QVERIFY(std::holds_alternative<std::unique_ptr<InstanceLock>>(result));
        QCOMPARE(contents(lockFile), ownPid);
        return;
    }
    QVERIFY(std::holds_alternative<InstanceLock::Error>(result));
    const auto* error = std::get_if<PrivateFolderError>(&std::get<InstanceLock::Error>(result));
    QVERIFY(error);
    QCOMPARE(int(error->kind()), refusal);
    QCOMPARE(error->path(), folder);
    // The start-up log line names the folder and why it was refused.
    const QString description = InstanceLock::describe(std::get<InstanceLock::Error>(result));
    QVERIFY2(description.contains(folder) && description.contains(error->reason()),
             qPrintable(description));
    // Nothing was narrowed, created or truncated in the refused folder.
    QCOMPARE(permissions(target), targetMode);
    QCOMPARE(QFileInfo::exists(lockFile), lockFileExisted);
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
