#include "single_file_layout.h"

#include "portable/single_file_payload.h"

namespace pack {

bool LayOutSingleFile(std::uint64_t imageSize, const std::vector<std::uint64_t>& fileSizes, std::uint64_t indexTextSize,
                      bool withSignature, SingleFileLayout& layout) {
    layout = SingleFileLayout{};
    layout.limit = tarnex::kLargestSingleFile - (withSignature ? kSignatureAllowance : 0);
    // The sizes are files' sizes (below 2^63), so the sums do not wrap; a
    // size larger than 4 GB is added whole, never cut to 32 bits.
    std::uint64_t at = tarnex::PaddedSize(imageSize);
    layout.filesStart = at;
    for (const std::uint64_t size : fileSizes) {
        layout.offsets.push_back(at);
        at += tarnex::PaddedSize(size);
    }
    layout.indexOffset = at;
    layout.end = at + tarnex::PaddedSize(indexTextSize + tarnex::kPayloadTrailer);
    return layout.end <= layout.limit;
}

}  // namespace pack
