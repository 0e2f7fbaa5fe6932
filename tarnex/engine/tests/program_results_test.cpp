// What the results of the programs run before and after the installation
// do to the engine: 1 stops (step 2: everything; step 14: step 14 only),
// 2 asks for a restart that the program arranges itself.
#include <windows.h>

#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"

namespace enginetest {
namespace {

using namespace tarnex;

const std::string kBefore = "probe.exe exit 0 C:\\VrelEngineTest\\Markers\\core_before";
const std::string kAfter = "probe.exe exit 0 C:\\VrelEngineTest\\Markers\\core_after";

TEST_F(EngineCycle, ProgramBeforeThatReportsAFaultStopsTheEngineWithItsMessage) {
    WriteStandardPackage();
    EditPackageFile(L"user1.inf", kBefore, "probe.exe exit 1 C:\\VrelEngineTest\\Markers\\core_before");
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    bool endsWizard = false;
    EXPECT_EQ(RunEngine(view,
                        [&](InstallEngine& engine) {
                            EXPECT_TRUE(engine.WaitForWorker(60000));
                            endsWizard = engine.OnCancelRequest();
                        }),
              EngineOutcome::StoppedBeforeCopy);
    ASSERT_EQ(messages_.Count(), 1u);
    EXPECT_EQ(messages_.Shown()[0].text, FormatText(TextId::kProgramFault, L"probe.exe"));
    EXPECT_EQ(messages_.Shown()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(view.FinalText(), L"");
    EXPECT_FALSE(view.Enabled(PageButton::Next));
    // The user is not left with every button dead: "&Завершить" ends the
    // wizard as cancelled.
    EXPECT_EQ(view.ButtonText(PageButton::Cancel), LoadText(TextId::kFinishButton));
    EXPECT_TRUE(view.Enabled(PageButton::Cancel));
    EXPECT_TRUE(endsWizard);
    EXPECT_FALSE(Exists(kInstall));
    const std::wstring log = Log();
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_INST", {1})));
    EXPECT_EQ(log.find(L"Step 2 - "), std::wstring::npos);
    EXPECT_EQ(log.find(L"Step 3 - "), std::wstring::npos);
}

TEST_F(EngineCycle, ProgramAfterThatReportsAFaultEndsOnlyStepFourteenWithTheEntrysMessage) {
    WriteStandardPackage();
    EditPackageFile(L"user1.inf", kAfter + ",probe.exe,1,1,1,0,",
                    "probe.exe exit 1 C:\\VrelEngineTest\\Markers\\core_after,probe.exe,1,1,1,0,Core setup failed");
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    EXPECT_EQ(RunEngine(view), EngineOutcome::Completed);
    ASSERT_EQ(messages_.Count(), 1u);
    EXPECT_EQ(messages_.Shown()[0].text, L"Core setup failed");
    EXPECT_EQ(view.FinalText(), LoadText(TextId::kInstallDone));
    EXPECT_EQ(view.OverallPosition(), 15) << "step 14 is behind the bar although it was cut short";
    ExpectInstaller(true);
    ExpectCore(true);
    const std::wstring log = Log();
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_INST", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15})));
    EXPECT_EQ(log.find(L"Step 14 - "), std::wstring::npos);
}

TEST_F(EngineCycle, ProgramBeforeAskingForARestartDefersRegistrationAndProgramsAfter) {
    WriteStandardPackage();
    EditPackageFile(L"user1.inf", kBefore, "probe.exe exit 2 C:\\VrelEngineTest\\Markers\\core_before");
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    EXPECT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(messages_.Count(), 0u);
    EXPECT_EQ(App().RestartNeeded, 1);
    EXPECT_EQ(App().RestartRequestedByProgram, 1);
    EXPECT_EQ(BusvaultServerPath(), L"");
    EXPECT_FALSE(Exists(std::wstring(kMarkers) + L"core_after"));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kPackageKey, L"PathInst"), kInstall);
    const std::wstring log = Log();
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_INST", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15})));
    EXPECT_EQ(log.find(L"Step 13 - "), std::wstring::npos);
    EXPECT_EQ(log.find(L"Step 14 - "), std::wstring::npos);
}

}  // namespace
}  // namespace enginetest
