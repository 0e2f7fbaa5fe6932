#include "registry_views.h"

#include <objbase.h>

#include <string>

#include "busvault.h"
#include "vrel/unique_handle.h"

namespace busvault {

REGSAM OtherRegistryView() {
    if (sizeof(void*) == 8) return KEY_WOW64_32KEY;
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
}

bool OtherBuildRegistered() {
    const REGSAM view = OtherRegistryView();
    if (view == 0) return false;
    wchar_t classId[40] = {};
    if (!::StringFromGUID2(CLSID_BusvaultStore, classId, 40)) return false;
    const std::wstring path = std::wstring(L"CLSID\\") + classId + L"\\InprocServer32";
    vrel::unique_hkey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

}  // namespace busvault
