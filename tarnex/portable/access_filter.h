// Microsoft Access variants of package files: with Access 97 chosen the
// "2000_" files are passed over, with any other choice the "97_" files
// (case-sensitive prefixes).
#pragma once

#include <string_view>

#include "portable/package_facts.h"

namespace tarnex {

inline bool AccessFilterPassesOver(std::wstring_view sourceName, int accessVersion) {
    const std::wstring_view other = accessVersion == 1 ? kAccess2000Prefix : kAccess97Prefix;
    return sourceName.substr(0, other.size()) == other;
}

}  // namespace tarnex
