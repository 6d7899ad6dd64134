#include "BenchmarkRegistry.h"

#include <QTextStream>

namespace {

std::vector<BenchmarkRegistry::Entry>& registry()
{
    static std::vector<BenchmarkRegistry::Entry> entries;
    return entries;
}

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

} // namespace

bool BenchmarkRegistry::add(const QString& name, std::function<void()> run)
{
    registry().push_back({name, std::move(run)});
    return true;
}

const std::vector<BenchmarkRegistry::Entry>& BenchmarkRegistry::entries()
{
    return registry();
}

namespace bench {

double bestSeconds(int repetitions, const std::function<void()>& work)
{
    double best = 0;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (i == 0 || elapsed.count() < best) {
            best = elapsed.count();
        }
    }
    return best;
}

void report(const QString& name, double seconds, double baselineSeconds, const QString& target)
{
    const double ratio = baselineSeconds > 0 ? seconds / baselineSeconds : 0;
    out() << QStringLiteral("%1: %2 ms vs baseline %3 ms, ratio %4 (target %5)")
                 .arg(name)
                 .arg(seconds * 1000, 0, 'f', 2)
                 .arg(baselineSeconds * 1000, 0, 'f', 2)
                 .arg(ratio, 0, 'f', 3)
                 .arg(target)
          << Qt::endl;
}

void reportAbsolute(const QString& name, double value, const QString& unit, const QString& target)
{
    out()
        << QStringLiteral("%1: %2 %3 (target %4)").arg(name).arg(value, 0, 'f', 3).arg(unit, target)
        << Qt::endl;
}

} // namespace bench
