// Folder creation with drive checks, and removal of empty folder trees.
#pragma once

#include <windows.h>

#include <string>

namespace tarnex {

// Creates the folder and every missing parent. The path is absolute and does
// not end with a backslash; a short path (a drive) is rewritten in place to
// its root form ("c" -> "c:\"). Shows kDriveTypeUnsupported, kDriveNotFound or kFolderCannotCreate to owner on
// failure and returns 0.
int CreateFolderPath(HWND owner, std::wstring& path);

// CreateFolderPath on a copy without a trailing backslash; 1 only when it
// succeeds and the path has the drive form (letter, colon, backslash).
int EnsureFolder(HWND owner, const std::wstring& path);

// Removes every subfolder tree below folder whose folders are all empty,
// depth first; files and the folder itself stay.
void RemoveEmptySubfolders(const std::wstring& folder);

}  // namespace tarnex
