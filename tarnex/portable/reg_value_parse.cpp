#include "reg_value_parse.h"

#include <algorithm>

#include "vrel/hex_text.h"

namespace tarnex {
namespace {

bool SubKeyStaysBelowRoot(std::string_view subKey) {
    if (subKey.empty()) return false;
    std::size_t start = 0;
    while (start <= subKey.size()) {
        const std::size_t end = std::min(subKey.find('\\', start), subKey.size());
        const std::string_view part = subKey.substr(start, end - start);
        if (part.empty() || part == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

std::optional<RegKeyPath> SplitRegKeyPath(std::string_view keyPath) {
    const std::size_t slash = keyPath.find('\\');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view rootName = keyPath.substr(0, slash);
    RegKeyPath out;
    if (rootName == "HKEY_CLASSES_ROOT")
        out.root = 1;
    else if (rootName == "HKEY_CURRENT_USER")
        out.root = 2;
    else if (rootName == "HKEY_LOCAL_MACHINE")
        out.root = 3;
    else if (rootName == "HKEY_USERS")
        out.root = 4;
    else
        return std::nullopt;
    const std::string_view subKey = keyPath.substr(slash + 1);
    if (!SubKeyStaysBelowRoot(subKey)) return std::nullopt;
    out.subKey.assign(subKey);
    return out;
}

std::string UnescapeRegText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            if (++i == text.size()) break;
        }
        out.push_back(text[i]);
    }
    return out;
}

std::optional<std::uint32_t> ParseRegDword(std::string_view eight) {
    if (eight.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : eight) {
        const int digit = vrel::HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> ParseRegBinary(std::string_view digits) {
    if (digits.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = vrel::HexDigitValue(digits[i]);
        const int low = vrel::HexDigitValue(digits[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

}  // namespace tarnex
