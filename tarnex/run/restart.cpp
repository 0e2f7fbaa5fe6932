#include "run/restart.h"

#include "run/startup_checks.h"
#include "services/app_context.h"
#include "services/registry_access.h"
#include "vrel/unique_handle.h"

namespace tarnex {

namespace {
constexpr int kRootLocalMachine = 3;
bool continuationHeld = false;
}  // namespace

const wchar_t* ContinuationKey() { return QuerySystemVersion().Major >= 6 ? kRunOnceKey : kRunKey; }

std::wstring ContinuationCommand(const std::wstring& installFolder, const std::wstring& setNameUI, DWORD mode) {
    std::wstring command = L"\"" + installFolder + setNameUI + L"\" /r";
    if (mode == AS_DEL || mode == AS_SD) command += L" /u";
    return command;
}

int WriteContinuationEntry(const std::wstring& command) {
    return SetRegValue(kRootLocalMachine, ContinuationKey(), kContinuationValue, command.data(),
                       static_cast<DWORD>(command.size() * sizeof(wchar_t)), REG_SZ);
}

void DeleteContinuationEntry() {
    DeleteRegValue(kRootLocalMachine, kRunKey, kContinuationValue);
    DeleteRegValue(kRootLocalMachine, kRunOnceKey, kContinuationValue);
}

void HoldContinuationEntry() { continuationHeld = WriteContinuationEntry(::GetCommandLineW()) != 0; }

void ReleaseContinuationEntry() {
    if (!continuationHeld) return;
    continuationHeld = false;
    DeleteContinuationEntry();
}

int RestartWindows() {
    vrel::unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return 0;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return 0;
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds without granting what the token lacks;
    // only the last error tells.
    if (::GetLastError() != ERROR_SUCCESS) return 0;
    ::ExitWindowsEx(EWX_SHUTDOWN | EWX_REBOOT, 0);
    return 1;
}

}  // namespace tarnex
