#include "run/os_version_rules.h"

#include <cwchar>

namespace tarnex {

int OsVersionCode(const ReportedVersion& v) {
    switch (v.Platform) {
        case kPlatformWin32s:
            return 1;
        case kPlatformWindows9x:
            if (v.Major != 4) return 0;
            if (v.Minor == 0) return 2;
            if (v.Minor == 10) return 3;
            if (v.Minor == 90) return 4;
            return 0;
        case kPlatformNt:
            if (v.Major == 3 && v.Minor == 51) return 5;
            if (v.Major == 4 && v.Minor == 0) return 6;
            if (v.Major == 5 && v.Minor == 0) return 7;
            if (v.Major == 5 && v.Minor == 1) return 8;
            return 0;
        default:
            return 0;
    }
}

bool IsNt5Family(int code) { return code == 7 || code == 8; }

int AcceptsOsVersion(int code, const std::int32_t (&osVersions)[7], const std::int32_t (&osServicePacks)[7],
                     const std::wstring& servicePack) {
    const int i = code - 2;
    if (i < 0 || i > 6 || osVersions[i] == 0) return 0;
    if (osServicePacks[i] == 0) return 1;
    const std::size_t blank = servicePack.rfind(L' ');
    if (blank == std::wstring::npos) return 1;
    // The number after the blank, read as the C library reads it: leading
    // digits, anything else 0.
    const long installed = std::wcstol(servicePack.c_str() + blank + 1, nullptr, 10);
    return installed >= osServicePacks[i] ? 1 : 0;
}

}  // namespace tarnex
