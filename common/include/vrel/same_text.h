// Texts the file system and the registry compare without letter case: the
// system's ordinal comparison, the same for every language of Windows.
#pragma once

#include <windows.h>

#include <string_view>

namespace vrel {

inline bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}

}  // namespace vrel
