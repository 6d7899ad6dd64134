#include "BenchmarkRegistry.h"
#include "ImageSequence.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

constexpr int imageCount = 10000;
constexpr int repetitions = 15;

// 10 000 empty files with image names in mixed case and several extensions. Loading never opens
// a file, so their contents do not matter.
bool fillFolder(const QString& folder)
{
    static const char* const extensions[] = {"jpg", "JPG", "png", "heic", "tif"};
    for (int i = 0; i < imageCount; ++i) {
        const QString name = QStringLiteral("%1_%2.%3")
                                 .arg(i % 3 ? QStringLiteral("IMG") : QStringLiteral("img"))
                                 .arg(i)
                                 .arg(QLatin1String(extensions[i % 5]));
        QFile file(folder + u'/' + name);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
    }
    return true;
}

// The floor: the visible names of the folder as the C library lists them, copied out.
std::vector<std::string> readdirNames(const QByteArray& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.constData())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        closedir(dir);
    }
    return names;
}

const bool registered = BenchmarkRegistry::add("sequence", [] {
    QTemporaryDir folder;
    if (!folder.isValid() || !fillFolder(folder.path())) {
        qWarning("sequence benchmark: cannot create the folder");
        return;
    }
    const QUrl start = QUrl::fromLocalFile(folder.path() + QStringLiteral("/IMG_5000.jpg"));
    const QByteArray encodedFolder = QFile::encodeName(folder.path());

    // The first load also starts the MIME database, which a running viewer pays once.
    ImageSequence first;
    const double coldSeconds = bench::bestSeconds(1, [&] { first.load(start); });
    if (first.urls().size() != imageCount) {
        qWarning("sequence benchmark: loaded %lld of %d images",
                 static_cast<long long>(first.urls().size()), imageCount);
        return;
    }

    const double loadSeconds = bench::bestSeconds(repetitions, [&] {
        ImageSequence sequence;
        sequence.load(start);
    });
    qsizetype entryListCount = 0;
    const double entryListSeconds = bench::bestSeconds(repetitions, [&] {
        entryListCount = QDir(folder.path())
                             .entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted)
                             .size();
    });
    std::size_t readdirCount = 0;
    const double readdirSeconds =
        bench::bestSeconds(repetitions, [&] { readdirCount = readdirNames(encodedFolder).size(); });
    if (entryListCount != imageCount || readdirCount != std::size_t(imageCount)) {
        qWarning("sequence benchmark: a baseline listed the wrong number of names");
        return;
    }

    bench::reportAbsolute("sequence: first load of 10 000 names (registry start-up included)",
                          coldSeconds * 1000, "ms", "report");
    bench::report("sequence: load 10 000 names vs QDir::entryList", loadSeconds, entryListSeconds,
                  "report");
    bench::report("sequence: load 10 000 names vs readdir", loadSeconds, readdirSeconds, "report");
});

} // namespace
