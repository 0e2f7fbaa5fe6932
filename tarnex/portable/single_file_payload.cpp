#include "portable/single_file_payload.h"

#include <cstring>
#include <utility>

namespace tarnex {
namespace {

constexpr char kMark[8] = {'T', 'X', 'P', 'A', 'C', 'K', '0', '1'};

std::uint64_t ReadLittleEndian(const char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

void AppendLittleEndian(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::string PayloadIndexBlock(const PackageSeal& index, std::uint64_t filesStart, std::uint64_t indexOffset) {
    std::string block = SealText(index);
    const std::uint64_t length = block.size();
    AppendLittleEndian(block, length, 4);
    AppendLittleEndian(block, filesStart, 8);
    block.append(kMark, sizeof kMark);
    block.append(static_cast<std::size_t>(PaddedSize(indexOffset + block.size()) - (indexOffset + block.size())), '\0');
    return block;
}

bool FindPayloadSpan(std::string_view lastBytes, std::uint64_t contentEnd, PayloadSpan& span) {
    span = PayloadSpan{};
    if (lastBytes.size() > contentEnd || contentEnd > kLargestSingleFile) return false;
    std::size_t n = lastBytes.size();
    for (int pad = 0; pad < 7 && n > 0 && lastBytes[n - 1] == '\0'; ++pad) --n;
    if (n < kPayloadTrailer || std::memcmp(lastBytes.data() + n - sizeof kMark, kMark, sizeof kMark) != 0) return false;
    const std::uint64_t length = ReadLittleEndian(lastBytes.data() + n - kPayloadTrailer, 4);
    const std::uint64_t filesStart = ReadLittleEndian(lastBytes.data() + n - kPayloadTrailer + 4, 8);
    const std::uint64_t trailerAt = contentEnd - (lastBytes.size() - n) - kPayloadTrailer;
    if (length > kMaxSealText || length > trailerAt) return false;
    const std::uint64_t indexOffset = trailerAt - length;
    if (filesStart > indexOffset || filesStart % 8 != 0 || indexOffset % 8 != 0) return false;
    span.filesStart = filesStart;
    span.indexOffset = indexOffset;
    span.indexLength = static_cast<std::uint32_t>(length);
    return true;
}

bool LayOutPayload(std::string_view indexText, const PayloadSpan& span, Payload& payload) {
    payload = Payload{};
    Payload read;
    if (indexText.size() != span.indexLength || span.filesStart > span.indexOffset ||
        !ParseSealText(indexText, read.index))
        return false;
    std::uint64_t at = span.filesStart;
    for (const SealedFile& file : read.index.files) {
        // Each size is bounded before it is added, so the sum cannot wrap.
        if (file.size > kLargestSingleFile || span.indexOffset - at < PaddedSize(file.size)) return false;
        read.offsets.push_back(at);
        at += PaddedSize(file.size);
    }
    if (at != span.indexOffset) return false;
    payload = std::move(read);
    return true;
}

}  // namespace tarnex
