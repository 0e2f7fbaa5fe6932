// Applies the server's registration script (its "REGISTRY" resource) under
// HKEY_CLASSES_ROOT, registering or removing.
#pragma once

#include <windows.h>

namespace busvault {

HRESULT ApplyRegistrationScript(HINSTANCE module, bool registering);

}  // namespace busvault
