// The version resource functions, taken from the system folder's version.dll
// by its full path when first needed. version.dll is not one of the
// libraries Windows always loads from the system folder: imported statically,
// a version.dll lying beside the installer would run inside it.
#pragma once

#include <windows.h>

namespace tarnex {

struct VersionApi {
    decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW = nullptr;
    decltype(&::GetFileVersionInfoW) GetFileVersionInfoW = nullptr;
    decltype(&::VerQueryValueW) VerQueryValueW = nullptr;

    // All or nothing: false when the library or any function is missing.
    bool Loaded() const { return VerQueryValueW != nullptr; }
};

// Loaded once for the process, on the first call from any thread.
const VersionApi& Version();

}  // namespace tarnex
