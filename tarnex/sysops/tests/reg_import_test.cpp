// REG file import into the registry: every value kind with its exact type
// and bytes, escapes, the default value, skipped types, stops on bad
// entries, the missing-file warning, refused key paths and long lines.
#include <gtest/gtest.h>

#include <vector>

#include "../../../testsupport/registry_values.h"
#include "portable/reg5_file_reader.h"
#include "sysops/reg_file_import.h"
#include "sysops_test_support.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

const wchar_t kKey[] = L"Software\\VrelSysopsTest\\Reg";
const std::string kKeyLine = "[HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg]\r\n";

using Value = testsupport::RegistryValue;
Value Read(const wchar_t* name, const wchar_t* key = kKey) {
    return testsupport::ReadRegistryValue(HKEY_CURRENT_USER, key, name);
}
std::wstring Text(const Value& v) { return testsupport::TextOf(v); }
std::vector<BYTE> Bytes(std::initializer_list<int> b) {
    std::vector<BYTE> out;
    for (int x : b) out.push_back(static_cast<BYTE>(x));
    return out;
}

class RegImportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTestApp(); }
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VrelSysopsTest");
        ClearLog();
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VrelSysopsTest"); }
    bool Import(const std::string& text) {
        WriteBytes(folder / L"data.reg", text);
        std::optional<Failure> failure;
        return ImportRegFile(folder / L"data.reg", failure);
    }
    ScratchFolder folder{L"regimport"};
};

}  // namespace

TEST_F(RegImportTest, EveryValueKindIsWrittenWithItsTypeAndBytes) {
    MessageRecorder messages;
    ASSERT_TRUE(Import("REGEDIT4\r\n\r\n" + kKeyLine +
                       "\"s\"=\"text\"\r\n"
                       "\"x\"=\"x\"\r\n"
                       "\"e\"=\"\"\r\n"
                       "\"p\"=\"C:\\\\Dir\\\\f.exe\"\r\n"
                       "\"q\"=\"C:\\Dir\"\r\n"
                       "\"quote\\\"d\"=\"say \\\"hi\\\"\"\r\n"
                       "\"n\"=dword:0000000A\r\n"
                       "\"m\"=dword:0000000a\r\n"
                       "\"big\"=dword:DEADBEEF\r\n"
                       "\"b\"=hex:01,02,\\\r\n  03,04\r\n"
                       "\"z\"=hex:\r\n"
                       "\"ex\"=hex(2):41,00,00,00\r\n"
                       "\"after\"=\"next line\"\r\n"
                       "@=\"default text\"\r\n"
                       "[HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg\\Dw]\r\n"
                       "@=dword:00000001\r\n"
                       "[HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg\\Empty]\r\n"));
    EXPECT_EQ(messages.Count(), 0u);
    const Value s = Read(L"s");
    EXPECT_EQ(s.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Text(s), L"text");
    // Written with the byte count of the text alone; the registry may add
    // the terminator itself.
    EXPECT_EQ(Text(Read(L"x")), L"x");
    const Value e = Read(L"e");  // one byte: the terminator
    EXPECT_EQ(e.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(e.bytes, Bytes({0, 0}));
    EXPECT_EQ(Text(Read(L"p")), L"C:\\Dir\\f.exe");
    EXPECT_EQ(Text(Read(L"q")), L"C:Dir");
    EXPECT_EQ(Text(Read(L"quote\"d")), L"say \"hi\"");
    const Value n = Read(L"n");
    EXPECT_EQ(n.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(n.bytes, Bytes({10, 0, 0, 0}));
    EXPECT_EQ(Read(L"m").bytes, Bytes({10, 0, 0, 0}));
    EXPECT_EQ(Read(L"big").bytes, Bytes({0xEF, 0xBE, 0xAD, 0xDE}));
    const Value b = Read(L"b");
    EXPECT_EQ(b.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(b.bytes, Bytes({1, 2, 3, 4}));
    const Value z = Read(L"z");
    EXPECT_TRUE(z.present);
    EXPECT_EQ(z.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_TRUE(z.bytes.empty());
    EXPECT_FALSE(Read(L"ex").present);
    EXPECT_EQ(Text(Read(L"after")), L"next line");
    EXPECT_EQ(Text(Read(L"")), L"default text");
    const std::wstring dw = std::wstring(kKey) + L"\\Dw";
    EXPECT_EQ(Read(L"(Default)", dw.c_str()).bytes, Bytes({1, 0, 0, 0}));
    EXPECT_FALSE(Read(L"", dw.c_str()).present);
    HKEY empty = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kKey) + L"\\Empty").c_str(), 0, KEY_READ, &empty),
              ERROR_SUCCESS);
    if (empty) ::RegCloseKey(empty);
}

TEST_F(RegImportTest, ABadEntryStopsTheImportAndKeepsWhatWasWritten) {
    struct Case {
        std::string body;
        const wchar_t* kept;
        const wchar_t* notWritten;
    };
    const Case cases[] = {
        {"\"a\"=\"1\"\r\n\"n\"=dword:A\r\n\"c\"=\"3\"\r\n", L"a", L"c"},
        {"\"a\"=\"1\"\r\n\"n\"=dword:0000000G\r\n\"c\"=\"3\"\r\n", L"a", L"c"},
        {"\"a\"=\"1\"\r\n\"b\"=hex:1,2,3\r\n\"c\"=\"3\"\r\n", L"a", L"c"},
        {"\"a\"=\"1\"\r\n\"b\"=hex:0g\r\n\"c\"=\"3\"\r\n", L"a", L"c"},
        {"\"a\"=\"1\"\r\n[HKLM\\Software\\VrelSysopsTest]\r\n\"c\"=\"3\"\r\n", L"a", L"c"},
        {"\"a\"=\"1\"\r\n[HKEY_CURRENT_USER\\Software\\..\\..\\VrelEscape]\r\n\"c\"=\"3\"\r\n", L"a", L"c"},
        {"\"a\"=\"1\"\r\n\"s\"=\"" + std::string(70000, 'y') + "\"\r\n\"c\"=\"3\"\r\n", L"a", L"c"},
    };
    for (const Case& c : cases) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VrelSysopsTest");
        MessageRecorder messages;
        EXPECT_FALSE(Import(kKeyLine + c.body)) << c.body.substr(0, 60);
        EXPECT_TRUE(Read(c.kept).present) << c.body.substr(0, 60);
        EXPECT_FALSE(Read(c.notWritten).present) << c.body.substr(0, 60);
        EXPECT_EQ(messages.Count(), 0u);
    }
    EXPECT_NE(LogText().find(L"Refused registry key: HKEY_CURRENT_USER\\Software\\..\\..\\VrelEscape"), std::wstring::npos);
    HKEY escaped = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, L"VrelEscape", 0, KEY_READ, &escaped), ERROR_SUCCESS);
}

TEST_F(RegImportTest, LongLinesWithinTheLimitAndOddFilesAreRead) {
    MessageRecorder messages;
    const std::string text(4000, 'L');
    EXPECT_TRUE(Import(kKeyLine + "\"long\"=\"" + text + "\"\r\n"));
    EXPECT_EQ(Text(Read(L"long")).size(), 4000u);
    // No header, values before the first key, a comment line, no final CR LF.
    EXPECT_TRUE(Import("\"early\"=\"x\"\r\n; comment\r\n" + kKeyLine + "\"last\"=\"end\""));
    EXPECT_FALSE(Read(L"early").present);
    EXPECT_EQ(Text(Read(L"last")), L"end");
}

TEST_F(RegImportTest, AMissingFileIsReportedForTheCallerToTell) {
    MessageRecorder messages;
    const std::wstring path = folder / L"missing.reg";
    std::optional<Failure> failure;
    EXPECT_FALSE(ImportRegFile(path, failure));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->question, Question::kRegFileCannotOpen);
    EXPECT_EQ(failure->first, path);
    EXPECT_EQ(messages.Count(), 0u);
}

// A file as today's regedit exports it: UTF-16 with the Version 5 header,
// names, keys and texts of any script, every type it writes, a hex list
// broken over lines, and deletion lines that are logged, never carried out.
TEST_F(RegImportTest, Version5FilesInUtf16AreImportedWithTheirTypes) {
    const std::wstring cyrillicKey = std::wstring(kKey) + L"\\Ключ \x04D9";
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"kept", REG_SZ, L"k", 4);
    const std::wstring text =
        L"Windows Registry Editor Version 5.00\r\n\r\n"
        L"; a comment\r\n"
        L"\"before\"=\"no key yet\"\r\n"
        L"[HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg]\r\n"
        L"\"Имя \x04D9\"=\"Значение \\\"в кавычках\\\" C:\\\\Dir\"\r\n"
        L"@=\"по умолчанию\"\r\n"
        L"\"n\"=dword:0000000a\r\n"
        L"\"b\"=hex:01,02,\\\r\n  03,04\r\n"
        L"\"z\"=hex:\r\n"
        L"\"ex\"=hex(2):25,00,41,00,25,00,00,00\r\n"
        L"\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        L"\"q\"=hex(b):08,07,06,05,04,03,02,01\r\n"
        L"\"odd\"=hex(100):ff\r\n"
        L"\"kept\"=-\r\n"
        L"[-HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg]\r\n"
        L"[HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg\\Ключ \x04D9]\r\n";
    MessageRecorder messages;
    ASSERT_TRUE(Import(testfiles::Utf16File(text)));
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_FALSE(Read(L"before").present);
    const Value named = Read(L"Имя \x04D9");
    EXPECT_EQ(named.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Text(named), L"Значение \"в кавычках\" C:\\Dir");
    EXPECT_EQ(Text(Read(L"")), L"по умолчанию");
    EXPECT_EQ(Read(L"n").bytes, Bytes({10, 0, 0, 0}));
    EXPECT_EQ(Read(L"n").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Read(L"b").bytes, Bytes({1, 2, 3, 4}));
    EXPECT_TRUE(Read(L"z").present && Read(L"z").bytes.empty());
    const Value ex = Read(L"ex");
    EXPECT_EQ(ex.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(Text(ex), L"%A%");
    const Value multi = Read(L"multi");
    EXPECT_EQ(multi.type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(multi.bytes, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
    EXPECT_EQ(Read(L"q").type, static_cast<DWORD>(REG_QWORD));
    EXPECT_EQ(Read(L"q").bytes, Bytes({8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(Read(L"odd").type, 0x100u);
    EXPECT_EQ(Read(L"odd").bytes, Bytes({0xFF}));
    // Nothing deleted; each deletion line logged.
    EXPECT_EQ(Text(Read(L"kept")), L"k");
    const std::wstring log = LogText();
    EXPECT_NE(log.find(L"REG file line not carried out (the importer never deletes): \"kept\"=-"), std::wstring::npos);
    EXPECT_NE(log.find(L"never deletes): [-HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg]"), std::wstring::npos);
    HKEY created = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, cyrillicKey.c_str(), 0, KEY_READ, &created), ERROR_SUCCESS);
    if (created) ::RegCloseKey(created);

    // A malformed value stops the import; a refused key path is logged.
    EXPECT_FALSE(Import(testfiles::Utf16File(std::wstring(kReg5Header) + L"\r\n[HKEY_CURRENT_USER\\Software\\VrelSysopsTest\\Reg]\r\n"
                                             L"\"bad\"=hex:1,2\r\n")));
    EXPECT_FALSE(Import(testfiles::Utf16File(std::wstring(kReg5Header) + L"\r\n[HKEY_CURRENT_USER\\Software\\..\\x]\r\n")));
    EXPECT_NE(LogText().find(L"Refused registry key: HKEY_CURRENT_USER\\Software\\..\\x"), std::wstring::npos);
}
