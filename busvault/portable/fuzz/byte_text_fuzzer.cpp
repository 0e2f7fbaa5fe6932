// Hexadecimal request text from a client: whatever it holds, the reader
// either refuses it with a reason or gives bytes that print back as text
// the reader turns into the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "byte_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    std::string why;
    const auto bytes = busvault::ParseHexBytes(text, why);
    if (!bytes) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (bytes->size() > busvault::kMaxRequestBytes) std::abort();
    const std::string printed = busvault::FormatHexBytes(bytes->data(), bytes->size());
    const auto again = busvault::ParseHexBytes(std::u16string(printed.begin(), printed.end()), why);
    if (!again || *again != *bytes) std::abort();
    return 0;
}
