// A program run to its end from a test: a helper, the test program again, a system tool.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "vrel/program_start.h"

namespace testsupport {

// Runs program (a full path) with arguments in folder (this process's when
// empty): its exit code, or nothing when it did not start or end in time.
inline std::optional<DWORD> RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                                       const std::wstring& folder = L"") {
    const vrel::StartedProgram started =
        vrel::StartProgram(program, L"\"" + program + L"\" " + arguments, folder, 0, SW_SHOWNORMAL);
    DWORD code = 0;
    if (!started || ::WaitForSingleObject(started.process.get(), timeoutMs) != WAIT_OBJECT_0 || !started.ExitCode(code))
        return std::nullopt;
    return code;
}

}  // namespace testsupport
