// The data blocks of an MSZIP folder in a cabinet: the 8-byte block header
// (checksum, compressed and uncompressed size), the cabinet checksum, and
// the decoding of a block, a raw deflate stream after the "CK" signature
// that may refer back into the previous block's output. Portable; the
// inflating is libdeflate's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct libdeflate_decompressor;

namespace tarnex {

inline constexpr std::size_t kCabBlockHeader = 8;
inline constexpr std::size_t kCabBlockMax = 32768;                  // uncompressed bytes of one block
inline constexpr std::size_t kCabBlockInputMax = kCabBlockMax + 6144;  // compressed bytes of one block

struct CabBlockHeader {
    std::uint32_t checksum = 0;  // 0: none stored
    std::uint16_t compressed = 0;
    std::uint16_t uncompressed = 0;
};

CabBlockHeader ParseBlockHeader(const std::uint8_t (&bytes)[kCabBlockHeader]);

// True when the header's sizes are within a cabinet's limits (a block that
// expands to nothing continues in another cabinet, which is not served here).
bool BlockSizesValid(const CabBlockHeader& header);

// The cabinet format's checksum of a block: its data, then the two size
// fields of its header; true when it matches or none is stored.
bool BlockChecksumMatches(const CabBlockHeader& header, const std::uint8_t (&bytes)[kCabBlockHeader],
                          const std::uint8_t* data);

// Decodes the blocks of one folder in order. Not copyable (owns libdeflate's
// decompressor and its buffers, allocated once).
class MszipBlockDecoder {
public:
    MszipBlockDecoder();
    ~MszipBlockDecoder();
    MszipBlockDecoder(const MszipBlockDecoder&) = delete;
    MszipBlockDecoder& operator=(const MszipBlockDecoder&) = delete;

    // False when the decompressor or its buffers could not be allocated.
    bool Ready() const;
    // The folder starts again from its first block (no history).
    void Restart();
    // Decodes the block's data (compressed bytes) into out, which must hold
    // expected bytes (at most kCabBlockMax). False unless the block is a
    // well-formed MSZIP block that yields exactly expected bytes; after a
    // failure the folder must be restarted before the next block.
    bool Decode(const std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t expected);

private:
    struct Scratch;
    struct DecompressorFree {
        void operator()(libdeflate_decompressor* decompressor) const;
    };
    bool Inflate(const std::uint8_t* deflate, std::size_t size, std::size_t expected);

    std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor_;
    std::unique_ptr<Scratch> scratch_;
    std::size_t historySize_ = 0;
};

}  // namespace tarnex
