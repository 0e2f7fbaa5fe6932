// tovframe-walkthrough: a host's tour of TovFrame.dll. It binds the eight
// exports by their decorated names, builds the request of every packet,
// answers each with a made-up gauge reply and prints the analysed cells.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../../testsupport/bm100_wire.h"
#include "cell_format.h"
#include "tovframe.h"

namespace {

struct Api {
    TovGetInfoFn getInfo;
    TovFrameInitializeFn initialize;
    TovFrameUninitializeFn uninitialize;
    TovGetSpdDevNameFn devName;
    TovGetSpdPackNameFn packName;
    TovGetSpdCellNameFn cellName;
    TovSetFrameDataFn setFrameData;
    TovFrameAnalizeFn analize;
};

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    if (!fn) std::fprintf(stderr, "TovFrame.dll lacks %s\n", name);
    return fn != nullptr;
}

std::string Hex(const unsigned char* bytes, unsigned long n) {
    std::string s;
    char b[4];
    for (unsigned long i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

// Plausible gauge data for a packet: floats, small integers, texts and a
// few status bits, little-endian.
std::vector<std::uint8_t> SampleData(const tagSpdPackDsc& pack, unsigned long packIndex) {
    std::vector<std::uint8_t> data(pack.dataLength, 0);
    for (unsigned c = 0; c < pack.cellCount; ++c) {
        const tagSpdCellDsc& cell = pack.cells[c];
        std::uint8_t* p = data.data() + cell.offset;
        switch (cell.varType) {
        case TOV_VT_R4: {
            const float value = 0.25f * static_cast<float>((c + 1) * (packIndex + 3));
            std::memcpy(p, &value, 4);  // x86 is little-endian, as the gauge
            break;
        }
        case TOV_VT_I2: {
            const auto value = static_cast<std::int16_t>(-10 * static_cast<int>(c));
            std::memcpy(p, &value, 2);
            break;
        }
        case TOV_VT_UI1: p[0] = static_cast<std::uint8_t>(c + packIndex); break;
        case TOV_VT_BSTR: {
            const std::string text = c == 0 ? "BM100-SIM" : "V2.03";
            std::memcpy(p, text.data(), text.size() < cell.size ? text.size() : cell.size);
            break;
        }
        case TOV_VT_BOOL:
            if (c % 3 == 0) p[cell.bit / 8] = static_cast<std::uint8_t>(p[cell.bit / 8] | (1u << (cell.bit % 8)));
            break;
        }
    }
    return data;
}

}  // namespace

int main() {
    HMODULE module = ::LoadLibraryW(L"TovFrame.dll");
    if (!module) {
        std::fprintf(stderr, "cannot load TovFrame.dll (error %lu)\n", ::GetLastError());
        return 1;
    }
    Api api{};
    if (!Bind(module, TOV_EXPORT_GETINFO, api.getInfo) || !Bind(module, TOV_EXPORT_FRAMEINITIALIZE, api.initialize) ||
        !Bind(module, TOV_EXPORT_FRAMEUNINITIALIZE, api.uninitialize) ||
        !Bind(module, TOV_EXPORT_GETSPDDEVNAME, api.devName) || !Bind(module, TOV_EXPORT_GETSPDPACKNAME, api.packName) ||
        !Bind(module, TOV_EXPORT_GETSPDCELLNAME, api.cellName) ||
        !Bind(module, TOV_EXPORT_SETFRAMEDATA, api.setFrameData) || !Bind(module, TOV_EXPORT_FRAMEANALIZE, api.analize))
        return 1;

    tagTovProtoInfo info{};
    unsigned long count = 0;
    api.getInfo(&info, &count);
    char name[64];
    unsigned long length = sizeof name;
    api.devName(info.type, name, &length);
    std::printf("TovFrame serves %lu protocol: device type %d (%s), version %d\n\n", count,
                static_cast<int>(info.type), name, static_cast<int>(info.version));

    tagFrameDsc dsc{};
    if (api.initialize(&dsc, FRSPDDEVTYPE_BM100, FRSPDDEVVER_2) != TOV_OK) return 1;
    const unsigned char address = 0x05;
    for (unsigned long p = 0; p < dsc.device->packCount; ++p) {
        const tagSpdPackDsc& pack = dsc.device->packs[p];
        length = sizeof name;
        api.packName(dsc.handle, p, name, &length);
        unsigned long frameLength = 0;
        api.setFrameData(dsc.handle, address, p, 1, nullptr, &frameLength);
        std::printf("Packet %lu \"%s\" (code 0x%02X, %u data bytes)\n", p, name, pack.code, pack.dataLength);
        std::printf("  request to gauge %u: %s\n", address, Hex(dsc.buffer, frameLength).c_str());

        const auto reply = bm100wire::EncodeReply(pack.code, SampleData(pack, p), true, address);
        std::memcpy(dsc.buffer, reply.data(), reply.size());
        std::printf("  reply:   %s\n", Hex(dsc.buffer, static_cast<unsigned long>(reply.size())).c_str());
        unsigned long found = 0, dataLength = static_cast<unsigned long>(reply.size());
        unsigned char* data = nullptr;
        unsigned char from = 0;
        const unsigned long result = api.analize(dsc.handle, &from, &found, 1, &data, &dataLength);
        if (result != TOV_OK) {
            std::printf("  analysis failed: %lu\n", result);
            continue;
        }
        std::printf("  analysed: packet %lu from gauge %u, %lu data bytes\n", found, from, dataLength);
        for (unsigned c = 0; c < pack.cellCount; ++c) {
            length = sizeof name;
            api.cellName(dsc.handle, found, c, name, &length);
            const tagSpdCellDsc& cell = pack.cells[c];
            std::printf("    %-26s %-4s = %s\n", name, bm100tool::TypeName(cell.varType).c_str(),
                        bm100tool::FormatCell(cell, data, dataLength).c_str());
        }
        std::printf("\n");
    }
    api.uninitialize(dsc.handle);
    ::FreeLibrary(module);
    return 0;
}
