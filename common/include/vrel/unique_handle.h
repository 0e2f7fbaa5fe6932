// Move-only owners for Windows handles: one template, one traits struct per
// kind of handle (chosen by its invalid value and its close call).
#pragma once

#include <windows.h>

#include <utility>

namespace vrel {

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer value) noexcept : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::valid(value_); }

    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // Closing keeps the thread's last error, so an error path can still
    // report what went wrong before the clean-up.
    void reset(pointer value = Traits::invalid()) noexcept {
        if (Traits::valid(value_)) {
            const DWORD saved = ::GetLastError();
            Traits::close(value_);
            ::SetLastError(saved);
        }
        value_ = value;
    }

    // For out-parameters of API calls: frees the current value first.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

struct KernelHandleTraits {  // events, threads, processes, mappings: NULL is invalid
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE is invalid
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::FindClose(h); }
};
struct RegKeyTraits {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::RegCloseKey(h); }
};
struct ModuleTraits {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::FreeLibrary(h); }
};
struct MappedViewTraits {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer p) noexcept { return p != nullptr; }
    static void close(pointer p) noexcept { ::UnmapViewOfFile(p); }
};
struct GdiObjectTraits {
    using pointer = HGDIOBJ;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::DeleteObject(h); }
};

struct MemoryDcTraits {  // CreateCompatibleDC: deleted, never released
    using pointer = HDC;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::DeleteDC(h); }
};

struct IconTraits {
    using pointer = HICON;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::DestroyIcon(h); }
};

// A window's device context from GetDC: released to that window, never
// deleted, so the owner keeps the window beside the context.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
    }
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

using unique_handle = UniqueHandle<KernelHandleTraits>;
using unique_hfile = UniqueHandle<FileHandleTraits>;
using unique_hfind = UniqueHandle<FindHandleTraits>;
using unique_hkey = UniqueHandle<RegKeyTraits>;
using unique_hmodule = UniqueHandle<ModuleTraits>;
using unique_view = UniqueHandle<MappedViewTraits>;
using unique_gdiobj = UniqueHandle<GdiObjectTraits>;
using unique_hdc = UniqueHandle<MemoryDcTraits>;
using unique_hicon = UniqueHandle<IconTraits>;

}  // namespace vrel
