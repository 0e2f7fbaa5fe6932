#include "frame_codec.h"

#include <cstring>

namespace tovframe {

std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t count) noexcept {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i] + 1u;
    return static_cast<std::uint8_t>(sum);
}

bool IsControlByte(std::uint8_t b) noexcept {
    return b == kSyn || b == kStx || b == kEtx || b == kDle;
}

std::size_t BuildRequest(const tagSpdDevDsc& device, std::size_t pack, bool addressed, std::uint8_t address,
                         std::uint8_t* buffer) noexcept {
    std::size_t n = 0;
    for (int i = 0; i < 5; ++i) buffer[n++] = kSyn;
    const std::size_t stx = n;
    buffer[n++] = kStx;
    if (addressed) {
        buffer[n++] = static_cast<std::uint8_t>(device.type & 0xFF);
        buffer[n++] = address;
    }
    buffer[n++] = kCommand;
    buffer[n++] = device.packs[pack].code;
    buffer[n] = FrameChecksum(buffer + stx, n - stx);
    ++n;

    // Escape the body (everything after the STX, checksum included): shift
    // the rest right and put a DLE before each control byte.
    for (std::size_t i = stx + 1; i < n; ++i) {
        if (IsControlByte(buffer[i])) {
            std::memmove(buffer + i + 1, buffer + i, n - i);
            buffer[i] = kDle;
            ++n;
            ++i;  // step over the escaped byte
        }
    }
    buffer[n++] = kEtx;
    return n;
}

unsigned long AnalyseReply(const tagSpdDevDsc& device, std::uint8_t* buffer, std::size_t bufferSize,
                           std::size_t received, bool addressed, ReplyView& view) noexcept {
    if (received <= 6 || received >= bufferSize) return TOV_E_FRAME;
    std::size_t etx = received - 1;
    if (buffer[etx] != kEtx) return TOV_E_FRAME;

    std::size_t stx = 0;
    while (stx < etx && (buffer[stx] == kSyn || buffer[stx] == 0x00)) ++stx;
    if (stx == etx || buffer[stx] != kStx) return TOV_E_FRAME;

    // Remove the escapes in place, in one pass: each DLE goes, the byte after
    // it stays as data. A DLE just before the ETX escapes the ETX itself,
    // which leaves the frame without its closing byte. The bytes freed at the
    // end read ETX, as the frame's end moved down over them.
    std::size_t out = stx;
    for (std::size_t in = stx; in < etx; ++in) {
        if (buffer[in] == kDle && ++in == etx) return TOV_E_FRAME;
        buffer[out++] = buffer[in];
    }
    for (std::size_t i = out; i <= etx; ++i) buffer[i] = kEtx;
    etx = out;

    const std::size_t checksumAt = etx - 1;  // >= stx: the STX stands before the ETX
    if (FrameChecksum(buffer + stx, checksumAt - stx) != buffer[checksumAt]) return TOV_E_CHECKSUM;

    const std::size_t codeAt = stx + (addressed ? 4 : 2);
    if (codeAt >= checksumAt) return TOV_E_FRAME;  // too short to hold a code before the checksum
    const std::uint8_t code = buffer[codeAt];
    std::size_t pack = 0;
    while (pack < device.packCount && device.packs[pack].code != code) ++pack;
    if (pack == device.packCount) return TOV_E_FRAME;

    const std::size_t dataLength = checksumAt - (codeAt + 1);
    if (dataLength != 0 && dataLength != device.packs[pack].dataLength) return TOV_E_FRAME;

    view.pack = pack;
    view.dataOffset = codeAt + 1;
    view.dataLength = dataLength;
    view.address = addressed ? buffer[stx + 2] : 0;
    return TOV_OK;
}

}  // namespace tovframe
