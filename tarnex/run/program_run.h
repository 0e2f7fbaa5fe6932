// The run of Tarnex from start-up to exit: context, log, description, guard,
// checks and run mode, the wizard, and what follows it (restart with
// continuation, removal of empty folders and of the installer's own copy).
#pragma once

#include <windows.h>

namespace tarnex {

// The whole run; returns the program's exit code: always 0 with a person
// at the screen, the quiet run's code with "/quiet" (quiet_run.h).
int RunProgram(HINSTANCE instance, const wchar_t* arguments);

// How the start-up ended: Proceed goes on to the wizard (or the quiet run's
// choice); every other value ends the run there.
enum class StartUpEnd {
    Proceed,
    Unreadable,        // the description or the catalogue (kDescriptionUnreadable, kCatalogueUnreadable)
    OtherInstaller,    // the text kOtherInstallerRunning
    SystemRefused,     // No to the text kSystemNotAcceptedQuestion
    RequiredAppMissing,  // No to the text kRequiredAppMissingQuestion
    NothingInstalled,  // a removal found nothing (the text kNothingInstalled)
    CheckStopped,      // a program of the install checks answered 1
    RemovalContinued,  // the continuation of a removal ran: nothing else to do
    PackageChanged,    // a file differs from the package's seal (the text kPackageChanged)
};

// Start-up up to the wizard (context, log trim, description, guard, checks,
// run mode, continuation entry).
StartUpEnd StartUp(HINSTANCE instance, const wchar_t* arguments);

// The start banner with NameGen, logged before the wizard (or the quiet run's
// work) begins.
void LogStartBanner();

// Step 4 of the start-up: true when no other installer runs and this run
// goes on; otherwise the user was told (the text kOtherInstallerRunning) which one runs.
bool ClaimSingleInstance();

// After the wizard: the result lines, the restart question with the
// continuation entry, or the removal of empty folders and the own copy.
void FinishRun(int wizardResult);

// The continuation of a removal after a restart (mode 1 with "/r").
void ContinueRemoval();

}  // namespace tarnex
