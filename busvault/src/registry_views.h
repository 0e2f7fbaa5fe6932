// The two registry views of a 64-bit Windows. Each build of the server
// registers its class in the view of its own bitness (CLSID is redirected),
// while the ProgIDs and the type library's keys are shared by both views
// (Windows 7 and later; Wine 10 likewise). Unregistering one build must
// leave those shared keys to the other build until the last one goes.
#pragma once

#include <windows.h>

namespace busvault {

// The registry-access flag of the other view: KEY_WOW64_32KEY in the 64-bit
// build, KEY_WOW64_64KEY in the 32-bit build on a 64-bit Windows; 0 on a
// 32-bit Windows, which has one view only.
REGSAM OtherRegistryView();

// True when the other view still registers the class: the other build's
// registration then keeps the shared keys.
bool OtherBuildRegistered();

}  // namespace busvault
