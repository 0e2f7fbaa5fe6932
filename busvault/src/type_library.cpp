#include "type_library.h"

#include <oleauto.h>

#include <string>

#include "busvault.h"
#include "ole_owners.h"
#include "vrel/com_ptr.h"
#include "vrel/module_path.h"

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
    // UnRegisterTypeLib fails for a library that is not registered (Wine
    // with E_INVALIDARG), so ask first.
    BSTR registered = nullptr;
    if (FAILED(::QueryPathOfRegTypeLib(LIBID_BusvaultLib, kMajor, kMinor, kNeutral, &registered))) return S_OK;
    UniqueBstr owned(registered);
    return ::UnRegisterTypeLib(LIBID_BusvaultLib, kMajor, kMinor, kNeutral, kSysKind);
}

}  // namespace busvault
