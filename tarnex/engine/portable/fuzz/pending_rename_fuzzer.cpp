// The pending-operations matcher over arbitrary registry data and paths.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/portable/pending_rename_rule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    // The first bytes choose the paths, the rest is the value.
    const std::size_t a = size > 0 ? data[0] % 16 : 0;
    const std::size_t b = size > 1 ? data[1] % 16 : 0;
    const std::string_view finalPath = all.substr(std::min<std::size_t>(2, size), a);
    const std::string_view temporary = all.substr(std::min<std::size_t>(2 + a, size), b);
    const std::string_view value = all.substr(std::min<std::size_t>(2 + a + b, size));
    const std::uint8_t r1 = tarnex::MatchPendingOperations(value, finalPath, temporary, true);
    const std::uint8_t r2 = tarnex::MatchPendingOperations(value, finalPath, {}, false);
    if (r1 > 3 || r2 > 3 || r2 == 0) __builtin_trap();
    return 0;
}
