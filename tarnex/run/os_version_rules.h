// Which operating systems a package accepts: the mapping of a reported
// system version to the description's OS code, and the service-pack rule.
// Plain rules, no Windows call.
#pragma once

#include <cstdint>
#include <string>

namespace tarnex {

// Platform identifiers as the system reports them.
inline constexpr std::uint32_t kPlatformWin32s = 0;
inline constexpr std::uint32_t kPlatformWindows9x = 1;
inline constexpr std::uint32_t kPlatformNt = 2;

struct ReportedVersion {
    std::uint32_t Platform = kPlatformNt;
    std::uint32_t Major = 0;
    std::uint32_t Minor = 0;
    std::wstring ServicePack;  // e.g. "Service Pack 3"; may be empty
};

// 1 Win32s, 2 Windows 95, 3 Windows 98, 4 Windows Me, 5 NT 3.51, 6 NT 4.0,
// 7 Windows 2000, 8 Windows XP; 0 for anything else (NT 6 and later too).
int OsVersionCode(const ReportedVersion& version);

// Windows 2000 and XP (codes 7 and 8): the delayed file operations differ.
bool IsNt5Family(int code);

// The description's check: the system's entry (index code - 2) must be
// accepted in osVersions; its least service pack, when not 0, is compared
// with the number after the last blank of the service-pack text (no blank:
// accepted). Codes 0 and 1 are never accepted.
int AcceptsOsVersion(int code, const std::int32_t (&osVersions)[7], const std::int32_t (&osServicePacks)[7],
                     const std::wstring& servicePack);

}  // namespace tarnex
