// Tarnex.exe on a screen at 150 % (LogPixels 144, in a prefix of its own:
// the CTest entry tarnex_wizard_dpi_test), installed and then removed with
// the keyboard alone: keys typed into the control that has the focus, never
// a button message. On every page the layout is checked for the scale, the
// mnemonics are told apart and Tab walks every control.
#include <gtest/gtest.h>

#include <string>

#include "engine_test_support.h"
#include "page_checks.h"
#include "tree_view_driver.h"
#include "ui/component_page_ids.h"
#include "ui/wizard_ids.h"
#include "vrel/text_convert.h"
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using namespace enginetest;
using namespace tarnex::uidriver;

constexpr UINT kDpi = 144;
constexpr int kStrip = 90;  // 60 pixels at 96 DPI
constexpr COLORREF kPicture = RGB(200, 40, 40);
const wchar_t kLeaveQuestion[] = L"Установка еще не закончена. Вы действительно хотите выйти из программы?";

class KeyboardWalk : public WizardWalk {
protected:
    void SetUp() override {
        WizardWalk::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!::GetEnvironmentVariableW(L"VREL_EXPECT_DPI", nullptr, 0))
            GTEST_SKIP() << "runs at 144 DPI, as tarnex_wizard_dpi_test";
        ASSERT_EQ(MakeTestProcessDpiAware(), kDpi) << "LogPixels of the prefix";
    }

    static void Key(WizardRun& run, WORD key) { TypeKey(run.Frame(), key); }

    static void ExpectFocus(WizardRun& run, HWND control) {
        for (int i = 0; i < 250 && FocusOf(run.Frame()) != control; ++i) ::Sleep(20);
        EXPECT_EQ(FocusOf(run.Frame()), control) << "the focus is on control " << ::GetDlgCtrlID(FocusOf(run.Frame()))
                                                 << " of the " << PageName(run.Current()) << " page";
    }
    static HWND OnPage(WizardRun& run, int id) { return Control(run.PageWindow(), id); }

    // The page shows, laid out for 144 DPI, its mnemonics apart and every
    // control reached by Tab; the focus is back where it was.
    static void ExpectPage(WizardRun& run, Page page, bool walkTab = true) {
        ASSERT_EQ(run.WaitForPage(page), page);
        // The page shows inside the frame's handler of the move, which runs
        // the page's own handler of its showing and sets the focus; a message
        // sent to the frame is answered once all that is done.
        DWORD_PTR ignored = 0;
        ASSERT_TRUE(::SendMessageTimeoutW(run.Frame(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &ignored));
        SCOPED_TRACE(PageName(page));
        ExpectLaidOut(run.Frame(), run.PageWindow(), kDpi, kStrip);
        ExpectDistinctMnemonics(run.Frame(), run.PageWindow());
        if (walkTab) ExpectTabWalksEverything(run.Frame(), run.PageWindow());
    }

    // Esc asks the cancel question; Enter takes its default answer, No.
    static void EscapeAndStay(WizardRun& run) {
        const Page page = run.Current();
        Key(run, VK_ESCAPE);
        const BoxContent question = run.Box();
        EXPECT_EQ(question.Text, kLeaveQuestion) << "Esc on the " << PageName(page) << " page";
        TypeKey(question.Window, VK_RETURN);
        for (int i = 0; i < 250 && ::IsWindow(question.Window); ++i) ::Sleep(20);
        EXPECT_FALSE(::IsWindow(question.Window));
        EXPECT_EQ(run.Current(), page);
    }

    static bool Checked(WizardRun& run, int id) {
        for (int i = 0; i < 250 && !IsChecked(run.PageWindow(), id); ++i) ::Sleep(20);
        return IsChecked(run.PageWindow(), id);
    }

    static int CheckImageOf(HWND tree, const wchar_t* text) { return FindTreeItem(tree, text).CheckImage; }
};

TEST_F(KeyboardWalk, At144DpiInstallationAndRemovalWithTheKeyboardAlone) {
    WritePackageWithInstaller();
    EditPackageFile(L"Tarnex.inf", "License=No", "License=Yes");
    EditPackageFile(L"Tarnex.inf", "Access=No", "Access=Yes");
    WriteBytes(std::wstring(kPackage) + L"license.txt", "Licence of the test package.\r\nUse it at will.\r\n");
    const std::string picture = PictureFile(600, 60, [](int, int) { return kPicture; });
    for (int i = 0; i < 9; ++i) WriteBytes(std::wstring(kPackage) + L"p" + std::to_wstring(i) + L".bmp", picture);
    {
        WizardRun run(PackageProgram(), L"");
        ASSERT_NE(run.Frame(), nullptr);
        ExpectPage(run, Page::Welcome);
        ExpectStripHeight(run.Frame(), kStrip, kPicture);
        ExpectFocus(run, Control(run.Frame(), IDC_NEXT));
        Key(run, VK_RETURN);

        ExpectPage(run, Page::Licence);
        EXPECT_EQ(run.ButtonText(IDC_NEXT), L"&Да");
        EXPECT_EQ(run.ButtonText(IDC_BACK), L"<< Н&азад") << "Back leaves its letter to \"&Нет\"";
        EscapeAndStay(run);
        Key(run, VK_RETURN);

        ExpectPage(run, Page::Folder);
        EXPECT_EQ(run.ButtonText(IDC_BACK), L"<< &Назад") << "the licence page gave Back its letter again";
        ExpectFocus(run, OnPage(run, IDC_FOLDER_PATH));
        EscapeAndStay(run);
        Key(run, VK_RETURN);

        ASSERT_EQ(run.WaitForPage(Page::Access), Page::Access);
        ExpectFocus(run, OnPage(run, IDC_ACCESS_97));
        Key(run, VK_DOWN);
        EXPECT_TRUE(Checked(run, IDC_ACCESS_2000)) << "the arrow moves the choice";
        ExpectFocus(run, OnPage(run, IDC_ACCESS_2000));
        ExpectPage(run, Page::Access);
        Key(run, VK_RETURN);

        ExpectPage(run, Page::Components);
        HWND tree = Tree(run);
        ExpectFocus(run, tree);
        // Down to Viewer and up again to Core, whose box Space unticks and
        // ticks again, the size following.
        const auto move = [&](WORD key, const wchar_t* to) {
            const HTREEITEM target = FindTreeItem(tree, to).Handle;
            for (int i = 0; i < 5 && SelectedTreeItem(tree) != target; ++i) {
                const HTREEITEM before = SelectedTreeItem(tree);
                Key(run, key);
                for (int wait = 0; wait < 100 && SelectedTreeItem(tree) == before; ++wait) ::Sleep(20);
            }
            EXPECT_EQ(SelectedTreeItem(tree), target) << "the arrows reach " << vrel::ToNarrow(to);
        };
        move(VK_DOWN, L"Viewer");
        move(VK_UP, L"Основные файлы");
        const std::wstring chosen = run.Text(IDC_SELECTED_SIZE);
        Key(run, VK_SPACE);
        for (int i = 0; i < 250 && CheckImageOf(tree, L"Основные файлы") != 1; ++i) ::Sleep(20);
        EXPECT_EQ(CheckImageOf(tree, L"Основные файлы"), 1) << "Space unticks the caret item";
        for (int i = 0; i < 250 && run.Text(IDC_SELECTED_SIZE) == chosen; ++i) ::Sleep(20);
        EXPECT_NE(run.Text(IDC_SELECTED_SIZE), chosen) << "the size follows";
        Key(run, VK_SPACE);
        for (int i = 0; i < 250 && run.Text(IDC_SELECTED_SIZE) != chosen; ++i) ::Sleep(20);
        EXPECT_EQ(CheckImageOf(tree, L"Основные файлы"), 2);
        EXPECT_EQ(run.Text(IDC_SELECTED_SIZE), chosen);
        Key(run, VK_RETURN);

        ExpectPage(run, Page::Summary);
        HWND summary = OnPage(run, IDC_SUMMARY_TEXT);
        for (int i = 0; i < 5 && FocusOf(run.Frame()) != summary; ++i) {
            const HWND before = FocusOf(run.Frame());
            Key(run, VK_TAB);
            WaitForFocusChange(run.Frame(), before);
        }
        ASSERT_EQ(FocusOf(run.Frame()), summary);
        EscapeAndStay(run);  // from within the text, too
        Key(run, VK_RETURN);  // and Enter there goes on

        ASSERT_EQ(run.WaitForPage(Page::Progress), Page::Progress);
        ASSERT_TRUE(WaitForStepsToEnd(run));
        ExpectPage(run, Page::Progress, false);
        Key(run, VK_RETURN);

        ExpectPage(run, Page::Finish);
        EXPECT_EQ(run.ButtonText(IDC_NEXT), L"&Завершить");
        ExpectFocus(run, Control(run.Frame(), IDC_NEXT));
        Key(run, VK_RETURN);
        ExpectEnd(run);
    }
    ExpectCore(true);  // (the installer's record holds the Access version: the option is on here)
    ExpectViewer(true);
    {
        WizardRun run(PackageProgram(), L"");
        ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
        Key(run, VK_RETURN);
        ExpectPage(run, Page::Mode);
        ExpectFocus(run, OnPage(run, IDC_MODE_CHANGE));
        // The arrows walk the three choices, past the icons beside them.
        Key(run, VK_DOWN);
        EXPECT_TRUE(Checked(run, IDC_MODE_REPAIR));
        ExpectFocus(run, OnPage(run, IDC_MODE_REPAIR));
        Key(run, VK_DOWN);
        EXPECT_TRUE(Checked(run, IDC_MODE_REMOVE));
        ExpectFocus(run, OnPage(run, IDC_MODE_REMOVE));
        // (Wine matches a Cyrillic letter in its case only, so the letters
        // go as the captions show them; Windows matches either case.)
        TypeMnemonic(run.Frame(), L'П');
        EXPECT_TRUE(Checked(run, IDC_MODE_REPAIR)) << "Alt+П";
        TypeMnemonic(run.Frame(), L'У');
        EXPECT_TRUE(Checked(run, IDC_MODE_REMOVE)) << "Alt+У";
        ExpectTabWalksEverything(run.Frame(), run.PageWindow());
        Key(run, VK_RETURN);

        ExpectPage(run, Page::Summary);
        EXPECT_EQ(run.Text(IDC_SUMMARY_TEXT),
                  L"Вы выбрали для удаления следующее:\r\nКомпоненты:\r\n\tОсновные файлы\r\n\tViewer");
        Key(run, VK_RETURN);
        ASSERT_EQ(run.WaitForPage(Page::Progress), Page::Progress);
        ASSERT_TRUE(WaitForStepsToEnd(run));
        Key(run, VK_RETURN);
        ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
        Key(run, VK_RETURN);
        ExpectEnd(run);
    }
    ExpectNothingLeft();
}

}  // namespace
}  // namespace wizardtest
