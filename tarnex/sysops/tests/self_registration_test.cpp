// Self-registration: a COM library registered and created by ProgID, then
// unregistered; libraries that answer S_FALSE, fault, raise or lack the
// export; the EXE switches with their command line and folder; a real
// service stopped before "/unregserver"; the 32-bit installer registering
// 64-bit libraries through the system's 64-bit regsvr32.
#include <gtest/gtest.h>

#include <objbase.h>

#include "../../../testsupport/registry_values.h"
#include "sysops/native_registrar.h"
#include "sysops/self_registration.h"
#include "sysops_test_support.h"
#include "vrel/system_folder.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

const wchar_t kMarkKey[] = L"Software\\VrelSysopsTest";

class SelfRegistrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTestApp(); }
    void SetUp() override {
        ClearLog();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kMarkKey);
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kMarkKey); }

    // A copy of a test module in a folder of its own.
    std::wstring Place(const std::wstring& module, const std::wstring& as) {
        const std::wstring path = folder / as;
        EXPECT_TRUE(::CopyFileW((TestProgramFolder() + module).c_str(), path.c_str(), FALSE));
        return path;
    }
    static std::wstring Mark(const wchar_t* name) { return RegText(HKEY_CURRENT_USER, kMarkKey, name); }
    static std::wstring Folder(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }
    static std::wstring CurrentFolder() {
        wchar_t current[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, current);
        return current;
    }
    static bool Logged(const std::wstring& line) { return LogText().find(line + L"\r\n") != std::wstring::npos; }

    ScratchFolder folder{L"selfreg"};
};

bool CreatableByProgId() {
    CLSID id{};
    if (FAILED(::CLSIDFromProgID(L"Vrel.SysopsTest.1", &id))) return false;
    IUnknown* object = nullptr;
    if (FAILED(::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object))))
        return false;
    object->Release();
    return true;
}

}  // namespace

TEST_F(SelfRegistrationTest, AComLibraryRegistersAndBecomesCreatable) {
    const std::wstring path = Place(L"selfreg_0.dll", L"Server.dll");
    ASSERT_EQ(::CoInitialize(nullptr), S_OK);
    const std::wstring before = CurrentFolder();
    EXPECT_TRUE(RegisterDll(path));
    EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: OK. " + path));
    EXPECT_EQ(::GetModuleHandleW(path.c_str()), nullptr);  // freed after the call
    // The process's current folder, which other threads share, is left alone.
    EXPECT_EQ(Mark(L"RegisterDir"), before);
    EXPECT_EQ(CurrentFolder(), before);
    EXPECT_TRUE(CreatableByProgId());
    ::CoFreeUnusedLibraries();

    EXPECT_TRUE(UnregisterDll(path));
    EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: OK. " + path));
    EXPECT_EQ(RegText(HKEY_CLASSES_ROOT, L"Vrel.SysopsTest.1\\CLSID", L""), L"");
    EXPECT_FALSE(CreatableByProgId());
    ::CoUninitialize();
}

TEST_F(SelfRegistrationTest, ALibraryFindsTheLibrariesBesideIt) {
    const std::wstring path = Place(L"selfreg_5.dll", L"Neighbour.dll");
    ASSERT_TRUE(::CopyFileW((TestData() + L"selfreg_peer.dll").c_str(), (folder / L"selfreg_peer.dll").c_str(), FALSE));
    const std::wstring before = CurrentFolder();
    EXPECT_TRUE(RegisterDll(path));
    EXPECT_TRUE(UnregisterDll(path));
    EXPECT_EQ(CurrentFolder(), before);
}

TEST_F(SelfRegistrationTest, ALibraryOfTheOtherBitnessIsNeverLoadedIntoTheInstaller) {
    // The same library with the machine field of the other bitness.
    std::string image = ReadBytes(TestProgramFolder() + L"selfreg_0.dll");
    ASSERT_GT(image.size(), 0x40u);
    const std::uint32_t peAt = static_cast<std::uint8_t>(image[0x3C]) | static_cast<std::uint8_t>(image[0x3D]) << 8;
    ASSERT_EQ(image.compare(peAt, 4, std::string("PE\0\0", 4)), 0);
    const std::uint16_t other = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    image[peAt + 4] = static_cast<char>(other & 0xFF);
    image[peAt + 5] = static_cast<char>(other >> 8);
    const std::wstring path = folder / L"Other.dll";
    WriteBytes(path, image);

    EXPECT_FALSE(RegisterDll(path));
    EXPECT_FALSE(UnregisterDll(path));
    if (sizeof(void*) == 8) {
        // The 64-bit test build has no registrar for 32-bit libraries.
        EXPECT_FALSE(NativeRegistrarAvailable());
        const std::wstring bits = L"a 32-bit module into the 64-bit";
        EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: Don't load " + bits + L" installer. " + path));
        EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: Don't load " + bits + L" installer. " + path));
    } else {
        // The 64-bit regsvr32 is asked, and cannot load this broken image.
        ASSERT_TRUE(NativeRegistrarAvailable());
        const std::wstring how = L" (" + NativeRegsvr32Path() + L" exit code 3). ";
        EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: Don't load module by LoadLibrary" + how + path));
        EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: Don't load module by LoadLibrary" + how + path));
    }
    EXPECT_EQ(Mark(L"RegisterDir"), L"");  // never called
}

TEST_F(SelfRegistrationTest, The32BitInstallerRegisters64BitLibrariesThroughThe64BitRegsvr32) {
    if (sizeof(void*) == 8) GTEST_SKIP() << "the 64-bit build loads 64-bit libraries itself";
    const std::wstring regsvr32 = NativeRegsvr32Path();
    ASSERT_TRUE(vrel::IsFullPath(regsvr32));
    EXPECT_EQ(regsvr32.substr(regsvr32.size() - 23), L"\\Sysnative\\regsvr32.exe");
    const wchar_t classKey[] = L"CLSID\\{8C3F5E21-6A4B-4D3C-9E1F-2A7B5C9D0E13}\\InprocServer32";

    const std::wstring server = Place(L"sysops_testdata\\selfreg64_0.dll", L"Server64.dll");
    EXPECT_TRUE(RegisterDll(server));
    EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: OK. " + server));
    EXPECT_EQ(testsupport::ReadRegistryText(HKEY_CLASSES_ROOT, classKey, nullptr, KEY_WOW64_64KEY).value_or(L"<none>"),
              server);
    EXPECT_FALSE(testsupport::RegistryKeyExists(HKEY_CLASSES_ROOT, classKey, KEY_WOW64_32KEY))
        << "the class belongs to the 64-bit view only";
    EXPECT_EQ(Mark(L"RegisterDir"), Folder(server)) << "regsvr32 runs in the library's folder";
    EXPECT_TRUE(UnregisterDll(server));
    EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: OK. " + server));
    EXPECT_FALSE(testsupport::RegistryKeyExists(HKEY_CLASSES_ROOT, classKey, KEY_WOW64_64KEY));

    const std::wstring none = Place(L"sysops_testdata\\selfreg64_4.dll", L"NoExports64.dll");
    EXPECT_FALSE(RegisterDll(none));
    EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: Don't find function DllRegisterServer (" + regsvr32 +
                       L" exit code 4). " + none));
    EXPECT_FALSE(UnregisterDll(none));
    EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: Don't find function DllUnregisterServer (" + regsvr32 +
                       L" exit code 4). " + none));

    const std::wstring crash = Place(L"sysops_testdata\\selfreg64_2.dll", L"Crash64.dll");
    EXPECT_FALSE(RegisterDll(crash));
    EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: DllRegisterServer function evoked exception (" + regsvr32 +
                       L" exit code C0000005h). " + crash));
}

TEST_F(SelfRegistrationTest, FailuresAreLoggedWithTheirTexts) {
    const std::wstring sFalse = Place(L"selfreg_1.dll", L"SFalse.dll");
    EXPECT_FALSE(RegisterDll(sFalse));
    EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: 1h. " + sFalse));
    EXPECT_FALSE(UnregisterDll(sFalse));
    EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: S_FALSE. " + sFalse));

    const std::wstring none = Place(L"selfreg_4.dll", L"NoExports.dll");
    EXPECT_FALSE(RegisterDll(none));
    EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: Don't find function DllRegisterServer. " + none));
    EXPECT_FALSE(UnregisterDll(none));
    EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: Don't find function DllUnregisterServer. " + none));

    const std::wstring missing = folder / L"Missing.dll";
    EXPECT_FALSE(RegisterDll(missing));
    EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: Don't load module by LoadLibrary. " + missing));
}

TEST_F(SelfRegistrationTest, FaultsAndExceptionsInsideTheExportAreContained) {
    for (const wchar_t* module : {L"selfreg_2.dll", L"selfreg_3.dll"}) {
        const std::wstring path = Place(module, std::wstring(L"Crash_") + module);
        EXPECT_FALSE(RegisterDll(path));
        EXPECT_TRUE(Logged(L"Registration DLL/OCX. Result: DllRegisterServer function evoked exception. " + path));
        EXPECT_FALSE(UnregisterDll(path));
        EXPECT_TRUE(Logged(L"DeRegistration DLL/OCX. Result: DllUnregisterServer function evoked exception. " + path));
        EXPECT_TRUE(::DeleteFileW(path.c_str())) << "library left loaded";
    }
    // The guard is gone afterwards: the next library registers normally.
    const std::wstring good = Place(L"selfreg_0.dll", L"AfterCrash.dll");
    EXPECT_TRUE(RegisterDll(good));
    EXPECT_TRUE(UnregisterDll(good));
}

TEST_F(SelfRegistrationTest, ResultTextsFollowTheTable) {
    EXPECT_EQ(RegistrationResultText(0, true), L"OK");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x80040200UL), true), L"SELFREG_E_TYPELIB");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x80040201UL), false), L"SELFREG_E_CLASS");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x8007000EUL), true), L"E_OUTOFMEMORY");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x8007000EUL), false), L"8007000Eh");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x80004001UL), true), L"E_NOTIMPL");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x80004001UL), false), L"80004001h");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x8000FFFFUL), true), L"E_UNEXPECTED");
    EXPECT_EQ(RegistrationResultText(1, true), L"1h");
    EXPECT_EQ(RegistrationResultText(1, false), L"S_FALSE");
    EXPECT_EQ(RegistrationResultText(static_cast<long>(0x80070005UL), true), L"80070005h");
    EXPECT_EQ(Regsvr32ResultText(0, true, L"R"), L"OK");
    EXPECT_EQ(Regsvr32ResultText(5, true, L"R"), L"DllRegisterServer function failed (R exit code 5)");
    EXPECT_EQ(Regsvr32ResultText(5, false, L"R"), L"DllUnregisterServer function failed (R exit code 5)");
    EXPECT_EQ(Regsvr32ResultText(1, true, L"R"), L"Failed (R exit code 1)");
    EXPECT_EQ(ServiceNameOf(L"C:\\Folder\\MySvc.exe"), L"MySvc");
    EXPECT_EQ(ServiceNameOf(L"C:\\a.b\\x.y.exe"), L"x");
    EXPECT_EQ(ServiceNameOf(L"C:\\a\\NoDot"), L"NoDot");
}

TEST_F(SelfRegistrationTest, ExeServersRunHiddenWithTheirSwitch) {
    const std::wstring path = Place(L"sysops_svc_stub.exe", L"ComServer.exe");
    RegisterExe(path, ExeKind::ComServer);
    EXPECT_EQ(Mark(L"Switch"), L"/regserver");
    EXPECT_EQ(Mark(L"SwitchDir"), Folder(path));
    EXPECT_EQ(Mark(L"CommandLine"), L"\"" + path + L"\" /regserver");
    EXPECT_TRUE(Logged(L"Registration EXE COM. Result: OK. " + path));

    RegisterExe(path, ExeKind::Service);
    EXPECT_EQ(Mark(L"Switch"), L"/service");
    EXPECT_TRUE(Logged(L"Registration SERVICE. Result: OK. " + path));

    UnregisterExe(path, ExeKind::ComServer);
    EXPECT_EQ(Mark(L"Switch"), L"/unregserver");
    EXPECT_TRUE(Logged(L"DeRegistration EXE COM. Result: OK. " + path));
    EXPECT_EQ(LogText().find(L"Service don't stop"), std::wstring::npos);

    // No service of that name: logged, and "/unregserver" runs all the same.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kMarkKey);
    UnregisterExe(path, ExeKind::Service);
    EXPECT_TRUE(Logged(L"DeRegistration SERVICE. Service don't stop. " + path));
    EXPECT_EQ(Mark(L"Switch"), L"/unregserver");
    EXPECT_TRUE(Logged(L"DeRegistration SERVICE. Result: OK. " + path));

    // A file that cannot be started still counts as registered.
    RegisterExe(folder / L"Missing.exe", ExeKind::ComServer);
    EXPECT_TRUE(Logged(L"Registration EXE COM. Result: OK. " + (folder / L"Missing.exe")));
}

TEST_F(SelfRegistrationTest, ARunningServiceIsStoppedBeforeItUnregisters) {
    const std::wstring path = Place(L"sysops_svc_stub.exe", L"sysops_svc_stub.exe");
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    if (SC_HANDLE stale = ::OpenServiceW(manager, L"sysops_svc_stub", DELETE)) {
        ::DeleteService(stale);
        ::CloseServiceHandle(stale);
    }
    const std::wstring binary = L"\"" + path + L"\" -svc";
    SC_HANDLE service = ::CreateServiceW(manager, L"sysops_svc_stub", L"Tarnex test service", SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                         binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr) << ::GetLastError();
    ASSERT_TRUE(::StartServiceW(service, 0, nullptr)) << ::GetLastError();
    SERVICE_STATUS status{};
    for (int i = 0; i < 200 && ::QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i)
        ::Sleep(50);
    ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

    UnregisterExe(path, ExeKind::Service);
    EXPECT_EQ(LogText().find(L"Service don't stop"), std::wstring::npos);
    EXPECT_TRUE(Logged(L"DeRegistration SERVICE. Result: OK. " + path));
    EXPECT_EQ(Mark(L"Switch"), L"/unregserver");
    for (int i = 0; i < 200 && ::QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
        ::Sleep(50);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(Mark(L"ServiceStopped"), L"yes");
    EXPECT_FALSE(StopService(L"sysops_no_such_service"));
    ::DeleteService(service);
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
}
