// File transfer of step 3: loose files and INF files copied into place, the
// package's cabinets extracted, every file under its temporary "vrel_" name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "description/package_paths.h"
#include "description/setup_description.h"
#include "sysops/cab_decoder.h"
#include "vrel/unique_handle.h"

namespace tarnex {

// Posted to the progress window once per file handled, both parameters 0.
inline constexpr UINT kFileProgressMessage = WM_USER + 5;
// A decoder copy that fails without its error flag is run again at most
// this many times before the cabinet counts as unreadable.
inline constexpr int kMaxCopyRetries = 3;

// The transfer context the install engine owns for the whole run.
class CabExtractor {
public:
    explicit CabExtractor(SetupDescription& description);
    CabExtractor(const CabExtractor&) = delete;
    CabExtractor& operator=(const CabExtractor&) = delete;

    std::unique_ptr<CabDecoder> Decoder;  // open only during ExtractCabinet
    CabError Error;
    volatile LONG Cancel = 0;   // interlocked: set here on failure and by the user interface
    HANDLE Output = nullptr;    // the output of the file being extracted
    vrel::unique_handle PauseReached;   // auto-reset: the worker stopped at a safe point
    vrel::unique_handle PauseAnswered;  // auto-reset: the user interface answered
    volatile LONG Pause = 0;    // set by the user interface
    HWND Owner = nullptr;       // owner of the replace dialog
    HWND ProgressWindow = nullptr;
    // Set when a cabinet read is not the one the package's seal names: the
    // copy then stops as cancelled (the text kPackageChanged shown).
    std::wstring ChangedFile;
    // Whether the cabinets are hashed as they are read, for the seal: a
    // package without one takes them as they are.
    bool HashCabinets;

    // False after a copy failure (the text kFileCannotCopy shown) or a cancel.
    bool CopyLooseFiles();
    // False only when the decoder context cannot be set up; other failures
    // show the text kCabinetCannotUnpack and set the cancel flag.
    bool ExtractCabinet(const std::wstring& cabinetPath);

    void SetCancel() { ::InterlockedExchange(&Cancel, 1); }
    bool Cancelled() const { return Cancel != 0; }
    // Signals PauseReached and waits for PauseAnswered in one call.
    void PauseHandOver();

    // The decoder's notification handler.
    std::intptr_t OnNotification(CabNotification kind, CabNotice& notice);

private:
    // Without its two events the pause hand-over cannot work: then nothing
    // is copied, the text kCabinetCannotUnpack names shownPath, the cancel flag is set and the
    // result is true.
    bool RefusedWithoutEvents(const std::wstring& shownPath);
    // The cabinets the last copy read against the seal; false: refused.
    bool CabinetsMatchSeal();
    std::intptr_t CopyFile(CabNotice& notice);
    bool CloseFile(CabNotice& notice);
    void PostProgress();
    bool SkippedByAccess(const FileRecord& record) const;

    SetupDescription& description_;
    // Folded TargetFolder of every folder this transfer had to create:
    // nothing stood in them before it, so their files skip the replace check
    // (under Wine a look at a name that is not there reads the whole folder).
    std::unordered_set<std::wstring> createdFolders_;
};

}  // namespace tarnex
