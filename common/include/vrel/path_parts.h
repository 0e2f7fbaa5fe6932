// The parts of a Windows path as text; no system calls.
#pragma once

#include <string>

namespace vrel {

// The path up to and including its last backslash ("C:\Tools\x.exe" gives
// "C:\Tools\", "C:\x.exe" gives "C:\"); "" when it has none. A folder named
// so can have a file name put straight after it, and a drive's root stays a
// root, never the drive's current folder ("C:").
inline std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

}  // namespace vrel
