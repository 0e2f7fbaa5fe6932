// A library planted where a search would find it, named after a library of
// the system (version.dll, setupapi.dll, ...): loaded into a process, it
// leaves C:\VrelEngineTest\Planted\<its name>.txt naming that process.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t own[MAX_PATH] = {}, process[MAX_PATH] = {};
    ::GetModuleFileNameW(self, own, MAX_PATH - 1);
    ::GetModuleFileNameW(nullptr, process, MAX_PATH - 1);
    const wchar_t* name = own;
    for (const wchar_t* c = own; *c; ++c)
        if (*c == L'\\') name = c + 1;
    wchar_t marker[MAX_PATH] = L"C:\\VrelEngineTest\\Planted";
    ::CreateDirectoryW(marker, nullptr);
    lstrcatW(marker, L"\\");
    if (lstrlenW(marker) + lstrlenW(name) + 5 < MAX_PATH) {
        lstrcatW(marker, name);
        lstrcatW(marker, L".txt");
        HANDLE file = ::CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(file, process, static_cast<DWORD>(lstrlenW(process) * sizeof(wchar_t)), &written, nullptr);
            ::CloseHandle(file);
        }
    }
    return TRUE;
}
