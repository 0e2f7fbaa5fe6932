// Folder creation with drive checks, and removal of empty folder trees.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "services/message_box.h"

namespace tarnex {

// Creates the folder and every missing parent. The path is absolute and does
// not end with a backslash; a short path (a drive) is rewritten in place to
// its root form ("c" -> "c:\"). Nothing when the folder is there; otherwise
// what failed, kDriveTypeUnsupported, kDriveNotFound or kFolderCannotCreate
// with the path, for the caller to tell.
std::optional<Failure> CreateFolderPath(std::wstring& path);

// CreateFolderPath on a copy without a trailing backslash; true only when it
// succeeds and the path has the drive form (letter, colon, backslash). A
// path that fails without a drive form fails with nothing to tell.
bool EnsureFolder(const std::wstring& path, std::optional<Failure>& failure);

// Removes every subfolder tree below folder whose folders are all empty,
// depth first; files and the folder itself stay.
void RemoveEmptySubfolders(const std::wstring& folder);

}  // namespace tarnex
