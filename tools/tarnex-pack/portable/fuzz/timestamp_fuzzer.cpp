// A time-stamp server's reply is read from whoever answers: over arbitrary
// bytes the reply and TSTInfo readers end, read nothing outside the input,
// say why whenever they refuse, and a token they take lies inside the reply.
#include <cstddef>
#include <cstdint>
#include <string>

#include "timestamp.h"

namespace ts = pack::timestamp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ts::Bytes bytes(reinterpret_cast<const char*>(data), size);
    ts::Bytes token;
    std::wstring why;
    if (ts::TokenOf(bytes, token, why)) {
        if (token.empty() || bytes.find(token) == ts::Bytes::npos) __builtin_trap();
    } else if (why.empty()) {
        __builtin_trap();
    }
    why.clear();
    if (!ts::CheckTstInfo(bytes, ts::Bytes(32, '\x5A'), ts::Bytes("\x12\x34", 2), why) && why.empty()) __builtin_trap();
    return 0;
}
