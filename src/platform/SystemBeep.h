#pragma once

#include <functional>

// The one way the viewer refuses an action: a short system sound, no dialog.
//
// This module needs no widgets, so the sound itself is installed by the application at start
// (QApplication::beep); until then, and in tests that install their own counter, beep() only
// calls whatever sink is installed.
namespace SystemBeep {

void beep();

// Replaces the sink and returns the previous one, so a test can restore it.
std::function<void()> setSink(std::function<void()> sink);

} // namespace SystemBeep
