// The full path of a loaded module, however long.
#pragma once

#include <windows.h>

#include <string>

namespace vrel {

// "" when the system cannot tell. GetModuleFileNameW truncates silently to
// the buffer, so the buffer grows until the name fits.
inline std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace vrel
