#include "sysops/folder_stream.h"

#include "vrel/text_convert.h"

#include <process.h>

#include <algorithm>
#include <cstring>

#include <mspack.h>

namespace tarnex {
namespace {

// Large enough that reading costs few calls, small enough to stay out of
// the way.
constexpr std::size_t kInputBuffer = 1 << 20;

// An MSZIP folder of fewer blocks is read on the caller's thread: a
// thread's start would cost more than the overlap gains. A stored folder
// always is: reading it costs little, and a third busy thread on two cores
// took longer (0.206 s against 0.188 s, medians of six whole commands of the
// bench's 101 MB).
constexpr unsigned kBlocksForThread = 4;

}  // namespace

FolderStream::FolderStream(CabinetDigests& digests) : digests_(digests), compressed_(kCabBlockInputMax), input_(kInputBuffer) {
    for (Block& block : ring_) block.bytes.resize(kCabBlockMax);
}

FolderStream::~FolderStream() { StopReading(); }

void FolderStream::StopReading() {
    if (thread_) {
        ::AcquireSRWLockExclusive(&lock_);
        stop_ = true;
        ::ReleaseSRWLockExclusive(&lock_);
        ::WakeConditionVariable(&freed_);
        ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    stop_ = false;
    produced_ = consumed_ = 0;
    current_ = nullptr;
}

int FolderStream::Restart(const void* key, FolderCoding coding, const VrelFolderData& data, unsigned blocks) {
    StopReading();
    key_ = nullptr;
    coding_ = coding;
    if (!decoder_.Ready()) return MSPACK_ERR_NOMEMORY;
    // The cabinet's path as the decoder was given it: UTF-8.
    cabinet_.reset(::CreateFileW(vrel::ToWide(data.cabinet, CP_UTF8).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!cabinet_) return MSPACK_ERR_OPEN;
    LARGE_INTEGER at;
    at.QuadPart = data.offset;
    if (data.offset < 0 || !::SetFilePointerEx(cabinet_.get(), at, nullptr, FILE_BEGIN)) return MSPACK_ERR_SEEK;
    cabinetPath_ = data.cabinet;
    readAt_ = static_cast<std::uint64_t>(data.offset);
    blocks_ = blocks;
    blocksRead_ = 0;
    reserve_ = data.blockReserve;
    position_ = 0;
    blockAt_ = 0;
    inputAt_ = inputEnd_ = 0;
    decoder_.Restart();
    key_ = key;
    if (coding == FolderCoding::Mszip && blocks >= kBlocksForThread) {
        // Without a thread the caller reads each block when it needs it.
        const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &FolderStream::ReadingThread, this, 0, nullptr);
        if (thread != 0) thread_.reset(reinterpret_cast<HANDLE>(thread));
    }
    return MSPACK_ERR_OK;
}

unsigned __stdcall FolderStream::ReadingThread(void* self) {
    auto& stream = *static_cast<FolderStream*>(self);
    for (;;) {
        ::AcquireSRWLockExclusive(&stream.lock_);
        while (!stream.stop_ && stream.produced_ - stream.consumed_ == kBlocksAhead)
            ::SleepConditionVariableSRW(&stream.freed_, &stream.lock_, INFINITE, 0);
        const bool stop = stream.stop_;
        const std::size_t slot = stream.produced_ % kBlocksAhead;
        ::ReleaseSRWLockExclusive(&stream.lock_);
        if (stop) return 0;
        Block& block = stream.ring_[slot];
        block.result = stream.NextBlock(block);
        ::AcquireSRWLockExclusive(&stream.lock_);
        ++stream.produced_;
        ::ReleaseSRWLockExclusive(&stream.lock_);
        ::WakeConditionVariable(&stream.filled_);
        // Past a failure (or the folder's last block) nothing more is read;
        // the caller meets the failure only if it needs that block.
        if (block.result != MSPACK_ERR_OK) return 0;
    }
}

bool FolderStream::Read(void* into, std::size_t bytes) {
    auto* out = static_cast<std::uint8_t*>(into);
    while (bytes > 0) {
        if (inputAt_ == inputEnd_) {
            DWORD got = 0;
            if (!::ReadFile(cabinet_.get(), input_.data(), static_cast<DWORD>(input_.size()), &got, nullptr) ||
                got == 0)
                return false;
            digests_.Saw(cabinetPath_, readAt_, input_.data(), got);
            readAt_ += got;
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

int FolderStream::NextBlock(Block& into) {
    into.size = 0;
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
        if (!Read(into.bytes.data(), header.compressed)) return MSPACK_ERR_READ;
        if (!BlockChecksumMatches(header, headerBytes, into.bytes.data())) return MSPACK_ERR_CHECKSUM;
    } else {
        if (!Read(compressed_.data(), header.compressed)) return MSPACK_ERR_READ;
        if (!BlockChecksumMatches(header, headerBytes, compressed_.data())) return MSPACK_ERR_CHECKSUM;
        if (!decoder_.Decode(compressed_.data(), header.compressed, into.bytes.data(), header.uncompressed))
            return MSPACK_ERR_DECRUNCH;
    }
    ++blocksRead_;
    into.size = header.uncompressed;
    return MSPACK_ERR_OK;
}

const FolderStream::Block& FolderStream::TakeBlock() {
    if (!thread_) {
        Block& block = ring_[produced_ % kBlocksAhead];
        block.result = NextBlock(block);
        ++produced_;
        return block;
    }
    ::AcquireSRWLockExclusive(&lock_);
    while (produced_ == consumed_) ::SleepConditionVariableSRW(&filled_, &lock_, INFINITE, 0);
    ::ReleaseSRWLockExclusive(&lock_);
    return ring_[consumed_ % kBlocksAhead];
}

void FolderStream::ReleaseBlock() {
    current_ = nullptr;
    ::AcquireSRWLockExclusive(&lock_);
    ++consumed_;
    ::ReleaseSRWLockExclusive(&lock_);
    if (thread_) ::WakeConditionVariable(&freed_);
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
        if (current_ == nullptr || blockAt_ == current_->size) {
            if (current_ != nullptr) ReleaseBlock();
            const Block& next = TakeBlock();
            if (next.result != MSPACK_ERR_OK) {
                key_ = nullptr;  // the next file starts the folder again
                return next.result;
            }
            current_ = &next;
            blockAt_ = 0;
        }
        const std::size_t available = current_->size - blockAt_;
        if (position_ < offset) {
            const std::size_t skip = static_cast<std::size_t>(std::min<std::uint64_t>(available, offset - position_));
            blockAt_ += skip;
            position_ += skip;
            continue;
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(available, end - position_));
        if (!writer.Write(output, current_->bytes.data() + blockAt_, take)) {
            key_ = nullptr;
            return MSPACK_ERR_WRITE;
        }
        blockAt_ += take;
        position_ += take;
    }
    return MSPACK_ERR_OK;
}

}  // namespace tarnex
