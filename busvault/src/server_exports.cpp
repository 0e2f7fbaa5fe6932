// The four entry points of an in-process COM server.
#include <windows.h>

#include <memory>

#include "vrel/make_unique_nothrow.h"
#include "busvault.h"
#include "class_factory.h"
#include "registrar.h"
#include "registry_views.h"
#include "server_state.h"
#include "type_library.h"

namespace busvault {

ServerState& Server() noexcept {
    static ServerState state;
    return state;
}

}  // namespace busvault

using namespace busvault;

// Only records the module handle: nothing that loads, waits or starts COM.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        Server().module = instance;
        Server().objects = 0;
        Server().locks = 0;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_BusvaultStore)) return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = vrel::MakeUniqueNoThrow<StoreFactory>();
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, out);
    if (SUCCEEDED(result)) factory.release();  // owned by the reference just handed out
    return result;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return Server().locks != 0 || Server().objects != 0 ? S_FALSE : S_OK;
}

// The class by its registration script, then the type library that
// describes its automation face.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    if (const HRESULT result = RegisterByScript(Server().module); FAILED(result)) return result;
    return RegisterTypeLibrary(Server().module);
}

// Everything DllRegisterServer wrote; the first failure is reported, but
// both parts are always tried. While the build of the other bitness stays
// registered in the other registry view, the keys both views share (the
// ProgIDs, the type library's and the automation interface's) stay for it.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const bool keepShared = OtherBuildRegistered();
    const HRESULT library = UnregisterTypeLibrary(keepShared);
    const HRESULT script = UnregisterByScript(Server().module, keepShared);
    return FAILED(library) ? library : script;
}
