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
#include "tovframe_host.h"
#include "tovframe.h"
#include "vrel/hex_text.h"

namespace {

std::string Hex(const unsigned char* bytes, unsigned long n) {
    return vrel::FormatHex(bytes, n, vrel::HexCase::Upper, ' ');
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
    bm100tool::TovFrameHost tov;
    if (!tov.Load(L"", "tovframe-walkthrough")) return 1;

    tagTovProtoInfo info{};
    unsigned long count = 0;
    tov.getInfo(&info, &count);
    std::printf("TovFrame serves %lu protocol: device type %d (%s), version %d\n\n", count,
                static_cast<int>(info.type), tov.DeviceName(info.type).c_str(), static_cast<int>(info.version));

    const tagFrameDsc& dsc = tov.dsc;
    const unsigned char address = 0x05;
    for (unsigned long p = 0; p < dsc.device->packCount; ++p) {
        const tagSpdPackDsc& pack = dsc.device->packs[p];
        unsigned long frameLength = 0;
        tov.setFrameData(dsc.handle, address, p, 1, nullptr, &frameLength);
        std::printf("Packet %lu \"%s\" (code 0x%02X, %u data bytes)\n", p, tov.PackName(p).c_str(), pack.code,
                    pack.dataLength);
        std::printf("  request to gauge %u: %s\n", address, Hex(dsc.buffer, frameLength).c_str());

        const auto reply = bm100wire::EncodeReply(pack.code, SampleData(pack, p), true, address);
        std::memcpy(dsc.buffer, reply.data(), reply.size());
        std::printf("  reply:   %s\n", Hex(dsc.buffer, static_cast<unsigned long>(reply.size())).c_str());
        unsigned long found = 0, dataLength = static_cast<unsigned long>(reply.size());
        unsigned char* data = nullptr;
        unsigned char from = 0;
        const unsigned long result = tov.analize(dsc.handle, &from, &found, 1, &data, &dataLength);
        if (result != TOV_OK) {
            std::printf("  analysis failed: %lu\n", result);
            continue;
        }
        std::printf("  analysed: packet %lu from gauge %u, %lu data bytes\n", found, from, dataLength);
        for (unsigned c = 0; c < pack.cellCount; ++c) {
            const tagSpdCellDsc& cell = pack.cells[c];
            std::printf("    %-26s %-4s = %s\n", tov.CellName(found, c).c_str(), bm100tool::TypeName(cell.varType).c_str(),
                        bm100tool::FormatCell(cell, data, dataLength).c_str());
        }
        std::printf("\n");
    }
    return 0;
}
