// libFuzzer target: a single file's payload over arbitrary bytes, found from
// their end and laid out; every file it lays out lies between the first
// file's place and the index.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "portable/single_file_payload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t tail = size < tarnex::kPayloadTail ? size : tarnex::kPayloadTail;
    tarnex::PayloadSpan span;
    if (!tarnex::FindPayloadSpan(bytes.substr(size - tail, tail), size, span)) return 0;
    if (span.indexOffset + span.indexLength > size || span.filesStart > span.indexOffset) __builtin_trap();
    tarnex::Payload payload;
    if (!tarnex::LayOutPayload(bytes.substr(static_cast<std::size_t>(span.indexOffset), span.indexLength), span, payload))
        return 0;
    if (payload.offsets.size() != payload.index.files.size()) __builtin_trap();
    for (std::size_t i = 0; i < payload.offsets.size(); ++i)
        if (payload.offsets[i] < span.filesStart || payload.offsets[i] + payload.index.files[i].size > span.indexOffset)
            __builtin_trap();
    return 0;
}
