// What the simulated BM100 gauge answers: fixed, plausible data for each of
// the seven packets and the reply frame around it, built with the test
// suite's own encoder. Shared by the simulator and the tests that check the
// bytes a link delivers. Portable: no Windows header.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../../../testsupport/bm100_wire.h"

namespace gauge {

inline constexpr std::uint8_t kPacketCodes[7] = {0x00, 0x01, 0x02, 0x0A, 0x0B, 0x14, 0x1F};

class DataWriter {
public:
    DataWriter& R4(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
        return *this;
    }
    DataWriter& I2(std::int16_t value) {
        const auto bits = static_cast<std::uint16_t>(value);
        bytes_.push_back(static_cast<std::uint8_t>(bits & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(bits >> 8));
        return *this;
    }
    DataWriter& UI1(std::uint8_t value) {
        bytes_.push_back(value);
        return *this;
    }
    DataWriter& Text(const std::string& text, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) bytes_.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
        return *this;
    }
    std::vector<std::uint8_t> Done() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// The data of a packet by its line code; empty for a code the gauge does not
// know. Several bytes equal control characters (0x02, 0x03, 0x10, 0x16), so
// every reply exercises escaping.
inline std::vector<std::uint8_t> PacketData(std::uint8_t code) {
    switch (code) {
    case 0x00: return DataWriter().Text("BM100-SIM", 15).Text("2.03", 10).Done();
    case 0x01: return DataWriter().R4(2.345f).UI1(0x10).UI1(0x03).UI1(200).UI1(0x16).Done();
    case 0x02: return DataWriter().R4(1.125f).UI1(0x02).UI1(7).Done();
    case 0x0A:
        return DataWriter()
            .R4(10.0f).R4(0.3f).UI1(5).UI1(0).R4(0.5f).R4(0.25f).UI1(2).UI1(1).UI1(3).I2(263)
            .UI1(10).UI1(1).UI1(2).UI1(1).UI1(1).UI1(0).R4(0.0f).R4(10.0f).UI1(2).UI1(1).R4(0.0f).R4(5.0f)
            .Done();
    case 0x0B:
        return DataWriter()
            .UI1(1).UI1(0).Text("0000", 10).I2(1).I2(0).I2(-5).I2(12).R4(0.75f).R4(2.1f).UI1(3).UI1(5)
            .R4(1.0f).R4(1.5f).R4(2.0f).R4(2.5f).Text("TANK-7", 10).UI1(20)
            .Done();
    case 0x14:
        return DataWriter().R4(7.655f).UI1(180).UI1(12).UI1(40).UI1(1).UI1(1).R4(8.875f).UI1(90).UI1(20).UI1(30).Done();
    case 0x1F:
        // No_RefPulse_Error, Level_Frozen and User_Conf_Modif set.
        return DataWriter().UI1(0).UI1(0).UI1(0x04).UI1(0).UI1(0x04).UI1(0x01).UI1(0).Done();
    default: return {};
    }
}

// A reply frame: two SYN, STX, [0xB0, address], command 0x02, code, data,
// checksum (+ checksumDelta, to fake a corrupted frame), ETX; the body from
// the byte after STX escaped with DLE.
inline std::vector<std::uint8_t> ReplyFrame(std::uint8_t code, bool addressed, std::uint8_t address,
                                            std::uint8_t checksumDelta = 0) {
    std::vector<std::uint8_t> body{0x02};
    if (addressed) {
        body.push_back(0xB0);
        body.push_back(address);
    }
    body.push_back(0x02);
    body.push_back(code);
    const auto data = PacketData(code);
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(static_cast<std::uint8_t>(bm100wire::Checksum(body) + checksumDelta));

    std::vector<std::uint8_t> frame{0x16, 0x16, 0x02};
    for (std::size_t i = 1; i < body.size(); ++i) {
        if (bm100wire::NeedsEscape(body[i])) frame.push_back(0x10);
        frame.push_back(body[i]);
    }
    frame.push_back(0x03);
    return frame;
}

// A request as a host builds it: five SYN, STX, [0xB0, address], 0x02, code,
// checksum, ETX, escaped.
inline std::vector<std::uint8_t> RequestFrame(std::uint8_t code, bool addressed, std::uint8_t address) {
    std::vector<std::uint8_t> body{0x02};
    if (addressed) {
        body.push_back(0xB0);
        body.push_back(address);
    }
    body.push_back(0x02);
    body.push_back(code);
    body.push_back(bm100wire::Checksum(body));
    std::vector<std::uint8_t> frame{0x16, 0x16, 0x16, 0x16, 0x16, 0x02};
    for (std::size_t i = 1; i < body.size(); ++i) {
        if (bm100wire::NeedsEscape(body[i])) frame.push_back(0x10);
        frame.push_back(body[i]);
    }
    frame.push_back(0x03);
    return frame;
}

}  // namespace gauge
