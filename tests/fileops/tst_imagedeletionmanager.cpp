#include "ImageDeletionManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using ImageDeletionManager::RestoreError;

namespace {

// What may stand in the way of putting an image back.
enum class Obstacle
{
    none,
    folderRemoved,
    folderRemovedWithParents,
    fileTookName,
    folderTookName,
    danglingLinkTookName,
    fileTookFolderName,
    trashEmptied
};

// Distinct bytes per name, every byte value included.
QByteArray contentFor(const QString& name, int repeats = 16)
{
    QByteArray bytes = name.toUtf8();
    for (int i = 0; i < 256 * repeats; ++i) {
        bytes.append(char(i % 256));
    }
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size();
}

// Kind and content of whatever has the name, to show that a refused restore touched nothing.
QString describe(const QString& path)
{
    const QFileInfo info(path);
    return info.isSymLink() ? QStringLiteral("link ") + info.symLinkTarget()
           : info.isDir()   ? QStringLiteral("folder")
                            : QString::number(info.exists()) + QString::fromLatin1(readFile(path));
}

QString trashInfoFor(const QString& trashedPath)
{
    const QFileInfo trashed(trashedPath);
    return trashed.absolutePath() + QStringLiteral("/../info/") + trashed.fileName() +
           QStringLiteral(".trashinfo");
}

} // namespace

class TestImageDeletionManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deletedImagesComeBackWhole_data();
    void deletedImagesComeBackWhole();
    void restoreNeverReplaces_data();
    void restoreNeverReplaces();
    void restoreAcrossFileSystems();

private:
    QString picture(const QString& name) const { return m_pictures + QLatin1Char('/') + name; }
    QString trashFiles() const { return m_dataHome + QStringLiteral("/Trash/files"); }

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_dataHome;
    QString m_pictures;
    int m_run = 0;
};

void TestImageDeletionManager::initTestCase()
{
    // The test runner points the data home into the build tree; without that the user's own
    // Trash would be used.
    const QString buildDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (buildDataHome.isEmpty()) {
        QSKIP("XDG_DATA_HOME is not set");
    }
    QVERIFY(QDir().mkpath(buildDataHome));
    // Below the data home, so that pictures and Trash share its file system.
    m_root = std::make_unique<QTemporaryDir>(buildDataHome +
                                             QStringLiteral("/tst_imagedeletionmanager-XXXXXX"));
    QVERIFY(m_root->isValid());
    init();
    QVERIFY(writeFile(picture(QStringLiteral("probe.jpg")), "probe"));
    QString pathInTrash;
    if (!QFile::moveToTrash(picture(QStringLiteral("probe.jpg")), &pathInTrash)) {
        QSKIP("moving to the Trash is not possible here");
    }
    QCOMPARE(QFileInfo(pathInTrash).absolutePath(), trashFiles());
}

// Every test function and row gets its own data home, so its own empty Trash.
void TestImageDeletionManager::init()
{
    const QString run = m_root->filePath(QStringLiteral("run-%1").arg(++m_run));
    m_dataHome = run + QStringLiteral("/data");
    m_pictures = run + QStringLiteral("/pictures");
    QVERIFY(QDir().mkpath(m_dataHome) && QDir().mkpath(m_pictures));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome));
    QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), m_dataHome);
}

void TestImageDeletionManager::deletedImagesComeBackWhole_data()
{
    // "?name" is a file that does not exist; an entry with "://" is taken as an address.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("moved");
    QTest::newRow("two images") << QStringList{"b.jpg", "a.png"} << QStringList{"b.jpg", "a.png"};
    const QStringList accents{"holiday photo.jpg", QStringLiteral(u"Ünïcødé ⚑.heic")};
    QTest::newRow("spaces and accents") << accents << accents;
    // The Trash gives the second one another name.
    QTest::newRow("same name in two folders")
        << QStringList{"x/a.jpg", "y/a.jpg"} << QStringList{"x/a.jpg", "y/a.jpg"};
    QTest::newRow("missing file between two")
        << QStringList{"c.jpg", "?gone.jpg", "a.jpg"} << QStringList{"c.jpg", "a.jpg"};
    QTest::newRow("same file twice") << QStringList{"a.jpg", "a.jpg"} << QStringList{"a.jpg"};
    QTest::newRow("web address") << QStringList{"https://example.com/a.jpg", "b.jpg"}
                                 << QStringList{"b.jpg"};
    QTest::newRow("empty address") << QStringList{"", "b.jpg"} << QStringList{"b.jpg"};
    QTest::newRow("nothing movable") << QStringList{"?a.jpg", ""} << QStringList{};
}

void TestImageDeletionManager::deletedImagesComeBackWhole()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, moved);
    QList<QUrl> urls;
    for (const QString& entry : entries) {
        if (entry.isEmpty() || entry.contains(QStringLiteral("://"))) {
            urls.append(QUrl(entry));
        } else if (entry.startsWith(QLatin1Char('?'))) {
            urls.append(QUrl::fromLocalFile(picture(entry.mid(1))));
        } else {
            QVERIFY(writeFile(picture(entry), contentFor(entry)));
            urls.append(QUrl::fromLocalFile(picture(entry)));
        }
    }

    const QList<DeletedImage> deleted = ImageDeletionManager::deleteImages(urls);
    QCOMPARE(deleted.size(), moved.size());
    for (qsizetype i = 0; i < deleted.size(); ++i) {
        QCOMPARE(deleted[i].originalUrl, QUrl::fromLocalFile(picture(moved[i])));
        QVERIFY(!QFileInfo::exists(picture(moved[i])));
        const QString trashed = deleted[i].trashedUrl.toLocalFile();
        QCOMPARE(QFileInfo(trashed).absolutePath(), trashFiles());
        QCOMPARE(readFile(trashed), contentFor(moved[i]));
        QVERIFY(QFileInfo::exists(trashInfoFor(trashed)));
    }

    for (qsizetype i = 0; i < deleted.size(); ++i) {
        QVERIFY(!ImageDeletionManager::restoreDeletedImage(deleted[i]).has_value());
        QCOMPARE(readFile(picture(moved[i])), contentFor(moved[i]));
        QVERIFY(!QFileInfo::exists(trashInfoFor(deleted[i].trashedUrl.toLocalFile())));
    }
    const auto entriesIn = [this](const QString& folder) {
        return QDir(m_dataHome + QStringLiteral("/Trash/") + folder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    QCOMPARE(entriesIn(QStringLiteral("files")), QStringList());
    QCOMPARE(entriesIn(QStringLiteral("info")), QStringList());
}

void TestImageDeletionManager::restoreNeverReplaces_data()
{
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addColumn<std::optional<RestoreError>>("expected");
    QTest::newRow("nothing in the way") << Obstacle::none << std::optional<RestoreError>();
    QTest::newRow("folder removed") << Obstacle::folderRemoved << std::optional<RestoreError>();
    QTest::newRow("folder removed with its parents")
        << Obstacle::folderRemovedWithParents << std::optional<RestoreError>();
    QTest::newRow("a file took the name")
        << Obstacle::fileTookName << std::optional(RestoreError::fileExists);
    QTest::newRow("a folder took the name")
        << Obstacle::folderTookName << std::optional(RestoreError::fileExists);
    QTest::newRow("a dangling link took the name")
        << Obstacle::danglingLinkTookName << std::optional(RestoreError::fileExists);
    QTest::newRow("a file took the folder's name")
        << Obstacle::fileTookFolderName << std::optional(RestoreError::folderNotCreated);
    QTest::newRow("the Trash was emptied")
        << Obstacle::trashEmptied << std::optional(RestoreError::moveFailed);
}

void TestImageDeletionManager::restoreNeverReplaces()
{
    QFETCH(Obstacle, obstacle);
    QFETCH(std::optional<RestoreError>, expected);
    const QString original = picture(QStringLiteral("2024/summer/beach.jpg"));
    const QString folder = QFileInfo(original).absolutePath();
    const QByteArray bytes = contentFor(original);
    QVERIFY(writeFile(original, bytes));
    const QList<DeletedImage> deleted =
        ImageDeletionManager::deleteImages({QUrl::fromLocalFile(original)});
    QCOMPARE(deleted.size(), 1);
    const QString trashed = deleted[0].trashedUrl.toLocalFile();

    switch (obstacle) {
    case Obstacle::none:
        break;
    case Obstacle::folderRemoved:
        QVERIFY(QDir(folder).removeRecursively());
        break;
    case Obstacle::folderRemovedWithParents:
        QVERIFY(QDir(picture(QStringLiteral("2024"))).removeRecursively());
        break;
    case Obstacle::fileTookName:
        QVERIFY(writeFile(original, "newcomer"));
        break;
    case Obstacle::folderTookName:
        QVERIFY(QDir().mkpath(original));
        break;
    case Obstacle::danglingLinkTookName:
        QVERIFY(QFile::link(picture(QStringLiteral("nowhere.jpg")), original));
        break;
    case Obstacle::fileTookFolderName:
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(writeFile(folder, "newcomer"));
        break;
    case Obstacle::trashEmptied:
        QVERIFY(QFile::remove(trashed));
        break;
    }
    const QString folderBefore = describe(folder);
    const QString originalBefore = describe(original);

    QCOMPARE(ImageDeletionManager::restoreDeletedImage(deleted[0]), expected);
    if (!expected) {
        QCOMPARE(readFile(original), bytes);
        QVERIFY(!QFileInfo::exists(trashed));
        QVERIFY(!QFileInfo::exists(trashInfoFor(trashed)));
        return;
    }
    QCOMPARE(describe(folder), folderBefore);
    QCOMPARE(describe(original), originalBefore);
    if (obstacle != Obstacle::trashEmptied) {
        QCOMPARE(readFile(trashed), bytes);
        QVERIFY(QFileInfo::exists(trashInfoFor(trashed)));
    }
}

// A Trash on another file system: the image is copied back, with its permissions and time, and
// no copy is left behind.
void TestImageDeletionManager::restoreAcrossFileSystems()
{
    const QString memory = QStringLiteral("/dev/shm");
    if (!QFileInfo(memory).isWritable() ||
        QStorageInfo(memory).rootPath() == QStorageInfo(m_pictures).rootPath()) {
        QSKIP("no second writable file system");
    }
    QTemporaryDir otherVolume(memory + QStringLiteral("/tst_imagedeletionmanager-XXXXXX"));
    const QString trashed = otherVolume.filePath(QStringLiteral("Trash/files/photo.jpg"));
    const QString trashInfo =
        otherVolume.filePath(QStringLiteral("Trash/info/photo.jpg.trashinfo"));
    const QByteArray bytes = contentFor(QStringLiteral("photo.jpg"), 10000); // several chunks
    QVERIFY(writeFile(trashed, bytes) && writeFile(trashInfo, "[Trash Info]\n"));
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadUser | QFileDevice::WriteUser |
                             QFileDevice::ReadOther;
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    QFile file(trashed);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setPermissions(permissions) &&
            file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();

    const QString original = picture(QStringLiteral("photo.jpg"));
    QVERIFY(!ImageDeletionManager::restoreDeletedImage(
                 {QUrl::fromLocalFile(original), QUrl::fromLocalFile(trashed)})
                 .has_value());
    QCOMPARE(readFile(original), bytes);
    QCOMPARE(QFile::permissions(original), permissions);
    QCOMPARE(QFileInfo(original).lastModified(), modified);
    QVERIFY(!QFileInfo::exists(trashed) && !QFileInfo::exists(trashInfo));
    QCOMPARE(QDir(m_pictures).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("photo.jpg")});
}

QTEST_GUILESS_MAIN(TestImageDeletionManager)

#include "tst_imagedeletionmanager.moc"
