#include "SystemBeep.h"

#include <utility>

namespace {

std::function<void()>& currentSink()
{
    static std::function<void()> sink;
    return sink;
}

} // namespace

namespace SystemBeep {

void beep()
{
    if (const auto& sink = currentSink()) {
        sink();
    }
}

std::function<void()> setSink(std::function<void()> sink)
{
    return std::exchange(currentSink(), std::move(sink));
}

} // namespace SystemBeep
