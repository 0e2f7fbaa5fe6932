#include "ui/background_window.h"

#include <string>

#include "portable/package_facts.h"
#include "resources/resource_ids.h"
#include "services/app_context.h"
#include "ui/dpi.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {

constexpr wchar_t kClassName[] = L"Tarnex";
constexpr COLORREF kSurface = RGB(64, 140, 128);
constexpr COLORREF kText = RGB(255, 255, 255);

}  // namespace

void ShowTaskBar(bool visible) {
    if (HWND bar = ::FindWindowW(L"Shell_TrayWnd", L"")) ::ShowWindow(bar, visible ? SW_SHOW : SW_HIDE);
}

BackgroundWindow::~BackgroundWindow() {
    if (window_ == nullptr) return;
    ShowTaskBar(true);
    // The user data slot points here: the window must not outlive the object.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
}

int BackgroundWindow::Create(int showPicture, const wchar_t* caption) {
    AppContext& app = App();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &BackgroundWindow::WindowProc;
    windowClass.hInstance = app.Instance;
    windowClass.hIcon = ::LoadIconW(app.Instance, MAKEINTRESOURCEW(IDI_TARNEX));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    if (!::RegisterClassExW(&windowClass)) return 0;

    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    window_ = ::CreateWindowExW(0, kClassName, app.Caption, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 0, 0, width,
                                height, nullptr, nullptr, app.Instance, this);
    if (window_ == nullptr) return 0;
    vrel::CopyToField(caption_, std::wstring_view(caption != nullptr ? caption : L""));
    // A picture that is missing or cannot be decoded leaves the surface with the text.
    if (showPicture) picture_.Load(std::wstring(app.ProgramFolder) + kBackgroundPictureFile);

    ::ShowWindow(window_, SW_SHOW);
    ::UpdateWindow(window_);
    ::SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER);
    ShowTaskBar(false);
    if (!app.Guard.UpdateOwnerWindow(window_, app.Caption)) app.Guard.Register(window_, app.Caption);
    return 1;
}

LRESULT CALLBACK BackgroundWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<BackgroundWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_ERASEBKGND:
        self->Paint(reinterpret_cast<HDC>(wParam));
        return 1;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void BackgroundWindow::Paint(HDC dc) {
    if (needsRender_) {
        needsRender_ = 0;
        ::GetClientRect(window_, &client_);
        memory_.reset(::CreateCompatibleDC(dc));
        bitmap_.reset(::CreateCompatibleBitmap(dc, client_.right, client_.bottom));
        brush_.reset(::CreateSolidBrush(kSurface));
        if (!memory_ || !bitmap_) return;
        ::SelectObject(memory_.get(), bitmap_.get());
        ::SelectObject(memory_.get(), brush_.get());
        ::PatBlt(memory_.get(), 0, 0, client_.right, client_.bottom, PATCOPY);
        // The text's size and place are given in pixels at 96 DPI.
        const UINT dpi = WindowDpi(window_);
        font_.reset(::CreateFontW(-ScaleToDpi(36, dpi), 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, RUSSIAN_CHARSET, 0, 0, 0,
                                  1, L"Times New Roman"));
        const HGDIOBJ previous = ::SelectObject(memory_.get(), font_.get());
        ::SetBkMode(memory_.get(), TRANSPARENT);
        const int length = static_cast<int>(std::wstring_view(caption_).size());
        const int shadow = ScaleToDpi(15, dpi), text = ScaleToDpi(10, dpi);
        ::TextOutW(memory_.get(), shadow, shadow, caption_, length);  // the shadow, in the default text colour
        ::SetTextColor(memory_.get(), kText);
        ::TextOutW(memory_.get(), text, text, caption_, length);
        ::SelectObject(memory_.get(), previous);
        picture_.Render(memory_.get(), client_);
    }
    if (memory_) ::BitBlt(dc, 0, 0, client_.right, client_.bottom, memory_.get(), 0, 0, SRCCOPY);
}

}  // namespace tarnex
