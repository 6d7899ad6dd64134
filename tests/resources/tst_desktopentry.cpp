#include "ImageTypeRegistry.h"

#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <QTest>
#include <libheif/heif.h>

// The launcher entry offers vistrel for the MIME types it lists; each must be one the viewer
// then accepts (the registry admits its files when it steps through the folder) and one a
// decoder reads, or the file manager would offer vistrel for files it refuses to show.
class TestDesktopEntry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listedTypeOpensInTheViewer_data();
    void listedTypeOpensInTheViewer();
};

namespace {

// The value of `key` in the [Desktop Entry] group of the source tree's launcher entry.
QString desktopEntryValue(const QString& key)
{
    QFile file(QStringLiteral(VISTREL_DESKTOP_FILE));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    bool isMainGroup = false;
    const QString prefix = key + u'=';
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'[')) {
            isMainGroup = line == QLatin1String("[Desktop Entry]");
        } else if (isMainGroup && line.startsWith(prefix)) {
            return line.mid(prefix.size());
        }
    }
    return {};
}

QStringList listedMimeTypes()
{
    return desktopEntryValue(QStringLiteral("MimeType")).split(u';', Qt::SkipEmptyParts);
}

// Types the viewer decodes through libheif rather than through Qt's image plugins.
bool libheifDecodes(const QString& mimeType)
{
    if (mimeType == QLatin1String("image/heic") || mimeType == QLatin1String("image/heif")) {
        return heif_have_decoder_for_format(heif_compression_HEVC) != 0;
    }
    if (mimeType == QLatin1String("image/avif")) {
        return heif_have_decoder_for_format(heif_compression_AV1) != 0;
    }
    return false;
}

} // namespace

void TestDesktopEntry::initTestCase()
{
    heif_init(nullptr);
    QVERIFY2(!listedMimeTypes().isEmpty(), "the launcher entry lists no MIME type");
}

void TestDesktopEntry::cleanupTestCase()
{
    heif_deinit();
}

void TestDesktopEntry::listedTypeOpensInTheViewer_data()
{
    QTest::addColumn<QString>("mimeType");
    for (const QString& type : listedMimeTypes()) {
        QTest::newRow(qPrintable(type)) << type;
    }
}

void TestDesktopEntry::listedTypeOpensInTheViewer()
{
    QFETCH(QString, mimeType);

    // An alias (image/heic for image/heif here) is fine: desktops with an older database
    // know only that name.
    const QMimeType type = QMimeDatabase().mimeTypeForName(mimeType);
    QVERIFY2(type.isValid(), "unknown to the shared MIME database");

    const QString suffix = type.preferredSuffix();
    QVERIFY2(!suffix.isEmpty(), "the type has no file name extension");
    QVERIFY2(ImageTypeRegistry::isImageExtension(suffix),
             qPrintable(QStringLiteral("the registry refuses .%1 files").arg(suffix)));

    const bool qtDecodes = QImageReader::supportedMimeTypes().contains(mimeType.toLatin1());
    QVERIFY2(qtDecodes || libheifDecodes(mimeType), "no installed decoder reads the type");
}

QTEST_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"
