#include "bm100_tables.h"

#include <iterator>

namespace tovframe {
namespace {

constexpr unsigned long I2 = TOV_VT_I2;
constexpr unsigned long R4 = TOV_VT_R4;
constexpr unsigned long BSTR = TOV_VT_BSTR;
constexpr unsigned long BOOL_ = TOV_VT_BOOL;
constexpr unsigned long UI1 = TOV_VT_UI1;

// Cells: name id, size, offset, bit, type. Name ids run 508..592 in table order.
const tagSpdCellDsc kIdentCells[] = {
    {508, 15, 0, 0, BSTR},
    {509, 10, 15, 0, BSTR},
};

const tagSpdCellDsc kLevelCells[] = {
    {510, 4, 0, 0, R4}, {511, 1, 4, 0, UI1}, {512, 1, 5, 0, UI1}, {513, 1, 6, 0, UI1}, {514, 1, 7, 0, UI1},
};

const tagSpdCellDsc kInterfaceCells[] = {
    {515, 4, 0, 0, R4},
    {516, 1, 4, 0, UI1},
    {517, 1, 5, 0, UI1},
};

const tagSpdCellDsc kConfig1Cells[] = {
    {518, 4, 0, 0, R4},   {519, 4, 4, 0, R4},   {520, 1, 8, 0, UI1},  {521, 1, 9, 0, UI1},
    {522, 4, 10, 0, R4},  {523, 4, 14, 0, R4},  {524, 1, 18, 0, UI1}, {525, 1, 19, 0, UI1},
    {526, 1, 20, 0, UI1}, {527, 2, 21, 0, I2},  {528, 1, 23, 0, UI1}, {529, 1, 24, 0, UI1},
    {530, 1, 25, 0, UI1}, {531, 1, 26, 0, UI1}, {532, 1, 27, 0, UI1}, {533, 1, 28, 0, UI1},
    {534, 4, 29, 0, R4},  {535, 4, 33, 0, R4},  {536, 1, 37, 0, UI1}, {537, 1, 38, 0, UI1},
    {538, 4, 39, 0, R4},  {539, 4, 43, 0, R4},
};

const tagSpdCellDsc kConfig2Cells[] = {
    {540, 1, 0, 0, UI1},  {541, 1, 1, 0, UI1},   {542, 10, 2, 0, BSTR}, {543, 2, 12, 0, I2},
    {544, 2, 14, 0, I2},  {545, 2, 16, 0, I2},   {546, 2, 18, 0, I2},   {547, 4, 20, 0, R4},
    {548, 4, 24, 0, R4},  {549, 1, 28, 0, UI1},  {550, 1, 29, 0, UI1},  {551, 4, 30, 0, R4},
    {552, 4, 34, 0, R4},  {553, 4, 38, 0, R4},   {554, 4, 42, 0, R4},   {555, 10, 46, 0, BSTR},
    {556, 1, 56, 0, UI1},
};

const tagSpdCellDsc kDynamicCells[] = {
    {557, 4, 0, 0, R4},  {558, 1, 4, 0, UI1}, {559, 1, 5, 0, UI1},  {560, 1, 6, 0, UI1},  {561, 1, 7, 0, UI1},
    {562, 1, 8, 0, UI1}, {563, 4, 9, 0, R4},  {564, 1, 13, 0, UI1}, {565, 1, 14, 0, UI1}, {566, 1, 15, 0, UI1},
};

// Status bits share their fields: two bytes at 0 and 2, one byte at 4, two at 5.
const tagSpdCellDsc kStatusCells[] = {
    {567, 2, 0, 0, BOOL_}, {568, 2, 0, 1, BOOL_}, {569, 2, 0, 2, BOOL_}, {570, 2, 0, 3, BOOL_},
    {571, 2, 0, 4, BOOL_}, {572, 2, 0, 5, BOOL_}, {573, 2, 0, 6, BOOL_},
    {574, 2, 2, 0, BOOL_}, {575, 2, 2, 1, BOOL_}, {576, 2, 2, 2, BOOL_}, {577, 2, 2, 3, BOOL_},
    {578, 2, 2, 4, BOOL_}, {579, 2, 2, 5, BOOL_},
    {580, 1, 4, 0, BOOL_}, {581, 1, 4, 1, BOOL_}, {582, 1, 4, 2, BOOL_}, {583, 1, 4, 3, BOOL_},
    {584, 1, 4, 4, BOOL_}, {585, 1, 4, 5, BOOL_},
    {586, 2, 5, 0, BOOL_}, {587, 2, 5, 1, BOOL_}, {588, 2, 5, 2, BOOL_}, {589, 2, 5, 3, BOOL_},
    {590, 2, 5, 4, BOOL_}, {591, 2, 5, 5, BOOL_}, {592, 2, 5, 6, BOOL_},
};

template <typename T, std::size_t N>
constexpr unsigned char CountOf(const T (&)[N]) {
    static_assert(N < 256, "a packet holds at most 255 cells");
    return static_cast<unsigned char>(N);
}

const tagSpdPackDsc kPackets[] = {
    {0x00, 25, 501, CountOf(kIdentCells), kIdentCells},
    {0x01, 8, 502, CountOf(kLevelCells), kLevelCells},
    {0x02, 6, 503, CountOf(kInterfaceCells), kInterfaceCells},
    {0x0A, 47, 504, CountOf(kConfig1Cells), kConfig1Cells},
    {0x0B, 57, 505, CountOf(kConfig2Cells), kConfig2Cells},
    {0x14, 16, 506, CountOf(kDynamicCells), kDynamicCells},
    {0x1F, 7, 507, CountOf(kStatusCells), kStatusCells},
};

}  // namespace

const tagSpdDevDsc kBm100Device = {
    FRSPDDEVTYPE_BM100, 12, kBm100NameId, static_cast<unsigned long>(std::size(kPackets)), kPackets,
};

}  // namespace tovframe
