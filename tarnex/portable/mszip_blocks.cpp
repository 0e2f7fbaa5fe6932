#include "portable/mszip_blocks.h"

#include <cstring>

#include <zlib.h>

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

struct MszipBlockDecoder::Stream {
    z_stream z{};
    bool ready = false;
    Stream() { ready = inflateInit2(&z, -MAX_WBITS) == Z_OK; }
    ~Stream() {
        if (ready) inflateEnd(&z);
    }
};

MszipBlockDecoder::MszipBlockDecoder() : stream_(std::make_unique<Stream>()), history_{} {}

MszipBlockDecoder::~MszipBlockDecoder() = default;

bool MszipBlockDecoder::Ready() const { return stream_->ready; }

void MszipBlockDecoder::Restart() { historySize_ = 0; }

bool MszipBlockDecoder::Decode(const std::uint8_t* data, std::size_t size, std::uint8_t* out,
                               std::size_t expected) {
    if (!stream_->ready || expected == 0 || expected > kCabBlockMax || size < 2 || data[0] != 'C' ||
        data[1] != 'K')
        return false;
    z_stream& z = stream_->z;
    if (inflateReset(&z) != Z_OK) return false;
    // Each block is a deflate stream of its own whose matches may reach back
    // into the output of the block before it.
    if (historySize_ > 0 && inflateSetDictionary(&z, history_, static_cast<uInt>(historySize_)) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef*>(data + 2);
    z.avail_in = static_cast<uInt>(size - 2);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(expected);
    const int result = inflate(&z, Z_FINISH);
    // A block ends with the last deflate block of its stream; a stream that
    // stops exactly at the block's expected size without that mark is taken
    // as ended, as long as it used up its input.
    const bool ended = result == Z_STREAM_END || ((result == Z_OK || result == Z_BUF_ERROR) && z.avail_in == 0);
    if (!ended || z.avail_out != 0) {
        historySize_ = 0;
        return false;
    }
    std::memcpy(history_, out, expected);
    historySize_ = expected;
    return true;
}

}  // namespace tarnex
