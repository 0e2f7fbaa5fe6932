#include "description/launch_runner.h"

#include <string>
#include <vector>

#include "description/portable/line_parsers.h"
#include "run/app_context.h"
#include "run/setup_log.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

// The folder in front of the program's name in a command line, without the
// quote that opens a quoted path ("\"C:\\Tools\\x.exe\" /a" gives C:\Tools\).
// Empty when the name does not occur: the program then starts in the
// installer's current folder.
std::wstring FolderBefore(const std::wstring& commandLine, const std::wstring& fileName) {
    if (fileName.empty()) return {};
    const std::size_t at = commandLine.find(fileName);
    if (at == std::wstring::npos) return {};
    std::wstring folder = commandLine.substr(0, at);
    const std::size_t start = folder.find_first_not_of(L" \t\"");
    return start == std::wstring::npos ? std::wstring() : folder.substr(start);
}

}  // namespace

DWORD RunLaunchEntry(LaunchEntry& entry) {
    std::wstring commandLine = entry.CommandLine;
    std::wstring folder;
    if (entry.FromPackage) {
        folder = App().ProgramFolder;
        // The record keeps the full command line. A record that already holds
        // it (run before) is not prefixed a second time.
        if (commandLine.compare(0, folder.size(), folder) != 0) commandLine = folder + commandLine;
        if (!CopyWhole(entry.CommandLine, commandLine))
            WriteLogF(L"Command line too long to keep: %s\r\n", commandLine.c_str());
    } else {
        folder = FolderBefore(commandLine, entry.FileName);
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(entry.Show ? SW_SHOW : SW_HIDE);
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        WriteLogF(L"Cannot start: %s\r\n", commandLine.c_str());
        return 0;
    }
    vrel::unique_handle process(info.hProcess);
    vrel::unique_handle thread(info.hThread);

    if (entry.Wait) ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    // Without waiting the program may still run: STILL_ACTIVE (259) counts as success.
    if (entry.UseExitCode && !::GetExitCodeProcess(process.get(), &code)) code = 0;
    return code;
}

}  // namespace tarnex
