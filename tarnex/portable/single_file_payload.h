// The payload of a single-file package: the package folder's files carried
// inside the installer program itself, after its last section and before its
// certificate table, where the program's Authenticode signature covers them.
//
// The payload, from a multiple of 8 after the program image:
//   each file's bytes in the order of the index, each followed by zero bytes
//   up to a multiple of 8;
//   the index: a seal's text (name, size and SHA-256 of every file, the
//   description named), so the unpacking checks every byte it writes;
//   the index's length (4 bytes little-endian), where the first file starts
//   in the program (8 bytes little-endian) and the 8 bytes "TXPACK01";
//   up to 7 zero bytes, so that a certificate table follows at a multiple
//   of 8.
// Nothing lies between the files and the index: the files' padded sizes
// account for every byte from the first file to the index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "portable/package_seal.h"

namespace tarnex {

inline constexpr std::size_t kPayloadTrailer = 20;  // the two lengths and the mark
inline constexpr std::size_t kPayloadTail = kPayloadTrailer + 7;
// Authenticode keeps the certificate table's offset in 32 bits, and the
// 32-bit installer seeks with signed offsets: a single file stays below 2 GB.
inline constexpr std::uint64_t kLargestSingleFile = 0x7FFFFFFFu;

// A file's bytes with the zero bytes that follow them.
constexpr std::uint64_t PaddedSize(std::uint64_t size) { return size + (8 - size % 8) % 8; }

// Where the payload's index and first file lie in the program.
struct PayloadSpan {
    std::uint64_t filesStart = 0;
    std::uint64_t indexOffset = 0;
    std::uint32_t indexLength = 0;
};

// The block written after the last file: the index, the trailer and the
// padding; indexOffset is where the index starts in the program.
std::string PayloadIndexBlock(const PackageSeal& index, std::uint64_t filesStart, std::uint64_t indexOffset);

// The payload's span, from the last bytes before the image's content end
// (kPayloadTail of them, fewer in a shorter image): false when they end in
// no payload trailer, or the index or the files would not fit before them.
bool FindPayloadSpan(std::string_view lastBytes, std::uint64_t contentEnd, PayloadSpan& span);

struct Payload {
    PackageSeal index;
    std::vector<std::uint64_t> offsets;  // where each file of the index starts in the program
};

// Reads the index found at span: false when it is no seal's text, or its
// files' padded sizes do not add up to the bytes between the first file and
// the index.
bool LayOutPayload(std::string_view indexText, const PayloadSpan& span, Payload& payload);

}  // namespace tarnex
