// The package builder's rules without Windows: reading manifests, planning
// packages over a made-up file system, and the quoting of INF fields.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "inf_text.h"
#include "manifest.h"
#include "package_plan.h"

namespace pack {
namespace {

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t w : text) {
        const auto c = static_cast<std::uint32_t>(w);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

const std::wstring kPackage = L"[Package]\nName=Demo\nDir=%Program Files%\\Demo\nKey=HKLM\\Software\\Vrel\\Demo\n";

Manifest Read(const std::wstring& text) {
    Manifest m;
    std::vector<Diagnostic> d;
    EXPECT_TRUE(ReadManifest(Utf8(text), m, d)) << (d.empty() ? "" : std::to_string(d[0].line));
    return m;
}

TEST(ManifestReader, ValuesDefaultsAndFieldsReadBack) {
    const Manifest m = Read(
        L"\xFEFF; a comment\r\n"
        L"[package]\r\n"
        L"  name = Демо, «кавычки»  \r\n"
        L"Dir = C:\\Demo\r\n"
        L"Key = HKEY_CURRENT_USER\\Software\\Vrel\\Demo\r\n"
        L"OSVersions = 0,0,0,0,1,1,1\r\n"
        L"SupportMode = No\r\n"
        L"TimestampServer = http://127.0.0.1:8080/tsa\r\n"
        L"timestampserver = https://b.example/\r\n"
        L"Shortcut = CSIDL_PROGRAMS\\Demo | Remove Demo | %65600%\\Setup.exe | %65600% | /u\r\n"
        L"[Component Core]\r\n"
        L"Version = 2.1\r\n"
        L"Parent = A, B\r\n"
        L"File = bin\\core.dll | Bin | selfreg\r\n"
        L"File = readme.txt | %65600%\\Docs\\ | plain | Прочти.txt\r\n"
        L"File = x.dll | %11%\r\n"
        L"Folder = site\\html\\\r\n"
        L"Folder = pictures | .\r\n"
        L"Reg = HKLM\\Software\\Vrel\\Core | Count | dword | -5\r\n"
        L"Env = VREL_PATH | system | append | a;b, c | d\r\n"
        L"RunAfter = \"%65600%\\Bin\\tool.exe\" /init | wait exitcode | Ошибка\r\n"
        L"RunBefore = check.exe | package\r\n");
    const PackageSpec& p = m.package;
    EXPECT_EQ(L"Демо, «кавычки»", p.name.text);
    EXPECT_EQ(3, p.name.line);
    EXPECT_EQ(L"Демо, «кавычки»", NameUnInstOf(p));
    EXPECT_EQ(L"C:\\Demo\\", InstallFolderOf(p));
    ASSERT_EQ(2u, p.timestampServers.size());  // in the order given: asked in turn
    EXPECT_EQ(L"http://127.0.0.1:8080/tsa", p.timestampServers[0].text);
    EXPECT_EQ(L"https://b.example/", p.timestampServers[1].text);
    EXPECT_EQ(2, p.keyRoot);
    EXPECT_EQ(L"Software\\Vrel\\Demo", p.keyPath);
    EXPECT_EQ(L"Setup.exe", InstallerOf(p));
    EXPECT_EQ(L"Setup.exe", SetNameUIOf(p));
    EXPECT_FALSE(YesNoOf(p.supportMode, true));
    // Seven numbers name 95 to XP: no later system, as such a package always had.
    EXPECT_EQ((std::vector<std::int32_t>{0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}),
              std::vector<std::int32_t>(p.osVersionValues.begin(), p.osVersionValues.end()));
    // Without the key: the systems the shipped installer starts on.
    const PackageSpec defaults;
    EXPECT_EQ((std::vector<std::int32_t>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1}),
              std::vector<std::int32_t>(defaults.osVersionValues.begin(), defaults.osVersionValues.end()));
    ASSERT_EQ(1u, p.entries.shortcuts.size());
    EXPECT_EQ(L"/u", p.entries.shortcuts[0].arguments);

    ASSERT_EQ(1u, m.components.size());
    const ComponentSpec& c = m.components[0];
    EXPECT_EQ(L"Core", c.engName);
    EXPECT_EQ(L"Core", LocNameOf(c));
    EXPECT_EQ(L"%65600%", InstallPathOf(c));
    EXPECT_EQ(2, c.stateValue);
    ASSERT_EQ(2u, c.parents.size());
    EXPECT_EQ(L"B", c.parents[1].text);
    ASSERT_EQ(5u, c.takes.size());
    EXPECT_EQ(L"Bin", c.takes[0].target);
    EXPECT_EQ(1, c.takes[0].kind);
    EXPECT_EQ(L"Docs\\Прочти.txt", c.takes[1].target);
    EXPECT_FALSE(c.takes[1].targetIsFolder);
    EXPECT_EQ(L"%11%", c.takes[2].target);
    EXPECT_EQ(L"html", c.takes[3].target);  // a folder keeps its name
    EXPECT_EQ(L"", c.takes[4].target);      // "." is the install folder itself
    ASSERT_EQ(1u, c.entries.registry.size());
    EXPECT_EQ(3, c.entries.registry[0].root);
    EXPECT_EQ(2, c.entries.registry[0].type);
    ASSERT_EQ(1u, c.entries.env.size());
    EXPECT_EQ(L"a;b, c | d", c.entries.env[0].value);  // the last field takes the rest
    EXPECT_FALSE(c.entries.env[0].replace);
    EXPECT_TRUE(c.entries.env[0].system);
    ASSERT_EQ(1u, c.runAfter.size());
    EXPECT_EQ(L"tool.exe", c.runAfter[0].fileName);
    EXPECT_TRUE(c.runAfter[0].wait && c.runAfter[0].exitCode && !c.runAfter[0].show && !c.runAfter[0].fromPackage);
    EXPECT_EQ(L"Ошибка", c.runAfter[0].message);
    ASSERT_EQ(1u, c.runBefore.size());
    EXPECT_TRUE(c.runBefore[0].fromPackage);
}

struct Mistake {
    std::wstring text;  // appended to a valid [Package] section (lines 1 to 4)
    int line;
    std::wstring message;
};

// The first diagnostic names the mistake's line and says what it is.
void ExpectNamed(const Mistake& mistake, bool accepted, const std::vector<Diagnostic>& d) {
    EXPECT_FALSE(accepted) << Utf8(mistake.text);
    ASSERT_FALSE(d.empty()) << Utf8(mistake.text);
    EXPECT_EQ(mistake.line, d[0].line) << Utf8(mistake.text);
    EXPECT_NE(std::wstring::npos, d[0].message.find(mistake.message))
        << Utf8(mistake.text) << " gave: " << Utf8(d[0].message);
}

TEST(ManifestReader, EveryMistakeIsNamedByItsLine) {
    const std::wstring longName(255, L'x');
    const Mistake mistakes[] = {
        {L"Colour=red\n", 5, L"unknown key \"Colour\" in [Package]"},
        {L"[Packages]\nName=x\n", 5, L"unknown section [Packages]"},
        {L"Name=Again\n", 5, L"\"Name\" is given twice (first on line 2)"},
        {L"just words\n", 5, L"expected KEY = VALUE"},
        {L"Access=yes please\n", 5, L"expected Yes or No"},
        {L"OSVersions=1,1,1\n", 5, L"expected 7 to 14 numbers"},
        {L"OSVersions=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\n", 5, L"expected 7 to 14 numbers"},
        {L"Installer=setup\n", 5, L"must end in .exe"},
        {L"CodePage=65001\n", 5, L"CodePage must be an ANSI code page"},
        {L"TimestampServer=ftp://tsa/\n", 5, L"must be an http:// or https:// address"},
        {L"TimestampServer=http://tsa/a b\n", 5, L"holds a blank"},
        {L"[Component A]\nVersion=1\\2\n", 6, L"Version must not hold a backslash"},
        {L"[Component A]\nLocName=" + longName + L"\n", 6, L"the installer reads at most 254"},
        {L"[Component A]\nFile=x.txt | ..\\outside\n", 6, L"leaves its folder"},
        {L"[Component A]\nFile=x.txt | \\Windows\n", 6, L"leaves its folder"},
        {L"[Component A]\nFile=x.txt | %11%\\drivers\n", 6, L"the system folder itself"},
        {L"[Component A]\nFile=x.txt | | | a,b.txt\n", 6, L"holds a comma"},
        {L"[Component A]\nFile=x.txt | | packed\n", 6, L"unknown kind \"packed\""},
        {L"[Component A]\nReg=HKLM\\Software | v | text | 1\n", 6, L"names a key other programs share"},
        {L"[Component A]\nReg=HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run | v | text | 1\n", 6,
         L"names a key other programs share"},
        {L"[Component A]\nReg=HKXX\\Software\\Vrel | v | text | 1\n", 6, L"must start with HKCR"},
        {L"[Component A]\nReg=HKLM\\Software\\Vrel | v | text | a,b\n", 6, L"must not hold a comma"},
        {L"[Component A]\nReg=HKLM\\Software\\Vrel | v | dword | 3000000000\n", 6, L"from -2147483648 to 2147483647"},
        {L"[Component A]\nEnv=V | user | set | a;b\n", 6, L"use append for a list"},
        {L"[Component A]\nEnv=V | user | append | ;a\n", 6, L"an empty part before others"},
        {L"[Component A]\nShortcut=Programs\\Demo | Demo | x.exe\n", 6, L"must start with a special folder"},
        {L"[Component A]\nRunBefore=tools\\check.exe | package\n", 6, L"must lie in the package folder itself"},
        {L"[Component A]\nRunBefore=x.exe | wait later\n", 6, L"unknown option \"later\""},
        {L"[Component A]\n[Component a]\n", 6, L"a second component named \"a\" (the first is on line 5)"},
        {L"[Component A,B]\n", 5, L"holds one of"},
        {L"[Component A]\nState=7\n", 6, L"State must be 0 to 5"},
        {L"[Component A]\nNumber=0\n", 6, L"Number must be a whole number from 1 on"},
    };
    for (const Mistake& mistake : mistakes) {
        Manifest m;
        std::vector<Diagnostic> d;
        const bool accepted = ReadManifest(Utf8(kPackage + mistake.text), m, d);
        ExpectNamed(mistake, accepted, d);
    }
    Manifest m;
    std::vector<Diagnostic> d;
    EXPECT_FALSE(ReadManifest("[Package]\nName=\xC3\x28\n", m, d));
    EXPECT_NE(std::wstring::npos, d.at(0).message.find(L"neither UTF-8 nor UTF-16"));
    EXPECT_FALSE(ReadManifest("[Package]\nName=x\n", m, d));
    EXPECT_EQ(L"[Package] needs Dir", d.at(0).message);
}

// A made-up file system: files by full path, folders implied by them.
class FakeFiles : public FileSource {
public:
    void Add(const std::wstring& path, std::uint64_t size = 10) {
        FileFacts f;
        f.size = size;
        f.stamp = tarnex::FileStamp{2021, 3, 0, 4, 5, 6, 7, 0};
        files_[path] = f;
        for (std::size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1))
            folders_.insert(path.substr(0, at + 1));
    }
    bool IsFolder(const std::wstring& path) override {
        return folders_.count(path.back() == L'\\' ? path : path + L"\\") != 0;
    }
    bool Facts(const std::wstring& path, FileFacts& facts) override {
        const auto it = files_.find(path);
        if (it == files_.end()) return false;
        facts = it->second;
        return true;
    }
    bool ListFiles(const std::wstring& folder, std::vector<std::wstring>& files) override {
        const std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
        files.clear();
        for (const auto& [path, facts] : files_)
            if (path.compare(0, base.size(), base) == 0) files.push_back(path.substr(base.size()));
        return true;
    }

private:
    std::map<std::wstring, FileFacts> files_;
    std::set<std::wstring> folders_;
};

struct Planned {
    bool ok = false;
    PackagePlan plan;
    std::vector<Diagnostic> diagnostics;
};

Planned Plan(const std::wstring& components, FakeFiles& files) {
    files.Add(L"T:\\tools\\Tarnex.exe", 5000);
    Planned out;
    Manifest m;
    std::vector<Diagnostic> d;
    EXPECT_TRUE(ReadManifest(Utf8(kPackage + components), m, d)) << (d.empty() ? "" : Utf8(d[0].message));
    static Manifest keep;  // the plan points into its manifest
    keep = m;
    PlanInputs in{L"M:\\files\\", L"T:\\tools\\Tarnex.exe",
                  [](const std::wstring& t) { return t.find(L'\x4E2D') == std::wstring::npos; }};
    out.ok = PlanPackage(keep, in, files, out.plan, out.diagnostics);
    return out;
}

const PlannedFile* FileNamed(const PackagePlan& plan, const std::wstring& folder, const std::wstring& name) {
    for (const PlannedFile& f : plan.files)
        if (f.targetFolder == folder && f.targetName == name) return &f;
    return nullptr;
}

TEST(PackagePlan, TreesBecomeInfFilesWithParentsFirstAndUniqueSourceNames) {
    FakeFiles files;
    for (const wchar_t* path : {L"M:\\files\\a\\readme.txt", L"M:\\files\\b\\README.TXT", L"M:\\files\\b\\sub\\Отчёт.doc",
                                L"M:\\files\\97_db.mdb", L"M:\\files\\other\\97_db.mdb", L"M:\\files\\shared.dll"})
        files.Add(path);
    const Planned p = Plan(
        L"[Component Child]\nParent=Top\nFolder=b | Docs\nFile=shared.dll\n"
        L"[Component Alone]\nFile=a\\readme.txt\nFile=97_db.mdb\nFile=other\\97_db.mdb | Old\n"
        L"[Component Top]\nNumber=7\nFile=shared.dll\n"
        L"[Component Grandchild]\nParent=Child, Top\n",
        files);
    ASSERT_TRUE(p.ok) << (p.diagnostics.empty() ? "" : Utf8(p.diagnostics[0].message));
    const PackagePlan& plan = p.plan;

    // Two trees, in the order their first component appears; parents first.
    ASSERT_EQ(2u, plan.infs.size());
    EXPECT_EQ(L"user1.inf", plan.infs[0].infName);
    EXPECT_EQ(L"user2.cab", plan.infs[1].cabinetName);
    ASSERT_EQ(3u, plan.infs[0].components.size());
    EXPECT_EQ(L"Top", plan.infs[0].components[0].spec->engName);
    EXPECT_EQ(L"Child", plan.infs[0].components[1].spec->engName);
    EXPECT_EQ(L"Grandchild", plan.infs[0].components[2].spec->engName);
    EXPECT_EQ(7, plan.infs[0].components[0].localNumber);
    EXPECT_EQ(1, plan.infs[0].components[1].localNumber);  // numbers not given are the free ones in order
    EXPECT_EQ(std::vector<std::int32_t>{7}, plan.infs[0].components[1].dependencies);
    EXPECT_EQ((std::vector<std::int32_t>{1, 7}), plan.infs[0].components[2].dependencies);
    EXPECT_EQ(std::vector<std::int32_t>{0}, plan.infs[0].components[0].dependencies);

    // One section per folder; a subfolder keeps its place below the target.
    const PlannedComponent& child = plan.infs[0].components[1];
    ASSERT_EQ(3u, child.sections.size());
    EXPECT_EQ(L"%65600%\\Docs\\", child.sections[0].destination);
    EXPECT_EQ(L"%65600%\\Docs\\sub\\", child.sections[1].destination);
    EXPECT_EQ(L"Child.Files2", child.sections[1].name);

    // The same file for two components at one place is one record, in the
    // cabinet of the first tree that takes it.
    const PlannedFile* shared = FileNamed(plan, L"%65600%\\", L"shared.dll");
    ASSERT_NE(nullptr, shared);
    std::size_t sharedCount = 0;
    for (const PlannedFile& f : plan.files) sharedCount += f.targetName == L"shared.dll";
    EXPECT_EQ(1u, sharedCount);
    EXPECT_EQ(3u, plan.infs[0].cabinetFiles.size());
    EXPECT_EQ(3u, plan.infs[1].cabinetFiles.size());

    // Source names: unique without letter case, plain ASCII, Access
    // prefixes kept; the stamp is the cabinet's (even seconds).
    std::set<std::wstring> names;
    for (const PlannedFile& f : plan.files) {
        std::wstring folded = f.sourceName;
        for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(c));
        EXPECT_TRUE(names.insert(folded).second) << Utf8(f.sourceName);
        for (wchar_t c : f.sourceName) EXPECT_LT(c, 0x80) << Utf8(f.sourceName);
    }
    EXPECT_EQ(L"README.TXT", FileNamed(plan, L"%65600%\\Docs\\", L"README.TXT")->sourceName);
    EXPECT_EQ(L"readme~2.txt", FileNamed(plan, L"%65600%\\", L"readme.txt")->sourceName);
    EXPECT_EQ(L"file.doc", FileNamed(plan, L"%65600%\\Docs\\sub\\", L"Отчёт.doc")->sourceName);
    EXPECT_EQ(L"97_db~2.mdb", FileNamed(plan, L"%65600%\\Old\\", L"97_db.mdb")->sourceName);
    EXPECT_EQ(6, shared->facts.stamp.Second);

    // Component 0: the installer's copy and the description, loose.
    ASSERT_EQ(2u, plan.installerFiles.size());
    EXPECT_EQ(L"Setup.exe", plan.files[plan.installerFiles[0]].sourceName);
    EXPECT_EQ(6, plan.files[plan.installerFiles[0]].kind);
    EXPECT_EQ(L"Setup.inf", plan.descriptionName);
}

TEST(PackagePlan, MistakesAcrossTheManifestAreNamedByLine) {
    const Mistake mistakes[] = {
        {L"[Component A]\nFile=missing.txt\n", 6, L"does not exist or cannot be read"},
        {L"[Component A]\nFolder=empty\n", 6, L"does not exist"},
        {L"[Component A]\nParent=Nobody\n", 6, L"the parent \"Nobody\" of \"A\" does not exist"},
        {L"[Component A]\nParent=C\n[Component B]\nParent=A\n[Component C]\nParent=B\n", 5,
         L"a dependency cycle: A -> C -> B -> A"},
        {L"[Component A]\nParent=A\n", 5, L"a dependency cycle: A -> A"},
        {L"[Component L1]\n[Component L2]\nParent=L1\n[Component L3]\nParent=L2\n[Component L4]\nParent=L3\n"
         L"[Component L5]\nParent=L4\n",
         12, L"on level 5"},
        {L"[Component A]\nFile=one\\x.txt\n[Component B]\nFile=two\\X.TXT\n", 8, L"two files named \"X.TXT\" in one folder"},
        {L"[Component A]\nFile=one\\x.txt | | | Setup.exe\n", 6, L"is a file of the installer itself"},
        {L"[Component A]\nFile=one\\x.txt | | | user1.inf\n", 6, L"copy of a user INF file"},
        {L"[Component A]\nNumber=3\n[Component B]\nNumber=3\n", 8, L"Number 3 is taken on line 6"},
        {L"[Component A]\nLocName=\x4E2D\n", 6, L"cannot be spelt in the code page"},
        {L"[Component A]\nFile=one\\x.txt | " + std::wstring(240, L'd') + L"\n", 6, L"in the install folder"},
        {L"[Component A]\nFile=big.bin\n", 6, L"larger than 2 GB"},
    };
    for (const Mistake& mistake : mistakes) {
        FakeFiles files;
        files.Add(L"M:\\files\\one\\x.txt");
        files.Add(L"M:\\files\\two\\X.TXT");
        files.Add(L"M:\\files\\big.bin", 0x80000000ull);
        const Planned p = Plan(mistake.text, files);
        ExpectNamed(mistake, p.ok, p.diagnostics);
    }
}

TEST(InfText, FieldsAreQuotedSoTheSetupApiGivesThemBackExactly) {
    EXPECT_EQ(L"\"a \"\"b\"\", 100%% c:\\d\\\"", InfField(L"a \"b\", 100% c:\\d\\"));
    EXPECT_EQ(L"\"%%65600%%\\x\"", InfField(L"%65600%\\x"));
    EXPECT_EQ(L"\"\"", InfField(L""));
}

}  // namespace
}  // namespace pack
