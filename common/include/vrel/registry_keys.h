// Registry keys named the way the package and the servers name them: a root
// by its index, and whole trees deleted.
#pragma once

#include <windows.h>

#include <string>

#include "vrel/unique_handle.h"

namespace vrel {

// 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_USER, 3 HKEY_LOCAL_MACHINE,
// 4 HKEY_USERS; any other number gives nullptr, and every registry call
// made with it fails.
inline HKEY RootKeyOfIndex(int rootIndex) {
    switch (rootIndex) {
        case 1: return HKEY_CLASSES_ROOT;
        case 2: return HKEY_CURRENT_USER;
        case 3: return HKEY_LOCAL_MACHINE;
        case 4: return HKEY_USERS;
        default: return nullptr;
    }
}

// Whether a key that is not there counts as deleted (a server removing its
// own entries) or as a failure (an installer asked to delete what it wrote).
enum class MissingKey { Fails, IsDeleted };

namespace registry_calls {
// The ANSI and UTF-16 forms of the calls a tree deletion makes.
inline LONG Open(HKEY parent, const char* path, REGSAM access, HKEY* key) {
    return ::RegOpenKeyExA(parent, path, 0, access, key);
}
inline LONG Open(HKEY parent, const wchar_t* path, REGSAM access, HKEY* key) {
    return ::RegOpenKeyExW(parent, path, 0, access, key);
}
inline LONG FirstSubkey(HKEY key, char* name, DWORD* length) {
    return ::RegEnumKeyExA(key, 0, name, length, nullptr, nullptr, nullptr, nullptr);
}
inline LONG FirstSubkey(HKEY key, wchar_t* name, DWORD* length) {
    return ::RegEnumKeyExW(key, 0, name, length, nullptr, nullptr, nullptr, nullptr);
}
inline LONG Delete(HKEY parent, const char* path) { return ::RegDeleteKeyA(parent, path); }
inline LONG Delete(HKEY parent, const wchar_t* path) { return ::RegDeleteKeyW(parent, path); }
}  // namespace registry_calls

// Deletes path below parent with everything under it, each key opened with
// access; ERROR_SUCCESS, or the first error met (the key then stays, with
// what was not yet deleted below it). RegDeleteKey deletes only a key
// without subkeys, so the first subkey is deleted again and again until none
// is left. A key name is at most 255 characters.
template <typename Char>
LONG DeleteKeyTree(HKEY parent, const std::basic_string<Char>& path, REGSAM access, MissingKey missing) {
    const auto gone = [missing](LONG error) {
        return error == ERROR_FILE_NOT_FOUND && missing == MissingKey::IsDeleted ? ERROR_SUCCESS : error;
    };
    {
        unique_hkey key;
        LONG error = registry_calls::Open(parent, path.c_str(), access, key.put());
        if (error != ERROR_SUCCESS) return gone(error);
        Char name[256];
        for (;;) {
            // The full capacity on every call: a shorter name enumerated
            // before must not limit the next one.
            DWORD length = static_cast<DWORD>(sizeof name / sizeof name[0]);
            error = registry_calls::FirstSubkey(key.get(), name, &length);
            if (error == ERROR_NO_MORE_ITEMS) break;
            if (error != ERROR_SUCCESS) return error;
            error = DeleteKeyTree(key.get(), std::basic_string<Char>(name, length), access, missing);
            if (error != ERROR_SUCCESS) return error;
        }
    }
    return gone(registry_calls::Delete(parent, path.c_str()));
}

}  // namespace vrel
