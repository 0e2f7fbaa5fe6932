// [Package] keys that only signing (--sign) reads.
#include "manifest.h"
#include "manifest_reader.h"

namespace pack::manifest_reading {
namespace {

constexpr std::size_t kMaxServers = 10;
constexpr std::size_t kMaxAddress = 2048;

}  // namespace

void Reader::TimestampServer(int line, const std::wstring& value) {
    std::vector<Located>& servers = m_.package.timestampServers;
    const bool http = value.size() > 7 && SameName(std::wstring_view(value).substr(0, 7), L"http://");
    const bool https = value.size() > 8 && SameName(std::wstring_view(value).substr(0, 8), L"https://");
    if (!http && !https) return Error(line, L"TimestampServer must be an http:// or https:// address");
    if (value.size() > kMaxAddress)
        return Error(line, L"TimestampServer is longer than " + std::to_wstring(kMaxAddress) + L" characters");
    for (const wchar_t c : value)
        if (c <= 0x20 || c >= 0x7F) return Error(line, L"TimestampServer holds a blank or a character outside ASCII");
    if (servers.size() == kMaxServers)
        return Error(line, L"more than " + std::to_wstring(kMaxServers) + L" TimestampServer lines");
    servers.push_back({value, line});
}

}  // namespace pack::manifest_reading
