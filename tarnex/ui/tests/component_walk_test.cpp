// The component page of the real Tarnex.exe, worked through its tree view as
// a person would: the check images of a tree of three levels, toggles by the
// space bar and by a click on a check image, a click on the text, a locked
// item, the sizes, Next and Back, and the choice as the engine carries it
// out, in the first installation and in add/remove.
#include <gtest/gtest.h>

#include <string>

#include "engine_test_support.h"
#include "services/app_context.h"
#include "tree_view_driver.h"
#include "ui/component_page_ids.h"
#include "ui/free_space.h"
#include "ui/portable/size_text.h"
#include "ui/wizard_ids.h"
#include "vrel/text_convert.h"
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using namespace enginetest;
using namespace tarnex::uidriver;

constexpr wchar_t kCore[] = L"Основные файлы";
constexpr wchar_t kViewer[] = L"Viewer";
constexpr wchar_t kExtra[] = L"Дополнительные средства";
constexpr wchar_t kPlugin[] = L"Расширения";  // the third level

// The page's size texts, with the units of the string table.
std::wstring SizeText(std::int64_t bytes) {
    return tarnex::FormatSize(bytes, {L" байт", L" Гбайт", L" Мбайт", L" Кбайт"});
}

// Sizes the standard package declares: the installer's files, Core's,
// Viewer's and Extra's.
constexpr std::int64_t kInstallerBytes = 1100, kCoreBytes = 104261, kViewerBytes = 17, kExtraBytes = 7;

class ComponentWalk : public WizardWalk {
protected:
    // The tree in one line: a dot per level, the text, the check image and L
    // for the lock ("Viewer 2|.Дополнительные средства 1|..Расширения 3L").
    static std::wstring Marks(HWND tree) {
        std::wstring marks;
        for (const TreeItemView& item : ReadTree(tree)) {
            if (!marks.empty()) marks += L'|';
            marks += std::wstring(static_cast<std::size_t>(item.Depth), L'.') + item.Text;
            marks += L' ' + std::to_wstring(item.CheckImage) + (item.Overlay == tarnex::kLockOverlay ? L"L" : L"");
        }
        return marks;
    }
    // Waits for the tree to show these marks (posted keys and clicks are
    // handled after the messages that read it).
    static void ExpectMarks(WizardRun& run, const std::wstring& core, const std::wstring& viewer,
                            const std::wstring& extra, const std::wstring& plugin) {
        const std::wstring expected = std::wstring(kCore) + core + L'|' + kViewer + viewer + L"|." + kExtra + extra + L"|.." +
                                kPlugin + plugin;
        std::wstring marks;
        for (int i = 0; i < 250 && (marks = Marks(Tree(run))) != expected; ++i) ::Sleep(20);
        EXPECT_EQ(vrel::ToNarrow(marks), vrel::ToNarrow(expected));
    }
    static void ExpectSize(WizardRun& run, std::int64_t bytes) {
        const std::wstring expected = SizeText(bytes);
        for (int i = 0; i < 250 && run.Text(IDC_SELECTED_SIZE) != expected; ++i) ::Sleep(20);
        EXPECT_EQ(vrel::ToNarrow(run.Text(IDC_SELECTED_SIZE)), vrel::ToNarrow(expected));
    }
    // Next enabled and default, or disabled with Back default and focused.
    static void ExpectNextAllowed(WizardRun& run, bool allowed) {
        HWND back = Control(run.Frame(), IDC_BACK), next = Control(run.Frame(), IDC_NEXT);
        const auto isDefault = [](HWND button) {
            return (::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        };
        EXPECT_EQ(run.Enabled(IDC_NEXT), allowed);
        EXPECT_EQ(isDefault(next), allowed);
        EXPECT_EQ(isDefault(back), !allowed);
        if (!allowed) {
            EXPECT_EQ(FocusOf(run.Frame()), back);
        }
    }
    static void Space(WizardRun& run, const wchar_t* text) {
        HWND tree = Tree(run);
        ASSERT_TRUE(SelectTreeItem(tree, FindTreeItem(tree, text).Handle)) << vrel::ToNarrow(text);
        PressKey(tree, VK_SPACE);
    }
    // A click at the item's check image, or on its text.
    static void Click(WizardRun& run, const wchar_t* text, bool onCheckImage) {
        HWND tree = Tree(run);
        const RECT label = TreeItemTextRect(tree, FindTreeItem(tree, text).Handle);
        ASSERT_LT(label.left, label.right) << vrel::ToNarrow(text) << " is not shown";
        // Left of the text: the item's picture, and left of it the check image.
        const LONG x = onCheckImage ? label.left - 16 - 8 : label.left + 4;
        ClickAt(tree, {x, (label.top + label.bottom) / 2});
    }
    static void ToPage(WizardRun& run, std::initializer_list<Page> pages) {
        for (const Page page : pages) {
            ASSERT_EQ(run.WaitForPage(page), page);
            run.Next();
        }
    }
    static void Finish(WizardRun& run, const std::wstring& summary, const std::wstring& results) {
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        EXPECT_EQ(vrel::ToNarrow(run.Text(IDC_SUMMARY_TEXT)), vrel::ToNarrow(summary));
        run.Next();
        ExpectProgressToEnd(run, L"Установка завершена. Для продолжения нажмите Далее...");
        run.Next();
        ExpectFinishPage(run, results);
        run.Next();
        ExpectEnd(run);
    }
    static bool PluginInstalled() {
        return KeyExists(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Plugin") ||
               KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kPackageKey) + L"\\Plugin");
    }
};

TEST_F(ComponentWalk, FirstInstallationInstallsWhatTheTreeChose) {
    WritePackageWithThreeLevels();
    {
        WizardRun run(PackageProgram(), L"");
        ToPage(run, {Page::Welcome, Page::Folder});
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
        HWND tree = Tree(run);
        ExpandTree(run);
        ExpectMarks(run, L" 2", L" 2", L" 1", L" 3L");
        ExpectSize(run, kInstallerBytes + kCoreBytes + kViewerBytes);
        // The free space moves while other tests write: its unit is compared.
        const std::wstring freeText = run.Text(IDC_FREE_SPACE), ownText = SizeText(tarnex::GetFreeSpace(L"C:\\"));
        EXPECT_EQ(vrel::ToNarrow(freeText.substr(freeText.find(L' '))), vrel::ToNarrow(ownText.substr(ownText.find(L' '))));
        ExpectNextAllowed(run, true);

        // The locked item keeps its box; the next toggle shows the key was handled.
        Space(run, kPlugin);
        Click(run, kViewer, false);
        for (int i = 0; i < 250 && run.Text(IDC_DESCRIPTION) != L"Views the data"; ++i) ::Sleep(20);
        EXPECT_EQ(vrel::ToNarrow(run.Text(IDC_DESCRIPTION)), "Views the data") << "a click on the text selects";
        EXPECT_EQ(SelectedTreeItem(tree), FindTreeItem(tree, kViewer).Handle);
        Click(run, kCore, true);
        ExpectMarks(run, L" 1", L" 2", L" 1", L" 3L");
        ExpectSize(run, kInstallerBytes + kViewerBytes);

        Space(run, kViewer);
        ExpectMarks(run, L" 1", L" 1", L" 1", L" 3L");
        ExpectSize(run, 0);
        ExpectNextAllowed(run, false);

        // Checking a parent ticks its direct children; the locked grandchild stays.
        Space(run, kViewer);
        ExpectMarks(run, L" 1", L" 2", L" 2", L" 3L");
        ExpectSize(run, kInstallerBytes + kViewerBytes + kExtraBytes);
        ExpectNextAllowed(run, true);
        Space(run, kCore);
        ExpectMarks(run, L" 2", L" 2", L" 2", L" 3L");
        EXPECT_EQ(vrel::ToNarrow(run.Text(IDC_DESCRIPTION)), vrel::ToNarrow(L"Ядро тестового пакета"));

        // Back and forth keeps the marks.
        run.Back();
        ASSERT_EQ(run.WaitForPage(Page::Folder), Page::Folder);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
        ExpectMarks(run, L" 2", L" 2", L" 2", L" 3L");
        run.Next();
        Finish(run,
               std::wstring(L"Вы выбрали для установки следующие опции:\r\nПуть установки:\r\n"
                            L"\tC:\\VrelEngineTest\\Install\\\r\nКомпоненты:\r\n\t") +
                   kCore + L"\r\n\tViewer\r\n\t" + kExtra,
               std::wstring(L"Установлен компонент ") + kCore + L"... успешно.\r\nУстановлен компонент Viewer... "
               L"успешно.\r\nУстановлен компонент " + kExtra + L"... успешно.\r\n");
    }
    ExpectCore(true);
    ExpectViewer(true);
    ExpectExtra(true);
    EXPECT_FALSE(PluginInstalled()) << "a greyed component is not chosen";
}

TEST_F(ComponentWalk, AddRemoveRemovesExactlyWhatWasUnchecked) {
    WritePackageWithThreeLevels();
    {
        ASSERT_TRUE(LoadPackage(tarnex::AS_INST));
        Select({L"Core", L"Viewer", L"Extra"});
        RecordingView view;
        ASSERT_EQ(RunEngine(view), tarnex::EngineOutcome::Completed);
    }
    {
        WizardRun run(PackageProgram(), L"");
        ToPage(run, {Page::Welcome, Page::Mode});  // add/remove, the mode page's first choice
        ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
        // What is installed starts ticked (Extra's State 1 included).
        ExpectMarks(run, L" 2", L" 2", L" 2", L" 3L");
        ExpectSize(run, kInstallerBytes + kCoreBytes + kViewerBytes + kExtraBytes);
        Space(run, kCore);
        ExpectMarks(run, L" 1", L" 2", L" 2", L" 3L");
        ExpectSize(run, kInstallerBytes + kViewerBytes + kExtraBytes);
        ExpectNextAllowed(run, true);
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        EXPECT_EQ(vrel::ToNarrow(run.Text(IDC_SUMMARY_TEXT)),
                  vrel::ToNarrow(std::wstring(L"Вы выбрали для установки следующие опции:\r\nПуть установки:\r\n"
                                              L"\tC:\\VrelEngineTest\\Install\\\r\nКомпоненты:\r\n\tViewer\r\n\t") +
                                 kExtra + L"\r\nВы выбрали для удаления следующее:\r\n\t" + kCore));
        run.Next();
        ExpectProgressToEnd(run, L"Установка завершена. Для продолжения нажмите Далее...");
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
        run.Next();
        ExpectEnd(run);
    }
    ExpectInstaller(true);
    // Core is removed: its files, its record and its registry entries. (The
    // add/remove run leaves the copy of user1.inf and the keys of Core's
    // REG file, which only its uninstall section names.)
    for (const wchar_t* file : {L"core.txt", L"Busvault.dll", L"Data\\table.bin"})
        EXPECT_FALSE(Exists(std::wstring(kInstall) + file)) << vrel::ToNarrow(file);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kPackageKey) + L"\\Core"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData"));
    ExpectViewer(true);
    ExpectExtra(true);
    EXPECT_FALSE(PluginInstalled());
}


TEST_F(ComponentWalk, ChoiceLargerThanTheDriveKeepsNextDisabled) {
    WritePackageWithInstaller();
    // Core declares files larger together than drive C: has free.
    const std::int64_t free = tarnex::GetFreeSpace(L"C:\\");
    ASSERT_GT(free, 0);
    constexpr std::int64_t kBig = 4000000000;
    std::string names, sizes;
    std::int64_t big = 0;
    for (int i = 0; big <= free; ++i, big += kBig) {
        names += "big" + std::to_string(i) + ".bin\r\n";
        sizes += "big" + std::to_string(i) + ".bin=1," + std::to_string(kBig) + ",2021-03-04,05:06:08,\r\n";
    }
    EditPackageFile(L"user1.inf", "[Core.Data]\r\n", "[Core.Data]\r\n" + names);
    EditPackageFile(L"user1.inf", "[SourceDisksFiles]\r\n", "[SourceDisksFiles]\r\n" + sizes);
    WizardRun run(PackageProgram(), L"");
    ToPage(run, {Page::Welcome, Page::Folder});
    ASSERT_EQ(run.WaitForPage(Page::Components), Page::Components);
    ExpectSize(run, kInstallerBytes + kCoreBytes + kViewerBytes + big);
    ExpectNextAllowed(run, false);
    Space(run, kCore);
    ExpectSize(run, kInstallerBytes + kViewerBytes);
    ExpectNextAllowed(run, true);
    run.Cancel();
    run.Answer(run.Box(), IDYES);
    ExpectEnd(run);
}

}  // namespace
}  // namespace wizardtest
