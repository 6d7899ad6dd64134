#include "FuzzInput.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace FuzzInput {

void ensureApplication()
{
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "vistrel-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

QString scratchFolder()
{
    static QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "vistrel-fuzz: no scratch folder\n");
        std::abort();
    }
    return folder.path();
}

QString writeFile(const char* name, const std::uint8_t* data, std::size_t size)
{
    const QString path = scratchFolder() + QLatin1Char('/') + QString::fromLatin1(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "vistrel-fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

} // namespace FuzzInput
