// Helper program of the engine's cycle tests:
//   engine_helper exit N [MARKER]  writes MARKER (when given), exits with N
//   engine_helper hold PATH        keeps PATH open with read sharing only
//                                  (delete, rename and write refused), writes
//                                  PATH + ".held" and waits to be ended
//   engine_helper create PROGID    exits with 0 when COM creates the class
//                                  registered under PROGID, else 1 (so the
//                                  server is never loaded into the tests)
#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"exit") == 0) {
        if (argc >= 4) {
            HANDLE marker = ::CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (marker != INVALID_HANDLE_VALUE) ::CloseHandle(marker);
        }
        return static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"hold") == 0) {
        HANDLE held = ::CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (held == INVALID_HANDLE_VALUE) return 3;
        std::wstring marker = std::wstring(argv[2]) + L".held";
        HANDLE ready = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (ready != INVALID_HANDLE_VALUE) ::CloseHandle(ready);
        ::Sleep(INFINITE);
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"create") == 0) {
        if (FAILED(::CoInitialize(nullptr))) return 1;
        CLSID clsid;
        IUnknown* object = nullptr;
        const bool created = SUCCEEDED(::CLSIDFromProgID(argv[2], &clsid)) &&
                             SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                          reinterpret_cast<void**>(&object)));
        if (object) object->Release();
        ::CoUninitialize();
        return created ? 0 : 1;
    }
    return 9;
}
