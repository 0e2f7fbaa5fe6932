// The restart cycle: the continuation entry, the question after a run that
// needs a restart, and the restart itself.
//
// Where the entry goes: Windows from Vista on does not start a program that
// asks for administrator rights from the Run key at logon, but it runs the
// entries of HKEY_LOCAL_MACHINE's RunOnce key at an administrator's logon,
// with the elevation prompt, deleting each before it runs it. There the
// continuation goes; on the systems before Vista it stays under Run.
#pragma once

#include <windows.h>

#include <string>

namespace tarnex {

inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr wchar_t kContinuationValue[] = L"Tarnex_continue_UI";

// "\"<installFolder><setNameUI>\" /r", followed by " /u" for a removal
// (modes 1 and 5): the command the next logon runs.
std::wstring ContinuationCommand(const std::wstring& installFolder, const std::wstring& setNameUI, DWORD mode);

// The key of HKEY_LOCAL_MACHINE that holds the continuation on this system:
// RunOnce from NT 6 on, Run before.
const wchar_t* ContinuationKey();

// Writes the command as "Tarnex_continue_UI" under the continuation key
// (REG_SZ without a terminator); 1 when written.
int WriteContinuationEntry(const std::wstring& command);

// Deletes "Tarnex_continue_UI" from both keys whether or not it exists.
void DeleteContinuationEntry();

// A continuation keeps an entry of its own while it runs: the command it was
// started with, written again, so that one cut off (the power gone, the
// process ended) runs again at the next logon. Its steps may run twice.
void HoldContinuationEntry();
// The continuation has ended (completed or given up by the user): the entry
// it held goes. Nothing when it holds none, so a new entry written after it
// for a further restart stays.
void ReleaseContinuationEntry();

// Enables the shutdown privilege and asks for a restart; 1 when requested,
// 0 when the privilege cannot be enabled.
int RestartWindows();

}  // namespace tarnex
