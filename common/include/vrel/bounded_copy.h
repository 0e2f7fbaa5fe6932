// Copies into fixed-size text fields. The description's fixed fields are a
// storage format: a longer value is cut to the field and always terminated.
// Portable: no Windows header needed.
#pragma once

#include <cstddef>
#include <string_view>

namespace vrel {

// Copies at most capacity - 1 characters and a terminator into field.
// Returns the number of characters copied (without the terminator); nothing is
// written when capacity is 0.
template <typename Char>
std::size_t CopyToField(Char* field, std::size_t capacity, std::basic_string_view<Char> text) noexcept {
    if (capacity == 0 || field == nullptr) return 0;
    const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    for (std::size_t i = 0; i < n; ++i) field[i] = text[i];
    field[n] = Char{};
    return n;
}

template <typename Char, std::size_t N>
std::size_t CopyToField(Char (&field)[N], std::basic_string_view<Char> text) noexcept {
    return CopyToField(field, N, text);
}

// True when text fits into a field of capacity characters with its terminator.
template <typename Char>
constexpr bool FitsField(std::basic_string_view<Char> text, std::size_t capacity) noexcept {
    return text.size() < capacity;
}

}  // namespace vrel
