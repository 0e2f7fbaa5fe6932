// The store's arithmetic, the registration script reader and the byte text of
// the automation face, without COM.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "exchange_rules.h"
#include "byte_text.h"
#include "exchange_sequence.h"
#include "lost_device.h"
#include "registration_script.h"

namespace {

using namespace busvault;

TEST(ExchangeRules, AttemptsRoundUpToWholeRoundsOfThree) {
    EXPECT_EQ(ReadLimit(0), 0u);
    EXPECT_EQ(ReadLimit(1), 3u);
    EXPECT_EQ(ReadLimit(2), 3u);
    EXPECT_EQ(ReadLimit(3), 3u);
    EXPECT_EQ(ReadLimit(4), 6u);
    EXPECT_EQ(ReadLimit(7), 9u);
    EXPECT_EQ(ReadLimit(0xFFFFFFFDu), 0xFFFFFFFFu);
    EXPECT_EQ(ReadLimit(0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(ExchangeRules, FailedExchangeStatusComesFromThePortState) {
    EXPECT_EQ(StatusFromPortState(kPortReadTimeout), kStatusNoReply);
    EXPECT_EQ(StatusFromPortState(kPortWriteTimeout), kStatusWriteTimeout);
    EXPECT_EQ(StatusFromPortState(kPortNotOpen), kStatusNotOpen);
    EXPECT_EQ(StatusFromPortState(kPortReady), kStatusOk);
    EXPECT_EQ(StatusFromPortState(kPortReopened), kStatusOk);
}

TEST(LostDevice, AFarEndClosedCountsAlwaysARemovedDeviceOnlyWhereTheCallHadWorked) {
    for (std::uint32_t error : {kErrorBrokenPipe, kErrorNoData, kErrorPipeNotConnected}) {
        EXPECT_TRUE(SaysDeviceIsGone(error, false)) << error;
        EXPECT_TRUE(SaysDeviceIsGone(error, true)) << error;
    }
    for (std::uint32_t error : {kErrorAccessDenied, kErrorNotReady, kErrorBadCommand, kErrorGenFailure,
                                kErrorDeviceNotConnected, kErrorDeviceRemoved}) {
        EXPECT_FALSE(SaysDeviceIsGone(error, false)) << error;  // a driver that never took the call
        EXPECT_TRUE(SaysDeviceIsGone(error, true)) << error;
    }
    // No error, a pipe that is no serial port (not supported), an invalid handle, an ending
    // that a line error gives too, a transfer still pending.
    for (std::uint32_t error : {0u, 50u, 6u, kErrorOperationAborted, 997u}) EXPECT_FALSE(SaysDeviceIsGone(error, true));
}

TEST(ExchangeRules, HandlesCountDownFromTheTopSlotByOne) {
    EXPECT_FALSE(HandleInRange(0));
    EXPECT_FALSE(HandleInRange(256));
    EXPECT_TRUE(HandleInRange(1));
    EXPECT_TRUE(HandleInRange(255));
    EXPECT_EQ(HandleOfSlot(1), 255u);
    EXPECT_EQ(SlotOfHandle(1), 255u);
    for (std::uint32_t h = 1; h <= 255; ++h) EXPECT_EQ(HandleOfSlot(SlotOfHandle(h)), h);
}

TEST(ExchangeRules, ElapsedMillisecondsFromTheCounter) {
    EXPECT_EQ(ElapsedMs(1000, 4000, 3000), 1000u);
    EXPECT_EQ(ElapsedMs(0, 10'000'000, 10'000'000), 1000u);
    EXPECT_EQ(ElapsedMs(5, 5, 10'000'000), 0u);
    EXPECT_EQ(ElapsedMs(0, 123456, 0), 0u);  // no high-resolution counter
    // Large counter values do not overflow before the division.
    EXPECT_EQ(ElapsedMs(0x100000000000LL, 0x100000000000LL + 3'579'545LL * 2, 3'579'545LL), 2000u);
}

// A port whose reads always bring `babble` bytes (0: a silent line) and
// whose writes always complete; it records what was asked of it.
class LinePort final : public ExchangePort {
public:
    explicit LinePort(std::uint32_t babble) : babble_(babble) {}
    bool Write(std::uint8_t*, std::uint32_t&) override { return ++writes, true; }
    bool Read(std::uint8_t* bytes, std::uint32_t& count) override {
        asked.push_back(count);
        count = count < babble_ ? count : babble_;
        for (std::uint32_t i = 0; i < count; ++i) bytes[i] = 0x55;
        return false;  // the wait always ends first: the stream never pauses
    }
    bool GetTimeouts(std::uint32_t& waitMs, std::uint32_t& intervalMs) override {
        waitMs = 150, intervalMs = 30;
        return true;
    }
    void SetTimeouts(std::uint32_t waitMs, std::uint32_t intervalMs) override { timeouts.push_back({waitMs, intervalMs}); }
    std::uint32_t State() override { return kPortReadTimeout; }
    std::int64_t Counter() override { return 0; }
    void ReopenIfLost() override {}

    std::vector<std::uint32_t> asked;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> timeouts;
    int writes = 0;

private:
    std::uint32_t babble_;
};

// An exchange after a good one (no drain) with a device that never answers:
// (reads, writes) it made for an attempt setting.
std::pair<std::uint32_t, std::uint32_t> SilentDeviceCounts(std::uint32_t attempts) {
    LinePort port(0);
    std::uint8_t request[8] = {}, reply[16] = {};
    std::uint32_t replyLength = sizeof reply;
    ExchangeCounts stats;
    RunExchange(port, 1000, kStatusOk, attempts, {request, 8, reply, &replyLength}, stats);
    EXPECT_EQ(stats.attempts, port.asked.size()) << attempts;
    return {static_cast<std::uint32_t>(port.asked.size()), static_cast<std::uint32_t>(port.writes)};
}

TEST(ExchangeSequence, ASilentDeviceGetsOneWritePerRoundButNoResendAfterTheLastRead) {
    EXPECT_EQ(SilentDeviceCounts(0), std::make_pair(0u, 1u));
    EXPECT_EQ(SilentDeviceCounts(3), std::make_pair(3u, 1u));
    EXPECT_EQ(SilentDeviceCounts(4), std::make_pair(6u, 2u));
    EXPECT_EQ(SilentDeviceCounts(7), std::make_pair(9u, 3u));
    EXPECT_EQ(SilentDeviceCounts(12), std::make_pair(12u, 4u));
    for (std::uint32_t made = 1; made <= 9; ++made) EXPECT_EQ(ResendAfterRead(made, 9), made == 3 || made == 6) << made;
}

TEST(ExchangeSequence, ADeviceThatNeverStopsSendingCannotHoldTheDrainForEver) {
    LinePort port(255);
    std::uint8_t request[8] = {}, reply[300] = {};
    std::uint32_t replyLength = sizeof reply;
    ExchangeCounts stats;
    EXPECT_EQ(RunExchange(port, 1000, kStatusNoReply, 1, {request, 8, reply, &replyLength}, stats), kStatusNoReply);
    // The drain's reads, then the exchange's three; the link's own time-outs back.
    ASSERT_EQ(port.asked.size(), kMaxDrainReads + 3);
    EXPECT_EQ(port.writes, 1);
    EXPECT_EQ(stats.attempts, 3u);
    EXPECT_EQ(port.timeouts, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{5, 5}, {150, 30}}));
    EXPECT_EQ(replyLength, sizeof reply) << "no read completed";
}

TEST(ExchangeSequence, TheDrainNeverAsksForMoreThanTheReplyBufferHolds) {
    for (std::uint32_t capacity : {0u, 1u, 16u, 254u, 255u, 256u}) {
        SCOPED_TRACE(capacity);
        LinePort port(7);
        std::vector<std::uint8_t> reply(capacity);
        std::uint8_t request[8] = {};
        std::uint32_t replyLength = capacity;
        ExchangeCounts stats;
        RunExchange(port, 1000, kStatusWriteTimeout, 3, {request, 8, reply.data(), &replyLength}, stats);
        ASSERT_FALSE(port.asked.empty());
        EXPECT_EQ(port.asked.front(), std::min(capacity, kDrainChunk));
        for (std::uint32_t asked : port.asked) EXPECT_LE(asked, capacity);
    }
}

TEST(RegistrationScript, ReadsKeysValuesAndFlags) {
    const auto script = ParseRegistrationScript(
        "# comment\n"
        "\n"
        "shared remove key A.B.1 = Some Text\r\n"
        "key A.B.1\\CLSID = {X}\n"
        "replace remove key CLSID\\{X}\n"
        "  value CLSID\\{X}\\InprocServer32 ThreadingModel = Apartment  \n"
        "key CLSID\\{X}\\InprocServer32 = %MODULE%");
    ASSERT_TRUE(script);
    ASSERT_EQ(script->size(), 5u);
    const auto& e = *script;
    EXPECT_TRUE(e[0].remove && e[0].shared);
    EXPECT_FALSE(e[0].replace);
    EXPECT_EQ(e[0].path, "A.B.1");
    EXPECT_EQ(e[0].data.value_or("?"), "Some Text");
    EXPECT_FALSE(e[1].remove);
    EXPECT_EQ(e[1].path, "A.B.1\\CLSID");
    EXPECT_TRUE(e[2].replace && e[2].remove);
    EXPECT_FALSE(e[2].shared);
    EXPECT_FALSE(e[2].data.has_value());
    EXPECT_TRUE(e[3].isValue);
    EXPECT_EQ(e[3].name, "ThreadingModel");
    EXPECT_EQ(e[3].data.value_or("?"), "Apartment");
    EXPECT_EQ(e[4].data.value_or("?"), "%MODULE%");
}

TEST(RegistrationScript, RefusesMalformedLinesWhole) {
    for (const char* bad : {"key", "keys A", "value A = x", "value A N", "remove value A N = x", "key \\A = x",
                            "key A\\ = x", "key A\\\\B = x", "key A x", "replace replace key A",
                            "shared value A N = x", "shared shared key A"})
        EXPECT_FALSE(ParseRegistrationScript(std::string("key Fine = 1\n") + bad)) << bad;
}

TEST(RegistrationScript, SubstitutesTheModulePathEverywhere) {
    EXPECT_EQ(SubstituteModule("%MODULE%", "C:\\x\\Busvault.dll"), "C:\\x\\Busvault.dll");
    EXPECT_EQ(SubstituteModule("\"%MODULE%\" %MODULE%", "p"), "\"p\" p");
    EXPECT_EQ(SubstituteModule("none", "p"), "none");
    EXPECT_EQ(SubstituteModule("%MODULE", "p"), "%MODULE");
}

// ---- byte text of the automation face ----------------------------------

TEST(ByteText, HexTextReadsPairsWithAnySeparatorAndSaysWhereItIsWrong) {
    std::string why;
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(ParseHexBytes(u"16 16 02", why), Bytes({0x16, 0x16, 0x02}));
    EXPECT_EQ(ParseHexBytes(u"1616aB", why), Bytes({0x16, 0x16, 0xAB}));
    EXPECT_EQ(ParseHexBytes(u" ff,00-7f:10\t", why), Bytes({0xFF, 0x00, 0x7F, 0x10}));
    EXPECT_EQ(ParseHexBytes(u"", why), Bytes{});

    EXPECT_FALSE(ParseHexBytes(u"16 1G", why));
    EXPECT_EQ(why, "character 5 is not a hexadecimal digit");
    EXPECT_FALSE(ParseHexBytes(u"16 1 6", why));
    EXPECT_EQ(why, "character 5 splits a pair of hexadecimal digits");
    EXPECT_FALSE(ParseHexBytes(u"16 160", why));
    EXPECT_EQ(why, "its last byte has only one hexadecimal digit");
    EXPECT_FALSE(ParseHexBytes(u"0x16", why));
    EXPECT_FALSE(ParseHexBytes(u"\u0661\u0662", why));  // digits of another script are no hex digits

    std::u16string longest(2 * kMaxRequestBytes, u'A');
    EXPECT_EQ(ParseHexBytes(longest, why)->size(), kMaxRequestBytes);
    EXPECT_FALSE(ParseHexBytes(longest + u"AA", why));
}

TEST(ByteText, BytesPrintAsUpperCasePairsAndNumbersMustBeWholeBytes) {
    const std::uint8_t bytes[] = {0x16, 0x02, 0xAB, 0x00};
    EXPECT_EQ(FormatHexBytes(bytes, 4), "16 02 AB 00");
    EXPECT_EQ(FormatHexBytes(bytes, 0), "");

    EXPECT_EQ(ByteFromNumber(0.0), 0);
    EXPECT_EQ(ByteFromNumber(255.0), 255);
    EXPECT_EQ(ByteFromNumber(22.0), 22);
    for (double bad : {-1.0, 256.0, 1.5, -0.5, 1e300, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(ByteFromNumber(bad)) << bad;
}

}  // namespace
