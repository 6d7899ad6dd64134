// The fuzz targets as plain programs: each argument is an input file or a folder of them
// (every regular file in it, in name order), fed once to the target. Exits 0 after the last
// one; a fault in the code under test aborts the program, which is how a replay fails.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::fprintf(stderr, "replaying %s (%lld bytes)\n", qPrintable(path),
                 static_cast<long long>(bytes.size()));
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           std::size_t(bytes.size()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    int replayed = 0;
    bool readable = true;
    for (int index = 1; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (!QFileInfo(argument).isDir()) {
            readable = replay(argument) && readable;
            ++replayed;
            continue;
        }
        const QDir folder(argument);
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
            readable = replay(folder.filePath(name)) && readable;
            ++replayed;
        }
    }
    std::fprintf(stderr, "replayed %d inputs\n", replayed);
    // No input at all means a missing corpus, which must not pass as a clean replay.
    return readable && replayed > 0 ? 0 : 1;
}
