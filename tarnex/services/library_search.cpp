#include "services/library_search.h"

#include <windows.h>

#include "vrel/module_exports.h"

namespace tarnex {
namespace {

bool restricted = false;

}  // namespace

bool RestrictLibrarySearch() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return false;
    // Looked up at run time: Windows XP and an unpatched Windows 7 lack them.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
    const auto setDefault = vrel::Export<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    const auto setDirectory = vrel::Export<SetDllDirectoryFn>(kernel, "SetDllDirectoryW");
    // An empty text takes the current folder out of the search order.
    if (setDirectory != nullptr) setDirectory(L"");
    restricted = setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    return restricted;
}

bool LibrarySearchRestricted() { return restricted; }

}  // namespace tarnex
