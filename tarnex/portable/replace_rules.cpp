#include "replace_rules.h"

#include <tuple>

namespace tarnex {
namespace {

// Leading decimal digits; anything else reads 0. Saturates instead of
// wrapping so a long run of digits still compares as large.
std::uint64_t LeadingNumber(const std::wstring& text, std::size_t from, std::size_t to) {
    std::uint64_t value = 0;
    for (std::size_t i = from; i < to && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - L'0');
        if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

// Splits at the first three dots: three parts and the rest.
struct VersionParts {
    std::uint64_t part[4] = {};
};
VersionParts Split(const std::wstring& text) {
    VersionParts out;
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        std::size_t dot = text.find(L'.', start);
        if (dot == std::wstring::npos) dot = text.size();
        out.part[i] = LeadingNumber(text, start, dot);
        start = dot < text.size() ? dot + 1 : text.size();
    }
    out.part[3] = LeadingNumber(text, start, text.size());
    return out;
}

}  // namespace

std::wstring FormatFileVersion(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
    return std::to_wstring(mostSignificant >> 16) + L"." + std::to_wstring(mostSignificant & 0xFFFF) + L"." +
           std::to_wstring(leastSignificant >> 16) + L"." + std::to_wstring(leastSignificant & 0xFFFF);
}

int CompareVersionText(const std::wstring& a, const std::wstring& b) {
    if (a.empty() && b.empty()) return 2;
    if (a.empty()) return -1;
    if (b.empty()) return 1;
    if (a == b) return 0;
    const VersionParts pa = Split(a);
    const VersionParts pb = Split(b);
    for (int i = 0; i < 4; ++i) {
        if (pa.part[i] > pb.part[i]) return 1;
        if (pa.part[i] < pb.part[i]) return -1;
    }
    return 0;
}

int CompareStamps(const LocalStamp& a, const LocalStamp& b) {
    const auto ta = std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second, a.millisecond);
    const auto tb = std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second, b.millisecond);
    if (ta < tb) return -1;
    if (tb < ta) return 1;
    return 0;
}

bool WriteWithoutAsking(int versionOrder, const LocalStamp& existing, const LocalStamp& packaged) {
    if (versionOrder == -1) return true;
    if (versionOrder == 0 || versionOrder == 2) return CompareStamps(existing, packaged) <= 0;
    return false;
}

ReplaceOutcome DecideByAnswer(int& sticky, const std::function<int()>& ask) {
    if (sticky == kReplace || sticky == kSkip) sticky = ask();
    ReplaceOutcome out;
    out.keepExisting = sticky == kSkip || sticky == kSkipAll;
    out.write = sticky == kReplace || sticky == kReplaceAll;
    return out;
}

}  // namespace tarnex
