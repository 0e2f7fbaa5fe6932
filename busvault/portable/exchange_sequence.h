// One exchange on a link as a sequence of port calls: the reopening of a
// port whose device went away, the drain of stale input after a failed
// exchange, the write, the reads with their re-sends, the statistics and the
// status it ends with. The store runs it over the
// link's port object; tests and the fuzzer run it over made-up ports.
// Portable: no Windows header.
#pragma once

#include <cstdint>

namespace busvault {

// The six values of ExchangeStats, in its order.
struct ExchangeCounts {
    std::uint32_t bytesWritten = 0;
    std::uint32_t writeMs = 0;
    std::uint32_t bytesRead = 0;
    std::uint32_t readMs = 0;
    std::uint32_t totalMs = 0;
    std::uint32_t attempts = 0;
};

// What an exchange asks of a link's port.
class ExchangePort {
public:
    virtual ~ExchangePort() = default;
    // count: in, the bytes to move; out, the bytes moved. False when the
    // transfer did not complete within the port's wait time.
    virtual bool Write(std::uint8_t* bytes, std::uint32_t& count) = 0;
    virtual bool Read(std::uint8_t* bytes, std::uint32_t& count) = 0;
    virtual bool GetTimeouts(std::uint32_t& waitMs, std::uint32_t& intervalMs) = 0;
    virtual void SetTimeouts(std::uint32_t waitMs, std::uint32_t intervalMs) = 0;
    virtual std::uint32_t State() = 0;
    virtual std::int64_t Counter() = 0;  // the high-resolution counter
    // A port closed because its device went away opens it again, once; it
    // stays not open (and every call fails at once) while that fails.
    virtual void ReopenIfLost() = 0;
};

// The drain reads at most this much per read, with these time-outs.
inline constexpr std::uint32_t kDrainChunk = 255;
inline constexpr std::uint32_t kDrainTimeoutMs = 5;
// A device that never stops sending would keep the drain going for ever;
// this many reads (each bounded by the drain's wait) end it.
inline constexpr std::uint32_t kMaxDrainReads = 64;

struct ExchangeRequest {
    std::uint8_t* request = nullptr;
    std::uint32_t requestLength = 0;
    std::uint8_t* reply = nullptr;
    std::uint32_t* replyLength = nullptr;  // in: capacity; out: bytes received (only on success)
};

// Runs one exchange; previousStatus is the link's status before it,
// attempts its read-attempt setting, frequency the counter's (0: none).
// Returns the new status; stats receives what was done.
std::uint32_t RunExchange(ExchangePort& port, std::int64_t frequency, std::uint32_t previousStatus,
                          std::uint32_t attempts, const ExchangeRequest& exchange, ExchangeCounts& stats);

}  // namespace busvault
