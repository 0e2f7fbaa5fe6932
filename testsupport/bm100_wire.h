// An independent BM100 line encoder for tests and the gauge simulator: builds
// reply frames (and parses request frames) without using the library's codec,
// so the two can check each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace bm100wire {

inline bool NeedsEscape(std::uint8_t b) { return b == 0x02 || b == 0x03 || b == 0x10 || b == 0x16; }

inline std::uint8_t Checksum(const std::vector<std::uint8_t>& body) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : body) sum = static_cast<std::uint8_t>(sum + b + 1);
    return sum;
}

// STX, [0xB0, address], command, code, data..., checksum (escaped), ETX,
// after `leading` bytes of preamble.
inline std::vector<std::uint8_t> EncodeReply(std::uint8_t code, const std::vector<std::uint8_t>& data,
                                             bool addressed, std::uint8_t address,
                                             const std::vector<std::uint8_t>& leading = {0x16, 0x16},
                                             std::uint8_t command = 0x02) {
    std::vector<std::uint8_t> body{0x02};
    if (addressed) {
        body.push_back(0xB0);
        body.push_back(address);
    }
    body.push_back(command);
    body.push_back(code);
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(Checksum(body));

    std::vector<std::uint8_t> frame(leading);
    frame.push_back(0x02);
    for (std::size_t i = 1; i < body.size(); ++i) {
        if (NeedsEscape(body[i])) frame.push_back(0x10);
        frame.push_back(body[i]);
    }
    frame.push_back(0x03);
    return frame;
}

struct Request {
    bool addressed = false;
    std::uint8_t address = 0;
    std::uint8_t code = 0;
};

// Parses one request frame (SYN preamble, STX, body, checksum, ETX). Returns
// nothing for a frame that is not a well-formed request.
inline std::optional<Request> DecodeRequest(const std::vector<std::uint8_t>& frame) {
    std::size_t i = 0;
    while (i < frame.size() && frame[i] == 0x16) ++i;
    if (i >= frame.size() || frame[i] != 0x02) return std::nullopt;
    std::vector<std::uint8_t> body{0x02};
    for (++i; i < frame.size(); ++i) {
        std::uint8_t b = frame[i];
        if (b == 0x03) break;
        if (b == 0x10) {
            if (++i >= frame.size()) return std::nullopt;
            b = frame[i];
        }
        body.push_back(b);
    }
    if (i >= frame.size()) return std::nullopt;  // no ETX
    if (body.size() != 4 && body.size() != 6) return std::nullopt;
    const std::uint8_t sum = body.back();
    body.pop_back();
    if (Checksum(body) != sum) return std::nullopt;
    Request r;
    r.addressed = body.size() == 5;
    if (r.addressed) r.address = body[2];
    r.code = body.back();
    return r;
}

}  // namespace bm100wire
