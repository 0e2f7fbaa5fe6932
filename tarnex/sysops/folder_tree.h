// Folder creation for the system operations: every missing parent of an
// absolute path, quietly (a failure shows up when the file is written).
#pragma once

#include <string>

namespace tarnex {

// Creates folder (with or without a trailing backslash) and its missing
// parents. True when the folder exists afterwards.
bool CreateFolderTree(const std::wstring& folder);

// The part of path up to, not including, its last backslash ("" without one).
std::wstring FolderOf(const std::wstring& path);

}  // namespace tarnex
