#include "description/inf_file.h"

#include <vector>

#include "description/setup_api.h"
#include "portable/inf_schema.h"
#include "portable/path_guard.h"
#include "services/message_box.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {


// Names and paths go to the setup API as UTF-16 texts of at most 259
// characters. A longer one is not passed on cut: it would name another
// section or file. The operation fails instead. (A UTF-16 INF file is read
// exactly on every system; an ANSI one the setup API reads in the system's
// code page, as it always did.)
bool FitsName(std::wstring_view text) { return text.size() <= 259 && text.find(L'\0') == std::wstring_view::npos; }

// Most texts fit this buffer, so a field or a line is read with one call; a
// longer one is read again into a buffer of the size the first call
// reported. The setup API's texts end with a terminator; the result stops
// at the first one.
constexpr DWORD kShortText = 512;

template <typename Read>
bool ReadText(Read read, std::wstring& text) {
    wchar_t buffer[kShortText];
    DWORD required = 0;
    if (read(buffer, kShortText, &required)) {
        buffer[kShortText - 1] = L'\0';
        text.assign(buffer);
        return true;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required == 0) return false;
    std::vector<wchar_t> large(required);
    if (!read(large.data(), required, nullptr)) return false;
    large.back() = L'\0';
    text.assign(large.data());
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
bool ReadKey(const INFCONTEXT& context, std::wstring& key) {
    INFCONTEXT* c = const_cast<INFCONTEXT*>(&context);
    return ReadText([c](wchar_t* buffer, DWORD size, DWORD* required) {
        return Setup().GetStringFieldW(c, 0, buffer, size, required);
    }, key);
}

int ReadLineText(const INFCONTEXT& context, std::wstring& text) {
    INFCONTEXT* c = const_cast<INFCONTEXT*>(&context);
    return ReadText([c](wchar_t* buffer, DWORD size, DWORD* required) {
        return Setup().GetLineTextW(c, nullptr, nullptr, nullptr, buffer, size, required);
    }, text) ? 1 : 0;
}

}  // namespace

InfFile::InfFile() : handle_(INVALID_HANDLE_VALUE), cursors_{}, cursorValid_{}, path_{} {}

InfFile::~InfFile() { Close(); }

bool InfFile::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

int InfFile::Open(const std::wstring& path) {
    Close();
    HINF opened = INVALID_HANDLE_VALUE;
    // A device is no INF file (reading COM1 would wait for the line).
    if (Setup().Loaded() && FitsName(path) && vrel::FitsField(std::wstring_view(path), kPathField) &&
        !NamesDevice(std::wstring_view(path).substr(path.find_last_of(L"\\/") + 1)))
        opened = Setup().OpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    if (opened == INVALID_HANDLE_VALUE || opened == nullptr) {
        Ask(nullptr, Question::kInfCannotOpen, path.c_str());
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
    if (!IsOpen() || !FitsName(section)) return nullptr;
    const auto known = sections_.find(section);
    if (known != sections_.end()) return &known->second;

    SectionIndex index;
    INFCONTEXT line{};
    if (Setup().FindFirstLineW(handle_, section.c_str(), nullptr, &line)) {
        index.first = line;
        index.count = 0;
        std::wstring key;
        do {
            ++index.count;
            if (ReadKey(line, key)) index.firstLineOfKey.emplace(KeyFolded(key), line);
        } while (Setup().FindNextLine(&line, &line));
    } else {
        // No first line: an empty section, or none at all.
        const LONG count = Setup().GetLineCountW(handle_, section.c_str());
        index.count = count < 0 ? -1 : static_cast<int>(count);
    }
    return &sections_.emplace(section, std::move(index)).first->second;
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
    if (!FitsName(key)) return 0;
    const SectionIndex* index = IndexOf(section);
    if (index == nullptr) return 0;
    const auto line = index->firstLineOfKey.find(KeyFolded(key));
    if (line == index->firstLineOfKey.end()) return 0;
    return ReadLineText(line->second, text);
}

int InfFile::GetYesNo(const std::wstring& section, const std::wstring& key, std::int32_t& flag) {
    flag = 0;
    std::wstring value;
    if (!GetValue(section, key, value)) return 0;
    flag = value == inf::kYes ? 1 : 0;
    return 1;
}

}  // namespace tarnex
