#include "byte_text.h"

#include "vrel/hex_text.h"

namespace busvault {
namespace {

bool IsSeparator(char16_t c) { return c == u' ' || c == u'\t' || c == u',' || c == u'-' || c == u':'; }

}  // namespace

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::u16string_view text, std::string& why) {
    std::vector<std::uint8_t> bytes;
    int high = -1;  // the first digit of a pair not yet complete
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string position = std::to_string(i + 1);
        const int digit = vrel::HexDigitValue(text[i]);
        if (digit < 0) {
            if (!IsSeparator(text[i])) {
                why = "character " + position + " is not a hexadecimal digit";
                return std::nullopt;
            }
            if (high >= 0) {
                why = "character " + position + " splits a pair of hexadecimal digits";
                return std::nullopt;
            }
            continue;
        }
        if (high < 0) {
            high = digit;
            continue;
        }
        if (bytes.size() == kMaxRequestBytes) {
            why = "it holds more than " + std::to_string(kMaxRequestBytes) + " bytes";
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
        high = -1;
    }
    if (high >= 0) {
        why = "its last byte has only one hexadecimal digit";
        return std::nullopt;
    }
    return bytes;
}

std::string FormatHexBytes(const std::uint8_t* bytes, std::size_t count) {
    return vrel::FormatHex(bytes, count, vrel::HexCase::Upper, ' ');
}

std::optional<std::uint8_t> ByteFromNumber(double value) {
    // The comparisons are false for NaN, so NaN is refused too.
    if (!(value >= 0.0 && value <= 255.0)) return std::nullopt;
    const auto whole = static_cast<std::uint8_t>(value);
    if (static_cast<double>(whole) != value) return std::nullopt;
    return whole;
}

}  // namespace busvault
