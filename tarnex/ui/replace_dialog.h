// The "Замена файла" dialog (template IDD_REPLACE_FILE): the window that
// puts the replace question (services/replace_question.h) to a person. The
// wizard installs it as the presenter while it runs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "portable/section_records.h"
#include "services/replace_question.h"

namespace tarnex {


// Modal over the owner: 1 replace, 2 skip, 3 replace all, 4 skip all; a
// dialog that cannot be shown answers 2, a skip of this one file.
int ShowReplaceDialog(const ReplaceQuestion& question);

// One line of the dialog: the text kReplaceFileLine with the size, the stamp
// ("%.2d.%.2d.%d %.2d:%.2d:%.2d") and the version text.
std::wstring ReplaceDialogLine(std::uint64_t size, const FileStamp& time, const std::wstring& version);

}  // namespace tarnex
