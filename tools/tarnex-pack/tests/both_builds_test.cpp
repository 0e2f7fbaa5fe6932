// A package that carries both builds of Busvault.dll, each its own
// component, installed by the shipped 32-bit installer on a 64-bit Windows
// (Wine's WoW64): each registry view names its own build, the type library
// has both, 32-bit and 64-bit clients create the store; taking one build's
// component away leaves the other working, and the removal leaves nothing
// in either view.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../../../testsupport/registry_values.h"
#include "engine_test_support.h"
#include "pack_tool.h"
#include "services/app_context.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace enginetest {
namespace {

using namespace tarnex;

const wchar_t kClass[] = L"CLSID\\{6EEB7D78-9DF9-11d5-8999-00E0293CC7F3}";
const wchar_t kLibrary[] = L"TypeLib\\{8A3B02CB-ED3F-442B-B585-D7DA40196E81}";
const wchar_t kInterface[] = L"Interface\\{0680D460-9BA0-4D10-A73C-CC5F341A9F55}";
const wchar_t* const kSharedKeys[] = {L"Vrel.BusvaultStore", L"Vrel.BusvaultStore.1", kLibrary};

// The win64 build's programs, from the folder the build names (a Unix path,
// reached through Wine's drive Z:).
std::wstring Win64Bin() {
    const char* unix = std::getenv("VREL_WIN64_BIN");
    if (!unix || !*unix) return L"";
    std::wstring path = L"Z:";
    for (const char* c = unix; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path + L"\\";
}

std::wstring InView(REGSAM view, const std::wstring& key, const wchar_t* name = nullptr) {
    if (!testsupport::RegistryKeyExists(HKEY_CLASSES_ROOT, key, view)) return L"<none>";
    return testsupport::TextOf(testsupport::ReadRegistryValue(HKEY_CLASSES_ROOT, key, name, view));
}

void DeleteInBothViews(const std::wstring& key) {
    const std::size_t slash = key.rfind(L'\\');
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        vrel::unique_hkey parent;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, parent.put()) ==
            ERROR_SUCCESS)
            ::RegDeleteTreeW(parent.get(), key.substr(slash + 1).c_str());
    }
}

// The engine tests' helper of either bitness: exits 0 when COM creates the
// class by ProgID.
bool Creatable(const std::wstring& helper) {
    return RunTool(L"\"" + helper + L"\" create Vrel.BusvaultStore").exitCode == 0;
}

class BothBuilds : public EngineCycle {
protected:
    void SetUp() override {
        EngineCycle::SetUp();
        for (const wchar_t* key : {kClass, kLibrary, kInterface}) DeleteInBothViews(key);
    }
    void TearDown() override {
        for (const wchar_t* key : {kClass, kLibrary, kInterface}) DeleteInBothViews(key);
        EngineCycle::TearDown();
    }
    const std::wstring helper32 = TestProgramFolder() + L"engine_helper.exe";
    const std::wstring helper64 = Win64Bin() + L"engine_helper.exe";
};

TEST_F(BothBuilds, EachViewNamesItsOwnBuildAndTheSharedKeysStayUntilTheLastBuildGoes) {
    if (sizeof(void*) == 8) GTEST_SKIP() << "the shipped installer is the 32-bit build";
    ASSERT_FALSE(Win64Bin().empty()) << "VREL_WIN64_BIN names the win64 build's bin folder";
    const std::string busvault64 = ReadBytes(Win64Bin() + L"Busvault.dll");
    ASSERT_FALSE(busvault64.empty()) << "build the win64 preset first: no " << Narrow(Win64Bin()) << "Busvault.dll";

    ::CreateDirectoryW(kRoot, nullptr);
    Source(L"x86\\Busvault.dll", ReadBytes(TestProgramFolder() + L"Busvault.dll"));
    Source(L"x64\\Busvault.dll", busvault64);
    const PackRun pack = Pack(std::wstring(kPackageSection) +
                              L"[Component Busvault32]\n"
                              L"File = x86\\Busvault.dll | Bin32 | selfreg\n"
                              L"\n"
                              L"[Component Busvault64]\n"
                              L"File = x64\\Busvault.dll | Bin64 | selfreg\n");
    ASSERT_EQ(0u, pack.exitCode) << Narrow(pack.output);

    // The shipped installer, as an administrator runs it.
    const std::wstring runLog = std::wstring(kRoot) + L"install.log";
    ASSERT_EQ(0u, Quiet(L"/quiet /acceptos /log=" + runLog));
    const std::wstring dll32 = Install(L"Bin32\\Busvault.dll"), dll64 = Install(L"Bin64\\Busvault.dll");
    const std::wstring server = std::wstring(kClass) + L"\\InprocServer32";
    EXPECT_EQ(InView(KEY_WOW64_32KEY, server), dll32);
    EXPECT_EQ(InView(KEY_WOW64_64KEY, server), dll64);
    const std::wstring entries = std::wstring(kLibrary) + L"\\1.0\\0\\";
    EXPECT_EQ(InView(0, entries + L"win32"), dll32);
    EXPECT_EQ(InView(0, entries + L"win64"), dll64);
    EXPECT_TRUE(Creatable(helper32));
    EXPECT_TRUE(Creatable(helper64));
    const std::wstring log = vrel::ToWide(ReadBytes(runLog), CP_UTF8);
    EXPECT_NE(log.find(L"Registration DLL/OCX. Result: OK. " + dll32), std::wstring::npos);
    EXPECT_NE(log.find(L"Registration DLL/OCX. Result: OK. " + dll64), std::wstring::npos);

    // Each build's component taken away in turn, the other kept: the one
    // left keeps its class, the ProgIDs and the type library.
    for (const wchar_t* keep : {L"Busvault64", L"Busvault32"}) {
        const bool keep64 = std::wstring(keep) == L"Busvault64";
        ASSERT_TRUE(LoadPackage(AS_INST));
        App().Mode = AS_AD;
        Select({keep});
        RecordingView view;
        ASSERT_EQ(RunEngine(view), EngineOutcome::Completed) << Narrow(keep);
        EXPECT_EQ(InView(keep64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, server), L"<none>") << Narrow(keep);
        EXPECT_EQ(InView(keep64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY, server), keep64 ? dll64 : dll32);
        for (const wchar_t* key : kSharedKeys) EXPECT_NE(InView(0, key), L"<none>") << Narrow(key);
        EXPECT_EQ(InView(0, entries + (keep64 ? L"win32" : L"win64")), L"<none>");
        EXPECT_EQ(InView(0, entries + (keep64 ? L"win64" : L"win32")), keep64 ? dll64 : dll32);
        EXPECT_EQ(Creatable(helper64), keep64);
        EXPECT_EQ(Creatable(helper32), !keep64);
        // Both again, for the next turn or the removal.
        ASSERT_TRUE(LoadPackage(AS_INST));
        App().Mode = AS_AD;
        Select({L"Busvault32", L"Busvault64"});
        RecordingView again;
        ASSERT_EQ(RunEngine(again), EngineOutcome::Completed);
        EXPECT_TRUE(Creatable(helper32) && Creatable(helper64));
    }

    // The removal by the uninstall entry's quiet command: nothing is left
    // in either view.
    ASSERT_EQ(0u, RunTool(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode);
    EXPECT_TRUE(InstallFolderGoes());
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const std::wstring& key : {std::wstring(kClass), std::wstring(kInterface), std::wstring(kLibrary),
                                        std::wstring(L"Vrel.BusvaultStore"), std::wstring(L"Vrel.BusvaultStore.1")})
            EXPECT_EQ(InView(view, key), L"<none>") << Narrow(key) << (view == KEY_WOW64_64KEY ? " (64)" : " (32)");
    }
    EXPECT_FALSE(Creatable(helper32));
    EXPECT_FALSE(Creatable(helper64));
}

}  // namespace
}  // namespace enginetest
