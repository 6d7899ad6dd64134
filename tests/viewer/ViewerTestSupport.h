#pragma once

#include "SystemBeep.h"
#include "ViewerContentView.h"

#include <QString>
#include <functional>

// Puts `view` in the mode named "crop", "markup" or "overview" the way the toolbar does; any
// other name leaves it as it is.
inline void enterMode(ViewerContentView& view, const QString& mode)
{
    if (mode == u"crop") {
        view.enterCropMode();
    } else if (mode == u"markup") {
        view.setMarkupMode(true);
    } else if (mode == u"overview") {
        view.setOverviewMode(true, false);
    }
}

// Counts the beeps while it lives, instead of sounding them; the previous sink comes back after.
struct BeepCounter
{
    BeepCounter() : previous(SystemBeep::setSink([this] { ++count; })) {}
    ~BeepCounter() { SystemBeep::setSink(previous); }
    BeepCounter(const BeepCounter&) = delete;
    BeepCounter& operator=(const BeepCounter&) = delete;

    int count = 0;
    std::function<void()> previous;
};
