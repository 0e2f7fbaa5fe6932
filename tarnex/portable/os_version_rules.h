// Which operating systems a package accepts: the mapping of a reported
// system version to the description's OS code, the service-pack rule, and
// the system's name for the log. Plain rules, no Windows call.
//
// The description's OSVersions and OSServicePacks hold one token per code
// from 2 on (token i is code i + 2). The first seven name the systems of the
// original table (95 to XP); the seven after them name the NT systems that
// came later. A description with seven tokens reads 0 for the rest, so it
// accepts none of the later systems, as before they were listed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnex {

// Platform identifiers as the system reports them.
inline constexpr std::uint32_t kPlatformWin32s = 0;
inline constexpr std::uint32_t kPlatformWindows9x = 1;
inline constexpr std::uint32_t kPlatformNt = 2;

// Tokens of OSVersions / OSServicePacks: codes 2 to 15.
inline constexpr std::size_t kOsTokenCount = 14;
// The tokens that a description of the original table has (95 to XP).
inline constexpr std::size_t kOriginalOsTokenCount = 7;

// Codes of the NT systems after XP.
inline constexpr int kOsServer2003 = 9;   // 5.2: Server 2003, XP x64
inline constexpr int kOsVista = 10;       // 6.0: Vista, Server 2008
inline constexpr int kOsWindows7 = 11;    // 6.1: 7, Server 2008 R2
inline constexpr int kOsWindows8 = 12;    // 6.2: 8, Server 2012
inline constexpr int kOsWindows81 = 13;   // 6.3: 8.1, Server 2012 R2
inline constexpr int kOsWindows10 = 14;   // 10.0 below build 22000: 10, Server 2016 to 2022
inline constexpr int kOsWindows11 = 15;   // 10.0 from build 22000: 11, Server 2025
inline constexpr int kOsLastCode = kOsWindows11;
inline constexpr std::uint32_t kWindows11FirstBuild = 22000;

struct ReportedVersion {
    std::uint32_t Platform = kPlatformNt;
    std::uint32_t Major = 0;
    std::uint32_t Minor = 0;
    std::uint32_t Build = 0;
    bool Server = false;       // a server edition (product type not workstation)
    std::wstring ServicePack;  // e.g. "Service Pack 3"; may be empty
};

// 1 Win32s, 2 Windows 95, 3 Windows 98, 4 Windows Me, 5 NT 3.51, 6 NT 4.0,
// 7 Windows 2000, 8 Windows XP, then 9 to 15 as above; 0 for anything else.
// An NT system from 5.2 on takes the code of the newest row it has reached,
// so a system newer than the table is judged by its last row.
int OsVersionCode(const ReportedVersion& version);

// Windows 2000, XP and Server 2003 / XP x64 (codes 7 to 9): the delayed file
// operations leave "atl.dll" alone there.
bool IsNt5Family(int code);

// The description's check: the system's token (index code - 2) must be
// non-zero in osVersions; its least service pack, when not 0, is compared
// with the number after the last blank of the service-pack text (no blank:
// accepted). Codes 0 and 1 are never accepted.
int AcceptsOsVersion(int code, const std::int32_t (&osVersions)[kOsTokenCount],
                     const std::int32_t (&osServicePacks)[kOsTokenCount], const std::wstring& servicePack);

// "Windows 11 (10.0.22631)", "Windows XP (5.1.2600, Service Pack 3)": the
// system as the log names it.
std::wstring SystemName(const ReportedVersion& version);

// The name of a code's row, "Windows 7" or "Windows Server 2008 R2"; empty
// for 0 and codes outside the table.
const wchar_t* OsRowName(int code, bool server);

}  // namespace tarnex
