// Helper program for the launch tests: writes its current folder to a file,
// optionally sleeps, and exits with the given code.
//   launch_probe <report file> <exit code> [sleep ms]
#include <windows.h>

#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 100;
    wchar_t folder[MAX_PATH] = {};
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH, folder);
    HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, folder, n * sizeof(wchar_t), &written, nullptr);
        ::CloseHandle(file);
    }
    if (argc > 3) ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
    return static_cast<int>(std::wcstol(argv[2], nullptr, 10));
}
