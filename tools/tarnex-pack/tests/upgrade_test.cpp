// Versions of one package installed quietly over one another, as
// publishers ship them: each run leaves exactly what a first installation
// of its own version leaves, whatever came before, and the removal at the
// end leaves nothing. A dropped file in use goes at the next start; an
// upgrade cut off after any step is completed by the same command.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine_test_support.h"
#include "pack_tool.h"
#include "services/app_context.h"
#include "system_state.h"
#include "ui/wizard_ids.h"
#include "vrel/bounded_copy.h"
#include "wizard_run.h"

namespace enginetest {
namespace {

const wchar_t kChainPackage[] =
    L"[Package]\n"
    L"Name = Тест движка Vrel\n"
    L"NameUnInst = Тест движка Vrel (удаление)\n"
    L"Dir = C:\\VrelEngineTest\\Install\n"
    L"Key = HKLM\\Software\\VrelEngineTest\\Package\n"
    L"Installer = Tarnex.exe\n"
    L"SetNameUI = Setup.exe\n"
    L"SupportMode = No\n";

// v1: A with a file and a value that 2.0 drops, and B, which 2.0 drops whole.
const wchar_t kVersion1[] =
    L"DisplayVersion = 1.0\n"
    L"[Component A]\n"
    L"Version = 1.0\n"
    L"File = a.txt\n"
    L"File = a-old.txt\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\A | Value | text | one\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\A | Old | text | only in 1.0\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | A Readme | %65600%\\a.txt | %65600% | a\n"
    L"[Component B]\n"
    L"Version = 1.0\n"
    L"File = b.txt | B\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\B | Value | text | bee\n"
    L"Env = VREL_ENGINE_PATH | user | set | %65600%\\B\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | B Readme | %65600%\\B\\b.txt | %65600% | b\n"
    L"RemoveBefore = probe.exe exit 0 C:\\VrelEngineTest\\Markers\\b_remove_before | package wait exitcode\n"
    L"RemoveAfter = probe.exe exit 0 C:\\VrelEngineTest\\Markers\\b_remove_after | package wait exitcode\n";
// v2: A changed, C new, B gone.
const wchar_t kVersion2[] =
    L"DisplayVersion = 2.0\n"
    L"[Component A]\n"
    L"Version = 2.0\n"
    L"File = a.txt\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\A | Value | text | two\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | A Readme | %65600%\\a.txt | %65600% | a\n"
    L"[Component C]\n"
    L"Version = 1.0\n"
    L"File = c.txt\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\C | Value | text | sea\n";
// v3: A alone, without a DisplayVersion.
const wchar_t kVersion3[] =
    L"[Component A]\n"
    L"Version = 3.0\n"
    L"File = a.txt\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\A | Value | text | three\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | A Readme | %65600%\\a.txt | %65600% | a\n";

// v4: A as 3.0 had it, and D new.
const wchar_t kVersion4[] =
    L"DisplayVersion = 4.0\n"
    L"[Component A]\n"
    L"Version = 3.0\n"
    L"File = a.txt\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\A | Value | text | three\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | A Readme | %65600%\\a.txt | %65600% | a\n"
    L"[Component D]\n"
    L"File = d.txt\n";

// v5: 1.0 again, with maintenance, and A without what 1.0 had only in
// its first build: the same version text, other lists.
const wchar_t kVersion5[] =
    L"DisplayVersion = 1.0\n"
    L"[Component A]\n"
    L"Version = 1.0\n"
    L"File = a.txt\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\A | Value | text | one\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | A Readme | %65600%\\a.txt | %65600% | a\n"
    L"[Component B]\n"
    L"Version = 1.0\n"
    L"File = b.txt | B\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\B | Value | text | bee\n"
    L"Env = VREL_ENGINE_PATH | user | set | %65600%\\B\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | B Readme | %65600%\\B\\b.txt | %65600% | b\n";

const wchar_t* const kVersions[] = {kVersion1, kVersion2, kVersion3, kVersion4, kVersion5};
constexpr int kVersionCount = 5;
constexpr int kMaintainedVersion = 5;

// Each version's package in a folder of its own, C:\VrelEngineTest\V1\ ...
std::wstring PackageOf(int version) { return std::wstring(kRoot) + L"V" + std::to_wstring(version) + L"\\"; }

std::wstring InstallCommand(int version) {
    return L"\"" + PackageOf(version) + L"Tarnex.exe\" /quiet /log=" + kRunLog;
}

class Upgrades : public EngineCycle {
protected:
    void SetUp() override {
        EngineCycle::SetUp();
        wchar_t windows[MAX_PATH] = L"";
        ::GetWindowsDirectoryW(windows, MAX_PATH - 1);
        vrel::CopyToField(tarnex::App().WindowsFolder, std::wstring_view(std::wstring(windows) + L"\\"));
        for (int version = 1; version <= kVersionCount; ++version) {
            Source(L"a.txt", "a of version " + std::to_string(std::min(version, 3)) + "\r\n");
            Source(L"a-old.txt", "dropped in 2.0\r\n");
            Source(L"b.txt", "b\r\n");
            Source(L"c.txt", "c\r\n");
            Source(L"d.txt", "d\r\n");
            Source(L"probe.exe", ReadBytes(TestProgramFolder() + L"engine_helper.exe"));
            std::wstring header = kChainPackage;
            if (version == kMaintainedVersion) header.replace(header.find(L"= No"), 4, L"= Yes");
            const PackRun packed = Pack(header + kVersions[version - 1]);
            ASSERT_EQ(0u, packed.exitCode) << Narrow(packed.output);
            ASSERT_TRUE(::MoveFileW(std::wstring(kPackage).c_str(), PackageOf(version).c_str()));
        }
    }

    DWORD Run(int version) { return RunTool(InstallCommand(version)).exitCode; }
    std::string RunLog() const { return ReadBytes(kRunLog); }
    static std::wstring Marker(const wchar_t* name) { return std::wstring(kMarkers) + name; }
    static void ClearMarkers() {
        ::CreateDirectoryW(kMarkers, nullptr);
        for (const wchar_t* name : {L"b_remove_before", L"b_remove_after"}) ::DeleteFileW(Marker(name).c_str());
    }
    void Remove() {
        ASSERT_EQ(0u, RunTool(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode);
        EXPECT_TRUE(InstallFolderGoes());
        for (int i = 0; i < 50 && KeyExists(HKEY_LOCAL_MACHINE, kPackageKey); ++i) ::Sleep(100);
        ExpectNothingLeft();
    }
    // What a first installation of each version leaves.
    void LearnFirstInstallations() {
        for (int version = 1; version <= kVersionCount; ++version) {
            ASSERT_EQ(0u, Run(version));
            firstInstall_[version] = SystemState();
            Remove();
        }
        nothing_ = SystemState();
    }
    void ExpectVersion(int version) {
        EXPECT_EQ("", Difference(firstInstall_[version], SystemState())) << "version " << version;
    }

    State firstInstall_[kVersionCount + 1], nothing_;
};

TEST_F(Upgrades, EachVersionOverAnyOtherLeavesExactlyItsOwnContentsAndTheRemovalNothing) {
    LearnFirstInstallations();
    EXPECT_EQ("a of version 2\r\n", firstInstall_[2].at(L"file a.txt"));
    EXPECT_EQ(firstInstall_[1].end(), firstInstall_[1].find(L"file c.txt"));

    ASSERT_EQ(0u, Run(1));
    EXPECT_EQ(std::string::npos, RunLog().find("upgrade")) << "a first installation";
    // Up: B, a-old.txt and A's old value go; A's record of 1.0 goes. B goes
    // as its removal takes it: its removal programs run, the one after
    // from 1.0's folder although 2.0 carries no probe.exe (it goes last).
    ClearMarkers();
    ASSERT_EQ(0u, Run(2));
    ExpectVersion(2);
    const std::string log2 = RunLog();
    EXPECT_TRUE(Exists(Marker(L"b_remove_before")));
    EXPECT_TRUE(Exists(Marker(L"b_remove_after")));
    const std::size_t removeBefore = log2.find("running the removal program C:\\VrelEngineTest\\Install\\probe.exe exit 0 C:\\VrelEngineTest\\Markers\\b_remove_before");
    const std::size_t removeAfter = log2.find("running the removal program C:\\VrelEngineTest\\Install\\probe.exe exit 0 C:\\VrelEngineTest\\Markers\\b_remove_after");
    EXPECT_LT(removeBefore, log2.find("Step 2 - successful"));
    EXPECT_LT(log2.find("Step 13 - successful"), removeAfter);
    EXPECT_LT(removeAfter, log2.find("deleting file C:\\VrelEngineTest\\Install\\probe.exe"));
    EXPECT_NE(std::string::npos, log2.find("This run is an upgrade from version 1.0, installed in C:\\VrelEngineTest\\Install\\"));
    EXPECT_LT(log2.find("upgrade from version"), log2.find("Install State = AS_INST"));
    for (const char* line : {"Upgrade: component no longer installed: B", "dropped by the new version: deleting file C:\\VrelEngineTest\\Install\\a-old.txt",
                             "dropped by the new version: deleting registry value HKLM\\Software\\VrelEngineTest\\A : Old",
                             "dropped by the new version: deleting registry key HKLM\\Software\\VrelEngineTest\\B",
                             "dropped by the new version: deleting shortcut CSIDL_PROGRAMS\\VrelEngineTest\\B Readme",
                             "dropped by the new version: deleting environment variable VREL_ENGINE_PATH",
                             "dropped by the new version: deleting the record HKLM\\Software\\VrelEngineTest\\Package\\A\\1.0"})
        EXPECT_NE(std::string::npos, log2.find(line)) << line;
    // a.txt is in both: replaced, never deleted.
    EXPECT_EQ(std::string::npos, log2.find("deleting file C:\\VrelEngineTest\\Install\\a.txt"));
    ASSERT_EQ(0u, Run(3));
    ExpectVersion(3);
    EXPECT_NE(std::string::npos, RunLog().find("upgrade from version 2.0"));
    EXPECT_NE(std::string::npos, RunLog().find("deleting INF copy C:\\VrelEngineTest\\Install\\user2.inf"));
    // A at 3.0 in both: installed, so far maintenance; now the upgrade,
    // which leaves A in place (its file replaced, nothing of it deleted).
    ASSERT_EQ(0u, Run(4));
    ExpectVersion(4);
    const std::string log4 = RunLog();
    EXPECT_NE(std::string::npos, log4.find("Another version of the package is installed; this run upgrades it"));
    EXPECT_NE(std::string::npos, log4.find("upgrade from version unknown"));
    EXPECT_NE(std::string::npos, log4.find("Upgrade: the new version keeps everything the installed one has"));
    EXPECT_EQ(std::string::npos, log4.find("dropped by the new version"));
    // A deployment that must not go back: refused, nothing changed.
    EXPECT_EQ(1638u, RunTool(InstallCommand(1) + L" /nodowngrade").exitCode);
    EXPECT_NE(std::string::npos, RunLog().find("version 4.0 is installed, newer than this package's 1.0; /nodowngrade"));
    ExpectVersion(4);
    // Down again: exactly the package run.
    ASSERT_EQ(0u, Run(1));
    ExpectVersion(1);
    EXPECT_NE(std::string::npos, RunLog().find("upgrade from version 4.0"));
    // The same version again is no upgrade: installed without maintenance.
    EXPECT_EQ(1638u, Run(1));
    ExpectVersion(1);

    // A file that 2.0 drops, held by another program: put off to the next
    // start, whose continuation finishes the upgrade.
    ClearMarkers();
    {
        FileHolder holder(Install(L"a-old.txt"));
        ASSERT_TRUE(holder.Holding());
        EXPECT_EQ(3010u, Run(2));
    }
    // Step 14 waits for the restart; the dropped B's program does not.
    EXPECT_TRUE(Exists(Marker(L"b_remove_after")));
    EXPECT_TRUE(Exists(Install(L"a-old.txt")));
    const std::vector<std::wstring> pending = PendingOperations();
    EXPECT_NE(pending.end(), std::find(pending.begin(), pending.end(), L"\\??\\" + Install(L"a-old.txt")));
    const std::size_t before = LogSize();
    ASSERT_TRUE(PerformRestartOperations(L"-r"));
    for (int i = 0; i < 600 && LogSince(before).find(L"Quiet run ends with exit code 0") == std::wstring::npos; ++i)
        ::Sleep(50);
    ExpectVersion(2);
    EXPECT_EQ(std::vector<std::wstring>{}, PendingOperations());

    Remove();
    EXPECT_EQ("", Difference(nothing_, SystemState()));

    // Maintenance from a package of the installed version's number whose
    // lists lack some of its entries: the add/remove run keeps what is
    // installed and takes away what only the installed copies name.
    ASSERT_EQ(0u, Run(1));
    ASSERT_EQ(0u, Run(kMaintainedVersion));
    ExpectVersion(kMaintainedVersion);
    const std::string log5 = RunLog();
    EXPECT_NE(std::string::npos, log5.find("Install State = AS_AD"));
    EXPECT_NE(std::string::npos, log5.find("The installed version's lists name what this package's do not"));
    EXPECT_NE(std::string::npos, log5.find("deleting file C:\\VrelEngineTest\\Install\\a-old.txt"));
    EXPECT_EQ(std::string::npos, log5.find("deleting file C:\\VrelEngineTest\\Install\\a.txt"));
    Remove();
    EXPECT_EQ("", Difference(nothing_, SystemState()));
}

// The upgrade from 1.0 to 2.0 ended after each step in turn (as a
// deployment tool's time-out ends it), then run again to its end.
TEST_F(Upgrades, AnUpgradeCutAfterAnyStepIsCompletedByTheSameCommand) {
    LearnFirstInstallations();
    for (const int step : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14}) {
        SCOPED_TRACE("upgrade cut after step " + std::to_string(step));
        ASSERT_EQ(0u, Run(1));
        ASSERT_EQ("", Difference(firstInstall_[1], SystemState()));
        const Cut cut = RunAndCut(InstallCommand(2), [step](const std::string& log) { return IsStepLine(log, step); });
        std::printf("[ CUT      ] upgrade after step %d: ended %s, last step line %d\n", step,
                    cut.cut ? "by the test" : "by itself", cut.lastStep);
        // A cut after the last change leaves 2.0 installed: the command then
        // finds it so, as after any finished installation.
        const DWORD code = Run(2);
        EXPECT_TRUE(code == 0 || code == 1638) << code;
        ExpectVersion(2);
        EXPECT_FALSE(Exists(Install(L"vrel_previous"))) << "the kept copy of 1.0 goes at the end";
    }
    Remove();
    // Cut in the middle, then taken away instead with "/u" from the new
    // package: what 2.0 put in place and what 1.0 had both go.
    ASSERT_EQ(0u, Run(1));
    const Cut cut = RunAndCut(InstallCommand(2), [](const std::string& log) { return IsStepLine(log, 5); });
    EXPECT_TRUE(cut.cut);
    EXPECT_EQ(0u, RunTool(L"\"" + PackageOf(2) + L"Tarnex.exe\" /u /quiet /log=" + kRunLog).exitCode);
    EXPECT_NE(std::string::npos, RunLog().find("Removing what the interrupted installation put in place"));
    EXPECT_TRUE(InstallFolderGoes());
    ExpectNothingLeft();
    EXPECT_EQ("", Difference(nothing_, SystemState()));
}

// The wizard over 1.0 installed: its summary page says what 2.0 takes away
// (B whole; of A, a file and a value), and a cancel there changes nothing.
TEST_F(Upgrades, TheSummaryPageOfAnUpgradeSaysWhatGoes) {
    ASSERT_EQ(0u, Run(1));
    const State installed = SystemState();
    {
        tarnex::uidriver::WizardRun run(PackageOf(2) + L"Tarnex.exe", L"");
        using tarnex::uidriver::Page;
        for (const Page page : {Page::Welcome, Page::Folder, Page::Components}) {
            ASSERT_EQ(run.WaitForPage(page), page);
            run.Next();
        }
        ASSERT_EQ(run.WaitForPage(Page::Summary), Page::Summary);
        ASSERT_TRUE(run.WaitEnabled(1000));
        const std::wstring text = run.Text(IDC_SUMMARY_TEXT);
        EXPECT_NE(std::wstring::npos, text.find(L"Установленная версия 1.0 будет заменена этой. Будет удалено то, чего в ней нет:"))
            << Narrow(text);
        EXPECT_NE(std::wstring::npos, text.find(L"\r\n\tB\r\n")) << Narrow(text);
        EXPECT_NE(std::wstring::npos, text.find(L"файлов: 3, записей реестра: 2, ярлыков: 1, переменных окружения: 1"))
            << Narrow(text);
        ::Sleep(500);  // the page's text painted
        EXPECT_TRUE(tarnex::uidriver::SaveWindowImage(run.Frame(), TestProgramFolder() + L"upgrade-summary.bmp"));
        run.Cancel();
        run.Answer(run.Box(), IDYES);
        EXPECT_EQ(run.Exit(), 0);
    }
    EXPECT_EQ("", Difference(installed, SystemState()));
    Remove();
}

}  // namespace
}  // namespace enginetest
