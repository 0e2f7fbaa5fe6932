#include "manifest_text.h"

#include <cstddef>

#include "manifest.h"
#include "portable/name_case.h"

namespace pack {
namespace manifest_text {
namespace {

bool DecodeUtf8(std::string_view bytes, std::wstring& text) {
    text.clear();
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (b < 0x80) cp = b;
        else if (b >= 0xC2 && b <= 0xDF) cp = b & 0x1Fu, extra = 1;
        else if (b >= 0xE0 && b <= 0xEF) cp = b & 0x0Fu, extra = 2;
        else if (b >= 0xF0 && b <= 0xF4) cp = b & 0x07u, extra = 3;
        else return false;
        if (i + extra >= bytes.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0u) != 0x80u) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond Unicode are not text.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FFu)));
        } else {
            text.push_back(static_cast<wchar_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

bool DecodeManifest(std::string_view bytes, std::wstring& text) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0) return false;
        text.clear();
        for (std::size_t i = 2; i < bytes.size(); i += 2)
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return true;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return DecodeUtf8(bytes, text);
}

std::wstring Trim(std::wstring_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && IsBlank(text[a])) ++a;
    while (b > a && IsBlank(text[b - 1])) --b;
    return std::wstring(text.substr(a, b - a));
}

std::vector<std::wstring> SplitFields(const std::wstring& value, std::size_t count) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    while (fields.size() + 1 < count) {
        const std::size_t bar = value.find(L'|', start);
        if (bar == std::wstring::npos) break;
        fields.push_back(Trim(std::wstring_view(value).substr(start, bar - start)));
        start = bar + 1;
    }
    fields.push_back(Trim(std::wstring_view(value).substr(start)));
    fields.resize(count);
    return fields;
}

std::vector<std::wstring> SplitList(const std::wstring& value, const wchar_t* separators) {
    std::vector<std::wstring> items;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find_first_of(separators, start);
        if (end == std::wstring::npos) end = value.size();
        std::wstring item = Trim(std::wstring_view(value).substr(start, end - start));
        if (!item.empty()) items.push_back(std::move(item));
        start = end + 1;
    }
    return items;
}

bool ReadNumber(const std::wstring& text, std::int64_t low, std::int64_t high, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == L'-') negative = true, ++i;
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
        if (v > high + 1) return false;
    }
    value = negative ? -v : v;
    return value >= low && value <= high;
}

}  // namespace manifest_text

bool SameName(std::wstring_view a, std::wstring_view b) { return tarnex::SameFoldedName(a, b); }

std::wstring FoldName(std::wstring_view name) { return tarnex::FoldNameText(name); }

}  // namespace pack
