// MSZIP blocks as the cabinet transfer reads them: the header, the cabinet
// checksum, and decoding in order, with the history that a block may refer
// back into. Blocks are made here with zlib's deflate, as a cabinet writer
// makes them.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "portable/mszip_blocks.h"

using namespace tarnex;

namespace {

// "CK" and a raw deflate stream of text, which may use dictionary.
std::vector<std::uint8_t> MszipBlock(const std::string& text, const std::string& dictionary = {}) {
    z_stream z{};
    EXPECT_EQ(Z_OK, deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY));
    if (!dictionary.empty())
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()), static_cast<uInt>(dictionary.size()));
    std::vector<std::uint8_t> out(2 + deflateBound(&z, static_cast<uLong>(text.size())));
    out[0] = 'C';
    out[1] = 'K';
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data() + 2;
    z.avail_out = static_cast<uInt>(out.size() - 2);
    EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
    out.resize(2 + z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Decode(MszipBlockDecoder& decoder, const std::vector<std::uint8_t>& block, std::size_t expected,
                   bool* ok) {
    std::vector<std::uint8_t> out(expected);
    *ok = decoder.Decode(block.data(), block.size(), out.data(), expected);
    return std::string(out.begin(), out.end());
}

}  // namespace

TEST(MszipBlocks, HeaderAndChecksum) {
    // Checksum 0x11223344, 5 bytes stored, 7 after decoding.
    const std::uint8_t bytes[kCabBlockHeader] = {0x44, 0x33, 0x22, 0x11, 5, 0, 7, 0};
    const CabBlockHeader h = ParseBlockHeader(bytes);
    EXPECT_EQ(0x11223344u, h.checksum);
    EXPECT_EQ(5, h.compressed);
    EXPECT_EQ(7, h.uncompressed);
    EXPECT_TRUE(BlockSizesValid(h));
    EXPECT_FALSE(BlockSizesValid(CabBlockHeader{0, 10, 0}));  // continues in another cabinet
    EXPECT_FALSE(BlockSizesValid(CabBlockHeader{0, 10, 32769}));
    EXPECT_FALSE(BlockSizesValid(CabBlockHeader{0, 38913, 100}));

    // The sum of the data (whole words, then the leftover bytes with the
    // first one highest), then of the size fields.
    const std::uint8_t data[5] = {1, 2, 3, 4, 5};
    const std::uint32_t sizes = 5u | 7u << 16;
    const std::uint32_t sum = (0x04030201u ^ 0x05u) ^ sizes;
    std::uint8_t stored[kCabBlockHeader] = {0, 0, 0, 0, 5, 0, 7, 0};
    std::memcpy(stored, &sum, 4);  // little-endian, as on the machines served
    EXPECT_TRUE(BlockChecksumMatches(ParseBlockHeader(stored), stored, data));
    stored[0] ^= 1;
    EXPECT_FALSE(BlockChecksumMatches(ParseBlockHeader(stored), stored, data));
    const std::uint8_t none[kCabBlockHeader] = {0, 0, 0, 0, 5, 0, 7, 0};
    EXPECT_TRUE(BlockChecksumMatches(ParseBlockHeader(none), none, data));

    const std::uint8_t three[3] = {0xAA, 0xBB, 0xCC};
    const std::uint32_t sizes3 = 3u | 1u << 16;
    const std::uint32_t sum3 = 0xAABBCCu ^ sizes3;
    std::uint8_t h3[kCabBlockHeader] = {0, 0, 0, 0, 3, 0, 1, 0};
    std::memcpy(h3, &sum3, 4);
    EXPECT_TRUE(BlockChecksumMatches(ParseBlockHeader(h3), h3, three));
}

TEST(MszipBlocks, BlocksDecodeInOrderWithTheirHistory) {
    const std::string first(32768, 'a');
    std::string second = "start " + first.substr(0, 20000) + " end";
    MszipBlockDecoder decoder;
    ASSERT_TRUE(decoder.Ready());
    bool ok = false;
    EXPECT_EQ(first, Decode(decoder, MszipBlock(first), first.size(), &ok));
    EXPECT_TRUE(ok);
    // The second block refers back into the first one's output.
    const std::vector<std::uint8_t> next = MszipBlock(second, first);
    EXPECT_EQ(second, Decode(decoder, next, second.size(), &ok));
    EXPECT_TRUE(ok);

    // Without that history (the folder started again) it cannot be decoded.
    decoder.Restart();
    Decode(decoder, next, second.size(), &ok);
    EXPECT_FALSE(ok);
}

TEST(MszipBlocks, MalformedBlocksAreRefused) {
    MszipBlockDecoder decoder;
    bool ok = true;
    std::vector<std::uint8_t> block = MszipBlock("some text of a block");
    Decode(decoder, block, 21, &ok);  // one byte more than it holds
    EXPECT_FALSE(ok);
    Decode(decoder, block, 19, &ok);  // one byte less
    EXPECT_FALSE(ok);
    block[0] = 'X';
    Decode(decoder, block, 20, &ok);  // no signature
    EXPECT_FALSE(ok);
    block[0] = 'C';
    block.resize(block.size() / 2);
    Decode(decoder, block, 20, &ok);  // cut short
    EXPECT_FALSE(ok);
    Decode(decoder, std::vector<std::uint8_t>{'C', 'K', 0xFF, 0xFF, 0xFF}, 20, &ok);
    EXPECT_FALSE(ok);
    // After failures the decoder still decodes a good block.
    decoder.Restart();
    EXPECT_EQ("some text of a block", Decode(decoder, MszipBlock("some text of a block"), 20, &ok));
    EXPECT_TRUE(ok);
}
