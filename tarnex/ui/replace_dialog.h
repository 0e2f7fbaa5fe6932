// The "Замена файла" dialog (template IDD_REPLACE_FILE), asked through the
// message seam as Question::kReplaceFile.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "description/section_records.h"

namespace tarnex {

struct ReplaceQuestion {
    HWND owner = nullptr;
    std::wstring existingPath;
    std::uint64_t existingSize = 0;
    FileStamp existingTime;  // last write, local time
    std::wstring existingVersion;
    const FileRecord* incoming = nullptr;  // TargetName, Size, Time, FileVersion
};

// Modal over the owner, or answered by the seam's answerer: 1 replace,
// 2 skip, 3 replace all, 4 skip all; -2 without an owner (nothing is asked).
int ShowReplaceDialog(const ReplaceQuestion& question);

// One line of the dialog: the text kReplaceFileLine with the size, the stamp
// ("%.2d.%.2d.%d %.2d:%.2d:%.2d") and the version text.
std::wstring ReplaceDialogLine(std::uint64_t size, const FileStamp& time, const std::wstring& version);

}  // namespace tarnex
