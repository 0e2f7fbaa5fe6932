#include "description/inf_file.h"

#include <vector>

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

// Reads the text of a line by context, or by section and key when context is null.
int ReadLineText(HINF inf, const INFCONTEXT* context, const char* section, const char* key, std::wstring& text) {
    DWORD required = 0;
    if (!::SetupGetLineTextA(const_cast<INFCONTEXT*>(context), context ? nullptr : inf, section, key, nullptr, 0,
                             &required) ||
        required == 0)
        return 0;
    std::vector<char> ansi(required);
    if (!::SetupGetLineTextA(const_cast<INFCONTEXT*>(context), context ? nullptr : inf, section, key, ansi.data(),
                             required, nullptr))
        return 0;
    ansi.back() = '\0';
    text = vrel::ToWide(std::string_view(ansi.data()));
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
    if (ToAnsiName(path, ansiPath) && vrel::FitsField(std::wstring_view(path), kPathField) &&
        !NamesDevice(std::wstring_view(path).substr(path.find_last_of(L"\\/") + 1)))
        opened = ::SetupOpenInfFileA(ansiPath.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    if (opened == INVALID_HANDLE_VALUE || opened == nullptr) {
        ShowMessage(nullptr, FormatText(kStrCannotOpenInf, path.c_str()), kErrorBox);
        return 0;
    }
    handle_ = opened;
    vrel::CopyToField(path_, std::wstring_view(path));
    return 1;
}

void InfFile::Close() {
    if (IsOpen()) ::SetupCloseInfFile(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    cursorValid_[0] = cursorValid_[1] = false;
}

int InfFile::GetLineCount(const std::wstring& section) {
    std::string name;
    if (!IsOpen() || !ToAnsiName(section, name)) return -1;
    const LONG count = ::SetupGetLineCountA(handle_, name.c_str());
    return count < 0 ? -1 : static_cast<int>(count);
}

int InfFile::FindFirstLine(const std::wstring& section, std::wstring& text, int slot) {
    std::string name;
    if (!IsOpen() || slot < 0 || slot >= kSlots || !ToAnsiName(section, name)) return 0;
    INFCONTEXT context{};
    if (!::SetupFindFirstLineA(handle_, name.c_str(), nullptr, &context)) return 0;
    cursors_[slot] = context;
    cursorValid_[slot] = true;
    return ReadLineText(handle_, &cursors_[slot], nullptr, nullptr, text);
}

int InfFile::FindNextLine(std::wstring& text, int slot) {
    if (!IsOpen() || slot < 0 || slot >= kSlots || !cursorValid_[slot]) return 0;
    INFCONTEXT next{};
    // At the end of the section the cursor stays on the last line.
    if (!::SetupFindNextLine(&cursors_[slot], &next)) return 0;
    cursors_[slot] = next;
    return ReadLineText(handle_, &cursors_[slot], nullptr, nullptr, text);
}

int InfFile::GetValue(const std::wstring& section, const std::wstring& key, std::wstring& text) {
    std::string sectionName, keyName;
    if (!IsOpen() || !ToAnsiName(section, sectionName) || !ToAnsiName(key, keyName)) return 0;
    return ReadLineText(handle_, nullptr, sectionName.c_str(), keyName.c_str(), text);
}

int InfFile::GetYesNo(const std::wstring& section, const std::wstring& key, std::int32_t& flag) {
    flag = 0;
    std::wstring value;
    if (!GetValue(section, key, value)) return 0;
    flag = value == L"Yes" ? 1 : 0;
    return 1;
}

}  // namespace tarnex
