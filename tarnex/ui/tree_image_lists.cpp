#include "ui/tree_image_lists.h"

#include "ui/common_controls.h"
#include "ui/component_page_ids.h"

namespace tarnex {
namespace {

unique_imagelist LoadStrip(HINSTANCE instance, int bitmapId, int count) {
    const CommonControlsApi& controls = CommonControls();
    if (!controls.Loaded()) return {};
    unique_imagelist list(controls.ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, count, 0));
    vrel::unique_gdiobj strip(::LoadBitmapW(instance, MAKEINTRESOURCEW(bitmapId)));
    if (!list || !strip) return {};
    // AddMasked cuts the strip into as many 16-pixel images as it holds.
    controls.ImageList_AddMasked(list.get(), static_cast<HBITMAP>(strip.get()), kTreeImageMask);
    if (controls.ImageList_GetImageCount(list.get()) < count) return {};
    return list;
}

}  // namespace

unique_imagelist LoadTreeImages(HINSTANCE instance) {
    unique_imagelist list = LoadStrip(instance, IDB_TREE_IMAGES, kTreeImageCount);
    if (list && !CommonControls().ImageList_SetOverlayImage(list.get(), kLockImage, kLockOverlay)) return {};
    return list;
}

unique_imagelist LoadCheckImages(HINSTANCE instance) { return LoadStrip(instance, IDB_CHECK_IMAGES, kCheckImageCount); }

}  // namespace tarnex
