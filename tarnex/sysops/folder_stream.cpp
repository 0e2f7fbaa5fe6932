#include "sysops/folder_stream.h"

#include <algorithm>
#include <cstring>

#include <mspack.h>

namespace tarnex {
namespace {

// Large enough that reading costs few calls, small enough to stay out of
// the way.
constexpr std::size_t kInputBuffer = 1 << 20;

}  // namespace

FolderStream::FolderStream() : compressed_(kCabBlockInputMax), input_(kInputBuffer), block_(kCabBlockMax) {}

int FolderStream::Restart(const void* key, FolderCoding coding, const VrelFolderData& data, unsigned blocks) {
    key_ = nullptr;
    coding_ = coding;
    if (!decoder_.Ready()) return MSPACK_ERR_NOMEMORY;
    cabinet_.reset(::CreateFileA(data.cabinet, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!cabinet_) return MSPACK_ERR_OPEN;
    LARGE_INTEGER at;
    at.QuadPart = data.offset;
    if (data.offset < 0 || !::SetFilePointerEx(cabinet_.get(), at, nullptr, FILE_BEGIN)) return MSPACK_ERR_SEEK;
    blocks_ = blocks;
    blocksRead_ = 0;
    reserve_ = data.blockReserve;
    position_ = 0;
    inputAt_ = inputEnd_ = 0;
    blockAt_ = blockEnd_ = 0;
    decoder_.Restart();
    key_ = key;
    return MSPACK_ERR_OK;
}

bool FolderStream::Read(void* into, std::size_t bytes) {
    auto* out = static_cast<std::uint8_t*>(into);
    while (bytes > 0) {
        if (inputAt_ == inputEnd_) {
            DWORD got = 0;
            if (!::ReadFile(cabinet_.get(), input_.data(), static_cast<DWORD>(input_.size()), &got, nullptr) ||
                got == 0)
                return false;
            inputAt_ = 0;
            inputEnd_ = got;
        }
        const std::size_t n = std::min(bytes, inputEnd_ - inputAt_);
        if (out != nullptr) {
            std::memcpy(out, input_.data() + inputAt_, n);
            out += n;
        }
        inputAt_ += n;
        bytes -= n;
    }
    return true;
}

int FolderStream::NextBlock() {
    // The folder's header says how many blocks it has: reading past them is
    // a malformed cabinet, as for libmspack.
    if (blocksRead_ >= blocks_) return MSPACK_ERR_DATAFORMAT;
    std::uint8_t headerBytes[kCabBlockHeader];
    if (!Read(headerBytes, sizeof headerBytes) || !Read(nullptr, reserve_)) return MSPACK_ERR_READ;
    const CabBlockHeader header = ParseBlockHeader(headerBytes);
    if (!BlockSizesValid(header)) return MSPACK_ERR_DATAFORMAT;
    if (coding_ == FolderCoding::Stored) {
        // A stored block holds its bytes as they are.
        if (header.compressed != header.uncompressed) return MSPACK_ERR_DATAFORMAT;
        if (!Read(block_.data(), header.compressed)) return MSPACK_ERR_READ;
        if (!BlockChecksumMatches(header, headerBytes, block_.data())) return MSPACK_ERR_CHECKSUM;
    } else {
        if (!Read(compressed_.data(), header.compressed)) return MSPACK_ERR_READ;
        if (!BlockChecksumMatches(header, headerBytes, compressed_.data())) return MSPACK_ERR_CHECKSUM;
        if (!decoder_.Decode(compressed_.data(), header.compressed, block_.data(), header.uncompressed))
            return MSPACK_ERR_DECRUNCH;
    }
    ++blocksRead_;
    blockAt_ = 0;
    blockEnd_ = header.uncompressed;
    return MSPACK_ERR_OK;
}

int FolderStream::Extract(const void* key, FolderCoding coding, const VrelFolderData& data, unsigned blocks,
                          std::uint32_t offset, std::uint32_t length, HANDLE output, PipelinedWriter& writer) {
    // As libmspack: a file must lie within what the folder's blocks can hold.
    const std::uint64_t capacity = static_cast<std::uint64_t>(blocks) * kCabBlockMax;
    if (offset > capacity || length > capacity - offset) return MSPACK_ERR_DATAFORMAT;
    // Files are decoded in one pass when they come in folder order; one that
    // lies behind the current place starts the folder again.
    if (key != key_ || offset < position_) {
        const int opened = Restart(key, coding, data, blocks);
        if (opened != MSPACK_ERR_OK) return opened;
    }
    const std::uint64_t end = static_cast<std::uint64_t>(offset) + length;
    while (position_ < end) {
        if (blockAt_ == blockEnd_) {
            const int next = NextBlock();
            if (next != MSPACK_ERR_OK) {
                key_ = nullptr;
                return next;
            }
        }
        const std::size_t available = blockEnd_ - blockAt_;
        if (position_ < offset) {
            const std::size_t skip = static_cast<std::size_t>(std::min<std::uint64_t>(available, offset - position_));
            blockAt_ += skip;
            position_ += skip;
            continue;
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(available, end - position_));
        if (!writer.Write(output, block_.data() + blockAt_, take)) {
            key_ = nullptr;
            return MSPACK_ERR_WRITE;
        }
        blockAt_ += take;
        position_ += take;
    }
    return MSPACK_ERR_OK;
}

}  // namespace tarnex
