// The start-up checks of a run, in the order the program calls them: the
// operating system, the required applications, the run mode, the install
// checks of component 0, and the Microsoft Access versions.
#pragma once

#include "description/setup_description.h"
#include "portable/os_version_rules.h"
#include "services/app_context.h"

namespace tarnex {

// Whether this copy runs from the install folder: the continuation after a
// restart, or the folder the package key records, or the one the mark of a
// run cut off records before that key is written.
bool RunsFromInstalledCopy(const SetupDescription& description);

// What the running system reports about itself.
ReportedVersion QuerySystemVersion();

// 1 when the description accepts the system; sets Nt5Family for Windows
// 2000, XP and Server 2003. The first form logs the system it found; the
// overload takes the version as reported (forced in tests).
int CheckOsVersion();
int CheckOsVersion(AppContext& app, const SetupDescription& description, const ReportedVersion& version);

// In a removal 1 at once; otherwise asks the text kRequiredAppMissingQuestion for every required
// application that is missing. 0 when the user answers No.
int CheckRequiredKeys();
int CheckRequiredKeys(const AppContext& app, const SetupDescription& description);

// Finds the installed components and decides the run mode from them, the
// switches, SupportMode and the recorded install folder ("PathInst").
// 0 (after the text kNothingInstalled) when a removal finds nothing installed.
int DecideMode();
int DecideMode(AppContext& app, SetupDescription& description);

// In an installation: runs component 0's EXEBefore programs; the first one
// that answers 1 stops the run with its Message or the text kInstallCheckFailed (result 0).
int RunInstallChecks();
int RunInstallChecks(SetupDescription& description);

// Sets AccessVersion from the Access keys of the system and the package.
void DetectAccess();
void DetectAccess(SetupDescription& description);

}  // namespace tarnex
