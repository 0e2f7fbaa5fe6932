// The full path of a loaded module, however long.
#pragma once

#include <windows.h>

#include <string>

namespace vrel {

namespace module_path_calls {
inline DWORD Get(HMODULE module, wchar_t* path, DWORD size) { return ::GetModuleFileNameW(module, path, size); }
inline DWORD Get(HMODULE module, char* path, DWORD size) { return ::GetModuleFileNameA(module, path, size); }
}  // namespace module_path_calls

// "" when the system cannot tell. GetModuleFileName truncates silently to
// the buffer, so the buffer grows until the name fits. The ANSI form is the
// name as ANSI callers (a server's registration entries) write it.
template <typename Char>
std::basic_string<Char> ModulePathOf(HMODULE module) {
    std::basic_string<Char> path(MAX_PATH, Char());
    for (;;) {
        const DWORD n = module_path_calls::Get(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

inline std::wstring ModulePath(HMODULE module) { return ModulePathOf<wchar_t>(module); }
inline std::string AnsiModulePath(HMODULE module) { return ModulePathOf<char>(module); }

}  // namespace vrel
