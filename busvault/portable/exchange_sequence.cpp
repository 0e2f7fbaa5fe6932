#include "exchange_sequence.h"

#include "exchange_rules.h"

namespace busvault {
namespace {

class TimedPort {
public:
    TimedPort(ExchangePort& port, std::int64_t frequency, ExchangeCounts& stats)
        : port_(port), frequency_(frequency), stats_(stats) {}

    bool Write(std::uint8_t* request, std::uint32_t count) {
        const std::int64_t before = port_.Counter();
        const bool ok = port_.Write(request, count);
        const std::uint32_t elapsed = ElapsedMs(before, port_.Counter(), frequency_);
        stats_.bytesWritten = count;
        stats_.writeMs = elapsed;
        stats_.totalMs += elapsed;
        return ok;
    }

    // The reply length changes only when the read completed.
    bool Read(std::uint8_t* reply, std::uint32_t& replyLength) {
        std::uint32_t count = replyLength;
        const std::int64_t before = port_.Counter();
        const bool ok = port_.Read(reply, count);
        const std::uint32_t elapsed = ElapsedMs(before, port_.Counter(), frequency_);
        stats_.bytesRead = count;
        stats_.readMs = elapsed;
        stats_.totalMs += elapsed;
        if (ok) replyLength = count;
        return ok;
    }

private:
    ExchangePort& port_;
    std::int64_t frequency_;
    ExchangeCounts& stats_;
};

// Discards what a failed exchange left on the line (a late reply, noise):
// short reads, each asking for what the last one brought, until one brings
// nothing; never more than the caller's buffer holds.
void DrainStaleInput(ExchangePort& port, std::uint8_t* reply, std::uint32_t capacity) {
    std::uint32_t count = capacity < kDrainChunk ? capacity : kDrainChunk;
    for (std::uint32_t reads = 0; reads < kMaxDrainReads && count != 0; ++reads) port.Read(reply, count);
}

}  // namespace

std::uint32_t RunExchange(ExchangePort& port, std::int64_t frequency, std::uint32_t previousStatus,
                          std::uint32_t attempts, const ExchangeRequest& exchange, ExchangeCounts& stats) {
    stats = ExchangeCounts{};
    TimedPort timed(port, frequency, stats);
    // One try per exchange: a device that stays away costs one failed open
    // per call, and one that is back is read at once.
    port.ReopenIfLost();

    bool ok = true;
    if (previousStatus != kStatusOk) {
        std::uint32_t waitMs = 0, intervalMs = 0;
        ok = port.GetTimeouts(waitMs, intervalMs);
        if (ok) {
            port.SetTimeouts(kDrainTimeoutMs, kDrainTimeoutMs);
            DrainStaleInput(port, exchange.reply, *exchange.replyLength);
            port.SetTimeouts(waitMs, intervalMs);
        }
    }
    if (ok) ok = timed.Write(exchange.request, exchange.requestLength);
    if (ok) {
        const std::uint32_t limit = ReadLimit(attempts);
        while (stats.attempts < limit) {
            ++stats.attempts;
            ok = timed.Read(exchange.reply, *exchange.replyLength);
            if (ok) break;
            if (port.State() == kPortNotOpen) break;  // the device went away: nothing more to read
            if (ResendAfterRead(stats.attempts, limit) && !timed.Write(exchange.request, exchange.requestLength)) break;
        }
    }
    return ok ? kStatusOk : StatusFromPortState(port.State());
}

}  // namespace busvault
