// Reading back what the code under test wrote to the registry: a value with
// its exact type and bytes, a string value's text, whether a key is there.
// view is 0 for the caller's own view, or KEY_WOW64_32KEY / KEY_WOW64_64KEY;
// a name of nullptr or L"" is the key's default value.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "vrel/unique_handle.h"

namespace testsupport {

struct RegistryValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

inline RegistryValue ReadRegistryValue(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = 0) {
    RegistryValue value;
    vrel::unique_hkey opened;
    DWORD size = 0;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, opened.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExW(opened.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return value;
    value.bytes.resize(size);
    value.present =
        ::RegQueryValueExW(opened.get(), name, nullptr, &value.type, value.bytes.data(), &size) == ERROR_SUCCESS;
    value.bytes.resize(size);
    return value;
}

// The bytes as UTF-16 text without its closing zeros (a string stored
// without its terminator reads the same).
inline std::wstring TextOf(const RegistryValue& value) {
    std::wstring text(reinterpret_cast<const wchar_t*>(value.bytes.data()), value.bytes.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

// A REG_SZ value's text; nothing when the key or the value is missing or
// the value has another type (REG_EXPAND_SZ included).
inline std::optional<std::wstring> ReadRegistryText(HKEY root, const std::wstring& key, const wchar_t* name,
                                                    REGSAM view = 0) {
    const RegistryValue value = ReadRegistryValue(root, key, name, view);
    if (!value.present || value.type != REG_SZ) return std::nullopt;
    return TextOf(value);
}

inline bool RegistryKeyExists(HKEY root, const std::wstring& key, REGSAM view = 0) {
    vrel::unique_hkey opened;
    return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

}  // namespace testsupport
