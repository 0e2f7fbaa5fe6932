// Names from a package that are joined to a folder must stay inside it.
#pragma once

#include <string_view>

namespace tarnex {

// True for a relative path below its folder: not empty, no drive letter or
// other ":" (also refuses alternate data streams), no leading "\" or "/", no
// "." or ".." component, and no component that names a device (CON, NUL,
// COM1, ...). Both separators count.
bool StaysInsideFolder(std::wstring_view name);

// True when Windows takes the name as a device rather than a file: CON, PRN,
// AUX, NUL, COM0-9, LPT0-9, CONIN$ or CONOUT$, in any letter case, also with
// an extension or trailing blanks ("nul.txt", "COM1 ").
bool NamesDevice(std::wstring_view component);

}  // namespace tarnex
