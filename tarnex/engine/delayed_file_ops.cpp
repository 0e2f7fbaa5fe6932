#include "engine/delayed_file_ops.h"

#include <windows.h>

#include <atomic>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "description/folded_name.h"
#include "engine/portable/busy_file_wait.h"
#include "engine/portable/pending_rename_rule.h"
#include "engine/rename_into_free_place.h"
#include "portable/path_guard.h"
#include "services/app_context.h"
#include "services/setup_log.h"
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

// What the run has waited for busy files so far, in milliseconds.
std::atomic<unsigned> runBusyWaitMs{0};

// The file is held by another process, not merely read-only.
bool Busy(DWORD error, const std::wstring& path) {
    if (!IsBusyError(error)) return false;
    if (error != ERROR_ACCESS_DENIED) return true;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Tries the operation again while another process holds the file, with the
// pauses of the busy-file rule. The operation returns 0 or the error that
// stopped it; the last error is left for the caller.
template <typename Operation>
DWORD RetryWhileBusy(const std::wstring& path, Operation operation) {
    unsigned waited = 0;
    for (unsigned attempt = 0;; ++attempt) {
        const DWORD error = operation();
        if (error == 0 && waited != 0)
            WriteLog(L"File was busy, done after waiting " + std::to_wstring(waited) + L" ms: " + path + L"\r\n");
        if (error == 0 || !Busy(error, path)) return error;
        const unsigned pause = NextBusyPause(attempt, waited, runBusyWaitMs.load());
        if (pause == 0) return error;
        ::Sleep(pause);
        waited += pause;
        runBusyWaitMs += pause;
    }
}

DWORD DeleteNow(const std::wstring& path) {
    // Attributes are cleared only for a file that refuses (a read-only one):
    // under Wine each extra call on a file is a trip through its server.
    if (::DeleteFileW(path.c_str())) return 0;
    if (::GetLastError() == ERROR_ACCESS_DENIED && ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) &&
        ::DeleteFileW(path.c_str()))
        return 0;
    return ::GetLastError();
}

DWORD ReplaceNow(const std::wstring& finalPath, const std::wstring& temporaryPath) {
    const bool deleted = ::DeleteFileW(finalPath.c_str()) != 0;
    const DWORD deleteError = deleted ? 0 : ::GetLastError();
    if (::MoveFileW(temporaryPath.c_str(), finalPath.c_str())) return 0;
    const DWORD moveError = ::GetLastError();
    // The rename met the old file that could not be deleted: its error is the
    // one that tells whether waiting helps.
    if (moveError == ERROR_ALREADY_EXISTS && Busy(deleteError, finalPath)) return deleteError;
    return moveError;
}

}  // namespace

void StartBusyFileWaits() { runBusyWaitMs = 0; }

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
    const DWORD error = RetryWhileBusy(path, [&path] { return DeleteNow(path); });
    if (error == 0 || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    if (PendingRenameQuery(path, L"", false) & kQueueDeletion) QueueDeletion(path);
    SetRestartNeeded();
}

bool RemoveEmptyFolder(const std::wstring& folder) {
    return RetryWhileBusy(folder, [&folder] { return ::RemoveDirectoryW(folder.c_str()) ? 0 : ::GetLastError(); }) == 0;
}

void ReplaceOrDefer(const std::wstring& finalPath, const std::wstring& temporaryPath) {
    if (RetryWhileBusy(finalPath, [&] { return ReplaceNow(finalPath, temporaryPath); }) == 0) return;
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

void ReplaceExtractedFile(const FileRecord& record, bool quickRenameTried) {
    if (!FileAccepted(record)) return;
    const std::wstring finalPath = InstalledPathOf(record);
    const std::wstring temporaryPath = TemporaryPathOf(record);
    if (App().Nt5Family && IsAtlDll(record.TargetName)) {
        ::DeleteFileW(temporaryPath.c_str());
        return;
    }
    if (!quickRenameTried && RenameIntoFreePlace(temporaryPath, finalPath, record.PlaceFree != 0) != QuickRename::NotTried)
        return;
    if (!FileExists(temporaryPath)) return;
    ReplaceOrDefer(finalPath, temporaryPath);
}

std::vector<std::uint8_t> QuickRenameCandidates(const SetupDescription& description) {
    const std::vector<FileRecord>& files = description.FileList;
    std::vector<std::uint8_t> candidates(files.size(), 0);
    std::unordered_map<std::wstring, std::size_t> records;  // final path -> records of it
    std::vector<std::wstring> finals(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileRecord& record = files[i];
        if (!record.Extracted || !FileAccepted(record)) continue;
        if (App().Nt5Family && IsAtlDll(record.TargetName)) continue;
        finals[i] = FoldedName(InstalledPathOf(record));
        ++records[finals[i]];
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!finals[i].empty() && records[finals[i]] == 1) candidates[i] = 1;
    return candidates;
}

void QuickRenameSlice(const SetupDescription& description, const std::vector<std::uint8_t>& candidates,
                      std::size_t first, std::size_t last, std::vector<std::uint8_t>& settled) {
    // Each record is taken by one thread only; settled has a byte of its own
    // for each.
    std::atomic<std::size_t> next{first};
    auto work = [&] {
        for (std::size_t i = next++; i < last; i = next++) {
            if (!candidates[i]) continue;
            const FileRecord& record = description.FileList[i];
            settled[i] = RenameIntoFreePlace(TemporaryPathOf(record), InstalledPathOf(record), record.PlaceFree != 0) !=
                         QuickRename::NotTried;
        }
    };
    std::thread second;
    try {
        if (last - first > 1) second = std::thread(work);
    } catch (const std::system_error&) {
        // No second thread: this one does the whole slice.
    }
    work();
    if (second.joinable()) second.join();
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
