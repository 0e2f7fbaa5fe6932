// Start-up of a run: the program context and its switches, the string
// table, the operating-system check (forced versions and the versions Wine
// reports to a child process), required applications, the run mode, the
// install checks of component 0 and the Microsoft Access detection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "../../../testsupport/program_run.h"
#include "description/setup_description.h"
#include "run/startup_checks.h"
#include "run_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

using namespace tarnex::testing;

constexpr wchar_t kOsProbeSwitch[] = L"--os-probe";
constexpr wchar_t kExitSwitch[] = L"--exit-with";

std::wstring OwnFileName() {
    const std::wstring path = TestProgramPath();
    return path.substr(path.rfind(L'\\') + 1);
}

// Runs this program again with arguments; its exit code, or -1.
long RunSelf(const std::wstring& arguments) {
    const std::optional<DWORD> code = testsupport::RunProgram(TestProgramPath(), arguments, 60000);
    return code ? static_cast<long>(*code) : -1;
}

// The child's side of the OS tests: the code of the version Wine reports,
// with the full check (the first `tokens` systems of the table accepted, XP
// from service pack N) and Nt5Family.
int OsProbe(int servicePackForXp, int tokens) {
    AppContext& app = App();
    SetupDescription& description = Description();
    for (int i = 0; i < tokens && i < static_cast<int>(kOsCount); ++i) description.OSVersions[i] = 1;
    description.OSServicePacks[6] = servicePackForXp;
    const int code = OsVersionCode(QuerySystemVersion());
    const int accepted = CheckOsVersion();
    return code + 16 * accepted + 32 * (app.Nt5Family ? 1 : 0);
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        App().Instance = ::GetModuleHandleW(nullptr);
        vrel::CopyToField(App().Caption, std::wstring_view(L"Checks"));
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        keyPath_ = std::string("Software\\VrelTests\\") + info->name() + "_" + std::to_string(::GetCurrentProcessId());
        DeletePackageKey(keyPath_);
    }
    void TearDown() override {
        DeletePackageKey(keyPath_);
    }

    // A package description in memory: component 0 and user components.
    void Describe(SetupDescription& d, const std::vector<TestComponent>& components, int supportMode) {
        d.KeyRoot = 2;
        vrel::CopyToField(d.KeyPath, std::wstring_view(Widen(keyPath_)));
        d.SupportMode = supportMode;
        ComponentRecord zero;
        zero.Number = 0;
        vrel::CopyToField(zero.LocName, std::wstring_view(L"InstallProgram"));
        d.ComponentList.push_back(zero);
        int number = 1;
        for (const TestComponent& c : components) {
            ComponentRecord r;
            r.Number = number++;
            vrel::CopyToField(r.EngName, std::wstring_view(Widen(c.EngName)));
            vrel::CopyToField(r.Version, std::wstring_view(Widen(c.Version)));
            d.ComponentList.push_back(r);
        }
    }

    MessageRecorder boxes_{IDYES};
    std::string keyPath_;
};

// ---------------------------------------------------------------- context

TEST_F(StartupTest, ContextHoldsCaptionFoldersAndProgramName) {
    InitAppContext(::GetModuleHandleW(nullptr), L"");
    const AppContext& app = App();
    EXPECT_STREQ(app.Caption, L"Программа установки");
    const std::wstring path = TestProgramPath();
    const std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);
    EXPECT_EQ(std::wstring(app.ProgramFolder), folder);
    EXPECT_STREQ(app.ProgramName, L"tarnex_startup_checks_test");
    EXPECT_EQ(std::wstring(app.WindowsFolder).back(), L'\\');
    EXPECT_EQ(std::wstring(app.SystemFolder).back(), L'\\');
    EXPECT_TRUE(Exists(std::wstring(app.SystemFolder) + L"kernel32.dll"));
    EXPECT_EQ(app.Mode, AS_INST);
    EXPECT_EQ(app.ContinueAfterRestart, 0);
}

TEST_F(StartupTest, SwitchesAreFoundAnywhereInTheArguments) {
    struct Case {
        const wchar_t* arguments;
        DWORD mode;
        LONG continues;
    };
    const Case cases[] = {
        {L"/u", AS_DEL, 0},         {L"/uninstall", AS_DEL, 0}, {L"x/uy", AS_DEL, 0},
        {L"/U", AS_INST, 0},        {L"/r", AS_INST, 1},        {L"/r /u", AS_DEL, 1},
        {L"-u -r", AS_INST, 0},     {L"/restart", AS_INST, 1},  {L"", AS_INST, 0},
    };
    for (const Case& c : cases) {
        InitAppContext(::GetModuleHandleW(nullptr), c.arguments);
        EXPECT_EQ(App().Mode, c.mode) << c.arguments;
        EXPECT_EQ(App().ContinueAfterRestart, c.continues) << c.arguments;
        EXPECT_EQ(App().CommandLine, c.arguments);
    }
}

TEST_F(StartupTest, ModeNamesAreTheLogTexts) {
    const wchar_t* names[] = {L"AS_INST", L"AS_DEL", L"AS_SUP", L"AS_REP", L"AS_AD", L"AS_SD"};
    for (DWORD mode = 0; mode < 6; ++mode) {
        App().Mode = mode;
        wchar_t buffer[32] = L"unchanged";
        GetModeName(buffer);
        EXPECT_STREQ(buffer, names[mode]);
    }
    App().Mode = 6;
    wchar_t buffer[32] = L"unchanged";
    GetModeName(buffer);
    EXPECT_STREQ(buffer, L"unchanged") << "a mode outside 0 to 5 leaves the buffer alone";

    App().Mode = AS_INST;
    wchar_t small[4] = {L'x', L'x', L'x', L'x'};
    GetModeName(small, 4);
    EXPECT_STREQ(small, L"AS_") << "cut to the buffer and terminated";
}

TEST_F(StartupTest, StringTableKeepsQuotesBreaksAndBlanks) {
    EXPECT_EQ(LoadText(TextId::kRequiredAppMissingQuestion).substr(0, 15), L"Приложение \"%s\"");
    EXPECT_EQ(LoadText(TextId::kDriveTypeUnsupported), L"Тип диска \"%s\" не поддерживается.");
    EXPECT_EQ(LoadText(TextId::kOtherInstallerRunning), L"На Вашей машине уже запущен инсталлятор:\n<<%s>>.\n Приложение завершает свою работу.");
    EXPECT_EQ(LoadText(TextId::kSizeBytes), L" байт");
    EXPECT_EQ(LoadText(TextId::kReplaceFileLine), L"    %d байт, %s, Версия %s");
    EXPECT_EQ(LoadText(TextId::kComponentInstalled), L"Установлен компонент ");
    EXPECT_EQ(LoadText(TextId::kFinishButton), L"&Завершить");
    EXPECT_EQ(FormatText(TextId::kRequiredAppMissingQuestion, L"Microsoft Access").substr(0, 31),
              L"Приложение \"Microsoft Access\" н");
    std::vector<UINT> present, absent;
    for (UINT id = 0; id <= 71; ++id) (LoadText(static_cast<TextId>(id)).empty() ? absent : present).push_back(id);
    EXPECT_EQ(present.size(), 68u);
    EXPECT_THAT(absent, ::testing::IsSupersetOf({0u, 27u, 49u, 61u}));
}

// -------------------------------------------------------- operating system

TEST_F(StartupTest, VersionCodesOfTheKnownSystems) {
    struct Case {
        std::uint32_t platform, major, minor;
        int code;
    };
    const Case cases[] = {
        {kPlatformWin32s, 3, 11, 1}, {kPlatformWindows9x, 4, 0, 2}, {kPlatformWindows9x, 4, 10, 3},
        {kPlatformWindows9x, 4, 90, 4}, {kPlatformWindows9x, 4, 50, 0}, {kPlatformWindows9x, 5, 0, 0},
        {kPlatformNt, 3, 51, 5},     {kPlatformNt, 4, 0, 6},        {kPlatformNt, 5, 0, 7},
        {kPlatformNt, 5, 1, 8},      {kPlatformNt, 5, 2, 9},        {kPlatformNt, 6, 0, 10},
        {kPlatformNt, 6, 1, 11},     {kPlatformNt, 6, 2, 12},       {kPlatformNt, 6, 3, 13},
        {kPlatformNt, 6, 4, 13},     {kPlatformNt, 10, 0, 14},      {kPlatformNt, 3, 10, 0},
        {kPlatformNt, 4, 1, 0},      {kPlatformNt, 11, 0, 15},      {7, 5, 1, 0},
    };
    for (const Case& c : cases) {
        ReportedVersion v;
        v.Platform = c.platform;
        v.Major = c.major;
        v.Minor = c.minor;
        v.Build = 19045;
        EXPECT_EQ(OsVersionCode(v), c.code) << c.platform << " " << c.major << "." << c.minor;
    }
    // Windows 11 is 10.0 from build 22000 on; the log names what it found.
    ReportedVersion eleven;
    eleven.Major = 10;
    eleven.Build = 22631;
    EXPECT_EQ(OsVersionCode(eleven), 15);
    EXPECT_EQ(SystemName(eleven), L"Windows 11 (10.0.22631)");
    eleven.Build = 21999;
    EXPECT_EQ(SystemName(eleven), L"Windows 10 (10.0.21999)");
    eleven.Server = true;
    EXPECT_EQ(SystemName(eleven), L"Windows Server 2016 to 2022 (10.0.21999)");
    eleven.Major = 11;
    EXPECT_EQ(SystemName(eleven), L"Windows Server 2025 or later (11.0.21999)");
    ReportedVersion xp;
    xp.Major = 5;
    xp.Minor = 1;
    xp.Build = 2600;
    xp.ServicePack = L"Service Pack 3";
    EXPECT_EQ(SystemName(xp), L"Windows XP (5.1.2600, Service Pack 3)");
}

TEST_F(StartupTest, ForcedVersionsAgainstTheDescription) {
    AppContext app;
    SetupDescription d;
    for (int i = 0; i < 7; ++i) d.OSVersions[i] = 1;
    const auto check = [&](std::uint32_t platform, std::uint32_t major, std::uint32_t minor, const wchar_t* sp) {
        ReportedVersion v;
        v.Platform = platform;
        v.Major = major;
        v.Minor = minor;
        v.Build = 7601;
        v.ServicePack = sp;
        return CheckOsVersion(app, d, v);
    };
    EXPECT_EQ(check(kPlatformNt, 5, 1, L"Service Pack 2"), 1);
    EXPECT_EQ(check(kPlatformNt, 6, 1, L"Service Pack 1"), 0) << "seven tokens: Windows 7 is not listed";
    d.OSVersions[9] = 1;
    d.OSServicePacks[9] = 1;  // Windows 7 from service pack 1
    EXPECT_EQ(check(kPlatformNt, 6, 1, L"Service Pack 1"), 1);
    EXPECT_EQ(check(kPlatformNt, 6, 1, L""), 1) << "no service-pack text passes";
    d.OSServicePacks[9] = 2;
    EXPECT_EQ(check(kPlatformNt, 6, 1, L"Service Pack 1"), 0);
    EXPECT_EQ(check(kPlatformNt, 12, 0, L""), 0) << "a newer system is judged by the last row: 11 is not listed";
    d.OSVersions[13] = 1;
    EXPECT_EQ(check(kPlatformNt, 12, 0, L""), 1);
    EXPECT_EQ(check(kPlatformWin32s, 3, 11, L""), 0) << "Win32s has no entry";
    EXPECT_EQ(check(kPlatformWindows9x, 4, 10, L""), 1);

    d.OSVersions[1] = 0;  // Windows 98 refused
    EXPECT_EQ(check(kPlatformWindows9x, 4, 10, L""), 0);

    d.OSServicePacks[6] = 2;  // XP from service pack 2
    EXPECT_EQ(check(kPlatformNt, 5, 1, L"Service Pack 2"), 1);
    EXPECT_EQ(check(kPlatformNt, 5, 1, L"Service Pack 3"), 1);
    EXPECT_EQ(check(kPlatformNt, 5, 1, L"Service Pack 1"), 0);
    EXPECT_EQ(check(kPlatformNt, 5, 1, L""), 1) << "no service-pack text passes";
    EXPECT_EQ(check(kPlatformNt, 5, 1, L"Beta"), 1) << "no blank: passes";
    EXPECT_EQ(check(kPlatformNt, 5, 1, L"Service Pack x"), 0) << "no number reads 0";
    EXPECT_EQ(check(kPlatformNt, 5, 1, L"Service Pack 12"), 1);

    app.Nt5Family = 0;
    d.OSVersions[5] = 0;  // Windows 2000 refused, yet it is of the NT 5 family
    EXPECT_EQ(check(kPlatformNt, 5, 0, L""), 0);
    EXPECT_EQ(app.Nt5Family, 1);
    app.Nt5Family = 0;
    check(kPlatformNt, 4, 0, L"");
    EXPECT_EQ(app.Nt5Family, 0);
}

// Wine reports the version set for a program name in its AppDefaults key;
// a child process of this program sees it from its start.
class WineVersionTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        key_ = L"Software\\Wine\\AppDefaults\\" + OwnFileName();
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
        StartupTest::TearDown();
    }
    long ProbeAs(const wchar_t* version, int servicePackForXp, int tokens = 7) {
        vrel::unique_hkey key;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
        const std::wstring value = version;
        ::RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        return RunSelf(std::wstring(kOsProbeSwitch) + L" " + std::to_wstring(servicePackForXp) + L" " +
                       std::to_wstring(tokens));
    }
    std::wstring key_;
};

TEST_F(WineVersionTest, WindowsXpIsAcceptedWithItsServicePack) {
    EXPECT_EQ(ProbeAs(L"winxp", 0), 8 + 16 + 32);
    EXPECT_EQ(ProbeAs(L"winxp", 3), 8 + 16 + 32) << "Wine's XP reports service pack 3";
    EXPECT_EQ(ProbeAs(L"winxp", 4), 8 + 0 + 32);
}

TEST_F(WineVersionTest, Windows2000IsOfTheNt5Family) { EXPECT_EQ(ProbeAs(L"win2k", 0), 7 + 16 + 32); }

TEST_F(WineVersionTest, OlderSystemsMapToTheirEntries) {
    EXPECT_EQ(ProbeAs(L"win95", 0), 2 + 16);
    EXPECT_EQ(ProbeAs(L"win98", 0), 3 + 16);
    EXPECT_EQ(ProbeAs(L"winme", 0), 4 + 16);
    EXPECT_EQ(ProbeAs(L"nt40", 0), 6 + 16);
}

// The true version, whatever the program's manifest declares: a package of
// seven tokens asks on every later system, one that lists them accepts each.
TEST_F(WineVersionTest, LaterSystemsAreAcceptedOnlyByTheirOwnTokens) {
    EXPECT_EQ(ProbeAs(L"win2k3", 0), 9 + 32) << "5.2 is not Windows XP, but of the NT 5 family";
    EXPECT_EQ(ProbeAs(L"win2k3", 0, 14), 9 + 16 + 32);
    const std::pair<const wchar_t*, int> later[] = {{L"vista", 10}, {L"win7", 11}, {L"win8", 12},
                                                    {L"win81", 13}, {L"win10", 14}, {L"win11", 15}};
    for (const auto& [version, code] : later) {
        EXPECT_EQ(ProbeAs(version, 0), code) << vrel::ToNarrow(version);
        EXPECT_EQ(ProbeAs(version, 0, 14), code + 16) << vrel::ToNarrow(version);
    }
}

// ------------------------------------------------- required applications

TEST_F(StartupTest, MissingApplicationsAreAskedAboutInOrder) {
    AppContext app;
    SetupDescription d;
    WritePackageValue(keyPath_ + "\\Present", L"Ver", L"1.0");
    RequiredKey present, missingKey, wrongData;
    present.Root = missingKey.Root = wrongData.Root = 2;
    vrel::CopyToField(present.SubKey, std::wstring_view(Widen(keyPath_ + "\\Present")));
    vrel::CopyToField(present.AppName, std::wstring_view(L"Present"));
    vrel::CopyToField(missingKey.SubKey, std::wstring_view(Widen(keyPath_ + "\\Missing")));
    vrel::CopyToField(missingKey.AppName, std::wstring_view(L"Приложение А"));
    wrongData = present;
    wrongData.TestValue = 1;
    wrongData.CompareData = 1;
    vrel::CopyToField(wrongData.ValueName, std::wstring_view(L"Ver"));
    vrel::CopyToField(wrongData.ExpectedData, std::wstring_view(L"2.0"));
    vrel::CopyToField(wrongData.AppName, std::wstring_view(L"Version two"));
    d.RequiredKeys = {present, missingKey, wrongData};

    boxes_.AnswerWith(IDYES);
    EXPECT_EQ(CheckRequiredKeys(app, d), 1);
    ASSERT_EQ(boxes_.Count(), 2u) << "Yes goes on to the next record";
    EXPECT_EQ(boxes_.Shown()[0].text, L"Приложение \"Приложение А\" не обнаружено. Без него устанавливаемое ПО будет "
                              L"работать не правильно. Все равно продолжить установку?");
    EXPECT_EQ(boxes_.Shown()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes_.Shown()[0].question, Question::kRequiredAppMissing);
    EXPECT_EQ(boxes_.Shown()[0].caption, L"Checks");
    EXPECT_THAT(boxes_.Shown()[1].text, ::testing::HasSubstr(L"\"Version two\""));

    boxes_.Clear();
    boxes_.AnswerWith(IDNO);
    EXPECT_EQ(CheckRequiredKeys(app, d), 0);
    EXPECT_EQ(boxes_.Count(), 1u) << "No ends at the first missing application";

    boxes_.Clear();
    app.Mode = AS_DEL;
    EXPECT_EQ(CheckRequiredKeys(app, d), 1);
    EXPECT_EQ(boxes_.Count(), 0u) << "a removal needs no applications";
}

// ---------------------------------------------------------------- run mode

TEST_F(StartupTest, FirstInstallStaysAnInstall) {
    AppContext app;
    SetupDescription d;
    Describe(d, {{"Core"}, {"Docs"}}, 1);
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_INST);
    EXPECT_EQ(d.InstalledCount, 0);
    EXPECT_EQ(d.ComponentList[0].Installed, 0);
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(StartupTest, InstalledPackageWithoutSupportModeIsRemoved) {
    AppContext app;
    SetupDescription d;
    Describe(d, {{"Core"}, {"Docs"}}, 0);
    WriteInstalledRecord(keyPath_, {"Docs"});
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_DEL);
    EXPECT_EQ(d.InstalledCount, 1);
    EXPECT_EQ(d.ComponentList[0].Installed, 1);
    EXPECT_EQ(d.ComponentList[1].Installed, 0);
    EXPECT_EQ(d.ComponentList[2].Installed, 1);
}

TEST_F(StartupTest, InstalledPackageWithSupportModeAsksForMaintenance) {
    AppContext app;
    vrel::CopyToField(app.ProgramFolder, std::wstring_view(L"C:\\Package\\"));
    SetupDescription d;
    Describe(d, {{"Core"}}, 1);
    WriteInstalledRecord(keyPath_, {"Core"});
    WritePackageValue(keyPath_, L"PathInst", L"C:\\Program Files\\Product\\");
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_SUP);
    EXPECT_STREQ(d.PreviousInstallFolder, L"C:\\Program Files\\Product\\");
}

TEST_F(StartupTest, RunningFromTheRecordedInstallFolderIsARemoval) {
    AppContext app;
    vrel::CopyToField(app.ProgramFolder, std::wstring_view(L"C:\\Program Files\\Product\\"));
    SetupDescription d;
    Describe(d, {{"Core"}}, 1);
    WriteInstalledRecord(keyPath_, {"Core"});
    WritePackageValue(keyPath_, L"PathInst", L"C:\\Program Files\\Product\\");
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_DEL) << "SupportMode Yes, but the copy in the install folder removes";

    AppContext other;
    vrel::CopyToField(other.ProgramFolder, std::wstring_view(L"c:\\program files\\product\\"));
    SetupDescription d2;
    Describe(d2, {{"Core"}}, 1);
    EXPECT_EQ(DecideMode(other, d2), 1);
    EXPECT_EQ(other.Mode, AS_SUP) << "the folders are compared exactly";
}

TEST_F(StartupTest, AnotherVersionCountsAsNotInstalled) {
    AppContext app;
    SetupDescription d;
    Describe(d, {{"Core", "2.2"}}, 0);
    WriteInstalledRecord(keyPath_, {"Core", "2.1"});
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_INST);
    EXPECT_EQ(d.InstalledCount, 0);
}

TEST_F(StartupTest, RemovalWithNothingInstalledEndsWithString50) {
    AppContext app;
    app.Mode = AS_DEL;
    SetupDescription d;
    Describe(d, {{"Core"}}, 1);
    WritePackageValue(keyPath_, L"PathInst", L"C:\\Old\\");
    EXPECT_EQ(DecideMode(app, d), 0);
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, L"Инсталлятор не обнаружил ни одного установленного компонента. Работа приложения "
                              L"будет завершена.");
    EXPECT_EQ(boxes_.Shown()[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_STREQ(d.PreviousInstallFolder, L"C:\\Old\\") << "PathInst is read before the count is checked";
}

TEST_F(StartupTest, RemovalSwitchWithInstalledComponentsKeepsTheRemoval) {
    AppContext app;
    app.Mode = AS_DEL;
    SetupDescription d;
    Describe(d, {{"Core"}}, 1);
    WriteInstalledRecord(keyPath_, {"Core"});
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_DEL) << "\"/u\" is not turned into maintenance";
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(StartupTest, ContinuedInstallRestoresTheSelectionAndStaysAnInstall) {
    AppContext app;
    app.ContinueAfterRestart = 1;
    SetupDescription d;
    Describe(d, {{"Core"}, {"Docs"}, {"Extra"}}, 1);
    d.ComponentList[2].Selected = 1;  // stale selection
    WriteInstalledRecord(keyPath_, {"Core"});
    WriteInstalledRecord(keyPath_, {"Extra"});
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_INST) << "an installation continued after a restart stays one";
    EXPECT_EQ(d.ComponentList[0].Selected, 1);
    EXPECT_EQ(d.ComponentList[1].Selected, 1);
    EXPECT_EQ(d.ComponentList[2].Selected, 0);
    EXPECT_EQ(d.ComponentList[3].Selected, 1);
}

TEST_F(StartupTest, ContinuedRemovalSelectsWhatIsInstalled) {
    AppContext app;
    app.Mode = AS_DEL;
    app.ContinueAfterRestart = 1;
    SetupDescription d;
    Describe(d, {{"Core"}, {"Docs"}}, 0);
    WriteInstalledRecord(keyPath_, {"Docs"});
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(app.Mode, AS_DEL);
    EXPECT_EQ(d.ComponentList[1].Selected, 0);
    EXPECT_EQ(d.ComponentList[2].Selected, 1);
}

TEST_F(StartupTest, OverlongRecordedFolderIsCutToItsField) {
    AppContext app;
    SetupDescription d;
    Describe(d, {{"Core"}}, 1);
    WriteInstalledRecord(keyPath_, {"Core"});
    WritePackageValue(keyPath_, L"PathInst", L"C:\\" + std::wstring(400, L'p') + L"\\");
    EXPECT_EQ(DecideMode(app, d), 1);
    EXPECT_EQ(std::wstring(d.PreviousInstallFolder).size(), 259u);
    EXPECT_EQ(app.Mode, AS_SUP);
}

// ------------------------------------------------------- install checks

TEST_F(StartupTest, FirstProgramAnsweringOneStopsTheInstallation) {
    SetupDescription d;
    Describe(d, {}, 0);
    auto entry = [&](int exitCode, int before, const wchar_t* message) {
        LaunchEntry e;
        const std::wstring command =
            L"\"" + TestProgramPath() + L"\" " + kExitSwitch + L" " + std::to_wstring(exitCode);
        vrel::CopyToField(e.CommandLine, std::wstring_view(command));
        vrel::CopyToField(e.FileName, std::wstring_view(OwnFileName()));
        vrel::CopyToField(e.Message, std::wstring_view(message));
        e.Wait = 1;
        e.UseExitCode = 1;
        e.Before = before;
        return e;
    };
    d.ComponentList[0].Launches = {entry(1, 0, L"after, never run here"), entry(0, 1, L""), entry(2, 1, L""),
                                   entry(1, 1, L""), entry(1, 1, L"second")};
    EXPECT_EQ(RunInstallChecks(d), 0);
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, L"Произошла ошибка в файле " + OwnFileName() +
                                  L".\nВаша система не соответствует требованиям устанавливаемого ПО. Установка "
                                  L"будет прекращена.");
    EXPECT_EQ(boxes_.Shown()[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));

    boxes_.Clear();
    d.ComponentList[0].Launches = {entry(1, 1, L"Нужен драйвер")};
    EXPECT_EQ(RunInstallChecks(d), 0);
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, L"Нужен драйвер") << "the entry's own message comes first";

    boxes_.Clear();
    LaunchEntry ignored = entry(1, 1, L"");
    ignored.UseExitCode = 0;
    d.ComponentList[0].Launches = {ignored, entry(0, 1, L"")};
    EXPECT_EQ(RunInstallChecks(d), 1) << "an entry that does not use its exit code passes";
    EXPECT_EQ(boxes_.Count(), 0u);
}

// ---------------------------------------------------------- Access

TEST_F(StartupTest, AccessVersionFromTheSystemAndThePackage) {
    const wchar_t* k97 = L"SOFTWARE\\Microsoft\\Office\\8.0\\Access";
    const wchar_t* k2000 = L"SOFTWARE\\Microsoft\\Office\\9.0\\Access";
    auto create = [](const wchar_t* path) {
        vrel::unique_hkey key;
        return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_READ, nullptr, key.put(), nullptr) ==
               ERROR_SUCCESS;
    };
    auto detect = [&](int installedCount) {
        SetupDescription d;
        Describe(d, {{"Core"}}, 0);
        d.InstalledCount = installedCount;
        DetectAccess(d);
        return d.AccessVersion;
    };
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, k97);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, k2000);
    EXPECT_EQ(detect(0), 0);
    ASSERT_TRUE(create(k2000));
    EXPECT_EQ(detect(0), 2);
    ASSERT_TRUE(create(k97));
    EXPECT_EQ(detect(0), 3);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, k2000);
    EXPECT_EQ(detect(0), 1);

    WritePackageValue(keyPath_, L"Access", L"2000");
    EXPECT_EQ(detect(0), 1) << "the package's record counts only when components are installed";
    EXPECT_EQ(detect(1), 2);
    WritePackageValue(keyPath_, L"Access", L"97");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, k97);
    EXPECT_EQ(detect(1), 1);
    WritePackageValue(keyPath_, L"Access", L"XP");
    EXPECT_EQ(detect(1), 0) << "other texts leave what was found";
}

}  // namespace
}  // namespace tarnex

int wmain(int argc, wchar_t** argv) {
    // A child started for one job never runs the tests.
    if (argc >= 2 && std::wcscmp(argv[1], tarnex::kOsProbeSwitch) == 0)
        return argc == 4 ? tarnex::OsProbe(static_cast<int>(std::wcstol(argv[2], nullptr, 10)),
                                           static_cast<int>(std::wcstol(argv[3], nullptr, 10)))
                         : 200;
    if (argc >= 2 && std::wcscmp(argv[1], tarnex::kExitSwitch) == 0)
        return argc == 3 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 200;
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
