// A self-registering library of the tests, built in six modes
// (SELFREG_MODE): 0 registers a creatable COM class under
// HKEY_CLASSES_ROOT, 1 answers S_FALSE, 2 faults, 3 raises a software exception, 4 has
// no registration exports at all, 5 answers through a function of the
// library beside it (selfreg_peer.dll). Each registration call also records
// the current directory it ran in.
#include <windows.h>
#include <objbase.h>

#if SELFREG_MODE == 5
extern "C" HRESULT STDAPICALLTYPE VrelPeerAnswer();
#endif

namespace {

HMODULE self = nullptr;

#if SELFREG_MODE != 4
// {8C3F5E21-6A4B-4D3C-9E1F-2A7B5C9D0E13}
const CLSID kClassId = {0x8c3f5e21, 0x6a4b, 0x4d3c, {0x9e, 0x1f, 0x2a, 0x7b, 0x5c, 0x9d, 0x0e, 0x13}};
const wchar_t kClassKey[] = L"CLSID\\{8C3F5E21-6A4B-4D3C-9E1F-2A7B5C9D0E13}";
const wchar_t kProgIdKey[] = L"Vrel.SysopsTest.1";
const wchar_t kMarkKey[] = L"Software\\VrelSysopsTest";

bool SetText(const wchar_t* key, const wchar_t* name, const wchar_t* text) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(key == kMarkKey ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                  static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

void MarkCall(const wchar_t* what) {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    SetText(kMarkKey, what, folder);
}

// One object for the whole process: COM reference counts do not own it.
class Object : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
Object object;

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return object.QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};
Factory factory;
#endif

}  // namespace

#if SELFREG_MODE != 4
extern "C" HRESULT STDAPICALLTYPE VrelRegisterServer() {
    MarkCall(L"RegisterDir");
#if SELFREG_MODE == 0
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    const wchar_t* clsid = L"{8C3F5E21-6A4B-4D3C-9E1F-2A7B5C9D0E13}";
    wchar_t server[300] = {};
    wsprintfW(server, L"%s\\InprocServer32", kClassKey);
    wchar_t progIdClsid[300] = {};
    wsprintfW(progIdClsid, L"%s\\CLSID", kProgIdKey);
    const bool ok = SetText(server, nullptr, path) && SetText(server, L"ThreadingModel", L"Apartment") &&
                    SetText(progIdClsid, nullptr, clsid);
    return ok ? S_OK : static_cast<HRESULT>(0x80040201L);  // SELFREG_E_CLASS
#elif SELFREG_MODE == 1
    return S_FALSE;
#elif SELFREG_MODE == 2
    *static_cast<volatile int*>(nullptr) = 1;
    return S_OK;
#elif SELFREG_MODE == 5
    return VrelPeerAnswer();
#else
    RaiseException(0xE0000001, 0, 0, nullptr);
    return S_OK;
#endif
}

extern "C" HRESULT STDAPICALLTYPE VrelUnregisterServer() {
    MarkCall(L"UnregisterDir");
#if SELFREG_MODE == 0
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgIdKey);
    return S_OK;
#elif SELFREG_MODE == 1
    return S_FALSE;
#elif SELFREG_MODE == 2
    *static_cast<volatile int*>(nullptr) = 2;
    return S_OK;
#elif SELFREG_MODE == 5
    return VrelPeerAnswer();
#else
    RaiseException(0xE0000002, 0, 0, nullptr);
    return S_OK;
#endif
}

extern "C" HRESULT STDAPICALLTYPE VrelGetClassObject(REFCLSID id, REFIID iid, void** out) {
    if (!IsEqualCLSID(id, kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE VrelCanUnloadNow() { return S_FALSE; }
#endif

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
