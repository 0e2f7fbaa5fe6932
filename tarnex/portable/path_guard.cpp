#include "path_guard.h"

namespace tarnex {
namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool SameLetters(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// The digits Windows accepts after COM and LPT, superscripts included.
bool PortDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3'; }

}  // namespace

bool NamesDevice(std::wstring_view component) {
    // Windows looks at the name before its first dot, without trailing blanks.
    std::wstring_view base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (SameLetters(base, device)) return true;
    return base.size() == 4 && (SameLetters(base.substr(0, 3), L"COM") || SameLetters(base.substr(0, 3), L"LPT")) &&
           PortDigit(base[3]);
}

bool StaysInsideFolder(std::wstring_view name) {
    if (name.empty()) return false;
    if (name.front() == L'\\' || name.front() == L'/') return false;
    if (name.find(L':') != std::wstring_view::npos) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) end = name.size();
        const std::wstring_view part = name.substr(start, end - start);
        if (part == L"." || part == L"..") return false;
        // Windows drops trailing dots and blanks: "..." or ".. " would climb too.
        if (!part.empty() && part.find_first_not_of(L". ") == std::wstring_view::npos) return false;
        // "NUL.txt" in a folder is the device, wherever the folder is.
        if (NamesDevice(part)) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace tarnex
