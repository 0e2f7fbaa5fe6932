#include "run/self_removal.h"

#include <windows.h>
#include <sddl.h>

#include <cwchar>

#include "description/package_paths.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/setup_log.h"
#include "vrel/program_start.h"
#include "vrel/system_folder.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

constexpr wchar_t kPathVariable[] = L"VrelPath";

// The path as the batch file spells it: itself when the OEM code page holds
// it and it has no percent sign, else a reference to a variable that holds
// it. (Measured under Wine: a path outside the OEM code page written in it
// misses, and so does a UTF-8 batch after "chcp 65001"; a variable's value
// reads back exactly.)
std::wstring BatchPath(const std::wstring& path, SelfRemovalBatch& batch) {
    if (path.find(L'%') == std::wstring::npos && vrel::RepresentableIn(path, CP_OEMCP)) return path;
    batch.Paths.push_back(path);
    return L"%" + std::wstring(kPathVariable) + std::to_wstring(batch.Paths.size()) + L"%";
}

constexpr int kEarlierBatchWaits = 50;  // of 100 ms: five seconds
// Tries at removing the folder: about two seconds of them under Wine, and
// one more was all a held folder needed in 60 removals measured.
constexpr int kFolderRemovalTries = 500;

std::wstring FullPathOf(const wchar_t* path) {
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW(path, MAX_PATH, full, nullptr);
    return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(full, n);
}

// Clears the way for a new batch: a file (read-only or not) is deleted, an
// empty folder removed. False when something stays.
bool RemoveExistingBatch(const std::wstring& batch) {
    const DWORD attributes = ::GetFileAttributesW(batch.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ::RemoveDirectoryW(batch.c_str()) != FALSE;
    if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(batch.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(batch.c_str()) != FALSE;
}

// A protected DACL: full access for the administrators and the system only,
// nothing inherited from the drive's root.
class OwnerOnlyRights {
public:
    OwnerOnlyRights() {
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)(A;;FA;;;SY)", SDDL_REVISION_1,
                                                               &descriptor_, nullptr);
    }
    ~OwnerOnlyRights() {
        if (descriptor_ != nullptr) ::LocalFree(descriptor_);
    }
    OwnerOnlyRights(const OwnerOnlyRights&) = delete;
    OwnerOnlyRights& operator=(const OwnerOnlyRights&) = delete;
    PSECURITY_DESCRIPTOR Descriptor() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace

SelfRemovalBatch BuildSelfRemovalBatch(const std::wstring& programPath, const SetupDescription& description) {
    const std::size_t slash = programPath.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : programPath.substr(0, slash);
    SelfRemovalBatch batch;
    const std::wstring program = BatchPath(programPath, batch);

    std::wstring& text = batch.Text;
    AppendText(text, L":Repeat\r\n");
    AppendText(text, L"del \"" + program + L"\"\r\n");
    if (!description.ComponentList.empty()) {
        for (const FileRef ref : description.ComponentList.front().Files) {
            if (ref >= description.FileList.size()) continue;
            const FileRecord& file = description.FileOf(ref);
            AppendText(text, L"del \"" + BatchPath(InstalledPathOf(file), batch) + L"\"\r\n");
        }
    }
    AppendText(text, L"if exist \"" + program + L"\" goto Repeat\r\n");
    // The folder can be held for a moment after the program has gone (Wine
    // lets a process's last handles go after its file): the removal is
    // tried again, a bounded number of times, while the folder is there.
    const std::wstring shownFolder = BatchPath(folder, batch);
    AppendText(text, L"set VrelTries=0\r\n");
    AppendText(text, L":Folder\r\n");
    AppendText(text, L"rmdir \"" + shownFolder + L"\"\r\n");
    AppendText(text, L"if not exist \"" + shownFolder + L"\" goto Done\r\n");
    AppendText(text, L"set /a VrelTries+=1\r\n");
    AppendText(text, L"if %VrelTries% lss " + std::to_wstring(kFolderRemovalTries) + L" goto Folder\r\n");
    AppendText(text, L":Done\r\n");
    AppendText(text, L"del \"" + std::wstring(kSelfRemovalBatch) + L"\"\r\n");
    return batch;
}

void RemoveOwnCopy() { RemoveOwnCopy(App().ProgramPath, Description()); }

void RemoveOwnCopy(const std::wstring& programPath, const SetupDescription& description) {
    // The batch lies at the root of the drive, where every user may make
    // folders (and, on Windows XP, files), and whose inherited rights would
    // let any user change a file made there. What lies there already is
    // removed, never reused: the batch is made anew, and only if nothing took
    // its name meanwhile, with rights for administrators and the system
    // alone, so the interpreter runs exactly what was written.
    const std::wstring batch = FullPathOf(kSelfRemovalBatch);
    const std::wstring interpreter = vrel::SystemFolderFile(L"cmd.exe");
    if (batch.empty() || interpreter.empty()) return;
    // A batch of an earlier removal ends by deleting "\Tarnex.bat": run
    // while it is still on its last lines, it would delete this run's batch
    // instead, and this copy would stay. It is given time to finish first
    // (it runs at idle priority, so a busy machine keeps it waiting).
    for (int i = 0; i < kEarlierBatchWaits && ::GetFileAttributesW(batch.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(100);
    if (!RemoveExistingBatch(batch)) {
        WriteLogF(L"Cannot replace %s: the installer's copy stays\r\n", batch.c_str());
        return;
    }
    const OwnerOnlyRights rights;
    SECURITY_ATTRIBUTES security{sizeof security, rights.Descriptor(), FALSE};
    vrel::unique_hfile file(::CreateFileW(batch.c_str(), GENERIC_WRITE, 0, rights.Descriptor() ? &security : nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return;
    const SelfRemovalBatch removal = BuildSelfRemovalBatch(programPath, description);
    WriteLog(removal.Text);
    // The interpreter inherits this process's environment.
    for (std::size_t i = 0; i < removal.Paths.size(); ++i) {
        const std::wstring name = kPathVariable + std::to_wstring(i + 1);
        WriteLogF(L"%s=%s\r\n", name.c_str(), removal.Paths[i].c_str());
        ::SetEnvironmentVariableW(name.c_str(), removal.Paths[i].c_str());
    }
    const std::string oem = vrel::ToNarrow(removal.Text, CP_OEMCP);
    DWORD written = 0;
    ::WriteFile(file.get(), oem.data(), static_cast<DWORD>(oem.size()), &written, nullptr);
    file.reset();

    // The interpreter of the system folder, by its full path (a cmd.exe in
    // the current folder or a changed ComSpec never serves); /d leaves out
    // the AutoRun commands of the registry, /v:off keeps a "!" in a path's
    // value a plain letter.
    const std::wstring line = L"\"" + interpreter + L"\" /d /v:off /c \"\"" + batch + L"\"\"";
    // This process must not keep the folder the batch removes: a process
    // started from its own folder (a Run entry at the next start, say) has
    // it as its current folder, which Windows does not let go of until the
    // process has gone. It moves to the batch's folder, the drive's root.
    ::SetCurrentDirectoryW(L"\\");
    vrel::StartedProgram started =
        vrel::StartProgram(interpreter, line, L"\\", CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, SW_HIDE);
    if (!started) return;

    // The batch must not win the race for the processor: it loops until this
    // program has ended, so this one runs at the highest priority meanwhile.
    ::SetThreadPriority(started.thread.get(), THREAD_PRIORITY_IDLE);
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    started.process.reset();
    ::ResumeThread(started.thread.get());
}

}  // namespace tarnex
