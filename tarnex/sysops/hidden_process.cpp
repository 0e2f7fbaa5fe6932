#include "sysops/hidden_process.h"

#include <vector>

#include "vrel/unique_handle.h"

namespace tarnex {

bool RunHiddenAndWait(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder,
                      DWORD creationFlags, DWORD* exitCode) {
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return false;
    vrel::unique_handle processHandle(process.hProcess);
    vrel::unique_handle threadHandle(process.hThread);
    ::WaitForSingleObject(processHandle.get(), INFINITE);
    if (exitCode && !::GetExitCodeProcess(processHandle.get(), exitCode)) *exitCode = STILL_ACTIVE;
    return true;
}

}  // namespace tarnex
