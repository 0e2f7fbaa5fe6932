// BM100 line framing: building request frames and analysing reply frames in
// a caller's buffer. Plain C++ with no system calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tovframe.h"

namespace tovframe {

inline constexpr std::uint8_t kSyn = 0x16;
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kCommand = 0x02;

// Longest request: 5 SYN, STX, 6 body bytes each escaped, ETX.
inline constexpr std::size_t kMaxRequestLength = 5 + 1 + 2 * 6 + 1;

// The 8-bit sum of the bytes plus their count (each byte counts as value + 1).
std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t count) noexcept;

bool IsControlByte(std::uint8_t b) noexcept;

// Writes the request for packet `pack` of `device` at the start of `buffer`
// and returns its length. The caller has checked the pack index; the buffer
// holds at least kMaxRequestLength bytes.
std::size_t BuildRequest(const tagSpdDevDsc& device, std::size_t pack, bool addressed, std::uint8_t address,
                         std::uint8_t* buffer) noexcept;

struct ReplyView {
    std::size_t pack = 0;         // index of the packet found
    std::size_t dataOffset = 0;   // of the first data byte in the buffer
    std::size_t dataLength = 0;   // the packet's data length, or 0
    std::uint8_t address = 0;     // the reply's address byte when addressed, else 0
};

// Checks and takes apart the reply of `received` bytes at the start of a
// buffer of `bufferSize` bytes. Escapes are removed in place, so the buffer
// changes even when the result is an error. Returns TOV_OK, TOV_E_FRAME or
// TOV_E_CHECKSUM; never reads or writes outside [buffer, buffer+received).
unsigned long AnalyseReply(const tagSpdDevDsc& device, std::uint8_t* buffer, std::size_t bufferSize,
                           std::size_t received, bool addressed, ReplyView& view) noexcept;

}  // namespace tovframe
