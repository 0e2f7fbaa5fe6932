// The signing layout over arbitrary bytes: it reads nothing outside the
// file, and wherever it accepts one, the digest covers all of the padded
// file but the checksum and the certificate entry, and the file with a
// signature attached counts as signed and keeps a valid checksum.
#include <cstddef>
#include <cstdint>
#include <string>

#include "authenticode.h"

namespace ac = pack::authenticode;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ac::Bytes image(reinterpret_cast<const char*>(data), size);
    ac::PeLayout layout;
    std::wstring why;
    if (!ac::LayOut(image, layout, why)) {
        if (why.empty()) __builtin_trap();
        return 0;
    }
    std::size_t covered = 0, at = 0;
    for (const auto& [offset, length] : layout.digested) {
        if (offset < at || offset + length > layout.paddedSize) __builtin_trap();
        covered += length;
        at = offset + length;
    }
    if (covered != layout.paddedSize - 12 || layout.paddedSize % 8 != 0 || layout.paddedSize < image.size())
        __builtin_trap();
    const ac::Bytes out = ac::Attach(image, layout, ac::Bytes(17, '\x30'));
    ac::PeLayout again;
    if (ac::LayOut(out, again, why)) __builtin_trap();
    std::uint32_t stored = 0;
    for (int i = 3; i >= 0; --i)
        stored = stored << 8 | static_cast<unsigned char>(out[layout.checksumOffset + static_cast<std::size_t>(i)]);
    if (stored != ac::PeChecksum(out, layout.checksumOffset)) __builtin_trap();
    return 0;
}
