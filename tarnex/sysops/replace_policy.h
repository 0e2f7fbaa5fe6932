// Whether a wanted file may overwrite the file already at its target: by
// version, then by time, then by the user's sticky answer.
#pragma once

#include <windows.h>

#include <string>

#include "portable/section_records.h"

namespace tarnex {

// The process-wide sticky answer of the replace dialog: 1 at program start.
int& StickyReplaceAnswer();

// "a.b.c.d" of the file's fixed version; "" without a version resource.
std::wstring FileVersionText(const std::wstring& path);

// True when the file is to be written (always for a target that does not
// exist). Sets record.KeepExisting when the user kept the existing file.
bool MayReplaceExisting(FileRecord& record, HWND owner);

}  // namespace tarnex
