// Files of the system folder named by their full path. A program that runs
// with administrator rights from a folder of strangers' files must never let
// a search find a library or a program for it: a file of the same name in
// the program's folder or the current folder would be taken first.
#pragma once

#include <windows.h>

#include <string>

#include "vrel/unique_handle.h"

namespace vrel {

// "C:\..." or "\\server\...": a path that no search or current folder completes.
inline bool IsFullPath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))
        return (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
}

// "C:\Windows\system32\" + name, or "" when the system cannot tell its folder.
inline std::wstring SystemFolderFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path(folder, n);
    if (path.back() != L'\\') path += L'\\';
    return path + name;
}

// Loads a library of the system folder by its full path; its own imports are
// looked for in that folder first. Empty when it cannot be loaded; a library
// kept for the rest of the process is released from its owner on purpose.
inline unique_hmodule LoadSystemLibrary(const wchar_t* name) {
    const std::wstring path = SystemFolderFile(name);
    if (path.empty()) return unique_hmodule();
    return unique_hmodule(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace vrel
