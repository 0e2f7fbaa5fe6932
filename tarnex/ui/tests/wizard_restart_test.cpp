// The restart cycle through the program, in a prefix of its own: a file held
// in use makes the repair wait for a restart; the user answers Yes to the
// restart question, Wine carries out the queued operations and starts the
// Run entry, and the installer's copy finishes the work on its progress page
// without a click.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "ui/replace_dialog_ids.h"
#include "ui/wizard_ids.h"
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using namespace enginetest;
using namespace tarnex::uidriver;

// From Vista on the continuation goes under RunOnce.
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The continuation's frame, started by Wine rather than by the test.
DWORD ContinuationProcess() {
    WindowQuery query;
    query.Caption = L"Тест движка Vrel";
    HWND frame = WaitForWindow(query, 120000);
    DWORD id = 0;
    if (frame != nullptr) ::GetWindowThreadProcessId(frame, &id);
    return id;
}

TEST_F(WizardWalk, RepairWaitingForAFileInUseIsFinishedAfterTheRestart) {
    WritePackageWithInstaller();
    InstallThroughWizard();
    const std::wstring core = std::wstring(kInstall) + L"core.txt";
    WriteBytes(core, "old edition");
    FileHolder holder(core);
    ASSERT_TRUE(holder.Holding());
    {
        WizardRun run(PackageProgram(), L"");
        ModeToSummary(run, IDC_MODE_REPAIR);
        if (HasFatalFailure()) return;
        run.Next();
        HWND replace = WaitForDialogWith(run.Id(), IDC_EXISTING_PATH, kWaitMs);
        ASSERT_NE(replace, nullptr) << "the edited file is newer than the package's";
        ClickButton(replace, IDC_REPLACE_ALL_BUTTON);
        ExpectProgressToEnd(run, L"Установка завершена. Для продолжения нажмите Далее...");
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
        run.Next();
        const BoxContent question = run.Box();
        EXPECT_EQ(question.Text, L"Для продолжения установки необходимо перезагрузить компьютер.\nВы хотите это сделать "
                                 L"сейчас?");
        EXPECT_EQ(question.ButtonIds, (std::vector<int>{IDYES, IDNO}));
        EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kRunKey, L"Tarnex_continue_UI"),
                  L"\"C:\\VrelEngineTest\\Install\\Setup.exe\" /r");
        holder.Release();  // the restart may now replace it
        run.Answer(question, IDYES);
        ExpectEnd(run);
    }
    {
        WizardRun continuation(ContinuationProcess());
        ASSERT_TRUE(continuation.Started()) << "Wine started the RunOnce entry";
        ASSERT_EQ(continuation.WaitForPage(Page::Progress), Page::Progress) << "it starts on the progress page";
        WaitForProgressStart(continuation);
        EXPECT_TRUE(CancelGoesDisabled(continuation));
        EXPECT_FALSE(continuation.Enabled(IDC_BACK));
        EndWithBothComponentsInstalled(continuation);
    }
    EXPECT_EQ(ReadBytes(core), "core file, first edition\r\n") << "the queued rename was carried out";
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kRunKey, L"Tarnex_continue_UI"), L"<none>");
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Restart computer", L"// END SETUP", L"// START SETUP"}));
    EXPECT_TRUE(ContainsInOrder(Log(), {L"// START SETUP", L"Install State = AS_INST", L"Step 13 - successful",
                                        L"Step 14 - successful", L"Step 15 - successful",
                                        L"Setup was completed successful."}));
}

}  // namespace
}  // namespace wizardtest
