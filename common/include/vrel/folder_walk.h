// What a folder holds: the files directly in it, and a walk through
// everything below it, deepest first, for the removals
// that must take the files out before the folders that hold them (a
// folder's removal, or its deletion left to the next start of Windows).
// A link to a folder (a junction, a symbolic link) is visited as an entry of
// its own and never entered: a removal takes the link, not what it points
// to.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vrel/unique_handle.h"

namespace vrel {

// Calls visit(path, attributes) for every file and folder below folder (a
// full path, with or without its backslash), each folder after everything
// in it; folder itself is not visited. path has no trailing backslash.
template <typename Visit>
void WalkFolderDeepestFirst(const std::wstring& folder, Visit&& visit) {
    const std::wstring base = !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
    WIN32_FIND_DATAW data{};
    unique_hfind find(::FindFirstFileW((base + L"*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = base + name;
        const DWORD attributes = data.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            WalkFolderDeepestFirst(path, visit);
        visit(path, attributes);
    } while (::FindNextFileW(find.get(), &data));
}

// The names of the files directly in folder (a full path, with or without
// its backslash), folders left out, in ordinal order.
inline std::vector<std::wstring> FileNamesIn(const std::wstring& folder) {
    const std::wstring base = !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    unique_hfind find(::FindFirstFileW((base + L"*").c_str(), &data));
    if (!find) return names;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(data.cFileName);
    } while (::FindNextFileW(find.get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

// Deletes one entry the walk visited: a folder (or a link to one) that is
// empty by now, or a file, read-only or not. False when it stays.
inline bool DeleteWalkedEntry(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ::RemoveDirectoryW(path.c_str()) != FALSE;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

}  // namespace vrel
