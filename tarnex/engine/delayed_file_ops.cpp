#include "engine/delayed_file_ops.h"

#include <windows.h>

#include <vector>

#include "engine/portable/pending_rename_rule.h"
#include "engine/rename_into_free_place.h"
#include "portable/path_guard.h"
#include "run/app_context.h"
#include "run/setup_log.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

// Paths are matched in the ANSI code page, as Windows' ANSI registry view
// hands the value out; a path that does not fit the code page cannot be
// matched and is queued again. Paths are never cut: a cut path could match
// another file's entry and leave this one unqueued.
std::string AnsiPath(const std::wstring& path) { return vrel::ToNarrow(path); }

void SetRestartNeeded() { ::InterlockedExchange(&App().RestartNeeded, 1); }

void QueueDeletion(const std::wstring& path) {
    ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void QueueRename(const std::wstring& from, const std::wstring& to) {
    ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Asked of the exact name, not by a file search: under Wine a search opens
// and reads the folder, about as costly as the rename it comes before.
bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::uint8_t PendingRenameQuery(const std::wstring& finalPath, const std::wstring& temporaryPath, bool renameQuery) {
    vrel::unique_hkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, vrel::ToNarrow(kSessionManagerKey).c_str(), 0, KEY_ALL_ACCESS,
                        key.put()) != ERROR_SUCCESS)
        return kQueueDeletion;
    const std::string valueName = vrel::ToNarrow(kPendingOperationsValue);
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return kQueueDeletion | kQueueRename;
    std::vector<char> data(size);
    if (size == 0 || ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return kQueueDeletion | kQueueRename;
    const std::string_view text(data.data(), size < data.size() ? size : data.size());
    return MatchPendingOperations(text, AnsiPath(finalPath), AnsiPath(temporaryPath), renameQuery);
}

void DeleteOrDefer(const std::wstring& path) {
    // Attributes are cleared only for a file that refuses (a read-only one):
    // under Wine each extra call on a file is a trip through its server.
    if (::DeleteFileW(path.c_str())) return;
    if (::GetLastError() == ERROR_ACCESS_DENIED && ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) &&
        ::DeleteFileW(path.c_str()))
        return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    if (PendingRenameQuery(path, L"", false) & kQueueDeletion) QueueDeletion(path);
    SetRestartNeeded();
}

void ReplaceOrDefer(const std::wstring& finalPath, const std::wstring& temporaryPath) {
    ::DeleteFileW(finalPath.c_str());
    if (::MoveFileW(temporaryPath.c_str(), finalPath.c_str())) return;
    const std::uint8_t queue = PendingRenameQuery(finalPath, temporaryPath, true);
    // Windows performs the queue in order: the old file goes before the new
    // one is renamed into its place.
    if (queue & kQueueDeletion) QueueDeletion(finalPath);
    if (queue & kQueueRename) QueueRename(temporaryPath, finalPath);
    SetRestartNeeded();
    WriteLog(L"Don't move file: " + finalPath + L"\r\n");
}

bool IsAtlDll(const wchar_t* targetName) { return ::lstrcmpiW(targetName, L"atl.dll") == 0; }

bool CheckTargetName(const FileRecord& record) {
    if (StaysInsideFolder(record.TargetName)) return true;
    WriteLogF(L"Refused target file outside its folder: %s", record.TargetName);
    return false;
}

void DeleteComponentFiles(SetupDescription& description, const ComponentRecord& component) {
    for (const FileRef ref : component.Files) {
        const FileRecord& record = description.FileOf(ref);
        if (App().Nt5Family && IsAtlDll(record.TargetName)) continue;
        if (record.KeepExisting) continue;
        if (!FileAccepted(record)) continue;
        DeleteOrDefer(InstalledPathOf(record));
    }
}

void DeleteInfCopies(const SetupDescription& description) {
    for (std::size_t i = 1; i < description.InfFiles.size(); ++i) {
        const std::wstring path = InfCopyPath(description, description.InfFiles[i], false);
        if (!path.empty()) DeleteOrDefer(path);
    }
}

void ReplaceExtractedFile(const FileRecord& record) {
    if (!FileAccepted(record)) return;
    const std::wstring finalPath = InstalledPathOf(record);
    const std::wstring temporaryPath = TemporaryPathOf(record);
    if (App().Nt5Family && IsAtlDll(record.TargetName)) {
        ::DeleteFileW(temporaryPath.c_str());
        return;
    }
    const QuickRename quick = RenameIntoFreePlace(temporaryPath, finalPath);
    if (quick != QuickRename::NotTried) return;
    if (!FileExists(temporaryPath)) return;
    ReplaceOrDefer(finalPath, temporaryPath);
}

void ReplaceInfCopies(const SetupDescription& description) {
    for (std::size_t i = 1; i < description.InfFiles.size(); ++i) {
        const std::wstring finalPath = InfCopyPath(description, description.InfFiles[i], false);
        if (!finalPath.empty()) ReplaceOrDefer(finalPath, InfCopyPath(description, description.InfFiles[i], true));
    }
}

void DeleteTemporaryCopies(const SetupDescription& d) {
    for (const FileRecord& file : d.FileList)
        if (FileAccepted(file)) ::DeleteFileW(TemporaryPathOf(file).c_str());
    for (std::size_t i = 1; i < d.InfFiles.size(); ++i) {
        const std::wstring copy = InfCopyPath(d, d.InfFiles[i], true);
        if (!copy.empty()) ::DeleteFileW(copy.c_str());
    }
}

}  // namespace tarnex
