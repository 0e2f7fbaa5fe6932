#include "portable/os_version_rules.h"

#include <cwchar>

namespace tarnex {
namespace {

struct NtRow {
    std::uint32_t major, minor, build;
    int code;
};

// Newest first: a system takes the first row it has reached.
constexpr NtRow kLaterNtRows[] = {
    {10, 0, kWindows11FirstBuild, kOsWindows11},
    {10, 0, 0, kOsWindows10},
    {6, 3, 0, kOsWindows81},
    {6, 2, 0, kOsWindows8},
    {6, 1, 0, kOsWindows7},
    {6, 0, 0, kOsVista},
    {5, 2, 0, kOsServer2003},
};

bool Reached(const ReportedVersion& v, const NtRow& row) {
    if (v.Major != row.major) return v.Major > row.major;
    if (v.Minor != row.minor) return v.Minor > row.minor;
    return v.Build >= row.build;
}

int NtCode(const ReportedVersion& v) {
    if (v.Major == 3 && v.Minor == 51) return 5;
    if (v.Major == 4 && v.Minor == 0) return 6;
    if (v.Major == 5 && v.Minor == 0) return 7;
    if (v.Major == 5 && v.Minor == 1) return 8;
    for (const NtRow& row : kLaterNtRows)
        if (Reached(v, row)) return row.code;
    return 0;
}

struct RowName {
    const wchar_t* workstation;
    const wchar_t* server;
};

// Codes 1 to 15.
constexpr RowName kRowNames[] = {
    {L"Win32s", L"Win32s"},
    {L"Windows 95", L"Windows 95"},
    {L"Windows 98", L"Windows 98"},
    {L"Windows Me", L"Windows Me"},
    {L"Windows NT 3.51", L"Windows NT 3.51 Server"},
    {L"Windows NT 4.0", L"Windows NT 4.0 Server"},
    {L"Windows 2000", L"Windows 2000 Server"},
    {L"Windows XP", L"Windows XP"},
    {L"Windows XP x64", L"Windows Server 2003"},
    {L"Windows Vista", L"Windows Server 2008"},
    {L"Windows 7", L"Windows Server 2008 R2"},
    {L"Windows 8", L"Windows Server 2012"},
    {L"Windows 8.1", L"Windows Server 2012 R2"},
    {L"Windows 10", L"Windows Server 2016 to 2022"},
    {L"Windows 11", L"Windows Server 2025"},
};

}  // namespace

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
            return NtCode(v);
        default:
            return 0;
    }
}

bool IsNt5Family(int code) { return code == 7 || code == 8 || code == kOsServer2003; }

int AcceptsOsVersion(int code, const std::int32_t (&osVersions)[kOsTokenCount],
                     const std::int32_t (&osServicePacks)[kOsTokenCount], const std::wstring& servicePack) {
    const int i = code - 2;
    if (i < 0 || i >= static_cast<int>(kOsTokenCount) || osVersions[i] == 0) return 0;
    if (osServicePacks[i] == 0) return 1;
    const std::size_t blank = servicePack.rfind(L' ');
    if (blank == std::wstring::npos) return 1;
    // The number after the blank, read as the C library reads it: leading
    // digits, anything else 0.
    const long installed = std::wcstol(servicePack.c_str() + blank + 1, nullptr, 10);
    return installed >= osServicePacks[i] ? 1 : 0;
}

const wchar_t* OsRowName(int code, bool server) {
    if (code < 1 || code > kOsLastCode) return L"";
    const RowName& row = kRowNames[code - 1];
    return server ? row.server : row.workstation;
}

std::wstring SystemName(const ReportedVersion& v) {
    const int code = OsVersionCode(v);
    std::wstring name = code != 0 ? OsRowName(code, v.Server) : L"an unknown Windows";
    // Past the table's last row the system is newer than any name it knows.
    const bool newer = v.Platform == kPlatformNt && v.Major > 10;
    if (newer) name += L" or later";
    name += L" (" + std::to_wstring(v.Major) + L"." + std::to_wstring(v.Minor);
    if (v.Platform == kPlatformNt) name += L"." + std::to_wstring(v.Build);
    if (!v.ServicePack.empty()) name += L", " + v.ServicePack;
    return name + L")";
}

}  // namespace tarnex
