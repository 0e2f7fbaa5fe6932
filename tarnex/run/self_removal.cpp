#include "run/self_removal.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "run/setup_log.h"
#include "run/text_utils.h"
#include "vrel/module_path.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {

std::wstring BuildSelfRemovalBatch(const std::wstring& programPath, const SetupDescription& description) {
    const std::size_t slash = programPath.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : programPath.substr(0, slash);

    std::wstring text;
    AppendText(text, L":Repeat\r\n");
    AppendText(text, L"del \"" + programPath + L"\"\r\n");
    if (!description.ComponentList.empty()) {
        for (const FileRef ref : description.ComponentList.front().Files) {
            if (ref >= description.FileList.size()) continue;
            const FileRecord& file = description.FileOf(ref);
            AppendText(text, L"del \"" + std::wstring(file.TargetFolder) + file.TargetName + L"\"\r\n");
        }
    }
    AppendText(text, L"if exist \"" + programPath + L"\" goto Repeat\r\n");
    AppendText(text, L"rmdir \"" + folder + L"\"\r\n");
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
    const std::string ansi = vrel::ToNarrow(text);
    DWORD written = 0;
    ::WriteFile(file.get(), ansi.data(), static_cast<DWORD>(ansi.size()), &written, nullptr);
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
