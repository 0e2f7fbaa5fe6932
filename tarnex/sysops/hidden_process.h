// A program of a package or of the system started with its window hidden,
// waited for without a time limit: the registration switches of EXE servers
// and services, and the 64-bit regsvr32.
#pragma once

#include <windows.h>

#include <string>

namespace tarnex {

// Starts program (a full path: no search) with the command line, in folder
// (the caller's when empty), hidden, with the creation flags, and waits for
// it to end. False when it cannot be started (GetLastError says why); the
// exit code goes to exitCode when given.
bool RunHiddenAndWait(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder,
                      DWORD creationFlags, DWORD* exitCode);

}  // namespace tarnex
