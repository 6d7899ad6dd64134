#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <vector>

// Benchmarks register themselves from their own files at static-initialisation time, so adding
// one means adding a file to bench/ and nothing else.
class BenchmarkRegistry
{
public:
    struct Entry
    {
        QString name;
        std::function<void()> run;
    };

    static bool add(const QString& name, std::function<void()> run);
    static const std::vector<Entry>& entries();
};

namespace bench {

// The best (smallest) wall time of `repetitions` runs of `work`, in seconds. The minimum is the
// figure least disturbed by whatever else the machine is doing.
double bestSeconds(int repetitions, const std::function<void()>& work);

// Prints one result line: name, the measured time, the baseline time and their ratio.
void report(const QString& name, double seconds, double baselineSeconds, const QString& target);

// Prints one result line with an absolute figure only.
void reportAbsolute(const QString& name, double value, const QString& unit, const QString& target);

} // namespace bench
