// The arithmetic of the store: handles and slots, the read-attempt limit and
// re-send schedule of an exchange, the status a failed exchange records, and
// the counter-to-milliseconds conversion. Portable: no Windows header.
#pragma once

#include <cstdint>

namespace busvault {

inline constexpr std::uint32_t kSlotCount = 255;  // slots 1..255; slot 0 is never used
inline constexpr std::uint32_t kSerialKind = 10;

inline constexpr std::uint32_t kStatusOk = 0xFFFF0000u;
inline constexpr std::uint32_t kStatusBadHandle = 0xFFFF0001u;
inline constexpr std::uint32_t kStatusNoReply = 0xFFFF0002u;
inline constexpr std::uint32_t kStatusNotOpen = 0xFFFF0003u;
inline constexpr std::uint32_t kStatusWriteTimeout = 2u;

inline constexpr std::uint32_t kPortReady = 0;
inline constexpr std::uint32_t kPortReadTimeout = 1;
inline constexpr std::uint32_t kPortWriteTimeout = 2;
inline constexpr std::uint32_t kPortReopened = 3;
inline constexpr std::uint32_t kPortNotOpen = 0xFFFF;

constexpr bool HandleInRange(std::uint32_t handle) { return handle >= 1 && handle <= kSlotCount; }
// Handle h lives in slot 256 - h, so the first free slot from 1 upward gives
// the highest free handle.
constexpr std::uint32_t SlotOfHandle(std::uint32_t handle) { return 256 - handle; }
constexpr std::uint32_t HandleOfSlot(std::uint32_t slot) { return 256 - slot; }

// Reads an exchange may make: the attempts rounded up to a multiple of 3.
// 0xFFFFFFFF is itself a multiple of 3, so the result always fits.
constexpr std::uint32_t ReadLimit(std::uint32_t attempts) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(attempts) + 2) / 3 * 3);
}

// After the read numbered `made` (from 1) failed: re-send the request after
// every third failed read, but not after the last one.
constexpr bool ResendAfterRead(std::uint32_t made, std::uint32_t limit) {
    return made > 2 && made % 3 == 0 && made < limit;
}

// The status a failed exchange records, from the port's state.
constexpr std::uint32_t StatusFromPortState(std::uint32_t state) {
    switch (state) {
    case kPortReadTimeout: return kStatusNoReply;
    case kPortWriteTimeout: return kStatusWriteTimeout;
    case kPortNotOpen: return kStatusNotOpen;
    default: return kStatusOk;
    }
}

// (after - before) * 1000 / frequency in signed 64-bit arithmetic, truncated
// to 32 bits; 0 without a high-resolution counter.
constexpr std::uint32_t ElapsedMs(std::int64_t before, std::int64_t after, std::int64_t frequency) {
    if (frequency == 0) return 0;
    return static_cast<std::uint32_t>((after - before) * 1000 / frequency);
}

}  // namespace busvault
