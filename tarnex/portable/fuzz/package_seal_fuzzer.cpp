// libFuzzer target: the seal's reader over arbitrary bytes, taken once as a
// program image that ends in a seal block and once as the seal's text; a
// text that reads must be written back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "portable/package_seal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tarnex::PackageSeal seal;
    tarnex::ImageEnd end;
    if (tarnex::FindImageEnd(bytes.substr(0, 4096), size, end)) {
        if (end.contentEnd > size) __builtin_trap();
        const std::size_t contentEnd = static_cast<std::size_t>(end.contentEnd);
        const std::size_t tail = contentEnd < tarnex::kSealTail ? contentEnd : tarnex::kSealTail;
        tarnex::SealSpan span;
        if (tarnex::FindSealSpan(bytes.substr(contentEnd - tail, tail), end.contentEnd, span)) {
            if (span.offset + span.length > end.contentEnd) __builtin_trap();
            tarnex::ParseSealText(bytes.substr(static_cast<std::size_t>(span.offset), span.length), seal);
        }
    }
    if (tarnex::ParseSealText(bytes, seal)) {
        if (tarnex::SealText(seal) != bytes) __builtin_trap();
        if (seal.Find(seal.description) == nullptr) __builtin_trap();
    }
    return 0;
}
