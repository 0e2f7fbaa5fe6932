#include "type_library.h"

#include <oleauto.h>

#include <string>

#include "busvault.h"
#include "vrel/com_ptr.h"
#include "vrel/module_path.h"
#include "vrel/unique_handle.h"

namespace busvault {
namespace {

constexpr WORD kMajor = 1, kMinor = 0;
constexpr LCID kNeutral = 0;
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

}  // namespace

HRESULT RegisterTypeLibrary(HINSTANCE module) {
    const std::wstring path = vrel::ModulePath(module);
    if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
    vrel::ComPtr<ITypeLib> library;
    if (const HRESULT result = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()); FAILED(result))
        return result;
    return ::RegisterTypeLib(library.get(), const_cast<LPOLESTR>(path.c_str()), nullptr);
}

HRESULT UnregisterTypeLibrary() {
    // UnRegisterTypeLib fails for a library that is not registered for this
    // bitness (Wine: E_INVALIDARG), and QueryPathOfRegTypeLib would find the
    // other bitness's registration: look for this bitness's own key.
    wchar_t libraryId[40] = {};
    if (!::StringFromGUID2(LIBID_BusvaultLib, libraryId, 40)) return E_UNEXPECTED;
    const std::wstring key = std::wstring(L"TypeLib\\") + libraryId + (kSysKind == SYS_WIN64 ? L"\\1.0\\0\\win64"
                                                                                            : L"\\1.0\\0\\win32");
    vrel::unique_hkey registered;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, registered.put()) != ERROR_SUCCESS) return S_OK;
    registered.reset();
    return ::UnRegisterTypeLib(LIBID_BusvaultLib, kMajor, kMinor, kNeutral, kSysKind);
}

}  // namespace busvault
