#include "ui/common_controls.h"

#include "vrel/system_folder.h"

namespace tarnex {
namespace {

CommonControlsApi Load() {
    CommonControlsApi api;
    // By name, so that the activation context of the manifest applies.
    HMODULE m = ::LoadLibraryW(L"comctl32.dll");
    if (m == nullptr) return api;
    CommonControlsApi found;
    if (vrel::BindFunction(m, "InitCommonControlsEx", found.InitCommonControlsEx) &&
        vrel::BindFunction(m, "ImageList_Create", found.ImageList_Create) &&
        vrel::BindFunction(m, "ImageList_AddMasked", found.ImageList_AddMasked) &&
        vrel::BindFunction(m, "ImageList_GetImageCount", found.ImageList_GetImageCount) &&
        vrel::BindFunction(m, "ImageList_SetOverlayImage", found.ImageList_SetOverlayImage) &&
        vrel::BindFunction(m, "ImageList_Destroy", found.ImageList_Destroy))
        api = found;
    return api;
}

}  // namespace

const CommonControlsApi& CommonControls() {
    static const CommonControlsApi api = Load();
    return api;
}

}  // namespace tarnex
