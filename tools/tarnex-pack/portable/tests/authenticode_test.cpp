// Where an Authenticode signature goes in a PE file, on made-up images of
// both kinds: the fields and offsets that the fuzzer's invariants cannot
// know (tarnex_pack_pe_signing_fuzzer checks the digest's ranges and the
// checksum on any bytes; osslsigncode checks the DER in
// tarnex_pack_signatures_verify).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
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
// kind (0x10B PE32, 0x20B PE32+) with 16 empty directories, then 13 bytes.
Bytes Image(std::uint16_t magic, std::size_t pe) {
    const std::size_t optionalSize = magic == 0x10B ? 0xE0 : 0xF0, optional = pe + 24;
    Bytes image(optional + optionalSize + 13, '\x11');
    image[0] = 'M', image[1] = 'Z';
    Write32(image, 0x3C, static_cast<std::uint32_t>(pe));
    image.replace(pe, 4, std::string("PE\0\0", 4));
    image[pe + 20] = static_cast<char>(optionalSize), image[pe + 21] = 0;
    image[optional] = static_cast<char>(magic & 0xFF), image[optional + 1] = static_cast<char>(magic >> 8);
    const std::size_t directories = optional + (magic == 0x10B ? 96 : 112);
    Write32(image, directories - 4, 16);
    image.replace(directories, 16 * 8, Bytes(16 * 8, '\0'));
    return image;
}

TEST(AuthenticodeLayout, TheSignatureGoesAtThePaddedEndBehindItsDirectoryEntry) {
    // Both kinds; the header also at an odd offset, where the checksum's
    // bytes straddle three 16-bit words of the checksum's sum.
    for (const auto& [magic, pe] : {std::pair<std::uint16_t, std::size_t>{0x10B, 0x40}, {0x20B, 0x40}, {0x10B, 0x41}}) {
        const Bytes image = Image(magic, pe);
        PeLayout layout;
        std::wstring why;
        ASSERT_TRUE(LayOut(image, layout, why)) << magic;
        EXPECT_EQ(layout.checksumOffset, pe + 24 + 64);
        EXPECT_EQ(layout.securityEntryOffset, pe + 24 + (magic == 0x10B ? 96 : 112) + 32);
        EXPECT_EQ(layout.paddedSize, (image.size() + 7) / 8 * 8);
        const Bytes signedData(300, '\x30');
        const Bytes out = Attach(image, layout, signedData);
        EXPECT_EQ(Read32(out, layout.securityEntryOffset), layout.paddedSize);
        const std::uint32_t length = Read32(out, layout.securityEntryOffset + 4);
        EXPECT_EQ(length % 8, 0u);
        EXPECT_EQ(out.size(), layout.paddedSize + length);
        EXPECT_EQ(Read32(out, layout.paddedSize), length);
        EXPECT_EQ(Read32(out, layout.paddedSize + 4), 0x00020200u);  // revision 2.0, PKCS signed data
        EXPECT_EQ(out.substr(layout.paddedSize + 8, signedData.size()), signedData);
        EXPECT_EQ(Read32(out, layout.checksumOffset), PeChecksum(out, layout.checksumOffset));

        // A large file is signed from its headers and its size, its checksum
        // summed a piece at a time: the same layout, and the same checksum
        // however the pieces fall (odd ones split a word between two).
        PeLayout fromHeaders;
        ASSERT_TRUE(LayOut(image.substr(0, pe + 24 + 0xF0), image.size() + 5, fromHeaders, why)) << magic;
        EXPECT_EQ(fromHeaders.securityEntryOffset, layout.securityEntryOffset);
        EXPECT_EQ(fromHeaders.paddedSize, (image.size() + 5 + 7) / 8 * 8);
        EXPECT_EQ(fromHeaders.digested.back().first + fromHeaders.digested.back().second, fromHeaders.paddedSize);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
            PeChecksumSum sum(layout.checksumOffset);
            for (std::size_t at = 0; at < out.size(); at += piece) sum.Add(std::string_view(out).substr(at, piece));
            EXPECT_EQ(sum.Value(), PeChecksum(out, layout.checksumOffset)) << piece;
        }
    }
    PeLayout layout;
    std::wstring why;
    EXPECT_FALSE(LayOut(Image(0x10B, 0x40), kLargestSignedFile + 1, layout, why));
    EXPECT_NE(std::wstring::npos, why.find(L"larger than 2 GB"));
}

}  // namespace
}  // namespace pack::authenticode
