// Runs a helper program of an EXEBefore / EXEAfter section.
#pragma once

#include <windows.h>

#include "description/section_records.h"

namespace tarnex {

// Starts the program (FromPackage: ProgramFolder in front of CommandLine,
// kept in the record; working folder ProgramFolder, else the text of
// CommandLine in front of FileName), waits when Wait is set and returns its
// exit code when UseExitCode is set, else 0. 1 asks to stop the
// installation, 2 for a restart.
DWORD RunLaunchEntry(LaunchEntry& entry);

}  // namespace tarnex
