// What a package folder holds by fixed name and convention: the packer
// writes these and the installer reads them, so both take them from here.
#pragma once

#include <cstdint>

namespace tarnex {

// In a description's folder fields: the install folder the user chose.
inline constexpr wchar_t kInstallFolderVariable[] = L"%65600%";

// Files of the package folder that the wizard shows.
inline constexpr wchar_t kLicenceFile[] = L"license.txt";
inline constexpr wchar_t kBackgroundPictureFile[] = L"bgrVREL.jpg";

// Microsoft Access variants of a package file: the chosen version's files
// are installed, the other version's passed over (case-sensitive prefixes).
inline constexpr wchar_t kAccess97Prefix[] = L"97_";
inline constexpr wchar_t kAccess2000Prefix[] = L"2000_";

// The component tree's deepest level (0 is the top): four levels at most.
inline constexpr std::int32_t kDeepestTreeLevel = 3;

}  // namespace tarnex
