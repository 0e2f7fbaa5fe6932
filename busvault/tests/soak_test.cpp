// Busvault over a long run against gauges that misbehave: several links open
// at once, each on its own serial line, whose simulated gauge drops, changes,
// splits, delays and repeats replies at random (seeded; gauge/gauge_sim.cpp,
// mode "chaos"). Each link's thread reads packets as bm100 does: Busvault
// for the exchange, TovFrame for the frame. Checked:
//   - no reading is accepted whose data differ from what the gauge meant;
//   - every exchange's statistics agree with its status, and the writes they
//     account for are the requests each gauge saw;
//   - the process's handle count and private memory stay flat once warm,
//     links being deleted and created again all along.
//
//   BUSVAULT_SOAK_PORTS      "com203,com204,..."
//   BUSVAULT_SOAK_LINES      the serial_lines folder, where PORT.control and PORT.status are
//   BUSVAULT_SOAK_EXCHANGES  exchanges in all (default 4000)
//   BUSVAULT_SOAK_SEED       seed of the gauges and the clients (default 14)
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "busvault.h"
#include "exchange_rules.h"
#include "gauge/gauge_control.h"
#include "gauge/gauge_replies.h"
#include "tovframe_host.h"
#include "vrel/com_ptr.h"
#include "vrel/module_path.h"
#include "vrel/unique_handle.h"

namespace {

using vrel::ComPtr;

constexpr BYTE kAddress = 5;           // the simulated gauge's own address
constexpr DWORD kWaitMs = 40;          // a reply later than this is read by a later attempt
constexpr DWORD kIntervalMs = 4;       // a pause this long ends a read
constexpr DWORD kAttempts = 4;         // six reads, a re-send after the third
constexpr long kChurnEvery = 250;      // exchanges between deleting a link and creating it again
constexpr DWORD kCapacity = 256;

std::string Env(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

// TovFrame holds one frame descriptor per process: the links' threads take
// turns with it, as the host of a shared library must.
class FrameJudge {
public:
    bool Load() {
        const std::wstring self = vrel::ModulePath(nullptr);
        return host_.Load(self.substr(0, self.rfind(L'\\') + 1), "busvault_soak_test");
    }

    std::vector<BYTE> Request(unsigned long pack, bool addressed) {
        std::lock_guard<std::mutex> hold(lock_);
        unsigned long length = 0;
        if (host_.setFrameData(host_.dsc.handle, kAddress, pack, addressed ? 1 : 0, nullptr, &length) != TOV_OK ||
            length == 0 || length > host_.dsc.size)
            return {};
        return std::vector<BYTE>(host_.dsc.buffer, host_.dsc.buffer + length);
    }

    // True when a client takes the reply as the reading of `pack`; its data
    // are then copied out.
    bool Accept(unsigned long pack, bool addressed, const BYTE* reply, DWORD length, std::vector<BYTE>& data) {
        std::lock_guard<std::mutex> hold(lock_);
        if (length == 0 || length >= host_.dsc.size) return false;
        std::memcpy(host_.dsc.buffer, reply, length);
        unsigned char from = 0;
        unsigned long found = 0, dataLength = length;
        unsigned char* at = nullptr;
        if (host_.analize(host_.dsc.handle, &from, &found, addressed ? 1 : 0, &at, &dataLength) != TOV_OK ||
            found != pack || (addressed && from != kAddress) || dataLength != host_.dsc.device->packs[pack].dataLength)
            return false;
        data.assign(at, at + dataLength);
        return true;
    }

    BYTE Code(unsigned long pack) const { return host_.dsc.device->packs[pack].code; }
    unsigned long PackCount() const { return host_.dsc.device->packCount; }

private:
    std::mutex lock_;
    bm100tool::TovFrameHost host_;
};

struct Tally {
    long exchanges = 0, ok = 0, noReply = 0, otherStatus = 0;
    long accepted = 0, rejected = 0, wrongAccepted = 0;
    long writes = 0, statsDisagree = 0, churns = 0, setupFailures = 0;

    void Add(const Tally& t) {
        exchanges += t.exchanges, ok += t.ok, noReply += t.noReply, otherStatus += t.otherStatus;
        accepted += t.accepted, rejected += t.rejected, wrongAccepted += t.wrongAccepted;
        writes += t.writes, statsDisagree += t.statsDisagree, churns += t.churns, setupFailures += t.setupFailures;
    }
};

// One link of a store, opened on a port and set up as a client would.
class Link {
public:
    Link(IBusvaultStore* store, const std::string& port) : store_(store) {
        IBusvaultLinkSetup* setup = nullptr;
        if (FAILED(store_->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle_,
                                      reinterpret_cast<void**>(&setup))))
            return;
        IBusvaultLink* link = nullptr;
        ready_ = SUCCEEDED(setup->QueryInterface(IID_IBusvaultLink, reinterpret_cast<void**>(&link))) &&
                 SUCCEEDED(setup->OpenPort(port.c_str())) && SUCCEEDED(setup->BuildState("9600,n,8,1")) &&
                 SUCCEEDED(link->SetTimeouts(kWaitMs, kIntervalMs)) &&
                 SUCCEEDED(store_->SetAttempts(handle_, kAttempts));
    }
    ~Link() {
        if (handle_) store_->DeleteLink(handle_);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool ready() const { return ready_; }
    DWORD handle() const { return handle_; }

private:
    IBusvaultStore* store_;
    DWORD handle_ = 0;
    bool ready_ = false;
};

// Exchanges on one port with a store of the thread's own.
Tally RunLink(IClassFactory* factory, const std::string& port, unsigned seed, long count, FrameJudge& judge) {
    Tally t;
    ComPtr<IBusvaultStore> store;
    if (FAILED(factory->CreateInstance(nullptr, IID_IBusvaultStore, store.put_void()))) {
        ++t.setupFailures;
        return t;
    }
    std::mt19937 random(seed);
    auto link = std::make_unique<Link>(store.get(), port);
    const std::uint32_t limit = busvault::ReadLimit(kAttempts);
    for (long i = 0; i < count; ++i) {
        if (i > 0 && i % kChurnEvery == 0) {
            link.reset();
            link = std::make_unique<Link>(store.get(), port);
            ++t.churns;
        }
        if (!link->ready()) {
            ++t.setupFailures;
            return t;
        }
        const unsigned long pack = random() % judge.PackCount();
        const bool addressed = random() % 2 == 0;
        std::vector<BYTE> request = judge.Request(pack, addressed);
        std::vector<BYTE> reply(kCapacity, 0xEE);
        DWORD requestLength = static_cast<DWORD>(request.size()), replyLength = kCapacity;
        ExchangeStats stats{};
        const DWORD status =
            store->Exchange(link->handle(), request.data(), reply.data(), &requestLength, &replyLength, &stats);
        ++t.exchanges;
        // One write, and a re-send after the third failed read unless it was the last.
        t.writes += 1 + (stats.attempts >= 1 ? (stats.attempts - 1) / 3 : 0);
        if (status == BUSVAULT_STATUS_OK) {
            ++t.ok;
            if (replyLength > kCapacity || stats.bytesRead != replyLength || stats.attempts < 1 ||
                stats.attempts > limit || stats.bytesWritten != request.size())
                ++t.statsDisagree;
            std::vector<BYTE> data;
            if (replyLength <= kCapacity && judge.Accept(pack, addressed, reply.data(), replyLength, data)) {
                ++t.accepted;
                if (data != gauge::PacketData(judge.Code(pack))) ++t.wrongAccepted;
            } else {
                ++t.rejected;
            }
        } else if (status == BUSVAULT_STATUS_NO_REPLY) {
            ++t.noReply;
            if (stats.attempts != limit || replyLength != kCapacity) ++t.statsDisagree;
        } else {
            ++t.otherStatus;
        }
        if (stats.totalMs < stats.readMs || stats.totalMs < stats.writeMs) ++t.statsDisagree;
    }
    return t;
}

struct Footprint {
    DWORD handles = 0;
    unsigned long long privateBytes = 0;
};

// Counted directly, because Wine answers GetProcessHandleCount and the
// private usage of GetProcessMemoryInfo with 0: the handle values that name
// an open object, and the committed private pages of the address space.
Footprint Measure() {
    Footprint f;
    for (std::uintptr_t value = 4; value < 0x40000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++f.handles;
    }
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    auto* at = static_cast<const BYTE*>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region{};
    while (at < system.lpMaximumApplicationAddress && ::VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) f.privateBytes += region.RegionSize;
        at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    }
    return f;
}

TEST(BusvaultSoak, MisbehavingGaugesNeverGetAWrongReadingAcceptedAndNothingGrows) {
    const std::vector<std::string> ports = SplitList(Env("BUSVAULT_SOAK_PORTS"), ',');
    const std::string lines = Env("BUSVAULT_SOAK_LINES");
    ASSERT_FALSE(ports.empty() || lines.empty()) << "run through CTest: the serial_lines fixture sets the lines up";
    const long total = std::atol(Env("BUSVAULT_SOAK_EXCHANGES", "4000").c_str());
    const unsigned seed = static_cast<unsigned>(std::atol(Env("BUSVAULT_SOAK_SEED", "14").c_str()));
    ASSERT_GE(total, static_cast<long>(ports.size()) * 10);

    vrel::unique_hmodule module{::LoadLibraryW(L"Busvault.dll")};
    ASSERT_TRUE(module) << ::GetLastError();
    auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
    ASSERT_TRUE(getClassObject);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void()), S_OK);
    FrameJudge judge;
    ASSERT_TRUE(judge.Load());

    std::vector<gauge::GaugeControl> gauges;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        gauges.emplace_back(lines + "/" + ports[i]);
        // Per reply: 5 % dropped, 5 % changed, 5 % split, 10 % late (up to 60 ms), 5 % sent twice.
        ASSERT_TRUE(gauges.back().Set("chaos " + std::to_string(seed + i) + " 5 5 5 10 5 60")) << ports[i];
    }

    // A tenth to warm up (buffers, the libraries' first allocations), then
    // the rest; the footprint is taken after each, with no link thread alive.
    const auto started = std::chrono::steady_clock::now();
    std::vector<Tally> perLink(ports.size());
    std::vector<Footprint> footprints;
    const long warmUp = total / 10;
    for (long phaseTotal : {warmUp, total - warmUp}) {
        std::vector<Tally> results(ports.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const long count = phaseTotal / static_cast<long>(ports.size()) +
                               (static_cast<long>(i) < phaseTotal % static_cast<long>(ports.size()) ? 1 : 0);
            threads.emplace_back([&, i, count] {
                results[i] = RunLink(factory.get(), ports[i], seed * 7919u + static_cast<unsigned>(footprints.size() * 100 + i),
                                     count, judge);
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (std::size_t i = 0; i < ports.size(); ++i) perLink[i].Add(results[i]);
        footprints.push_back(Measure());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    Tally all;
    long mischief[5] = {};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        all.Add(perLink[i]);
        const std::vector<long> status = gauges[i].SettledStatus(perLink[i].writes);
        ASSERT_GE(status.size(), 8u) << ports[i] << ": the gauge is not in chaos mode";
        EXPECT_EQ(status[1], perLink[i].writes) << ports[i] << ": requests the gauge saw, writes the exchanges made";
        for (int k = 0; k < 5; ++k) mischief[k] += status[3 + k];
    }

    std::printf("[ SOAK     ] %ld exchanges on %zu links in %.1f s: %ld answered (%ld readings accepted, %ld "
                "refused, %ld wrong ones accepted), %ld without reply, %ld other; %ld links made again\n",
                all.exchanges, ports.size(), seconds, all.ok, all.accepted, all.rejected, all.wrongAccepted,
                all.noReply, all.otherStatus, all.churns);
    std::printf("[ SOAK     ] the gauges dropped %ld, changed %ld, split %ld, delayed %ld and repeated %ld replies\n",
                mischief[0], mischief[1], mischief[2], mischief[3], mischief[4]);
    std::printf("[ SOAK     ] handles %lu -> %lu, private memory %llu KiB -> %llu KiB\n", footprints[0].handles,
                footprints[1].handles, footprints[0].privateBytes / 1024, footprints[1].privateBytes / 1024);
    const std::pair<const char*, long> figures[] = {
        {"exchanges", all.exchanges},   {"answered", all.ok},         {"accepted", all.accepted},
        {"refused", all.rejected},      {"wrong_accepted", all.wrongAccepted},
        {"no_reply", all.noReply},      {"other_status", all.otherStatus}, {"links_made_again", all.churns},
        {"dropped", mischief[0]},       {"changed", mischief[1]},     {"split", mischief[2]},
        {"delayed", mischief[3]},       {"repeated", mischief[4]},
        {"handles_warm", static_cast<long>(footprints[0].handles)},
        {"handles_end", static_cast<long>(footprints[1].handles)},
        {"private_kib_warm", static_cast<long>(footprints[0].privateBytes / 1024)},
        {"private_kib_end", static_cast<long>(footprints[1].privateBytes / 1024)},
        {"seconds", static_cast<long>(seconds)}};
    for (const auto& figure : figures) ::testing::Test::RecordProperty(figure.first, std::to_string(figure.second));

    EXPECT_EQ(all.setupFailures, 0);
    EXPECT_EQ(all.exchanges, total);
    EXPECT_EQ(all.wrongAccepted, 0);
    EXPECT_EQ(all.statsDisagree, 0);
    EXPECT_EQ(all.otherStatus, 0) << "a pseudo-terminal never refuses a write";
    // The gauges did misbehave, and most readings still came through.
    for (long m : mischief) EXPECT_GT(m, 0);
    // Changed replies reach the clients as answers and are refused there.
    EXPECT_GE(all.rejected, mischief[1] / 2) << "changed replies did not reach the clients";
    EXPECT_GT(all.accepted, all.exchanges / 2);
    // Flat: a handle per link made again, or a few bytes per exchange, would show.
    EXPECT_LE(footprints[1].handles, footprints[0].handles + 8);
    EXPECT_LE(footprints[1].privateBytes, footprints[0].privateBytes + 2 * 1024 * 1024);
}

}  // namespace
