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

// "CK" and a raw deflate stream of text, which may use dictionary; a flush
// other than Z_FINISH leaves the stream without its final-block mark, as
// some cabinet writers do.
std::vector<std::uint8_t> MszipBlock(const std::string& text, const std::string& dictionary = {},
                                     int flush = Z_FINISH) {
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
    EXPECT_EQ(flush == Z_FINISH ? Z_STREAM_END : Z_OK, deflate(&z, flush));
    out.resize(2 + z.total_out);
    deflateEnd(&z);
    return out;
}

// Bytes that deflate cannot shorten, so that a block of them is all
// literals and a later match must reach back into them.
std::string Noise(std::size_t size) {
    std::string text(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : text) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return text;
}

// "CK" and a deflate stream of one last block with fixed codes: a match of
// 258 bytes at distance 32768 (the farthest deflate allows), then the end.
std::vector<std::uint8_t> FarthestMatchBlock() {
    std::vector<std::uint8_t> out{'C', 'K'};
    std::uint32_t bits = 0;
    int count = 0;
    const auto put = [&](std::uint32_t value, int n) {  // first bit lowest
        bits |= value << count;
        count += n;
        for (; count >= 8; count -= 8, bits >>= 8) out.push_back(static_cast<std::uint8_t>(bits));
    };
    const auto code = [&](std::uint32_t value, int n) {  // Huffman codes go highest bit first
        for (int i = n - 1; i >= 0; --i) put(value >> i & 1, 1);
    };
    put(1, 1);                // last block
    put(1, 2);                // fixed codes
    code(0xC0 + 285 - 280, 8);  // length 258
    code(29, 5);              // distance 24577 and up
    put(32768 - 24577, 13);
    code(0, 7);  // end of block
    put(0, 7);   // to the byte
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

TEST(MszipBlocks, HistoryIsTheWholePreviousBlock) {
    // A match may copy from the very first byte of a full block before; after
    // a short block it reaches past the history there is.
    const std::string first = Noise(32768);
    MszipBlockDecoder decoder;
    bool ok = false;
    EXPECT_EQ(first, Decode(decoder, MszipBlock(first), 32768, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(first.substr(0, 258), Decode(decoder, FarthestMatchBlock(), 258, &ok));
    EXPECT_TRUE(ok);
    Decode(decoder, MszipBlock(first.substr(0, 100)), 100, &ok);
    EXPECT_TRUE(ok);
    Decode(decoder, FarthestMatchBlock(), 258, &ok);
    EXPECT_FALSE(ok);
}

TEST(MszipBlocks, StreamsWithoutTheFinalMarkEndAtTheirExpectedSize) {
    // A sync flush ends on a byte boundary; a partial flush leaves 0 to 7
    // bits of the last byte unused, depending on the text: lengths 1 to 40
    // meet each of those. Each block refers back into the one before.
    for (const int flush : {Z_SYNC_FLUSH, Z_PARTIAL_FLUSH}) {
        MszipBlockDecoder decoder;
        std::string previous;
        for (std::size_t size = 1; size <= 40; ++size) {
            const std::string text = Noise(300 + size).substr(300) + previous.substr(0, 50);
            bool ok = false;
            EXPECT_EQ(text, Decode(decoder, MszipBlock(text, previous, flush), text.size(), &ok))
                << "flush " << flush << ", size " << size;
            EXPECT_TRUE(ok) << "flush " << flush << ", size " << size;
            previous = text;
        }
        // Such a stream still ends where it ends: it holds no byte more.
        bool ok = true;
        decoder.Restart();
        Decode(decoder, MszipBlock(previous, {}, flush), previous.size() + 1, &ok);
        EXPECT_FALSE(ok);
    }
}
