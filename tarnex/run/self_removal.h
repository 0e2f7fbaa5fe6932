// The end of a removal: the installer's copy in the install folder cannot
// delete itself while it runs, so it leaves a batch file in the root of the
// current drive that waits in a loop until the program file can be deleted.
#pragma once

#include <string>
#include <vector>

#include "description/setup_description.h"

namespace tarnex {

inline constexpr wchar_t kSelfRemovalBatch[] = L"\\Tarnex.bat";

// The batch for the program file programPath: delete it, delete component
// 0's files, repeat while the program file is still there, then remove its
// folder and the batch file itself. The command interpreter reads a batch
// file in the OEM code page, and takes a percent sign for a variable: a
// path that code page cannot spell, or that holds a percent sign, is
// written as "%VrelPathN%" instead, its value handed to the interpreter in
// its environment (UTF-16, so any path reads back exactly, on volumes
// without short names too).
struct SelfRemovalBatch {
    std::wstring Text;
    std::vector<std::wstring> Paths;  // the values of VrelPath1, VrelPath2 ...
};
SelfRemovalBatch BuildSelfRemovalBatch(const std::wstring& programPath, const SetupDescription& description);

// Writes the batch (logged with its paths, then in the OEM code page),
// starts it hidden at idle priority with its paths in its environment and
// raises this process so it ends first. Failures are silent: the copy then
// stays.
void RemoveOwnCopy();
void RemoveOwnCopy(const std::wstring& programPath, const SetupDescription& description);

}  // namespace tarnex
