// The "Замена файла" dialog (template 130) and the seam through which tests
// answer it instead of a person.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
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

// Returns 1 replace, 2 skip, 3 replace all, 4 skip all.
using ReplaceAnswerer = std::function<int(const ReplaceQuestion&)>;

// Replaces the answerer; an empty one restores the real dialog.
void SetReplaceAnswerer(ReplaceAnswerer answerer);

// Modal over the owner; -2 without an owner (nothing is shown).
int ShowReplaceDialog(const ReplaceQuestion& question);

// One line of the dialog: the text kReplaceFileLine with the size, the stamp
// ("%.2d.%.2d.%d %.2d:%.2d:%.2d") and the version text.
std::wstring ReplaceDialogLine(std::uint64_t size, const FileStamp& time, const std::wstring& version);

}  // namespace tarnex
