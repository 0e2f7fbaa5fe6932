// The program run's hand-over to the wizard.
#pragma once

#include <windows.h>

namespace tarnex {

// Runs the wizard in the current run mode over owner (the background window,
// or none): 1 when the work was carried out to its end, 2 when the wizard was
// cancelled or aborted.
int RunWizard(HWND owner);

}  // namespace tarnex
