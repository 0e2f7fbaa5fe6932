// TovFrame.dll as a host sees it: loaded with LoadLibrary, all eight exports
// bound by their decorated names, every check order and result code.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../../testsupport/bm100_wire.h"
#include "tovframe.h"
#include "vrel/module_exports.h"

namespace {

struct TovApi {
    HMODULE module = nullptr;
    TovGetInfoFn getInfo = nullptr;
    TovFrameInitializeFn initialize = nullptr;
    TovFrameUninitializeFn uninitialize = nullptr;
    TovGetSpdDevNameFn devName = nullptr;
    TovGetSpdPackNameFn packName = nullptr;
    TovGetSpdCellNameFn cellName = nullptr;
    TovSetFrameDataFn setFrameData = nullptr;
    TovFrameAnalizeFn analize = nullptr;
};

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
    ASSERT_TRUE(vrel::Bind(module, name, fn)) << name;
}

class TovFrameDll : public ::testing::Test {
protected:
    void SetUp() override {
        api.module = ::LoadLibraryW(L"TovFrame.dll");
        ASSERT_NE(api.module, nullptr) << ::GetLastError();
        Bind(api.module, TOV_EXPORT_GETINFO, api.getInfo);
        Bind(api.module, TOV_EXPORT_FRAMEINITIALIZE, api.initialize);
        Bind(api.module, TOV_EXPORT_FRAMEUNINITIALIZE, api.uninitialize);
        Bind(api.module, TOV_EXPORT_GETSPDDEVNAME, api.devName);
        Bind(api.module, TOV_EXPORT_GETSPDPACKNAME, api.packName);
        Bind(api.module, TOV_EXPORT_GETSPDCELLNAME, api.cellName);
        Bind(api.module, TOV_EXPORT_SETFRAMEDATA, api.setFrameData);
        Bind(api.module, TOV_EXPORT_FRAMEANALIZE, api.analize);
    }
    void TearDown() override {
        if (api.initialize) api.uninitialize(1);  // leave the process-wide state empty
        if (api.module) ::FreeLibrary(api.module);
    }

    tagFrameDsc Initialise() {
        tagFrameDsc dsc{};
        EXPECT_EQ(api.initialize(&dsc, FRSPDDEVTYPE_BM100, FRSPDDEVVER_2), TOV_OK);
        return dsc;
    }

    std::string PackName(unsigned long pack, unsigned long* result = nullptr) {
        char buffer[64] = {};
        unsigned long length = sizeof buffer;
        const unsigned long r = api.packName(1, pack, buffer, &length);
        if (result) *result = r;
        return r == TOV_OK ? std::string(buffer) : std::string();
    }
    std::string CellName(unsigned long pack, unsigned long cell, unsigned long* result = nullptr) {
        char buffer[64] = {};
        unsigned long length = sizeof buffer;
        const unsigned long r = api.cellName(1, pack, cell, buffer, &length);
        if (result) *result = r;
        if (r == TOV_OK) {
            EXPECT_EQ(length, std::string(buffer).size() + 1);
        }
        return r == TOV_OK ? std::string(buffer) : std::string();
    }

    TovApi api;
};

TEST_F(TovFrameDll, GetInfoReportsOneProtocolAndAcceptsANullInfo) {
    unsigned long count = 99;
    EXPECT_EQ(api.getInfo(nullptr, &count), TOV_OK);
    EXPECT_EQ(count, 1u);
    tagTovProtoInfo info{};
    EXPECT_EQ(api.getInfo(&info, &count), TOV_OK);
    EXPECT_EQ(info.type, 176);
    EXPECT_EQ(info.version, 2);
    info = tagTovProtoInfo{};
    EXPECT_EQ(api.getInfo(&info, nullptr), TOV_E_POINTER);
    EXPECT_EQ(info.type, 0) << "nothing written on failure";
}

TEST_F(TovFrameDll, InitialiseOnceUninitialiseWithHandleOneAndAgain) {
    tagFrameDsc dsc = Initialise();
    ASSERT_NE(dsc.buffer, nullptr);
    EXPECT_EQ(dsc.size, 256u);
    EXPECT_EQ(dsc.handle, 1u);
    ASSERT_NE(dsc.device, nullptr);
    EXPECT_EQ(dsc.device->type, 176);
    EXPECT_EQ(dsc.device->reserved, 12u);
    EXPECT_EQ(dsc.device->nameId, 500u);
    EXPECT_EQ(dsc.device->packCount, 7u);
    for (unsigned i = 0; i < 256; ++i) ASSERT_EQ(dsc.buffer[i], 0) << "buffer starts zeroed";

    tagFrameDsc second{};
    EXPECT_EQ(api.initialize(&second, FRSPDDEVTYPE_BM100, FRSPDDEVVER_2), TOV_E_STATE);
    EXPECT_EQ(second.buffer, nullptr) << "a refused initialise writes nothing";
    EXPECT_EQ(api.initialize(nullptr, FRSPDDEVTYPE_BM100, FRSPDDEVVER_2), TOV_E_POINTER);

    EXPECT_EQ(api.uninitialize(0), TOV_E_INDEX);
    EXPECT_EQ(api.uninitialize(2), TOV_E_INDEX);
    unsigned long length = 0;
    EXPECT_EQ(api.setFrameData(1, 0, 1, 0, nullptr, &length), TOV_OK) << "still usable after a wrong handle";
    EXPECT_EQ(api.uninitialize(1), TOV_OK);
    EXPECT_EQ(api.uninitialize(1), TOV_E_STATE);
    EXPECT_EQ(api.uninitialize(7), TOV_E_STATE) << "any handle on an empty library gives 1";

    tagFrameDsc any{};
    EXPECT_EQ(api.initialize(&any, static_cast<FRSPDDEVTYPE>(0), static_cast<FRSPDDEVVER>(0)), TOV_OK);
    EXPECT_EQ(any.device->type, 176) << "type and version are not checked";
    EXPECT_EQ(any.size, 256u);
}

TEST_F(TovFrameDll, DeviceNameIsCutToTheCapacityAndOtherTypesWriteNothing) {
    char buffer[16];
    unsigned long length = sizeof buffer;
    EXPECT_EQ(api.devName(FRSPDDEVTYPE_BM100, buffer, &length), TOV_OK);
    EXPECT_STREQ(buffer, "BM100");
    EXPECT_EQ(length, 6u);

    std::memset(buffer, 'x', sizeof buffer);
    length = 4;
    EXPECT_EQ(api.devName(FRSPDDEVTYPE_BM100, buffer, &length), TOV_OK);
    EXPECT_EQ(std::string(buffer, 4), std::string("BM1\0", 4));
    EXPECT_EQ(buffer[4], 'x') << "nothing past the capacity";
    EXPECT_EQ(length, 4u);

    std::memset(buffer, 'x', sizeof buffer);
    length = 16;
    EXPECT_EQ(api.devName(static_cast<FRSPDDEVTYPE>(177), buffer, &length), TOV_OK);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(length, 16u);

    length = 0;
    EXPECT_EQ(api.devName(FRSPDDEVTYPE_BM100, buffer, &length), TOV_OK);
    EXPECT_EQ(buffer[0], 'x') << "a capacity of 0 writes nothing";
    EXPECT_EQ(api.devName(FRSPDDEVTYPE_BM100, nullptr, &length), TOV_E_POINTER);
    EXPECT_EQ(api.devName(FRSPDDEVTYPE_BM100, buffer, nullptr), TOV_E_POINTER);
}

TEST_F(TovFrameDll, NameCallsCheckHandleThenStateThenPointersThenIndexes) {
    char buffer[32];
    unsigned long length = sizeof buffer;
    EXPECT_EQ(api.packName(1, 0, buffer, &length), TOV_E_STATE);
    EXPECT_EQ(api.cellName(1, 0, 0, buffer, &length), TOV_E_STATE);
    EXPECT_EQ(api.packName(2, 0, buffer, &length), TOV_E_INDEX);
    EXPECT_EQ(api.cellName(2, 0, 0, buffer, &length), TOV_E_INDEX);
    Initialise();
    EXPECT_EQ(api.packName(2, 0, buffer, &length), TOV_E_INDEX);
    EXPECT_EQ(api.cellName(2, 0, 0, buffer, &length), TOV_E_INDEX);
    EXPECT_EQ(api.packName(1, 99, nullptr, &length), TOV_E_POINTER);
    EXPECT_EQ(api.cellName(1, 99, 99, buffer, nullptr), TOV_E_POINTER);
    unsigned long r = 0;
    PackName(7, &r);
    EXPECT_EQ(r, TOV_E_INDEX);
    EXPECT_EQ(CellName(6, 25, &r), "End_Automatic");
    EXPECT_EQ(r, TOV_OK);
    CellName(6, 26, &r);
    EXPECT_EQ(r, TOV_E_INDEX);
    CellName(7, 0, &r);
    EXPECT_EQ(r, TOV_E_INDEX);
}

TEST_F(TovFrameDll, EveryPacketAndCellHasItsName) {
    const std::vector<std::vector<std::string>> cells = {
        {"Device_Identifier", "BM100_Software_Version"},
        {"Level", "Level_Magnitude", "Level_Gain", "Reference_Magnitude", "Reference_Gain"},
        {"Interface_Level", "Interface_Level_Magnitude", "Interface_Level_Gain"},
        {"Tank_Height", "Dead_Zone", "Time_Constant", "Window_Frozen", "Level_Window", "Interface_Level_Window",
         "Probe_Type", "Display_Mode", "Display_Item", "Display_Items", "Cyclic_Time", "Length_Unit",
         "Volume_Unit", "Error_Messages", "Current1_Item", "Current1_Range", "Scale_I1_min", "Scale_I1_max",
         "Current2_Item", "Current2_Range", "Scale_I2_min", "Scale_I2_max"},
        {"Language", "Code", "Code_1", "Level_Direct", "Interface_Level_Auto", "Level_Manual",
         "Interface_Level_Manual", "Detection_Delay", "Epsilon_R", "BaudRate", "Address", "Gain_0", "Gain_1",
         "Gain_2", "Gain_3", "Optional_String", "Settling"},
        {"Level_Distance", "Level_Magnitude", "Level_Gain", "Level_Threshold", "Level_Mode", "Presence_Interface",
         "Interface_Distance", "Interface_Magnitude", "Interface_Gain", "Interface_Threshold"},
        {"ADC_Error", "ROM_Error", "RAM_Error", "EEPROM_Fact_Error", "EEPROM_User_Error", "DAC_Error",
         "Strap_Table_Error", "Microwave_Error", "No_EndPulse_Error", "No_RefPulse_Error", "No_LevPulse_Error",
         "No_InterfPulse_Error", "Dead_Zone_Error", "No_Ref_Pulse", "No_Lev_Pulse", "Level_Frozen",
         "No_InterfPulse", "Interface_Frozen", "Comm_Error", "User_Conf_Modif", "Fact_Conf_Modif",
         "Vol_Table_Modif", "End_EpsilonR", "End_Pulse", "End_Signal", "End_Automatic"},
    };
    const std::vector<std::string> packs = {"BM100_ident",       "Level_Data",        "Interface_Data",
                                            "Config1_Data_Read", "Config2_Data_Read", "Dynamic_Data_Read",
                                            "Status"};
    tagFrameDsc dsc = Initialise();
    for (unsigned long p = 0; p < 7; ++p) {
        EXPECT_EQ(PackName(p), packs[p]);
        ASSERT_EQ(dsc.device->packs[p].cellCount, cells[p].size());
        for (unsigned long c = 0; c < cells[p].size(); ++c) EXPECT_EQ(CellName(p, c), cells[p][c]);
    }
}

TEST_F(TovFrameDll, SetFrameDataChecksInOrderAndBuildsInTheBuffer) {
    unsigned long length = 0;
    unsigned char reserved = 0;
    EXPECT_EQ(api.setFrameData(2, 0, 99, 0, &reserved, &length), TOV_E_POINTER) << "data pointer checked first";
    EXPECT_EQ(api.setFrameData(2, 0, 99, 0, nullptr, nullptr), TOV_E_POINTER);
    EXPECT_EQ(api.setFrameData(2, 0, 99, 0, nullptr, &length), TOV_E_INDEX);
    EXPECT_EQ(api.setFrameData(1, 0, 99, 0, nullptr, &length), TOV_E_STATE);
    tagFrameDsc dsc = Initialise();
    EXPECT_EQ(api.setFrameData(1, 0, 7, 0, nullptr, &length), TOV_E_INDEX);
    EXPECT_EQ(api.setFrameData(1, 0, 1, 0, &reserved, &length), TOV_E_POINTER);
    EXPECT_EQ(length, 0u) << "a failed call writes no output";

    ASSERT_EQ(api.setFrameData(1, 0x10, 5, 1, nullptr, &length), TOV_OK);
    const std::vector<unsigned char> expected{0x16, 0x16, 0x16, 0x16, 0x16, 0x02, 0xB0,
                                              0x10, 0x10, 0x10, 0x02, 0x14, 0xDD, 0x03};
    ASSERT_EQ(length, expected.size());
    EXPECT_EQ(std::vector<unsigned char>(dsc.buffer, dsc.buffer + length), expected);
    ASSERT_EQ(api.setFrameData(1, 0x77, 1, 0, nullptr, &length), TOV_OK);
    EXPECT_EQ(length, 11u) << "the address is used only when addressed";
}

TEST_F(TovFrameDll, AnalizeReportsThePacketDataAndAddressInsideTheBuffer) {
    unsigned long pack = 0, length = 19;
    unsigned char* data = nullptr;
    unsigned char address = 0;
    EXPECT_EQ(api.analize(1, &address, nullptr, 1, &data, &length), TOV_E_POINTER);
    EXPECT_EQ(api.analize(1, &address, &pack, 1, nullptr, &length), TOV_E_POINTER);
    EXPECT_EQ(api.analize(1, &address, &pack, 1, &data, nullptr), TOV_E_POINTER);
    EXPECT_EQ(api.analize(2, &address, &pack, 1, &data, &length), TOV_E_INDEX);
    EXPECT_EQ(api.analize(1, &address, &pack, 1, &data, &length), TOV_E_FRAME) << "empty state";

    tagFrameDsc dsc = Initialise();
    const std::vector<unsigned char> reply{0x16, 0x16, 0x02, 0xB0, 0x05, 0x10, 0x02, 0x01, 0x00, 0x00,
                                           0x80, 0x3F, 0x10, 0x10, 0x20, 0x30, 0x40, 0x26, 0x03};
    std::copy(reply.begin(), reply.end(), dsc.buffer);
    length = static_cast<unsigned long>(reply.size());
    ASSERT_EQ(api.analize(1, &address, &pack, 1, &data, &length), TOV_OK);
    EXPECT_EQ(pack, 1u);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(address, 0x05);
    ASSERT_GE(data, dsc.buffer);
    ASSERT_LE(data + length, dsc.buffer + dsc.size);
    EXPECT_EQ(std::vector<unsigned char>(data, data + length),
              (std::vector<unsigned char>{0x00, 0x00, 0x80, 0x3F, 0x10, 0x20, 0x30, 0x40}));

    // A reply without data: length 0, null data; a null address pointer is allowed.
    const auto empty = bm100wire::EncodeReply(0x1F, {}, false, 0);
    std::copy(empty.begin(), empty.end(), dsc.buffer);
    length = static_cast<unsigned long>(empty.size());
    data = dsc.buffer;
    ASSERT_EQ(api.analize(1, nullptr, &pack, 0, &data, &length), TOV_OK);
    EXPECT_EQ(pack, 6u);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(data, nullptr);

    // A failed analysis leaves the outputs alone.
    pack = 42;
    length = 6;
    EXPECT_EQ(api.analize(1, &address, &pack, 0, &data, &length), TOV_E_FRAME);
    EXPECT_EQ(pack, 42u);
    EXPECT_EQ(length, 6u);
    length = 256;
    EXPECT_EQ(api.analize(1, &address, &pack, 0, &data, &length), TOV_E_FRAME);
}

TEST_F(TovFrameDll, HostExchangeRoundTripsEveryPacket) {
    tagFrameDsc dsc = Initialise();
    for (unsigned long p = 0; p < 7; ++p) {
        for (int addressed = 0; addressed < 2; ++addressed) {
            unsigned long length = 0;
            ASSERT_EQ(api.setFrameData(1, 0x03, p, addressed, nullptr, &length), TOV_OK);
            const auto request = bm100wire::DecodeRequest(std::vector<std::uint8_t>(dsc.buffer, dsc.buffer + length));
            ASSERT_TRUE(request.has_value());
            std::vector<std::uint8_t> data(dsc.device->packs[p].dataLength);
            for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + p);
            const auto reply = bm100wire::EncodeReply(request->code, data, addressed != 0, request->address);
            std::copy(reply.begin(), reply.end(), dsc.buffer);
            length = static_cast<unsigned long>(reply.size());
            unsigned long pack = 99;
            unsigned char* out = nullptr;
            unsigned char address = 0xEE;
            ASSERT_EQ(api.analize(1, &address, &pack, addressed, &out, &length), TOV_OK);
            EXPECT_EQ(pack, p);
            EXPECT_EQ(address, addressed ? 0x03 : 0x00);
            EXPECT_EQ(std::vector<std::uint8_t>(out, out + length), data);
        }
    }
}

}  // namespace
