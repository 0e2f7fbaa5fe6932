// Sizes as the wizard shows them: "1.500 Мбайт", "1023 байт". The unit texts
// are strings 13 to 16 of the string table, loaded by the caller.
#pragma once

#include <cstdint>
#include <string>

namespace tarnex {

struct SizeUnits {
    std::wstring Bytes;      // string 13, " байт"
    std::wstring Gigabytes;  // string 14, " Гбайт"
    std::wstring Megabytes;  // string 15, " Мбайт"
    std::wstring Kilobytes;  // string 16, " Кбайт"
};

// The largest unit the size reaches, with three decimals; below 1024 (and
// for the -1 of an unreadable free space) whole bytes.
std::wstring FormatSize(std::int64_t bytes, const SizeUnits& units);

}  // namespace tarnex
