// COM on the calling thread for as long as the owner lives.
#pragma once

#include <objbase.h>

namespace vrel {

// CoInitialize(nullptr) is the single-threaded model. Each successful call
// (S_OK, or S_FALSE on a thread that had COM already) is matched by one
// CoUninitialize; a failed one (another model on the thread) is not.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : result_(::CoInitializeEx(nullptr, model)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    HRESULT Result() const noexcept { return result_; }
    bool Entered() const noexcept { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

}  // namespace vrel
