// The type library in the DLL's resources (TYPELIB 1): registered beside the
// class so that automation clients find the automation interface, its enums
// and the universal marshaler for it.
#pragma once

#include <windows.h>

namespace busvault {

// RegisterTypeLib: the TypeLib key with this bitness's path, and the
// Interface key of the automation interface with the universal marshaler.
HRESULT RegisterTypeLibrary(HINSTANCE module);

// Removes what RegisterTypeLibrary wrote; nothing registered is no error.
HRESULT UnregisterTypeLibrary();

}  // namespace busvault
