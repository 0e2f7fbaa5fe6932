#include "wizard_fixture.h"

#include <cstdint>

#include "services/app_context.h"
#include "tree_view_driver.h"
#include "ui/component_page_ids.h"
#include "ui/wizard_ids.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"

namespace wizardtest {

using namespace tarnex::uidriver;

using namespace enginetest;

std::string PictureFile(int width, int height, const std::function<COLORREF(int x, int y)>& colourAt) {
    const int row = (width * 3 + 3) & ~3;
    std::string bytes(54 + static_cast<std::size_t>(row) * height, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    bytes[26] = 1;
    bytes[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF colour = colourAt(x, y);
            char* p = &bytes[54 + static_cast<std::size_t>(y) * row + x * 3];
            p[0] = static_cast<char>(GetBValue(colour));
            p[1] = static_cast<char>(GetGValue(colour));
            p[2] = static_cast<char>(GetRValue(colour));
        }
    return bytes;
}

void WizardWalk::SetUp() {
    if (!::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) GTEST_SKIP() << "the wizard needs a display";
    // The walks read the log the program writes, in the Windows folder.
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    vrel::CopyToField(tarnex::App().WindowsFolder, std::wstring_view(std::wstring(windows) + L"\\"));
    EngineCycle::SetUp();
    // Wine's default, Windows 10: the test package lists it, and it is not of
    // the NT 5 family, where "atl.dll" is never replaced.
    ReportInstallerWindowsVersion(nullptr);
}

void WizardWalk::TearDown() { EngineCycle::TearDown(); }

void WizardWalk::WritePackageWithInstaller(const PackageVariant& variant) {
    WriteStandardPackage(variant);
    ASSERT_TRUE(::CopyFileW((TestProgramFolder() + L"Tarnex.exe").c_str(), PackageProgram().c_str(), FALSE));
    // The installed copy reads its description as "Setup.inf".
    EditPackageFile(L"Tarnex.inf", "Tarnex.exe,Setup.exe,6\r\n", "Tarnex.exe,Setup.exe,6\r\nTarnex.inf,Setup.inf,6\r\n");
    EditPackageFile(L"Tarnex.inf", "Tarnex.exe=1,1000,", "Tarnex.inf=1,100,2021-03-04,05:06:08,\r\nTarnex.exe=1,1000,");
}

std::wstring WizardWalk::PackageProgram() { return std::wstring(kPackage) + L"Tarnex.exe"; }

void WizardWalk::WritePackageWithThreeLevels() {
    WritePackageWithInstaller();
    const auto add = [](const char* header, const wchar_t* line) {
        EditPackageFile(L"user2.inf", header, std::string(header) + vrel::ToNarrow(line, CP_ACP) + "\r\n");
    };
    EditPackageFile(L"user2.inf", "Extra\r\n\r\n[NUMBERS]\r\n", "Extra\r\nPlugin\r\n\r\n[NUMBERS]\r\n");
    add("[NUMBERS]\r\n", L"Plugin=3");
    add("[LocNames]\r\n", L"Plugin=Расширения");
    add("[PROPERTIES]\r\n", L"Plugin=Locked add-on");
    add("[CompVersions]\r\n", L"Plugin=0.9");
    add("[InstPaths]\r\n", L"Plugin=%65600%\\Plugin");
    add("[COMPLEXES]\r\n", L"Plugin=No");
    add("[DEPENDENCES]\r\n", L"Plugin=2");
    add("[STATES]\r\n", L"Plugin=4");
    EditPackageFile(L"user2.inf", "[DestinationDirs]\r\n",
                    "[Plugin - DefaultInstall]\r\nAddReg=Plugin.Reg\r\n\r\n[Plugin - DefaultUnInstall]\r\n"
                    "DelReg=Plugin.Reg\r\n\r\n[Plugin.Reg]\r\n3,Software\\VrelEngineTest\\Plugin,Level,2,4\r\n\r\n"
                    "[DestinationDirs]\r\n");
}

HWND WizardWalk::Tree(WizardRun& run) { return Control(run.PageWindow(), IDC_COMPONENT_TREE); }

void WizardWalk::ExpandTree(WizardRun& run) {
    HWND tree = Tree(run);
    const std::vector<TreeItemView> items = ReadTree(tree);
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        if (items[i + 1].Depth <= items[i].Depth) continue;
        ASSERT_TRUE(SelectTreeItem(tree, items[i].Handle));
        PressKey(tree, VK_RIGHT);
        for (int wait = 0; wait < 250 && TreeItemTextRect(tree, items[i + 1].Handle).right == 0; ++wait) ::Sleep(20);
    }
}

void WizardWalk::InstallThroughWizard() {
    WizardRun run(PackageProgram(), L"");
    for (const Page page : {Page::Welcome, Page::Folder, Page::Components, Page::Summary}) {
        ASSERT_EQ(run.WaitForPage(page), page);
        run.Next();
    }
    ASSERT_EQ(run.WaitForPage(Page::Progress), Page::Progress);
    ASSERT_TRUE(WaitForStepsToEnd(run));
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
    run.Next();
    ExpectEnd(run);
}

void WizardWalk::ExpectButtons(WizardRun& run, bool back, bool next, bool cancel) {
    EXPECT_EQ(run.Enabled(IDC_BACK), back) << "Back on the " << PageName(run.Current()) << " page";
    EXPECT_EQ(run.Enabled(IDC_NEXT), next) << "Next on the " << PageName(run.Current()) << " page";
    EXPECT_EQ(run.Enabled(IDCANCEL), cancel) << "Cancel on the " << PageName(run.Current()) << " page";
}

void WizardWalk::Choose(WizardRun& run, int radioId) {
    run.ClickOnPage(radioId);
    for (int i = 0; i < 250 && !IsChecked(run.PageWindow(), radioId); ++i) ::Sleep(20);
    ASSERT_TRUE(IsChecked(run.PageWindow(), radioId));
}

void WizardWalk::WaitForProgressStart(WizardRun& run) {
    ASSERT_EQ(run.WaitForPage(Page::Progress), Page::Progress);
    // The page disables Back when it starts the steps.
    for (int i = 0; i < 500 && run.Enabled(IDC_BACK); ++i) ::Sleep(10);
}

bool WizardWalk::CancelGoesDisabled(WizardRun& run) {
    for (int i = 0; i < 200 && run.Enabled(IDCANCEL); ++i) ::Sleep(10);
    return !run.Enabled(IDCANCEL);
}

bool WizardWalk::StepsEnded(WizardRun& run) { return run.Enabled(IDC_NEXT) && !run.Visible(IDC_OVERALL_BAR); }

bool WizardWalk::WaitForStepsToEnd(WizardRun& run) {
    const ULONGLONG end = ::GetTickCount64() + kWaitMs;
    while (!StepsEnded(run)) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(20);
    }
    return true;
}

void WizardWalk::ExpectProgressToEnd(WizardRun& run, const std::wstring& finalText) {
    ASSERT_EQ(run.WaitForPage(Page::Progress), Page::Progress);
    ASSERT_TRUE(WaitForStepsToEnd(run)) << "the steps never ended";
    EXPECT_EQ(run.Text(IDC_CURRENT_TEXT), finalText);
    for (const int id : {IDC_CURRENT_BAR, IDC_OVERALL_BAR, IDC_OVERALL_TEXT, IDC_PROGRESS_HEADING, IDC_CURRENT_LABEL,
                         IDC_OVERALL_LABEL})
        EXPECT_FALSE(run.Visible(id)) << "control " << id << " is hidden at the end";
    ExpectButtons(run, false, true, false);
}

void WizardWalk::ExpectFinishPage(WizardRun& run, const std::wstring& results) {
    ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
    EXPECT_EQ(run.Text(IDC_FINISH_TITLE), L"Программа установки Пакет для проверки движка завершена");
    EXPECT_EQ(run.Text(IDC_RESULTS_TEXT), results);
    EXPECT_EQ(run.ButtonText(IDC_NEXT), L"&Завершить");
    ExpectButtons(run, false, true, false);
}

void WizardWalk::ModeToSummary(WizardRun& run, int radioId, int expectedChecked) {
    ASSERT_EQ(run.WaitForPage(Page::Welcome), Page::Welcome);
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Mode), Page::Mode);
    EXPECT_TRUE(IsChecked(run.PageWindow(), expectedChecked));
    Choose(run, radioId);
    run.Next();
    ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary) << "the mode page leads to the summary";
}

void WizardWalk::EndWithBothComponentsInstalled(WizardRun& run) {
    ExpectProgressToEnd(run, L"Установка завершена. Для продолжения нажмите Далее...");
    run.Next();
    ExpectFinishPage(run, L"Установлен компонент Основные файлы... успешно.\r\nУстановлен компонент Viewer... успешно.\r\n");
    run.Next();
    ExpectEnd(run);
}

void WizardWalk::LeaveMarkOfAnInstallationCutAfterStepTen() {
    auto set = [](const std::wstring& key, const wchar_t* name, DWORD type, const void* data, std::size_t size) {
        ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, type, data, static_cast<DWORD>(size)),
                  ERROR_SUCCESS)
            << vrel::ToNarrow(name);
    };
    const std::wstring key = kPackageKey;
    const wchar_t mode[] = L"AS_INST";
    const wchar_t selected[] = L"Core\\1.0\0Viewer\\2.0\0";
    const wchar_t record[] = L"Основные файлы";
    const DWORD none = 0, tenth = 10;
    set(key, L"RunFolder", REG_SZ, kInstall, (wcslen(kInstall) + 1) * sizeof(wchar_t));
    set(key, L"RunSelected", REG_MULTI_SZ, selected, sizeof selected);
    set(key, L"RunInstalled", REG_MULTI_SZ, L"\0", 2 * sizeof(wchar_t));
    set(key, L"RunAccess", REG_DWORD, &none, sizeof none);
    set(key, L"RunStep", REG_DWORD, &tenth, sizeof tenth);
    set(key, L"RunInProgress", REG_SZ, mode, sizeof mode);
    set(key + L"\\Core\\1.0", L"Name", REG_SZ, record, sizeof record);
}

void WizardWalk::ExpectEnd(WizardRun& run) {
    std::string stuck;
    EXPECT_EQ(run.Exit(&stuck), 0) << "stuck at " << stuck;
}

}  // namespace wizardtest
