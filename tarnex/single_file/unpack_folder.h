// The folder a single-file package is unpacked into: a new one for every
// run, "Tarnex-" and 16 random hexadecimal digits, in the Temp folder of
// the Windows folder (never the user's %TEMP%, which every program the user
// runs unelevated can write), created with an access list of its own that
// lets only the system and the administrators in.
//
// While a run uses it, the folder is noted in the registry (a value named
// after it under HKLM\SOFTWARE\Tarnex\Unpacked, in the 64-bit view, its data
// the full path) and a lock file in it is held open; a run that was cut off
// leaves the note with no lock held, and the next single-file run removes
// what it left.
#pragma once

#include <string>

#include "vrel/unique_handle.h"

namespace tarnex {

inline constexpr wchar_t kUnpackedFoldersKey[] = L"SOFTWARE\\Tarnex\\Unpacked";
inline constexpr wchar_t kUnpackFolderPrefix[] = L"Tarnex-";
inline constexpr wchar_t kUnpackLockFile[] = L"unpacking.lock";
// Owned by the administrators; full access for the system and the
// administrators, inherited by every file and folder in it; protected, so
// nothing of the Temp folder's list is inherited.
inline constexpr wchar_t kUnpackFolderRights[] = L"O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The folder of this run, removed with everything in it when the owner ends.
class UnpackFolder {
public:
    UnpackFolder() = default;
    ~UnpackFolder() { Remove(); }
    UnpackFolder(const UnpackFolder&) = delete;
    UnpackFolder& operator=(const UnpackFolder&) = delete;

    // Makes the folder, takes its lock and notes it; false (logged) when
    // one of them cannot be done, and nothing of it is left.
    bool Create();
    // The folder's full path with a backslash; "" before Create.
    const std::wstring& Path() const { return path_; }
    // Removes the folder with all it holds: a file still held by a program
    // that has not quite gone is tried again for about two seconds, what
    // stays then is deleted at the next start of Windows. The note goes
    // with the folder; it stays while the folder does, for the next run.
    void Remove();
    // The session ends before the run could remove the folder: everything
    // in it is deleted at the next start of Windows, and the note stays
    // for the next single-file run, should that deletion miss.
    void LeaveToNextStart();

private:
    std::wstring name_;
    std::wstring path_;
    vrel::unique_hfile lock_;
};

// The folders noted by runs that are over (the lock file gone or no longer
// held) are removed, with their notes. A note that names no folder of this
// form in the Windows folder's Temp is only deleted.
void RemoveLeftUnpackFolders();

// The Temp folder of the Windows folder, with a backslash; "" when the
// system does not say where the Windows folder is.
std::wstring SystemTempFolder();

}  // namespace tarnex
