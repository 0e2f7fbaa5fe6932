// The value texts of a REG file: unescaping, double-word and binary digits,
// and the root name at the start of a key path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

// Root index as the descriptions number them: 1 HKEY_CLASSES_ROOT,
// 2 HKEY_CURRENT_USER, 3 HKEY_LOCAL_MACHINE, 4 HKEY_USERS.
struct RegKeyPath {
    int root = 0;
    std::string subKey;
};

// Splits "ROOT\sub\key" at its first backslash. The root name is compared
// byte for byte (no short forms). Refused (nullopt): an unknown root, a path
// that names only a root, and a subkey that is empty, starts or ends with a
// backslash, holds an empty or ".." component: such a path does not name a
// key below its root.
std::optional<RegKeyPath> SplitRegKeyPath(std::string_view keyPath);

// A backslash is dropped and the character after it is taken literally.
std::string UnescapeRegText(std::string_view text);

// Eight hexadecimal characters, most significant byte first.
std::optional<std::uint32_t> ParseRegDword(std::string_view eight);

// Digit pairs to bytes; an odd count or a non-hexadecimal character fails.
std::optional<std::vector<std::uint8_t>> ParseRegBinary(std::string_view digits);

}  // namespace tarnex
