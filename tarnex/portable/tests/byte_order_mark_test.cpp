#include "portable/byte_order_mark.h"

#include <gtest/gtest.h>

namespace tarnex {
namespace {

TEST(ByteOrderMark, TheMarkDecidesAndIsLeftOut) {
    const std::string utf16le("\xFF\xFE\x1F\x04\xD9\x04!\x00", 8), utf16be("\xFE\xFF\x04\x1F\x04\xD9\x00!", 8);
    for (const std::string& bytes : {utf16le, utf16be}) {
        const MarkedText marked = ReadByteOrderMark(bytes);
        ASSERT_NE(TextCoding::Ansi, marked.coding);
        EXPECT_EQ(L"\x041F\x04D9!", Utf16Units(marked.body, marked.coding == TextCoding::Utf16Be));
    }
    const MarkedText utf8 = ReadByteOrderMark("\xEF\xBB\xBF\xD0\x9F");
    EXPECT_EQ(TextCoding::Utf8, utf8.coding);
    EXPECT_EQ("\xD0\x9F", utf8.body);
    // Without a mark, or with a part of one: ANSI, every byte kept.
    for (const char* ansi : {"\xCF\xF0\xE8", "\xFF", "\xEF\xBB", ""}) {
        const MarkedText marked = ReadByteOrderMark(ansi);
        EXPECT_EQ(TextCoding::Ansi, marked.coding);
        EXPECT_EQ(ansi, marked.body);
    }
    // An odd last byte is no code unit.
    EXPECT_EQ(L"A", Utf16Units(std::string("A\x00\x42", 3), false));
}

}  // namespace
}  // namespace tarnex
