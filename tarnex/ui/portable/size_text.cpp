#include "ui/portable/size_text.h"

#include <cwchar>

namespace tarnex {

std::wstring FormatSize(std::int64_t bytes, const SizeUnits& units) {
    struct Step {
        std::int64_t unit;
        const std::wstring* text;
    };
    const Step steps[] = {{std::int64_t{1} << 30, &units.Gigabytes},
                          {std::int64_t{1} << 20, &units.Megabytes},
                          {std::int64_t{1} << 10, &units.Kilobytes}};
    for (const Step& step : steps) {
        if (bytes / step.unit < 1) continue;
        // Up to 2^33 gigabytes: ten digits, the point and three decimals.
        wchar_t number[32];
        std::swprintf(number, sizeof number / sizeof number[0], L"%3.03f",
                      static_cast<double>(bytes) / static_cast<double>(step.unit));
        return number + *step.text;
    }
    return std::to_wstring(bytes) + units.Bytes;
}

}  // namespace tarnex
