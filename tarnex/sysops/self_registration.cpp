#include "sysops/self_registration.h"

#include <windows.h>

#include <cwchar>

#include "services/library_search.h"
#include "services/setup_log.h"
#include "sysops/guarded_call.h"
#include "sysops/hidden_process.h"
#include "sysops/module_bits.h"
#include "sysops/native_registrar.h"
#include "vrel/module_exports.h"
#include "vrel/path_parts.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

struct ServiceHandleTraits {
    using pointer = SC_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::CloseServiceHandle(h); }
};
using unique_service = vrel::UniqueHandle<ServiceHandleTraits>;

constexpr DWORD kServiceStopAccess = 0x10021;  // SERVICE_QUERY_CONFIG | SERVICE_STOP | DELETE

bool CallRegistrationExport(const std::wstring& path, bool registering) {
    const wchar_t* const exportName = registering ? L"DllRegisterServer" : L"DllUnregisterServer";
    std::wstring text = L"OK";
    vrel::unique_hmodule module;
    const unsigned bits = ModuleBits(path);
    if (bits == 64 && OwnBits() == 32 && NativeRegistrarAvailable()) {
        text = RegisterByNativeRegsvr32(path, registering);
    } else if (bits != 0 && bits != OwnBits()) {
        // The system would refuse it with a vague "bad image"; the log says why.
        text = L"Don't load a " + std::to_wstring(bits) + L"-bit module into the " + std::to_wstring(OwnBits()) +
               L"-bit installer";
    } else {
        // The path is the package file's installed full path. The libraries
        // beside the server are found for its imports (its own folder
        // first), then the system folder's; where the program restricted the
        // search, nothing else is searched. The process's current folder
        // stays as it is: the user-interface thread shares it.
        const DWORD search = LibrarySearchRestricted() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                                       : LOAD_WITH_ALTERED_SEARCH_PATH;
        module.reset(::LoadLibraryExW(path.c_str(), nullptr, search));
        if (!module) text = L"Don't load module by LoadLibrary";
    }
    if (module) {
        const auto function = vrel::Export<RegistrationFunction>(
            module.get(), registering ? "DllRegisterServer" : "DllUnregisterServer");
        if (function == nullptr) {
            text = std::wstring(L"Don't find function ") + exportName;
        } else {
            HRESULT result = S_OK;
            DWORD code = 0;
            if (!CallGuarded(function, result, code))
                text = std::wstring(exportName) + L" function evoked exception";
            else if (result != S_OK)
                text = RegistrationResultText(result, registering);
        }
    }
    WriteLogF(registering ? L"Registration DLL/OCX. Result: %s. %s" : L"DeRegistration DLL/OCX. Result: %s. %s",
              text.c_str(), path.c_str());
    return text == L"OK";
}

// Runs path with its switch hidden and waits for it; neither the start nor
// the exit code is examined.
void RunWithSwitch(const std::wstring& path, const wchar_t* switchText) {
    RunHiddenAndWait(path, L"\"" + path + L"\" " + switchText, vrel::FolderOf(path), CREATE_DEFAULT_ERROR_MODE, nullptr);
}

}  // namespace

std::wstring RegistrationResultText(long result, bool registering) {
    const unsigned long code = static_cast<unsigned long>(result);
    if (code == 0) return L"OK";
    if (code == 0x80040200UL) return L"SELFREG_E_TYPELIB";
    if (code == 0x80040201UL) return L"SELFREG_E_CLASS";
    if (registering) {
        if (code == 0x8007000EUL) return L"E_OUTOFMEMORY";
        if (code == 0x80004001UL) return L"E_NOTIMPL";
        if (code == 0x8000FFFFUL) return L"E_UNEXPECTED";
    } else if (code == 1) {
        return L"S_FALSE";
    }
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"%lXh", code);
    return text;
}

std::wstring ServiceNameOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring file = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return file.substr(0, file.find(L'.'));
}

bool RegisterDll(const std::wstring& path) { return CallRegistrationExport(path, true); }
bool UnregisterDll(const std::wstring& path) { return CallRegistrationExport(path, false); }

void RegisterExe(const std::wstring& path, ExeKind kind) {
    RunWithSwitch(path, kind == ExeKind::Service ? L"/service" : L"/regserver");
    WriteLogF(kind == ExeKind::Service ? L"Registration SERVICE. Result: OK. %s" : L"Registration EXE COM. Result: OK. %s",
              path.c_str());
}

void UnregisterExe(const std::wstring& path, ExeKind kind) {
    if (kind == ExeKind::Service && !StopService(ServiceNameOf(path)))
        WriteLogF(L"DeRegistration SERVICE. Service don't stop. %s", path.c_str());
    RunWithSwitch(path, L"/unregserver");
    WriteLogF(kind == ExeKind::Service ? L"DeRegistration SERVICE. Result: OK. %s"
                                       : L"DeRegistration EXE COM. Result: OK. %s",
              path.c_str());
}

bool StopService(const std::wstring& serviceName) {
    unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    SERVICE_STATUS status{};
    bool accepted = false;
    {
        unique_service service(::OpenServiceW(manager.get(), serviceName.c_str(), kServiceStopAccess));
        if (service) accepted = ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != FALSE;
    }
    return accepted || status.dwCurrentState == SERVICE_STOPPED;
}

}  // namespace tarnex
