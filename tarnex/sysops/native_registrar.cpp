#include "sysops/native_registrar.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "sysops/folder_tree.h"
#include "vrel/unique_handle.h"

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
    std::wstring commandLine = L"\"" + regsvr32 + L"\" /s " + (registering ? L"" : L"/u ") + L"\"" + path + L"\"";
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // The library's folder as its current folder, as for an EXE server; the
    // library itself and regsvr32 are named by full path.
    const std::wstring folder = FolderOf(path);
    if (!::CreateProcessW(regsvr32.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        return L"Don't start " + regsvr32 + L" (error " + std::to_wstring(::GetLastError()) + L")";
    }
    vrel::unique_handle processHandle(process.hProcess);
    vrel::unique_handle threadHandle(process.hThread);
    ::WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(processHandle.get(), &exitCode)) return L"Don't read the exit code of " + regsvr32;
    return Regsvr32ResultText(exitCode, registering, regsvr32);
}

}  // namespace tarnex
