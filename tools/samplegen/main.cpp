#include "SampleFolder.h"

#include <QGuiApplication>
#include <QTextStream>
#include <libheif/heif.h>

namespace {

// libheif loads its encoder plugins in heif_init and lets them free their state in heif_deinit.
struct HeifLibrary
{
    HeifLibrary() { heif_init(nullptr); }
    ~HeifLibrary() { heif_deinit(); }
    HeifLibrary(const HeifLibrary&) = delete;
    HeifLibrary& operator=(const HeifLibrary&) = delete;
};

} // namespace

// Usage: vistrel-samplegen FOLDER
// Writes the sample pictures into FOLDER. Exits 1 when any sample could not be written.
int main(int argc, char** argv)
{
    // Drawing text needs a GUI application, but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const HeifLibrary heifLibrary;
    const QStringList arguments = QGuiApplication::arguments();
    QTextStream err(stderr);
    if (arguments.size() != 2) {
        err << "usage: vistrel-samplegen FOLDER" << Qt::endl;
        return 2;
    }
    const QStringList errors = SampleFolder::write(arguments.at(1));
    for (const QString& error : errors) {
        err << "vistrel-samplegen: " << error << Qt::endl;
    }
    return errors.isEmpty() ? 0 : 1;
}
