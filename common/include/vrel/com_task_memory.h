// Owners of memory the COM task allocator handed out (item lists of the
// shell, strings of COM calls): CoTaskMemFree, which is also what the
// shell's SHGetMalloc allocator frees with.
#pragma once

#include <objbase.h>

#include "vrel/unique_handle.h"

namespace vrel {

template <typename T>
struct CoTaskMemTraits {
    using pointer = T*;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer p) noexcept { return p != nullptr; }
    static void close(pointer p) noexcept { ::CoTaskMemFree(p); }
};

template <typename T>
using unique_cotaskmem_ptr = UniqueHandle<CoTaskMemTraits<T>>;

}  // namespace vrel
