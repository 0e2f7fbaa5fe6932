// Where the files of a package go. Step 3 writes every file under a
// temporary name beside its final one and copies the user INF files into
// the install folder; the clean-up after a cancel and steps 4, 5, 9, 10 and
// 13 find them again by the same paths, so the paths are built here alone.
#pragma once

#include <string>

#include "description/setup_description.h"

namespace tarnex {

inline constexpr wchar_t kTemporaryPrefix[] = L"vrel_";

// TargetFolder + TargetName.
std::wstring InstalledPathOf(const FileRecord& record);
// TargetFolder + "vrel_" + TargetName.
std::wstring TemporaryPathOf(const FileRecord& record);

// A record whose paths may be used: step 1 did not refuse its folder and
// its TargetName stays inside that folder. Other records are never touched.
bool FileAccepted(const FileRecord& record);

// path without the program folder in front (compared without regard to
// letter case); path itself when it lies elsewhere.
std::wstring PackageRelativePath(const std::wstring& path);

// The copy of a user INF file in the install folder: InstallFolder + its
// path relative to the program folder, "vrel_" before the file name for the
// temporary copy. "" when that relative path would leave the install
// folder: such a file is never copied, deleted or renamed.
std::wstring InfCopyPath(const SetupDescription& description, const InfFileEntry& entry, bool temporary);

}  // namespace tarnex
