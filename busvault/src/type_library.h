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
// With keepShared only this bitness's entry goes: the library's keys and
// the automation interface's stay for the build of the other bitness.
// Without, everything goes, from both registry views.
HRESULT UnregisterTypeLibrary(bool keepShared);

}  // namespace busvault
