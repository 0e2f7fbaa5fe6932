#include "single_file/session_end_watch.h"

#include "single_file/unpack_folder.h"

namespace tarnex {
namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION) {
        auto* folder = reinterpret_cast<UnpackFolder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (wParam != FALSE && folder != nullptr) folder->LeaveToNextStart();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class HiddenWindow {
public:
    explicit HiddenWindow(UnpackFolder& folder) {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kSessionEndWatchWindowClass;
        ::RegisterClassW(&windowClass);  // registered once for the process; a second time fails harmlessly
        // Top-level, never shown: a message-only window hears no end of the session.
        window_ = ::CreateWindowExW(0, kSessionEndWatchWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    instance, nullptr);
        if (window_ != nullptr) ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&folder));
    }
    ~HiddenWindow() {
        if (window_ != nullptr) ::DestroyWindow(window_);
    }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

private:
    HWND window_ = nullptr;
};

}  // namespace

SessionEndWatch::SessionEndWatch(UnpackFolder& folder)
    : folder_(folder), stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    // Without its event the watch could never be ended: there is none.
    if (stop_) thread_ = std::thread([this] { Watch(); });
}

SessionEndWatch::~SessionEndWatch() {
    if (!thread_.joinable()) return;
    ::SetEvent(stop_.get());
    thread_.join();
}

void SessionEndWatch::Watch() {
    const HiddenWindow window(folder_);
    const HANDLE stop = stop_.get();
    while (::MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

}  // namespace tarnex
