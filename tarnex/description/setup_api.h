// The setup API's INF parser, taken from the system folder's setupapi.dll by
// its full path when first needed. On Windows XP setupapi.dll is not one of
// the libraries that Windows always loads from the system folder, so a static
// import would let a setupapi.dll beside the installer (a downloads folder)
// run inside it before the first line of the program.
#pragma once

#include <windows.h>
#include <setupapi.h>

namespace tarnex {

struct SetupApi {
    decltype(&::SetupOpenInfFileW) OpenInfFileW = nullptr;
    decltype(&::SetupCloseInfFile) CloseInfFile = nullptr;
    decltype(&::SetupGetLineCountW) GetLineCountW = nullptr;
    decltype(&::SetupFindFirstLineW) FindFirstLineW = nullptr;
    decltype(&::SetupFindNextLine) FindNextLine = nullptr;
    decltype(&::SetupGetLineTextW) GetLineTextW = nullptr;
    decltype(&::SetupGetStringFieldW) GetStringFieldW = nullptr;

    // All or nothing: false when the library or any function is missing.
    bool Loaded() const { return GetStringFieldW != nullptr; }
};

// Loaded once for the process, on the first call from any thread.
const SetupApi& Setup();

}  // namespace tarnex
