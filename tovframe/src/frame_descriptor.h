// The process-wide frame descriptor and the module handle used for names.
#pragma once

#include <windows.h>

#include <memory>

#include "tovframe.h"

namespace tovframe {

struct LibraryState {
    HINSTANCE module = nullptr;
    std::unique_ptr<unsigned char[]> buffer;  // owns descriptor.buffer
    tagFrameDsc descriptor{};                 // buffer null, size 0, handle 0, device null when empty
};

// The one instance; the host serialises its calls, so there is no lock.
LibraryState& State() noexcept;

inline constexpr unsigned long kHandle = 1;

}  // namespace tovframe
