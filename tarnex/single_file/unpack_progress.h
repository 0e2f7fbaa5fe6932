// The small window a long unpacking shows: how far it is, in Russian, and
// Cancel. It appears only once the unpacking has gone on for a moment (a
// small package is unpacked before anyone could read it), never in the
// quiet run; the unpacking calls Advance between its pieces, which keeps
// the window answering.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tarnex {

class UnpackProgress {
public:
    // shown: whether a person is at the screen; total: the bytes to unpack.
    UnpackProgress(bool shown, std::uint64_t total);
    ~UnpackProgress();
    UnpackProgress(const UnpackProgress&) = delete;
    UnpackProgress& operator=(const UnpackProgress&) = delete;

    // done bytes of the total are unpacked; false once Cancel was pressed.
    bool Advance(std::uint64_t done);

    // The window, once it shows; nullptr before.
    HWND Window() const { return window_; }

    // How long the unpacking goes on before the window shows.
    static constexpr DWORD kShowAfterMs = 1000;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool shown_;
    std::uint64_t total_;
    ULONGLONG started_;
    HWND window_ = nullptr;
    bool cancelled_ = false;
};

}  // namespace tarnex
