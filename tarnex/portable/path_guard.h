// Names from a package that are joined to a folder must stay inside it.
#pragma once

#include <string_view>

namespace tarnex {

// True for a relative path below its folder: not empty, no drive letter or
// other ":" (also refuses alternate data streams), no leading "\" or "/", and
// no "." or ".." component. Both separators count.
bool StaysInsideFolder(std::wstring_view name);

}  // namespace tarnex
