// The screen's scale for what the wizard places in pixels. Dialog templates
// scale through their font by themselves; the picture strip, the tree's
// images, the mode page's icons and the background window's text are
// measured here against 96 DPI, the scale their sizes are given for.
#pragma once

#include <windows.h>

namespace tarnex {

inline constexpr UINT kBaseDpi = 96;

// The DPI of the monitor the window shows on (Windows 10 1607 and later),
// else that of its device context: the system's DPI on older systems.
UINT WindowDpi(HWND window);

// pixels at 96 DPI, at dpi.
inline int ScaleToDpi(int pixels, UINT dpi) { return ::MulDiv(pixels, static_cast<int>(dpi), kBaseDpi); }

// Of the square image sizes offered (ascending), the smallest that is not
// smaller than base pixels at dpi, else the largest.
int ChooseImageSize(int base, UINT dpi, const int* sizes, int count);

// The font's description with its height scaled from one DPI to another;
// a new font, or null when the font cannot be read.
HFONT RescaleFont(HFONT font, UINT fromDpi, UINT toDpi);

}  // namespace tarnex
