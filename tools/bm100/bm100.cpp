// bm100: reads a BM100 level gauge as any outside host would. Busvault is
// created through COM by its ProgID and carries the bytes over the serial
// line; TovFrame, loaded by LoadLibrary and bound by its decorated export
// names, builds each request and takes the reply apart.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "busvault.h"
#include "cell_format.h"
#include "options.h"
#include "tovframe_host.h"
#include "tovframe.h"
#include "vrel/com_apartment.h"
#include "vrel/com_ptr.h"
#include "vrel/module_exports.h"
#include "vrel/module_path.h"
#include "vrel/unique_handle.h"

namespace {

using bm100tool::Options;

enum ExitCode { kOk = 0, kUsage = 1, kUnavailable = 2, kPortFailed = 3, kNoReply = 4, kBadReply = 5 };

std::wstring OwnFolder() {
    const std::wstring folder = vrel::ModulePath(nullptr);
    const std::size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

using TovFrame = bm100tool::TovFrameHost;

// The packet indexes the user asked for, in the order given.
bool ResolvePackets(const TovFrame& tov, const std::vector<std::string>& wanted, std::vector<unsigned long>& packs) {
    const unsigned long count = tov.dsc.device->packCount;
    if (wanted.empty()) {
        for (unsigned long p = 0; p < count; ++p) packs.push_back(p);
        return true;
    }
    for (const std::string& w : wanted) {
        bool found = false;
        std::uint32_t n = 0;
        const bool isCode = w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X');
        for (unsigned long p = 0; p < count && !found; ++p) {
            if (isCode ? bm100tool::ParseNumber(w, 255, n) && tov.dsc.device->packs[p].code == n
                       : (bm100tool::ParseNumber(w, 255, n) ? n == p : _stricmp(w.c_str(), tov.PackName(p).c_str()) == 0)) {
                packs.push_back(p);
                found = true;
            }
        }
        if (!found) {
            std::fprintf(stderr, "bm100: no packet \"%s\"; the packets are:\n", w.c_str());
            for (unsigned long p = 0; p < count; ++p)
                std::fprintf(stderr, "  %lu  0x%02X  %s\n", p, tov.dsc.device->packs[p].code, tov.PackName(p).c_str());
            return false;
        }
    }
    return true;
}

// Creates the store by its ProgID; registers the Busvault.dll beside this
// program once if the class is not registered.
vrel::ComPtr<IBusvaultStore> CreateStore(const std::wstring& folder) {
    vrel::ComPtr<IBusvaultStore> store;
    for (int round = 0; round < 2; ++round) {
        CLSID clsid{};
        HRESULT hr = ::CLSIDFromProgID(L"" BUSVAULT_PROGID_INDEPENDENT, &clsid);
        if (SUCCEEDED(hr))
            hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBusvaultStore, store.put_void());
        if (SUCCEEDED(hr) && store) return store;
        const bool notRegistered = hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB ||
                                   hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        if (round == 1 || !notRegistered) {
            std::fprintf(stderr, "bm100: cannot create %s through COM (0x%08lX)\n", BUSVAULT_PROGID_INDEPENDENT,
                         static_cast<unsigned long>(hr));
            return {};
        }
        const std::wstring path = folder + L"Busvault.dll";
        vrel::unique_hmodule server(::LoadLibraryW(path.c_str()));
        const auto registerServer = vrel::Export<HRESULT(STDAPICALLTYPE*)()>(server.get(), "DllRegisterServer");
        const HRESULT registered = registerServer ? registerServer() : E_FAIL;
        if (FAILED(registered)) {
            std::fprintf(stderr, "bm100: Busvault is not registered and %s could not be registered (0x%08lX)\n",
                         Narrow(path).c_str(), static_cast<unsigned long>(registered));
            return {};
        }
        std::fprintf(stderr, "bm100: registered %s as the Busvault COM server\n", Narrow(path).c_str());
    }
    return {};
}

void PrintStats(const ExchangeStats& s) {
    std::printf("  exchange: %lu bytes written in %lu ms, %lu bytes read in %lu ms, %lu read attempt(s), %lu ms in all\n",
                s.bytesWritten, s.writeMs, s.bytesRead, s.readMs, s.attempts, s.totalMs);
}

// Requests one packet and prints its cells; the exit code of the outcome.
int ReadPacket(TovFrame& tov, IBusvaultStore* store, DWORD handle, const Options& options, unsigned long pack) {
    const tagSpdPackDsc& desc = tov.dsc.device->packs[pack];
    std::printf("Packet %lu \"%s\" (code 0x%02X)\n", pack, tov.PackName(pack).c_str(), desc.code);

    unsigned long frameLength = 0;
    if (tov.setFrameData(tov.dsc.handle, options.address, pack, options.addressed ? 1 : 0, nullptr, &frameLength) !=
            TOV_OK ||
        frameLength == 0 || frameLength > tov.dsc.size) {
        std::fprintf(stderr, "bm100: TovFrame could not build the request of packet %lu\n", pack);
        return kUnavailable;
    }
    std::vector<BYTE> request(tov.dsc.buffer, tov.dsc.buffer + frameLength);
    std::vector<BYTE> reply(256, 0);
    DWORD requestLength = static_cast<DWORD>(request.size());
    DWORD replyLength = static_cast<DWORD>(reply.size());
    ExchangeStats stats{};
    const DWORD status = store->Exchange(handle, request.data(), reply.data(), &requestLength, &replyLength, &stats);
    if (status != BUSVAULT_STATUS_OK) {
        PrintStats(stats);
        if (status == BUSVAULT_STATUS_NO_REPLY) {
            std::fprintf(stderr, "bm100: no reply from the gauge to packet %lu \"%s\" after %lu read attempt(s)\n",
                         pack, tov.PackName(pack).c_str(), stats.attempts);
            return kNoReply;
        }
        std::fprintf(stderr, "bm100: the request of packet %lu could not be sent (status 0x%08lX)\n", pack,
                     static_cast<unsigned long>(status));
        return kPortFailed;
    }

    // The frame buffer takes fewer than 256 bytes; anything longer is no frame.
    if (replyLength == 0 || replyLength >= tov.dsc.size || replyLength > reply.size()) {
        PrintStats(stats);
        std::fprintf(stderr, "bm100: bad reply to packet %lu: %lu bytes\n", pack, replyLength);
        return kBadReply;
    }
    std::memcpy(tov.dsc.buffer, reply.data(), replyLength);
    unsigned char from = 0;
    unsigned long found = 0, dataLength = replyLength;
    unsigned char* data = nullptr;
    const unsigned long analysed =
        tov.analize(tov.dsc.handle, &from, &found, options.addressed ? 1 : 0, &data, &dataLength);
    const char* fault = analysed == TOV_E_CHECKSUM ? "checksum mismatch"
                        : analysed != TOV_OK      ? "not a valid frame (cut short or garbled)"
                        : found != pack           ? "the answer to another packet"
                        : options.addressed && from != options.address ? "from another gauge"
                        : dataLength != desc.dataLength ? "without the packet's data"
                                                        : nullptr;
    if (fault) {
        PrintStats(stats);
        std::fprintf(stderr, "bm100: bad reply to packet %lu \"%s\": %s\n", pack, tov.PackName(pack).c_str(), fault);
        return kBadReply;
    }
    for (unsigned c = 0; c < desc.cellCount; ++c) {
        const tagSpdCellDsc& cell = desc.cells[c];
        std::printf("  %-26s %-4s = %s\n", tov.CellName(pack, c).c_str(), bm100tool::TypeName(cell.varType).c_str(),
                    bm100tool::FormatCell(cell, data, dataLength).c_str());
    }
    PrintStats(stats);
    return kOk;
}

int Run(const Options& options) {
    const std::wstring folder = OwnFolder();
    TovFrame tov;
    if (!tov.Load(folder, "bm100")) return kUnavailable;
    std::vector<unsigned long> packs;
    if (!ResolvePackets(tov, options.packets, packs)) return kUsage;

    const vrel::ComApartment apartment;
    if (!apartment.Entered()) {
        std::fprintf(stderr, "bm100: COM cannot start (0x%08lX)\n", static_cast<unsigned long>(apartment.Result()));
        return kUnavailable;
    }
    vrel::ComPtr<IBusvaultStore> store = CreateStore(folder);
    if (!store) return kUnavailable;

    DWORD handle = 0;
    IBusvaultLinkSetup* setup = nullptr;  // owned by the store, not counted
    if (FAILED(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle,
                                 reinterpret_cast<void**>(&setup))) ||
        !setup) {
        std::fprintf(stderr, "bm100: Busvault refused a serial link\n");
        return kUnavailable;
    }
    IBusvaultLink* link = nullptr;
    setup->QueryInterface(IID_IBusvaultLink, reinterpret_cast<void**>(&link));

    HRESULT hr = setup->OpenPort(options.port.c_str());
    if (FAILED(hr)) {
        std::fprintf(stderr, "bm100: cannot open port %s (0x%08lX)\n", options.port.c_str(), static_cast<unsigned long>(hr));
        return kPortFailed;
    }
    hr = setup->BuildState(options.mode.c_str());
    if (FAILED(hr)) {
        std::fprintf(stderr, "bm100: the mode \"%s\" is no valid line setting\n", options.mode.c_str());
        return kPortFailed;
    }
    if (!link || FAILED(link->SetTimeouts(options.waitMs, options.intervalMs)) ||
        FAILED(store->SetAttempts(handle, options.attempts))) {
        std::fprintf(stderr, "bm100: cannot set the time-outs of port %s\n", options.port.c_str());
        return kPortFailed;
    }

    std::printf("BM100 gauge on %s (%s), %s; wait %lu ms, interval %lu ms, %lu attempt(s)\n\n", options.port.c_str(),
                options.mode.c_str(),
                options.addressed ? ("address " + std::to_string(options.address)).c_str() : "not addressed",
                static_cast<unsigned long>(options.waitMs), static_cast<unsigned long>(options.intervalMs),
                static_cast<unsigned long>(options.attempts));
    int result = kOk;
    for (unsigned long pack : packs) {
        const int outcome = ReadPacket(tov, store.get(), handle, options, pack);
        if (result == kOk) result = outcome;
        std::printf("\n");
        std::fflush(stdout);
    }
    store->DeleteLink(handle);
    std::printf("%s\n", result == kOk ? "All packets read." : "Not every packet could be read.");
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!bm100tool::ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "bm100: %s (bm100 --help for the options)\n", error.c_str());
        return kUsage;
    }
    if (options.help) {
        std::fputs(bm100tool::kUsage, stdout);
        return kOk;
    }
    return Run(options);
}
