// UTF-16 <-> ANSI/UTF-8 conversion through the Windows code-page calls.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vrel {

inline std::wstring ToWide(std::string_view text, UINT codePage = CP_ACP) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

inline std::string ToNarrow(std::wstring_view text, UINT codePage = CP_ACP) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                          nullptr);
    return out;
}

// False when the text has characters the code page cannot represent.
inline bool RepresentableIn(std::wstring_view text, UINT codePage) {
    if (text.empty()) return true;
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, &lossy);
    return n > 0 && !lossy;
}

// The setup API's ANSI entry points cannot open paths that fail this.
inline bool RepresentableInAnsi(std::wstring_view text) { return RepresentableIn(text, CP_ACP); }

}  // namespace vrel
