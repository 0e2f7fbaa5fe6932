// The frame codec on its own: request bytes, reply analysis, malformed input
// and a round trip of every packet against an independent encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "../../testsupport/bm100_wire.h"
#include "bm100_tables.h"
#include "frame_codec.h"

using namespace tovframe;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Build(std::size_t pack, bool addressed, std::uint8_t address) {
    std::uint8_t buffer[kFrameBufferSize] = {};
    const std::size_t n = BuildRequest(kBm100Device, pack, addressed, address, buffer);
    return Bytes(buffer, buffer + n);
}

struct Analysed {
    unsigned long result;
    ReplyView view;
    Bytes data;
};

// Analyses `frame` in a heap block of exactly its own length, so that a read
// past the received bytes is caught by the sanitizers.
Analysed Analyse(const Bytes& frame, bool addressed, std::size_t bufferSize = kFrameBufferSize) {
    std::vector<std::uint8_t> block(frame.begin(), frame.end());
    Analysed a{};
    a.result = AnalyseReply(kBm100Device, block.data(), bufferSize, block.size(), addressed, a.view);
    if (a.result == TOV_OK)
        a.data.assign(block.begin() + static_cast<std::ptrdiff_t>(a.view.dataOffset),
                      block.begin() + static_cast<std::ptrdiff_t>(a.view.dataOffset + a.view.dataLength));
    return a;
}

}  // namespace

TEST(RequestFrames, MatchTheLineBytesForKnownRequests) {
    EXPECT_EQ(Build(1, false, 0), (Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x02, 0x10, 0x02, 0x01, 0x08, 0x03}));
    EXPECT_EQ(Build(0, true, 0x05),
              (Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x02, 0xB0, 0x05, 0x10, 0x02, 0x00, 0xBE, 0x03}));
    EXPECT_EQ(Build(6, true, 0x01),
              (Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x02, 0xB0, 0x01, 0x10, 0x02, 0x1F, 0xD9, 0x03}));
    EXPECT_EQ(Build(5, true, 0x10),
              (Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x02, 0xB0, 0x10, 0x10, 0x10, 0x02, 0x14, 0xDD, 0x03}));
}

TEST(RequestFrames, EscapeEveryControlByteOfTheBodyAndStayWithinTheLongestLength) {
    for (std::size_t pack = 0; pack < kBm100Device.packCount; ++pack) {
        for (int address = 0; address < 256; ++address) {
            for (bool addressed : {false, true}) {
                const Bytes frame = Build(pack, addressed, static_cast<std::uint8_t>(address));
                ASSERT_LE(frame.size(), kMaxRequestLength);
                const auto request = bm100wire::DecodeRequest(frame);
                ASSERT_TRUE(request.has_value()) << "pack " << pack << " address " << address;
                EXPECT_EQ(request->code, kBm100Device.packs[pack].code);
                EXPECT_EQ(request->addressed, addressed);
                if (addressed) {
                    EXPECT_EQ(request->address, address);
                }
                // Preamble and STX are never escaped; the ETX closes the frame.
                EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6), (Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x02}));
                EXPECT_EQ(frame.back(), 0x03);
            }
        }
    }
}

TEST(ReplyAnalysis, TakesApartTheAddressedLevelReply) {
    const Bytes reply{0x16, 0x16, 0x02, 0xB0, 0x05, 0x10, 0x02, 0x01, 0x00, 0x00,
                      0x80, 0x3F, 0x10, 0x10, 0x20, 0x30, 0x40, 0x26, 0x03};
    const Analysed a = Analyse(reply, true);
    ASSERT_EQ(a.result, TOV_OK);
    EXPECT_EQ(a.view.pack, 1u);
    EXPECT_EQ(a.view.address, 0x05);
    EXPECT_EQ(a.data, (Bytes{0x00, 0x00, 0x80, 0x3F, 0x10, 0x20, 0x30, 0x40}));
}

TEST(ReplyAnalysis, RejectsAChangedDataByteAsChecksumMismatch) {
    const Bytes reply{0x16, 0x16, 0x02, 0xB0, 0x05, 0x10, 0x02, 0x01, 0x00, 0x00,
                      0x80, 0x3F, 0x10, 0x10, 0x20, 0x30, 0x40, 0x26, 0x03};
    for (std::size_t at : {8u, 11u, 14u, 16u}) {
        for (int value = 0; value < 256; ++value) {
            if (value == reply[at] || value == 0x10) continue;
            Bytes changed = reply;
            changed[at] = static_cast<std::uint8_t>(value);
            const Analysed a = Analyse(changed, true);
            // A changed byte that forms a new structure (an ETX or STX in the
            // wrong place) may give a frame error instead; never success.
            EXPECT_NE(a.result, TOV_OK) << "byte " << at << " = " << value;
            if (value != 0x03 && value != 0x02 && value != 0x16) {
                EXPECT_EQ(a.result, TOV_E_CHECKSUM);
            }
        }
    }
}

TEST(ReplyAnalysis, RejectsAnUnknownCodeAndAcceptsAReplyWithoutData) {
    EXPECT_EQ(Analyse(bm100wire::EncodeReply(0x05, Bytes(8, 0x11), true, 5), true).result, TOV_E_FRAME);
    const Analysed empty = Analyse(bm100wire::EncodeReply(0x01, {}, true, 5), true);
    ASSERT_EQ(empty.result, TOV_OK);
    EXPECT_EQ(empty.view.pack, 1u);
    EXPECT_EQ(empty.view.dataLength, 0u);
}

TEST(ReplyAnalysis, RejectsADataLengthOtherThanThePacketsOrNone) {
    for (std::size_t len : {1u, 7u, 9u, 40u}) {
        EXPECT_EQ(Analyse(bm100wire::EncodeReply(0x01, Bytes(len, 0x41), false, 0), false).result, TOV_E_FRAME)
            << len;
    }
}

TEST(ReplyAnalysis, ChecksLengthBeforeContents) {
    Bytes six{0x02, 0x02, 0x01, 0x06, 0x03, 0x03};
    EXPECT_EQ(Analyse(six, false).result, TOV_E_FRAME);
    Bytes full = bm100wire::EncodeReply(0x01, Bytes(8, 0x41), false, 0, Bytes(256 - 14, 0x16));
    ASSERT_EQ(full.size(), 256u);
    EXPECT_EQ(Analyse(full, false).result, TOV_E_FRAME);
    full.erase(full.begin());  // 255 bytes: accepted
    EXPECT_EQ(Analyse(full, false).result, TOV_OK);
    // In the empty state the size is 0: every frame is refused.
    EXPECT_EQ(Analyse(bm100wire::EncodeReply(0x01, Bytes(8, 0x41), false, 0), false, 0).result, TOV_E_FRAME);
}

TEST(ReplyAnalysis, RefusesMalformedFramesWithoutLeavingTheReceivedBytes) {
    const std::vector<Bytes> frames = {
        Bytes(20, 0x16),                                          // only SYN bytes
        Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x16, 0x03},          // no STX before the ETX
        Bytes{0x00, 0x00, 0x41, 0x02, 0x02, 0x01, 0x06, 0x03},    // another byte before the STX
        Bytes{0x16, 0x02, 0x02, 0x01, 0x41, 0x41, 0x10, 0x03},    // DLE escapes the ETX
        Bytes{0x16, 0x02, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03},    // escapes run to the end
        Bytes{0x16, 0x02, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03},
        Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x02, 0x03},          // STX then ETX
        Bytes{0x16, 0x16, 0x16, 0x16, 0x02, 0x03, 0x03},          // checksum only
        Bytes{0x16, 0x16, 0x16, 0x02, 0x02, 0x03, 0x03},          // command, no code
        Bytes{0x16, 0x16, 0x16, 0x16, 0x16, 0x16, 0x41},          // no ETX at the end
    };
    for (const Bytes& f : frames) {
        for (bool addressed : {false, true}) {
            const Analysed a = Analyse(f, addressed);
            EXPECT_NE(a.result, TOV_OK);
        }
    }
}

TEST(ReplyAnalysis, ATooShortAddressedFrameIsAFrameErrorNotACodeFromTheChecksum) {
    // Valid checksum over STX, command, code; analysed as addressed the code
    // would sit at or after the checksum.
    const Bytes reply = bm100wire::EncodeReply(0x01, {}, false, 0, {0x16, 0x16, 0x16});
    EXPECT_EQ(Analyse(reply, true).result, TOV_E_FRAME);
}

TEST(RoundTrip, EveryPacketWithControlHeavyDataAndAnyAddress) {
    std::mt19937 rng(20261207);
    const std::uint8_t heavy[] = {0x02, 0x03, 0x10, 0x16, 0x00, 0xFF};
    std::uniform_int_distribution<int> byte(0, 255), pick(0, 9);
    for (int round = 0; round < 200; ++round) {
        for (std::size_t pack = 0; pack < kBm100Device.packCount; ++pack) {
            const tagSpdPackDsc& p = kBm100Device.packs[pack];
            Bytes data(p.dataLength);
            for (auto& b : data)
                b = static_cast<std::uint8_t>(pick(rng) < 6 ? heavy[pick(rng) % 6] : byte(rng));
            for (bool addressed : {false, true}) {
                const auto address = static_cast<std::uint8_t>(pick(rng) < 5 ? heavy[pick(rng) % 4] : byte(rng));
                Bytes leading(static_cast<std::size_t>(pick(rng)), 0x16);
                if (!leading.empty()) leading[0] = 0x00;
                const Bytes frame = bm100wire::EncodeReply(p.code, data, addressed, address, leading);
                if (frame.size() >= kFrameBufferSize) continue;
                const Analysed a = Analyse(frame, addressed);
                ASSERT_EQ(a.result, TOV_OK) << "pack " << pack;
                EXPECT_EQ(a.view.pack, pack);
                EXPECT_EQ(a.data, data);
                EXPECT_EQ(a.view.address, addressed ? address : 0);
            }
        }
    }
}

TEST(Bm100Tables, CellsLieInsideTheirPacketAndFillItExceptStatus) {
    unsigned long expectedNameId = 508;
    EXPECT_EQ(kBm100Device.packCount, 7u);
    for (std::size_t pack = 0; pack < kBm100Device.packCount; ++pack) {
        const tagSpdPackDsc& p = kBm100Device.packs[pack];
        EXPECT_EQ(p.nameId, 501 + pack);
        unsigned total = 0;
        for (std::size_t c = 0; c < p.cellCount; ++c) {
            const tagSpdCellDsc& cell = p.cells[c];
            EXPECT_EQ(cell.nameId, expectedNameId++);
            EXPECT_LE(cell.offset + cell.size, p.dataLength) << "pack " << pack << " cell " << c;
            if (cell.varType == TOV_VT_BOOL) {
                EXPECT_LT(cell.bit, cell.size * 8u);
            } else {
                EXPECT_EQ(cell.bit, 0);
                EXPECT_EQ(cell.offset, total) << "cells follow each other";
                total += cell.size;
            }
        }
        if (p.code != 0x1F) {
            EXPECT_EQ(total, p.dataLength) << "pack " << pack;
        }
    }
    EXPECT_EQ(expectedNameId, 593u);
}
