// Where an Authenticode signature goes in a PE file and what its digest
// covers, and the DER it is written in, on made-up images of both kinds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "authenticode.h"

namespace pack::authenticode {
namespace {

std::uint32_t Read32(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

void Write32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// MZ header, "PE\0\0" at pe, a COFF header and an optional header of the
// kind (0x10B PE32, 0x20B PE32+) with 16 directories, then `tail` bytes.
Bytes Image(std::uint16_t magic, std::size_t tail, std::size_t pe = 0x40) {
    const std::size_t optionalSize = magic == 0x10B ? 0xE0 : 0xF0;
    Bytes image(pe + 24 + optionalSize + tail, '\x11');
    image[0] = 'M', image[1] = 'Z';
    Write32(image, 0x3C, static_cast<std::uint32_t>(pe));
    image.replace(pe, 4, std::string("PE\0\0", 4));
    image[pe + 20] = static_cast<char>(optionalSize), image[pe + 21] = 0;
    const std::size_t optional = pe + 24;
    image[optional] = static_cast<char>(magic & 0xFF), image[optional + 1] = static_cast<char>(magic >> 8);
    const std::size_t directories = optional + (magic == 0x10B ? 96 : 112);
    Write32(image, directories - 4, 16);
    for (std::size_t d = 0; d < 16 * 8; d += 4) Write32(image, directories + d, 0);
    return image;
}

TEST(AuthenticodeLayout, TheDigestSkipsTheChecksumAndTheCertificateEntryAndThePaddingIsCovered) {
    // Both kinds; the header also at an odd offset, where the checksum's
    // bytes straddle three 16-bit words of the checksum's sum.
    for (const auto& [magic, pe] : {std::pair<std::uint16_t, std::size_t>{0x10B, 0x40}, {0x20B, 0x40}, {0x10B, 0x41}}) {
        const Bytes image = Image(magic, 13, pe);  // not a multiple of 8
        PeLayout layout;
        std::wstring why;
        ASSERT_TRUE(LayOut(image, layout, why)) << magic;
        const std::size_t optional = pe + 24;
        EXPECT_EQ(layout.checksumOffset, optional + 64);
        EXPECT_EQ(layout.securityEntryOffset, optional + (magic == 0x10B ? 96 : 112) + 32);
        EXPECT_EQ(layout.paddedSize % 8, 0u);
        EXPECT_LT(layout.paddedSize - image.size(), 8u);
        std::size_t covered = 0, at = 0;
        for (const auto& [offset, length] : layout.digested) {
            EXPECT_GE(offset, at) << "ranges in file order, not overlapping";
            covered += length;
            at = offset + length;
        }
        EXPECT_EQ(at, layout.paddedSize);
        EXPECT_EQ(covered, layout.paddedSize - 12);

        // Attached: the entry names the WIN_CERTIFICATE at the padded end,
        // the checksum is the file's, and the file counts as signed.
        const Bytes signedData(300, '\x30');
        const Bytes out = Attach(image, layout, signedData);
        EXPECT_EQ(Read32(out, layout.securityEntryOffset), layout.paddedSize);
        const std::uint32_t length = Read32(out, layout.securityEntryOffset + 4);
        EXPECT_EQ(length % 8, 0u);
        EXPECT_GE(length, 8u + signedData.size());
        EXPECT_EQ(out.size(), layout.paddedSize + length);
        EXPECT_EQ(Read32(out, layout.paddedSize), length);
        EXPECT_EQ(Read32(out, layout.paddedSize + 4), 0x00020200u);  // revision 2.0, PKCS signed data
        EXPECT_EQ(out.substr(layout.paddedSize + 8, signedData.size()), signedData);
        EXPECT_EQ(Read32(out, layout.checksumOffset), PeChecksum(out, layout.checksumOffset));
        EXPECT_EQ(out.substr(image.size(), layout.paddedSize - image.size()), Bytes(layout.paddedSize - image.size(), '\0'));
        PeLayout again;
        EXPECT_FALSE(LayOut(out, again, why));
        EXPECT_NE(why.find(L"signed already"), std::wstring::npos);
    }
}

TEST(AuthenticodeLayout, WhatIsNoProgramOrIsCutShortIsRefused) {
    PeLayout layout;
    std::wstring why;
    EXPECT_FALSE(LayOut("MZ", layout, why));
    EXPECT_FALSE(LayOut(Bytes(0x200, 'M'), layout, why));
    Bytes image = Image(0x10B, 0);
    Write32(image, 0x3C, 0x7FFFFFF0);  // e_lfanew past the end
    EXPECT_FALSE(LayOut(image, layout, why));
    image = Image(0x10B, 0);
    EXPECT_FALSE(LayOut(image.substr(0, 0x40 + 24 + 100), layout, why)) << "optional header cut short";
    image = Image(0x10B, 0);
    Write32(image, 0x40 + 24 + 92, 4);  // no security directory
    EXPECT_FALSE(LayOut(image, layout, why));
    image = Image(0x10B, 0);
    image[0x40 + 24] = 0x07;  // no known optional header kind
    EXPECT_FALSE(LayOut(image, layout, why));
}

TEST(AuthenticodeDer, TheSignedContentAndAttributesAreWrittenAsWindowsReadsThem) {
    const Bytes digest(32, '\xAB');
    const Bytes indirect = IndirectData(digest);
    EXPECT_EQ(static_cast<unsigned char>(indirect[0]), 0x30u);
    // SPC_PE_IMAGE_DATAOBJ 1.3.6.1.4.1.311.2.1.15 and SHA-256 2.16.840.1.101.3.4.2.1
    EXPECT_NE(indirect.find(std::string("\x06\x0A\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x0F", 12)), std::string::npos);
    EXPECT_NE(indirect.find(std::string("\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01", 11)), std::string::npos);
    EXPECT_EQ(indirect.substr(indirect.size() - 34), std::string("\x04\x20", 2) + digest);
    EXPECT_EQ(ContentOctets(indirect), indirect.substr(2)) << "a short form length";

    const Bytes attributes = SignedAttributes(digest);
    EXPECT_EQ(static_cast<unsigned char>(attributes[0]), 0x31u);
    // The members of the SET in DER order: each no greater than the next.
    Bytes rest = ContentOctets(attributes), previous;
    while (!rest.empty()) {
        const std::size_t size = 2 + static_cast<unsigned char>(rest[1]);
        const Bytes member = rest.substr(0, size);
        EXPECT_LE(previous, member);
        previous = member;
        rest.erase(0, size);
    }

    // A long form length (the certificate makes the SignedData long).
    Signer signer{Bytes(600, '\x30'), Bytes("\x30\x00", 2), Bytes("\x01", 1)};
    const Bytes whole = SignedData(indirect, attributes, signer, Bytes(256, '\x5A'));
    EXPECT_EQ(static_cast<unsigned char>(whole[1]), 0x82u);
    const std::size_t declared = static_cast<unsigned char>(whole[2]) << 8 | static_cast<unsigned char>(whole[3]);
    EXPECT_EQ(declared, whole.size() - 4);
    EXPECT_EQ(ContentOctets(whole), whole.substr(4));
    // The attributes go in as [0] IMPLICIT: their SET's contents under 0xA0.
    EXPECT_NE(whole.find(Bytes(1, '\xA0') + attributes.substr(1)), std::string::npos);
}

}  // namespace
}  // namespace pack::authenticode
