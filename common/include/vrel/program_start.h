// Programs started by their full path, with both handles owned.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "vrel/unique_handle.h"

namespace vrel {

struct StartedProgram {
    unique_handle process;
    unique_handle thread;  // its first thread: a suspended start is resumed through it

    explicit operator bool() const noexcept { return static_cast<bool>(process); }
    // Waits for the program's end, without a time limit.
    void WaitForEnd() const { ::WaitForSingleObject(process.get(), INFINITE); }
    // STILL_ACTIVE while it runs; false when the system cannot tell.
    bool ExitCode(DWORD& code) const { return ::GetExitCodeProcess(process.get(), &code) != FALSE; }
};

// Starts program (a full path: nothing is searched) with commandLine (the
// program's own name first, as it reads it), in folder (the caller's
// current folder when empty), with the creation flags and the window's show
// state. No handle is inherited; the environment is this process's. Empty
// when it cannot be started, GetLastError saying why.
inline StartedProgram StartProgram(const std::wstring& program, const std::wstring& commandLine,
                                   const std::wstring& folder, DWORD creationFlags, WORD show) {
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION info{};
    StartedProgram started;
    if (!::CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return started;
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
    return started;
}

}  // namespace vrel
