#include "description/inf_file.h"

#include <vector>

#include "description/setup_api.h"
#include "portable/path_guard.h"
#include "run/message_box.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

constexpr UINT kStrCannotOpenInf = 1;  // "Не удается открыть INF-файл %s. ..."

// Names and paths go to the setup API as ANSI texts of at most 259 bytes.
// A name that cannot be converted exactly, or is longer, is not passed on cut
// or with substitute characters: it would name another section or file. The
// operation fails instead.
bool ToAnsiName(const std::wstring& text, std::string& out) {
    if (!vrel::RepresentableInAnsi(text)) return false;
    out = vrel::ToNarrow(text);
    if (out.size() > 259) return false;
    return out.find('\0') == std::string::npos;
}

// Most texts fit this buffer, so a line is read with one call; a longer one
// is read again into a buffer of the size the first call reported.
constexpr DWORD kShortText = 512;

// Reads a line's text into ansi. The setup API's texts end with a
// terminator; the result stops at the first one.
bool ReadAnsi(const INFCONTEXT& context, std::string& ansi) {
    INFCONTEXT* c = const_cast<INFCONTEXT*>(&context);
    char buffer[kShortText];
    DWORD required = 0;
    const BOOL read = Setup().GetLineTextA(c, nullptr, nullptr, nullptr, buffer, kShortText, &required);
    if (read) {
        buffer[kShortText - 1] = '\0';
        ansi.assign(buffer);
        return true;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required == 0) return false;
    std::vector<char> large(required);
    if (!Setup().GetLineTextA(c, nullptr, nullptr, nullptr, large.data(), required, nullptr)) return false;
    large.back() = '\0';
    ansi.assign(large.data());
    return true;
}

// The setup API matches keys without letter case for the letters A to Z
// only (a Cyrillic key must be written in the same case).
std::wstring KeyFolded(std::wstring key) {
    for (wchar_t& c : key)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return key;
}

// A line's key as the setup API compares it: in UTF-16, as the file has it.
// (Its ANSI form would make a key with characters the code page lacks equal
// to its substitute spelling, which the setup API's lookup never matches.)
bool ReadKey(const INFCONTEXT& context, std::wstring& key) {
    INFCONTEXT* c = const_cast<INFCONTEXT*>(&context);
    wchar_t buffer[kShortText];
    DWORD required = 0;
    if (Setup().GetStringFieldW(c, 0, buffer, kShortText, &required)) {
        buffer[kShortText - 1] = L'\0';
        key.assign(buffer);
        return true;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required == 0) return false;
    std::vector<wchar_t> large(required);
    if (!Setup().GetStringFieldW(c, 0, large.data(), required, nullptr)) return false;
    large.back() = L'\0';
    key.assign(large.data());
    return true;
}

int ReadLineText(const INFCONTEXT& context, std::wstring& text) {
    std::string ansi;
    if (!ReadAnsi(context, ansi)) return 0;
    text = vrel::ToWide(ansi);
    return 1;
}

}  // namespace

InfFile::InfFile() : handle_(INVALID_HANDLE_VALUE), cursors_{}, cursorValid_{}, path_{} {}

InfFile::~InfFile() { Close(); }

bool InfFile::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

int InfFile::Open(const std::wstring& path) {
    Close();
    std::string ansiPath;
    HINF opened = INVALID_HANDLE_VALUE;
    // A device is no INF file (reading COM1 would wait for the line).
    if (Setup().Loaded() && ToAnsiName(path, ansiPath) && vrel::FitsField(std::wstring_view(path), kPathField) &&
        !NamesDevice(std::wstring_view(path).substr(path.find_last_of(L"\\/") + 1)))
        opened = Setup().OpenInfFileA(ansiPath.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    if (opened == INVALID_HANDLE_VALUE || opened == nullptr) {
        ShowMessage(nullptr, FormatText(kStrCannotOpenInf, path.c_str()), kErrorBox);
        return 0;
    }
    handle_ = opened;
    vrel::CopyToField(path_, std::wstring_view(path));
    return 1;
}

void InfFile::Close() {
    if (IsOpen()) Setup().CloseInfFile(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    cursorValid_[0] = cursorValid_[1] = false;
    sections_.clear();
}

// One walk of the section: its line count, its first line and the first line
// of each key. A key is field 0 as the setup API reports it (after string
// substitution; a line of one field without "=" has that field as its key).
const InfFile::SectionIndex* InfFile::IndexOf(const std::wstring& section) {
    std::string name;
    if (!IsOpen() || !ToAnsiName(section, name)) return nullptr;
    const auto known = sections_.find(name);
    if (known != sections_.end()) return &known->second;

    SectionIndex index;
    INFCONTEXT line{};
    if (Setup().FindFirstLineA(handle_, name.c_str(), nullptr, &line)) {
        index.first = line;
        index.count = 0;
        std::wstring key;
        do {
            ++index.count;
            if (ReadKey(line, key)) index.firstLineOfKey.emplace(KeyFolded(key), line);
        } while (Setup().FindNextLine(&line, &line));
    } else {
        // No first line: an empty section, or none at all.
        const LONG count = Setup().GetLineCountA(handle_, name.c_str());
        index.count = count < 0 ? -1 : static_cast<int>(count);
    }
    return &sections_.emplace(std::move(name), std::move(index)).first->second;
}

int InfFile::GetLineCount(const std::wstring& section) {
    const SectionIndex* index = IndexOf(section);
    return index == nullptr ? -1 : index->count;
}

int InfFile::FindFirstLine(const std::wstring& section, std::wstring& text, int slot) {
    if (slot < 0 || slot >= kSlots) return 0;
    const SectionIndex* index = IndexOf(section);
    if (index == nullptr || index->count <= 0) return 0;
    cursors_[slot] = index->first;
    cursorValid_[slot] = true;
    return ReadLineText(cursors_[slot], text);
}

int InfFile::FindNextLine(std::wstring& text, int slot) {
    if (!IsOpen() || slot < 0 || slot >= kSlots || !cursorValid_[slot]) return 0;
    INFCONTEXT next{};
    // At the end of the section the cursor stays on the last line.
    if (!Setup().FindNextLine(&cursors_[slot], &next)) return 0;
    cursors_[slot] = next;
    return ReadLineText(cursors_[slot], text);
}

int InfFile::GetValue(const std::wstring& section, const std::wstring& key, std::wstring& text) {
    std::string keyName;
    if (!ToAnsiName(key, keyName)) return 0;
    const SectionIndex* index = IndexOf(section);
    if (index == nullptr) return 0;
    // The setup API takes the key in ANSI and compares it in UTF-16.
    const auto line = index->firstLineOfKey.find(KeyFolded(vrel::ToWide(keyName)));
    if (line == index->firstLineOfKey.end()) return 0;
    return ReadLineText(line->second, text);
}

int InfFile::GetYesNo(const std::wstring& section, const std::wstring& key, std::int32_t& flag) {
    flag = 0;
    std::wstring value;
    if (!GetValue(section, key, value)) return 0;
    flag = value == L"Yes" ? 1 : 0;
    return 1;
}

}  // namespace tarnex
