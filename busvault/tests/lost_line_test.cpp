// A link rides out a lost line, through both faces of the store: the
// gauge's line (a pluggable port of serial-lines) is taken away and a new
// one appears under the same COM name; a pipe port's server goes away and
// comes back while another client takes the port first. The client code
// stays the same throughout: it keeps calling Exchange.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "busvault.h"
#include "dispatch_calls.h"
#include "gauge/gauge_control.h"
#include "gauge/gauge_replies.h"
#include "vrel/com_ptr.h"
#include "vrel/unique_handle.h"

namespace {

using vrel::ComPtr;
using Bytes = std::vector<BYTE>;

constexpr DWORD kWaitMs = 150;
constexpr DWORD kIntervalMs = 30;
// An exchange that only finds the port not open (or fails to open it) ends
// inside one wait time; one that waited would take a wait time at least.
constexpr double kAtOnceMs = kWaitMs - 10.0;

double MillisecondsSince(LONGLONG from) {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - from) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// What a client sees of its link after one exchange.
struct Seen {
    DWORD status = 0;
    Bytes reply;
    DWORD bytesWritten = 0, readMs = 0, attempts = 0;
    DWORD state = 0;
    DWORD timesLost = 0, timesReopened = 0, lossError = 0;
    double tookMs = 0;
};

// One link, driven through one face of the store.
class LinkClient {
public:
    virtual ~LinkClient() = default;
    // Makes the link, opens the port at 9600 8N1, sets its time-outs and
    // one read attempt.
    virtual bool Open(const std::string& port) = 0;
    virtual bool SetTimeouts(DWORD waitMs, DWORD intervalMs) = 0;
    virtual Seen Exchange(const Bytes& request) = 0;
    virtual void Close() = 0;
};

class VtableClient final : public LinkClient {
public:
    explicit VtableClient(IBusvaultStore* store) : store_(store) {}
    ~VtableClient() override { Close(); }

    bool Open(const std::string& port) override {
        if (store_->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle_,
                               reinterpret_cast<void**>(&setup_)) != S_OK)
            return false;
        return setup_->QueryInterface(IID_IBusvaultLink, reinterpret_cast<void**>(&link_)) == S_OK &&
               link_->QueryInterface(IID_IBusvaultLinkHistory, reinterpret_cast<void**>(&history_)) == S_OK &&
               setup_->OpenPort(port.c_str()) == S_OK && setup_->BuildState("9600,n,8,1") == S_OK &&
               setup_->SetupQueues(4096, 4096) == S_OK && SetTimeouts(kWaitMs, kIntervalMs) &&
               store_->SetAttempts(handle_, 1) == S_OK;
    }

    bool SetTimeouts(DWORD waitMs, DWORD intervalMs) override { return link_->SetTimeouts(waitMs, intervalMs) == S_OK; }

    Seen Exchange(const Bytes& request) override {
        Seen seen;
        Bytes sent = request;
        seen.reply.assign(256, 0);
        DWORD requestLength = static_cast<DWORD>(sent.size()), replyLength = 256;
        ExchangeStats stats{};
        const LONGLONG before = Now();
        seen.status = store_->Exchange(handle_, sent.data(), seen.reply.data(), &requestLength, &replyLength, &stats);
        seen.tookMs = MillisecondsSince(before);
        seen.reply.resize(seen.status == BUSVAULT_STATUS_OK && stats.attempts > 0 ? replyLength : 0);
        seen.bytesWritten = stats.bytesWritten;
        seen.readMs = stats.readMs;
        seen.attempts = stats.attempts;
        seen.state = link_->GetState();
        EXPECT_EQ(history_->GetLineHistory(&seen.timesLost, &seen.timesReopened, &seen.lossError), S_OK);
        return seen;
    }

    void Close() override {
        if (handle_) store_->DeleteLink(handle_);
        handle_ = 0;
    }

private:
    IBusvaultStore* store_;
    DWORD handle_ = 0;
    IBusvaultLinkSetup* setup_ = nullptr;
    IBusvaultLink* link_ = nullptr;
    IBusvaultLinkHistory* history_ = nullptr;
};

// By name through IDispatch, as a script does it.
class AutomationClient final : public LinkClient {
public:
    explicit AutomationClient(IDispatch* store) : store_(store) {}
    ~AutomationClient() override { Close(); }

    bool Open(const std::string& port) override {
        Var name(std::wstring(port.begin(), port.end()));
        Outcome created;
        if (!CallByName(store_, created, L"CreateLink", {&name.v}) || created.invoke != S_OK) return false;
        handle_ = NumberOf(created);
        Var handle(handle_), one(1);
        Outcome attempts;
        return SetTimeouts(kWaitMs, kIntervalMs) && CallByName(store_, attempts, L"SetAttempts", {&handle.v, &one.v}) &&
               attempts.invoke == S_OK;
    }

    bool SetTimeouts(DWORD waitMs, DWORD intervalMs) override {
        Var handle(handle_), wait(static_cast<LONG>(waitMs)), interval(static_cast<LONG>(intervalMs));
        Outcome set;
        return CallByName(store_, set, L"SetTimeouts", {&handle.v, &wait.v, &interval.v}) && set.invoke == S_OK;
    }

    Seen Exchange(const Bytes& request) override {
        Seen seen;
        Var handle(handle_), text(HexText(request));
        const LONGLONG before = Now();
        seen.status = static_cast<DWORD>(Invoked(L"Exchange", {&handle.v, &text.v}));
        seen.tookMs = MillisecondsSince(before);
        Outcome reply;
        CallByName(store_, reply, L"Reply", {&handle.v});
        seen.reply = BytesOf(reply.value.v);
        seen.bytesWritten = Statistic(BUSVAULT_STAT_BYTES_WRITTEN);
        seen.readMs = Statistic(BUSVAULT_STAT_READ_MS);
        seen.attempts = Statistic(BUSVAULT_STAT_ATTEMPTS);
        seen.state = static_cast<DWORD>(Invoked(L"PortState", {&handle.v}));
        seen.timesLost = Statistic(BUSVAULT_STAT_TIMES_LOST);
        seen.timesReopened = Statistic(BUSVAULT_STAT_TIMES_REOPENED);
        seen.lossError = Statistic(BUSVAULT_STAT_LOSS_ERROR);
        return seen;
    }

    void Close() override {
        if (!handle_) return;
        Var handle(handle_);
        Invoked(L"DeleteLink", {&handle.v});
        handle_ = 0;
    }

private:
    static std::wstring HexText(const Bytes& bytes) {
        std::wstring text;
        for (BYTE b : bytes) {
            wchar_t pair[4];
            std::swprintf(pair, 4, L"%02X ", b);
            text += pair;
        }
        return text;
    }

    // The number a call by name gave.
    LONG Invoked(const wchar_t* name, std::vector<VARIANT*> arguments) {
        Outcome out;
        EXPECT_TRUE(CallByName(store_, out, name, std::move(arguments))) << "no method";
        EXPECT_EQ(out.invoke, S_OK) << std::string(out.text.begin(), out.text.end());
        return NumberOf(out);
    }

    DWORD Statistic(BusvaultStatistic item) {
        Var handle(handle_), which(static_cast<LONG>(item));
        return static_cast<DWORD>(Invoked(L"Statistic", {&handle.v, &which.v}));
    }

    IDispatch* store_;
    LONG handle_ = 0;
};

// A port server on a named pipe with one instance (so a second client is
// refused while one holds it, as a COM port refuses a second opener), which
// answers every request with the reply to packet 01. Stop() takes it away
// under its client; Start() brings it back.
class PipeGauge {
public:
    explicit PipeGauge(const std::string& name) : path_("\\\\.\\pipe\\" + name), portName_("pipe\\" + name) {
        Start();
    }
    ~PipeGauge() { Stop(); }
    PipeGauge(const PipeGauge&) = delete;
    PipeGauge& operator=(const PipeGauge&) = delete;

    const std::string& PortName() const { return portName_; }
    bool Valid() const { return static_cast<bool>(pipe_); }

    void Start() {
        stop_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        pipe_.reset(::CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
        server_ = std::thread([this] { Serve(); });
    }

    void Stop() {
        if (!server_.joinable()) return;
        ::SetEvent(stop_.get());
        server_.join();
        pipe_.reset();
    }

    // Waits until the server has let its client go and waits for the next.
    bool WaitForNextClient(int listensBefore) const {
        for (int i = 0; i < 400 && listens_ <= listensBefore; ++i) ::Sleep(5);
        return listens_ > listensBefore;
    }
    int Listens() const { return listens_; }

private:
    // Waits for an overlapped call or the stop; false when stopped or failed.
    bool Await(BOOL started, OVERLAPPED& call, DWORD& moved) {
        if (!started) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_PIPE_CONNECTED) return true;
            if (error != ERROR_IO_PENDING) return false;
        }
        const HANDLE events[] = {call.hEvent, stop_.get()};
        if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
            ::CancelIo(pipe_.get());
            ::GetOverlappedResult(pipe_.get(), &call, &moved, TRUE);
            return false;
        }
        return ::GetOverlappedResult(pipe_.get(), &call, &moved, FALSE);
    }

    bool Stopped() const { return ::WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0; }

    void Serve() {
        vrel::unique_handle done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        const Bytes reply = gauge::ReplyFrame(0x01, false, 0);
        while (!Stopped()) {
            OVERLAPPED call{};
            call.hEvent = done.get();
            DWORD moved = 0;
            ++listens_;
            if (!Await(::ConnectNamedPipe(pipe_.get(), &call), call, moved)) continue;
            for (;;) {  // the client's requests until it leaves
                BYTE request[512];
                call = OVERLAPPED{};
                call.hEvent = done.get();
                if (!Await(::ReadFile(pipe_.get(), request, sizeof request, nullptr, &call), call, moved)) break;
                if (std::find(request, request + moved, 0x03) == request + moved) continue;  // up to the frame's end
                call = OVERLAPPED{};
                call.hEvent = done.get();
                Await(::WriteFile(pipe_.get(), reply.data(), static_cast<DWORD>(reply.size()), nullptr, &call), call,
                      moved);
            }
            if (Stopped()) break;  // gone as a process ends: closed, not disconnected
            ::DisconnectNamedPipe(pipe_.get());
        }
    }

    std::string path_, portName_;
    vrel::unique_handle stop_;
    vrel::unique_hfile pipe_;
    std::thread server_;
    std::atomic<int> listens_{0};
};

class LostLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { ::CoUninitialize(); }

    void SetUp() override {
        port = gauge::FixtureValue("BUSVAULT_TEST_PORT");
        const std::string gaugeBase = gauge::FixtureValue("BUSVAULT_TEST_GAUGE");
        ASSERT_FALSE(port.empty() || gaugeBase.empty()) << "run through CTest: the serial_lines fixture sets the line up";
        line = std::make_unique<gauge::GaugeControl>(gaugeBase);
        ASSERT_TRUE(line->Set("answer"));
        ASSERT_TRUE(module) << ::GetLastError();
        auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
        ASSERT_TRUE(getClassObject);
        ASSERT_EQ(getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBusvaultStore, store.put_void()), S_OK);
        ASSERT_EQ(store.as(automation, IID_IDispatch), S_OK);
    }

    // Walks a link of each face of one store, one after the other; `walk`
    // gets the client and the face's number.
    template <typename Walk>
    void ForEachFace(Walk walk) {
        VtableClient vtable(store.get());
        AutomationClient byName(automation.get());
        const std::pair<const char*, LinkClient*> faces[] = {{"vtable", &vtable}, {"automation", &byName}};
        for (std::size_t face = 0; face < 2 && !HasFatalFailure(); ++face) {
            SCOPED_TRACE(faces[face].first);
            walk(*faces[face].second, face);
        }
    }

    const Bytes request = gauge::RequestFrame(0x01, false, 0);
    const Bytes expected = gauge::ReplyFrame(0x01, false, 0);

    std::string port;
    std::unique_ptr<gauge::GaugeControl> line;
    vrel::unique_hmodule module{::LoadLibraryW(L"Busvault.dll")};
    ComPtr<IClassFactory> factory;
    ComPtr<IBusvaultStore> store;
    ComPtr<IDispatch> automation;
};

// The walk of a user whose adapter is unplugged and plugged in again: a
// silent gauge first (a live line: no reply, no reopening), then the line
// goes, every exchange fails at once while it is away, and the first one
// after it is back reads the gauge.
TEST_F(LostLine, TheFirstExchangeAfterTheLineIsBackReadsTheGaugeAgain) {
    ForEachFace([&](LinkClient& client, std::size_t) {
        ASSERT_TRUE(line->Set("answer"));
        ASSERT_TRUE(client.Open(port));
        Seen read = client.Exchange(request);
        EXPECT_EQ(read.status, BUSVAULT_STATUS_OK);
        EXPECT_EQ(read.reply, expected);

        ASSERT_TRUE(line->Set("silent"));
        const Seen silent = client.Exchange(request);
        EXPECT_EQ(silent.status, BUSVAULT_STATUS_NO_REPLY);
        EXPECT_EQ(silent.attempts, 3u);
        EXPECT_EQ(silent.state, BUSVAULT_PORT_READ_TIMEOUT);
        EXPECT_GE(silent.tookMs, 3 * (kWaitMs - 10.0));
        EXPECT_EQ(line->Requests(1), 1);
        EXPECT_EQ(silent.timesLost, 0u);
        EXPECT_EQ(silent.timesReopened, 0u);
        EXPECT_EQ(silent.lossError, 0u);
        ASSERT_TRUE(line->Set("answer"));
        read = client.Exchange(request);
        EXPECT_EQ(read.status, BUSVAULT_STATUS_OK);
        EXPECT_EQ(read.reply, expected);

        // The exchange that meets the lost device closes the port. Wine's
        // pseudo-terminal whose other side is gone refuses ClearCommError
        // with ERROR_NOT_READY before the write.
        ASSERT_TRUE(line->Set("unplugged"));
        const Seen met = client.Exchange(request);
        EXPECT_EQ(met.status, BUSVAULT_STATUS_NOT_OPEN);
        EXPECT_EQ(met.state, BUSVAULT_PORT_NOT_OPEN);
        EXPECT_EQ(met.attempts, 0u);
        EXPECT_TRUE(met.reply.empty());
        EXPECT_LT(met.tookMs, kAtOnceMs);
        EXPECT_EQ(met.timesLost, 1u);
        EXPECT_EQ(met.timesReopened, 0u);
        EXPECT_EQ(met.lossError, static_cast<DWORD>(ERROR_NOT_READY));

        // Away: each exchange tries one open of the missing name and ends.
        // The time-outs stay the link's to set.
        EXPECT_TRUE(client.SetTimeouts(kWaitMs, kIntervalMs));
        for (int i = 0; i < 3; ++i) {
            const Seen away = client.Exchange(request);
            EXPECT_EQ(away.status, BUSVAULT_STATUS_NOT_OPEN);
            EXPECT_EQ(away.state, BUSVAULT_PORT_NOT_OPEN);
            EXPECT_EQ(away.bytesWritten, 0u);
            EXPECT_EQ(away.attempts, 0u);
            EXPECT_LT(away.tookMs, kAtOnceMs);
            EXPECT_EQ(away.timesLost, 1u);
            EXPECT_EQ(away.timesReopened, 0u);
        }

        // A new line under the same name: opened again with the client's
        // settings (the read ends at the interval after the reply, which
        // the reopened port's serial time-outs give).
        ASSERT_TRUE(line->Set("answer"));
        const Seen back = client.Exchange(request);
        EXPECT_EQ(back.status, BUSVAULT_STATUS_OK);
        EXPECT_EQ(back.reply, expected);
        EXPECT_EQ(back.state, BUSVAULT_PORT_READY);
        EXPECT_EQ(back.attempts, 1u);
        EXPECT_LT(back.readMs, kWaitMs);
        EXPECT_EQ(back.timesLost, 1u);
        EXPECT_EQ(back.timesReopened, 1u);
        EXPECT_EQ(line->Requests(1), 1);
        client.Close();
    });
}

// A port server restarts and another client opens the port before this
// link's next exchange: it keeps the port, this link reports "not open" at
// once until the port is free, and then reads again.
TEST_F(LostLine, APortTakenByAnotherClientMeanwhileStaysTheirsUntilItIsFree) {
    ForEachFace([&](LinkClient& client, std::size_t face) {
        PipeGauge server("busvault-lost-line-" + std::to_string(face));
        ASSERT_TRUE(server.Valid());
        ASSERT_TRUE(client.Open(server.PortName()));
        EXPECT_EQ(client.Exchange(request).reply, expected);

        server.Stop();
        const Seen met = client.Exchange(request);
        EXPECT_EQ(met.status, BUSVAULT_STATUS_NOT_OPEN);
        EXPECT_EQ(met.timesLost, 1u);
        EXPECT_EQ(met.lossError, static_cast<DWORD>(ERROR_NO_DATA));  // a write to a pipe whose server closed

        server.Start();
        ComPtr<IBusvaultStore> otherStore;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBusvaultStore, otherStore.put_void()), S_OK);
        VtableClient other(otherStore.get());
        ASSERT_TRUE(other.Open(server.PortName()));
        for (int i = 0; i < 2; ++i) {
            const Seen refused = client.Exchange(request);
            EXPECT_EQ(refused.status, BUSVAULT_STATUS_NOT_OPEN);
            EXPECT_EQ(refused.state, BUSVAULT_PORT_NOT_OPEN);
            EXPECT_LT(refused.tookMs, kAtOnceMs);
            EXPECT_EQ(refused.timesReopened, 0u);
            const Seen theirs = other.Exchange(request);
            EXPECT_EQ(theirs.status, BUSVAULT_STATUS_OK);
            EXPECT_EQ(theirs.reply, expected);
        }

        const int listens = server.Listens();
        other.Close();
        ASSERT_TRUE(server.WaitForNextClient(listens));
        const Seen back = client.Exchange(request);
        EXPECT_EQ(back.status, BUSVAULT_STATUS_OK);
        EXPECT_EQ(back.reply, expected);
        EXPECT_EQ(back.timesLost, 1u);
        EXPECT_EQ(back.timesReopened, 1u);
        client.Close();
    });
}

}  // namespace
