// Entry point of Tarnex.exe.
#include <windows.h>

#include <string>

#include "run/program_run.h"
#include "services/library_search.h"

namespace {

// A system without the UTF-16 interface (Windows 9x without its Unicode
// layer) reports 0 here. Nothing of the program exists yet, so the message
// goes out through the ANSI call directly, titled with the program path.
bool SystemSupportsUnicode() {
    if (::GetWindowsDirectoryW(nullptr, 0) != 0) return true;
    char title[128] = {};
    ::GetModuleFileNameA(nullptr, title, sizeof title - 1);
    ::MessageBoxA(::GetActiveWindow(), "This application requires an OS that supports Unicode.", title, MB_OK);
    return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    tarnex::RestrictLibrarySearch();
    if (!SystemSupportsUnicode()) ::ExitProcess(0);
    return tarnex::RunProgram(instance, arguments);
}
