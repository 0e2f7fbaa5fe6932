#include "portable/mszip_blocks.h"

#include <cstring>

#include <libdeflate.h>

namespace tarnex {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The cabinet format's checksum: the XOR of the data taken as little-endian
// 32-bit words; the one to three bytes left over form a last word with the
// first of them in the highest position used.
std::uint32_t Checksum(const std::uint8_t* data, std::size_t size, std::uint32_t seed) {
    std::uint32_t sum = seed;
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) sum ^= Le32(data + i);
    std::uint32_t tail = 0;
    for (; i < size; ++i) tail = (tail << 8) | data[i];
    return sum ^ tail;
}

}  // namespace

CabBlockHeader ParseBlockHeader(const std::uint8_t (&bytes)[kCabBlockHeader]) {
    CabBlockHeader header;
    header.checksum = Le32(bytes);
    header.compressed = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
    header.uncompressed = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
    return header;
}

bool BlockSizesValid(const CabBlockHeader& header) {
    return header.compressed <= kCabBlockInputMax && header.uncompressed != 0 && header.uncompressed <= kCabBlockMax;
}

bool BlockChecksumMatches(const CabBlockHeader& header, const std::uint8_t (&bytes)[kCabBlockHeader],
                          const std::uint8_t* data) {
    if (header.checksum == 0) return true;
    return Checksum(bytes + 4, 4, Checksum(data, header.compressed, 0)) == header.checksum;
}

// libdeflate has no dictionary to carry a block's history: the history goes
// into the input instead, as a deflate stored block (not the last) holding
// the previous block's output; the block's own deflate data follows it byte
// for byte, since a stored block ends on a byte boundary. The output is the
// history again, then the block.
namespace {

// The stored block's header: 3 bits (not last, stored) padded to a byte, then
// the length and its complement, little-endian.
constexpr std::size_t kStoredHeader = 5;

// Appended to the block's data for a stream that stops at the end of a block
// without the final-block mark: an empty stored block that is not the last,
// then an empty last one. Where the data stops within a byte, its unused
// (zero) bits read as the header of a stored block, whose length is then
// read from the next byte boundary; fewer than 3 of them take bits of the
// next byte. A stream cut inside the empty block that a flush leaves at its
// end reads zeros as that block's end. So the ending is tried after 0, 1 and
// 2 zero bytes: one of them puts a stored block's length where it is read.
constexpr std::uint8_t kEnding[] = {0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0xFF, 0xFF};
constexpr std::size_t kEndingGapMax = 2;

}  // namespace

// Sized for the longest history, data and ending that Decode lets through.
struct MszipBlockDecoder::Scratch {
    std::uint8_t input[kStoredHeader + kCabBlockMax + kCabBlockInputMax + kEndingGapMax + sizeof kEnding];
    std::uint8_t output[2 * kCabBlockMax];  // the history, then the block
};

void MszipBlockDecoder::DecompressorFree::operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
}

MszipBlockDecoder::MszipBlockDecoder()
    : decompressor_(libdeflate_alloc_decompressor()), scratch_(std::make_unique<Scratch>()) {}

MszipBlockDecoder::~MszipBlockDecoder() = default;

bool MszipBlockDecoder::Ready() const { return decompressor_ != nullptr && scratch_ != nullptr; }

void MszipBlockDecoder::Restart() { historySize_ = 0; }

bool MszipBlockDecoder::Inflate(const std::uint8_t* deflate, std::size_t size, std::size_t expected) {
    std::uint8_t* const input = scratch_->input;
    const std::size_t history = historySize_;  // already in place after the header
    input[0] = 0;
    input[1] = static_cast<std::uint8_t>(history);
    input[2] = static_cast<std::uint8_t>(history >> 8);
    input[3] = static_cast<std::uint8_t>(~history);
    input[4] = static_cast<std::uint8_t>(~history >> 8);
    std::uint8_t* const end = input + kStoredHeader + history + size;
    std::memcpy(input + kStoredHeader + history, deflate, size);
    const std::size_t outputSize = history + expected;
    for (std::size_t gap = 0;; ++gap) {
        std::memset(end, 0, gap);
        std::memcpy(end + gap, kEnding, sizeof kEnding);
        std::size_t produced = 0;
        const libdeflate_result result =
            libdeflate_deflate_decompress_ex(decompressor_.get(), input, end + gap + sizeof kEnding - input,
                                             scratch_->output, outputSize, nullptr, &produced);
        if (result != LIBDEFLATE_BAD_DATA || gap == kEndingGapMax)
            return result == LIBDEFLATE_SUCCESS && produced == outputSize;
    }
}

bool MszipBlockDecoder::Decode(const std::uint8_t* data, std::size_t size, std::uint8_t* out,
                               std::size_t expected) {
    // A block ends with the last deflate block of its stream; a stream that
    // stops exactly at the block's expected size without that mark is taken
    // as ended, as long as it used up its input (kEnding ends it).
    const bool decoded = Ready() && expected != 0 && expected <= kCabBlockMax && size >= 2 &&
                         size <= kCabBlockInputMax && data[0] == 'C' && data[1] == 'K' &&
                         Inflate(data + 2, size - 2, expected);
    if (!decoded) {
        historySize_ = 0;
        return false;
    }
    std::memcpy(out, scratch_->output + historySize_, expected);
    // The next block's history, right after its stored block's header.
    std::memcpy(scratch_->input + kStoredHeader, out, expected);
    historySize_ = expected;
    return true;
}

}  // namespace tarnex
