// A library planted where a search would find it, named after a library of
// the system (version.dll, setupapi.dll, ...): loaded into a process, it
// leaves C:\VrelEngineTest\Planted\<its name>.txt.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t own[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(self, own, MAX_PATH - 1);
    const std::wstring path(own, n), folder = L"C:\\VrelEngineTest\\Planted\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring marker = folder + path.substr(path.find_last_of(L'\\') + 1) + L".txt";
    HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    return TRUE;
}
