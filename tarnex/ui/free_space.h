// Free space on the target drive, as the component and summary pages show it.
#pragma once

#include <windows.h>

#include <cstdint>

// winbase.h still defines the 16-bit GetFreeSpace(w) as a macro giving a
// constant; it would replace every call of ours.
#undef GetFreeSpace

namespace tarnex {

// Bytes available to this user on the volume of rootPath ("C:\"); -1 when
// the volume cannot be asked (no such drive, no medium).
std::int64_t GetFreeSpace(const wchar_t* rootPath);

}  // namespace tarnex
