// Failures of the automation face carry an English sentence through
// IErrorInfo, so that a script prints the reason and not a bare number.
#pragma once

#include <windows.h>

#include <string>

namespace busvault {

// Sets the thread's error information (source "Vrel.BusvaultStore", the
// automation interface's identifier, `text`) and returns `result`.
HRESULT ReportFailure(HRESULT result, const std::wstring& text);

}  // namespace busvault
