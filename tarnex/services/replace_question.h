// The "Замена файла" question: a file on the disk that the package's copy
// would overwrite. It is asked through the message seam as
// Question::kReplaceFile; the window that shows it to a person belongs to the
// wizard (ui/replace_dialog.h), which installs it as the presenter while it
// runs, so the layers below the wizard ask without knowing the window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "portable/section_records.h"

namespace tarnex {

struct ReplaceQuestion {
    HWND owner = nullptr;
    std::wstring existingPath;
    std::uint64_t existingSize = 0;
    FileStamp existingTime;  // last write, local time
    std::wstring existingVersion;
    const FileRecord* incoming = nullptr;  // TargetName, Size, Time, FileVersion
};

// Shows the question to a person and returns the button pressed.
using ReplacePresenter = int (*)(const ReplaceQuestion&);

// Installs the presenter and returns the one it replaces (none: nobody can
// be shown the question).
ReplacePresenter SetReplacePresenter(ReplacePresenter presenter);

// 1 replace, 2 skip, 3 replace all, 4 skip all (portable/replace_rules.h);
// -2 without an owner (nothing is asked). The seam's answerer answers first;
// without one the presenter shows it, and with no presenter the file is
// skipped, as when a dialog cannot be shown.
int AskReplace(const ReplaceQuestion& question);

}  // namespace tarnex
