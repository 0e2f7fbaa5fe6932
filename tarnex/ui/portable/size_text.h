// Sizes as the wizard shows them: "1.500 Мбайт", "1023 байт". The unit texts
// are the texts kSizeBytes to kSizeKilobytes of the string table, loaded by the caller.
#pragma once

#include <cstdint>
#include <string>

namespace tarnex {

struct SizeUnits {
    std::wstring Bytes;      // kSizeBytes, " байт"
    std::wstring Gigabytes;  // kSizeGigabytes, " Гбайт"
    std::wstring Megabytes;  // kSizeMegabytes, " Мбайт"
    std::wstring Kilobytes;  // kSizeKilobytes, " Кбайт"
};

// The largest unit the size reaches, with three decimals; below 1024 (and
// for the -1 of an unreadable free space) whole bytes.
std::wstring FormatSize(std::int64_t bytes, const SizeUnits& units);

}  // namespace tarnex
