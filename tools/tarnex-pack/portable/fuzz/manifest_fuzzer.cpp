// The manifest reader over arbitrary bytes: it ends, and every diagnostic
// names a line of the text (or none).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    pack::Manifest manifest;
    std::vector<pack::Diagnostic> diagnostics;
    const bool read = pack::ReadManifest(bytes, manifest, diagnostics);
    const auto lines = static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    if (read != diagnostics.empty()) __builtin_trap();
    for (const pack::Diagnostic& d : diagnostics)
        if (d.line < 0 || d.line > lines || d.message.empty()) __builtin_trap();
    for (const pack::ComponentSpec& c : manifest.components)
        if (read && (c.engName.empty() || c.stateValue < 0 || c.stateValue > 5)) __builtin_trap();
    return 0;
}
