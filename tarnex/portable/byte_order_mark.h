// Texts a package carries (its licence, REG files) say their encoding with a
// byte-order mark; without one they are ANSI, in the system's code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnex {

enum class TextCoding { Ansi, Utf8, Utf16Le, Utf16Be };

struct MarkedText {
    TextCoding coding = TextCoding::Ansi;
    std::string_view body;  // the bytes after the mark
};

MarkedText ReadByteOrderMark(std::string_view bytes);

// The body's UTF-16 code units in order; an odd last byte is dropped.
std::wstring Utf16Units(std::string_view body, bool bigEndian);

}  // namespace tarnex
