// Deleting and renaming package files now, or at the next start of Windows
// when they are in use (MOVEFILE_DELAY_UNTIL_REBOOT), never queuing an
// operation twice. Whatever is put off sets RestartNeeded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "description/package_paths.h"
#include "description/setup_description.h"

namespace tarnex {

inline constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr wchar_t kPendingOperationsValue[] = L"PendingFileRenameOperations";

// What is still to be queued (kQueueDeletion, kQueueRename): 1 when the
// Session Manager key cannot be opened, 3 when the value is missing.
// temporaryPath is empty for a deletion query (renameQuery false).
std::uint8_t PendingRenameQuery(const std::wstring& finalPath, const std::wstring& temporaryPath, bool renameQuery);

// A new run's waits for busy files start from nothing (the bound of the
// waits a whole run may spend).
void StartBusyFileWaits();

// Deletes the file (attributes cleared first when it refuses) or queues its
// deletion; a file held by another process is tried again for a moment
// first.
void DeleteOrDefer(const std::wstring& path);

// Removes the folder when it is empty, tried again for a moment while
// another process holds it (the console of a helper program that has just
// ended keeps the folder it ran in as its current one). False when it stays.
bool RemoveEmptyFolder(const std::wstring& folder);

// Puts the temporary copy in place (tried again for a moment while either
// file is held by another process), or queues the deletion of the final
// file and the rename; logs "Don't move file: " with the final path then.
void ReplaceOrDefer(const std::wstring& finalPath, const std::wstring& temporaryPath);

// "atl.dll" in any letter case: never deleted, replaced or unregistered on
// Windows 2000 and XP, registered before every other library.
bool IsAtlDll(const wchar_t* targetName);

// FileAccepted (description/package_paths.h), logging a TargetName that
// would leave its folder; step 1 asks once per run and record.
bool CheckTargetName(const FileRecord& record);

// Step 5: the component's files, except "atl.dll" on Nt5Family and files
// whose existing version the user kept.
void DeleteComponentFiles(SetupDescription& description, const ComponentRecord& component);

// The INF copies (InfCopyPath, description/package_paths.h) of the user INF
// files.
void DeleteInfCopies(const SetupDescription& description);

// Every temporary copy step 3 may have written: each file's "vrel_" copy
// beside its target, and the INF copies' (a cancelled step 3, and the
// removal of an installation that was cut off).
void DeleteTemporaryCopies(const SetupDescription& description);

// Step 9: every extracted file's temporary copy put in place (advance is
// called once per record of FileList), then the INF copies. The common case,
// a copy renamed into a free place, is done a slice of the list at a time on
// two threads, since most of its time is Wine's name lookups on the
// program's side; the rest of each slice follows in the list's order, so
// its log lines and deferrals keep that order.
template <typename Advance>
void ReplaceExtractedFiles(SetupDescription& description, Advance advance);
void ReplaceExtractedFile(const FileRecord& record, bool quickRenameTried);
void ReplaceInfCopies(const SetupDescription& description);

inline constexpr std::size_t kQuickRenameSlice = 256;

// The records whose copy may go the quick way in any order: extracted,
// accepted, not "atl.dll" kept on Nt5Family, and alone in their final path
// (two records of one path keep the list's order).
std::vector<std::uint8_t> QuickRenameCandidates(const SetupDescription& description);
// Tries the quick rename of the candidates among records [first, last);
// settled[i] becomes 1 for each that needs nothing more.
void QuickRenameSlice(const SetupDescription& description, const std::vector<std::uint8_t>& candidates,
                      std::size_t first, std::size_t last, std::vector<std::uint8_t>& settled);

template <typename Advance>
void ReplaceExtractedFiles(SetupDescription& description, Advance advance) {
    const std::size_t count = description.FileList.size();
    const std::vector<std::uint8_t> candidates = QuickRenameCandidates(description);
    std::vector<std::uint8_t> settled(count, 0);
    for (std::size_t first = 0; first < count; first += kQuickRenameSlice) {
        const std::size_t last = std::min(count, first + kQuickRenameSlice);
        QuickRenameSlice(description, candidates, first, last, settled);
        for (std::size_t i = first; i < last; ++i) {
            const FileRecord& record = description.FileList[i];
            if (record.Extracted && !settled[i]) ReplaceExtractedFile(record, candidates[i] != 0);
            advance();
        }
    }
}

}  // namespace tarnex
