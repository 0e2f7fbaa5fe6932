#include "portable/text_pieces.h"

#include <climits>

namespace tarnex {

int SplitToken(std::wstring& text, const std::wstring& separator, std::wstring& token) {
    const std::size_t at = separator.empty() ? std::wstring::npos : text.find(separator);
    if (at == std::wstring::npos) {
        token = std::move(text);
        text.clear();
        return 0;
    }
    token.assign(text, 0, at);
    // Only the separator's first character is dropped; callers use one-character separators.
    text.erase(0, at + 1);
    return 1;
}

std::size_t CountOccurrences(const wchar_t* text, const std::wstring& pattern) {
    if (text == nullptr || pattern.empty()) return 0;
    const std::wstring_view view(text);
    std::size_t count = 0;
    for (std::size_t at = view.find(pattern); at != std::wstring_view::npos; at = view.find(pattern, at + pattern.size()))
        ++count;
    return count;
}

int ReplaceAll(const wchar_t* text, const std::wstring& pattern, const std::wstring& replacement, std::wstring& out) {
    if (text == nullptr || pattern.empty()) return 0;
    const std::wstring_view view(text);
    std::wstring result;
    result.reserve(view.size() + (replacement.size() >= pattern.size()
                                      ? (replacement.size() - pattern.size()) * CountOccurrences(text, pattern)
                                      : 0));
    std::size_t from = 0;
    for (std::size_t at = view.find(pattern); at != std::wstring_view::npos; at = view.find(pattern, from)) {
        result.append(view, from, at - from);
        result.append(replacement);
        from = at + pattern.size();
    }
    result.append(view, from, std::wstring_view::npos);
    out = std::move(result);
    return 1;
}

int ReplaceAll(const std::wstring& text, const std::wstring& pattern, const std::wstring& replacement,
               std::wstring& out) {
    return ReplaceAll(text.c_str(), pattern, replacement, out);
}

void AppendText(std::wstring& owned, const std::wstring& addition) { owned += addition; }

std::int32_t ReadInt(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<std::int32_t>(value);
}

}  // namespace tarnex
