// Applies the server's registration script (its "REGISTRY" resource) under
// HKEY_CLASSES_ROOT. Removing with keepShared leaves the script's shared
// keys to the build of the other bitness.
#pragma once

#include <windows.h>

namespace busvault {

HRESULT RegisterByScript(HINSTANCE module);
HRESULT UnregisterByScript(HINSTANCE module, bool keepShared);

}  // namespace busvault
