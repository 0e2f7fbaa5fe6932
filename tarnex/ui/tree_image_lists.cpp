#include "ui/tree_image_lists.h"

#include "ui/common_controls.h"
#include "ui/component_page_ids.h"
#include "ui/dpi.h"

namespace tarnex {
namespace {

struct Strip {
    int size;
    int treeBitmap;
    int checkBitmap;
};
// Drawn, not stretched: a stretched 16-pixel image blurs on a large screen.
constexpr Strip kStrips[] = {{16, IDB_TREE_IMAGES, IDB_CHECK_IMAGES},
                             {24, IDB_TREE_IMAGES_24, IDB_CHECK_IMAGES_24},
                             {32, IDB_TREE_IMAGES_32, IDB_CHECK_IMAGES_32}};

const Strip& StripFor(UINT dpi) {
    const int sizes[] = {kStrips[0].size, kStrips[1].size, kStrips[2].size};
    const int size = ChooseImageSize(16, dpi, sizes, 3);
    for (const Strip& strip : kStrips)
        if (strip.size == size) return strip;
    return kStrips[0];
}

unique_imagelist LoadStrip(HINSTANCE instance, int bitmapId, int size, int count) {
    const CommonControlsApi& controls = CommonControls();
    if (!controls.Loaded()) return {};
    unique_imagelist list(controls.ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, count, 0));
    vrel::unique_gdiobj strip(::LoadBitmapW(instance, MAKEINTRESOURCEW(bitmapId)));
    if (!list || !strip) return {};
    // AddMasked cuts the strip into as many images of the list's size as it holds.
    controls.ImageList_AddMasked(list.get(), static_cast<HBITMAP>(strip.get()), kTreeImageMask);
    if (controls.ImageList_GetImageCount(list.get()) < count) return {};
    return list;
}

}  // namespace

int TreeImageSize(UINT dpi) { return StripFor(dpi).size; }

unique_imagelist LoadTreeImages(HINSTANCE instance, UINT dpi) {
    const Strip& strip = StripFor(dpi);
    unique_imagelist list = LoadStrip(instance, strip.treeBitmap, strip.size, kTreeImageCount);
    if (list && !CommonControls().ImageList_SetOverlayImage(list.get(), kLockImage, kLockOverlay)) return {};
    return list;
}

unique_imagelist LoadCheckImages(HINSTANCE instance, UINT dpi) {
    const Strip& strip = StripFor(dpi);
    return LoadStrip(instance, strip.checkBitmap, strip.size, kCheckImageCount);
}

}  // namespace tarnex
