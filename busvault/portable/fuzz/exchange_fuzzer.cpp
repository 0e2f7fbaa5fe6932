// libFuzzer target: one exchange over a made-up port whose every answer
// (completed or not, bytes moved, time taken, state) comes from the input.
// The checks are the exchange's promises to a client: reads and re-sends as
// scheduled, the reply length changed only by a completed read and never
// beyond the buffer, the drain bounded and the link's time-outs restored,
// the statistics made of the measured calls, the status from the outcome;
// one reopening of a lost port first, and nothing more asked of a port whose
// device went away during the exchange.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "exchange_rules.h"
#include "exchange_sequence.h"

namespace {

using namespace busvault;

#define Require(condition)                                                    \
    do {                                                                      \
        if (!(condition)) {                                                   \
            std::fprintf(stderr, "exchange_fuzzer: %s (line %d)\n", #condition, __LINE__); \
            __builtin_trap();                                                 \
        }                                                                     \
    } while (false)

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class ScriptedPort final : public ExchangePort {
public:
    ScriptedPort(Script& script, std::uint32_t waitMs, std::uint32_t intervalMs, bool babbler)
        : script_(script), waitMs_(waitMs), intervalMs_(intervalMs), babbler_(babbler) {}

    bool Write(std::uint8_t* bytes, std::uint32_t& count) override {
        Require(!draining());
        Require(reopenings == 1);
        if (notOpen) return NotOpen(count);
        Require(bytes != nullptr);
        const std::uint8_t how = script_.Next();
        // An exhausted script is a device that takes every request.
        const bool ok = script_.Empty() || (how & 1) == 0;
        count = ok ? count : count * (how >> 1) / 127;
        state_ = ok ? kPortReady : kPortWriteTimeout;
        ops.push_back({'w', ok, count, !ok && Lose(how)});
        return ok;
    }

    bool Read(std::uint8_t* bytes, std::uint32_t& count) override {
        Require(count <= capacity);
        Require(reopenings == 1);
        if (notOpen) return NotOpen(count);
        for (std::uint32_t i = 0; i < count; ++i) bytes[i] = 0xA5;  // the buffer is exactly `capacity` long
        if (draining()) {
            ++drainReads;
            // Each drain read asks for what the one before brought.
            Require(count <= kDrainChunk && count <= lastDrained_);
            Require(waitMs_ == kDrainTimeoutMs && intervalMs_ == kDrainTimeoutMs);
            if (!babbler_) count = script_.Empty() ? 0 : count * script_.Next() / 255;
            lastDrained_ = count;
            state_ = count != 0 ? kPortReady : kPortReadTimeout;
            return count != 0;
        }
        const std::uint8_t how = script_.Next();
        // An exhausted script is a silent device.
        const bool ok = !script_.Empty() && (how & 1) == 1;
        count = count * (how >> 1) / 127;
        state_ = ok ? kPortReady : kPortReadTimeout;
        ops.push_back({'r', ok, count, !ok && Lose(how)});
        return ok;
    }

    bool GetTimeouts(std::uint32_t& waitMs, std::uint32_t& intervalMs) override {
        Require(reopenings == 1);
        if (notOpen && !wasLost) return false;  // a lost port keeps the link's time-outs
        waitMs = waitMs_;
        intervalMs = intervalMs_;
        return true;
    }
    void SetTimeouts(std::uint32_t waitMs, std::uint32_t intervalMs) override {
        waitMs_ = waitMs;
        intervalMs_ = intervalMs;
        ++timeoutChanges;
    }
    std::uint32_t State() override { return notOpen ? kPortNotOpen : state_; }
    void ReopenIfLost() override {
        Require(reopenings++ == 0 && ops.empty() && timeoutChanges == 0);
        if (wasLost && reopenSucceeds) notOpen = false;
    }
    std::int64_t Counter() override {
        counter_ += script_.Next();  // a counter that only moves on
        return counter_;
    }

    bool draining() const { return timeoutChanges == 1; }
    std::uint32_t wait() const { return waitMs_; }
    std::uint32_t interval() const { return intervalMs_; }

    struct Op {
        char kind;
        bool ok;
        std::uint32_t count;
        bool lost;  // the device went away during this transfer
    };
    std::vector<Op> ops;
    std::uint32_t capacity = 0;
    std::uint32_t drainReads = 0;
    int timeoutChanges = 0;
    int reopenings = 0;
    int callsWhileNotOpen = 0;
    bool notOpen = false;  // a port not open: every call fails at once
    bool wasLost = false;  // closed because its device went away
    bool reopenSucceeds = false;
    bool devicesGoAway = false;

private:
    bool NotOpen(std::uint32_t& count) {
        ++callsWhileNotOpen;
        count = 0;
        return false;
    }
    // A failed transfer whose script says so lost the device: the port is
    // closed from here on.
    bool Lose(std::uint8_t how) {
        if (!devicesGoAway || (how & 0x80) == 0) return false;
        notOpen = true;
        return true;
    }

    Script& script_;
    std::uint32_t waitMs_, intervalMs_;
    bool babbler_;
    std::uint32_t state_ = kPortReady;
    std::uint32_t lastDrained_ = 0xFFFFFFFFu;
    std::int64_t counter_ = 1'000'000;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    Script script(data, size);
    const std::uint32_t attempts = script.Next() % 16;
    const std::uint8_t flags = script.Next();
    const std::uint32_t capacity = script.Next() + (flags & 0x80 ? 256u : 0u);
    const std::uint32_t waitMs = 10 + script.Next();
    const bool previousFailed = (flags & 1) != 0;
    const bool babbler = (flags & 2) != 0;

    ScriptedPort port(script, waitMs, 5 + waitMs % 7, babbler);
    port.capacity = capacity;
    // Not open at the start: never opened (4), or closed when its device went
    // away (16), then opened again by the exchange or not (32).
    port.wasLost = (flags & 16) != 0;
    port.notOpen = (flags & 4) != 0 || port.wasLost;
    port.reopenSucceeds = (flags & 32) != 0 && (flags & 4) == 0;
    port.devicesGoAway = (flags & 8) != 0;
    std::vector<std::uint8_t> request(1 + flags % 19, 0x16);
    std::vector<std::uint8_t> reply(capacity);
    std::uint32_t replyLength = capacity;
    ExchangeCounts stats;
    const std::uint32_t status =
        RunExchange(port, 1000, previousFailed ? kStatusNoReply : kStatusOk, attempts,
                    {request.data(), static_cast<std::uint32_t>(request.size()), reply.data(), &replyLength}, stats);

    // The lost port's one reopening came first (checked at every call).
    Require(port.reopenings == 1);
    const bool closedThroughout = port.ops.empty() && port.notOpen;
    // The drain: only after a failed exchange, bounded, time-outs restored.
    Require(port.drainReads <= kMaxDrainReads);
    if (!previousFailed || (closedThroughout && !port.wasLost))
        Require(port.drainReads == 0 && port.timeoutChanges == 0);
    else Require(port.timeoutChanges == 2 && port.wait() == waitMs && port.interval() == 5 + waitMs % 7);
    if (closedThroughout) {
        // Not open, and not opened again: a drain read and a write that
        // fail at once, nothing more.
        Require(status == kStatusNotOpen && stats.attempts == 0 && replyLength == capacity);
        Require(port.callsWhileNotOpen <= 2);
        return 0;
    }
    // A device that went away ends the exchange with its transfer.
    Require(port.callsWhileNotOpen == 0);
    for (std::size_t i = 0; i + 1 < port.ops.size(); ++i) Require(!port.ops[i].lost);

    // One write first; a re-send only after every third failed read that is
    // not the last one; reads never beyond the rounded attempts.
    const std::uint32_t limit = ReadLimit(attempts);
    Require(!port.ops.empty() && port.ops[0].kind == 'w');
    std::uint32_t reads = 0;
    for (std::size_t i = 1; i < port.ops.size(); ++i) {
        const auto& op = port.ops[i];
        if (op.kind == 'r') {
            ++reads;
            Require(port.ops[i - 1].kind == 'w' || !port.ops[i - 1].ok);
        } else {
            Require(port.ops[i - 1].kind == 'r' && !port.ops[i - 1].ok && reads % 3 == 0 && reads < limit);
        }
    }
    Require(reads == stats.attempts && reads <= limit);

    // Success: the last call completed (a read, or the write when no read was
    // asked for), and only a completed read sets the reply length.
    const auto& last = port.ops.back();
    const bool succeeded = last.ok && (last.kind == 'r' || limit == 0);
    if (succeeded) Require(status == kStatusOk);
    else if (last.lost) Require(status == kStatusNotOpen);
    else Require(status == (last.kind == 'r' ? kStatusNoReply : kStatusWriteTimeout));
    if (succeeded && last.kind == 'r') Require(replyLength == last.count && replyLength <= capacity);
    else Require(replyLength == capacity);

    // The statistics are those of the last write and the last read.
    for (auto it = port.ops.rbegin(); it != port.ops.rend(); ++it)
        if (it->kind == 'w') {
            Require(stats.bytesWritten == it->count);
            break;
        }
    std::uint32_t lastRead = 0;
    for (const auto& op : port.ops)
        if (op.kind == 'r') lastRead = op.count;
    Require(stats.bytesRead == lastRead);
    Require(stats.totalMs >= stats.readMs && stats.totalMs >= stats.writeMs);
    return 0;
}
