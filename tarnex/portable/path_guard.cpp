#include "path_guard.h"

namespace tarnex {

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
        start = end + 1;
    }
    return true;
}

}  // namespace tarnex
