// The common controls, loaded when first needed rather than imported.
// comctl32.dll imports uxtheme.dll: imported statically, it would be loaded
// while the process starts, before the program restricts the library search,
// and a uxtheme.dll lying beside the installer would run inside it. Loaded
// by name once the search is restricted, the program's manifest still sends
// the loader to version 6 in the side-by-side store, and its imports come
// from the system folder.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace tarnex {

struct CommonControlsApi {
    decltype(&::InitCommonControlsEx) InitCommonControlsEx = nullptr;
    decltype(&::ImageList_Create) ImageList_Create = nullptr;
    decltype(&::ImageList_AddMasked) ImageList_AddMasked = nullptr;
    decltype(&::ImageList_GetImageCount) ImageList_GetImageCount = nullptr;
    decltype(&::ImageList_SetOverlayImage) ImageList_SetOverlayImage = nullptr;
    decltype(&::ImageList_Destroy) ImageList_Destroy = nullptr;

    // All or nothing: false when the library or any function is missing.
    bool Loaded() const { return ImageList_Destroy != nullptr; }
};

// Loaded once for the process, on the first call from any thread, with its
// window classes registered; the library stays loaded until the process ends
// (its window classes are used to the last). Called before a window is made,
// not at the start: a quiet run makes none, and under Wine the library's
// start waits for the desktop process when none is running yet.
const CommonControlsApi& CommonControls();

}  // namespace tarnex
