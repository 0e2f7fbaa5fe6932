// The setup log "VrelTARNEX.log" in the Windows folder: UTF-16LE without a
// byte-order mark, one time-stamped entry per call, shared by all runs.
#pragma once

#include <windows.h>

#include <string>

namespace tarnex {

// Appends "[dd.mm.yyyy hh:mm:ss]: text\r\n". Returns 1 when written; 0 when
// the file cannot be opened (the text kLogCannotOpen is shown, the caller goes on).
int WriteLog(const std::wstring& text);

// printf-style ("%s" takes a const wchar_t*).
int WriteLogF(const wchar_t* format, ...);

// This run's own log ("/log="): from here on every entry also goes to path,
// in UTF-8, with the same time stamp, so a deployment tool can collect one
// file per machine and run. The file is created or replaced; false when it
// cannot be (then no entry goes there).
bool StartRunLog(const std::wstring& path);

// At start-up: deletes the log when it is larger than 1 MiB.
void TrimLog();

// The log's full path: WindowsFolder + "VrelTARNEX.log".
std::wstring LogPath();

// The entry for a text at a given local time (without writing it).
std::wstring FormatLogEntry(const SYSTEMTIME& time, const std::wstring& text);

}  // namespace tarnex
