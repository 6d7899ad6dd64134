#include "BenchmarkRegistry.h"

#include <QApplication>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

// Usage: vistrel-bench [NAME-FILTER]
// Runs every registered benchmark whose name contains the filter (all of them by default).
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString filter = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTextStream(stdout) << "vistrel-bench on " << QSysInfo::prettyProductName() << ", "
                        << QThread::idealThreadCount() << " cores" << Qt::endl;
    for (const auto& entry : BenchmarkRegistry::entries()) {
        if (filter.isEmpty() || entry.name.contains(filter)) {
            entry.run();
        }
    }
    return 0;
}
