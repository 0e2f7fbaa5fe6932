// The REG file reading loop and its value texts, driven with in-memory files
// against a sink that records every write in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "portable/reg_file_reader.h"
#include "portable/reg_value_parse.h"

using namespace tarnex;

namespace {

class StringSource : public RegByteSource {
public:
    explicit StringSource(std::string text) : text_(std::move(text)) {}
    int Next() override { return at_ < text_.size() ? static_cast<unsigned char>(text_[at_++]) : -1; }

private:
    std::string text_;
    std::size_t at_ = 0;
};

struct Write {
    std::string key, name, data;
    RegWriteKind kind;
    bool empty;
    bool operator==(const Write& o) const {
        return key == o.key && name == o.name && data == o.data && kind == o.kind && empty == o.empty;
    }
};
std::ostream& operator<<(std::ostream& os, const Write& w) {
    return os << (w.empty ? "empty " : "value ") << static_cast<int>(w.kind) << " [" << w.key << "] \"" << w.name
              << "\" = \"" << w.data << "\"";
}

class RecordingSink : public RegSink {
public:
    std::vector<Write> writes;
    int failAt = -1;  // index of the write that is refused
    bool WriteRegValue(const std::string& k, const std::string& n, const std::string& d, RegWriteKind kind) override {
        writes.push_back({k, n, d, kind, false});
        return static_cast<int>(writes.size()) - 1 != failAt;
    }
    bool WriteEmptyRegValue(const std::string& k, const std::string& n, RegWriteKind kind) override {
        writes.push_back({k, n, "", kind, true});
        return static_cast<int>(writes.size()) - 1 != failAt;
    }
};

struct ReadResult {
    bool ok;
    std::vector<Write> writes;
};
ReadResult Read(const std::string& text, int failAt = -1) {
    StringSource source(text);
    RecordingSink sink;
    sink.failAt = failAt;
    const bool ok = ReadRegText(source, sink);
    return {ok, sink.writes};
}

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Vrel";
Write Key(const std::string& k = kKey) { return {k, "", "", RegWriteKind::KeyOnly, true}; }
Write Str(const std::string& n, const std::string& d) { return {kKey, n, d, RegWriteKind::String, false}; }
Write EmptyOf(const std::string& n, RegWriteKind kind) { return {kKey, n, "", kind, true}; }
Write Dw(const std::string& n, const std::string& d) { return {kKey, n, d, RegWriteKind::DoubleWord, false}; }
Write Bin(const std::string& n, const std::string& d) { return {kKey, n, d, RegWriteKind::Binary, false}; }

std::string File(const std::string& body) { return "REGEDIT4\r\n\r\n[" + kKey + "]\r\n" + body; }

}  // namespace

TEST(RegReadingLoop, WritesEveryKindInFileOrder) {
    const ReadResult r = Read(File("\"s\"=\"text\"\r\n\"n\"=dword:0000000A\r\n\"b\"=hex:01,02,\\\r\n  03,04\r\n"
                            "@=\"def\"\r\n"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), Str("s", "text"), Dw("n", "0000000A"), Bin("b", "01020304"),
                                            Str("(Default)", "def")}));
}

TEST(RegReadingLoop, EmptyStringsAndEmptyBinaryUseTheEmptyWriter) {
    const ReadResult r = Read(File("\"a\"=\"\"\r\n\"b\"=hex:\r\n\"c\"=\"x\"\r\n"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), EmptyOf("a", RegWriteKind::String),
                                            EmptyOf("b", RegWriteKind::Binary), Str("c", "x")}));
}

TEST(RegReadingLoop, EscapesStayForTheWriterToUndo) {
    const ReadResult r = Read(File("\"p\"=\"C:\\\\Dir\\\\f.exe\"\r\n\"q\\\"x\"=\"C:\\Dir\"\r\n"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), Str("p", "C:\\\\Dir\\\\f.exe"), Str("q\\\"x", "C:\\Dir")}));
    EXPECT_EQ(UnescapeRegText("C:\\\\Dir\\\\f.exe"), "C:\\Dir\\f.exe");
    EXPECT_EQ(UnescapeRegText("C:\\Dir"), "C:Dir");
    EXPECT_EQ(UnescapeRegText("q\\\"x"), "q\"x");
    EXPECT_EQ(UnescapeRegText("end\\"), "end");
}

TEST(RegReadingLoop, DefaultValueOfOtherKindsKeepsItsLiteralName) {
    const ReadResult r = Read(File("@=dword:00000001\r\n"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), Dw("(Default)", "00000001")}));
}

TEST(RegReadingLoop, ShortDwordTakesTheLineEndAndTheWriterRefusesIt) {
    const ReadResult r = Read(File("\"n\"=dword:A\r\n\"m\"=\"after\"\r\n"));
    ASSERT_TRUE(r.ok);  // the sink accepted; the real writer refuses the digits
    ASSERT_EQ(r.writes.size(), 2u);  // the rest of the next line no longer forms a value
    EXPECT_EQ(r.writes[1], Dw("n", "A\r\n\"m\"=\""));
    EXPECT_FALSE(ParseRegDword(r.writes[1].data).has_value());
}

TEST(RegReadingLoop, OtherTypeWordsAreSkippedAndTheNextLineIsRead) {
    const ReadResult r = Read(File("\"e\"=hex(2):41,00,42,00\r\n\"m\"=hex(7):41,00,00,00\r\n\"s\"=\"ok\"\r\n"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), Str("s", "ok")}));
}

TEST(RegReadingLoop, KeyLinesCreateKeysEvenWithoutValues) {
    const ReadResult r = Read("[" + kKey + "\\A]\r\n[" + kKey + "\\B]\r\n\"v\"=\"1\"\r\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(kKey + "\\A"), Key(kKey + "\\B"),
                                            Write{kKey + "\\B", "v", "1", RegWriteKind::String, false}}));
}

TEST(RegReadingLoop, ValuesBeforeTheFirstKeyWriteNothing) {
    const ReadResult r = Read("\"a\"=\"x\"\r\n@=\"y\"\r\n\"n\"=dword:00000001\r\n[" + kKey + "]\r\n\"b\"=\"z\"\r\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), Str("b", "z")}));
}

TEST(RegReadingLoop, FileWithoutHeaderOrFinalLineEndIsReadAllTheSame) {
    const ReadResult r = Read("[" + kKey + "]\r\n\"s\"=\"last\"");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), Str("s", "last")}));
}

TEST(RegReadingLoop, ARefusedWriteStopsTheImportAtOnce) {
    const ReadResult r = Read(File("\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"c\"=\"3\"\r\n"), 2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.writes.size(), 3u);
    const ReadResult k = Read(File("\"a\"=\"1\"\r\n"), 0);
    EXPECT_FALSE(k.ok);
    EXPECT_EQ(k.writes.size(), 1u);
}

TEST(RegReadingLoop, CommentLinesAreSkippedCharacterByCharacter) {
    const ReadResult r = Read(File("; plain comment\r\n\"s\"=\"v\"\r\n"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.writes, (std::vector<Write>{Key(), Str("s", "v")}));
}

TEST(RegReadingLoop, OverlongLinesAreConsumedAndRefusedWithoutOverflow) {
    const std::string big(kRegTextLimit + 10, 'x');
    EXPECT_FALSE(Read(File("\"s\"=\"" + big + "\"\r\n")).ok);
    EXPECT_FALSE(Read("[" + kKey + "\\" + big + "]\r\n").ok);
    EXPECT_FALSE(Read(File("\"" + big + "\"=\"v\"\r\n")).ok);
    const ReadResult fits = Read(File("\"s\"=\"" + std::string(4000, 'y') + "\"\r\n"));
    ASSERT_TRUE(fits.ok);
    EXPECT_EQ(fits.writes.back().data.size(), 4000u);
    // A type word that never meets ":" is only an unknown type.
    EXPECT_TRUE(Read(File("\"s\"=d" + big + "\r\n")).ok);
}

TEST(RegValueTexts, DoubleWordsAreBigEndianHex) {
    EXPECT_EQ(ParseRegDword("0000000A"), 10u);
    EXPECT_EQ(ParseRegDword("0000000a"), 10u);
    EXPECT_EQ(ParseRegDword("DEADbeef"), 0xDEADBEEFu);
    EXPECT_FALSE(ParseRegDword("0000000G").has_value());
    EXPECT_FALSE(ParseRegDword("A").has_value());
    EXPECT_FALSE(ParseRegDword("000000001").has_value());
}

TEST(RegValueTexts, BinaryNeedsEvenHexDigits) {
    EXPECT_EQ(ParseRegBinary("0102fF"), (std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(ParseRegBinary(""), std::vector<std::uint8_t>{});
    EXPECT_FALSE(ParseRegBinary("12").has_value() == false);
    EXPECT_FALSE(ParseRegBinary("123").has_value());
    EXPECT_FALSE(ParseRegBinary("1x").has_value());
}

TEST(RegValueTexts, KeyPathsNeedAFullRootNameAndStayBelowIt) {
    const auto ok = SplitRegKeyPath("HKEY_LOCAL_MACHINE\\Software\\Vrel");
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(ok->root, 3);
    EXPECT_EQ(ok->subKey, "Software\\Vrel");
    EXPECT_EQ(SplitRegKeyPath("HKEY_CLASSES_ROOT\\.x")->root, 1);
    EXPECT_EQ(SplitRegKeyPath("HKEY_CURRENT_USER\\a")->root, 2);
    EXPECT_EQ(SplitRegKeyPath("HKEY_USERS\\a")->root, 4);
    for (const char* bad : {"HKLM\\Software", "hkey_local_machine\\Software", "HKEY_LOCAL_MACHINE",
                            "HKEY_LOCAL_MACHINE\\", "HKEY_LOCAL_MACHINE\\\\Software", "HKEY_CURRENT_USER\\a\\..\\..\\b",
                            "HKEY_CURRENT_USER\\..", "HKEY_CURRENT_USER\\a\\", "HKEY_CURRENT_USER\\a\\\\b", ""})
        EXPECT_FALSE(SplitRegKeyPath(bad).has_value()) << bad;
}
