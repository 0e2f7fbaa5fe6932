#include "sysops/cabinet_digests.h"

#include <process.h>

#include <cstring>

#include "vrel/text_convert.h"

namespace tarnex {
namespace {

constexpr std::size_t kGapPiece = 1 << 20;

class Exclusive {
public:
    explicit Exclusive(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Exclusive() { ::ReleaseSRWLockExclusive(&lock_); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

CabinetDigests::~CabinetDigests() {
    if (!thread_) return;
    ::AcquireSRWLockExclusive(&lock_);
    stop_ = true;
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeConditionVariable(&queuedSignal_);
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

unsigned __stdcall CabinetDigests::HashingThread(void* self) {
    auto& digests = *static_cast<CabinetDigests*>(self);
    ::AcquireSRWLockExclusive(&digests.lock_);
    for (;;) {
        while (!digests.stop_ && digests.queued_ == digests.hashed_)
            ::SleepConditionVariableSRW(&digests.queuedSignal_, &digests.lock_, INFINITE, 0);
        if (digests.queued_ == digests.hashed_) break;  // stopped, nothing left
        Piece& piece = digests.ring_[digests.hashed_ % kPieces];
        // Readers touch only free pieces: this one is left alone meanwhile.
        ::ReleaseSRWLockExclusive(&digests.lock_);
        piece.cabinet->hash.Add(piece.bytes.data(), piece.size);
        ::AcquireSRWLockExclusive(&digests.lock_);
        ++digests.hashed_;
        ::WakeAllConditionVariable(&digests.hashedSignal_);
    }
    ::ReleaseSRWLockExclusive(&digests.lock_);
    return 0;
}

void CabinetDigests::Enqueue(Followed& cabinet, const std::uint8_t* bytes, std::size_t size) {
    if (!threadTried_) {
        threadTried_ = true;
        const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &CabinetDigests::HashingThread, this, 0, nullptr);
        if (thread != 0) thread_.reset(reinterpret_cast<HANDLE>(thread));
    }
    if (!thread_) {
        cabinet.hash.Add(bytes, size);  // no thread could be had: here, then
        return;
    }
    while (size > 0) {
        while (queued_ - hashed_ == kPieces) ::SleepConditionVariableSRW(&hashedSignal_, &lock_, INFINITE, 0);
        Piece& piece = ring_[queued_ % kPieces];
        piece.cabinet = &cabinet;
        piece.size = size < kGapPiece ? size : kGapPiece;
        if (piece.bytes.size() < kGapPiece) piece.bytes.resize(kGapPiece);
        std::memcpy(piece.bytes.data(), bytes, piece.size);
        bytes += piece.size;
        size -= piece.size;
        ++queued_;
        ::WakeConditionVariable(&queuedSignal_);
    }
}

void CabinetDigests::WaitUntilHashed() {
    while (queued_ != hashed_) ::SleepConditionVariableSRW(&hashedSignal_, &lock_, INFINITE, 0);
}

CabinetDigests::Followed* CabinetDigests::Find(const char* path) {
    for (const auto& cabinet : cabinets_)
        if (cabinet->path == path) return cabinet.get();
    return nullptr;
}

void CabinetDigests::Follow(const char* path) {
    if (path == nullptr || !enabled_) return;
    Exclusive locked(lock_);
    if (Find(path) != nullptr) return;
    auto cabinet = std::make_unique<Followed>();
    cabinet->path = path;
    // No FILE_SHARE_WRITE or FILE_SHARE_DELETE: while it is held, nobody
    // writes, renames or deletes it.
    cabinet->held.reset(::CreateFileW(vrel::ToWide(path, CP_UTF8).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    cabinets_.push_back(std::move(cabinet));
}

void CabinetDigests::HashUpTo(Followed& cabinet, std::uint64_t offset) {
    std::vector<std::uint8_t>& buffer = gap_;
    if (buffer.size() < kGapPiece) buffer.resize(kGapPiece);
    while (!cabinet.broken && cabinet.hashed < offset) {
        const std::uint64_t left = offset - cabinet.hashed;
        const DWORD want = static_cast<DWORD>(left < kGapPiece ? left : kGapPiece);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(cabinet.hashed);
        at.OffsetHigh = static_cast<DWORD>(cabinet.hashed >> 32);
        DWORD got = 0;
        if (!cabinet.held || !::ReadFile(cabinet.held.get(), buffer.data(), want, &got, &at) || got == 0) {
            cabinet.broken = true;
            return;
        }
        Enqueue(cabinet, buffer.data(), got);
        cabinet.hashed += got;
    }
}

void CabinetDigests::Saw(const char* path, std::uint64_t offset, const void* bytes, std::size_t size) {
    if (path == nullptr || size == 0) return;
    Exclusive locked(lock_);
    Followed* cabinet = Find(path);
    if (cabinet == nullptr || cabinet->broken) return;
    const std::uint64_t end = offset + size;
    if (end <= cabinet->hashed) return;  // read before: the held file is unchanged
    HashUpTo(*cabinet, offset);
    if (cabinet->broken) return;
    const std::uint64_t skip = cabinet->hashed - offset;
    Enqueue(*cabinet, static_cast<const std::uint8_t*>(bytes) + skip, static_cast<std::size_t>(size - skip));
    cabinet->hashed = end;
}

std::vector<CabinetDigests::Cabinet> CabinetDigests::Finish() {
    Exclusive locked(lock_);
    std::vector<Cabinet> result;
    std::vector<bool> whole;
    for (const auto& followed : cabinets_) {
        LARGE_INTEGER size{};
        const bool sized = followed->held && ::GetFileSizeEx(followed->held.get(), &size) &&
                           static_cast<std::uint64_t>(size.QuadPart) >= followed->hashed;
        if (sized) HashUpTo(*followed, static_cast<std::uint64_t>(size.QuadPart));
        whole.push_back(sized && !followed->broken);
    }
    WaitUntilHashed();
    for (std::size_t i = 0; i < cabinets_.size(); ++i) {
        Cabinet cabinet;
        cabinet.path = cabinets_[i]->path;
        cabinet.readable = whole[i];
        cabinet.size = cabinets_[i]->hashed;
        cabinet.digest = cabinets_[i]->hash.Finish();
        result.push_back(std::move(cabinet));
    }
    cabinets_.clear();
    return result;
}

void CabinetDigests::Reset() {
    Exclusive locked(lock_);
    WaitUntilHashed();  // no piece may point at a cabinet let go
    cabinets_.clear();
}

}  // namespace tarnex
