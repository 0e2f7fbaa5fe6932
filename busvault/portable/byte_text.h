// Byte sequences as automation clients write them: hexadecimal text ("16 16
// 02" or "161602") and numbers that must be whole and within 0 to 255.
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace busvault {

// The longest request an automation client may pass, in bytes.
inline constexpr std::size_t kMaxRequestBytes = 4096;

// Pairs of hexadecimal digits (either case); blanks, tabs, commas, hyphens
// and colons may stand between pairs but not inside one. On failure `why`
// says what is wrong and where (1-based character position).
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::u16string_view text, std::string& why);

// Upper-case pairs separated by single blanks: "16 16 02".
std::string FormatHexBytes(const std::uint8_t* bytes, std::size_t count);

// A whole number from 0 to 255; nothing for anything else (NaN included).
std::optional<std::uint8_t> ByteFromNumber(double value);

}  // namespace busvault
