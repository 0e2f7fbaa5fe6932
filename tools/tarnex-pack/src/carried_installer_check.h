// The installer a single-file package carries, checked where it lies inside
// the single file: its own seal must describe the package the index lists,
// since that seal is what the unpacked installer checks its folder against.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "portable/package_seal.h"

namespace pack {

// The installer is the index's entry installer, starting at offset in the
// open single file (shown in the report as singleName). Its seal is read by
// offset (image end, seal trailer, seal text; never the whole single file)
// and held against index: the same description, every sealed file in the
// index with the same size and SHA-256, and no file in the index beyond the
// sealed ones and the installer itself. A signed installer's signature is
// checked on a copy of its bytes in a folder of our own. Each finding is one
// line of report; true when all holds.
bool CheckCarriedInstaller(HANDLE singleFile, const std::wstring& singleName, const tarnex::PackageSeal& index,
                           const tarnex::SealedFile& installer, std::uint64_t offset, std::vector<std::wstring>& report);

}  // namespace pack
