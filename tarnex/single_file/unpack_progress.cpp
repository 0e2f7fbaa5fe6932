#include "single_file/unpack_progress.h"

#include <commctrl.h>

#include "services/app_context.h"
#include "single_file/unpack_progress_ids.h"
#include "ui/common_controls.h"

namespace tarnex {
namespace {

constexpr int kBarRange = 1000;

}  // namespace

UnpackProgress::UnpackProgress(bool shown, std::uint64_t total)
    : shown_(shown), total_(total), started_(::GetTickCount64()) {}

UnpackProgress::~UnpackProgress() {
    if (window_ != nullptr) ::DestroyWindow(window_);
}

INT_PTR CALLBACK UnpackProgress::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<UnpackProgress*>(::GetWindowLongPtrW(window, DWLP_USER));
    // Cancel and Esc stop the unpacking.
    if (self != nullptr && message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        self->cancelled_ = true;
        ::EnableWindow(::GetDlgItem(window, IDCANCEL), FALSE);
        return TRUE;
    }
    return FALSE;
}

bool UnpackProgress::Advance(std::uint64_t done) {
    if (!shown_) return true;
    if (window_ == nullptr && ::GetTickCount64() - started_ >= kShowAfterMs && CommonControls().Loaded()) {
        window_ = ::CreateDialogParamW(App().Instance, MAKEINTRESOURCEW(IDD_UNPACK_PROGRESS), nullptr, &Procedure,
                                       reinterpret_cast<LPARAM>(this));
        if (window_ != nullptr) {
            ::SendDlgItemMessageW(window_, IDC_UNPACK_BAR, PBM_SETRANGE32, 0, kBarRange);
            ::ShowWindow(window_, SW_SHOWNORMAL);
        } else {
            shown_ = false;  // no window can be made: the unpacking goes on without
        }
    }
    if (window_ != nullptr) {
        const std::uint64_t part = total_ == 0 ? kBarRange : done * kBarRange / total_;
        ::SendDlgItemMessageW(window_, IDC_UNPACK_BAR, PBM_SETPOS, static_cast<WPARAM>(part), 0);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (::IsDialogMessageW(window_, &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return !cancelled_;
}

}  // namespace tarnex
