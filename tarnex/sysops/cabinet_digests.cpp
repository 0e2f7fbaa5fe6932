#include "sysops/cabinet_digests.h"

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

void CabinetDigests::HashUpTo(Followed& cabinet, std::uint64_t offset, std::vector<std::uint8_t>& buffer) {
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
        cabinet.hash.Add(buffer.data(), got);
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
    HashUpTo(*cabinet, offset, gap_);
    if (cabinet->broken) return;
    const std::uint64_t skip = cabinet->hashed - offset;
    cabinet->hash.Add(static_cast<const std::uint8_t*>(bytes) + skip, static_cast<std::size_t>(size - skip));
    cabinet->hashed = end;
}

std::vector<CabinetDigests::Cabinet> CabinetDigests::Finish() {
    Exclusive locked(lock_);
    std::vector<Cabinet> result;
    for (const auto& followed : cabinets_) {
        Cabinet cabinet;
        cabinet.path = followed->path;
        LARGE_INTEGER size{};
        if (followed->held && ::GetFileSizeEx(followed->held.get(), &size) &&
            static_cast<std::uint64_t>(size.QuadPart) >= followed->hashed) {
            HashUpTo(*followed, static_cast<std::uint64_t>(size.QuadPart), gap_);
            cabinet.readable = !followed->broken;
            cabinet.size = followed->hashed;
            cabinet.digest = followed->hash.Finish();
        }
        result.push_back(std::move(cabinet));
    }
    cabinets_.clear();
    return result;
}

void CabinetDigests::Reset() {
    Exclusive locked(lock_);
    cabinets_.clear();
}

}  // namespace tarnex
