// Folder creation for the system operations: every missing parent of an
// absolute path, quietly (a failure shows up when the file is written).
#pragma once

#include <string>

#include "vrel/path_parts.h"

namespace tarnex {

// Creates folder (with or without a trailing backslash) and its missing
// parents. True when the folder exists afterwards.
bool CreateFolderTree(const std::wstring& folder);

// The folder of a file's path, as CreateFolderTree takes it.
using vrel::FolderOf;

}  // namespace tarnex
