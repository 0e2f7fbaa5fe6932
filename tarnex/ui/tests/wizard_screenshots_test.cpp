// Pictures of every page, the replace question and the background window
// for docs/wizard.md, taken when VREL_SCREENSHOTS names a folder
// (scripts/wizard-screenshots runs it, for the shipped 32-bit build and for
// the 64-bit one).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine_test_support.h"
#include "page_checks.h"
#include "ui/replace_dialog_ids.h"
#include "tree_view_driver.h"
#include "ui/wizard_ids.h"
#include "vrel/text_convert.h"
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using namespace enginetest;
using namespace tarnex::uidriver;

// A 600 x 60 strip picture: a horizontal blend between two colours, as a
// package author's page picture might be.
std::string StripPicture(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return PictureFile(600, 60, [=](int x, int) {
        const double t = x / 600.0;
        return RGB(static_cast<BYTE>(r + (255 - r) * t), static_cast<BYTE>(g + (255 - g) * t),
                   static_cast<BYTE>(b + (255 - b) * t));
    });
}

class Screens {
public:
    explicit Screens(std::wstring folder) : folder_(std::move(folder)) {}
    void Take(HWND window, const wchar_t* name) {
        ::Sleep(400);  // let the page paint
        EXPECT_TRUE(SaveWindowImage(window, folder_ + name + L".bmp")) << vrel::ToNarrow(name);
    }

private:
    std::wstring folder_;
};

TEST_F(WizardWalk, DISABLED_ScreenshotsOfEveryPage) {
    wchar_t folder[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"VREL_SCREENSHOTS", folder, MAX_PATH)) GTEST_SKIP() << "VREL_SCREENSHOTS unset";
    // Whole windows in the screen's pixels, whatever its DPI.
    MakeTestProcessDpiAware();
    Screens screens(std::wstring(folder) + L"\\");
    WritePackageWithThreeLevels();
    EditPackageFile(L"Tarnex.inf", "License=No", "License=Yes");
    EditPackageFile(L"Tarnex.inf", "Access=No", "Access=Yes");
    EditPackageFile(L"Tarnex.inf", "BackWindow=No", "BackWindow=Yes");
    EditPackageFile(L"Tarnex.inf", "BackName=Engine",
                    vrel::ToNarrow(L"BackName=\"Vrel Engine Test: программа установки\"", CP_ACP));
    WriteBytes(std::wstring(kPackage) + L"license.txt",
               vrel::ToNarrow(L"ЛИЦЕНЗИОННОЕ СОГЛАШЕНИЕ\r\n\r\n1. Программа предоставляется \"как есть\".\r\n"
                              L"2. Вы можете устанавливать её на любое число компьютеров.\r\n"
                              L"3. Автор не отвечает за убытки от её использования.\r\n",
                              CP_ACP));
    const std::uint8_t colours[9][3] = {{40, 90, 170}, {60, 120, 60},  {150, 90, 30}, {90, 60, 140}, {30, 120, 130},
                                        {170, 50, 50}, {40, 90, 170},  {110, 110, 30}, {60, 60, 60}};
    for (int i = 0; i < 9; ++i)
        WriteBytes(std::wstring(kPackage) + L"p" + std::to_wstring(i) + L".bmp",
                   StripPicture(colours[i][0], colours[i][1], colours[i][2]));
    WriteBytes(std::wstring(kInstall) + L"core.txt", "newer edition");  // holds step 3 at the replace question
    {
        WizardRun run(PackageProgram(), L"");
        ASSERT_NE(run.Frame(), nullptr);
        WindowQuery backdrop;
        backdrop.ProcessId = run.Id();
        backdrop.ClassName = L"Tarnex";
        HWND background = WaitForWindow(backdrop, kWaitMs);
        ASSERT_NE(background, nullptr);
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        screens.Take(background, L"background");
        const std::pair<Page, const wchar_t*> pages[] = {{Page::Welcome, L"welcome"},
                                                         {Page::Licence, L"licence"},
                                                         {Page::Folder, L"folder"},
                                                         {Page::Access, L"access"},
                                                         {Page::Components, L"components"},
                                                         {Page::Summary, L"summary"}};
        for (const auto& [page, name] : pages) {
            ASSERT_EQ(run.WaitForPage(page), page);
            if (page == Page::Components) {
                // All three levels shown, a component's description beside them.
                ExpandTree(run);
                ASSERT_TRUE(SelectTreeItem(Tree(run), FindTreeItem(Tree(run), L"Дополнительные средства").Handle));
            }
            screens.Take(run.Frame(), name);
            if (page == Page::Summary) {
                run.Cancel();
                const BoxContent question = run.Box();
                screens.Take(question.Window, L"cancel-question");
                run.Answer(question, IDNO);
            }
            run.Next();
        }
        HWND replace = WaitForDialogWith(run.Id(), IDC_EXISTING_PATH, kWaitMs);
        ASSERT_NE(replace, nullptr);
        // The question covers the page: out of the way for the page's picture.
        RECT at{};
        ::GetWindowRect(replace, &at);
        ::SetWindowPos(replace, nullptr, 2000, 2000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        screens.Take(run.Frame(), L"progress");
        ::SetWindowPos(replace, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        screens.Take(replace, L"replace-question");
        ClickButton(replace, IDC_REPLACE_ALL_BUTTON);
        ASSERT_TRUE(WaitForStepsToEnd(run));
        screens.Take(run.Frame(), L"progress-done");
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
        screens.Take(run.Frame(), L"finish");
        run.Next();
        ExpectEnd(run);
    }
    {
        WizardRun run(PackageProgram(), L"");
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Mode), Page::Mode);
        screens.Take(run.Frame(), L"mode");
        run.Cancel();
        run.Answer(run.Box(), IDYES);
        ExpectEnd(run);
    }
    {
        // The next run after an installation that was cut off says so.
        LeaveMarkOfAnInstallationCutAfterStepTen();
        WizardRun run(PackageProgram(), L"");
        const BoxContent told = run.Box();
        screens.Take(told.Window, L"interrupted");
        run.Answer(told, IDOK);
        ASSERT_TRUE(WaitForStepsToEnd(run));
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
        run.Next();
        ExpectEnd(run);
    }
}

}  // namespace
}  // namespace wizardtest
