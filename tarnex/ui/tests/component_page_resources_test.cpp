// The component page's Windows pieces: the image lists as the page loads
// them (counts, transparent background, lock overlay), template 107, the size
// texts with the string table's units, the free-space query.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <utility>

#include <vrel/unique_handle.h>

#include "services/message_box.h"
#include "ui/component_page_ids.h"
#include "ui/free_space.h"
#include "ui/portable/component_tree.h"
#include "ui/portable/size_text.h"
#include "ui/tree_image_lists.h"

namespace tarnex {
namespace {

HINSTANCE Self() { return ::GetModuleHandleW(nullptr); }

// One image drawn over magenta into a 16x16 DIB, read back pixel by pixel.
class Canvas {
public:
    Canvas() : dc_(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 16;
        info.bmiHeader.biHeight = -16;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap_.reset(::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0));
        old_ = ::SelectObject(dc_, bitmap_.get());
    }
    ~Canvas() {
        ::SelectObject(dc_, old_);
        ::DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Ready() const { return dc_ && bits_; }
    void Draw(HIMAGELIST list, int image, UINT style = ILD_NORMAL) {
        for (int i = 0; i < 256; ++i) bits_[i] = kMagenta;
        ::ImageList_Draw(list, image, dc_, 0, 0, style);
        ::GdiFlush();
    }
    // 0x00RRGGBB
    DWORD At(int x, int y) const { return bits_[y * 16 + x] & 0xFFFFFF; }
    bool AllMagenta() const {
        for (int i = 0; i < 256; ++i)
            if ((bits_[i] & 0xFFFFFF) != kMagenta) return false;
        return true;
    }

    static constexpr DWORD kMagenta = 0xFF00FF;

private:
    HDC dc_;
    vrel::unique_gdiobj bitmap_;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

TEST(ComponentPageImages, StripsLoadWholeWithMaskAndOverlay) {
    const unique_imagelist tree = LoadTreeImages(Self());
    const unique_imagelist checks = LoadCheckImages(Self());
    ASSERT_TRUE(tree && checks);
    EXPECT_EQ(8, ::ImageList_GetImageCount(tree.get()));
    EXPECT_EQ(5, ::ImageList_GetImageCount(checks.get()));

    Canvas canvas;
    ASSERT_TRUE(canvas.Ready());
    // The mask colour is transparent: "no box" draws nothing, every corner
    // shows the background.
    canvas.Draw(checks.get(), kCheckNone);
    EXPECT_TRUE(canvas.AllMagenta());
    for (int image = 0; image < 5; ++image) {
        canvas.Draw(checks.get(), image);
        EXPECT_EQ(Canvas::kMagenta, canvas.At(0, 0)) << image;
    }
    canvas.Draw(checks.get(), kCheckEmpty);
    EXPECT_EQ(0xFFFFFFu, canvas.At(8, 8));  // the inside of the empty box

    // The lock overlay is the red no-entry sign over the item's picture
    // (over its body: Wine cuts the overlay to the picture's own mask).
    canvas.Draw(tree.get(), NormalImage(0, false));
    EXPECT_EQ(0xD6A560u, canvas.At(4, 10));
    canvas.Draw(tree.get(), NormalImage(0, false), ILD_NORMAL | INDEXTOOVERLAYMASK(kLockOverlay));
    EXPECT_EQ(0xDC0000u, canvas.At(4, 10));
}

// Larger screens get the strips drawn larger, whole, with the same mask and
// overlay: 24 pixels from 120 DPI (125 %) on, 32 from 168 (175 %).
TEST(ComponentPageImages, LargerStripsForMoreDpi) {
    for (const auto& [dpi, size] : {std::pair{96u, 16}, {120u, 24}, {144u, 24}, {168u, 32}, {192u, 32}, {288u, 32}}) {
        EXPECT_EQ(size, TreeImageSize(dpi)) << dpi;
        const unique_imagelist tree = LoadTreeImages(Self(), dpi);
        const unique_imagelist checks = LoadCheckImages(Self(), dpi);
        ASSERT_TRUE(tree && checks) << dpi;
        EXPECT_EQ(8, ::ImageList_GetImageCount(tree.get())) << dpi;
        EXPECT_EQ(5, ::ImageList_GetImageCount(checks.get())) << dpi;
        int width = 0, height = 0;
        ::ImageList_GetIconSize(checks.get(), &width, &height);
        EXPECT_EQ(size, width) << dpi;
        EXPECT_EQ(size, height) << dpi;
    }
}

LRESULT CALLBACK PlainWindow(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }
INT_PTR CALLBACK PlainPage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(ComponentPageTemplate, HoldsTheTreeAndTheTexts) {
    if (!::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) GTEST_SKIP() << "dialogs need a display";
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TREEVIEW_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&classes));
    WNDCLASSW frameClass{};
    frameClass.lpfnWndProc = PlainWindow;
    frameClass.hInstance = Self();
    frameClass.lpszClassName = L"ComponentPageTestFrame";
    ::RegisterClassW(&frameClass);
    const HWND frame = ::CreateWindowExW(0, frameClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500,
                                         nullptr, nullptr, Self(), nullptr);
    ASSERT_NE(nullptr, frame);
    const HWND page = ::CreateDialogParamW(Self(), MAKEINTRESOURCEW(IDD_COMPONENT_PAGE), frame, PlainPage, 0);
    ASSERT_NE(nullptr, page) << ::GetLastError();

    for (int id : {IDC_COMPONENT_TREE, IDC_DESCRIPTION_LABEL, IDC_DESCRIPTION, IDC_SIZE_LABEL, IDC_SELECTED_SIZE,
                   IDC_FREE_SPACE})
        EXPECT_NE(nullptr, ::GetDlgItem(page, id)) << id;
    wchar_t className[32] = {};
    ::GetClassNameW(::GetDlgItem(page, IDC_COMPONENT_TREE), className, 32);
    EXPECT_STREQ(WC_TREEVIEWW, className);
    const LONG_PTR style = ::GetWindowLongPtrW(::GetDlgItem(page, IDC_COMPONENT_TREE), GWL_STYLE);
    EXPECT_EQ(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT,
              style & (TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_CHECKBOXES));
    wchar_t label[32] = {};
    ::GetDlgItemTextW(page, IDC_DESCRIPTION_LABEL, label, 32);
    EXPECT_STREQ(L"Описание:", label);
    ::DestroyWindow(frame);
}

TEST(ComponentPageSizes, UnitsFromTheStringTable) {
    const SizeUnits units{LoadText(TextId::kSizeBytes), LoadText(TextId::kSizeGigabytes),
                          LoadText(TextId::kSizeMegabytes), LoadText(TextId::kSizeKilobytes)};
    EXPECT_EQ(L"1.500 Мбайт", FormatSize(1536 * 1024, units));
    EXPECT_EQ(L"1023 байт", FormatSize(1023, units));
    EXPECT_EQ(L"4.000 Гбайт", FormatSize(std::int64_t{1} << 32, units));
}

TEST(ComponentPageSizes, FreeSpaceOfADriveOrMinusOne) {
    EXPECT_GT(GetFreeSpace(L"C:\\"), 0);
    ASSERT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), ::GetDriveTypeW(L"Q:\\"));
    EXPECT_EQ(-1, GetFreeSpace(L"Q:\\"));
}

}  // namespace
}  // namespace tarnex
