// Where each part of a single-file package lies, worked out from the parts'
// sizes before a byte of it is written: a package too large for the form is
// refused before the tool spends minutes copying it.
#pragma once

#include <cstdint>
#include <vector>

namespace pack {

// Room left for the certificate table of a signed single file: a signature
// with its certificate chain and a time stamp takes a few kilobytes.
inline constexpr std::uint64_t kSignatureAllowance = 64u << 10;

struct SingleFileLayout {
    std::uint64_t filesStart = 0;        // the program image, padded
    std::vector<std::uint64_t> offsets;  // each file's, in the index's order
    std::uint64_t indexOffset = 0;
    std::uint64_t end = 0;    // after the index block: the unsigned file's size
    std::uint64_t limit = 0;  // what end may reach (less the signature's room when signed)
};

// The layout of a program image of imageSize bytes followed by files of
// those sizes and an index text of indexTextSize bytes. False when the
// file, with room for a signature when withSignature, would be larger than
// the form allows (tarnex::kLargestSingleFile); the layout then still says
// how large it would be.
bool LayOutSingleFile(std::uint64_t imageSize, const std::vector<std::uint64_t>& fileSizes, std::uint64_t indexTextSize,
                      bool withSignature, SingleFileLayout& layout);

}  // namespace pack
