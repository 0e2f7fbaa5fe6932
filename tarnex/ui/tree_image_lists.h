// The component tree's image lists: the level pictures with the lock
// overlay (bitmap 107) and the check images (bitmap 141), 16x16 with the
// strips' mask colour at 96 DPI; at more DPI the strips drawn at 24 or 32
// pixels (bitmaps 151 to 154), whichever suits.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vrel/unique_handle.h>

#include "ui/common_controls.h"

namespace tarnex {

struct ImageListTraits {
    using pointer = HIMAGELIST;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { CommonControls().ImageList_Destroy(h); }
};
using unique_imagelist = vrel::UniqueHandle<ImageListTraits>;

// The images' width and height at dpi: 16, 24 or 32.
int TreeImageSize(UINT dpi);

// The normal list, with image 7 registered as overlay 1; empty when the
// strip gives fewer than eight images.
unique_imagelist LoadTreeImages(HINSTANCE instance, UINT dpi = 96);

// The state list; empty when the strip gives fewer than five images.
unique_imagelist LoadCheckImages(HINSTANCE instance, UINT dpi = 96);

}  // namespace tarnex
