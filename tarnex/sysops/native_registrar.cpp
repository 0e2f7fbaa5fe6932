#include "sysops/native_registrar.h"

#include <windows.h>

#include <cwchar>

#include "sysops/hidden_process.h"
#include "vrel/path_parts.h"

namespace tarnex {

bool NativeRegistrarAvailable() {
    if (sizeof(void*) != 4) return false;
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring NativeRegsvr32Path() {
    // The system's Windows folder, not the per-user one a terminal server
    // may give GetWindowsDirectory.
    wchar_t folder[MAX_PATH] = {};
    const UINT n = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path(folder, n);
    if (path.back() != L'\\') path += L'\\';
    return path + L"Sysnative\\regsvr32.exe";
}

std::wstring Regsvr32ResultText(unsigned long exitCode, bool registering, const std::wstring& regsvr32) {
    const std::wstring exportName = registering ? L"DllRegisterServer" : L"DllUnregisterServer";
    std::wstring text;
    switch (exitCode) {
        case 0: return L"OK";
        case 3: text = L"Don't load module by LoadLibrary"; break;
        case 4: text = L"Don't find function " + exportName; break;
        case 5: text = exportName + L" function failed"; break;
        default:
            text = exitCode >= 0xC0000000UL ? exportName + L" function evoked exception" : L"Failed";
            break;
    }
    wchar_t hex[16] = {};
    std::swprintf(hex, 16, L"%lXh", exitCode);
    const std::wstring code = exitCode >= 0xC0000000UL ? hex : std::to_wstring(exitCode);
    return text + L" (" + regsvr32 + L" exit code " + code + L")";
}

std::wstring RegisterByNativeRegsvr32(const std::wstring& path, bool registering) {
    const std::wstring regsvr32 = NativeRegsvr32Path();
    if (regsvr32.empty()) return L"Don't find the 64-bit system folder";
    const std::wstring commandLine =
        L"\"" + regsvr32 + L"\" /s " + (registering ? L"" : L"/u ") + L"\"" + path + L"\"";
    // The library's folder as its current folder, as for an EXE server; the
    // library itself and regsvr32 are named by full path.
    DWORD exitCode = 0;
    if (!RunHiddenAndWait(regsvr32, commandLine, vrel::FolderOf(path), CREATE_NO_WINDOW, &exitCode))
        return L"Don't start " + regsvr32 + L" (error " + std::to_wstring(::GetLastError()) + L")";
    return Regsvr32ResultText(exitCode, registering, regsvr32);
}

}  // namespace tarnex
