// Busvault's cost per exchange for scripts/bench: request/reply exchanges
// through the COM server with a gauge that answers at once, then the same
// bytes with a bare overlapped write and read on the same line (the floor).
//   busvault_bench PORT        (PORT as "COM210"; Busvault registered)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "busvault.h"
#include "tovframe_host.h"
#include "vrel/com_apartment.h"
#include "vrel/com_ptr.h"
#include "vrel/unique_handle.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kExchanges = 200;

double MicrosecondsPer(Clock::time_point start, int count) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
}

// One write of the request and reads until the reply's length has come.
bool BareExchange(HANDLE port, const std::vector<BYTE>& request, std::vector<BYTE>& reply, DWORD replyLength) {
    OVERLAPPED io{};
    vrel::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    io.hEvent = event.get();
    DWORD done = 0;
    if (!::WriteFile(port, request.data(), static_cast<DWORD>(request.size()), nullptr, &io) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return false;
    if (!::GetOverlappedResult(port, &io, &done, TRUE) || done != request.size()) return false;
    for (DWORD got = 0; got < replyLength; got += done) {
        ::ResetEvent(event.get());
        if (!::ReadFile(port, reply.data() + got, replyLength - got, nullptr, &io) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return false;
        if (!::GetOverlappedResult(port, &io, &done, TRUE)) return false;
    }
    return true;
}

// Microseconds per exchange asking for `capacity` reply bytes; -1 when one fails.
double TimeExchanges(IBusvaultStore& store, DWORD handle, const std::vector<BYTE>& request, std::vector<BYTE>& reply,
                     DWORD capacity) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kExchanges; ++i) {
        std::vector<BYTE> sent = request;
        DWORD requestLength = static_cast<DWORD>(sent.size());
        DWORD replyLength = capacity;
        ExchangeStats stats{};
        if (store.Exchange(handle, sent.data(), reply.data(), &requestLength, &replyLength, &stats) !=
            BUSVAULT_STATUS_OK) {
            std::fprintf(stderr, "busvault_bench: exchange %d failed\n", i);
            return -1;
        }
    }
    return MicrosecondsPer(start, kExchanges);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: busvault_bench PORT\n");
        return 2;
    }
    const std::string port = argv[1];
    bm100tool::TovFrameHost tov;
    if (!tov.Load(L"", "busvault_bench")) return 1;
    unsigned long length = 0;
    if (tov.setFrameData(tov.dsc.handle, 0, 0, 0, nullptr, &length) != TOV_OK || length == 0) return 1;
    const std::vector<BYTE> request(tov.dsc.buffer, tov.dsc.buffer + length);
    std::vector<BYTE> reply(256, 0);
    DWORD replyLength = 0;

    const vrel::ComApartment apartment;
    double exchangeUs = 0, spareUs = 0;
    {
        CLSID clsid{};
        vrel::ComPtr<IBusvaultStore> store;
        if (FAILED(::CLSIDFromProgID(L"" BUSVAULT_PROGID_INDEPENDENT, &clsid)) ||
            FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBusvaultStore, store.put_void()))) {
            std::fprintf(stderr, "busvault_bench: Busvault is not registered\n");
            return 1;
        }
        DWORD handle = 0;
        IBusvaultLinkSetup* setup = nullptr;  // owned by the store
        IBusvaultLink* link = nullptr;
        if (FAILED(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle,
                                     reinterpret_cast<void**>(&setup))) ||
            FAILED(setup->OpenPort(port.c_str())) || FAILED(setup->BuildState("9600,n,8,1")) ||
            FAILED(setup->QueryInterface(IID_IBusvaultLink, reinterpret_cast<void**>(&link))) ||
            FAILED(link->SetTimeouts(500, 50)) || FAILED(store->SetAttempts(handle, 3))) {
            std::fprintf(stderr, "busvault_bench: cannot set up %s\n", port.c_str());
            return 1;
        }
        link->Release();
        // The first exchange tells the reply's length; a client that knows it
        // asks for exactly that many bytes and its read ends with the last
        // one. With room to spare the read ends only when the line has been
        // quiet for the read interval (50 ms here).
        DWORD requestLength = static_cast<DWORD>(request.size());
        replyLength = static_cast<DWORD>(reply.size());
        std::vector<BYTE> sent = request;
        if (store->Exchange(handle, sent.data(), reply.data(), &requestLength, &replyLength, nullptr) !=
            BUSVAULT_STATUS_OK) {
            std::fprintf(stderr, "busvault_bench: the gauge does not answer\n");
            return 1;
        }
        exchangeUs = TimeExchanges(*store.get(), handle, request, reply, replyLength);
        spareUs = TimeExchanges(*store.get(), handle, request, reply, static_cast<DWORD>(reply.size()));
        if (exchangeUs < 0 || spareUs < 0) return 1;
        store->DeleteLink(handle);
    }

    vrel::unique_hfile line(::CreateFileA(("\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 500;
    if (!line || !::BuildCommDCBA("9600,n,8,1", &dcb) || !::SetCommState(line.get(), &dcb) ||
        !::SetCommTimeouts(line.get(), &timeouts)) {
        std::fprintf(stderr, "busvault_bench: cannot open %s\n", port.c_str());
        return 1;
    }
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kExchanges; ++i)
        if (!BareExchange(line.get(), request, reply, replyLength)) {
            std::fprintf(stderr, "busvault_bench: bare exchange %d failed\n", i);
            return 1;
        }
    const double floorUs = MicrosecondsPer(start, kExchanges);
    std::printf("busvault exchanges=%d exchange_us=%.1f floor_us=%.1f spare_us=%.1f\n", kExchanges, exchangeUs,
                floorUs, spareUs);
    return 0;
}
