// Maintenance of an installed package: add/remove and repair.
#include <windows.h>

#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "ui/replace_dialog.h"
#include "vrel/unique_handle.h"

#include <algorithm>

namespace enginetest {
namespace {

using namespace tarnex;

void InstallCoreAndViewer() {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
}

TEST_F(EngineCycle, AddRemoveTakesOneComponentAwayAndAddsAnother) {
    InstallCoreAndViewer();
    const std::size_t start = LogSize();
    ASSERT_TRUE(LoadPackage(AS_INST));
    App().Mode = AS_AD;
    EXPECT_EQ(std::wstring(Description().PreviousInstallFolder), kInstall);
    Select({L"Core", L"Extra"});
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(view.FinalText(), LoadText(TextId::kInstallDone));
    EXPECT_EQ(App().RestartNeeded, 0);
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(false);
    ExpectExtra(true);
    const std::wstring log = LogSince(start);
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_AD", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})));
    // Core was taken away and put back: unregistered, then registered again.
    EXPECT_TRUE(ContainsInOrder(log, {L"DeRegistration DLL/OCX. Result: OK. C:\\VrelEngineTest\\Install\\Busvault.dll",
                                      L"Registration DLL/OCX. Result: OK. C:\\VrelEngineTest\\Install\\Busvault.dll"}));

    // And everything goes with a removal afterwards.
    RemoveEverything();
}

TEST_F(EngineCycle, RepairPutsBackWhatWasDamaged) {
    InstallCoreAndViewer();
    WriteBytes(std::wstring(kInstall) + L"core.txt", "damaged");
    ::DeleteFileW((std::wstring(kInstall) + L"Data\\table.bin").c_str());
    ::DeleteFileW((std::wstring(kInstall) + L"Setup.exe").c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData");
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_HOME");
    ::DeleteFileW((ProgramsFolder() + L"VrelEngineTest\\Viewer\\Viewer.lnk").c_str());

    // The damaged file is newer than the package's: the user is asked and
    // chooses to replace it.
    std::vector<std::wstring> asked;
    testfiles::ReplaceAnswerer replace([&asked](const ReplaceQuestion& question) {
        asked.push_back(question.existingPath);
        return 1;
    });
    const std::size_t start = LogSize();
    ASSERT_TRUE(LoadPackage(AS_INST));
    App().Mode = AS_REP;
    SelectInstalled();
    OwnerWindow page;
    RecordingView view;
    view.owner = page.get();
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_NE(std::find(asked.begin(), asked.end(), std::wstring(kInstall) + L"core.txt"), asked.end());
    EXPECT_EQ(std::find(asked.begin(), asked.end(), std::wstring(kInstall) + L"Data\\table.bin"), asked.end());
    EXPECT_EQ(App().RestartNeeded, 0);
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    ExpectExtra(false);
    EXPECT_TRUE(ContainsInOrder(LogSince(start),
                                StepLines(L"AS_REP", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})));
}

TEST_F(EngineCycle, OnWindows2000AndXpTheSystemsAtlDllIsNeitherReplacedNorDeleted) {
    InstallCoreAndViewer();
    const std::wstring atl = std::wstring(kInstall) + L"ATL.DLL";
    // The system's own library, older than the package's.
    WriteBytes(atl, "system atl");
    {
        vrel::unique_hfile file(::CreateFileW(atl.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        SYSTEMTIME old{2000, 1, 6, 1, 0, 0, 0, 0};
        FILETIME stamp;
        ::SystemTimeToFileTime(&old, &stamp);
        ASSERT_TRUE(::SetFileTime(file.get(), &stamp, &stamp, &stamp));
    }
    const std::size_t start = LogSize();
    ASSERT_TRUE(LoadPackage(AS_INST));
    App().Mode = AS_REP;
    App().Nt5Family = 1;
    SelectInstalled();
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(ReadBytes(atl), "system atl");
    EXPECT_FALSE(Exists(std::wstring(kInstall) + L"vrel_ATL.DLL"));
    EXPECT_EQ(App().RestartNeeded, 0);
    EXPECT_TRUE(ContainsInOrder(LogSince(start), {L"Registration DLL/OCX. Result: Don't load module by LoadLibrary. " + atl,
                                                  L"Registration DLL/OCX. Result: OK. C:\\VrelEngineTest\\Install\\Busvault.dll"}));

    ASSERT_TRUE(LoadPackage(AS_SD));
    App().Nt5Family = 1;
    SelectInstalled();
    RecordingView removal;
    ASSERT_EQ(RunEngine(removal), EngineOutcome::Completed);
    FinishRun(1);
    EXPECT_EQ(ReadBytes(atl), "system atl");
    EXPECT_FALSE(Exists(std::wstring(kInstall) + L"core.txt"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
}

}  // namespace
}  // namespace enginetest
