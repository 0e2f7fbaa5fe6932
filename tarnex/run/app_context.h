// The program context every part of the installer reads: paths, caption,
// command-line flags, run mode and restart flags.
#pragma once

#include <windows.h>

#include <string>

namespace tarnex {

// Fixed text fields hold 260 characters, terminator included.
inline constexpr std::size_t kTextField = 260;

enum RunMode : DWORD {
    AS_INST = 0,  // install
    AS_DEL = 1,   // remove the whole package
    AS_SUP = 2,   // maintenance: the wizard asks what to do
    AS_REP = 3,   // reinstall or repair
    AS_AD = 4,    // add or remove components
    AS_SD = 5,    // remove, chosen on the maintenance page
};

struct AppContext {
    HINSTANCE Instance = nullptr;
    std::wstring CommandLine;
    wchar_t Caption[kTextField] = {};
    wchar_t ProgramFolder[kTextField] = {};  // ends in a backslash
    wchar_t WindowsFolder[kTextField] = {};  // ends in a backslash
    wchar_t SystemFolder[kTextField] = {};   // ends in a backslash
    wchar_t ProgramName[kTextField] = {};    // file name without folder and extension
    DWORD Mode = AS_INST;
    volatile LONG ContinueAfterRestart = 0;
    volatile LONG Nt5Family = 0;
    volatile LONG RestartNeeded = 0;
    volatile LONG RestartRequestedByProgram = 0;
    // The single-instance guard joins here with the guard itself.
};

// The one context of the run, created at start and owned by the program run.
AppContext& App();

}  // namespace tarnex
