// The wizard's edge cases that can go wrong in a real program: Cancel on
// every page before the progress page, the licence and Access pages, the
// folder page's checks, a missing licence file and a description that can no
// longer be read when the summary of a removal reloads it.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "ui/wizard_ids.h"
#include "vrel/text_convert.h"
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using namespace enginetest;
using namespace tarnex::uidriver;

const wchar_t kLeaveQuestion[] = L"Установка еще не закончена. Вы действительно хотите выйти из программы?";

void TurnOn(const char* option) {
    EditPackageFile(L"Tarnex.inf", std::string(option) + "=No", std::string(option) + "=Yes");
}

// Cancel asks the text kLeaveWizardQuestion; No leaves the page and its buttons as they were.
void CancelAndStay(WizardRun& run) {
    const Page page = run.Current();
    const bool back = run.Enabled(IDC_BACK), next = run.Enabled(IDC_NEXT);
    run.Cancel();
    const BoxContent question = run.Box();
    EXPECT_EQ(question.Text, kLeaveQuestion) << "on the " << PageName(page) << " page";
    EXPECT_EQ(question.ButtonIds, (std::vector<int>{IDYES, IDNO}));
    run.Answer(question, IDNO);
    EXPECT_EQ(run.Current(), page);
    EXPECT_EQ(run.Enabled(IDC_BACK), back);
    EXPECT_EQ(run.Enabled(IDC_NEXT), next);
}

void CancelAndLeave(WizardRun& run) {
    run.Cancel();
    const BoxContent question = run.Box();
    EXPECT_EQ(question.Text, kLeaveQuestion);
    run.Answer(question, IDYES);
    std::string stuck;
    EXPECT_EQ(run.Exit(&stuck), 0) << "stuck at " << stuck;
}

TEST_F(WizardWalk, LicenceAndAccessPagesAndCancelOnEveryPage) {
    WritePackageWithInstaller();
    TurnOn("License");
    TurnOn("Access");
    const std::wstring licence = L"Licence of the test package.\r\nUse it at will.";
    WriteBytes(std::wstring(kPackage) + L"license.txt", vrel::ToNarrow(licence));
    {
        WizardRun run(PackageProgram(), L"");
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        CancelAndStay(run);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Licence), Page::Licence);
        EXPECT_EQ(run.Text(IDC_LICENCE_TEXT), licence);
        EXPECT_EQ(run.ButtonText(IDC_NEXT), L"&Да");
        EXPECT_EQ(run.ButtonText(IDCANCEL), L"&Нет");
        CancelAndStay(run);
        run.Back();
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        EXPECT_EQ(run.ButtonText(IDC_NEXT), L"&Далее >>") << "leaving the licence page restores the labels";
        EXPECT_EQ(run.ButtonText(IDCANCEL), L"О&тмена");
        EXPECT_FALSE(run.Enabled(IDC_BACK)) << "Back is dead on the first page";
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Licence), Page::Licence);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Folder), Page::Folder);
        EXPECT_EQ(run.ButtonText(IDC_NEXT), L"&Далее >>");
        CancelAndStay(run);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Access), Page::Access);
        EXPECT_TRUE(IsChecked(run.PageWindow(), IDC_ACCESS_97)) << "no Access found: 97 is offered";
        CancelAndStay(run);
        Choose(run, IDC_ACCESS_2000);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
        CancelAndStay(run);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT),
                  L"Вы выбрали для установки следующие опции:\r\nПуть установки:\r\n\tC:\\VrelEngineTest\\Install\\\r\n"
                  L"Версия Microsoft Access:\r\n\tMicrosoft Access 2000\r\nКомпоненты:\r\n\tОсновные файлы\r\n\tViewer");
        CancelAndStay(run);
        run.Back();
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
        run.Back();
        ASSERT_EQ(run.WaitForPage(Page::Access), Page::Access);
        EXPECT_TRUE(IsChecked(run.PageWindow(), IDC_ACCESS_2000)) << "the stored version is shown again";
        CancelAndLeave(run);
    }
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Setup was interrupted."}));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
}

TEST_F(WizardWalk, FolderPageStoresGoingBackAndRefusesFoldersItCannotMake) {
    WritePackageWithInstaller();
    WizardRun run(PackageProgram(), L"");
    ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Folder), Page::Folder);
    HWND edit = Control(run.PageWindow(), IDC_FOLDER_PATH);

    ASSERT_TRUE(SetText(edit, L"Z:\\tmp"));
    for (int i = 0; i < 100 && run.Text(IDC_FREE_SPACE_LABEL) != L"Свободно на диске Z:"; ++i) ::Sleep(20);
    EXPECT_EQ(run.Text(IDC_FREE_SPACE_LABEL), L"Свободно на диске Z:") << "refreshed within a second";

    const std::wstring typed = std::wstring(kRoot) + L"Typed";
    ASSERT_TRUE(SetText(edit, typed));
    run.Back();
    ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
    EXPECT_FALSE(Exists(typed)) << "going back does not create the folder";
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Folder), Page::Folder);
    EXPECT_EQ(run.Text(IDC_FOLDER_PATH), typed + L"\\") << "the typed folder was stored";

    const std::wstring bad = std::wstring(kRoot) + L"Bad|Name";
    ASSERT_TRUE(SetText(edit, bad));
    run.Next();
    BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Не удается создать директорию: " + bad + L".");
    run.Answer(box, IDOK);
    EXPECT_EQ(run.Current(), Page::Folder) << "the user stays on the page";
    EXPECT_TRUE(run.WaitEnabled(IDC_NEXT));

    ASSERT_TRUE(SetText(edit, L"Q:\\Product"));
    run.Next();
    box = run.Box();
    EXPECT_NE(box.Text.find(L"q:\\"), std::wstring::npos) << vrel::ToNarrow(box.Text, CP_UTF8);
    run.Answer(box, IDOK);
    EXPECT_EQ(run.Current(), Page::Folder);

    ASSERT_TRUE(SetText(edit, typed));
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
    EXPECT_TRUE(Exists(typed)) << "going on creates it";
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
    EXPECT_NE(run.Text(IDC_SUMMARY_TEXT).find(L"\t" + typed + L"\\\r\n"), std::wstring::npos);
    CancelAndLeave(run);
}

TEST_F(WizardWalk, MissingLicenceFileIsReportedAndThePageStaysEmpty) {
    WritePackageWithInstaller();
    TurnOn("License");
    WizardRun run(PackageProgram(), L"");
    const BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Не удается открыть файл с лицензионным соглашением C:\\VrelEngineTest\\Package\\license.txt.");
    EXPECT_EQ(box.Caption, L"Тест движка Vrel (удаление)");
    run.Answer(box, IDOK);
    ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Licence), Page::Licence);
    EXPECT_EQ(run.Text(IDC_LICENCE_TEXT), L"");
    CancelAndLeave(run);
}

TEST_F(WizardWalk, RemovalWhoseDescriptionCannotBeReadAgainEndsAsCancelled) {
    WritePackageWithInstaller();
    InstallThroughWizard();
    const std::wstring copy = std::wstring(kInstall) + L"Setup.exe";
    WizardRun run(copy, L"/u");
    ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
    ASSERT_TRUE(::DeleteFileW((std::wstring(kInstall) + L"Setup.inf").c_str()));
    run.Next();
    BoxContent box = run.Box();
    EXPECT_EQ(box.Text.rfind(L"Не удается открыть INF-файл", 0), 0u) << vrel::ToNarrow(box.Text, CP_UTF8);
    run.Answer(box, IDOK);
    box = run.Box();
    EXPECT_EQ(box.Text, L"Не удается прочитать служебную информацию из setup.inf. Работа приложения будет завершена.");
    run.Answer(box, IDOK);
    ExpectEnd(run);
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Setup was interrupted."}));
    ExpectCore(true);
}

}  // namespace
}  // namespace wizardtest

namespace wizardtest {
namespace {

using namespace enginetest;
using namespace tarnex::uidriver;

// A person's run after an installation that was cut off after its tenth
// step: its records are written, the installer's are not, a temporary copy
// of a file is left. The program says so first, then carries the
// installation out again with its choice, from the progress page on.
TEST_F(WizardWalk, AnInstallationCutOffIsSaidAndCarriedOutAgainFromTheProgressPage) {
    WritePackageWithInstaller();
    LeaveMarkOfAnInstallationCutAfterStepTen();
    WriteBytes(std::wstring(kInstall) + L"vrel_core.txt", "half");

    WizardRun run(PackageProgram(), L"");
    const BoxContent told = run.Box();
    EXPECT_EQ(told.Text, L"Предыдущая установка была прервана и не завершена.\nСейчас она будет выполнена заново, с "
                         L"прежним выбором компонентов и в прежнюю папку.");
    EXPECT_EQ(told.ButtonIds, (std::vector<int>{IDOK}));
    run.Answer(told, IDOK);
    ASSERT_EQ(run.WaitForPage(Page::Progress), Page::Progress) << "the choice is made: straight to the progress page";
    WaitForProgressStart(run);
    EndWithBothComponentsInstalled(run);
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    ExpectExtra(false);
    EXPECT_FALSE(Exists(std::wstring(kInstall) + L"vrel_core.txt"));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kPackageKey, L"RunInProgress"), L"<none>");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kPackageKey, L"RunSelected"), L"<none>");
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Found the mark of an interrupted run: AS_INST in C:\\VrelEngineTest\\Install\\, its last step done 10",
                                        L"Carrying out the interrupted installation again", L"Install State = AS_INST",
                                        L"Step 3 - successful", L"Step 15 - successful"}));
}

}  // namespace
}  // namespace wizardtest
