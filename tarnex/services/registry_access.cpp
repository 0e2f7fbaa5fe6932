#include "services/registry_access.h"

#include <cstring>

#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

vrel::unique_hkey OpenKey(int root, const std::wstring& subKey, REGSAM access) {
    vrel::unique_hkey key;
    const HKEY rootKey = vrel::RootKeyOfIndex(root);
    if (rootKey == nullptr) return key;
    if (::RegOpenKeyExW(rootKey, subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

}  // namespace

DWORD RegTypeOfIndex(int typeIndex) {
    switch (typeIndex) {
        case 0: return REG_SZ;
        case 1: return REG_BINARY;
        case 2: return REG_DWORD;
        default: return REG_NONE;
    }
}

int SetRegValue(int root, const std::wstring& subKey, const std::wstring& valueName, const void* data, DWORD size,
                DWORD type) {
    vrel::unique_hkey key = OpenKey(root, subKey, KEY_SET_VALUE);
    if (!key) {
        const HKEY rootKey = vrel::RootKeyOfIndex(root);
        if (rootKey == nullptr) return 0;
        if (::RegCreateKeyExW(rootKey, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                              key.put(), nullptr) != ERROR_SUCCESS)
            return 0;
    }
    return ::RegSetValueExW(key.get(), valueName.c_str(), 0, type & 0xFF, static_cast<const BYTE*>(data), size) ==
                   ERROR_SUCCESS
               ? 1
               : 0;
}

int QueryRegValue(int root, const std::wstring& subKey, const std::wstring& valueName, std::vector<BYTE>& data,
                  DWORD expectedType) {
    vrel::unique_hkey key = OpenKey(root, subKey, KEY_QUERY_VALUE);
    if (!key) return 0;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
    if ((type & 0xFF) != (expectedType & 0xFF)) return 0;
    std::vector<BYTE> buffer(size);
    DWORD read = size;
    if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, size ? buffer.data() : nullptr, &read) !=
        ERROR_SUCCESS)
        return 0;
    buffer.resize(read);
    data = std::move(buffer);
    return 1;
}

int SetRegText(int root, const std::wstring& subKey, const std::wstring& valueName, const std::wstring& text) {
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return SetRegValue(root, subKey, valueName, text.c_str(), bytes, REG_SZ);
}

int QueryRegText(int root, const std::wstring& subKey, const std::wstring& valueName, std::wstring& text) {
    std::vector<BYTE> data;
    if (!QueryRegValue(root, subKey, valueName, data, REG_SZ)) return 0;
    // The data need not be terminated, nor even of whole characters.
    std::wstring value(data.size() / sizeof(wchar_t), L'\0');
    if (!value.empty()) memcpy(value.data(), data.data(), value.size() * sizeof(wchar_t));
    const std::size_t end = value.find(L'\0');
    if (end != std::wstring::npos) value.resize(end);
    text = std::move(value);
    return 1;
}

int DeleteRegTree(int root, const std::wstring& subKey) {
    // An empty path would name the root itself: a package key written as a
    // bare root index must never wipe a whole hive.
    if (subKey.find_first_not_of(L'\\') == std::wstring::npos) return 0;
    const HKEY rootKey = vrel::RootKeyOfIndex(root);
    if (rootKey == nullptr) return 0;
    return vrel::DeleteKeyTree(rootKey, subKey, KEY_ALL_ACCESS, vrel::MissingKey::Fails) == ERROR_SUCCESS ? 1 : 0;
}

int DeleteRegValue(int root, const std::wstring& subKey, const std::wstring& valueName) {
    vrel::unique_hkey key = OpenKey(root, subKey, KEY_ALL_ACCESS);
    if (!key) return 0;
    ::RegDeleteValueW(key.get(), valueName.c_str());
    return 1;
}

int RegKeyExists(int root, const std::wstring& subKey) {
    return OpenKey(root, subKey, KEY_READ) ? 1 : 0;
}

}  // namespace tarnex
