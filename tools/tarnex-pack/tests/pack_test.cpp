// tarnex-pack run as an author runs it, and its packages taken through the
// installer's own readers and install engine as the engine's cycle tests
// drive them: a manifest with nested components, folders, Cyrillic names,
// values the INF syntax would mangle and a file of more than 100 MB goes
// in, and the system holds exactly what it says until the removal takes it
// all away. Then every kind of mistake: its message, its exit code, and no
// package folder.
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "authenticode.h"
#include "engine_test_support.h"
#include "pack_tool.h"
#include "services/app_context.h"
#include "vrel/bounded_copy.h"
#include "vrel/com_ptr.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"
#include "wizard_run.h"

namespace enginetest {
namespace {

using namespace tarnex;

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// What the list of programs shows beyond the names, with an icon of its own.
const wchar_t kListKeys[] =
    L"URLInfoAbout = https://vrel.example/о-нас?a=1&b=2\n"
    L"HelpLink = https://vrel.example/help\n"
    L"Comments = Уровнемеры BM100; \"всё\" для 100% проверки\n"
    L"Contact = support@vrel.example\n"
    L"Icon = vrel.ico\n";

// A 1x1 icon in 32-bit colour: the directory, the bitmap's header (twice the
// height: colour rows, then the mask's), one pixel and one mask row.
void WriteIcon(const std::wstring& path) {
    std::string ico("\0\0\1\0\1\0", 6);
    const unsigned char entry[16] = {1, 1, 0, 0, 1, 0, 32, 0, 48, 0, 0, 0, 22, 0, 0, 0};
    ico.append(reinterpret_cast<const char*>(entry), sizeof entry);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = 1;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 32;
    ico.append(reinterpret_cast<const char*>(&header), sizeof header);
    ico.append("\x20\x40\x80\xFF\0\0\0\0", 8);
    WriteBytes(path, ico);
}

// The icon an uninstall entry's DisplayIcon names ("PATH",0): its file holds one.
bool NamesAnIcon(const std::wstring& displayIcon) {
    const std::size_t close = displayIcon.rfind(L"\",0");
    if (displayIcon.empty() || displayIcon[0] != L'"' || close == std::wstring::npos) return false;
    const std::wstring path = displayIcon.substr(1, close - 1);
    return ::ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0) >= 1;
}

TEST_F(EngineCycle, AManifestBecomesAPackageThatInstallsExactlyWhatItSaysAndGoesAwayCompletely) {
    WriteSources();
    const LONGLONG bigSize = 101LL * 1024 * 1024 + 7;
    LargeSource(L"big.bin", bigSize);
    WriteIcon(std::wstring(kSource) + L"vrel.ico");
    const ULONGLONG started = ::GetTickCount64();
    const PackRun run = Pack(std::wstring(kPackageSection) + kListKeys + kComponents);
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    std::printf("[ TIMES    ] tarnex-pack of %.1f MB: %.2f s\n", static_cast<double>(bigSize) / (1 << 20),
                static_cast<double>(::GetTickCount64() - started) / 1000);
    for (const std::wstring& file : LeftBesideThePackage())
        EXPECT_EQ(0u, file.rfind(L"Package\\", 0)) << "left beside the package: " << Narrow(file);

    // Read back through the installer's own readers.
    ASSERT_TRUE(LoadPackage(AS_INST));
    const SetupDescription& d = Description();
    std::vector<std::wstring> names;
    for (const ComponentRecord& c : d.ComponentList) names.push_back(c.EngName);
    // Trees in manifest order, parents before children.
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Core", L"Документы", L"Leaf", L"Extra", L"Settings"}), names);
    const ComponentRecord* core = Component(L"Core");
    const ComponentRecord* documents = Component(L"Документы");
    const ComponentRecord* leaf = Component(L"Leaf");
    ASSERT_TRUE(core && documents && leaf && Component(L"Extra"));
    EXPECT_STREQ(L"Основные файлы, «ядро»", core->LocName);
    EXPECT_STREQ(L"Core, with \"quotes\"; 100% sure; a comma, and a backslash at the end\\", core->Properties);
    EXPECT_EQ(std::vector<std::int32_t>{0}, core->Dependencies);
    EXPECT_EQ(std::vector<std::int32_t>{core->Number}, documents->Dependencies);
    EXPECT_EQ(std::vector<std::int32_t>{documents->Number}, leaf->Dependencies);
    EXPECT_EQ(1, Component(L"Extra")->State);
    EXPECT_STREQ(L"3.1.4", d.DisplayVersion);
    EXPECT_STREQ(L"Vrel \"Test\", Ltd.; 100% yours", d.Publisher);
    EXPECT_STREQ(L"vrel.ico", d.DisplayIcon);
    ASSERT_EQ(1u, leaf->Files.size());
    EXPECT_EQ(static_cast<std::uint32_t>(bigSize), d.FileOf(leaf->Files[0]).Size);

    for (ComponentRecord& c : Description().ComponentList) c.Selected = 1;
    std::uint64_t bytes = 0;
    for (const FileRecord& file : d.FileList) bytes += file.Size;
    RecordingView install;
    ASSERT_EQ(EngineOutcome::Completed, RunEngine(install));
    EXPECT_EQ(messages_.Count(), 0u);

    // Files: exactly these, each the source's bytes with the source's time.
    const std::pair<const wchar_t*, const wchar_t*> taken[] = {
        {L"core.txt", L"core.txt"},
        {L"Busvault.dll", L"Bin\\Busvault.dll"},
        {L"Документы\\Отчёт.txt", L"Docs\\Справка\\Отчёт.txt"},
        {L"Документы\\Глава 1\\стр 1.txt", L"Docs\\Справка\\Глава 1\\стр 1.txt"},
        {L"big.bin", L"Data\\big.bin"},
        {L"other\\core.txt", L"Extra\\core.txt"},
    };
    for (const auto& [source, target] : taken) {
        EXPECT_TRUE(SameContents(kSource + source, Install(target))) << Narrow(target);
        EXPECT_TRUE(HasCabinetTime(Install(target))) << Narrow(target);
    }
    EXPECT_TRUE(SameContents(std::wstring(kPackage) + L"Tarnex.exe", Install(L"Setup.exe")));
    EXPECT_TRUE(SameContents(std::wstring(kPackage) + L"Tarnex.inf", Install(L"Setup.inf")));
    std::vector<std::wstring> installed = FilesBelow(kInstall);
    std::sort(installed.begin(), installed.end());
    EXPECT_EQ((std::vector<std::wstring>{L"Bin\\Busvault.dll", L"Data\\big.bin", L"Docs\\Справка\\Глава 1\\стр 1.txt",
                                         L"Docs\\Справка\\Отчёт.txt", L"Extra\\core.txt", L"Setup.exe", L"Setup.inf",
                                         L"core.txt", L"probe.exe", L"user1.inf", L"user2.inf", L"user3.inf",
                                         L"vrel.ico"}),
              installed);

    // Registry, variable, shortcuts, registration, the program after.
    const std::wstring coreData = L"Software\\VrelEngineTest\\CoreData";
    EXPECT_EQ(L"C:\\VrelEngineTest\\Install\\Core", Text(HKEY_LOCAL_MACHINE, coreData, L"Home"));
    DWORD count = 0;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, coreData, L"Count", count));
    EXPECT_EQ(0xFFFFFFFEu, count);
    // A tree without files: its cabinet holds nothing the transfer takes.
    EXPECT_EQ(L"COM1", Text(HKEY_CURRENT_USER, L"Software\\VrelEngineTest\\Settings", L"Port"));
    EXPECT_EQ(L"C:\\VrelEngineTest\\Install\\Bin, a", Text(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_HOME"));
    const std::wstring readme = ProgramsFolder() + L"VrelEngineTest\\Core Readme.lnk";
    EXPECT_EQ(Install(L"core.txt"), ShortcutTarget(readme));
    EXPECT_EQ(L"--a, \"b c\"", ShortcutArguments(readme));
    const std::wstring remove = ProgramsFolder() + L"VrelEngineTest\\Remove Engine Test.lnk";
    EXPECT_EQ(Install(L"Setup.exe"), ShortcutTarget(remove));
    EXPECT_EQ(L"/u", ShortcutArguments(remove));
    EXPECT_EQ(Install(L"Bin\\Busvault.dll"), BusvaultServerPath());
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"pack_after"));
    EXPECT_EQ(L"Документы", Text(HKEY_LOCAL_MACHINE, std::wstring(kPackageKey) + L"\\Документы\\1.0", L"Name"));

    // The uninstall entry: the required values as before, and the additions.
    EXPECT_EQ(L"Тест движка Vrel (удаление)", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"));
    EXPECT_EQ(L"\"C:\\VrelEngineTest\\Install\\Setup.exe\" /u", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"));
    EXPECT_EQ(L"3.1.4", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"));
    EXPECT_EQ(L"Vrel \"Test\", Ltd.; 100% yours", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher"));
    EXPECT_EQ(kInstall, Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"));
    DWORD size = 0, noModify = 0, noRepair = 0;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", size));
    EXPECT_EQ((bytes + 1023) / 1024, size);
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoModify", noModify) && noModify == 1);
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoRepair", noRepair) && noRepair == 1);
    EXPECT_EQ(L"https://vrel.example/о-нас?a=1&b=2", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"URLInfoAbout"));
    EXPECT_EQ(L"https://vrel.example/help", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"HelpLink"));
    EXPECT_EQ(L"Уровнемеры BM100; \"всё\" для 100% проверки", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"Comments"));
    EXPECT_EQ(L"support@vrel.example", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"Contact"));
    EXPECT_EQ(kPackage, Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallSource"));
    const std::wstring icon = Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon");
    EXPECT_EQ(L"\"" + Install(L"vrel.ico") + L"\",0", icon);
    EXPECT_TRUE(NamesAnIcon(icon)) << Narrow(icon);
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    wchar_t date[16] = {};
    std::swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(date, Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallDate"));

    // Removal takes everything away again.
    ASSERT_TRUE(LoadPackage(AS_SD));
    SelectInstalled();
    RecordingView removal;
    ASSERT_EQ(EngineOutcome::Completed, RunEngine(removal));
    FinishRun(1);
    ExpectNothingLeft();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\VrelEngineTest\\Settings"));
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"pack_removed"));
}

// What the installer's readers took from a package, field by field: every
// record of every component in one text.
std::wstring ReadBack(DWORD mode) {
    if (!LoadPackage(mode)) return L"<not loaded>";
    const SetupDescription& d = Description();
    std::wstring out = std::wstring(d.Name) + L"|" + d.NameUnInst + L"|" + d.InstallFolder + L"|" + d.Publisher + L"\n";
    const auto n = [](std::int64_t v) { return std::to_wstring(v); };
    for (const ComponentRecord& c : d.ComponentList) {
        out += L"[" + std::wstring(c.EngName) + L"|" + c.LocName + L"|" + c.Properties + L"|" + c.Version + L"|" +
               c.InstallPath + L"|" + n(c.Complex) + L"|" + n(c.State) + L"|deps";
        for (std::int32_t dep : c.Dependencies) out += L" " + n(dep);
        out += L"]\n";
        for (FileRef f : c.Files) {
            const FileRecord& r = d.FileOf(f);
            // The description's own size is its encoding's, and so is the
            // installer's: its seal names the description's size. The
            // installer's is compared with its copy in the package instead.
            const std::wstring target = r.TargetName;
            std::wstring size = target == L"Setup.inf" ? L"-" : n(r.Size);
            if (target == L"Setup.exe" && ReadBytes(std::wstring(kPackage) + r.SourceName).size() == std::size_t(r.Size))
                size = L"as in the package";
            out += L"file " + std::wstring(r.SourceName) + L"|" + r.TargetName + L"|" + r.TargetFolder + L"|" +
                   n(r.FileFlags) + L"|" + size + L"|" + n(r.Time.Year) + L"|" + r.FileVersion + L"\n";
        }
        for (const RegistryEntry& r : c.RegistryEntries)
            out += L"reg " + n(r.Root) + L"|" + r.SubKey + L"|" + r.ValueName + L"|" + n(r.ValueType) + L"|" + r.Data + L"\n";
        for (const EnvVarEntry& v : c.EnvVars)
            out += L"env " + std::wstring(v.Name) + L"|" + n(v.System) + L"|" + n(v.Replace) + L"|" + v.Value + L"\n";
        for (const LinkEntry& l : c.Links)
            out += L"link " + std::wstring(l.Folder) + L"|" + l.LinkName + L"|" + l.Target + L"|" + l.WorkingFolder + L"|" +
                   l.Arguments + L"\n";
        for (const LaunchEntry& r : c.Launches)
            out += L"run " + std::wstring(r.CommandLine) + L"|" + r.FileName + L"|" + n(r.FromPackage) + L"|" + n(r.Wait) +
                   L"|" + n(r.UseExitCode) + L"|" + n(r.Show) + L"|" + n(r.Before) + L"|" + r.Message + L"\n";
    }
    return out;
}

// tarnex-pack writes and the installer reads the same INF schema: a package
// written in UTF-16 (the default) and the same one written in code page
// 1251 read back identically, each field in its place, in the install and
// the removal sections.
TEST_F(EngineCycle, APackageReadsBackFieldByFieldFromUtf16AndAnsiInfFiles) {
    WriteSources();
    Source(L"big.bin", "not so big\r\n");
    std::wstring readBack[2][2];
    const wchar_t* const codePages[] = {L"", L"CodePage = 1251\n"};
    for (int encoding = 0; encoding < 2; ++encoding) {
        RemoveTree(std::wstring(kPackage));
        std::wstring manifest = std::wstring(kPackageSection) + kComponents;
        manifest.insert(manifest.find(L"[Package]\n") + 10, codePages[encoding]);
        const PackRun run = Pack(manifest);
        ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
        for (const wchar_t* inf : {L"Tarnex.inf", L"user1.inf"})
            EXPECT_EQ(encoding == 0, ReadBytes(std::wstring(kPackage) + inf).rfind("\xFF\xFE", 0) == 0) << encoding;
        readBack[encoding][0] = ReadBack(AS_INST);
        readBack[encoding][1] = ReadBack(AS_SD);
    }
    EXPECT_EQ(readBack[0][0], readBack[1][0]) << Narrow(readBack[1][0]);
    EXPECT_EQ(readBack[0][1], readBack[1][1]) << Narrow(readBack[1][1]);

    const std::wstring& install = readBack[0][0];
    const std::wstring& removal = readBack[0][1];
    for (const wchar_t* line :
         {L"[Core|Основные файлы, «ядро»|Core, with \"quotes\"; 100% sure; a comma, and a backslash at the end\\|2.0|",
          L"file Busvault.dll|Busvault.dll|%65600%\\Bin\\|1|",
          L"file Tarnex.exe|Setup.exe|%65600%\\|6|as in the package|",
          L"reg 3|Software\\VrelEngineTest\\CoreData|Count|2|-2\n",
          L"env VREL_ENGINE_HOME|0|1|%65600%\\Bin, a\n",
          L"link CSIDL_PROGRAMS\\VrelEngineTest|Core Readme|%65600%\\core.txt|%65600%|--a, \"b c\"\n",
          L"link CSIDL_PROGRAMS\\VrelEngineTest|Remove Engine Test|%65600%\\Setup.exe|%65600%|/u\n",
          L"[Документы|Документы|"}) {
        EXPECT_NE(std::wstring::npos, install.find(line)) << Narrow(line) << " in\n" << Narrow(install);
        EXPECT_NE(std::wstring::npos, removal.find(line)) << Narrow(line) << " in\n" << Narrow(removal);
    }
    EXPECT_NE(std::wstring::npos, install.find(L"run probe.exe exit 0 C:\\VrelEngineTest\\Markers\\pack_after|probe.exe|1|1|1|"));
    EXPECT_NE(std::wstring::npos, removal.find(L"run probe.exe exit 0 C:\\VrelEngineTest\\Markers\\pack_removed|probe.exe|1|1|1|"));
    EXPECT_EQ(std::wstring::npos, removal.find(L"pack_after"));
}

struct Mistake {
    const wchar_t* what;
    std::wstring components;  // after the [Package] section (12 lines)
    std::wstring message;     // "package.ini(LINE): error: ..."
};

TEST_F(EngineCycle, EveryManifestMistakeIsNamedWithItsLineAndLeavesNoPackage) {
    WriteSources();
    const Mistake mistakes[] = {
        {L"unknown key", L"[Component A]\nColour = red\n", L"package.ini(14): error: unknown key \"Colour\" in [Component A]"},
        {L"missing file", L"[Component A]\nFile = absent.txt\n",
         L"package.ini(14): error: the file \"C:\\VrelEngineTest\\Source\\absent.txt\" does not exist or cannot be read"},
        {L"missing parent", L"[Component A]\nParent = Nobody\n",
         L"package.ini(14): error: the parent \"Nobody\" of \"A\" does not exist"},
        {L"cycle", L"[Component A]\nParent = B\n[Component B]\nParent = A\n",
         L"package.ini(13): error: a dependency cycle: A -> B -> A"},
        {L"leaving its folder", L"[Component A]\nFile = core.txt | ..\\..\\Windows\n",
         L"package.ini(14): error: the target folder \"..\\..\\Windows\" leaves its folder"},
        {L"two files, one name", L"[Component A]\nFile = core.txt\n[Component B]\nFile = other\\CORE.TXT\n",
         L"package.ini(16): error: two files named \"CORE.TXT\" in one folder, \"%65600%\\\" (the other on line 14)"},
        {L"sign on a folder", L"[Component A]\nFolder = Документы | Docs | sign\n",
         L"package.ini(14): error: \"sign\" marks files; sign the files of a folder one by one"},
    };
    for (const Mistake& mistake : mistakes) {
        const PackRun run = Pack(std::wstring(kPackageSection) + mistake.components);
        EXPECT_EQ(2u, run.exitCode) << Narrow(mistake.what);
        EXPECT_NE(std::wstring::npos, run.output.find(mistake.message))
            << Narrow(mistake.what) << " gave: " << Narrow(run.output);
        EXPECT_TRUE(LeftBesideThePackage().empty()) << Narrow(mistake.what);
    }

    // A source held by a writer passes the checks but cannot be packed: the
    // cabinet fails half-way and the work folder goes with it.
    {
        vrel::unique_hfile held(::CreateFileW((kSource + L"core.txt").c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        const PackRun run = Pack(std::wstring(kPackageSection) + L"[Component A]\nFile = core.txt\n");
        EXPECT_EQ(3u, run.exitCode) << Narrow(run.output);
        EXPECT_NE(std::wstring::npos, run.output.find(L"user1.cab: a file could not be opened: C:\\VrelEngineTest\\Source\\core.txt"))
            << Narrow(run.output);
        EXPECT_TRUE(LeftBesideThePackage().empty());
    }

    // An installer that is not there, a command line without an output.
    PackRun run = Pack(kPackageSection, L"--installer C:\\VrelEngineTest\\NoSuch.exe ");
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_NE(std::wstring::npos, run.output.find(L"the installer C:\\VrelEngineTest\\NoSuch.exe does not exist"));
    run = RunPack(L"\"" + kManifest + L"\"");
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::wstring::npos, run.output.find(L"usage: tarnex-pack"));
    EXPECT_TRUE(LeftBesideThePackage().empty());

    // A package folder that exists already is left as it was.
    WriteBytes(std::wstring(kPackage) + L"mine.txt", "mine");
    run = Pack(kPackageSection);
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_NE(std::wstring::npos, run.output.find(L"exists already"));
    EXPECT_EQ((std::vector<std::wstring>{L"Package\\mine.txt"}), LeftBesideThePackage());
}

// The installer's programs report Wine's default system again when the case
// ends, also when it stops early: the cases of other programs in this prefix
// must not meet Windows XP.
struct ReportedVersionReset {
    ~ReportedVersionReset() { uidriver::ReportInstallerWindowsVersion(nullptr); }
};

TEST_F(EngineCycle, AnAdministratorInstallsAndRemovesQuietlyAndReadsEveryOutcomeFromTheExitCode) {
    // Wine reports Windows 10, its default: a package of tarnex-pack's
    // defaults accepts it. One whose manifest lists 95 to XP only, seven
    // numbers as descriptions always had, does not.
    uidriver::ReportInstallerWindowsVersion(nullptr);
    LogInTheWindowsFolderWithSmallSources();
    logStart_ = LogSize();
    std::wstring package = kPackageSection;
    const std::wstring dir = L"Dir = C:\\VrelEngineTest\\Install";
    package.replace(package.find(dir), dir.size(), L"Dir = C:\\VrelEngineTest\\Elsewhere");
    const std::wstring folder = L"\"/dir=" + std::wstring(kInstall) + L"\"";
    ASSERT_EQ(0u, Pack(package + L"OSVersions = 1,1,1,1,1,1,1\n" + kComponents).exitCode);
    // Ended before anything changes, each in Windows' number for it.
    EXPECT_EQ(1633u, Quiet(L"/quiet " + folder));  // ERROR_INSTALL_PLATFORM_UNSUPPORTED
    EXPECT_NE(std::wstring::npos, Log().find(L" -> No\r\n"));
    EXPECT_NE(std::wstring::npos, Log().find(L"]: Operating system: Windows 10 (10.0."));
    EXPECT_NE(std::wstring::npos, Log().find(L"), not among the package's systems\r\n"));
    // /acceptos answers that question Yes: the removal goes on and finds nothing installed.
    EXPECT_EQ(1605u, Quiet(L"/u /quiet /acceptos"));  // ERROR_UNKNOWN_PRODUCT
    EXPECT_NE(std::wstring::npos, Log().find(L" -> Yes (/acceptos)\r\n"));
    RemoveTree(kPackage);
    ASSERT_EQ(0u, Pack(package + kComponents).exitCode);
    const std::string cabinet = ReadBytes(std::wstring(kPackage) + L"user1.cab");
    EXPECT_EQ(87u, Quiet(L"/quiet /acceptos /dir=C:\\VrelEngineTest\\x/u"));  // ERROR_INVALID_PARAMETER
    EXPECT_EQ(1605u, Quiet(L"/u /quiet /acceptos"));                            // ERROR_UNKNOWN_PRODUCT
    const std::wstring runLog = std::wstring(kRoot) + L"Logs\\run.log";
    EXPECT_EQ(1622u, Quiet(L"/quiet /acceptos \"/log=" + runLog + L"\" " + folder));  // no such folder
    EXPECT_NE(std::wstring::npos, Log().find(L"the log file of /log= cannot be written: " + runLog));
    {
        // Another installer runs: a wizard holds the guard.
        uidriver::WizardRun wizard(std::wstring(kPackage) + L"Tarnex.exe", L"");
        ASSERT_EQ(wizard.WaitForPage(uidriver::Page::Welcome), uidriver::Page::Welcome);
        EXPECT_EQ(1618u, Quiet(L"/quiet /acceptos " + folder));  // ERROR_INSTALL_ALREADY_RUNNING
        wizard.Cancel();
        wizard.Answer(wizard.Box(), IDYES);
        EXPECT_EQ(wizard.Exit(), 0);
    }
    EXPECT_FALSE(Exists(kInstall));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));

    // A cabinet cut short: it is not the sealed one, nothing is copied or recorded.
    WriteBytes(std::wstring(kPackage) + L"user1.cab", cabinet.substr(0, cabinet.size() / 2));
    EXPECT_EQ(1620u, Quiet(L"/quiet /acceptos " + folder));  // ERROR_INSTALL_PACKAGE_INVALID
    EXPECT_FALSE(Exists(Install(L"core.txt")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    WriteBytes(std::wstring(kPackage) + L"user1.cab", cabinet);
    RemoveTree(kInstall);

    // The wizard's defaults: the folder given, the components ticked at the
    // start (Extra is not), the installer's own record.
    // With its own log, which a fleet tool collects, and /norestart; no
    // /acceptos: the package lists the system.
    logStart_ = LogSize();
    ::CreateDirectoryW((std::wstring(kRoot) + L"Logs").c_str(), nullptr);
    WriteBytes(runLog, "an earlier run's log\r\n");
    ASSERT_EQ(0u, Quiet(L"/quiet /norestart /log=" + runLog + L" " + folder));
    // Read back as the UTF-8 it is: the Cyrillic name comes through.
    const std::wstring ownLog = vrel::ToWide(ReadBytes(runLog), CP_UTF8);
    EXPECT_EQ(std::wstring::npos, ownLog.find(L"an earlier run's log")) << "the log file is replaced";
    EXPECT_TRUE(ContainsInOrder(ownLog, {L"Operating system: Windows 10 (10.0.", L"), accepted by the package\r\n",
                                         L"START SETUP of \"Тест движка Vrel\"", L"Install State = AS_INST", L"Step 3 - successful", L"Step 15 - successful",
                                         L"Setup was completed successful.", L"Quiet run ends with exit code 0\r\n"}));
    // The same entries, with the same stamps, as the shared log got.
    EXPECT_NE(std::wstring::npos, Log().find(ownLog.substr(0, ownLog.find(L"\r\n") + 2)));
    EXPECT_EQ(0u, ownLog.rfind(L"[", 0));
    EXPECT_EQ(1638u, Quiet(L"/quiet /acceptos " + folder)) << "installed without maintenance; no /u";  // ERROR_PRODUCT_VERSION
    std::vector<std::wstring> installed = FilesBelow(kInstall);
    std::sort(installed.begin(), installed.end());
    EXPECT_EQ((std::vector<std::wstring>{L"Bin\\Busvault.dll", L"Data\\big.bin", L"Docs\\Справка\\Глава 1\\стр 1.txt",
                                         L"Docs\\Справка\\Отчёт.txt", L"Setup.exe", L"Setup.inf", L"core.txt", L"probe.exe",
                                         L"user1.inf", L"user2.inf", L"user3.inf"}),
              installed);
    EXPECT_FALSE(Exists(L"C:\\VrelEngineTest\\Elsewhere"));
    EXPECT_TRUE(SameContents(kSource + L"Документы\\Отчёт.txt", Install(L"Docs\\Справка\\Отчёт.txt")));
    EXPECT_EQ(L"C:\\VrelEngineTest\\Install\\Core", Text(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData", L"Home"));
    EXPECT_EQ(L"COM1", Text(HKEY_CURRENT_USER, L"Software\\VrelEngineTest\\Settings", L"Port"));
    EXPECT_EQ(Install(L"core.txt"), ShortcutTarget(ProgramsFolder() + L"VrelEngineTest\\Core Readme.lnk"));
    EXPECT_EQ(Install(L"Bin\\Busvault.dll"), BusvaultServerPath());
    EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, std::wstring(kPackageKey) + L"\\Extra\\1.0", L"Name"));
    const std::wstring quietRemoval = Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString");
    EXPECT_EQ(L"\"C:\\VrelEngineTest\\Install\\Setup.exe\" /u /quiet /acceptos", quietRemoval);
    EXPECT_EQ(L"\"C:\\VrelEngineTest\\Install\\Setup.exe\" /u", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"));
    EXPECT_TRUE(ContainsInOrder(Log(), {L"START SETUP of", L"Install State = AS_INST", L"Setup was completed successful."}));

    // The package's own entry removes it, nothing left.
    ASSERT_EQ(0u, RunTool(quietRemoval).exitCode);
    EXPECT_TRUE(InstallFolderGoes());
    ExpectNothingLeft();
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"pack_removed"));

    // A file in use when it is removed: queued for the next start, the
    // restart left to the administrator, who is told by the exit code.
    ASSERT_EQ(0u, Quiet(L"/quiet /acceptos " + folder));
    {
        FileHolder holder(Install(L"core.txt"));
        ASSERT_TRUE(holder.Holding());
        EXPECT_EQ(3010u, RunTool(quietRemoval).exitCode);  // ERROR_SUCCESS_REBOOT_REQUIRED
    }
    const std::vector<std::wstring> pending = PendingOperations();
    EXPECT_NE(pending.end(), std::find(pending.begin(), pending.end(), L"\\??\\" + Install(L"core.txt")));
    // Windows from Vista on starts no program that asks for administrator
    // rights from Run at logon: the continuation goes under RunOnce.
    EXPECT_EQ(L"\"C:\\VrelEngineTest\\Install\\Setup.exe\" /r /u /quiet /acceptos",
              Text(HKEY_LOCAL_MACHINE, kRunOnce, L"Tarnex_continue_UI"));
    EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, kRun, L"Tarnex_continue_UI"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    // Wine's restart: the queue, then RunOnce's continuation, run to its end,
    // which finishes the removal as quietly.
    ASSERT_TRUE(PerformRestartOperations(L"-r"));
    EXPECT_TRUE(InstallFolderGoes());
    for (int i = 0; i < 100 && KeyExists(HKEY_LOCAL_MACHINE, kPackageKey); ++i) ::Sleep(100);
    ExpectNothingLeft();
    EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, kRunOnce, L"Tarnex_continue_UI"));
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Quiet run ends with exit code 3010", L"Quiet run ends with exit code 0"}));

    // A program of the package that stops the installation.
    RemoveTree(kPackage);
    std::wstring stopping = kComponents;
    const std::wstring after = L"RunAfter = probe.exe exit 0";
    stopping.replace(stopping.find(after), after.size(),
                     L"RunBefore = probe.exe exit 1 C:\\VrelEngineTest\\Markers\\pack_before | package wait exitcode\n" + after);
    ASSERT_EQ(0u, Pack(package + stopping).exitCode);
    EXPECT_EQ(1602u, Quiet(L"/quiet /acceptos " + folder));  // ERROR_INSTALL_USEREXIT
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"pack_before"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    RemoveTree(kInstall);

    // A choice larger than the drive: drive S: of the prefix is 4 MiB.
    const wchar_t* const smallDrive = _wgetenv(L"HOSTILE_SMALL_DRIVE");
    if (smallDrive == nullptr || !Exists(std::wstring(smallDrive) + L"\\"))
        GTEST_SKIP() << "exit code 112 not tried: no small drive (tools/wine/small-drive needs root)";
    // (The stopped run's files are let go a moment after it ended.)
    for (int i = 0; i < 50 && Exists(kPackage); ++i, ::Sleep(100)) RemoveTree(kPackage);
    LargeSource(L"big.bin", 5LL * 1024 * 1024);
    const PackRun packed = Pack(package + kComponents);
    ASSERT_EQ(0u, packed.exitCode) << Narrow(packed.output);
    EXPECT_EQ(112u, Quiet(L"/quiet /acceptos /dir=" + std::wstring(smallDrive) + L"\\Vrel"));  // ERROR_DISK_FULL
    EXPECT_NE(std::wstring::npos, Log().find(L"does not fit on"));
}

// A file of the package that another program holds while it is installed
// over (as a virus scanner holds a file it reads): for a moment, and the
// installation waits for it; for good, and it is left to the next start,
// whose continuation finishes the installation. On Windows 10 and on XP
// (where the continuation stays under Run, and the package lists XP).
TEST_F(EngineCycle, AFileHeldForAMomentIsWaitedForAndOneHeldForGoodIsReplacedAfterTheRestart) {
    LogInTheWindowsFolderWithSmallSources();
    logStart_ = LogSize();
    const std::wstring folder = L"\"/dir=" + std::wstring(kInstall) + L"\"";
    const std::wstring core = Install(L"core.txt");
    // The file lies there already, of the package's time: it is replaced
    // without a question.
    const auto plantCore = [&core] {
        ::CreateDirectoryW(kInstall, nullptr);
        WriteBytes(core, "an older core\r\n");
        StampCabinetTime(core);
    };
    const auto removeQuietly = [] {
        ASSERT_EQ(0u, RunTool(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode);
        EXPECT_TRUE(InstallFolderGoes());
        ExpectNothingLeft();
    };

    ASSERT_EQ(0u, Pack(std::wstring(kPackageSection) + kComponents).exitCode);
    plantCore();
    {
        FileHolder holder(core);
        ASSERT_TRUE(holder.Holding());
        const vrel::unique_handle run =
            StartTool(L"\"" + std::wstring(kPackage) + L"Tarnex.exe\" /quiet " + folder, L"", NewOutputFile());
        ASSERT_TRUE(run);
        // Held until half a second after the run reached step 5.
        for (int i = 0; i < 600 && Log().find(L"Step 4 - successful") == std::wstring::npos; ++i) ::Sleep(50);
        ::Sleep(500);
        holder.Release();
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(run.get(), 120000));
        DWORD exitCode = 0;
        ::GetExitCodeProcess(run.get(), &exitCode);
        EXPECT_EQ(0u, exitCode);
    }
    EXPECT_NE(std::wstring::npos, Log().find(L" ms: " + core + L"\r\n")) << "the wait is logged";
    EXPECT_TRUE(SameContents(kSource + L"core.txt", core));
    EXPECT_FALSE(Exists(Install(L"vrel_core.txt")));
    EXPECT_EQ(std::vector<std::wstring>{}, PendingOperations());
    EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, kRunOnce, L"Tarnex_continue_UI"));
    removeQuietly();

    const std::wstring xpPackage = std::wstring(kPackageSection) + L"OSVersions = 0,0,0,0,0,0,1,0,0,0,0,0,1,1\n";
    const ReportedVersionReset versionReset;
    for (const bool xp : {false, true}) {
        SCOPED_TRACE(xp ? "Windows XP" : "Windows 10");
        uidriver::ReportInstallerWindowsVersion(xp ? L"winxp" : nullptr);
        RemoveTree(kPackage);
        ASSERT_EQ(0u, Pack((xp ? xpPackage : std::wstring(kPackageSection)) + kComponents).exitCode);
        plantCore();
        const std::size_t before = LogSize();
        {
            FileHolder holder(core);
            ASSERT_TRUE(holder.Holding());
            const ULONGLONG started = ::GetTickCount64();
            EXPECT_EQ(3010u, Quiet(L"/quiet " + folder));  // ERROR_SUCCESS_REBOOT_REQUIRED
            // Steps 5 and 9 each wait for the file at most two seconds.
            EXPECT_LT(::GetTickCount64() - started, 15000u);
        }
        EXPECT_EQ("an older core\r\n", ReadBytes(core));
        EXPECT_TRUE(Exists(Install(L"vrel_core.txt")));
        const wchar_t* const key = xp ? kRun : kRunOnce;
        EXPECT_EQ(L"\"C:\\VrelEngineTest\\Install\\Setup.exe\" /r /quiet /acceptos", Text(HKEY_LOCAL_MACHINE, key, L"Tarnex_continue_UI"));
        EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, xp ? kRunOnce : kRun, L"Tarnex_continue_UI"));

        // The restart: Wine carries out the queue, then starts the
        // continuation (RunOnce's to its end; Run's at the logon, without
        // waiting for it).
        ASSERT_TRUE(PerformRestartOperations(xp ? L"-u" : L"-r"));
        const auto continued = [&] {
            const std::wstring log = LogSince(before);
            const std::size_t first = log.find(L"Quiet run ends with exit code 3010");
            return first != std::wstring::npos && log.find(L"Quiet run ends with exit code", first + 1) != std::wstring::npos;
        };
        for (int i = 0; i < 600 && !continued(); ++i) ::Sleep(50);
        const std::wstring log = LogSince(before);
        EXPECT_TRUE(ContainsInOrder(log, {L"Quiet run ends with exit code 3010", L"Install State = AS_INST",
                                          L"Step 15 - successful", L"Quiet run ends with exit code 0"}));
        EXPECT_TRUE(SameContents(kSource + L"core.txt", core));
        EXPECT_FALSE(Exists(Install(L"vrel_core.txt")));
        EXPECT_EQ(std::vector<std::wstring>{}, PendingOperations());
        EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, kRunOnce, L"Tarnex_continue_UI"));
        EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, kRun, L"Tarnex_continue_UI"));
        EXPECT_EQ(L"<none>", Text(HKEY_LOCAL_MACHINE, kPackageKey, L"RunInProgress")) << "no mark of a cut run";
        EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"pack_after"));
        EXPECT_EQ(L"Тест движка Vrel (удаление)", Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"));
        removeQuietly();
        ::DeleteFileW((std::wstring(kMarkers) + L"pack_after").c_str());
    }
}

// True when the PE file carries a signature; its content is checked on the
// host by osslsigncode (tarnex_pack_signatures_verify).
bool Signed(const std::wstring& path) {
    pack::authenticode::PeLayout layout;
    std::wstring why;
    return !pack::authenticode::LayOut(ReadBytes(path), layout, why) && why.find(L"signed already") != std::wstring::npos;
}

// Libraries that the installer or the system's libraries load by name, none
// of them one that Windows always takes from the system folder.
const wchar_t* const kPlantedLibraries[] = {L"version", L"setupapi", L"uxtheme", L"dwmapi", L"cabinet", L"comctl32"};

// Windows' search order for those libraries in the package's installer and
// its installed copy while it lives: Wine otherwise prefers its own copies
// to any file of the name. (Wine reads WINEDLLOVERRIDES from the environment
// it started with, not from a Windows parent's: its per-program key serves.)
struct WindowsSearchOrder {
    static constexpr const wchar_t* kKeys[] = {L"Software\\Wine\\AppDefaults\\Tarnex.exe\\DllOverrides",
                                               L"Software\\Wine\\AppDefaults\\Setup.exe\\DllOverrides"};
    WindowsSearchOrder() {
        for (const wchar_t* key : kKeys)
            for (const wchar_t* library : kPlantedLibraries)
                ::RegSetKeyValueW(HKEY_CURRENT_USER, key, library, REG_SZ, L"native,builtin", sizeof L"native,builtin");
    }
    ~WindowsSearchOrder() {
        for (const wchar_t* key : kKeys) ::RegDeleteTreeW(HKEY_CURRENT_USER, key);
    }
};

// One walk: a package signed with one option, installed and removed while
// libraries named after system libraries, each leaving a marker when loaded,
// lie beside its installer and in the installer's current folder.
TEST_F(EngineCycle, ASignedPackageInstallsAndNoLibraryPlantedBesideItsInstallerLoads) {
    WriteSources();
    Source(L"big.bin", "not so big\r\n");
    std::wstring components = kComponents;
    const std::wstring busvault = L"File = Busvault.dll | Bin | selfreg\n";
    components.replace(components.find(busvault), busvault.size(), L"File = Busvault.dll | Bin | sign selfreg\n");
    const std::wstring manifest = std::wstring(kPackageSection) + components;
    const std::wstring sign = L"--sign \"" + TestProgramFolder() + L"signing_testdata\\signer.pfx\" ";

    // A wrong password: the tool says so, and no package, no half-signed
    // copy is left beside it.
    WriteBytes(kSource + L"wrong.txt", "not-the-password\r\n");
    PackRun run = Pack(manifest, sign + L"--password-file \"" + kSource + L"wrong.txt\" ");
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_NE(std::wstring::npos, run.output.find(L"signing failed, no package was written")) << Narrow(run.output);
    EXPECT_EQ(std::vector<std::wstring>{}, LeftBesideThePackage());
    // The password from the environment: the certificate's key signs.
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", L"vrel-test");
    run = Pack(manifest, sign);
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", nullptr);
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    for (const std::wstring& file : LeftBesideThePackage())
        EXPECT_EQ(0u, file.rfind(L"Package\\", 0)) << "left beside the package: " << Narrow(file);

    const std::wstring current = std::wstring(kRoot) + L"Current\\", planted = std::wstring(kRoot) + L"Planted\\";
    ASSERT_TRUE(::CreateDirectoryW(current.c_str(), nullptr));
    const std::wstring library = TestProgramFolder() + L"planted_library.dll";
    for (const wchar_t* name : kPlantedLibraries) {
        ASSERT_TRUE(::CopyFileW(library.c_str(), (std::wstring(kPackage) + name + L".dll").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(library.c_str(), (current + name + L".dll").c_str(), FALSE));
    }
    // The planted library works: loaded by its path, it leaves its marker.
    vrel::unique_hmodule probe(::LoadLibraryW((current + L"dwmapi.dll").c_str()));
    ASSERT_TRUE(probe);
    probe.reset();
    ASSERT_TRUE(Exists(planted + L"dwmapi.dll.txt"));
    RemoveTree(planted);

    // The signed package installs: its records hold the signed files' sizes
    // (the copy checks them), and the signed Busvault registers.
    const WindowsSearchOrder searchOrder;
    const std::wstring installer = L"\"" + std::wstring(kPackage) + L"Tarnex.exe\" ";
    EXPECT_EQ(0u, RunTool(installer + L"/quiet /acceptos \"/dir=" + kInstall + L"\"", current).exitCode);
    EXPECT_EQ(std::vector<std::wstring>{}, FilesBelow(planted)) << "loaded by the quiet install";
    for (const wchar_t* file : {L"Bin\\Busvault.dll", L"Setup.exe"}) EXPECT_TRUE(Signed(Install(file))) << Narrow(file);
    EXPECT_FALSE(Signed(Install(L"probe.exe"))) << "not marked, not signed";
    EXPECT_EQ(Install(L"Bin\\Busvault.dll"), BusvaultServerPath());
    EXPECT_TRUE(BusvaultCreatable());
    const std::wstring out = TestProgramFolder() + L"signed";
    RemoveTree(out);
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    EXPECT_TRUE(::CopyFileW((std::wstring(kPackage) + L"Tarnex.exe").c_str(), (out + L"\\Tarnex.exe").c_str(), FALSE));
    EXPECT_TRUE(::CopyFileW(Install(L"Bin\\Busvault.dll").c_str(), (out + L"\\Busvault.dll").c_str(), FALSE));
    {
        // The wizard of the package's installer, in the package folder: its
        // first pages (maintenance now) and the cancel question.
        uidriver::WizardRun wizard(std::wstring(kPackage) + L"Tarnex.exe", L"");
        ASSERT_EQ(wizard.WaitForPage(uidriver::Page::Welcome), uidriver::Page::Welcome);
        wizard.Next();
        for (int i = 0; i < 500 && wizard.Current() == uidriver::Page::Welcome; ++i) ::Sleep(20);
        EXPECT_NE(wizard.Current(), uidriver::Page::Welcome);
        wizard.Cancel();
        wizard.Answer(wizard.Box(), IDYES);
        EXPECT_EQ(wizard.Exit(), 0);
    }
    const std::wstring quietRemoval = Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString");
    EXPECT_EQ(0u, RunTool(quietRemoval, current).exitCode);
    EXPECT_TRUE(InstallFolderGoes());
    ExpectNothingLeft();
    EXPECT_EQ(std::vector<std::wstring>{}, FilesBelow(planted)) << "loaded by the wizard or the removal";
}

}  // namespace
}  // namespace enginetest
