// libFuzzer target: reply analysis on arbitrary bytes. The first input byte
// picks the addressed flag; the rest is the received frame, placed in a block
// of exactly its own length so that any access past it is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bm100_tables.h"
#include "frame_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 1) return 0;
    const bool addressed = (input[0] & 1) != 0;
    std::vector<std::uint8_t> frame(input + 1, input + size);
    tovframe::ReplyView view;
    const unsigned long result = tovframe::AnalyseReply(tovframe::kBm100Device, frame.data(),
                                                        tovframe::kFrameBufferSize, frame.size(), addressed, view);
    if (result == TOV_OK) {
        // The reported data lie inside the frame and match the packet.
        const tagSpdPackDsc& p = tovframe::kBm100Device.packs[view.pack];
        if (view.dataLength != 0 && view.dataLength != p.dataLength) __builtin_trap();
        if (view.dataOffset + view.dataLength > frame.size()) __builtin_trap();
    }
    return 0;
}
