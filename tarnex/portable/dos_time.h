// The DOS date and time a cabinet stores for each file: local time, two
// seconds a step, years from 1980.
#pragma once

#include <cstdint>

namespace tarnex {

inline constexpr std::uint16_t PackDosDate(unsigned year, unsigned month, unsigned day) {
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

inline constexpr std::uint16_t PackDosTime(unsigned hour, unsigned minute, unsigned second) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

}  // namespace tarnex
