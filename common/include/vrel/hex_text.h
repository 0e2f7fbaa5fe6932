// Hexadecimal digits and bytes as text; no system calls, so the portable
// rules use it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrel {

// Which letters a reader takes for the digits 10 to 15.
enum class HexLetters { AnyCase, LowerOnly };

// The value of one hexadecimal digit, or -1 for any other character.
template <typename Char>
constexpr int HexDigitValue(Char c, HexLetters letters = HexLetters::AnyCase) {
    if (c >= Char('0') && c <= Char('9')) return static_cast<int>(c - Char('0'));
    if (c >= Char('a') && c <= Char('f')) return static_cast<int>(c - Char('a')) + 10;
    if (letters == HexLetters::AnyCase && c >= Char('A') && c <= Char('F')) return static_cast<int>(c - Char('A')) + 10;
    return -1;
}

// Each byte as two digits in the case given, with separator between bytes
// when it is not '\0' ("16 16 02", or "a1b2" for a digest).
enum class HexCase { Upper, Lower };
inline std::string FormatHex(const std::uint8_t* bytes, std::size_t count, HexCase letterCase, char separator) {
    const char* const digits = letterCase == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(count * (separator != '\0' ? 3 : 2));
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0 && separator != '\0') text.push_back(separator);
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace vrel
