#include "sysops/hidden_process.h"

#include "vrel/program_start.h"

namespace tarnex {

bool RunHiddenAndWait(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder,
                      DWORD creationFlags, DWORD* exitCode) {
    const vrel::StartedProgram started = vrel::StartProgram(program, commandLine, folder, creationFlags, SW_HIDE);
    if (!started) return false;
    started.WaitForEnd();
    if (exitCode && !started.ExitCode(*exitCode)) *exitCode = STILL_ACTIVE;
    return true;
}

}  // namespace tarnex
