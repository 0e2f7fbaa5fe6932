// The MSZIP block reading of the cabinet transfer on any bytes: the input is
// taken as a folder's data blocks, each an 8-byte header and its data, read
// and decoded as the transfer reads them, history included.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "portable/mszip_blocks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnex::MszipBlockDecoder decoder;
    if (!decoder.Ready()) return 0;
    std::vector<std::uint8_t> out(tarnex::kCabBlockMax);
    std::size_t at = 0;
    while (size - at >= tarnex::kCabBlockHeader) {
        std::uint8_t bytes[tarnex::kCabBlockHeader];
        std::memcpy(bytes, data + at, sizeof bytes);
        at += sizeof bytes;
        const tarnex::CabBlockHeader header = tarnex::ParseBlockHeader(bytes);
        if (!tarnex::BlockSizesValid(header) || header.compressed > size - at) break;
        const std::uint8_t* block = data + at;
        at += header.compressed;
        // Checksums are left unchecked half of the time, so that the
        // inflating is reached without the fuzzer having to forge them.
        if ((bytes[0] & 1) && !tarnex::BlockChecksumMatches(header, bytes, block)) break;
        if (!decoder.Decode(block, header.compressed, out.data(), header.uncompressed)) decoder.Restart();
    }
    return 0;
}
