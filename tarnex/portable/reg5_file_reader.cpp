#include "portable/reg5_file_reader.h"

#include <optional>

#include "portable/reg_file_reader.h"
#include "vrel/hex_text.h"

namespace tarnex {
namespace {

constexpr std::uint32_t kRegSz = 1, kRegBinary = 3, kRegDword = 4;

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r')) text.remove_suffix(1);
    return text;
}

// A quoted text from its opening quote on: a backslash takes the character
// after it literally. rest is what follows the closing quote.
std::optional<std::wstring> Quoted(std::wstring_view text, std::wstring_view& rest) {
    if (text.empty() || text.front() != L'"') return std::nullopt;
    std::wstring out;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (text[i] == L'"') {
            rest = text.substr(i + 1);
            return out;
        } else {
            out += text[i];
        }
    }
    return std::nullopt;
}

void AppendUtf16(std::vector<std::uint8_t>& data, std::wstring_view text) {
    for (wchar_t c : text) {
        data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        data.push_back(static_cast<std::uint8_t>((static_cast<unsigned>(c) >> 8) & 0xFF));
    }
}

// "hex:" and "hex(N):" lists: byte pairs separated by commas.
std::optional<std::vector<std::uint8_t>> HexList(std::wstring_view list) {
    std::vector<std::uint8_t> bytes;
    list = Trimmed(list);
    while (!list.empty()) {
        const std::size_t comma = list.find(L',');
        const std::wstring_view pair = Trimmed(list.substr(0, comma));
        if (pair.size() != 2 || vrel::HexDigitValue(pair[0]) < 0 || vrel::HexDigitValue(pair[1]) < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(vrel::HexDigitValue(pair[0]) << 4 | vrel::HexDigitValue(pair[1])));
        if (comma == std::wstring_view::npos) break;
        list = Trimmed(list.substr(comma + 1));
        if (list.empty()) return std::nullopt;  // a comma with no pair after it
    }
    return bytes;
}

struct Parsed {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

std::optional<Parsed> ValueData(std::wstring_view text) {
    Parsed value;
    std::wstring_view rest;
    if (!text.empty() && text.front() == L'"') {
        const std::optional<std::wstring> string = Quoted(text, rest);
        if (!string || !Trimmed(rest).empty()) return std::nullopt;
        value.type = kRegSz;
        AppendUtf16(value.data, *string);
        AppendUtf16(value.data, std::wstring_view(L"\0", 1));
        return value;
    }
    if (text.substr(0, 6) == L"dword:") {
        const std::wstring_view digits = Trimmed(text.substr(6));
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        std::uint32_t number = 0;
        for (wchar_t c : digits) {
            if (vrel::HexDigitValue(c) < 0) return std::nullopt;
            number = number << 4 | static_cast<std::uint32_t>(vrel::HexDigitValue(c));
        }
        value.type = kRegDword;
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
        return value;
    }
    if (text.substr(0, 4) == L"hex:") {
        value.type = kRegBinary;
        rest = text.substr(4);
    } else if (text.substr(0, 4) == L"hex(") {
        const std::size_t close = text.find(L"):");
        if (close == std::wstring_view::npos || close == 4 || close > 12) return std::nullopt;
        for (wchar_t c : text.substr(4, close - 4)) {
            if (vrel::HexDigitValue(c) < 0) return std::nullopt;
            value.type = value.type << 4 | static_cast<std::uint32_t>(vrel::HexDigitValue(c));
        }
        rest = text.substr(close + 2);
    } else {
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> bytes = HexList(rest);
    if (!bytes) return std::nullopt;
    value.data = std::move(*bytes);
    return value;
}

class Reader {
public:
    Reader(std::wstring_view text, Reg5Sink& sink) : text_(text), sink_(sink) {}

    bool Run() {
        std::wstring line;
        while (NextLine(line)) {
            if (line.size() > kRegTextLimit) return false;
            const std::wstring_view entry = Trimmed(line);
            if (entry.empty() || entry.front() == L';') continue;
            if (entry.front() == L'[') {
                if (!KeyLine(entry)) return false;
            } else if ((entry.front() == L'"' || entry.front() == L'@') && !ValueLine(entry)) {
                return false;
            }
        }
        return true;
    }

private:
    // One logical line: a line that ends with a backslash (a hex list
    // broken by regedit) goes on in the next.
    bool NextLine(std::wstring& line) {
        line.clear();
        if (at_ >= text_.size()) return false;
        for (;;) {
            std::size_t end = text_.find(L'\n', at_);
            if (end == std::wstring_view::npos) end = text_.size();
            std::wstring_view piece = text_.substr(at_, end - at_);
            at_ = end + 1;
            if (!piece.empty() && piece.back() == L'\r') piece.remove_suffix(1);
            const bool continues = !piece.empty() && piece.back() == L'\\' && at_ < text_.size();
            if (continues) piece.remove_suffix(1);
            if (line.size() + piece.size() > kRegTextLimit)
                line.assign(kRegTextLimit + 1, L' ');  // too long: the caller stops
            else
                line += Trimmed(piece);
            if (!continues || at_ >= text_.size()) return true;
        }
    }

    bool KeyLine(std::wstring_view entry) {
        key_.reset();
        if (entry.back() != L']') return true;  // no key line: passed over
        if (entry.size() > 1 && entry[1] == L'-') {
            sink_.SkipDeletion(std::wstring(entry));
            return true;
        }
        key_ = std::wstring(entry.substr(1, entry.size() - 2));
        return sink_.CreateKey(*key_);
    }

    bool ValueLine(std::wstring_view entry) {
        std::wstring name;
        std::wstring_view rest;
        if (entry.front() == L'@') {
            rest = entry.substr(1);
        } else {
            const std::optional<std::wstring> quoted = Quoted(entry, rest);
            if (!quoted) return false;
            name = *quoted;
        }
        rest = Trimmed(rest);
        if (rest.empty() || rest.front() != L'=') return false;
        rest = Trimmed(rest.substr(1));
        if (!key_) return true;
        if (rest == L"-") {
            sink_.SkipDeletion(std::wstring(entry));
            return true;
        }
        const std::optional<Parsed> value = ValueData(rest);
        return value && sink_.SetValue(*key_, name, value->type, value->data);
    }

    std::wstring_view text_;
    std::size_t at_ = 0;
    Reg5Sink& sink_;
    std::optional<std::wstring> key_;
};

}  // namespace

bool IsReg5Text(std::wstring_view text) {
    const std::wstring_view header(kReg5Header);
    return text.substr(0, header.size()) == header &&
           (text.size() == header.size() || text[header.size()] == L'\r' || text[header.size()] == L'\n');
}

bool ReadReg5Text(std::wstring_view text, Reg5Sink& sink) { return Reader(text, sink).Run(); }

}  // namespace tarnex
