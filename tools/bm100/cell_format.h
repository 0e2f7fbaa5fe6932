// Turns the bytes of one BM100 data cell into text by its type: VT_R4 as a
// float, VT_I2 and VT_UI1 as integers, VT_BOOL as its bit, VT_BSTR as the
// fixed text. Multi-byte cells are read little-endian, as the gauge sends them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tovframe.h"

namespace bm100tool {

// `data` holds `length` bytes of reply data; a cell that does not fit in them
// gives "(missing)".
std::string FormatCell(const tagSpdCellDsc& cell, const std::uint8_t* data, std::size_t length);

// "R4", "I2", "UI1", "BOOL", "BSTR" or the number.
std::string TypeName(unsigned long varType);

}  // namespace bm100tool
