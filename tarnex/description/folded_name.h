// Names that INF files and the registry compare without letter case, folded
// to one spelling so that they can key a hash table.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarnex {

inline std::wstring FoldedName(std::wstring_view name) {
    std::wstring folded(name);
    if (!folded.empty()) ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    return folded;
}

}  // namespace tarnex
