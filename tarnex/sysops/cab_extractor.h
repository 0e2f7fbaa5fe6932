// File transfer of step 3: loose files and INF files copied into place, the
// package's cabinets extracted, every file under its temporary "vrel_" name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

#include "description/package_paths.h"
#include "description/setup_description.h"
#include "services/message_box.h"
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
    // Hashes the cabinets for the seal when the package is sealed.
    explicit CabExtractor(SetupDescription& description);
    CabExtractor(SetupDescription& description, bool hashCabinets);
    CabExtractor(const CabExtractor&) = delete;
    CabExtractor& operator=(const CabExtractor&) = delete;

    // False after a copy failure (kFileCannotCopy) or a cancel.
    bool CopyLooseFiles();
    // False only when the decoder context cannot be set up; other failures
    // (kCabinetCannotUnpack, kPackageChanged) set the cancel flag.
    bool ExtractCabinet(const std::wstring& cabinetPath);
    // What stopped the transfer, once, for the engine to tell: the extractor
    // tells nobody itself.
    std::optional<Failure> TakeFailure() { return std::exchange(failure_, std::nullopt); }

    // The windows of the run: the owner of the replace dialog, and the
    // window told of each file handled (either may be none).
    void SetWindows(HWND owner, HWND progressWindow) {
        owner_ = owner;
        progressWindow_ = progressWindow;
    }

    // Interlocked: set here on failure and by the user interface.
    void SetCancel() { ::InterlockedExchange(&cancel_, 1); }
    bool Cancelled() const { return cancel_ != 0; }

    // The pause hand-over. The user interface requests a pause, waits for
    // PauseReachedEvent (the worker stopped at a safe point) and resumes the
    // worker; the worker hands over at each safe point while one is asked.
    void RequestPause() { ::InterlockedExchange(&pause_, 1); }
    void WithdrawPause() { ::InterlockedExchange(&pause_, 0); }
    bool PauseRequested() const { return pause_ != 0; }
    HANDLE PauseReachedEvent() const { return pauseReached_.get(); }
    void ResumeFromPause() { ::SetEvent(pauseAnswered_.get()); }
    // Signals PauseReached and waits for the resume in one call.
    void PauseHandOver();

    // The cabinet whose bytes differ from the seal's, or empty. The copy
    // then stops as cancelled (failing with kPackageChanged).
    const std::wstring& ChangedFile() const { return changedFile_; }
    void NoteChangedFile(std::wstring name) { changedFile_ = std::move(name); }
    // The decoder context lives only during ExtractCabinet.
    bool DecoderOpen() const { return decoder_ != nullptr; }


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
    std::unique_ptr<CabDecoder> decoder_;
    CabError error_;
    volatile LONG cancel_ = 0;
    vrel::unique_handle pauseReached_;   // auto-reset: the worker stopped at a safe point
    vrel::unique_handle pauseAnswered_;  // auto-reset: the user interface answered
    volatile LONG pause_ = 0;
    HWND owner_ = nullptr;
    std::optional<Failure> failure_;
    HWND progressWindow_ = nullptr;
    std::wstring changedFile_;
    // Whether the cabinets are hashed as they are read, for the seal: a
    // package without one takes them as they are.
    const bool hashCabinets_;
    // Folded TargetFolder of every folder this transfer had to create:
    // nothing stood in them before it, so their files skip the replace check
    // (under Wine a look at a name that is not there reads the whole folder).
    std::unordered_set<std::wstring> createdFolders_;
};

}  // namespace tarnex
