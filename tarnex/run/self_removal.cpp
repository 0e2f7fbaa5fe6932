#include "run/self_removal.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "description/package_paths.h"
#include "run/setup_log.h"
#include "run/text_utils.h"
#include "vrel/module_path.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

// The path as the command interpreter reads it back from the batch file:
// itself when the OEM code page holds it, else its short name (plain ASCII
// where the file system makes short names). A path that has neither stays
// as it is; its line then misses, as the copy stays when the batch fails.
std::wstring BatchPath(const std::wstring& path) {
    if (vrel::RepresentableIn(path, CP_OEMCP)) return path;
    std::wstring shortPath(MAX_PATH, L'\0');
    DWORD n = ::GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (n >= shortPath.size()) {
        shortPath.resize(n);
        n = ::GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    }
    if (n == 0 || n >= shortPath.size()) return path;
    shortPath.resize(n);
    return vrel::RepresentableIn(shortPath, CP_OEMCP) ? shortPath : path;
}

}  // namespace

std::wstring BuildSelfRemovalBatch(const std::wstring& programPath, const SetupDescription& description) {
    const std::size_t slash = programPath.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : programPath.substr(0, slash);
    const std::wstring program = BatchPath(programPath);

    std::wstring text;
    AppendText(text, L":Repeat\r\n");
    AppendText(text, L"del \"" + program + L"\"\r\n");
    if (!description.ComponentList.empty()) {
        for (const FileRef ref : description.ComponentList.front().Files) {
            if (ref >= description.FileList.size()) continue;
            const FileRecord& file = description.FileOf(ref);
            AppendText(text, L"del \"" + BatchPath(InstalledPathOf(file)) + L"\"\r\n");
        }
    }
    AppendText(text, L"if exist \"" + program + L"\" goto Repeat\r\n");
    AppendText(text, L"rmdir \"" + BatchPath(folder) + L"\"\r\n");
    AppendText(text, L"del \"" + std::wstring(kSelfRemovalBatch) + L"\"\r\n");
    return text;
}

void RemoveOwnCopy() { RemoveOwnCopy(vrel::ModulePath(nullptr), Description()); }

void RemoveOwnCopy(const std::wstring& programPath, const SetupDescription& description) {
    vrel::unique_hfile file(::CreateFileW(kSelfRemovalBatch, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return;
    const std::wstring text = BuildSelfRemovalBatch(programPath, description);
    WriteLog(text);
    const std::string oem = vrel::ToNarrow(text, CP_OEMCP);
    DWORD written = 0;
    ::WriteFile(file.get(), oem.data(), static_cast<DWORD>(oem.size()), &written, nullptr);
    file.reset();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> commandLine(kSelfRemovalBatch, kSelfRemovalBatch + wcslen(kSelfRemovalBatch) + 1);
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | IDLE_PRIORITY_CLASS,
                          nullptr, L"\\", &startup, &process))
        return;
    vrel::unique_handle batchProcess(process.hProcess);
    vrel::unique_handle batchThread(process.hThread);

    // The batch must not win the race for the processor: it loops until this
    // program has ended, so this one runs at the highest priority meanwhile.
    ::SetThreadPriority(batchThread.get(), THREAD_PRIORITY_IDLE);
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    batchProcess.reset();
    ::ResumeThread(batchThread.get());
}

}  // namespace tarnex
