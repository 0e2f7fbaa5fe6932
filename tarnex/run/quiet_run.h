// The quiet run ("/quiet"): the run order of a person's run without the
// background window and the wizard. It takes what the wizard would take
// untouched (the install folder of the description or of "/dir=", the
// Microsoft Access version the page offers, the component page's first
// choice), runs the engine with its log, and answers every message box
// itself: each one is written to the log, every question is answered No
// (so nothing is restarted, replaced or gone on with by itself), except the
// unsupported-system question with "/acceptos". The outcome is the exit code.
#pragma once

#include <windows.h>

#include "portable/quiet_switches.h"

namespace tarnex {

// The whole quiet run; returns one of the QuietExitCode values.
int RunQuietly(HINSTANCE instance, const wchar_t* arguments, const QuietSwitches& switches);

}  // namespace tarnex
