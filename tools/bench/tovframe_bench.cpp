// TovFrame's rate for scripts/bench: requests built and replies analysed per
// second through the DLL's exports, for the packet with the shortest and the
// one with the longest reply, against the memory limit of the same work: a
// plain loop that copies the reply into the buffer and sums its bytes.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../../testsupport/bm100_wire.h"
#include "tovframe_host.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 2000000;

double Rate(Clock::time_point start, int rounds) {
    return rounds / std::chrono::duration<double>(Clock::now() - start).count();
}

// Gauge data with a byte the line must escape now and then, as values do.
std::vector<std::uint8_t> SampleData(unsigned length) {
    std::vector<std::uint8_t> data(length);
    for (unsigned i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i % 16 == 7 ? 0x10 : 0x41 + i % 26);
    return data;
}

volatile unsigned g_sink;  // keeps the floor loop from being optimised away

}  // namespace

int main() {
    bm100tool::TovFrameHost tov;
    if (!tov.Load(L"", "tovframe_bench")) return 1;
    const tagFrameDsc& dsc = tov.dsc;
    unsigned long shortest = 0, longest = 0;
    for (unsigned long p = 0; p < dsc.device->packCount; ++p) {
        if (dsc.device->packs[p].dataLength < dsc.device->packs[shortest].dataLength) shortest = p;
        if (dsc.device->packs[p].dataLength > dsc.device->packs[longest].dataLength) longest = p;
    }
    const int bits = static_cast<int>(sizeof(void*) * 8);
    for (const unsigned long pack : {shortest, longest}) {
        const tagSpdPackDsc& desc = dsc.device->packs[pack];
        const std::vector<std::uint8_t> reply =
            bm100wire::EncodeReply(desc.code, SampleData(desc.dataLength), true, 5);
        if (reply.size() > dsc.size) return 1;

        Clock::time_point start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            unsigned long length = 0;
            if (tov.setFrameData(dsc.handle, 5, pack, 1, nullptr, &length) != TOV_OK) return 1;
        }
        const double built = Rate(start, kRounds);

        start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            std::memcpy(dsc.buffer, reply.data(), reply.size());
            unsigned long found = 0, length = static_cast<unsigned long>(reply.size());
            unsigned char* data = nullptr;
            unsigned char from = 0;
            if (tov.analize(dsc.handle, &from, &found, 1, &data, &length) != TOV_OK || found != pack) return 1;
        }
        const double analysed = Rate(start, kRounds);

        std::vector<std::uint8_t> buffer(dsc.size);
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            std::memcpy(buffer.data(), reply.data(), reply.size());
            unsigned sum = 0;
            for (std::size_t b = 0; b < reply.size(); ++b) sum += buffer[b];
            g_sink = g_sink + sum;
        }
        const double floor = Rate(start, kRounds);
        std::printf("tovframe bits=%d packet=%s bytes=%zu built_per_s=%.0f analysed_per_s=%.0f floor_per_s=%.0f\n",
                    bits, pack == shortest ? "short" : "long", reply.size(), built, analysed, floor);
    }
    return 0;
}
