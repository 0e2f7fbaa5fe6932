#include "sysops/reg_file_import.h"

#include <windows.h>

#include <vector>

#include "portable/byte_order_mark.h"
#include "portable/reg5_file_reader.h"
#include "portable/reg_file_reader.h"
#include "portable/reg_value_parse.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "vrel/registry_keys.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

constexpr char kDefaultName[] = "(Default)";

// Creates or opens the key below a known root; a path that does not stay
// below its root is refused and logged.
vrel::unique_hkey OpenForWriting(const std::string& keyPath) {
    vrel::unique_hkey key;
    const std::optional<RegKeyPath> split = SplitRegKeyPath(keyPath);
    if (!split) {
        WriteLogF(L"Refused registry key: %s", vrel::ToWide(keyPath).c_str());
        return key;
    }
    if (::RegCreateKeyExA(vrel::RootKeyOfIndex(split->root), split->subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        key.reset();
    return key;
}

// The Version 5 form of OpenForWriting: the same roots and refusals, the
// key created through the UTF-16 call.
vrel::unique_hkey OpenForWritingW(const std::wstring& keyPath) {
    vrel::unique_hkey key;
    const std::optional<RegKeyPath> split = SplitRegKeyPath(vrel::ToNarrow(keyPath, CP_UTF8));
    if (!split) {
        WriteLogF(L"Refused registry key: %s", keyPath.c_str());
        return key;
    }
    if (::RegCreateKeyExW(vrel::RootKeyOfIndex(split->root), vrel::ToWide(split->subKey, CP_UTF8).c_str(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        key.reset();
    return key;
}

class Reg5RegistrySink : public Reg5Sink {
public:
    bool CreateKey(const std::wstring& keyPath) override { return static_cast<bool>(OpenForWritingW(keyPath)); }
    bool SetValue(const std::wstring& keyPath, const std::wstring& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override {
        const vrel::unique_hkey key = OpenForWritingW(keyPath);
        return key && ::RegSetValueExW(key.get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) ==
                          ERROR_SUCCESS;
    }
    void SkipDeletion(const std::wstring& line) override {
        WriteLogF(L"REG file line not carried out (the importer never deletes): %s", line.c_str());
    }
};

// A Version 5 file is read whole; one larger than this is no REG file a
// package carries.
constexpr LONGLONG kLargestReg5File = 64 * 1024 * 1024;

// True with the text (without its byte-order mark) when the file is UTF-16
// little-endian and starts with the Version 5 header.
bool ReadReg5File(HANDLE file, std::wstring& text) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 2 || size.QuadPart > kLargestReg5File) return false;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return false;
    bytes.resize(read);
    const MarkedText marked = ReadByteOrderMark(bytes);
    if (marked.coding != TextCoding::Utf16Le) return false;
    text = Utf16Units(marked.body, false);
    return IsReg5Text(text);
}

bool SetValue(HKEY key, const std::string& name, DWORD type, const void* data, std::size_t size) {
    return ::RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)) ==
           ERROR_SUCCESS;
}

class FileSource : public RegByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file), buffer_(64 * 1024) {}
    int Next() override {
        if (at_ == filled_) {
            if (ended_) return -1;
            DWORD read = 0;
            if (!::ReadFile(file_, buffer_.data(), static_cast<DWORD>(buffer_.size()), &read, nullptr) || read == 0) {
                ended_ = true;
                return -1;
            }
            at_ = 0;
            filled_ = read;
        }
        return buffer_[at_++];
    }

private:
    HANDLE file_;
    std::vector<unsigned char> buffer_;
    std::size_t at_ = 0, filled_ = 0;
    bool ended_ = false;
};

class RegistrySink : public RegSink {
public:
    bool WriteRegValue(const std::string& k, const std::string& n, const std::string& d, RegWriteKind kind) override {
        return tarnex::WriteRegValue(k, n, d, kind);
    }
    bool WriteEmptyRegValue(const std::string& k, const std::string& n, RegWriteKind kind) override {
        return tarnex::WriteEmptyRegValue(k, n, kind);
    }
};

}  // namespace

bool WriteRegValue(const std::string& keyPath, const std::string& name, const std::string& data, RegWriteKind kind) {
    vrel::unique_hkey key = OpenForWriting(keyPath);
    if (!key) return false;
    std::string valueName = UnescapeRegText(name);
    switch (kind) {
    case RegWriteKind::String: {
        if (valueName == kDefaultName) valueName.clear();
        const std::string text = UnescapeRegText(data);
        // The byte count is the text without its terminator.
        return SetValue(key.get(), valueName, REG_SZ, text.c_str(), text.size());
    }
    case RegWriteKind::DoubleWord: {
        const std::optional<std::uint32_t> value = ParseRegDword(data);
        if (!value) return false;
        const DWORD dword = *value;
        return SetValue(key.get(), valueName, REG_DWORD, &dword, sizeof dword);
    }
    case RegWriteKind::Binary: {
        const std::optional<std::vector<std::uint8_t>> bytes = ParseRegBinary(data);
        if (!bytes) return false;
        return SetValue(key.get(), valueName, REG_BINARY, bytes->data(), bytes->size());
    }
    case RegWriteKind::KeyOnly:
        return true;
    }
    return false;
}

bool WriteEmptyRegValue(const std::string& keyPath, const std::string& name, RegWriteKind kind) {
    vrel::unique_hkey key = OpenForWriting(keyPath);
    if (!key) return false;
    std::string valueName = UnescapeRegText(name);
    switch (kind) {
    case RegWriteKind::String:
        if (valueName == kDefaultName) valueName.clear();
        return SetValue(key.get(), valueName, REG_SZ, "", 1);
    case RegWriteKind::Binary:
        return SetValue(key.get(), valueName, REG_BINARY, "", 0);
    case RegWriteKind::KeyOnly:
        return true;
    case RegWriteKind::DoubleWord:
        return false;
    }
    return false;
}

bool ImportRegFile(const std::wstring& path, std::optional<Failure>& failure) {
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        failure = Failure{Question::kRegFileCannotOpen, path, {}};
        return false;
    }
    std::wstring text;
    if (ReadReg5File(file.get(), text)) {
        Reg5RegistrySink sink;
        return ReadReg5Text(text, sink);
    }
    // Any other file is REGEDIT4 text, read byte by byte from its start.
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) return false;
    FileSource source(file.get());
    RegistrySink sink;
    return ReadRegText(source, sink);
}

}  // namespace tarnex
