// libFuzzer target: reply analysis on arbitrary bytes. The first input byte
// picks the addressed flag; the rest is the received frame, placed in a block
// of exactly its own length so that any access past it is caught.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bm100_tables.h"
#include "frame_codec.h"

namespace {

// The escape rule written plainly, byte by byte: the frame from its STX on,
// each DLE dropped and the byte after it kept, the closing ETX left out.
std::vector<std::uint8_t> Unescaped(const std::vector<std::uint8_t>& frame) {
    std::size_t i = 0;
    while (i < frame.size() && (frame[i] == tovframe::kSyn || frame[i] == 0x00)) ++i;
    std::vector<std::uint8_t> body;
    for (; i + 1 < frame.size(); ++i) {
        if (frame[i] == tovframe::kDle) ++i;
        body.push_back(frame[i]);
    }
    return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 1) return 0;
    const bool addressed = (input[0] & 1) != 0;
    std::vector<std::uint8_t> frame(input + 1, input + size);
    const std::vector<std::uint8_t> received = frame;
    tovframe::ReplyView view;
    const unsigned long result = tovframe::AnalyseReply(tovframe::kBm100Device, frame.data(),
                                                        tovframe::kFrameBufferSize, frame.size(), addressed, view);
    if (result == TOV_OK) {
        // The reported data lie inside the frame and match the packet.
        const tagSpdPackDsc& p = tovframe::kBm100Device.packs[view.pack];
        if (view.dataLength != 0 && view.dataLength != p.dataLength) __builtin_trap();
        if (view.dataOffset + view.dataLength > frame.size()) __builtin_trap();
    }
    if (result == TOV_OK || result == TOV_E_CHECKSUM) {
        // The buffer holds the unescaped body where the frame began, then ETX
        // bytes to the frame's old end.
        const std::vector<std::uint8_t> body = Unescaped(received);
        std::size_t stx = 0;
        while (received[stx] != tovframe::kStx) ++stx;
        if (!std::equal(body.begin(), body.end(), frame.begin() + static_cast<std::ptrdiff_t>(stx))) __builtin_trap();
        for (std::size_t i = stx + body.size(); i < frame.size(); ++i)
            if (frame[i] != tovframe::kEtx) __builtin_trap();
        // The body's last byte is the sum of the bytes before it, each
        // counted as value + 1, exactly when the result says so.
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < body.size(); ++i) sum += body[i] + 1u;
        if ((static_cast<std::uint8_t>(sum) == body.back()) != (result == TOV_OK)) __builtin_trap();
    }
    return 0;
}
