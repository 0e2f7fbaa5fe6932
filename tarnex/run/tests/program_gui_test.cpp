// Tarnex.exe run as a user runs it, on test packages in the prefix, with
// its message boxes found, read and answered through the UI driver: broken
// descriptions, a second start while the first waits, the run mode handed
// to the wizard, and the continuation of a removal after a restart.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../../../testsupport/registry_values.h"
#include "installer_process.h"
#include "run_test_support.h"
#include "ui_driver.h"
#include "wizard_run.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "ui/wizard_ids.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;
using namespace tarnex::testing;
namespace ud = tarnex::uidriver;

class ProgramGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) GTEST_SKIP() << "message boxes need a display";
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        unique_ = std::string(info->name()) + "_" + std::to_string(::GetCurrentProcessId());
        package_.NameGen = "Product " + unique_;
        package_.NameUnInst = "Setup of " + unique_;
        package_.KeyPath = "Software\\VrelTests\\" + unique_;
        folder_ = MakeScratchFolder(L"package");
        DeletePackageKey(package_.KeyPath);
        // Wine's default, Windows 10, whatever a case of another program in
        // this prefix left behind when it stopped early.
        ud::ReportInstallerWindowsVersion(nullptr);
    }
    void TearDown() override {
        if (folder_.empty()) return;
        DeletePackageKey(package_.KeyPath);
        RemoveTree(folder_);
    }

    // Runs Tarnex.exe into its wizard, which is then left by Cancel and Yes.
    ud::Page PageAfterWelcome(const std::wstring& arguments) {
        WritePackage(folder_, L"Tarnex", package_);
        ::CopyFileW((TestProgramFolder() + L"Tarnex.exe").c_str(), (folder_ + L"Tarnex.exe").c_str(), FALSE);
        ud::WizardRun run(folder_ + L"Tarnex.exe", arguments);
        EXPECT_TRUE(run.Started());
        const ud::Page reached = run.PageAfterWelcome();
        if (reached != ud::Page::None) LeaveWizard(run);
        return reached;
    }

    static void LeaveWizard(ud::WizardRun& run) {
        run.Cancel();
        const ud::BoxContent question = run.Box();
        EXPECT_EQ(question.Text, L"Установка еще не закончена. Вы действительно хотите выйти из программы?");
        run.Answer(question, IDYES);
        std::string stuck;
        EXPECT_EQ(run.Exit(&stuck), 0) << "stuck at: " << stuck;
    }

    std::string unique_;
    TestPackage package_;
    std::wstring folder_;
};

TEST_F(ProgramGuiTest, BrokenDescriptionShowsString3) {
    package_.OmitWindows = true;
    WritePackage(folder_, L"Setup", package_);
    Installer run(folder_, L"Setup.exe", L"");
    ASSERT_TRUE(run.started());
    const ud::BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Не удается прочитать служебную информацию из setup.inf. Работа приложения будет завершена.");
    EXPECT_EQ(box.Caption, Widen(package_.NameUnInst)) << "the caption is NameUnInst once it was read";
    EXPECT_EQ(box.ButtonIds, std::vector<int>{IDOK});
    ASSERT_TRUE(ud::PressButton(box.Window, IDOK));
    EXPECT_EQ(run.Exit(), 0);
}

// The command-line form of the driver, as scripts use it.
struct ToolResult {
    long code = -1;
    std::string output;
};
ToolResult RunDriverTool(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    vrel::unique_handle readEnd, writeEnd;
    ToolResult result;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return result;
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    std::wstring command = L"\"" + TestProgramFolder() + L"ui_driver.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return result;
    vrel::unique_handle process(info.hProcess), thread(info.hThread);
    writeEnd.reset();
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
    result.code = ud::WaitForExit(process.get(), kExitTimeoutMs);
    return result;
}

TEST_F(ProgramGuiTest, DriverToolWaitsReadsAndPresses) {
    package_.OmitWindows = true;
    WritePackage(folder_, L"Setup", package_);
    Installer run(folder_, L"Setup.exe", L"");
    ASSERT_TRUE(run.started());
    const ToolResult waited = RunDriverTool(L"wait --pid " + std::to_wstring(run.pid) + L" --timeout 30000");
    ASSERT_EQ(waited.code, 0) << waited.output;
    const std::string utf8Text = vrel::ToNarrow(L"text: Не удается прочитать служебную информацию", CP_UTF8);
    EXPECT_THAT(waited.output, HasSubstr(utf8Text));
    EXPECT_THAT(waited.output, HasSubstr("caption: " + package_.NameUnInst + "\n"));
    // The system's own label of the OK button: "ОК" on a Russian Windows.
    EXPECT_THAT(waited.output, AnyOf(HasSubstr("button 1: OK\n"), HasSubstr(vrel::ToNarrow(L"button 1: ОК\n", CP_UTF8))));
    const std::size_t at = waited.output.find("window: ");
    ASSERT_NE(at, std::string::npos);
    const std::string handle = waited.output.substr(at + 8, waited.output.find('\n', at) - at - 8);

    EXPECT_EQ(RunDriverTool(L"press " + Widen(handle) + L" no").code, 1) << "the box has no No button";
    EXPECT_EQ(RunDriverTool(L"press " + Widen(handle) + L" ok").code, 0);
    EXPECT_EQ(run.Exit(), 0);
    EXPECT_EQ(RunDriverTool(L"wait --pid " + std::to_wstring(run.pid) + L" --timeout 200").code, 1);
    EXPECT_EQ(RunDriverTool(L"bogus").code, 2);
}

TEST_F(ProgramGuiTest, MissingDescriptionShowsString1ThenString3) {
    Installer run(folder_, L"Setup.exe", L"");
    ASSERT_TRUE(run.started());
    ud::BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Не удается открыть INF-файл " + folder_ +
                            L"Setup.inf.\nРабота приложения будет завершена.");
    EXPECT_EQ(box.Caption, L"Программа установки");
    ASSERT_TRUE(ud::PressButton(box.Window, IDOK));
    for (int i = 0; i < 100 && ::IsWindow(box.Window); ++i) ::Sleep(50);
    box = run.Box();
    EXPECT_EQ(box.Text, L"Не удается прочитать служебную информацию из setup.inf. Работа приложения будет завершена.");
    ASSERT_TRUE(ud::PressButton(box.Window, IDOK));
    EXPECT_EQ(run.Exit(), 0);
}

TEST_F(ProgramGuiTest, SecondStartNamesTheFirstInstaller) {
    // The first run waits at its first box, the question whether to go on
    // with a system its description does not list (95 to XP only).
    package_.OSVersions = "1,1,1,1,1,1,1";
    WritePackage(folder_, L"Setup", package_);
    Installer first(folder_, L"Setup.exe", L"");
    ASSERT_TRUE(first.started());
    const ud::BoxContent question = first.Box();
    ASSERT_EQ(question.Text.substr(0, 30), L"Установленая на Вашем компьюте");
    EXPECT_EQ(question.Caption, Widen(package_.NameUnInst));
    EXPECT_EQ(question.ButtonIds, (std::vector<int>{IDYES, IDNO}));

    const std::wstring secondFolder = MakeScratchFolder(L"package_second");
    TestPackage second = package_;
    second.NameUnInst = "Second " + unique_;
    WritePackage(secondFolder, L"Setup", second);
    {
        Installer other(secondFolder, L"Setup.exe", L"");
        ASSERT_TRUE(other.started());
        const ud::BoxContent box = other.Box();
        EXPECT_EQ(box.Text, L"На Вашей машине уже запущен инсталлятор:\n<<" + Widen(package_.NameUnInst) +
                                L">>.\n Приложение завершает свою работу.");
        EXPECT_EQ(box.Caption, Widen(second.NameUnInst));
        EXPECT_EQ(box.ButtonIds, std::vector<int>{IDOK});
        ASSERT_TRUE(ud::PressButton(box.Window, IDOK));
        EXPECT_EQ(other.Exit(), 0);
    }
    EXPECT_TRUE(::IsWindow(question.Window)) << "the first run goes on waiting";
    ASSERT_TRUE(ud::PressButton(question.Window, IDNO));
    EXPECT_EQ(first.Exit(), 0);
    RemoveTree(secondFolder);
}

// A description of seven systems, 95 to XP, as every description had before
// the later systems were listed: Windows 10 is not among them.
TEST_F(ProgramGuiTest, UnsupportedSystemMayStillGoOn) {
    package_.OSVersions = "1,1,1,1,1,1,1";
    WritePackage(folder_, L"Setup", package_);
    Installer run(folder_, L"Setup.exe", L"");
    ASSERT_TRUE(run.started());
    const ud::BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Установленая на Вашем компьютере операционная система не соответствует требованиям "
                        L"устанавливаемого программного обеспечения. Все равно, продолжить установку?");
    ASSERT_TRUE(ud::PressButton(box.Window, IDYES));
    HWND frame = ud::WaitForDialogWith(run.pid, 1000, 30000);
    ASSERT_NE(frame, nullptr) << "the wizard follows";
    ud::ClickButton(frame, IDCANCEL);
    HWND question = ud::WaitForDialogWith(run.pid, ud::kMessageTextId, 30000, 1000);
    ASSERT_NE(question, nullptr);
    ud::ClickButton(question, IDYES);
    std::string stuckAt;
    EXPECT_EQ(run.Exit(&stuckAt), 0) << "stuck at: " << stuckAt;
}

TEST_F(ProgramGuiTest, MissingRequiredApplicationIsAskedAbout) {
    package_.ExtraSections = "[RequiredKeyRegistry]\r\n\"Needed App\",2,\"Software\\VrelTests\\Absent_" + unique_ +
                             "\",0,,0,0,\r\n";
    WritePackage(folder_, L"Tarnex", package_);
    Installer run(folder_, L"Tarnex.exe", L"");
    ASSERT_TRUE(run.started());
    const ud::BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Приложение \"Needed App\" не обнаружено. Без него устанавливаемое ПО будет работать не "
                        L"правильно. Все равно продолжить установку?");
    EXPECT_EQ(box.ButtonIds, (std::vector<int>{IDYES, IDNO}));
    ASSERT_TRUE(ud::PressButton(box.Window, IDNO));
    EXPECT_EQ(run.Exit(), 0) << "No ends the run before the wizard";
}

TEST_F(ProgramGuiTest, FirstInstallReachesTheWizardInstalling) {
    // With a log of its own, which holds this run's entries in UTF-8.
    const std::wstring runLog = folder_ + L"run.log";
    EXPECT_EQ(PageAfterWelcome(L"\"/log=" + runLog + L"\""), ud::Page::Folder);
    const std::wstring banner = L"// START SETUP of \"" + Widen(package_.NameGen) + L"\"\r\n";
    EXPECT_THAT(ReadLog(WindowsLog()), HasSubstr(banner));
    EXPECT_THAT(vrel::ToWide(ReadBytes(runLog), CP_UTF8), HasSubstr(banner));
}

TEST_F(ProgramGuiTest, RunLogThatCannotBeWrittenEndsBeforeAnythingIsDone) {
    WritePackage(folder_, L"Setup", package_);
    const std::wstring runLog = folder_ + L"no such folder\\run.log";
    Installer run(folder_, L"Setup.exe", L"\"/log=" + runLog + L"\"");
    ASSERT_TRUE(run.started());
    const ud::BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Не удается записать журнал установки в файл " + runLog +
                            L".\nПроверьте путь, указанный в /log=. Работа приложения будет завершена.");
    ASSERT_TRUE(ud::PressButton(box.Window, IDOK));
    EXPECT_EQ(run.Exit(), 0);
}

TEST_F(ProgramGuiTest, InstalledPackageWithoutSupportModeIsRemoved) {
    package_.Components = {{"Core"}, {"Docs"}};
    WriteInstalledRecord(package_.KeyPath, {"Docs"});
    EXPECT_EQ(PageAfterWelcome(L""), ud::Page::Summary);
}

TEST_F(ProgramGuiTest, InstalledPackageWithSupportModeOffersMaintenance) {
    package_.SupportMode = "Yes";
    WriteInstalledRecord(package_.KeyPath, {"Core"});
    WritePackageValue(package_.KeyPath, L"PathInst", L"C:\\Program Files\\Elsewhere\\");
    EXPECT_EQ(PageAfterWelcome(L""), ud::Page::Mode);
}

TEST_F(ProgramGuiTest, InstalledCopyInTheRecordedFolderRemoves) {
    package_.SupportMode = "Yes";
    WriteInstalledRecord(package_.KeyPath, {"Core"});
    WritePackageValue(package_.KeyPath, L"PathInst", folder_);
    EXPECT_EQ(PageAfterWelcome(L""), ud::Page::Summary);
}

TEST_F(ProgramGuiTest, RemovalSwitchReachesTheWizardRemoving) {
    package_.SupportMode = "Yes";
    WriteInstalledRecord(package_.KeyPath, {"Core"});
    EXPECT_EQ(PageAfterWelcome(L"/u"), ud::Page::Summary);
}

TEST_F(ProgramGuiTest, RemovalSwitchWithNothingInstalledShowsString50) {
    WritePackage(folder_, L"Tarnex", package_);
    Installer run(folder_, L"Tarnex.exe", L"/u");
    ASSERT_TRUE(run.started());
    const ud::BoxContent box = run.Box();
    EXPECT_EQ(box.Text, L"Инсталлятор не обнаружил ни одного установленного компонента. Работа приложения будет "
                        L"завершена.");
    ASSERT_TRUE(ud::PressButton(box.Window, IDOK));
    EXPECT_EQ(run.Exit(), 0);
}

TEST_F(ProgramGuiTest, RemovalContinuedAfterRestartEndsWithoutWizard) {
    WriteInstalledRecord(package_.KeyPath, {"Core"});
    WritePackageValue(package_.KeyPath, L"PathInst", folder_);
    {  // the entry the interrupted run left in the Run key
        vrel::unique_hkey key;
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, key.put(), nullptr);
        const std::wstring command = L"\"" + folder_ + L"Tarnex.exe\" /r /u";
        ::RegSetValueExW(key.get(), L"Tarnex_continue_UI", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>(command.size() * sizeof(wchar_t)));
    }
    WritePackage(folder_, L"Tarnex", package_);
    Installer run(folder_, L"Tarnex.exe", L"/r /u");
    ASSERT_TRUE(run.started());
    std::string stuckAt;
    ASSERT_EQ(run.Exit(&stuckAt), 0) << "stuck at: " << stuckAt;

    EXPECT_TRUE(WaitUntilGone(run.path)) << "the copy removed itself";
    EXPECT_FALSE(testsupport::RegistryKeyExists(HKEY_CURRENT_USER, Widen(package_.KeyPath)))
        << "the package key is deleted";
    const wchar_t runKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    EXPECT_FALSE(testsupport::ReadRegistryValue(HKEY_LOCAL_MACHINE, runKey, L"Tarnex_continue_UI").present)
        << "the continuation entry is deleted";
    const std::wstring log = ReadLog(WindowsLog());
    EXPECT_EQ(log.find(L"START SETUP of \"" + Widen(package_.NameGen)), std::wstring::npos) << "no banner";
    const std::size_t batch = log.find(L":Repeat\r\ndel \"" + run.path + L"\"\r\n");
    ASSERT_NE(batch, std::wstring::npos) << "the batch text is logged";
    // The engine's steps 1, 6 and 14 come just before it.
    const std::wstring before = log.substr(batch > 1000 ? batch - 1000 : 0, batch > 1000 ? 1000 : batch);
    const std::size_t step1 = before.rfind(L"Step 1 - successful");
    const std::size_t step6 = before.rfind(L"Step 6 - successful");
    const std::size_t step14 = before.rfind(L"Step 14 - successful");
    ASSERT_NE(step1, std::wstring::npos);
    ASSERT_NE(step6, std::wstring::npos);
    ASSERT_NE(step14, std::wstring::npos);
    EXPECT_LT(step1, step6);
    EXPECT_LT(step6, step14);
    EXPECT_TRUE(WaitUntilGone(L"C:\\Tarnex.bat"));
}

}  // namespace
}  // namespace tarnex

namespace tarnex {
namespace {


#pragma pack(push, 2)
struct IconGroupHeader {
    WORD reserved, type, count;
};
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The icon group directory names icons that exist, whose images begin with
// a bitmap header or a PNG signature of the size the directory gives.
void ExpectIconGroupWellFormed(HMODULE module, WORD groupId) {
    HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(groupId), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const DWORD groupBytes = ::SizeofResource(module, group);
    const auto* header = static_cast<const IconGroupHeader*>(::LockResource(::LoadResource(module, group)));
    ASSERT_NE(header, nullptr);
    ASSERT_GE(groupBytes, sizeof(IconGroupHeader));
    EXPECT_EQ(header->type, 1);
    ASSERT_GT(header->count, 0);
    ASSERT_GE(groupBytes, sizeof(IconGroupHeader) + header->count * sizeof(IconGroupEntry));
    const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 1);
    for (WORD i = 0; i < header->count; ++i) {
        HRSRC image = ::FindResourceW(module, MAKEINTRESOURCEW(entries[i].id), RT_ICON);
        ASSERT_NE(image, nullptr) << "icon " << entries[i].id;
        EXPECT_EQ(::SizeofResource(module, image), entries[i].bytes) << "icon " << entries[i].id;
        const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module, image)));
        ASSERT_NE(bytes, nullptr);
        const bool png = entries[i].bytes >= 8 && std::memcmp(bytes, "\x89PNG", 4) == 0;
        if (!png) {
            ASSERT_GE(entries[i].bytes, sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER info;
            std::memcpy(&info, bytes, sizeof info);
            EXPECT_EQ(info.biSize, sizeof(BITMAPINFOHEADER));
            const int width = entries[i].width ? entries[i].width : 256;
            EXPECT_EQ(info.biWidth, width) << "icon " << entries[i].id;
            EXPECT_EQ(info.biHeight, 2 * (entries[i].height ? entries[i].height : 256)) << "icon " << entries[i].id;
        }
    }
}

TEST(ProgramResources, IconAndCommonControlsManifestAreBuiltIn) {
    const std::wstring program = TestProgramFolder() + L"Tarnex.exe";
    HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    // The program's icon and the maintenance page's three: the images of icons
    // compiled apart would share numbers, and one group would show another's.
    for (const WORD group : {WORD{IDI_TARNEX}, WORD{IDI_MODE_CHANGE}, WORD{IDI_MODE_REPAIR}, WORD{IDI_MODE_REMOVE}})
        ExpectIconGroupWellFormed(module, group);
    // Every size Windows asks for at 100 % to 200 %, drawn, not stretched.
    {
        HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(IDI_TARNEX), RT_GROUP_ICON);
        ASSERT_NE(group, nullptr);
        const auto* header = static_cast<const IconGroupHeader*>(::LockResource(::LoadResource(module, group)));
        const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 1);
        std::vector<int> sizes;
        for (WORD i = 0; i < header->count; ++i) sizes.push_back(entries[i].width ? entries[i].width : 256);
        EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
    }
    HICON icon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_TARNEX), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon) ::DestroyIcon(icon);
    HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(module, manifest)));
    const std::string xml(text, ::SizeofResource(module, manifest));
    EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(xml.find("version=\"6.0.0.0\""), std::string::npos);
    // Laid out for the screen's DPI: per monitor, the system's where that is unknown.
    EXPECT_NE(xml.find(">PerMonitorV2, System</dpiAwareness>"), std::string::npos);
    EXPECT_NE(xml.find(">true</dpiAware>"), std::string::npos);
    // Administrator rights asked for: no virtualised copy that removes nothing.
    EXPECT_NE(xml.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
              std::string::npos);
    wchar_t caption[64] = {};
    EXPECT_GT(::LoadStringW(module, static_cast<UINT>(TextId::kSetupCaption), caption, 64), 0);
    EXPECT_STREQ(caption, L"Программа установки");
    ::FreeLibrary(module);
}

}  // namespace
}  // namespace tarnex
