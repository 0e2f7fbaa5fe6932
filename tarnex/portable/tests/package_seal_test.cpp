// The seal's text and its block at the end of a program image.
#include <gtest/gtest.h>

#include <string>

#include "portable/package_seal.h"

using namespace tarnex;

namespace {

PackageSeal TwoFileSeal() {
    PackageSeal seal;
    seal.description = L"Setup.inf";
    seal.installedDescription = L"Uninst.inf";
    SealedFile description{L"Setup.inf", 1234, {}};
    description.digest.fill(0xAB);
    SealedFile helper{L"\u041f\u0440\u043e\u0432\u0435\u0440\u043a\u0430 1.exe", 0, {}};
    helper.digest[31] = 1;
    seal.files = {description, helper};
    return seal;
}

// A PE header of the given optional-header magic with a certificate table
// at tableAt of tableSize bytes (0, 0: none).
std::string ImageHeaders(unsigned magic, std::uint32_t tableAt, std::uint32_t tableSize) {
    std::string h(1024, '\0');
    h[0] = 'M', h[1] = 'Z';
    h[0x3C] = static_cast<char>(0x80);
    h.replace(0x80, 4, std::string("PE\0\0", 4));
    const std::size_t optional = 0x80 + 24;
    h[optional] = static_cast<char>(magic & 0xFF), h[optional + 1] = static_cast<char>(magic >> 8);
    const std::size_t directories = optional + (magic == 0x10B ? 96 : 112);
    h[directories - 4] = 16;
    for (int i = 0; i < 4; ++i) {
        h[directories + 32 + i] = static_cast<char>((tableAt >> (8 * i)) & 0xFF);
        h[directories + 36 + i] = static_cast<char>((tableSize >> (8 * i)) & 0xFF);
    }
    return h;
}

}  // namespace

TEST(PackageSeal, TextReadsBackAndFindsNamesInAnyCase) {
    const PackageSeal seal = TwoFileSeal();
    PackageSeal read;
    ASSERT_TRUE(ParseSealText(SealText(seal), read));
    EXPECT_EQ(L"Setup.inf", read.description);
    EXPECT_EQ(L"Uninst.inf", read.installedDescription);
    ASSERT_EQ(2u, read.files.size());
    EXPECT_EQ(seal.files[1].name, read.files[1].name);
    EXPECT_EQ(1234u, read.files[0].size);
    EXPECT_EQ(seal.files[0].digest, read.files[0].digest);
    ASSERT_NE(nullptr, read.Find(L"SETUP.INF"));
    EXPECT_EQ(nullptr, read.Find(L"Setup.in"));
    EXPECT_EQ("abababababababababababababababababababababababababababababababab", HexDigest(seal.files[0].digest));
}

TEST(PackageSeal, MalformedTextsAreRefused) {
    const std::string good = SealText(TwoFileSeal());
    const std::string digest(64, '0');
    const std::string head = "Tarnex seal 1\r\ndescription\tSetup.inf\tSetup.inf\r\n";
    const std::string own = "file\t1\t" + digest + "\tSetup.inf\r\n";
    PackageSeal read;
    ASSERT_TRUE(ParseSealText(head + own, read));
    for (const std::string& bad : {
             std::string(), "Tarnex seal 2\r\n" + good.substr(15), good.substr(0, good.size() - 2),
             head,                                                           // the description is not among the files
             head + own + own,                                               // a name twice
             head + own + "file\t1\t" + digest + "\tSETUP.INF\r\n",          // likewise in another case
             head + own + "file\t01\t" + digest + "\tx.cab\r\n",             // a leading zero
             head + own + "file\t1\t" + digest.substr(1) + "\tx.cab\r\n",    // a short digest
             head + own + "file\t1\t" + std::string(64, 'A') + "\tx.cab\r\n",  // upper-case hex
             head + own + "file\t1\t" + digest + "\tsub\\x.cab\r\n",         // a folder part
             head + own + "file\t1\t" + digest + "\t..\r\n", head + own + "file\t1\t" + digest + "\tNUL\r\n",
             head + own + "file\t1\t" + digest + "\tx\xC0\xAF.cab\r\n",     // an overlong form
             head + own + "file\t1\t" + digest + "\tx.cab\textra\r\n", head + own + "\r\n",
             head + own + "description\tSetup.inf\tSetup.inf\r\n",
             "file\t1\t" + digest + "\tSetup.inf\r\n" + head,
         })
        EXPECT_FALSE(ParseSealText(bad, read)) << bad;
}

TEST(PackageSeal, BlockEndsAtEightAndIsFoundBeforeTheCertificates) {
    const PackageSeal seal = TwoFileSeal();
    for (std::uint64_t imageSize : {1024u, 1027u, 1031u}) {
        const std::string block = SealBlock(seal, imageSize);
        EXPECT_EQ(0u, (imageSize + block.size()) % 8);
        const std::uint64_t end = imageSize + block.size();
        // Found directly and behind zero bytes that another signer's padding adds.
        for (const std::string& tail : {block, block + std::string(5, '\0')}) {
            const std::uint64_t contentEnd = imageSize + tail.size();
            const std::string last = tail.substr(tail.size() - kSealTail);
            SealSpan span;
            ASSERT_TRUE(FindSealSpan(last, contentEnd, span));
            PackageSeal read;
            const std::size_t at = static_cast<std::size_t>(span.offset - imageSize);
            ASSERT_TRUE(ParseSealText(tail.substr(at, span.length), read));
            EXPECT_EQ(seal.files[1].name, read.files[1].name);
        }
        SealSpan span;
        EXPECT_FALSE(FindSealSpan(std::string(kSealTail, 'x'), end, span));
        EXPECT_FALSE(FindSealSpan(block.substr(block.size() - kSealTail), 20, span));  // longer than what lies before
    }
}

TEST(PackageSeal, ImageEndIsTheCertificateTableOrTheFileEnd) {
    ImageEnd end;
    ASSERT_TRUE(FindImageEnd(ImageHeaders(0x10B, 0, 0), 5000, end));
    EXPECT_EQ(5000u, end.contentEnd);
    EXPECT_FALSE(end.hasCertificates);
    ASSERT_TRUE(FindImageEnd(ImageHeaders(0x20B, 4000, 1000), 5000, end));
    EXPECT_EQ(4000u, end.contentEnd);
    EXPECT_TRUE(end.hasCertificates);
    ASSERT_TRUE(FindImageEnd(ImageHeaders(0x10B, 4096, 904), 5000, end));
    EXPECT_EQ(4096u, end.contentEnd);
    EXPECT_FALSE(FindImageEnd(ImageHeaders(0x10B, 4500, 1000), 5000, end));  // past the file's end
    EXPECT_FALSE(FindImageEnd(ImageHeaders(0x10B, 4000, 0), 5000, end));
    EXPECT_FALSE(FindImageEnd(ImageHeaders(0x107, 0, 0), 5000, end));
    EXPECT_FALSE(FindImageEnd(ImageHeaders(0x10B, 0, 0).substr(0, 0x90), 5000, end));
    EXPECT_FALSE(FindImageEnd("ZM" + std::string(200, '\0'), 5000, end));
}

// Two sections, the second's raw data ending at sectionsEnd; a COFF symbol
// table after them when symbols is set.
std::string ImageWithSections(std::uint32_t sectionsEnd, std::uint32_t symbols = 0) {
    std::string h = ImageHeaders(0x10B, 0, 0);
    const auto put32 = [&h](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    h[0x80 + 6] = 2;                                     // NumberOfSections
    put32(0x80 + 12, symbols);                           // PointerToSymbolTable
    h[0x80 + 20] = static_cast<char>(0xE0);              // SizeOfOptionalHeader
    const std::size_t table = 0x80 + 24 + 0xE0;
    put32(table + 16, 0x200), put32(table + 20, sectionsEnd - 0x400);        // the later section first
    put32(table + 40 + 16, 0x200), put32(table + 40 + 20, sectionsEnd - 0x200);
    return h;
}

// Anything after the sections other than a signer's few zero bytes is
// appended: a seal, a payload, or what is left of one that was cut off.
TEST(PackageSeal, BytesAppendedAfterTheSectionsAreFound) {
    ImageEnd end;
    ASSERT_TRUE(FindImageEnd(ImageWithSections(0x1000), 0x1000, end));
    EXPECT_EQ(0x1000u, end.sectionsEnd);
    EXPECT_EQ(0u, AppendedBytes(end, ""));
    ASSERT_TRUE(FindImageEnd(ImageWithSections(0x1000), 0x1005, end));
    EXPECT_EQ(0u, AppendedBytes(end, std::string(5, '\0')));  // padding before a certificate table
    EXPECT_EQ(5u, AppendedBytes(end, std::string("\0\0x\0\0", 5)));
    ASSERT_TRUE(FindImageEnd(ImageWithSections(0x1000), 0x1000 + 4096, end));
    EXPECT_EQ(4096u, AppendedBytes(end, std::string(8, '\0')));
    // Unknown where the image ends: nothing is said to be appended.
    ASSERT_TRUE(FindImageEnd(ImageWithSections(0x1000, 0x1000), 0x1000 + 4096, end));
    EXPECT_EQ(0u, end.sectionsEnd);
    EXPECT_EQ(0u, AppendedBytes(end, "x"));
    ASSERT_TRUE(FindImageEnd(ImageWithSections(0x1000).substr(0, 0x80 + 24 + 0xE0 + 60), 0x2000, end));
    EXPECT_EQ(0u, end.sectionsEnd) << "a section table cut by the headers' end";
}
