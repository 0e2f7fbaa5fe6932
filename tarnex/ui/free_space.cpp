#include "ui/free_space.h"

#include <windows.h>

#include <cwchar>

#include "run/message_box.h"

namespace tarnex {
namespace {

constexpr UINT kStringBytes = 13;
constexpr UINT kStringGbytes = 14;
constexpr UINT kStringMbytes = 15;
constexpr UINT kStringKbytes = 16;

std::wstring Scaled(std::int64_t bytes, std::int64_t unit, UINT suffix) {
    wchar_t number[64] = {};
    std::swprintf(number, 64, L"%3.03f", static_cast<double>(bytes) / static_cast<double>(unit));
    return number + LoadText(suffix);
}

}  // namespace

std::int64_t GetFreeSpace(const std::wstring& rootPath) {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(rootPath.c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<std::int64_t>(available.QuadPart);
}

std::wstring FormatSize(std::int64_t bytes) {
    constexpr std::int64_t kK = 1024, kM = kK * 1024, kG = kM * 1024;
    if (bytes / kG >= 1) return Scaled(bytes, kG, kStringGbytes);
    if (bytes / kM >= 1) return Scaled(bytes, kM, kStringMbytes);
    if (bytes / kK >= 1) return Scaled(bytes, kK, kStringKbytes);
    return std::to_wstring(bytes) + LoadText(kStringBytes);
}

}  // namespace tarnex
