// The package description read from test packages written into the prefix:
// INF access, the description file, the component catalogue, the install
// sections, helper programs, and the installed-record reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "description/component_catalogue.h"
#include "description/inf_file.h"
#include "description/portable/component_rules.h"
#include "description/section_reader.h"
#include "description/setup_description.h"
#include "engine/installed_record.h"
#include "services/app_context.h"
#include "services/registry_access.h"
#include "sysops/launch_runner.h"
#include "test_support.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

using test::MessageRecorder;
using test::ScratchFolder;
using test::WriteBytes;

const char kVersion[] = "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n";

// OPTIONS of a valid description, in file order.
std::vector<std::pair<std::string, std::string>> DefaultOptions() {
    return {{"Access", "No"},
            {"License", "Yes"},
            {"SupportMode", "Yes"},
            {"BackWindow", "No"},
            {"BackWindowPicture", "Yes"},
            {"Name", "Test Product"},
            {"NameGen", "the test product"},
            {"NameUnInst", "Test Product Removal"},
            {"SetNameUI", "Tarnex.exe"},
            {"BackName", "Back text"},
            {"Dir", "\"%Program Files%\\TestProduct\\\""},
            {"Key", "2,Software\\TarnexDescriptionTest\\Package"},
            {"OSVersions", "1,1,1,0,1,1,1"},
            {"OSServicePacks", "0,0,0,0,6,4,2"}};
}

// A package folder with the description file "Tarnex.inf" and user INF files.
class Package {
public:
    explicit Package(const std::wstring& tag = L"pkg") : folder_(tag) {}
    const std::wstring& Folder() const { return folder_.Path(); }

    void SetOption(const std::string& key, const std::string& value) {
        for (auto& option : options_)
            if (option.first == key) option.second = value;
    }
    void DropOption(const std::string& key) {
        for (auto it = options_.begin(); it != options_.end(); ++it)
            if (it->first == key) {
                options_.erase(it);
                return;
            }
    }
    // Text appended to the description file after OPTIONS.
    std::string extra;
    // The texts given are UTF-8; written as UTF-16 files when set, in
    // the bytes given otherwise.
    bool utf16 = false;
    int windowsKeys = 9;
    std::string pictureName = "page";

    void WriteDescription() const {
        std::string text = kVersion;
        text += "[OPTIONS]\r\n";
        for (const auto& option : options_) text += option.first + "=" + option.second + "\r\n";
        text += "\r\n[WINDOWS]\r\n";
        for (int i = 0; i < windowsKeys; ++i) text += std::to_string(i) + "=" + pictureName + std::to_string(i) + ".bmp\r\n";
        text += "\r\n" + extra;
        WriteBytes(folder_.Path() + L"Tarnex.inf", Encoded(text));
    }
    void WriteInf(const std::wstring& name, const std::string& body) const {
        WriteBytes(folder_.Path() + name, Encoded(kVersion + body));
    }
    // Points the program context at this package.
    void Activate(DWORD mode = AS_INST) const {
        vrel::CopyToField(App().ProgramFolder, std::wstring_view(folder_.Path()));
        vrel::CopyToField(App().ProgramName, std::wstring_view(L"Tarnex"));
        App().Mode = mode;
    }

private:
    std::string Encoded(const std::string& text) const {
        return utf16 ? testfiles::Utf16File(vrel::ToWide(text, CP_UTF8)) : text;
    }
    ScratchFolder folder_;
    std::vector<std::pair<std::string, std::string>> options_ = DefaultOptions();
};

// A user component's catalogue lines.
struct Comp {
    std::string eng;
    std::string number;
    std::string deps = "0";
    std::string complex = "No";
    std::string state = "2";
    std::string version = "1.0";
};

std::string Catalogue(const std::vector<Comp>& comps, const std::string& skipSection = "") {
    std::string names = "[EngNames]\r\n", numbers = "[NUMBERS]\r\n", loc = "[LocNames]\r\n",
                props = "[PROPERTIES]\r\n", versions = "[CompVersions]\r\n", paths = "[InstPaths]\r\n",
                complexes = "[COMPLEXES]\r\n", deps = "[DEPENDENCES]\r\n", states = "[STATES]\r\n";
    for (const Comp& c : comps) {
        names += c.eng + "\r\n";
        numbers += c.eng + "=" + c.number + "\r\n";
        loc += c.eng + "=Name of " + c.eng + "\r\n";
        props += c.eng + "=About " + c.eng + "\r\n";
        versions += c.eng + "=" + c.version + "\r\n";
        paths += c.eng + "=\"%65600%\\" + c.eng + "\\\"\r\n";
        complexes += c.eng + "=" + c.complex + "\r\n";
        deps += c.eng + "=" + c.deps + "\r\n";
        states += c.eng + "=" + c.state + "\r\n";
    }
    std::string out = names;
    const std::pair<std::string, std::string*> sections[] = {
        {"NUMBERS", &numbers},  {"LocNames", &loc},    {"PROPERTIES", &props},    {"CompVersions", &versions},
        {"InstPaths", &paths},  {"COMPLEXES", &complexes}, {"DEPENDENCES", &deps}, {"STATES", &states}};
    for (const auto& s : sections)
        if (s.first != skipSection) out += "\r\n" + *s.second;
    return out + "\r\n";
}

class DescriptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::SetUpTestContext();
        App().Mode = AS_INST;
    }
    void TearDown() override {
        DeleteRegTree(2, L"Software\\TarnexDescriptionTest");
        App().Mode = AS_INST;
    }
};

// ---- INF access ------------------------------------------------------------

class InfFileTest : public DescriptionTest {
protected:
    void SetUp() override {
        DescriptionTest::SetUp();
        pkg.WriteInf(L"access.inf",
                     "[Flags]\r\nLower=yes\r\nExact=Yes\r\nOther=No\r\n\r\n"
                     "[Lines]\r\nKey1 = a , b , c \r\nplain,fields\r\n\"a, b\",c\r\nKey2=\r\n\r\n"
                     "[Other]\r\nx1\r\nx2\r\nx3\r\n\r\n[Empty]\r\n\r\n");
        path = pkg.Folder() + L"access.inf";
    }
    Package pkg;
    std::wstring path;
};

TEST_F(InfFileTest, YesNoIsCaseSensitiveAndAMissingKeyFails) {
    InfFile inf;
    ASSERT_EQ(1, inf.Open(path));
    EXPECT_EQ(path, inf.Path());
    std::int32_t flag = 7;
    EXPECT_EQ(1, inf.GetYesNo(L"Flags", L"Lower", flag));
    EXPECT_EQ(0, flag);
    EXPECT_EQ(1, inf.GetYesNo(L"Flags", L"Exact", flag));
    EXPECT_EQ(1, flag);
    EXPECT_EQ(1, inf.GetYesNo(L"Flags", L"Other", flag));
    EXPECT_EQ(0, flag);
    flag = 7;
    EXPECT_EQ(0, inf.GetYesNo(L"Flags", L"Missing", flag));
    EXPECT_EQ(0, flag);
    EXPECT_EQ(0, inf.GetYesNo(L"NoSection", L"Exact", flag));
}

TEST_F(InfFileTest, LineTextsAreTheFieldsAfterTheKey) {
    InfFile inf;
    ASSERT_EQ(1, inf.Open(path));
    std::wstring text;
    EXPECT_EQ(1, inf.GetValue(L"Lines", L"Key1", text));
    EXPECT_EQ(L"a,b,c", text);
    EXPECT_EQ(1, inf.GetValue(L"Lines", L"Key2", text));
    EXPECT_EQ(L"", text);
    EXPECT_EQ(0, inf.GetValue(L"Lines", L"Nope", text));
    EXPECT_EQ(0, inf.GetValue(L"Nope", L"Key1", text));

    ASSERT_EQ(1, inf.FindFirstLine(L"Lines", text, 0));
    EXPECT_EQ(L"a,b,c", text);
    ASSERT_EQ(1, inf.FindNextLine(text, 0));
    EXPECT_EQ(L"plain,fields", text);
    ASSERT_EQ(1, inf.FindNextLine(text, 0));
    EXPECT_EQ(L"a, b,c", text);  // a quoted field keeps its comma
}

TEST_F(InfFileTest, WalksEndAndTheTwoSlotsAreIndependent) {
    InfFile inf;
    ASSERT_EQ(1, inf.Open(path));
    std::wstring a, b;
    ASSERT_EQ(1, inf.FindFirstLine(L"Other", a, 1));
    ASSERT_EQ(1, inf.FindFirstLine(L"Lines", b, 0));
    ASSERT_EQ(1, inf.FindNextLine(a, 1));
    EXPECT_EQ(L"x2", a);
    ASSERT_EQ(1, inf.FindNextLine(b, 0));
    EXPECT_EQ(L"plain,fields", b);
    ASSERT_EQ(1, inf.FindNextLine(a, 1));
    EXPECT_EQ(L"x3", a);
    a = L"unchanged";
    EXPECT_EQ(0, inf.FindNextLine(a, 1));
    EXPECT_EQ(0, inf.FindNextLine(a, 1));  // and again
    EXPECT_EQ(L"unchanged", a);

    EXPECT_EQ(3, inf.GetLineCount(L"Other"));
    EXPECT_EQ(0, inf.GetLineCount(L"Empty"));
    EXPECT_EQ(-1, inf.GetLineCount(L"Missing"));
    EXPECT_EQ(0, inf.FindFirstLine(L"Empty", a, 0));
    EXPECT_EQ(0, inf.FindFirstLine(L"Missing", a, 0));

    // Slots outside 0 and 1, and a slot never positioned, fail.
    InfFile fresh;
    ASSERT_EQ(1, fresh.Open(path));
    EXPECT_EQ(0, fresh.FindNextLine(a, 0));
    EXPECT_EQ(0, fresh.FindFirstLine(L"Other", a, 2));
    EXPECT_EQ(0, fresh.FindFirstLine(L"Other", a, -1));
}

TEST_F(InfFileTest, NamesTooLongForTheApiFail) {
    // Names go to the setup API in 260-byte buffers: longer ones are refused
    // rather than cut (a cut name could name another section).
    const std::string name(250, 'S');
    pkg.WriteInf(L"long.inf", "[" + name + "]\r\nkey=line\r\n");
    InfFile inf;
    ASSERT_EQ(1, inf.Open(pkg.Folder() + L"long.inf"));
    std::wstring text;
    EXPECT_EQ(1, inf.GetLineCount(std::wstring(250, L'S')));
    EXPECT_EQ(1, inf.GetValue(std::wstring(250, L'S'), L"key", text));
    EXPECT_EQ(-1, inf.GetLineCount(std::wstring(260, L'S')));
    EXPECT_EQ(0, inf.GetValue(std::wstring(300, L'S'), L"key", text));
    EXPECT_EQ(0, inf.GetValue(std::wstring(250, L'S'), std::wstring(300, L'k'), text));
    EXPECT_EQ(0, inf.FindFirstLine(std::wstring(300, L'S'), text, 0));

    // A path longer than the object's 260-character field is refused too.
    MessageRecorder boxes;
    InfFile deep;
    EXPECT_EQ(0, deep.Open(pkg.Folder() + std::wstring(300, L'p') + L".inf"));
    EXPECT_EQ(1u, boxes.Shown().size());
}

TEST_F(InfFileTest, OpenFailuresShowStringOne) {
    MessageRecorder boxes;
    InfFile inf;
    const std::wstring missing = pkg.Folder() + L"missing.inf";
    EXPECT_EQ(0, inf.Open(missing));
    EXPECT_FALSE(inf.IsOpen());
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(L"[1] " + missing, boxes.Shown()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.Shown()[0].type);
    EXPECT_EQ(nullptr, boxes.Shown()[0].owner);

    // A file whose path no ANSI code page spells opens on every system.
    boxes.Clear();
    const std::wstring foreign = pkg.Folder() + L"\x4E2D\x6587 \x04D9.inf";
    WriteBytes(foreign, kVersion);
    EXPECT_EQ(1, inf.Open(foreign));
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(foreign, inf.Path());

    // Closing twice, and using a closed object, is harmless.
    inf.Close();
    inf.Close();
    std::wstring text;
    EXPECT_EQ(-1, inf.GetLineCount(L"Version"));
    EXPECT_EQ(0, inf.GetValue(L"Version", L"Signature", text));
}

TEST_F(InfFileTest, KeysMatchAsTheSetupApiMatchesThem) {
    // Lookups by key are served from one walk of the section; each must give
    // what the setup API's own lookup gives: keys without letter case (Latin
    // letters only; the Cyrillic key in other case is not found), the
    // first of repeated keys, a key after string substitution, a line of one
    // field as its own key, a section written twice, long keys and values.
    const std::string longKey(600, 'K'), keyOfLimit(259, 'L'), longValue(3000, 'v');
    pkg.WriteInf(L"keys.inf",
                 std::string(kVersion) + "[Strings]\r\nK=named\r\n\r\n"
                 "[Keys]\r\nplain = one , two\r\nlonely\r\nx y, z\r\nTwo words = tw\r\n\"quoted\" = q\r\n"
                 "%K% = from strings\r\nsubst = %K%\r\ndup = first\r\nDUP = second\r\n = empty key\r\n"
                 "  spaced   = sp\r\n\"a,b\" = ab\r\n\xCA\xEB\xFE\xF7 = cyrillic\r\n" +
                     longKey + "=long key\r\n" + keyOfLimit + "=at the limit\r\nlongvalue=" + longValue + "\r\n\r\n[keys]\r\nplain = again\r\nlater = 2\r\n");
    const std::string probes[] = {"plain", "PLAIN", "lonely", "x y", "Two words", "quoted", "%K%", "named", "subst",
                                  "dup", "Dup", "", " spaced", "spaced", "a,b", "a", "\xCA\xEB\xFE\xF7",
                                  "\xEA\xEB\xFE\xF7", keyOfLimit, "longvalue", "later", "missing"};
    const std::wstring file = pkg.Folder() + L"keys.inf";
    InfFile inf;
    ASSERT_EQ(1, inf.Open(file));
    HINF direct = ::SetupOpenInfFileW(file.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, direct);
    int found = 0;
    for (const std::string& key : probes) {
        std::string expected(4096, '\0');
        const BOOL present = ::SetupGetLineTextA(nullptr, direct, "Keys", key.c_str(), expected.data(),
                                                 static_cast<DWORD>(expected.size()), nullptr);
        expected.resize(std::strlen(expected.c_str()));
        std::wstring text;
        const std::wstring wideKey = vrel::ToWide(key);
        ASSERT_EQ(present ? 1 : 0, inf.GetValue(L"Keys", wideKey, text)) << ::testing::PrintToString(key);
        if (present) {
            EXPECT_EQ(vrel::ToWide(expected), text) << ::testing::PrintToString(key);
        }
        found += present ? 1 : 0;
    }
    ::SetupCloseInfFile(direct);
    EXPECT_GE(found, 15);
    EXPECT_EQ(18, inf.GetLineCount(L"KEYS"));
    std::wstring text;
    EXPECT_EQ(0, inf.GetValue(L"Keys", vrel::ToWide(longKey), text));  // longer than the API's names

}

// ---- setup description -----------------------------------------------------

TEST_F(DescriptionTest, LoadsEveryOptionOfAValidDescription) {
    Package pkg;
    pkg.extra =
        "[COMPONENTS]\r\nuser1.inf,user1.cab\r\nEntry=user2.inf,data\\user2.cab\r\nnocab.inf\r\n\r\n"
        "[RequiredKeyRegistry]\r\nAccess,3,SOFTWARE\\Microsoft\\Office,1,Path,1,0,C:\\Office\r\nShort,2,Software\\X\r\n";
    pkg.SetOption("OSVersions", "1,0,1");
    pkg.SetOption("OSServicePacks", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15");
    pkg.WriteDescription();
    pkg.Activate();
    SetupDescription d;
    ASSERT_EQ(1, LoadSetupDescription(d));

    EXPECT_EQ(0, d.Access);
    EXPECT_EQ(1, d.License);
    EXPECT_EQ(1, d.SupportMode);
    EXPECT_EQ(0, d.BackWindow);
    EXPECT_EQ(1, d.BackWindowPicture);
    EXPECT_STREQ(L"Test Product", d.Name);
    EXPECT_STREQ(L"the test product", d.NameGen);
    EXPECT_STREQ(L"Test Product Removal", d.NameUnInst);
    EXPECT_STREQ(L"Test Product Removal", App().Caption);
    EXPECT_STREQ(L"Tarnex.exe", d.SetNameUI);
    EXPECT_STREQ(L"Back text", d.BackName);
    std::wstring programFiles;
    ASSERT_EQ(1, QueryRegText(3, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", programFiles));
    if (programFiles.back() == L'\\') programFiles.pop_back();
    EXPECT_EQ(programFiles, std::wstring(d.ProgramFilesFolder));
    EXPECT_EQ(programFiles + L"\\TestProduct\\", std::wstring(d.InstallFolder));
    EXPECT_EQ(2, d.KeyRoot);
    EXPECT_STREQ(L"Software\\TarnexDescriptionTest\\Package", d.KeyPath);
    // Tokens past the table's last system are ignored; missing ones read 0.
    const std::int32_t versions[kOsCount] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::int32_t packs[kOsCount] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    for (std::size_t i = 0; i < kOsCount; ++i) {
        EXPECT_EQ(versions[i], d.OSVersions[i]) << i;
        EXPECT_EQ(packs[i], d.OSServicePacks[i]) << i;
    }
    for (std::size_t i = 0; i < kPageCount; ++i)
        EXPECT_EQ(L"page" + std::to_wstring(i) + L".bmp", std::wstring(d.PagePictures[i]));

    const std::wstring f = pkg.Folder();
    ASSERT_EQ(4u, d.InfFiles.size());
    EXPECT_EQ(f + L"setup.inf", std::wstring(d.InfFiles[0].InfPath));
    EXPECT_EQ(f + L"setup.cab", std::wstring(d.InfFiles[0].CabinetPath));
    EXPECT_EQ(std::vector<std::int32_t>{0}, d.InfFiles[0].Numbers);
    EXPECT_EQ(f + L"user1.inf", std::wstring(d.InfFiles[1].InfPath));
    EXPECT_EQ(f + L"user1.cab", std::wstring(d.InfFiles[1].CabinetPath));
    EXPECT_TRUE(d.InfFiles[1].Numbers.empty());
    EXPECT_EQ(f + L"user2.inf", std::wstring(d.InfFiles[2].InfPath));  // the key is ignored
    EXPECT_EQ(f + L"data\\user2.cab", std::wstring(d.InfFiles[2].CabinetPath));
    EXPECT_EQ(f, std::wstring(d.InfFiles[3].CabinetPath));  // no comma: the folder alone

    ASSERT_EQ(2u, d.RequiredKeys.size());
    const RequiredKey& r = d.RequiredKeys[0];
    EXPECT_EQ(0, r.Index);
    EXPECT_STREQ(L"Access", r.AppName);
    EXPECT_EQ(3, r.Root);
    EXPECT_STREQ(L"SOFTWARE\\Microsoft\\Office", r.SubKey);
    EXPECT_EQ(1, r.TestValue);
    EXPECT_STREQ(L"Path", r.ValueName);
    EXPECT_EQ(1, r.CompareData);
    EXPECT_EQ(0, r.ValueType);
    EXPECT_STREQ(L"C:\\Office", r.ExpectedData);
    const RequiredKey& s = d.RequiredKeys[1];
    EXPECT_EQ(1, s.Index);
    EXPECT_STREQ(L"Software\\X", s.SubKey);
    EXPECT_EQ(0, s.TestValue);
    EXPECT_STREQ(L"", s.ValueName);
    EXPECT_STREQ(L"", s.ExpectedData);

    ASSERT_EQ(1u, d.ComponentList.size());
    const ComponentRecord& c0 = d.ComponentList[0];
    EXPECT_EQ(0, c0.Number);
    EXPECT_STREQ(L"InstallProgram", c0.LocName);
    EXPECT_STREQ(L"InstallProgram", c0.Properties);
    EXPECT_STREQ(L"", c0.EngName);
}

TEST_F(DescriptionTest, EveryOptionsKeyIsRequired) {
    for (const auto& option : DefaultOptions()) {
        Package pkg;
        pkg.DropOption(option.first);
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        EXPECT_EQ(0, LoadSetupDescription(d)) << option.first;
    }
}

TEST_F(DescriptionTest, AllNinePagePicturesAreRequired) {
    Package pkg;
    pkg.windowsKeys = 8;  // keys 0 to 7 only
    pkg.WriteDescription();
    pkg.Activate();
    SetupDescription d;
    EXPECT_EQ(0, LoadSetupDescription(d));
}

TEST_F(DescriptionTest, ProgramFilesIsReplacedEverywhereInDir) {
    std::wstring programFiles;
    ASSERT_EQ(1, QueryRegText(3, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", programFiles));
    if (programFiles.back() == L'\\') programFiles.pop_back();
    {
        Package pkg;
        pkg.SetOption("Dir", "\"%Program Files%\\A;%Program Files%\\B\\\"");
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        ASSERT_EQ(1, LoadSetupDescription(d));
        EXPECT_EQ(programFiles + L"\\A;" + programFiles + L"\\B\\", std::wstring(d.InstallFolder));
    }
    {
        Package pkg;
        pkg.SetOption("Dir", "\"D:\\Plain\\\"");
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        ASSERT_EQ(1, LoadSetupDescription(d));
        EXPECT_STREQ(L"D:\\Plain\\", d.InstallFolder);
    }
}

TEST_F(DescriptionTest, KeyWithoutCommaIsARootAlone) {
    Package pkg;
    pkg.SetOption("Key", "3");
    pkg.WriteDescription();
    pkg.Activate();
    SetupDescription d;
    ASSERT_EQ(1, LoadSetupDescription(d));
    EXPECT_EQ(3, d.KeyRoot);
    EXPECT_STREQ(L"", d.KeyPath);
}

TEST_F(DescriptionTest, OverlongOptionValuesAreCutOrRefused) {
    const std::string long300(300, 'n');
    {
        // Names that are only shown are cut to the field.
        Package pkg;
        pkg.SetOption("Name", long300);
        pkg.SetOption("NameUnInst", long300);
        pkg.SetOption("BackName", long300);
        pkg.extra = "[RequiredKeyRegistry]\r\n" + long300 + ",2,Software\\X\r\n";
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        ASSERT_EQ(1, LoadSetupDescription(d));
        EXPECT_EQ(std::wstring(259, L'n'), std::wstring(d.Name));
        EXPECT_EQ(std::wstring(259, L'n'), std::wstring(d.NameUnInst));
        EXPECT_EQ(std::wstring(259, L'n'), std::wstring(App().Caption));
        EXPECT_EQ(std::wstring(259, L'n'), std::wstring(d.BackName));
        ASSERT_EQ(1u, d.RequiredKeys.size());
        EXPECT_EQ(std::wstring(259, L'n'), std::wstring(d.RequiredKeys[0].AppName));
        // The neighbouring fields were not written over.
        EXPECT_STREQ(L"the test product", d.NameGen);
        EXPECT_STREQ(L"Tarnex.exe", d.SetNameUI);
        EXPECT_STREQ(L"Software\\X", d.RequiredKeys[0].SubKey);
    }
    // Texts that name a folder, file or key fail the load.
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"Dir", "\"C:\\" + long300 + "\""}, {"Key", "2," + long300}, {"SetNameUI", long300}};
    for (const auto& option : refused) {
        Package pkg;
        pkg.SetOption(option.first, option.second);
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        EXPECT_EQ(0, LoadSetupDescription(d)) << option.first;
    }
    {
        Package pkg;
        pkg.pictureName = std::string(126, 'p');  // with "8.bmp": 131 characters for a field of 130
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        EXPECT_EQ(0, LoadSetupDescription(d));
    }
    {
        Package pkg;
        pkg.extra = "[RequiredKeyRegistry]\r\nApp,2,Software\\X,1," + std::string(256, 'v') + ",0,0,\r\n";
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        EXPECT_EQ(0, LoadSetupDescription(d));
    }
    {
        // ValueName holds 255 characters: exactly that many is accepted.
        Package pkg;
        pkg.extra = "[RequiredKeyRegistry]\r\nApp,2,Software\\X,1," + std::string(255, 'v') + ",0,0,\r\n";
        pkg.WriteDescription();
        pkg.Activate();
        SetupDescription d;
        ASSERT_EQ(1, LoadSetupDescription(d));
        EXPECT_EQ(std::wstring(255, L'v'), std::wstring(d.RequiredKeys[0].ValueName));
    }
}

TEST_F(DescriptionTest, AMissingDescriptionFileShowsStringOne) {
    Package pkg;
    pkg.Activate();  // nothing written
    MessageRecorder boxes;
    SetupDescription d;
    EXPECT_EQ(0, LoadSetupDescription(d));
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(L"[1] " + pkg.Folder() + L"Tarnex.inf", boxes.Shown()[0].text);
}

const char kInstallerSections[] =
    "[InstallProgram - DefaultInstall]\r\nCopyFiles=InstFiles\r\nAddReg=InstReg\r\n\r\n"
    "[InstallProgram - DefaultUnInstall]\r\nDelFiles=UninstFiles\r\nDelReg=UninstReg\r\n\r\n"
    "[InstFiles]\r\nTarnex.exe\r\n\r\n[UninstFiles]\r\nTarnex.exe\r\nuninst.dat\r\n\r\n"
    "[InstReg]\r\n2,Software\\Inst,v,0,1\r\n\r\n[UninstReg]\r\n2,Software\\Uninst,v,0,1\r\n2,Software\\Uninst2,v,0,1\r\n\r\n"
    "[SourceDisksFiles]\r\nTarnex.exe=1,1000,2001-02-03,04:05:06,1.0\r\nuninst.dat=1,10,2001-02-03,04:05:06,\r\n\r\n"
    "[DestinationDirs]\r\nInstFiles=\"%65600%\\\"\r\nUninstFiles=\"%65600%\\\"\r\n\r\n";

TEST_F(DescriptionTest, InstallerSectionsFollowTheRunMode) {
    Package pkg;
    pkg.extra = kInstallerSections;
    pkg.WriteDescription();
    for (DWORD mode : {AS_INST, AS_DEL, AS_SD}) {
        pkg.Activate(mode);
        SetupDescription d;
        ASSERT_EQ(1, LoadSetupDescription(d)) << mode;
        const ComponentRecord& c0 = d.ComponentList.at(0);
        if (mode == AS_INST) {
            EXPECT_EQ(1u, c0.Files.size());
            ASSERT_EQ(1u, c0.RegistryEntries.size());
            EXPECT_STREQ(L"Software\\Inst", c0.RegistryEntries[0].SubKey);
        } else {
            EXPECT_EQ(2u, c0.Files.size()) << mode;
            ASSERT_EQ(2u, c0.RegistryEntries.size());
            EXPECT_STREQ(L"Software\\Uninst", c0.RegistryEntries[0].SubKey);
        }
        ASSERT_FALSE(d.FileList.empty());
        EXPECT_STREQ(L"Tarnex.exe", d.FileOf(c0.Files[0]).TargetName);
        EXPECT_STREQ(L"%65600%\\", d.FileOf(c0.Files[0]).TargetFolder);
    }
}

TEST_F(DescriptionTest, IsPresentTestsKeyValueAndData) {
    const std::wstring key = L"Software\\TarnexDescriptionTest\\Required";
    ASSERT_EQ(1, SetRegText(2, key, L"Path", L"C:\\Office"));
    const DWORD number = 5;
    ASSERT_EQ(1, SetRegValue(2, key, L"Number", &number, 4, REG_DWORD));

    auto make = [&](int testValue, const wchar_t* name, int compare, int type, const wchar_t* expected) {
        RequiredKey r;
        r.Root = 2;
        vrel::CopyToField(r.SubKey, std::wstring_view(key));
        r.TestValue = testValue;
        vrel::CopyToField(r.ValueName, std::wstring_view(name));
        r.CompareData = compare;
        r.ValueType = type;
        vrel::CopyToField(r.ExpectedData, std::wstring_view(expected));
        return r;
    };
    EXPECT_EQ(1, IsPresent(make(0, L"Nothing", 0, 0, L"")));   // the key alone
    EXPECT_EQ(1, IsPresent(make(1, L"Path", 0, 0, L"other")));  // value with its type, any data
    EXPECT_EQ(0, IsPresent(make(1, L"Path", 0, 2, L"")));       // another type
    EXPECT_EQ(0, IsPresent(make(1, L"Missing", 0, 0, L"")));
    EXPECT_EQ(1, IsPresent(make(1, L"Path", 1, 0, L"C:\\Office")));
    EXPECT_EQ(0, IsPresent(make(1, L"Path", 1, 0, L"c:\\office")));  // case-sensitive
    EXPECT_EQ(1, IsPresent(make(1, L"Number", 0, 2, L"")));
    EXPECT_EQ(0, IsPresent(make(1, L"Number", 0, 7, L"")));  // unknown type index: REG_NONE
    RequiredKey missing = make(0, L"", 0, 0, L"");
    vrel::CopyToField(missing.SubKey, std::wstring_view(L"Software\\TarnexDescriptionTest\\Nope"));
    EXPECT_EQ(0, IsPresent(missing));
    RequiredKey badRoot = make(0, L"", 0, 0, L"");
    badRoot.Root = 9;
    EXPECT_EQ(0, IsPresent(badRoot));
}

// ---- component catalogue ---------------------------------------------------

class CatalogueTest : public DescriptionTest {
protected:
    // Writes the description listing the given INF files and loads it.
    SetupDescription Load(const std::vector<std::wstring>& infs, DWORD mode = AS_INST,
                          const std::string& extra = "") {
        std::string components = "[COMPONENTS]\r\n";
        for (const std::wstring& inf : infs) components += vrel::ToNarrow(inf) + "," + vrel::ToNarrow(inf) + ".cab\r\n";
        pkg.extra = (infs.empty() ? std::string() : components + "\r\n") + extra;
        pkg.WriteDescription();
        pkg.Activate(mode);
        SetupDescription d;
        EXPECT_EQ(1, LoadSetupDescription(d));
        return d;
    }
    Package pkg;
};

TEST_F(CatalogueTest, NumbersGrowAcrossFilesWhateverTheLocalNumbers) {
    pkg.WriteInf(L"a.inf", Catalogue({{"Alpha", "7"}, {"Beta", "3", "7"}}));
    pkg.WriteInf(L"b.inf", Catalogue({{"Gamma", "1"}, {"Delta", "2", "1,2"}}));
    SetupDescription d = Load({L"a.inf", L"b.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    ASSERT_EQ(5u, d.ComponentList.size());
    const wchar_t* names[] = {L"", L"Alpha", L"Beta", L"Gamma", L"Delta"};
    for (std::int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(i, d.ComponentList[static_cast<std::size_t>(i)].Number);
        EXPECT_STREQ(names[i], d.ComponentList[static_cast<std::size_t>(i)].EngName);
    }
    EXPECT_EQ((std::vector<std::int32_t>{1, 2}), d.InfFiles[1].Numbers);
    EXPECT_EQ((std::vector<std::int32_t>{3, 4}), d.InfFiles[2].Numbers);
    // Local numbers resolve within their own file only.
    EXPECT_EQ(std::vector<std::int32_t>{1}, d.ComponentList[2].Dependencies);
    EXPECT_EQ((std::vector<std::int32_t>{3, 4}), d.ComponentList[4].Dependencies);

    const ComponentRecord& alpha = d.ComponentList[1];
    EXPECT_STREQ(L"Name of Alpha", alpha.LocName);
    EXPECT_STREQ(L"About Alpha", alpha.Properties);
    EXPECT_STREQ(L"1.0", alpha.Version);
    EXPECT_STREQ(L"%65600%\\Alpha\\", alpha.InstallPath);
    EXPECT_EQ(2, alpha.State);
    EXPECT_EQ(0, alpha.Installed);
    EXPECT_EQ(0, alpha.Selected);
}

// A Russian author writes the user INF files in code page 1251. The setup
// API reads them in the system's ANSI code page: on a Russian Windows the
// names come back as written; on an English one (CTest runs this case once
// more with an English system) the same bytes read as Latin-1 letters.
TEST_F(CatalogueTest, RussianTextsReadInTheSystemCodePage) {
    const std::wstring name = L"Основные файлы", about = L"Библиотеки и справка";
    auto in1251 = [](const std::wstring& text) {
        std::string bytes(text.size() * 2, '\0');
        const int n = ::WideCharToMultiByte(1251, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0],
                                            static_cast<int>(bytes.size()), nullptr, nullptr);
        bytes.resize(static_cast<std::size_t>(n));
        return bytes;
    };
    std::string inf = Catalogue({{"Core", "1"}});
    inf.replace(inf.find("Name of Core"), 12, in1251(name));
    inf.replace(inf.find("About Core"), 10, in1251(about));
    pkg.WriteInf(L"ru.inf", inf);
    SetupDescription d = Load({L"ru.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    ASSERT_EQ(2u, d.ComponentList.size());
    const ComponentRecord& core = d.ComponentList[1];
    if (::GetACP() == 1251) {
        EXPECT_STREQ(name.c_str(), core.LocName);
        EXPECT_STREQ(about.c_str(), core.Properties);
    } else {
        const std::string bytes = in1251(name);
        std::wstring seen(bytes.size(), L'\0');
        seen.resize(static_cast<std::size_t>(::MultiByteToWideChar(
            CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &seen[0], static_cast<int>(seen.size()))));
        EXPECT_STREQ(seen.c_str(), core.LocName);
        EXPECT_STRNE(name.c_str(), core.LocName);
        std::printf("[ NOTE     ] on a system with ANSI code page %u a Russian author's names read as \"%s\"\n",
                    ::GetACP(), vrel::ToNarrow(core.LocName, CP_UTF8).c_str());
    }
}

// The same names in a UTF-16 INF file (Notepad's "Unicode") read exactly on
// every system.
TEST_F(CatalogueTest, RussianTextsOfUnicodeFilesReadTheSameOnEverySystem) {
    std::string inf = Catalogue({{"Core", "1"}});
    inf.replace(inf.find("Name of Core"), 12, "Основные файлы");
    inf.replace(inf.find("About Core"), 10, "Библиотеки и справка \xD3\x99");
    pkg.utf16 = true;
    pkg.WriteInf(L"ru.inf", inf);
    SetupDescription d = Load({L"ru.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    ASSERT_EQ(2u, d.ComponentList.size());
    EXPECT_STREQ(L"Основные файлы", d.ComponentList[1].LocName);
    EXPECT_STREQ(L"Библиотеки и справка \x04D9", d.ComponentList[1].Properties);
}

TEST_F(CatalogueTest, DependenciesResolveOnlyToEarlierOrOwnLines) {
    pkg.WriteInf(L"d.inf", Catalogue({{"Top", "1", "0"},
                                      {"Twice", "2", "0,0"},
                                      {"Self", "3", "3"},
                                      {"Forward", "4", "5"},
                                      {"Later", "5", "1"},
                                      {"Gap", "6", "1,,2"},
                                      {"None", "7", ""},
                                      {"Unknown", "8", "99,1"}}));
    SetupDescription d = Load({L"d.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    ASSERT_EQ(9u, d.ComponentList.size());
    auto deps = [&](std::size_t i) { return d.ComponentList[i].Dependencies; };
    EXPECT_EQ(std::vector<std::int32_t>{0}, deps(1));
    EXPECT_EQ((std::vector<std::int32_t>{0, 0}), deps(2));
    EXPECT_EQ(std::vector<std::int32_t>{3}, deps(3));   // its own Number
    EXPECT_EQ(std::vector<std::int32_t>{-1}, deps(4));  // defined only by a later line
    EXPECT_EQ(std::vector<std::int32_t>{1}, deps(5));
    EXPECT_EQ(std::vector<std::int32_t>{1}, deps(6));   // the empty field ends the list
    EXPECT_TRUE(deps(7).empty());
    EXPECT_EQ((std::vector<std::int32_t>{-1, 1}), deps(8));
}

TEST_F(CatalogueTest, ComplexStatesAndVersions) {
    Comp lower{"Lower", "1"};
    lower.complex = "yes";
    Comp exact{"Exact", "2"};
    exact.complex = "Yes";
    exact.state = "261";  // kept in 8 bits
    pkg.WriteInf(L"c.inf", Catalogue({lower, exact}));
    SetupDescription d = Load({L"c.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    EXPECT_EQ(0, d.ComponentList[1].Complex);
    EXPECT_EQ(1, d.ComponentList[2].Complex);
    EXPECT_EQ(5, d.ComponentList[2].State);
}

TEST_F(CatalogueTest, AFileWithoutEngNamesAddsNothingAndTheNextIsRead) {
    pkg.WriteInf(L"empty.inf", "[Other]\r\nx\r\n");
    pkg.WriteInf(L"blank.inf", "[EngNames]\r\n\r\n");
    pkg.WriteInf(L"real.inf", Catalogue({{"Real", "1"}}));
    SetupDescription d = Load({L"empty.inf", L"blank.inf", L"real.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    ASSERT_EQ(2u, d.ComponentList.size());
    EXPECT_STREQ(L"Real", d.ComponentList[1].EngName);
    EXPECT_EQ(1, d.ComponentList[1].Number);
    EXPECT_TRUE(d.InfFiles[1].Numbers.empty());
    EXPECT_EQ(std::vector<std::int32_t>{1}, d.InfFiles[3].Numbers);
}

TEST_F(CatalogueTest, APackageWithoutComponentsHoldsTheInstallerOnly) {
    SetupDescription d = Load({});
    EXPECT_EQ(1u, d.InfFiles.size());
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    EXPECT_EQ(1u, d.ComponentList.size());
}

TEST_F(CatalogueTest, EveryCatalogueKeyIsRequired) {
    for (const char* section :
         {"NUMBERS", "LocNames", "PROPERTIES", "CompVersions", "InstPaths", "COMPLEXES", "DEPENDENCES", "STATES"}) {
        pkg.WriteInf(L"first.inf", Catalogue({{"Good", "1"}}));
        pkg.WriteInf(L"second.inf", Catalogue({{"Broken", "1"}}, section));
        SetupDescription d = Load({L"first.inf", L"second.inf"});
        EXPECT_EQ(0, LoadComponentCatalogue(d)) << section;
        // Components appended before stay in the list.
        ASSERT_EQ(2u, d.ComponentList.size()) << section;
        EXPECT_STREQ(L"Good", d.ComponentList[1].EngName);
    }
}

TEST_F(CatalogueTest, AnInfFileThatCannotBeOpenedFailsWithStringOne) {
    MessageRecorder boxes;
    SetupDescription d = Load({L"absent.inf"});
    EXPECT_EQ(0, LoadComponentCatalogue(d));
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(L"[1] " + pkg.Folder() + L"absent.inf", boxes.Shown()[0].text);
}

// UTF-16 INF files carry their names to the setup API and back exactly, on
// every system (CTest runs this case on an English system too), in a folder
// whose name has a letter outside 1251 and 1252.
TEST_F(CatalogueTest, CyrillicFolderAndFileNamesReachTheSetupApi) {
    Package cyrillic(L"Пакет \x04D9");
    cyrillic.utf16 = true;
    std::string catalogue = Catalogue({{"Alpha", "1"}});
    catalogue.replace(catalogue.find("Name of Alpha"), 13, "Основные файлы");
    cyrillic.WriteInf(L"Компоненты.inf", catalogue);
    cyrillic.extra = "[COMPONENTS]\r\nКомпоненты.inf,Архив.cab\r\n\r\n";
    cyrillic.SetOption("Name", "\"Продукт \xD3\x99\"");
    cyrillic.WriteDescription();
    cyrillic.Activate();
    SetupDescription d;
    ASSERT_EQ(1, LoadSetupDescription(d));
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    EXPECT_STREQ(L"Продукт \x04D9", d.Name);
    ASSERT_EQ(2u, d.InfFiles.size());
    EXPECT_EQ(cyrillic.Folder() + L"Компоненты.inf", d.InfFiles[1].InfPath);
    EXPECT_EQ(cyrillic.Folder() + L"Архив.cab", d.InfFiles[1].CabinetPath);
    ASSERT_EQ(2u, d.ComponentList.size());
    EXPECT_STREQ(L"Alpha", d.ComponentList[1].EngName);
    EXPECT_STREQ(L"Основные файлы", d.ComponentList[1].LocName);
}

TEST_F(CatalogueTest, DuplicateEngNamesKeepTheFirstComponent) {
    pkg.WriteInf(L"a.inf", Catalogue({{"Same", "1"}, {"Other", "2"}}) + "[EngNames]\r\nSame\r\n");
    pkg.WriteInf(L"b.inf", Catalogue({{"SAME", "1"}, {"Third", "2", "1"}}));
    SetupDescription d = Load({L"a.inf", L"b.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    ASSERT_EQ(4u, d.ComponentList.size());
    EXPECT_STREQ(L"Same", d.ComponentList[1].EngName);
    EXPECT_STREQ(L"Other", d.ComponentList[2].EngName);
    EXPECT_STREQ(L"Third", d.ComponentList[3].EngName);
    EXPECT_EQ(3, d.ComponentList[3].Number);
    // The skipped component defined no local number in its file.
    EXPECT_EQ(std::vector<std::int32_t>{-1}, d.ComponentList[3].Dependencies);
}

TEST_F(CatalogueTest, OverlongCatalogueValues) {
    Comp shown{"Shown", "1"};
    pkg.WriteInf(L"long.inf", Catalogue({shown}));
    // LocName and Properties are only shown: cut.
    std::string text = Catalogue({shown});
    const std::string longLoc = "Shown=" + std::string(300, 'L');
    text.replace(text.find("Shown=Name of Shown"), std::string("Shown=Name of Shown").size(), longLoc);
    const std::string longProps = "Shown=" + std::string(600, 'P');
    text.replace(text.find("Shown=About Shown"), std::string("Shown=About Shown").size(), longProps);
    pkg.WriteInf(L"long.inf", text);
    {
        SetupDescription d = Load({L"long.inf"});
        ASSERT_EQ(1, LoadComponentCatalogue(d));
        EXPECT_EQ(std::wstring(254, L'L'), std::wstring(d.ComponentList[1].LocName));
        EXPECT_EQ(std::wstring(499, L'P'), std::wstring(d.ComponentList[1].Properties));
        EXPECT_STREQ(L"1.0", d.ComponentList[1].Version);
    }
    // Version keys the installed record: too long fails the load.
    Comp version{"Versioned", "1"};
    version.version = std::string(30, '9');
    pkg.WriteInf(L"version.inf", Catalogue({version}));
    {
        SetupDescription d = Load({L"version.inf"});
        EXPECT_EQ(0, LoadComponentCatalogue(d));
    }
    version.version = std::string(29, '9');
    pkg.WriteInf(L"version.inf", Catalogue({version}));
    {
        SetupDescription d = Load({L"version.inf"});
        EXPECT_EQ(1, LoadComponentCatalogue(d));
    }
}

const char kUserSections[] =
    "[Alpha - DefaultInstall]\r\nAddReg=AlphaInstReg\r\n\r\n"
    "[Alpha - DefaultUnInstall]\r\nDelReg=AlphaUninstReg\r\n\r\n"
    "[AlphaInstReg]\r\n2,Software\\AlphaInst,v,0,1\r\n\r\n"
    "[AlphaUninstReg]\r\n2,Software\\AlphaUninst,v,0,1\r\n\r\n";

TEST_F(CatalogueTest, RemovalModesReadTheUninstallSections) {
    pkg.WriteInf(L"a.inf", Catalogue({{"Alpha", "1"}}) + kUserSections);
    for (DWORD mode : {AS_INST, AS_DEL, AS_SD}) {
        SetupDescription d = Load({L"a.inf"}, mode);
        ASSERT_EQ(1, LoadComponentCatalogue(d));
        ASSERT_EQ(1u, d.ComponentList[1].RegistryEntries.size());
        EXPECT_STREQ(mode == AS_INST ? L"Software\\AlphaInst" : L"Software\\AlphaUninst",
                     d.ComponentList[1].RegistryEntries[0].SubKey)
            << mode;
    }
}

// ---- install sections ------------------------------------------------------

class SectionTest : public CatalogueTest {};

const char kFileSections[] =
    "[SourceDisksFiles]\r\n"
    "shared.dll=1,4096,2003-07-15,05:30:07p,5.1.2600,extra\r\n"
    "noon.txt=1,10,2003-07-15,12:10:00p,\r\n"
    "midnight.txt=1,10,2003-07-15,12:10:00a,\r\n"
    "morning.txt=1,10,2003-07-15,05:30:07,1.0\r\n"
    "sys.dll=1,20,1999-12-31,23:59:58,2.0\r\n"
    "big.bin=1,4000000000,2000-01-01,00:00:00,\r\n"
    "b.txt=1,1,2000-01-01,00:00:00,\r\n"
    "\r\n[DestinationDirs]\r\n"
    "AFiles=\"%65600%\\\"\r\nBFiles=\"%65600%\\\"\r\nOtherDir=\"%65600%\\sub\\\"\r\nSysFiles=11\r\nBSection=\"%65600%\\\"\r\n\r\n";

TEST_F(SectionTest, FilesAreSharedByNameAndFolder) {
    pkg.WriteInf(L"f.inf", Catalogue({{"Alpha", "1"}, {"Beta", "2"}}) + kFileSections +
                               "[Alpha - DefaultInstall]\r\nCopyFiles=AFiles,,BSection\r\n\r\n"
                               "[Beta - DefaultInstall]\r\nCopyFiles=BFiles,OtherDir,SysFiles\r\n\r\n"
                               "[AFiles]\r\nshared.dll,renamed.dll,1\r\nmissing.dll\r\nshared.dll\r\n\r\n"
                               "[BSection]\r\nb.txt\r\n\r\n"
                               "[BFiles]\r\nshared.dll,other.dll,3\r\nnoon.txt\r\nmidnight.txt\r\nmorning.txt\r\nbig.bin\r\n\r\n"
                               "[OtherDir]\r\nshared.dll\r\n\r\n"
                               "[SysFiles]\r\nsys.dll\r\n\r\n");
    SetupDescription d = Load({L"f.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    const ComponentRecord& alpha = d.ComponentList[1];
    const ComponentRecord& beta = d.ComponentList[2];

    // Alpha: BSection comes after the empty name and is not read; the
    // missing SourceDisksFiles entry is skipped; the repeated line adds no
    // second reference.
    ASSERT_EQ(1u, alpha.Files.size());
    const FileRecord& shared = d.FileOf(alpha.Files[0]);
    EXPECT_EQ(0, shared.Number);
    EXPECT_STREQ(L"shared.dll", shared.SourceName);
    EXPECT_STREQ(L"renamed.dll", shared.TargetName);
    EXPECT_EQ(1, shared.FileFlags);
    EXPECT_STREQ(L"%65600%\\", shared.TargetFolder);
    EXPECT_EQ(4096u, shared.Size);
    EXPECT_EQ(2003, shared.Time.Year);
    EXPECT_EQ(7, shared.Time.Month);
    EXPECT_EQ(15, shared.Time.Day);
    EXPECT_EQ(17, shared.Time.Hour);
    EXPECT_EQ(30, shared.Time.Minute);
    EXPECT_EQ(7, shared.Time.Second);
    EXPECT_EQ(0, shared.Time.DayOfWeek);
    EXPECT_STREQ(L"5.1.2600,extra", shared.FileVersion);

    // Beta: the same file and folder is the same record, the first line's
    // fields kept; another folder gives another record.
    ASSERT_EQ(7u, beta.Files.size());
    EXPECT_EQ(alpha.Files[0], beta.Files[0]);
    EXPECT_STREQ(L"renamed.dll", d.FileOf(beta.Files[0]).TargetName);
    const FileRecord& noon = d.FileOf(beta.Files[1]);
    EXPECT_STREQ(L"noon.txt", noon.TargetName);  // one field: own name, flags 0
    EXPECT_EQ(0, noon.FileFlags);
    EXPECT_EQ(12, noon.Time.Hour);
    EXPECT_EQ(12, d.FileOf(beta.Files[2]).Time.Hour);
    EXPECT_EQ(5, d.FileOf(beta.Files[3]).Time.Hour);
    EXPECT_EQ(4000000000u, d.FileOf(beta.Files[4]).Size);
    const FileRecord& other = d.FileOf(beta.Files[5]);
    EXPECT_STREQ(L"shared.dll", other.SourceName);
    EXPECT_STREQ(L"%65600%\\sub\\", other.TargetFolder);
    EXPECT_NE(alpha.Files[0], beta.Files[5]);
    const FileRecord& sys = d.FileOf(beta.Files[6]);
    EXPECT_EQ(std::wstring(App().SystemFolder), std::wstring(sys.TargetFolder));
    EXPECT_EQ(L'\\', sys.TargetFolder[wcslen(sys.TargetFolder) - 1]);

    // Numbers follow FileList order.
    for (std::size_t i = 0; i < d.FileList.size(); ++i) EXPECT_EQ(static_cast<std::int32_t>(i), d.FileList[i].Number);
    EXPECT_EQ(7u, d.FileList.size());
}

TEST_F(SectionTest, FileReferencesStayValidAsTheListGrows) {
    std::string disks = "[SourceDisksFiles]\r\n", lines = "[Many]\r\n";
    for (int i = 0; i < 300; ++i) {
        disks += "f" + std::to_string(i) + ".txt=1,1,2000-01-01,00:00:00,\r\n";
        lines += "f" + std::to_string(i) + ".txt\r\n";
    }
    pkg.WriteInf(L"m.inf", Catalogue({{"Alpha", "1"}, {"Beta", "2"}}) + disks + "\r\n" + lines +
                               "\r\n[DestinationDirs]\r\nMany=\"C:\\Target\\\"\r\n\r\n"
                               "[Alpha - DefaultInstall]\r\nCopyFiles=Many\r\n\r\n"
                               "[Beta - DefaultInstall]\r\nDelFiles=Many\r\n\r\n");
    SetupDescription d = Load({L"m.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    EXPECT_EQ(300u, d.FileList.size());
    EXPECT_EQ(d.ComponentList[1].Files, d.ComponentList[2].Files);
    EXPECT_STREQ(L"f299.txt", d.FileOf(d.ComponentList[1].Files[299]).SourceName);
}

TEST_F(SectionTest, ASectionWithoutDestinationIsSkipped) {
    pkg.WriteInf(L"n.inf", Catalogue({{"Alpha", "1"}}) + kFileSections +
                               "[Alpha - DefaultInstall]\r\nCopyFiles=NoDest,AFiles\r\n\r\n"
                               "[NoDest]\r\nb.txt\r\n\r\n[AFiles]\r\nmorning.txt\r\n\r\n");
    SetupDescription d = Load({L"n.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    ASSERT_EQ(1u, d.ComponentList[1].Files.size());
    EXPECT_STREQ(L"morning.txt", d.FileOf(d.ComponentList[1].Files[0]).SourceName);
}

TEST_F(SectionTest, RecordLinesOfEveryOtherKind) {
    pkg.WriteInf(L"r.inf",
                 Catalogue({{"Alpha", "1"}}) +
                     "[Alpha - DefaultInstall]\r\nAddReg=Reg\r\nDelReg=Reg2\r\nEnvVars=Env\r\nLinks=Lnk\r\n"
                     "EXEBefore=Pre\r\nEXEAfter=Post\r\nDLLBefore=DllB\r\nDLLAfter=DllA\r\n\r\n"
                     "[Reg]\r\n3,Software\\Vendor\\App,Size,2,1024,ignored\r\n2,Software\\Short\r\n\r\n"
                     "[Reg2]\r\n1,CLSID\\{X},,0,text\r\n\r\n"
                     "[Env]\r\nPATH,1,0,%65600%\\bin,C:\\x,C:\\y\r\n\r\n"
                     "[Lnk]\r\nCSIDL_PROGRAMS\\Vendor,App,%65600%\\app.exe,%65600%,-a,-b\r\n\r\n"
                     "[Pre]\r\ncheck.exe /q,check.exe,1,1,1,0,Check failed,ignored\r\n\r\n"
                     "[Post]\r\nC:\\post.exe,post.exe\r\n\r\n"
                     "[DllB]\r\n%65600%\\a.dll,a.dll,5\r\n\r\n[DllA]\r\nb.dll\r\n\r\n");
    SetupDescription d = Load({L"r.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    const ComponentRecord& c = d.ComponentList[1];

    ASSERT_EQ(3u, c.RegistryEntries.size());
    const RegistryEntry& r = c.RegistryEntries[0];
    EXPECT_EQ(0, r.Index);
    EXPECT_EQ(3, r.Root);
    EXPECT_STREQ(L"Software\\Vendor\\App", r.SubKey);
    EXPECT_STREQ(L"Size", r.ValueName);
    EXPECT_EQ(2, r.ValueType);
    EXPECT_STREQ(L"1024", r.Data);  // the sixth field is dropped
    EXPECT_EQ(1, c.RegistryEntries[1].Index);
    EXPECT_STREQ(L"", c.RegistryEntries[1].ValueName);
    EXPECT_EQ(0, c.RegistryEntries[1].ValueType);
    EXPECT_EQ(2, c.RegistryEntries[2].Index);  // DelReg appends to the same list
    EXPECT_STREQ(L"CLSID\\{X}", c.RegistryEntries[2].SubKey);

    ASSERT_EQ(1u, c.EnvVars.size());
    EXPECT_STREQ(L"PATH", c.EnvVars[0].Name);
    EXPECT_EQ(1, c.EnvVars[0].System);
    EXPECT_EQ(0, c.EnvVars[0].Replace);
    EXPECT_STREQ(L"%65600%\\bin,C:\\x,C:\\y", c.EnvVars[0].Value);

    ASSERT_EQ(1u, c.Links.size());
    EXPECT_STREQ(L"CSIDL_PROGRAMS\\Vendor", c.Links[0].Folder);
    EXPECT_STREQ(L"App", c.Links[0].LinkName);
    EXPECT_STREQ(L"%65600%\\app.exe", c.Links[0].Target);
    EXPECT_STREQ(L"%65600%", c.Links[0].WorkingFolder);
    EXPECT_STREQ(L"-a,-b", c.Links[0].Arguments);

    ASSERT_EQ(2u, c.Launches.size());
    const LaunchEntry& pre = c.Launches[0];
    EXPECT_STREQ(L"check.exe /q", pre.CommandLine);
    EXPECT_STREQ(L"check.exe", pre.FileName);
    EXPECT_EQ(1, pre.FromPackage);
    EXPECT_EQ(1, pre.Wait);
    EXPECT_EQ(1, pre.UseExitCode);
    EXPECT_EQ(0, pre.Show);
    EXPECT_EQ(1, pre.Before);
    EXPECT_STREQ(L"Check failed", pre.Message);
    EXPECT_EQ(1, c.Launches[1].Index);
    EXPECT_EQ(0, c.Launches[1].Before);
    EXPECT_EQ(0, c.Launches[1].Wait);
    EXPECT_STREQ(L"", c.Launches[1].Message);

    ASSERT_EQ(2u, c.Dlls.size());
    EXPECT_STREQ(L"%65600%\\a.dll", c.Dlls[0].Path);
    EXPECT_STREQ(L"a.dll", c.Dlls[0].Name);
    EXPECT_EQ(5, c.Dlls[0].Value);
    EXPECT_EQ(1, c.Dlls[0].Before);
    EXPECT_EQ(0, c.Dlls[1].Before);
    EXPECT_EQ(1, c.Dlls[1].Index);
}

TEST_F(SectionTest, LinesWithOverlongFieldsAreSkippedNotCut) {
    const std::string longKey(300, 'k');
    const std::string longMessage(300, 'm');
    pkg.WriteInf(L"o.inf", Catalogue({{"Alpha", "1"}}) + kFileSections +
                               "[Alpha - DefaultInstall]\r\nAddReg=Reg\r\nEXEAfter=Post\r\nCopyFiles=AFiles\r\n\r\n"
                               "[Reg]\r\n2,Software\\" + longKey + ",v,0,1\r\n2,Software\\Fits,v,0,1\r\n\r\n"
                               "[Post]\r\nC:\\post.exe,post.exe,0,0,0,0," + longMessage + "\r\n\r\n"
                               "[AFiles]\r\nshared.dll," + std::string(256, 't') + "\r\nb.txt," +
                               std::string(255, 't') + "\r\n\r\n");
    SetupDescription d = Load({L"o.inf"});
    ASSERT_EQ(1, LoadComponentCatalogue(d));
    const ComponentRecord& c = d.ComponentList[1];
    ASSERT_EQ(1u, c.RegistryEntries.size());
    EXPECT_STREQ(L"Software\\Fits", c.RegistryEntries[0].SubKey);
    EXPECT_EQ(0, c.RegistryEntries[0].Index);
    ASSERT_EQ(1u, c.Launches.size());
    EXPECT_EQ(std::wstring(259, L'm'), std::wstring(c.Launches[0].Message));  // shown only: cut
    ASSERT_EQ(1u, c.Files.size());
    EXPECT_EQ(std::wstring(255, L't'), std::wstring(d.FileOf(c.Files[0]).TargetName));
}

// ---- helper programs -------------------------------------------------------

std::wstring ProbePath() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.rfind(L'\\') + 1) + L"launch_probe.exe";
}

class LaunchTest : public DescriptionTest {
protected:
    void SetUp() override {
        DescriptionTest::SetUp();
        pkg.Activate();
        tools = pkg.Folder() + L"tools\\";
        ::CreateDirectoryW(tools.c_str(), nullptr);
        ASSERT_TRUE(::CopyFileW(ProbePath().c_str(), (tools + L"probe.exe").c_str(), FALSE));
        report = pkg.Folder() + L"report.txt";
    }
    LaunchEntry Entry(const std::wstring& commandLine, const std::wstring& fileName, int fromPackage, int wait,
                      int useExitCode) {
        LaunchEntry e;
        vrel::CopyToField(e.CommandLine, std::wstring_view(commandLine));
        vrel::CopyToField(e.FileName, std::wstring_view(fileName));
        e.FromPackage = fromPackage;
        e.Wait = wait;
        e.UseExitCode = useExitCode;
        return e;
    }
    Package pkg;
    std::wstring tools, report;
};

TEST_F(LaunchTest, FromPackageRunsInThePackageFolder) {
    const std::wstring relative = L"tools\\probe.exe " + report + L" 1";
    LaunchEntry e = Entry(relative, L"probe.exe", 1, 1, 1);
    EXPECT_EQ(1u, RunLaunchEntry(e));
    EXPECT_EQ(pkg.Folder(), test::ReadUtf16(report) + L"\\");
    // The record keeps the full command line, and a second run does not
    // prefix it again.
    EXPECT_EQ(pkg.Folder() + relative, std::wstring(e.CommandLine));
    ::DeleteFileW(report.c_str());
    EXPECT_EQ(1u, RunLaunchEntry(e));
    EXPECT_EQ(pkg.Folder() + relative, std::wstring(e.CommandLine));
    EXPECT_TRUE(test::Exists(report));
}

TEST_F(LaunchTest, OtherwiseTheProgramsOwnFolderIsTheWorkingFolder) {
    LaunchEntry quoted = Entry(L"\"" + tools + L"probe.exe\" " + report + L" 2", L"probe.exe", 0, 1, 1);
    EXPECT_EQ(2u, RunLaunchEntry(quoted));
    EXPECT_EQ(tools, test::ReadUtf16(report) + L"\\");
    EXPECT_EQ(L"\"" + tools + L"probe.exe\" " + report + L" 2", std::wstring(quoted.CommandLine));

    // The name not in the command line: the program still runs, in the
    // installer's current folder.
    LaunchEntry unnamed = Entry(tools + L"probe.exe " + report + L" 3", L"other.exe", 0, 1, 1);
    EXPECT_EQ(3u, RunLaunchEntry(unnamed));
}

TEST_F(LaunchTest, ExitCodesAndWaiting) {
    LaunchEntry ignored = Entry(tools + L"probe.exe " + report + L" 1", L"probe.exe", 0, 1, 0);
    EXPECT_EQ(0u, RunLaunchEntry(ignored));  // UseExitCode clear

    // Not waiting: the program still runs, and its code is STILL_ACTIVE.
    LaunchEntry running = Entry(tools + L"probe.exe " + report + L" 1 3000", L"probe.exe", 0, 0, 1);
    const DWORD code = RunLaunchEntry(running);
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_NE(kLaunchStopInstall, code);
    EXPECT_NE(kLaunchNeedsRestart, code);

    LaunchEntry missing = Entry(tools + L"nothere.exe", L"nothere.exe", 0, 1, 1);
    EXPECT_EQ(0u, RunLaunchEntry(missing));
}

TEST_F(LaunchTest, TheProgramIsStartedByItsFullPathNeverFoundByASearch) {
    // An unquoted path with a blank: a search would start My.exe with
    // "Tools\probe.exe" as its first argument (the decoy then exits with 0).
    const std::wstring spaced = pkg.Folder() + L"My Tools\\";
    ASSERT_TRUE(::CreateDirectoryW(spaced.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(ProbePath().c_str(), (spaced + L"probe.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(ProbePath().c_str(), (pkg.Folder() + L"My.exe").c_str(), FALSE));
    LaunchEntry unquoted = Entry(spaced + L"probe.exe " + report + L" 4", L"probe.exe", 0, 1, 1);
    EXPECT_EQ(4u, RunLaunchEntry(unquoted));
    EXPECT_EQ(spaced, test::ReadUtf16(report) + L"\\");
    LaunchEntry fromPackage = Entry(L"My Tools\\probe.exe " + report + L" 5", L"probe.exe", 1, 1, 1);
    EXPECT_EQ(5u, RunLaunchEntry(fromPackage));

    // A bare name is the system folder's program, wherever the installer runs.
    ASSERT_TRUE(::CopyFileW(ProbePath().c_str(), (pkg.Folder() + L"cmd.exe").c_str(), FALSE));
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ::SetCurrentDirectoryW(pkg.Folder().c_str());
    LaunchEntry bare = Entry(L"cmd.exe /c exit 6", L"cmd.exe", 0, 1, 1);
    EXPECT_EQ(6u, RunLaunchEntry(bare));
    ::SetCurrentDirectoryW(current);

    // A relative folder cannot be told from a search: nothing starts.
    ::DeleteFileW(report.c_str());
    LaunchEntry relative = Entry(L"tools\\probe.exe " + report + L" 7", L"probe.exe", 0, 1, 1);
    EXPECT_EQ(0u, RunLaunchEntry(relative));
    EXPECT_FALSE(test::Exists(report));
}

// ---- installed record ------------------------------------------------------

class InstalledRecordTest : public DescriptionTest {
protected:
    SetupDescription Package(const wchar_t* keyPath) {
        SetupDescription d;
        d.KeyRoot = 2;
        vrel::CopyToField(d.KeyPath, std::wstring_view(keyPath));
        ComponentRecord installer;
        installer.Number = 0;
        d.ComponentList.push_back(installer);
        auto add = [&](std::int32_t number, const wchar_t* eng, const wchar_t* version) {
            ComponentRecord c;
            c.Number = number;
            vrel::CopyToField(c.EngName, std::wstring_view(eng));
            vrel::CopyToField(c.Version, std::wstring_view(version));
            d.ComponentList.push_back(c);
        };
        add(1, L"Reports", L"2.1");
        add(2, L"Viewer", L"1.0");
        add(3, L"Tools", L"3.0");
        return d;
    }
    const std::wstring base = L"Software\\TarnexDescriptionTest\\Package";
};

TEST_F(InstalledRecordTest, AComponentIsInstalledWhenItsVersionKeyHasAName) {
    ASSERT_EQ(1, SetRegText(2, base + L"\\Reports\\2.1", L"Name", L"Reports"));
    ASSERT_EQ(1, SetRegText(2, base + L"\\Viewer\\0.9", L"Name", L"Viewer"));  // another version
    const DWORD notText = 1;
    ASSERT_EQ(1, SetRegValue(2, base + L"\\Tools\\3.0", L"Name", &notText, 4, REG_DWORD));

    for (const wchar_t* keyPath : {L"Software\\TarnexDescriptionTest\\Package",
                                   L"Software\\TarnexDescriptionTest\\Package\\"}) {
        SetupDescription d = Package(keyPath);
        EXPECT_EQ(base + L"\\Reports\\2.1", ComponentRecordKey(d, d.ComponentList[1]));
        EXPECT_EQ(1, IsComponentInstalled(d, d.ComponentList[1]));
        EXPECT_EQ(1, d.ComponentList[1].Installed);
        EXPECT_EQ(0, IsComponentInstalled(d, d.ComponentList[2]));
        EXPECT_EQ(0, d.ComponentList[2].Installed);
        EXPECT_EQ(0, IsComponentInstalled(d, d.ComponentList[3]));  // "Name" not REG_SZ

        SetupDescription fresh = Package(keyPath);
        EXPECT_EQ(1, DetectInstalledComponents(fresh));
        EXPECT_EQ(1, fresh.InstalledCount);
        EXPECT_EQ(1, fresh.ComponentList[0].Installed);
    }

    SetupDescription badRoot = Package(L"Software\\TarnexDescriptionTest\\Package");
    badRoot.KeyRoot = -1;
    EXPECT_EQ(0, IsComponentInstalled(badRoot, badRoot.ComponentList[1]));
    EXPECT_EQ(0, DetectInstalledComponents(badRoot));
    EXPECT_EQ(0, badRoot.ComponentList[0].Installed);
}

TEST_F(InstalledRecordTest, PackageValuesForTheRunMode) {
    SetupDescription d = Package(L"Software\\TarnexDescriptionTest\\Package");
    std::wstring text = L"before";
    EXPECT_EQ(0, ReadPackagePathInst(d, text));
    EXPECT_EQ(0, ReadPackageAccess(d, text));
    ASSERT_EQ(1, SetRegText(2, base, L"PathInst", L"C:\\Program Files\\Test\\"));
    ASSERT_EQ(1, SetRegText(2, base, L"Access", L"2000"));
    EXPECT_EQ(1, ReadPackagePathInst(d, text));
    EXPECT_EQ(L"C:\\Program Files\\Test\\", text);
    EXPECT_EQ(1, ReadPackageAccess(d, text));
    EXPECT_EQ(L"2000", text);

    // Through the program-wide description as well: it finds what is
    // registered there and marks the component in that description.
    ASSERT_EQ(1, SetRegText(2, base + L"\\Reports\\2.1", L"Name", L"Reports"));
    Description() = d;
    EXPECT_EQ(1, IsComponentInstalled(Description().ComponentList[1]));
    EXPECT_EQ(1, Description().ComponentList[1].Installed);
    EXPECT_EQ(0, IsComponentInstalled(Description().ComponentList[2]));
    Description() = SetupDescription();
}

}  // namespace
}  // namespace tarnex
