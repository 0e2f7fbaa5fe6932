// Deleting and renaming package files now, or at the next start of Windows
// when they are in use (MOVEFILE_DELAY_UNTIL_REBOOT), never queuing an
// operation twice. Whatever is put off sets RestartNeeded.
#pragma once

#include <cstdint>
#include <string>

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
// called once per record of FileList), then the INF copies.
template <typename Advance>
void ReplaceExtractedFiles(SetupDescription& description, Advance advance);
void ReplaceExtractedFile(const FileRecord& record);
void ReplaceInfCopies(const SetupDescription& description);

template <typename Advance>
void ReplaceExtractedFiles(SetupDescription& description, Advance advance) {
    for (const FileRecord& record : description.FileList) {
        if (record.Extracted) ReplaceExtractedFile(record);
        advance();
    }
}

}  // namespace tarnex
