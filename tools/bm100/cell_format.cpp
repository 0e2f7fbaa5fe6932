#include "cell_format.h"

#include <cstdio>
#include <cstring>

#include "vrel/hex_text.h"

namespace bm100tool {

std::string TypeName(unsigned long varType) {
    switch (varType) {
    case TOV_VT_I2: return "I2";
    case TOV_VT_R4: return "R4";
    case TOV_VT_BSTR: return "BSTR";
    case TOV_VT_BOOL: return "BOOL";
    case TOV_VT_UI1: return "UI1";
    default: return std::to_string(varType);
    }
}

std::string FormatCell(const tagSpdCellDsc& cell, const std::uint8_t* data, std::size_t length) {
    if (data == nullptr || cell.offset + std::size_t{cell.size} > length) return "(missing)";
    const std::uint8_t* p = data + cell.offset;
    char text[64];
    switch (cell.varType) {
    case TOV_VT_R4: {
        if (cell.size != 4) break;
        const std::uint32_t bits = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
        return text;
    }
    case TOV_VT_I2: {
        if (cell.size != 2) break;
        const auto value = static_cast<std::int16_t>(p[0] | (p[1] << 8));
        return std::to_string(value);
    }
    case TOV_VT_UI1:
        return std::to_string(p[0]);
    case TOV_VT_BOOL: {
        if (cell.bit >= cell.size * 8u) break;
        const bool set = (p[cell.bit / 8] >> (cell.bit % 8)) & 1;
        return set ? "1" : "0";
    }
    case TOV_VT_BSTR: {
        std::string s;
        for (std::size_t i = 0; i < cell.size && p[i] != 0; ++i)
            s += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '?';
        return "\"" + s + "\"";
    }
    default:
        break;
    }
    return vrel::FormatHex(p, cell.size, vrel::HexCase::Upper, ' ');
}

}  // namespace bm100tool
