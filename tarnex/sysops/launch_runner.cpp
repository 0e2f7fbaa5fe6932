#include "sysops/launch_runner.h"

#include <string>

#include "description/portable/line_parsers.h"
#include "services/app_context.h"
#include "services/setup_log.h"
#include "vrel/program_start.h"
#include "vrel/system_folder.h"

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

// The program a command line starts, as the description names it: the text
// up to the end of the first occurrence of fileName at or after from,
// without an opening quote; without fileName in it, the line's first word
// (quoted or up to a blank).
std::wstring ProgramOf(const std::wstring& commandLine, const std::wstring& fileName, std::size_t from) {
    const std::size_t at = fileName.empty() ? std::wstring::npos : commandLine.find(fileName, from);
    std::wstring program;
    if (at != std::wstring::npos) {
        program = commandLine.substr(0, at + fileName.size());
    } else if (!commandLine.empty() && commandLine[0] == L'"') {
        program = commandLine.substr(0, commandLine.find(L'"', 1));
    } else {
        program = commandLine.substr(0, commandLine.find_first_of(L" \t"));
    }
    const std::size_t start = program.find_first_not_of(L" \t\"");
    return start == std::wstring::npos ? std::wstring() : program.substr(start);
}

// The full path the program is started by: never found through a search,
// which would look in the installer's folder, the current folder and PATH
// first. A name without a folder ("regedit.exe /s x.reg") is taken from the
// system folder or the Windows folder, where only administrators write.
std::wstring FullProgramPath(const std::wstring& program) {
    if (vrel::IsFullPath(program)) return program;
    if (program.empty() || program.find_first_of(L"\\/:") != std::wstring::npos) return {};
    // Both folders end in a backslash.
    for (const wchar_t* folder : {App().SystemFolder, App().WindowsFolder}) {
        if (folder[0] == L'\0') continue;
        const std::wstring candidate = folder + program;
        const DWORD attributes = ::GetFileAttributesW(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return candidate;
    }
    return {};
}

}  // namespace

DWORD RunLaunchEntry(LaunchEntry& entry) { return RunLaunchEntry(entry, App().ProgramFolder); }

DWORD RunLaunchEntry(LaunchEntry& entry, const std::wstring& packageFolder) {
    std::wstring commandLine = entry.CommandLine;
    std::wstring folder;
    std::size_t programFrom = 0;  // where the description's text starts in commandLine
    if (entry.FromPackage) {
        folder = packageFolder;
        // The record keeps the full command line. A record that already holds
        // it (run before) is not prefixed a second time.
        if (commandLine.compare(0, folder.size(), folder) != 0) commandLine = folder + commandLine;
        programFrom = folder.size();
        if (!CopyWhole(entry.CommandLine, commandLine))
            WriteLogF(L"Command line too long to keep: %s\r\n", commandLine.c_str());
    } else {
        folder = FolderBefore(commandLine, entry.FileName);
    }

    // The application is named apart from the command line, so an unquoted
    // path with a blank ("C:\\Program Files\\App\\tool.exe") cannot start
    // C:\\Program.exe. The line itself gets the quotes its program lacks, so
    // the program reads its own name whole.
    const std::wstring program = FullProgramPath(ProgramOf(commandLine, entry.FileName, programFrom));
    if (program.empty()) {
        WriteLogF(L"Cannot start without a full path: %s\r\n", commandLine.c_str());
        return 0;
    }
    if (commandLine[0] != L'"' && program.find(L' ') != std::wstring::npos &&
        commandLine.compare(0, program.size(), program) == 0)
        commandLine = L"\"" + program + L"\"" + commandLine.substr(program.size());

    const vrel::StartedProgram started = vrel::StartProgram(program, commandLine, folder, CREATE_DEFAULT_ERROR_MODE,
                                                            static_cast<WORD>(entry.Show ? SW_SHOW : SW_HIDE));
    if (!started) {
        WriteLogF(L"Cannot start: %s\r\n", commandLine.c_str());
        return 0;
    }
    if (entry.Wait) started.WaitForEnd();
    DWORD code = 0;
    // Without waiting the program may still run: STILL_ACTIVE (259) counts as success.
    if (entry.UseExitCode && !started.ExitCode(code)) code = 0;
    return code;
}

}  // namespace tarnex
