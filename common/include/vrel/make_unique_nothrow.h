// Allocation for code that reports failure by result code (COM servers,
// exports called from other languages): no exception may leave it.
#pragma once

#include <memory>
#include <new>
#include <utility>

namespace vrel {

// An owned new object, or null when memory cannot be had.
template <typename T, typename... Args>
std::unique_ptr<T> MakeUniqueNoThrow(Args&&... args) noexcept {
    try {
        return std::make_unique<T>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace vrel
