// The rules of the component model and the field splitting of record lines,
// without any Windows call (also built natively under the sanitizers).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "description/portable/component_rules.h"
#include "description/portable/line_parsers.h"

namespace tarnex {
namespace {

ComponentRecord Component(std::int32_t number, std::uint8_t state = 0, std::int32_t installed = 0,
                          std::int32_t selected = 0) {
    ComponentRecord c;
    c.Number = number;
    c.State = state;
    c.Installed = installed;
    c.Selected = selected;
    return c;
}

TEST(ComponentRules, NumbersFollowTheLargestSoFar) {
    std::vector<ComponentRecord> list;
    EXPECT_EQ(0, NextComponentNumber(list));
    list.push_back(Component(0));
    EXPECT_EQ(1, NextComponentNumber(list));
    list.push_back(Component(7));
    list.push_back(Component(3));
    EXPECT_EQ(8, NextComponentNumber(list));
}

TEST(ComponentRules, DependenciesThroughTheLocalMap) {
    LocalNumberMap map;
    map.Add(10, 1);
    map.Add(20, 2);
    map.Add(10, 5);  // a duplicate local number: the first pair wins
    EXPECT_EQ(1, map.Find(10));
    EXPECT_EQ(-1, map.Find(30));
    EXPECT_EQ((std::vector<std::int32_t>{0, 1, 2, -1}), ResolveDependencies(L"0,10,20,30", map));
    EXPECT_EQ((std::vector<std::int32_t>{0, 0}), ResolveDependencies(L"0,0", map));
    EXPECT_EQ(std::vector<std::int32_t>{1}, ResolveDependencies(L"10,,20", map));
    EXPECT_TRUE(ResolveDependencies(L"", map).empty());
    EXPECT_TRUE(ResolveDependencies(L",10", map).empty());
    EXPECT_EQ(std::vector<std::int32_t>{1}, ResolveDependencies(L"10,", map));
    EXPECT_EQ(std::vector<std::int32_t>{0}, ResolveDependencies(L"abc", map));  // reads 0: top level
}

TEST(ComponentRules, SectionNamesPerMode) {
    EXPECT_EQ(L"Base - DefaultInstall", InstallSectionName(L"Base", kModeInst));
    EXPECT_EQ(L"Base - DefaultUnInstall", InstallSectionName(L"Base", kModeDel));
    EXPECT_EQ(L"Base - DefaultUnInstall", InstallSectionName(L"Base", kModeSd));
    EXPECT_EQ(L"Base - DefaultInstall", InstallSectionName(L"Base", kModeRep));
    EXPECT_EQ(L"Base - DefaultInstall", InstallSectionName(L"Base", kModeAd));
}

TEST(ComponentRules, TreeStatesAndTheFirstShowingOfThePage) {
    const bool chosen[] = {true, false, true, true, false, true};
    for (std::uint8_t s = 0; s < 6; ++s) EXPECT_EQ(chosen[s], StateCountsAsChosen(s)) << int(s);
    EXPECT_TRUE(StateCountsAsChosen(9));

    // In AS_AD the boxes show what is installed.
    EXPECT_EQ(2, InitialPageState(kModeAd, Component(1, 1, 1)));
    EXPECT_EQ(1, InitialPageState(kModeAd, Component(1, 2, 0)));
    EXPECT_EQ(2, InitialPageState(kModeAd, Component(1, 2, 1)));
    EXPECT_EQ(1, InitialPageState(kModeAd, Component(1, 1, 0)));
    EXPECT_EQ(4, InitialPageState(kModeAd, Component(1, 4, 1)));
    EXPECT_EQ(5, InitialPageState(kModeAd, Component(1, 5, 0)));
    // Elsewhere the states stay as read.
    EXPECT_EQ(1, InitialPageState(kModeInst, Component(1, 1, 1)));
    EXPECT_EQ(2, InitialPageState(kModeRep, Component(1, 2, 0)));
}

TEST(ComponentRules, WhichStepsActOnAComponent) {
    const ComponentRecord installedOnly = Component(1, 0, 1, 0);
    const ComponentRecord chosenOnly = Component(2, 0, 0, 1);
    const ComponentRecord both = Component(3, 0, 1, 1);
    for (std::uint32_t mode : {kModeInst, kModeRep, kModeAd}) {
        EXPECT_TRUE(RemovalStepsActOn(mode, installedOnly)) << mode;
        EXPECT_FALSE(InstallStepsActOn(mode, installedOnly)) << mode;
        EXPECT_FALSE(RemovalStepsActOn(mode, chosenOnly)) << mode;
        EXPECT_TRUE(InstallStepsActOn(mode, chosenOnly)) << mode;
        EXPECT_TRUE(RemovalStepsActOn(mode, both)) << mode;
        EXPECT_TRUE(InstallStepsActOn(mode, both)) << mode;
    }
    for (std::uint32_t mode : {kModeDel, kModeSd}) {
        EXPECT_TRUE(RemovalStepsActOn(mode, installedOnly)) << mode;
        EXPECT_FALSE(InstallStepsActOn(mode, both)) << mode;
        EXPECT_FALSE(RemovalStepsActOn(mode, chosenOnly)) << mode;
    }
    EXPECT_FALSE(RemovalStepsActOn(kModeSup, both));
    EXPECT_FALSE(InstallStepsActOn(kModeSup, both));
}

TEST(ComponentRules, SummarySelection) {
    std::vector<ComponentRecord> list = {Component(0, 0, 1, 0), Component(1, 0, 0, 1), Component(2, 0, 1, 0)};
    std::vector<ComponentRecord> rep = list;
    SelectInstalledForSummary(kModeRep, rep);
    EXPECT_EQ(1, rep[0].Selected);
    EXPECT_EQ(1, rep[1].Selected);  // not installed: kept
    EXPECT_EQ(1, rep[2].Selected);
    std::vector<ComponentRecord> del = list;
    SelectInstalledForSummary(kModeDel, del);
    EXPECT_EQ(1, del[0].Selected);
    EXPECT_EQ(0, del[1].Selected);
    EXPECT_EQ(1, del[2].Selected);
    std::vector<ComponentRecord> ad = list;
    SelectInstalledForSummary(kModeAd, ad);
    EXPECT_EQ(0, ad[0].Selected);
    EXPECT_EQ(1, ad[1].Selected);
}

TEST(LineParsers, FileLinesAndSourceDisksValues) {
    FileLine one = SplitFileLine(L"app.exe");
    EXPECT_EQ(L"app.exe", one.SourceName);
    EXPECT_EQ(L"app.exe", one.TargetName);
    EXPECT_EQ(0, one.FileFlags);
    FileLine empty = SplitFileLine(L"2000_db.mdb,,4");
    EXPECT_EQ(L"2000_db.mdb", empty.TargetName);
    EXPECT_EQ(4, empty.FileFlags);
    FileLine three = SplitFileLine(L"a.dll,b.dll,1,extra");
    EXPECT_EQ(L"b.dll", three.TargetName);
    EXPECT_EQ(1, three.FileFlags);

    FileRecord r;
    ApplySourceDisksValue(L"1,123,2003-07-15,05:30:07p,5.1,2600", r);
    EXPECT_EQ(123u, r.Size);
    EXPECT_EQ(2003, r.Time.Year);
    EXPECT_EQ(7, r.Time.Month);
    EXPECT_EQ(15, r.Time.Day);
    EXPECT_EQ(17, r.Time.Hour);
    EXPECT_EQ(30, r.Time.Minute);
    EXPECT_EQ(7, r.Time.Second);
    EXPECT_EQ(L"5.1,2600", std::wstring(r.FileVersion));
    ApplySourceDisksValue(L"1,1,2003-07-15,12:10:00p,", r);
    EXPECT_EQ(12, r.Time.Hour);
    ApplySourceDisksValue(L"1,1,2003-07-15,12:10:00a,", r);
    EXPECT_EQ(12, r.Time.Hour);
    ApplySourceDisksValue(L"1,1,2003-07-15,05:30:07,", r);
    EXPECT_EQ(5, r.Time.Hour);
    ApplySourceDisksValue(L"1,1,2003-07-15,05:30:07x", r);
    EXPECT_EQ(5, r.Time.Hour);
    EXPECT_EQ(L"", std::wstring(r.FileVersion));
    // Missing fields read 0; a long version is cut to its field.
    ApplySourceDisksValue(L"1", r);
    EXPECT_EQ(0u, r.Size);
    EXPECT_EQ(0, r.Time.Year);
    EXPECT_EQ(0, r.Time.Hour);
    ApplySourceDisksValue(L"1,99999999999,2003-07-15,05:30:07," + std::wstring(40, L'v'), r);
    EXPECT_EQ(4294967295u, r.Size);
    EXPECT_EQ(std::wstring(29, L'v'), std::wstring(r.FileVersion));
    // Numbers past 2^31 and 2^32 and negative ones stay inside the 16-bit fields.
    ApplySourceDisksValue(L"1,-5,99999-4294967296-0,99999999999:-7:99p,", r);
    EXPECT_EQ(0u, r.Size);
    EXPECT_EQ(0xFFFF, r.Time.Year);
    EXPECT_EQ(0xFFFF, r.Time.Month);
    EXPECT_EQ(0, r.Time.Day);
    EXPECT_EQ(0xFFFF, r.Time.Hour);
    EXPECT_EQ(0, r.Time.Minute);
    EXPECT_EQ(99, r.Time.Second);
}

TEST(LineParsers, DestinationsAndSharing) {
    FileRecord r;
    EXPECT_TRUE(ApplyDestinationDir(L"11", L"C:\\windows\\system32\\", r));
    EXPECT_EQ(L"C:\\windows\\system32\\", std::wstring(r.TargetFolder));
    EXPECT_TRUE(ApplyDestinationDir(L"%65600%\\bin\\", L"C:\\windows\\system32\\", r));
    EXPECT_EQ(L"%65600%\\bin\\", std::wstring(r.TargetFolder));
    EXPECT_TRUE(ApplyDestinationDir(L"110", L"S\\", r));
    EXPECT_EQ(L"110", std::wstring(r.TargetFolder));
    EXPECT_FALSE(ApplyDestinationDir(std::wstring(260, L'd'), L"S\\", r));
    EXPECT_EQ(L"110", std::wstring(r.TargetFolder));  // untouched

    std::vector<FileRecord> list;
    FileRecord a;
    ASSERT_TRUE(FillFileNames(SplitFileLine(L"a.dll,first.dll"), a));
    ApplyDestinationDir(L"C:\\X\\", L"", a);
    FileRecord sameButOtherTarget;
    ASSERT_TRUE(FillFileNames(SplitFileLine(L"a.dll,second.dll"), sameButOtherTarget));
    ApplyDestinationDir(L"C:\\X\\", L"", sameButOtherTarget);
    FileRecord otherCase = sameButOtherTarget;
    ApplyDestinationDir(L"c:\\x\\", L"", otherCase);

    FileListIndex index;
    bool created = false;
    EXPECT_EQ(0u, AddOrFindFile(list, index, a, &created));
    EXPECT_TRUE(created);
    EXPECT_EQ(0u, AddOrFindFile(list, index, sameButOtherTarget, &created));
    EXPECT_FALSE(created);
    EXPECT_EQ(1u, AddOrFindFile(list, index, otherCase));  // compared case-sensitively
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(L"first.dll", std::wstring(list[0].TargetName));
    EXPECT_EQ(0, list[0].Number);
    EXPECT_EQ(1, list[1].Number);

    // The index follows what others do to the list: entries appended past
    // it (with their own Numbers), an entry changed in place, a list emptied.
    FileRecord appended = a;
    ApplyDestinationDir(L"C:\\Y\\", L"", appended);
    appended.Number = 41;
    list.push_back(appended);
    EXPECT_EQ(2u, AddOrFindFile(list, index, appended));
    FileRecord fresh = a;
    ApplyDestinationDir(L"C:\\Z\\", L"", fresh);
    EXPECT_EQ(3u, AddOrFindFile(list, index, fresh));
    EXPECT_EQ(42, list[3].Number);
    ApplyDestinationDir(L"D:\\", L"", list[0]);
    EXPECT_EQ(4u, AddOrFindFile(list, index, a));
    EXPECT_EQ(0u, AddOrFindFile(list, index, list[0]));
    list.clear();
    EXPECT_EQ(0u, AddOrFindFile(list, index, fresh));
    EXPECT_EQ(0, list[0].Number);

    ComponentRecord c;
    AddFileReference(c, 1);
    AddFileReference(c, 0);
    AddFileReference(c, 1);
    EXPECT_EQ((std::vector<FileRef>{1, 0}), c.Files);

    FileRecord tooLong;
    EXPECT_FALSE(FillFileNames(SplitFileLine(std::wstring(256, L'n')), tooLong));
    EXPECT_TRUE(FillFileNames(SplitFileLine(std::wstring(255, L'n')), tooLong));
}

TEST(LineParsers, RecordLinesSplitFromTheLeft) {
    RegistryEntry reg;
    EXPECT_TRUE(ParseRegistryLine(L"3,Software\\A,Val,2,1024,six", reg));
    EXPECT_EQ(3, reg.Root);
    EXPECT_EQ(L"1024", std::wstring(reg.Data));
    EXPECT_TRUE(ParseRegistryLine(L"x", reg));
    EXPECT_EQ(0, reg.Root);
    EXPECT_EQ(L"", std::wstring(reg.SubKey));
    // A field that does not fit never shifts the fields after it.
    RegistryEntry longKey;
    EXPECT_FALSE(ParseRegistryLine(L"2," + std::wstring(260, L'k') + L",Val,0,data", longKey));
    EXPECT_EQ(L"Val", std::wstring(longKey.ValueName));
    EXPECT_EQ(0, longKey.ValueType);

    EnvVarEntry env;
    EXPECT_TRUE(ParseEnvVarLine(L"PATH,1,0,a,b,c", env));
    EXPECT_EQ(L"a,b,c", std::wstring(env.Value));
    EXPECT_FALSE(ParseEnvVarLine(L"PATH,1,0," + std::wstring(260, L'v'), env));

    LinkEntry link;
    EXPECT_TRUE(ParseLinkLine(L"CSIDL_DESKTOP,Name,T,W,a,b", link));
    EXPECT_EQ(L"a,b", std::wstring(link.Arguments));
    EXPECT_TRUE(ParseLinkLine(L"CSIDL_DESKTOP,Name", link));
    EXPECT_EQ(L"", std::wstring(link.Target));
    EXPECT_EQ(L"", std::wstring(link.Arguments));

    LaunchEntry launch;
    EXPECT_TRUE(ParseLaunchLine(L"setup.exe /s,setup.exe,1,1,0,1,Failed,more", launch));
    EXPECT_EQ(L"Failed", std::wstring(launch.Message));
    EXPECT_EQ(1, launch.Show);
    EXPECT_EQ(0, launch.UseExitCode);
    EXPECT_TRUE(ParseLaunchLine(std::wstring(519, L'c') + L",c.exe", launch));
    EXPECT_FALSE(ParseLaunchLine(std::wstring(520, L'c') + L",c.exe", launch));

    DllEntry dll;
    EXPECT_TRUE(ParseDllLine(L"p.dll,name,-3", dll));
    EXPECT_EQ(-3, dll.Value);
    EXPECT_TRUE(ParseDllLine(L"p.dll," + std::wstring(129, L'n'), dll));
    EXPECT_FALSE(ParseDllLine(L"p.dll," + std::wstring(130, L'n'), dll));
}

}  // namespace
}  // namespace tarnex
