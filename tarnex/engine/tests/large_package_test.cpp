// A package of 1,000 files in ten components installs and goes away again
// completely. The times are printed, not asserted.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "engine_test_support.h"
#include "services/app_context.h"

namespace enginetest {
namespace {

using namespace tarnex;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TEST_F(EngineCycle, ThousandFilesInTenComponentsInstallAndUninstallCompletely) {
    WriteLargePackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    ASSERT_EQ(Description().ComponentList.size(), 11u);
    ASSERT_EQ(Description().FileList.size(), 1001u);  // and the installer's copy
    for (ComponentRecord& c : Description().ComponentList) c.Selected = 1;

    RecordingView install;
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(RunEngine(install), EngineOutcome::Completed);
    const double installSeconds = Seconds(started);
    EXPECT_FALSE(install.BarOverrun());

    int files = 0;
    for (int c = 1; c <= 10; ++c) {
        wchar_t folder[64];
        swprintf(folder, 64, L"C:\\VrelEngineTest\\Install\\Big%02d\\", c);
        for (int f = 1; f <= 100; ++f) {
            wchar_t name[32];
            swprintf(name, 32, L"c%02d_f%03d.txt", c, f);
            char expected[64];
            std::snprintf(expected, sizeof expected, "component %02d file %03d\r\n", c, f);
            if (ReadBytes(std::wstring(folder) + name) == expected) ++files;
        }
        wchar_t key[64];
        swprintf(key, 64, L"\\Big%02d\\1.0", c);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kPackageKey) + key)) << c;
    }
    EXPECT_EQ(files, 1000);
    EXPECT_EQ(FilesBelow(kInstall).size(), 1000u + 10u + 1u);  // files, INF copies, Setup.exe

    ASSERT_TRUE(LoadPackage(AS_SD));
    SelectInstalled();
    RecordingView removal;
    started = std::chrono::steady_clock::now();
    ASSERT_EQ(RunEngine(removal), EngineOutcome::Completed);
    FinishRun(1);
    const double removalSeconds = Seconds(started);
    EXPECT_EQ(App().RestartNeeded, 0);
    EXPECT_FALSE(Exists(kInstall));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    std::printf("[ TIMES    ] 1,000 files in 10 components: install %.2f s, removal %.2f s\n", installSeconds,
                removalSeconds);
    RecordProperty("install_seconds", std::to_string(installSeconds));
    RecordProperty("removal_seconds", std::to_string(removalSeconds));
}

}  // namespace
}  // namespace enginetest
