// The restart cycle: the continuation entry in the Run key, the question
// after a run that needs a restart, and the restart itself.
#pragma once

#include <windows.h>

#include <string>

namespace tarnex {

inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kContinuationValue[] = L"Tarnex_continue_UI";

// "\"<installFolder><setNameUI>\" /r", followed by " /u" for a removal
// (modes 1 and 5): the command the next logon runs.
std::wstring ContinuationCommand(const std::wstring& installFolder, const std::wstring& setNameUI, DWORD mode);

// Writes the command as "Tarnex_continue_UI" under HKEY_LOCAL_MACHINE's Run
// key (REG_SZ without a terminator); 1 when written.
int WriteContinuationEntry(const std::wstring& command);

// Deletes "Tarnex_continue_UI" whether or not it exists.
void DeleteContinuationEntry();

// Enables the shutdown privilege and asks for a restart; 1 when requested,
// 0 when the privilege cannot be enabled.
int RestartWindows();

}  // namespace tarnex
