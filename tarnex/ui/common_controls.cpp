#include "ui/common_controls.h"

#include "vrel/module_exports.h"

namespace tarnex {

const CommonControlsApi& CommonControls() {
    static const CommonControlsApi api = [] {
        CommonControlsApi found;
        // Named without a folder on purpose, and still found by no search:
        // the program's manifest names Microsoft.Windows.Common-Controls 6,
        // so the loader takes the library from the side-by-side store
        // (WinSxS) before it would search at all. Should that store be
        // missing, the search RestrictLibrarySearch left is the system folder
        // alone. Its full path in the system folder would give version 5.
        const HMODULE m = ::LoadLibraryW(L"comctl32.dll");
        const bool all = vrel::BindAll(m, "InitCommonControlsEx", found.InitCommonControlsEx, "ImageList_Create",
                                       found.ImageList_Create, "ImageList_AddMasked", found.ImageList_AddMasked,
                                       "ImageList_GetImageCount", found.ImageList_GetImageCount,
                                       "ImageList_SetOverlayImage", found.ImageList_SetOverlayImage,
                                       "ImageList_Destroy", found.ImageList_Destroy);
        if (!all) return CommonControlsApi{};
        // The classes that the wizard's and the replace question's templates name.
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
        found.InitCommonControlsEx(&classes);
        return found;
    }();
    return api;
}

}  // namespace tarnex
