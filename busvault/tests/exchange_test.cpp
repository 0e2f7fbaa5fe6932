// Exchanges on a real serial line: the link's port is a COM port of the Wine
// prefix whose other end is a simulated BM100 gauge (see serial-lines and
// gauge/gauge_sim.cpp). The gauge's behaviour is switched per case through
// its control file, and it reports how many requests it saw.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "busvault.h"
#include "gauge/gauge_control.h"
#include "gauge/gauge_replies.h"
#include "vrel/com_ptr.h"
#include "vrel/unique_handle.h"

namespace {

using vrel::ComPtr;
using Bytes = std::vector<BYTE>;

using gauge::kAddress;


double Milliseconds(LONGLONG from, LONGLONG to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

using Gauge = gauge::GaugeControl;

class SerialExchange : public ::testing::Test {
protected:
    void SetUp() override {
        port = gauge::FixtureValue("BUSVAULT_TEST_PORT");
        const std::string gaugeBase = gauge::FixtureValue("BUSVAULT_TEST_GAUGE");
        ASSERT_FALSE(port.empty() || gaugeBase.empty()) << "run through CTest: the serial_lines fixture sets the line up";
        gauge = std::make_unique<Gauge>(gaugeBase);
        ASSERT_TRUE(gauge->Set("answer"));

        ASSERT_TRUE(module) << ::GetLastError();
        auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
        ASSERT_TRUE(getClassObject);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBusvaultStore, store.put_void()), S_OK);
        ASSERT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle,
                                    reinterpret_cast<void**>(&setup)),
                  S_OK);
        ASSERT_EQ(setup->QueryInterface(IID_IBusvaultLink, reinterpret_cast<void**>(&link)), S_OK);
        ASSERT_EQ(setup->OpenPort(port.c_str()), S_OK);
        ASSERT_EQ(setup->BuildState("9600,n,8,1"), S_OK);
        Purge();
        ASSERT_EQ(link->SetTimeouts(kWaitMs, kIntervalMs), S_OK);
    }

    // Whatever an earlier case left on the line goes.
    void Purge() {
        link->SetTimeouts(20, 5);
        BYTE sink[256];
        DWORD n = 0;
        do {
            n = sizeof sink;
            link->ReadBytes(sink, &n);
        } while (n != 0);
    }

    DWORD Exchange(const Bytes& request, Bytes& reply, ExchangeStats& stats, DWORD capacity = 256) {
        Bytes req = request;
        reply.assign(capacity, 0xEE);
        DWORD requestLength = static_cast<DWORD>(req.size()), replyLength = capacity;
        const DWORD status = store->Exchange(handle, req.data(), reply.data(), &requestLength, &replyLength, &stats);
        reply.resize(status == BUSVAULT_STATUS_OK && replyLength <= capacity ? replyLength : 0);
        return status;
    }

    static constexpr DWORD kWaitMs = 150;
    static constexpr DWORD kIntervalMs = 30;

    std::string port;
    std::unique_ptr<Gauge> gauge;
    vrel::unique_hmodule module{::LoadLibraryW(L"Busvault.dll")};
    ComPtr<IBusvaultStore> store;
    DWORD handle = 0;
    IBusvaultLinkSetup* setup = nullptr;
    IBusvaultLink* link = nullptr;
};

TEST_F(SerialExchange, PortOperationsOnARealLine) {
    // A second link to a port that does not exist, then to the real one.
    DWORD other = 0;
    IBusvaultLinkSetup* otherSetup = nullptr;
    ASSERT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &other,
                                reinterpret_cast<void**>(&otherSetup)),
              S_OK);
    EXPECT_EQ(otherSetup->OpenPort("COM97"), E_FAIL);
    EXPECT_EQ(otherSetup->OpenPort(port.c_str()), S_OK);
    EXPECT_EQ(store->DeleteLink(other), S_OK);

    EXPECT_EQ(setup->BuildState("baud=19200 parity=N data=8 stop=1"), S_OK);
    EXPECT_EQ(setup->BuildState("19200,q,8,1"), E_INVALIDARG);
    EXPECT_EQ(setup->SetupQueues(4096, 4096), S_OK);

    ASSERT_TRUE(gauge->Set("silent"));
    ASSERT_EQ(link->SetTimeouts(100, 20), S_OK);
    BYTE buffer[64];
    DWORD length = sizeof buffer;
    const LONGLONG before = Now();
    EXPECT_EQ(link->ReadBytes(buffer, &length), E_FAIL);
    const double took = Milliseconds(before, Now());
    EXPECT_GE(took, 90.0);
    EXPECT_LT(took, 400.0);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_READ_TIMEOUT);

    Bytes request = gauge::RequestFrame(0x01, false, 0);
    length = static_cast<DWORD>(request.size());
    EXPECT_EQ(link->WriteBytes(request.data(), &length), S_OK);
    EXPECT_EQ(length, request.size());
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_READY);
    EXPECT_EQ(gauge->Requests(1), 1);
}

TEST_F(SerialExchange, EveryPacketComesBackByteForByte) {
    ASSERT_EQ(store->SetAttempts(handle, 1), S_OK);
    for (bool addressed : {false, true}) {
        for (BYTE code : gauge::kPacketCodes) {
            SCOPED_TRACE(testing::Message() << "code " << int(code) << (addressed ? " addressed" : ""));
            const Bytes request = gauge::RequestFrame(code, addressed, kAddress);
            const Bytes expected = gauge::ReplyFrame(code, addressed, kAddress);
            Bytes reply;
            ExchangeStats stats{};
            EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_OK);
            EXPECT_EQ(reply, expected);
            EXPECT_EQ(stats.bytesWritten, request.size());
            EXPECT_EQ(stats.bytesRead, expected.size());
            EXPECT_EQ(stats.attempts, 1u);
            EXPECT_GE(stats.totalMs, stats.readMs + stats.writeMs);
            EXPECT_LT(stats.readMs, kWaitMs);  // ended by the gap after the reply, not the wait
        }
    }
    EXPECT_EQ(gauge->Requests(14), 14);
}

TEST_F(SerialExchange, ASilentDeviceCostsWholeRoundsOfReadsAndResends) {
    ASSERT_TRUE(gauge->Set("silent"));
    const Bytes request = gauge::RequestFrame(0x14, true, kAddress);
    struct Case {
        DWORD attempts, reads, writes;
    } cases[] = {{1, 3, 1}, {3, 3, 1}, {4, 6, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "attempts " << c.attempts);
        ASSERT_TRUE(gauge->Set("silent"));
        ASSERT_EQ(store->SetAttempts(handle, c.attempts), S_OK);
        Bytes reply;
        ExchangeStats stats{};
        const LONGLONG before = Now();
        EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_NO_REPLY);
        const double took = Milliseconds(before, Now());
        EXPECT_EQ(stats.attempts, c.reads);
        EXPECT_EQ(gauge->Requests(c.writes), static_cast<long>(c.writes));
        EXPECT_EQ(stats.bytesRead, 0u);
        EXPECT_EQ(stats.bytesWritten, request.size());
        EXPECT_GE(stats.readMs, kWaitMs - 10);
        EXPECT_LT(stats.readMs, kWaitMs + 200);
        EXPECT_GE(stats.totalMs, c.reads * (kWaitMs - 10));
        EXPECT_LE(stats.totalMs, took + 1);
    }
    // A request to another gauge's address goes unanswered the same way.
    ASSERT_TRUE(gauge->Set("answer"));
    ASSERT_EQ(store->SetAttempts(handle, 2), S_OK);
    Bytes reply;
    ExchangeStats stats{};
    EXPECT_EQ(Exchange(gauge::RequestFrame(0x01, true, kAddress + 1), reply, stats), BUSVAULT_STATUS_NO_REPLY);
    EXPECT_EQ(stats.attempts, 3u);
}

// A device that answers only the k-th request it receives: the exchange
// succeeds only when its re-sends reach k within the attempts allowed.
TEST_F(SerialExchange, ReadsAndWritesForAttemptSettingsOneToSeven) {
    struct Expected {
        DWORD reads, writes, status;
    };
    const Expected fail3{3, 1, BUSVAULT_STATUS_NO_REPLY};
    const Expected secondAnswered{4, 2, BUSVAULT_STATUS_OK};
    const Expected fail6{6, 2, BUSVAULT_STATUS_NO_REPLY};
    const Expected thirdAnswered{7, 3, BUSVAULT_STATUS_OK};
    const Expected k2[7] = {fail3, fail3, fail3, secondAnswered, secondAnswered, secondAnswered, secondAnswered};
    const Expected k3[7] = {fail3, fail3, fail3, fail6, fail6, fail6, thirdAnswered};
    const Bytes request = gauge::RequestFrame(0x1F, false, 0);
    for (int k : {2, 3}) {
        for (DWORD attempts = 1; attempts <= 7; ++attempts) {
            SCOPED_TRACE(testing::Message() << "k " << k << ", attempts " << attempts);
            const Expected& want = (k == 2 ? k2 : k3)[attempts - 1];
            ASSERT_TRUE(gauge->Set("kth " + std::to_string(k)));
            ASSERT_EQ(store->SetAttempts(handle, attempts), S_OK);
            Bytes reply;
            ExchangeStats stats{};
            EXPECT_EQ(Exchange(request, reply, stats), want.status);
            EXPECT_EQ(stats.attempts, want.reads);
            EXPECT_EQ(gauge->Requests(want.writes), static_cast<long>(want.writes));
            if (want.status == BUSVAULT_STATUS_OK) {
                EXPECT_EQ(reply, gauge::ReplyFrame(0x1F, false, 0));
            }
        }
    }
}

TEST_F(SerialExchange, AfterAFailureStaleInputIsDrainedBeforeTheRequest) {
    ASSERT_EQ(store->SetAttempts(handle, 1), S_OK);
    const Bytes request = gauge::RequestFrame(0x02, true, kAddress);
    const Bytes expected = gauge::ReplyFrame(0x02, true, kAddress);
    Bytes reply;
    ExchangeStats stats{};

    // The reply arrives after the exchange gave up and waits on the line.
    ASSERT_TRUE(gauge->Set("late 600"));
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_NO_REPLY);
    ASSERT_TRUE(gauge->WaitForReplies(1)) << "the late reply never went out";
    ASSERT_TRUE(gauge->Set("answer"));
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_OK);
    EXPECT_EQ(reply, expected);  // the fresh reply alone
    EXPECT_EQ(stats.attempts, 1u);
    DWORD wait = 0, interval = 0;
    EXPECT_EQ(link->GetTimeouts(&wait, &interval), S_OK);
    EXPECT_EQ(wait, kWaitMs);  // the drain's 5 ms time-outs were undone
    EXPECT_EQ(interval, kIntervalMs);

    // Noise on the line after a failure goes the same way.
    ASSERT_TRUE(gauge->Set("silent"));
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_NO_REPLY);
    ASSERT_TRUE(gauge->Set("stale 700"));
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_OK);
    EXPECT_EQ(reply, expected);
}

TEST_F(SerialExchange, AfterASuccessNothingIsDrained) {
    ASSERT_EQ(store->SetAttempts(handle, 1), S_OK);
    const Bytes request = gauge::RequestFrame(0x01, false, 0);
    Bytes reply;
    ExchangeStats stats{};
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_OK);
    ASSERT_TRUE(gauge->Set("stale 40"));
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_OK);
    ASSERT_GE(reply.size(), 40u);
    EXPECT_EQ(reply[0], 0x55);  // the noise is what the read found first
    EXPECT_EQ(reply[39], 0x55);
}

TEST_F(SerialExchange, TheDrainNeverWritesPastASmallReplyBuffer) {
    ASSERT_EQ(store->SetAttempts(handle, 1), S_OK);
    const Bytes request = gauge::RequestFrame(0x0B, false, 0);
    ASSERT_TRUE(gauge->Set("silent"));
    Bytes reply;
    ExchangeStats stats{};
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_NO_REPLY);
    ASSERT_TRUE(gauge->Set("stale 600"));

    BYTE buffer[64];
    for (BYTE& b : buffer) b = 0xA5;
    Bytes req = request;
    DWORD requestLength = static_cast<DWORD>(req.size()), replyLength = 16;
    EXPECT_EQ(store->Exchange(handle, req.data(), buffer, &requestLength, &replyLength, &stats), BUSVAULT_STATUS_OK);
    EXPECT_EQ(replyLength, 16u);  // the capacity, filled by the reply's first bytes
    // The drain reads at most 64 times and ends at the first read that finds
    // nothing within 5 ms: on a busy machine the line can pause inside the
    // noise, and what is left of it is then read first, as after a success.
    // Either way every byte stays inside the buffer.
    const Bytes full = gauge::ReplyFrame(0x0B, false, 0);
    const Bytes first(buffer, buffer + 16);
    EXPECT_TRUE(first == Bytes(full.begin(), full.begin() + 16) || first == Bytes(16, 0x55));
    for (int i = 16; i < 64; ++i) EXPECT_EQ(buffer[i], 0xA5) << "byte " << i;
}

TEST_F(SerialExchange, AReplySplitByAGapEndsTheReadAtTheGap) {
    ASSERT_EQ(store->SetAttempts(handle, 1), S_OK);
    const Bytes request = gauge::RequestFrame(0x0A, true, kAddress);
    const Bytes expected = gauge::ReplyFrame(0x0A, true, kAddress);
    Bytes reply;
    ExchangeStats stats{};

    ASSERT_TRUE(gauge->Set("split 5"));  // a gap well inside the read interval
    ASSERT_EQ(link->SetTimeouts(500, 100), S_OK);
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_OK);
    EXPECT_EQ(reply, expected);

    ASSERT_TRUE(gauge->Set("split 300"));  // longer than the interval
    ASSERT_EQ(link->SetTimeouts(1000, 40), S_OK);
    EXPECT_EQ(Exchange(request, reply, stats), BUSVAULT_STATUS_OK);
    EXPECT_EQ(reply, Bytes(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(expected.size() / 2)));
    EXPECT_LT(stats.readMs, 250u);
}

TEST_F(SerialExchange, ASecondThreadWaitsBehindATransferInProgress) {
    ASSERT_TRUE(gauge->Set("silent"));
    ASSERT_EQ(link->SetTimeouts(500, 20), S_OK);
    HRESULT readResult = S_OK;
    std::atomic<bool> readEnded{false};
    std::thread reader([&] {
        BYTE buffer[32];
        DWORD length = sizeof buffer;
        readResult = link->ReadBytes(buffer, &length);
        readEnded = true;
    });
    // Asked until one call lands inside the read and waits for its end.
    DWORD state = 0;
    double waited = 0;
    while (!readEnded && waited < 150.0) {
        const LONGLONG before = Now();
        state = link->GetState();
        waited = Milliseconds(before, Now());
        if (waited < 150.0) ::Sleep(1);
    }
    reader.join();
    EXPECT_EQ(readResult, E_FAIL);
    EXPECT_EQ(state, BUSVAULT_PORT_READ_TIMEOUT);  // seen only after the read ended
    EXPECT_GE(waited, 150.0);
}

TEST_F(SerialExchange, NullBuffersAreRefusedWithoutTouchingTheLine) {
    ASSERT_EQ(store->SetAttempts(handle, 1), S_OK);
    BYTE data[16] = {};
    DWORD length = 16;
    EXPECT_EQ(store->Exchange(handle, nullptr, data, &length, &length, nullptr), static_cast<DWORD>(E_POINTER));
    EXPECT_EQ(store->Exchange(handle, data, nullptr, &length, &length, nullptr), static_cast<DWORD>(E_POINTER));
    EXPECT_EQ(store->Exchange(handle, data, data, nullptr, &length, nullptr), static_cast<DWORD>(E_POINTER));
    EXPECT_EQ(store->Exchange(handle, data, data, &length, nullptr, nullptr), static_cast<DWORD>(E_POINTER));
    EXPECT_EQ(gauge->Requests(0), 0);
}

}  // namespace
