// Free space on the target drive, as the component and summary pages show it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// winbase.h still defines the 16-bit GetFreeSpace(w) as a macro giving a
// constant; it would replace every call of ours.
#undef GetFreeSpace

namespace tarnex {

// Bytes available to this user on the volume of rootPath ("C:\"); -1 when
// the volume cannot be asked (no such drive, no medium).
std::int64_t GetFreeSpace(const wchar_t* rootPath);
inline std::int64_t GetFreeSpace(const std::wstring& rootPath) { return GetFreeSpace(rootPath.c_str()); }

// The size text of the pages with the units of the string table (13 to 16):
// "1.500 Мбайт", "1023 байт".
std::wstring FormatSize(std::int64_t bytes);

}  // namespace tarnex
