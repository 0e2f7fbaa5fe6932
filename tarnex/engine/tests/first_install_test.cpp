// A first installation of two components from two INF files, and the two
// ways the package is removed again: chosen in maintenance (the installer's
// own files go in step 5) and from the installed copy (they go with the
// self-removal batch).
#include <windows.h>

#include <atomic>

#include "engine/delayed_file_ops.h"
#include "engine/install_engine.h"
#include "engine/portable/step_table.h"
#include "engine/run_mark.h"
#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "vrel/text_convert.h"

namespace enginetest {
namespace {

using namespace tarnex;

std::vector<std::wstring> TemporaryCopies(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& file : FilesBelow(folder)) {
        const std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
        if (name.rfind(L"vrel_", 0) == 0) found.push_back(file);
    }
    return found;
}

void InstallStandardPackage() {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
}

TEST_F(EngineCycle, FirstInstallationPutsEverythingInPlaceAndRemovalTakesItAllBack) {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    ASSERT_EQ(Description().ComponentList.size(), 4u);
    Select({L"Core", L"Viewer"});
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);

    // The page: every step shown with its texts, the bars kept in range,
    // the final text, Next live and Cancel dead; all from the worker.
    EXPECT_TRUE(view.CalledFromOtherThread());
    EXPECT_EQ(view.FinalText(), LoadText(TextId::kInstallDone));
    EXPECT_EQ(view.OverallRange(), 15);
    EXPECT_EQ(view.OverallPosition(), 15);
    EXPECT_FALSE(view.BarOverrun());
    EXPECT_TRUE(view.Enabled(PageButton::Next));
    EXPECT_TRUE(view.IsDefault(PageButton::Next));
    EXPECT_FALSE(view.Enabled(PageButton::Cancel));
    std::vector<std::wstring> texts, counters;
    for (int step = 1; step <= 15; ++step) texts.push_back(LoadText(*StepTextId(step)));
    for (int step = 1; step <= 15; ++step) counters.push_back(FormatText(TextId::kStepCounter, step, 15));
    EXPECT_EQ(view.CurrentTexts(), texts);
    EXPECT_EQ(view.OverallTexts(), counters);
    EXPECT_EQ(messages_.Count(), 0u);

    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    ExpectExtra(false);
    EXPECT_TRUE(TemporaryCopies(kInstall).empty());
    EXPECT_EQ(ReadBytes(std::wstring(kInstall) + L"user1.inf"), ReadBytes(std::wstring(kPackage) + L"user1.inf"));
    EXPECT_EQ(ReadBytes(std::wstring(kInstall) + L"user2.inf"), ReadBytes(std::wstring(kPackage) + L"user2.inf"));
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"core_before"));
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"core_after"));
    EXPECT_EQ(App().RestartNeeded, 0);

    const std::wstring log = Log();
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_INST", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})));
    EXPECT_TRUE(ContainsInOrder(log, {L"]: Step 10 - cur INF for: Core\r\n", L"]: Step 10 - cur INF for: Viewer\r\n",
                                      L"]: Step 10 - INF-success\r\n",
                                      L"]: Step 10 - cur REG: C:\\VrelEngineTest\\Install\\settings.reg\r\n",
                                      L"]: Step 12 - before broadcast\r\n",
                                      L"Registration DLL/OCX. Result: OK. C:\\VrelEngineTest\\Install\\Busvault.dll"}));
    EXPECT_NE(log.find(L"Refused target file outside its folder: ..\\evil.txt"), std::wstring::npos);
    // "atl.dll" is registered before every other library, whatever its kind.
    EXPECT_TRUE(ContainsInOrder(
        log, {L"Registration DLL/OCX. Result: Don't load module by LoadLibrary. C:\\VrelEngineTest\\Install\\ATL.DLL",
              L"Registration DLL/OCX. Result: OK. C:\\VrelEngineTest\\Install\\Busvault.dll"}));

    // Removal chosen in maintenance: the uninstall sections, Cancel never
    // live, then the program run removes the empty folders.
    const std::size_t removalStart = LogSize();
    ASSERT_TRUE(LoadPackage(AS_SD));
    SelectInstalled();
    EXPECT_TRUE(Component(L"Core")->Installed);
    EXPECT_TRUE(Component(L"Viewer")->Installed);
    EXPECT_FALSE(Component(L"Extra")->Installed);
    RecordingView removal;
    std::atomic<bool> cancelLive{false};
    removal.onEnable = [&](PageButton button, bool enabled) {
        if (button == PageButton::Cancel && enabled) cancelLive = true;
    };
    ASSERT_EQ(RunEngine(removal), EngineOutcome::Completed);
    EXPECT_FALSE(cancelLive);
    EXPECT_EQ(removal.FinalText(), LoadText(TextId::kRemovalDone));
    EXPECT_EQ(removal.OverallPosition(), 15);
    EXPECT_FALSE(removal.BarOverrun());
    EXPECT_EQ(App().RestartNeeded, 0);
    FinishRun(1);

    ExpectNothingLeft();
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"core_removed"));
    const std::wstring removalLog = LogSince(removalStart);
    EXPECT_TRUE(ContainsInOrder(removalLog, StepLines(L"AS_SD", {1, 2, 4, 5, 6, 7, 8, 14, 15})));
    for (int skipped : {3, 9, 10, 11, 12, 13})
        EXPECT_EQ(removalLog.find(L"Step " + std::to_wstring(skipped) + L" - "), std::wstring::npos) << skipped;
    EXPECT_NE(removalLog.find(L"DeRegistration DLL/OCX. Result: OK. C:\\VrelEngineTest\\Install\\Busvault.dll"),
              std::wstring::npos);
    EXPECT_EQ(removalLog.find(L"ATL.DLL"), std::wstring::npos);  // never unregistered
}

TEST_F(EngineCycle, AFolderThatOutgrowsItsFieldWithTheInstallFolderIsRefusedNotCut) {
    // Fits its 260 characters as written; "%65600%" makes it 267.
    const std::string deep(235, 'd');
    WriteStandardPackage();
    EditPackageFile(L"user1.inf", "Core.Data=\"%65600%\\Data\\\"", "Core.Data=\"%65600%\\Data\\" + deep + "\\\"");
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core"});
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);

    EXPECT_TRUE(Exists(std::wstring(kInstall) + L"core.txt"));
    for (const std::wstring& file : FilesBelow(kRoot))
        EXPECT_EQ(file.find(L"table.bin"), std::wstring::npos) << vrel::ToNarrow(file);
    EXPECT_NE(Log().find(L"Refused path too long after substitution: C:\\VrelEngineTest\\Install\\Data\\" +
                         std::wstring(deep.begin(), deep.end()) + L"\\"),
              std::wstring::npos);
}

TEST_F(EngineCycle, RemovalFromTheInstalledCopyEndsWithTheSelfRemovalBatch) {
    InstallStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_DEL));
    SelectInstalled();
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(view.FinalText(), LoadText(TextId::kRemovalDone));
    EXPECT_EQ(App().RestartNeeded, 0);
    // The installer's own copy, its INF copies and the run's mark stay for
    // the program run's end: a cut here is completed by the next run.
    EXPECT_TRUE(Exists(std::wstring(kInstall) + L"Setup.exe"));
    EXPECT_TRUE(Exists(std::wstring(kInstall) + L"user1.inf"));
    EXPECT_EQ(L"AS_DEL", Text(HKEY_LOCAL_MACHINE, kPackageKey, L"RunInProgress"));
    EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, kPackageKey, L"PathInst"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kPackageKey) + L"\\Core"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    FinishRun(1);
    RestoreNormalPriority();
    EXPECT_TRUE(WaitUntilGone(kInstall));
    ExpectNothingLeft();
    EXPECT_TRUE(WaitUntilGone(L"C:\\Tarnex.bat"));
}

}  // namespace
}  // namespace enginetest
