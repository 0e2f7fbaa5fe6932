// Free disk space and sizes as the pages show them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// winbase.h still defines GetFreeSpace, a leftover of 16-bit Windows.
#undef GetFreeSpace

namespace tarnex {

// Bytes available to the caller on the volume of rootPath ("C:\"); -1 when
// the system cannot tell.
std::int64_t GetFreeSpace(const std::wstring& rootPath);

// "1.500 Мбайт", "1023 байт": Gbytes, Mbytes and Kbytes with three decimals,
// smaller sizes as a whole number (strings 13 to 16).
std::wstring FormatSize(std::int64_t bytes);

}  // namespace tarnex
