// Tarnex.exe walked through its wizard as a person would, on the engine's
// standard package: every run mode from the first installation to the
// removal, each walk checking the pages in order, the buttons, the texts of
// the summary and the results, and the system afterwards.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "services/app_context.h"
#include "ui/wizard_ids.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"
#include "wizard_fixture.h"

namespace wizardtest {

using namespace tarnex::uidriver;
namespace {

using namespace enginetest;

TEST_F(WizardWalk, FirstInstallationThenRemovalChosenInMaintenance) {
    WritePackageWithInstaller();
    {
        WizardRun run(PackageProgram(), L"");
        ASSERT_NE(run.Frame(), nullptr) << run.Id();
        EXPECT_EQ(WindowText(run.Frame()), L"Тест движка Vrel");
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        EXPECT_EQ(run.Text(IDC_WELCOME_TITLE), L"Вас приветствует программа установки Пакет для проверки движка.");
        ExpectButtons(run, false, true, true);
        EXPECT_EQ(run.ButtonText(IDC_BACK), L"<< &Назад");
        EXPECT_EQ(run.ButtonText(IDC_NEXT), L"&Далее >>");
        EXPECT_EQ(run.ButtonText(IDCANCEL), L"О&тмена");

        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Folder), Page::Folder);
        EXPECT_EQ(run.Text(IDC_FOLDER_PATH), L"C:\\VrelEngineTest\\Install\\");
        EXPECT_EQ(run.Text(IDC_FREE_SPACE_LABEL), L"Свободно на диске C:");
        EXPECT_NE(run.Text(IDC_FREE_SPACE).find(L"байт"), std::wstring::npos);
        ExpectButtons(run, true, true, true);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
        EXPECT_TRUE(Exists(kInstall)) << "going on from the folder page creates the folder";
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT), L"Вы выбрали для установки следующие опции:\r\nПуть установки:\r\n"
                                              L"\tC:\\VrelEngineTest\\Install\\\r\nКомпоненты:\r\n\tОсновные файлы\r\n\tViewer");
        EXPECT_EQ(run.Text(IDC_SUMMARY_STATUS),
                  L"Нажмите Далее, чтобы начать установку. Нажмите Назад, чтобы внести изменения.");
        ExpectButtons(run, true, true, true);

        run.Next();
        EndWithBothComponentsInstalled(run);
    }
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    ExpectExtra(false);
    EXPECT_TRUE(ContainsInOrder(Log(), {L"// START SETUP of \"Пакет для проверки движка\""}));
    EXPECT_TRUE(ContainsInOrder(Log(), StepLines(L"AS_INST", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})));
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Setup was completed successful.", L"// END SETUP of \"Пакет для проверки движка\""}));

    const std::size_t removalStart = LogSize();
    {
        WizardRun run(PackageProgram(), L"");
        ModeToSummary(run, IDC_MODE_REMOVE);
        if (HasFatalFailure()) return;
        const std::wstring removalText = L"Вы выбрали для удаления следующее:\r\nКомпоненты:\r\n\tОсновные файлы\r\n\tViewer";
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT), removalText);
        EXPECT_EQ(run.Text(IDC_SUMMARY_STATUS),
                  L"Нажмите Далее, чтобы начать удаление. Нажмите Назад, чтобы внести изменения.");
        run.Back();
        ASSERT_EQ(run.WaitForPage(Page::Mode), Page::Mode) << "back from the summary returns to the choice";
        EXPECT_TRUE(IsChecked(run.PageWindow(), IDC_MODE_REMOVE));
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT), removalText);
        run.Next();
        WaitForProgressStart(run);
        EXPECT_TRUE(CancelGoesDisabled(run)) << "a removal cannot be cancelled";
        ExpectProgressToEnd(run, L"Удаление завершено. Для продолжения нажмите Далее...");
        run.Next();
        ExpectFinishPage(run, L"Удален компонент Основные файлы... успешно.\r\nУдален компонент Viewer... успешно.\r\n");
        run.Next();
        ExpectEnd(run);
    }
    EXPECT_TRUE(ContainsInOrder(LogSince(removalStart), StepLines(L"AS_SD", {1, 2, 4, 5, 6, 7, 8, 14, 15})));
    ExpectNothingLeft();
}

TEST_F(WizardWalk, AddRemoveAndRepairReinstallWhatIsThere) {
    WritePackageWithInstaller();
    InstallThroughWizard();
    {
        WizardRun run(PackageProgram(), L"");
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Mode), Page::Mode);
        run.Next();  // add/remove, the page's first choice
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT), L"Вы выбрали для установки следующие опции:\r\nПуть установки:\r\n"
                                              L"\tC:\\VrelEngineTest\\Install\\\r\nКомпоненты:\r\n\tОсновные файлы\r\n\tViewer");
        run.Back();
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components) << "add/remove walks back through the components";
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        run.Next();
        EndWithBothComponentsInstalled(run);
    }
    ExpectCore(true);
    ExpectViewer(true);
    {
        WizardRun run(PackageProgram(), L"");
        ModeToSummary(run, IDC_MODE_REPAIR);
        if (HasFatalFailure()) return;
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT),
                  L"Вы выбрали для восстановления и переустановки следующее:\r\nКомпоненты:\r\n\tОсновные файлы\r\n\tViewer");
        run.Next();
        ExpectProgressToEnd(run, L"Установка завершена. Для продолжения нажмите Далее...");
        run.Next();
        ExpectFinishPage(run, L"Переустановлен компонент Основные файлы... успешно.\r\nПереустановлен компонент Viewer... "
                              L"успешно.\r\n");
        run.Next();
        ExpectEnd(run);
    }
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    ExpectExtra(false);
}

TEST_F(WizardWalk, RemovalByTheSwitchEndsWithTheSelfRemoval) {
    WritePackageWithInstaller();
    InstallThroughWizard();
    const std::wstring copy = std::wstring(kInstall) + L"Setup.exe";
    {
        WizardRun run(copy, L"/u");
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT),
                  L"Вы выбрали для удаления следующее:\r\nКомпоненты:\r\n\tОсновные файлы\r\n\tViewer");
        run.Next();
        WaitForProgressStart(run);
        EXPECT_TRUE(CancelGoesDisabled(run));
        ExpectProgressToEnd(run, L"Удаление завершено. Для продолжения нажмите Далее...");
        run.Next();
        ExpectFinishPage(run, L"Удален компонент Основные файлы... успешно.\r\nУдален компонент Viewer... успешно.\r\n");
        run.Next();
        ExpectEnd(run);
    }
    EXPECT_TRUE(WaitUntilGone(copy)) << "the batch removed the installer's copy";
    EXPECT_TRUE(WaitUntilGone(L"C:\\Tarnex.bat"));
    ExpectNothingLeft();
}

}  // namespace
}  // namespace wizardtest
