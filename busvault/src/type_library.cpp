#include "type_library.h"

#include <oleauto.h>

#include <string>

#include "busvault.h"
#include "registry_views.h"
#include "vrel/com_ptr.h"
#include "vrel/module_path.h"
#include "vrel/unique_handle.h"

namespace busvault {
namespace {

constexpr WORD kMajor = 1, kMinor = 0;
constexpr LCID kNeutral = 0;
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

// Deletes a key of HKEY_CLASSES_ROOT with its tree, in the registry view
// given (0: the process's own); a missing key is no error.
HRESULT DeleteTree(const std::wstring& path, REGSAM view) {
    const std::size_t slash = path.rfind(L'\\');
    vrel::unique_hkey parent;
    LONG error = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.substr(0, slash).c_str(), 0, KEY_READ | KEY_WRITE | view, parent.put());
    if (error == ERROR_SUCCESS) error = ::RegDeleteTreeW(parent.get(), path.substr(slash + 1).c_str());
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT RegisterTypeLibrary(HINSTANCE module) {
    const std::wstring path = vrel::ModulePath(module);
    if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
    vrel::ComPtr<ITypeLib> library;
    if (const HRESULT result = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()); FAILED(result))
        return result;
    return ::RegisterTypeLib(library.get(), const_cast<LPOLESTR>(path.c_str()), nullptr);
}

HRESULT UnregisterTypeLibrary(bool keepShared) {
    // UnRegisterTypeLib fails for a library that is not registered for this
    // bitness (Wine: E_INVALIDARG), and QueryPathOfRegTypeLib would find the
    // other bitness's registration: look for this bitness's own key. It also
    // removes the automation interface's keys from both views (measured under
    // Wine 10), which the other build's clients still need.
    wchar_t libraryId[40] = {}, interfaceId[40] = {};
    if (!::StringFromGUID2(LIBID_BusvaultLib, libraryId, 40) ||
        !::StringFromGUID2(IID_IBusvaultAutomation, interfaceId, 40))
        return E_UNEXPECTED;
    const std::wstring library = std::wstring(L"TypeLib\\") + libraryId;
    const std::wstring own = library + (kSysKind == SYS_WIN64 ? L"\\1.0\\0\\win64" : L"\\1.0\\0\\win32");
    if (keepShared) return DeleteTree(own, 0);
    HRESULT result = S_OK;
    vrel::unique_hkey registered;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, own.c_str(), 0, KEY_READ, registered.put()) == ERROR_SUCCESS) {
        registered.reset();
        result = ::UnRegisterTypeLib(LIBID_BusvaultLib, kMajor, kMinor, kNeutral, kSysKind);
    }
    // What UnRegisterTypeLib leaves: the library's key once another build's
    // entry was removed before it, and the interface's key in a view it did
    // not touch.
    const HRESULT rest = DeleteTree(library, 0);
    const std::wstring interfaceKey = std::wstring(L"Interface\\") + interfaceId;
    const HRESULT ownInterface = DeleteTree(interfaceKey, 0);
    const HRESULT otherInterface =
        OtherRegistryView() ? DeleteTree(interfaceKey, OtherRegistryView()) : S_OK;
    for (const HRESULT step : {rest, ownInterface, otherInterface})
        if (SUCCEEDED(result) && FAILED(step)) result = step;
    return result;
}

}  // namespace busvault
