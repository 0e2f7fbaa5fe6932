// The bitness of a module file, read from its PE header before the module
// is loaded: a process loads libraries of its own bitness only.
#pragma once

#include <string>

namespace tarnex {

// 32 or 64 from the header's machine field; 0 when the file cannot be read,
// is no PE image or names a machine not known here.
unsigned ModuleBits(const std::wstring& path);

// The bitness of this program.
constexpr unsigned OwnBits() { return static_cast<unsigned>(sizeof(void*) * 8); }

}  // namespace tarnex
