// The run of Tarnex from start-up to exit: context, log, description, guard,
// checks and run mode, the wizard, and what follows it (restart with
// continuation, removal of empty folders and of the installer's own copy).
#pragma once

#include <windows.h>

namespace tarnex {

// The whole run; always 0, the program's exit code.
int RunProgram(HINSTANCE instance, const wchar_t* arguments);

// Start-up up to the wizard (context, log trim, description, guard, checks,
// run mode, continuation entry). false when the run ends here, also after
// the continuation of a removal, which needs no wizard.
bool StartUp(HINSTANCE instance, const wchar_t* arguments);

// Step 4 of the start-up: true when no other installer runs and this run
// goes on; otherwise the user was told (string 62) which one runs.
bool ClaimSingleInstance();

// After the wizard: the result lines, the restart question with the
// continuation entry, or the removal of empty folders and the own copy.
void FinishRun(int wizardResult);

// The continuation of a removal after a restart (mode 1 with "/r").
void ContinueRemoval();

}  // namespace tarnex
