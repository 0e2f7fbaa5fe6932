// Runs a helper program of an EXEBefore / EXEAfter section.
#pragma once

#include <windows.h>

#include <string>

#include "portable/section_records.h"

namespace tarnex {

// Starts the program (FromPackage: ProgramFolder in front of CommandLine,
// kept in the record; working folder ProgramFolder, else the text of
// CommandLine in front of FileName), waits when Wait is set and returns its
// exit code when UseExitCode is set, else 0. 1 asks to stop the
// installation, 2 for a restart.
DWORD RunLaunchEntry(LaunchEntry& entry);
// The same with packageFolder (ending in a backslash) in place of
// ProgramFolder: a program of another version's package, kept in that
// version's install folder beside its installer's copy.
DWORD RunLaunchEntry(LaunchEntry& entry, const std::wstring& packageFolder);

}  // namespace tarnex
