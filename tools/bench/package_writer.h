// Packages of a given size for the loading benchmark: a description file and
// user INF files with N components of ten files each, either all in one INF
// file or one INF file per component.
#pragma once

#include <string>

namespace bench {

enum class InfLayout { OneFile, FilePerComponent };

// Writes the package into folder (ending in a backslash). False when a file
// cannot be written.
bool WritePackage(const std::wstring& folder, int components, InfLayout layout);

}  // namespace bench
