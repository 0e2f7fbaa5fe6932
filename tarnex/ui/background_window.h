// The full-screen backdrop shown behind the wizard when the description asks
// for it: a teal surface with the product text written large in its top left
// corner, or "bgrVREL.jpg" stretched over the whole screen. The task bar is
// hidden while it exists.
#pragma once

#include <windows.h>

#include "ui/picture_holder.h"
#include "vrel/unique_handle.h"

namespace tarnex {

// Shows (visible) or hides the system task bar, when there is one.
void ShowTaskBar(bool visible);

class BackgroundWindow {
public:
    BackgroundWindow() = default;
    // Shows the task bar again and destroys the window.
    ~BackgroundWindow();
    BackgroundWindow(const BackgroundWindow&) = delete;
    BackgroundWindow& operator=(const BackgroundWindow&) = delete;

    // Registers the class, creates and shows the window over the whole
    // screen, hides the task bar and records the window in the instance
    // guard. 0 when the class or the window cannot be created.
    int Create(int showPicture, const wchar_t* caption);

    HWND Window() const { return window_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc);

    PictureHolder picture_;
    HWND window_ = nullptr;
    vrel::unique_gdiobj bitmap_;
    vrel::unique_gdiobj brush_;
    vrel::unique_gdiobj font_;
    vrel::unique_hdc memory_;  // deleted before the objects selected into it
    RECT client_{};
    wchar_t caption_[260] = {};
    LONG needsRender_ = 1;
};

}  // namespace tarnex
