// The program context every part of the installer reads: paths, caption,
// command-line flags, run mode, restart flags and the single-instance guard.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "portable/run_mode.h"
#include "services/instance_guard.h"

namespace tarnex {

// Fixed text fields hold 260 characters, terminator included.
inline constexpr std::size_t kTextField = 260;

struct AppContext {
    HINSTANCE Instance = nullptr;
    std::wstring CommandLine;
    // The running program's full path: the copy a removal deletes at its end.
    std::wstring ProgramPath;
    wchar_t Caption[kTextField] = {};
    wchar_t ProgramFolder[kTextField] = {};  // ends in a backslash
    // The folder of the single file that unpacked the package, with a
    // backslash; empty when the package came from ProgramFolder (the
    // uninstall entry's InstallSource).
    std::wstring PackageSource;
    wchar_t WindowsFolder[kTextField] = {};  // ends in a backslash
    wchar_t SystemFolder[kTextField] = {};   // ends in a backslash
    wchar_t ProgramName[kTextField] = {};    // file name without folder and extension
    DWORD Mode = AS_INST;
    volatile LONG ContinueAfterRestart = 0;
    volatile LONG Nt5Family = 0;
    volatile LONG RestartNeeded = 0;
    volatile LONG RestartRequestedByProgram = 0;
    // A quiet run: no window, every question answered by the run itself
    // (set by the quiet run, not read from the arguments here).
    bool Quiet = false;
    // This run completes one that was cut off (engine/run_mark.h): the
    // choice is the interrupted run's, the wizard goes straight to its
    // progress page.
    bool CompletingInterruptedRun = false;
    InstanceGuard Guard{kGuardKindTarnex};
};

// The one context of the run, created at start and owned by the program run.
AppContext& App();

// A single file's run of the package it carries: the package's installer it
// unpacked (a full path), which the run in this program stands in for (its
// program path, folder and name: the package is read beside it, and it is
// the copy a removal deletes), and the single file's own folder, with a
// backslash, where the package came from (PackageSource).
struct CarriedPackage {
    std::wstring installer;
    std::wstring sourceFolder;
};

// Read by every InitAppContext from now on; an empty one (the default) is
// the running program's own package.
void SetCarriedPackage(CarriedPackage package);

// Fills the context: common controls, instance, arguments, caption (string
// 4), the program's path, folder and name (the carried package's installer
// when there is one), the package's source, the Windows and system folders, and the
// switches: "/u" anywhere in the arguments selects removal, "/r" continues
// after a restart (plain case-sensitive substring search, as the Run entry
// and the uninstall entry write them).
void InitAppContext(HINSTANCE instance, const wchar_t* arguments);

// The name of a run mode ("AS_INST" ...), nullptr outside 0 to 5.
const wchar_t* ModeName(DWORD mode);

// Copies the name of the current mode into buffer (cut to capacity); for a
// mode outside 0 to 5 the buffer is left unchanged.
void GetModeName(wchar_t* buffer, std::size_t capacity);
template <std::size_t N>
void GetModeName(wchar_t (&buffer)[N]) {
    GetModeName(buffer, N);
}

}  // namespace tarnex
