#include "ui/dpi.h"

#include "vrel/module_exports.h"

namespace tarnex {

UINT WindowDpi(HWND window) {
    // Looked up, not imported: Windows before 10 has no such function, and
    // the installer must start there too. user32 is loaded already.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        vrel::Export<GetDpiForWindowFunction>(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr)
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    HDC dc = ::GetDC(window);
    const int dpi = dc != nullptr ? ::GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != nullptr) ::ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

int ChooseImageSize(int base, UINT dpi, const int* sizes, int count) {
    const int wanted = ScaleToDpi(base, dpi);
    for (int i = 0; i < count; ++i)
        if (sizes[i] >= wanted) return sizes[i];
    return sizes[count - 1];
}

HFONT RescaleFont(HFONT font, UINT fromDpi, UINT toDpi) {
    LOGFONTW description{};
    if (font == nullptr || fromDpi == 0 || ::GetObjectW(font, sizeof description, &description) == 0) return nullptr;
    description.lfHeight = ::MulDiv(description.lfHeight, static_cast<int>(toDpi), static_cast<int>(fromDpi));
    return ::CreateFontIndirectW(&description);
}

}  // namespace tarnex
