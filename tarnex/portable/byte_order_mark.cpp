#include "portable/byte_order_mark.h"

namespace tarnex {

MarkedText ReadByteOrderMark(std::string_view bytes) {
    const auto startsWith = [bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xEF\xBB\xBF")) return {TextCoding::Utf8, bytes.substr(3)};
    if (startsWith("\xFF\xFE")) return {TextCoding::Utf16Le, bytes.substr(2)};
    if (startsWith("\xFE\xFF")) return {TextCoding::Utf16Be, bytes.substr(2)};
    return {TextCoding::Ansi, bytes};
}

std::wstring Utf16Units(std::string_view body, bool bigEndian) {
    std::wstring text;
    text.reserve(body.size() / 2);
    for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
        const unsigned first = static_cast<unsigned char>(body[i]), second = static_cast<unsigned char>(body[i + 1]);
        text += static_cast<wchar_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    return text;
}

}  // namespace tarnex
