// The letter-case rule for names that the packer checks as Windows will
// compare them: ASCII and Cyrillic letters fold to lower case, everything
// else stays as it is. No Windows call, so the packer's rules apply it natively.
#pragma once

#include <string>
#include <string_view>

namespace tarnex {

inline constexpr wchar_t FoldNameChar(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 32);
    if (c >= 0x0410 && c <= 0x042F) return static_cast<wchar_t>(c + 0x20);  // А..Я
    if (c >= 0x0400 && c <= 0x040F) return static_cast<wchar_t>(c + 0x50);  // Ѐ..Џ
    return c;
}

inline bool SameFoldedName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldNameChar(a[i]) != FoldNameChar(b[i])) return false;
    return true;
}

inline std::wstring FoldNameText(std::wstring_view name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) c = FoldNameChar(c);
    return folded;
}

}  // namespace tarnex
