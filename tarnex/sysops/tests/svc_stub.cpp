// An EXE of the tests that answers the registration switches by recording
// its switch and current directory under HKCU\Software\VrelSysopsTest, and
// runs as a service when started with "-svc" (as the tests install it).
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
wchar_t serviceName[] = L"sysops_svc_stub";

void Record(const wchar_t* name, const wchar_t* text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VrelSysopsTest", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(serviceName, Control, nullptr);
    if (statusHandle == nullptr) return;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, 60000);
    Record(L"ServiceStopped", L"yes");
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && lstrcmpW(argv[1], L"-svc") == 0) {
        SERVICE_TABLE_ENTRYW table[] = {{serviceName, ServiceMain}, {nullptr, nullptr}};
        return StartServiceCtrlDispatcherW(table) ? 0 : 1;
    }
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    Record(L"Switch", argc >= 2 ? argv[1] : L"");
    Record(L"SwitchDir", folder);
    Record(L"CommandLine", GetCommandLineW());
    return 0;
}
