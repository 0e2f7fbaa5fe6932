// The SHA-256 of every cabinet a copy reads, taken from the very bytes the
// decoder reads, as it reads them: one reading pass over the cabinets
// serves both the transfer and the package's seal. Each cabinet is held
// open from its first opening to the copy's end with others allowed to
// read only, so it cannot be written, renamed or replaced meanwhile; what
// the decoder read twice was therefore the same both times, and what it
// never read (a gap, the data after the last file wanted) is read here and
// hashed in its place, so that the digest covers the whole file.
//
// The hashing runs on a thread of its own, fed copies of what was read
// (a bounded ring): on the reading thread it cost the stored transfer a
// fifth of its time.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "portable/sha256.h"
#include "vrel/unique_handle.h"

namespace tarnex {

class CabinetDigests {
public:
    struct Cabinet {
        std::string path;      // UTF-8, as the decoder opened it
        bool readable = false;  // held and read to its end
        std::uint64_t size = 0;
        std::array<std::uint8_t, 32> digest{};
    };

    CabinetDigests() = default;
    ~CabinetDigests();  // ends the hashing thread
    CabinetDigests(const CabinetDigests&) = delete;
    CabinetDigests& operator=(const CabinetDigests&) = delete;

    // A cabinet the decoder opens for reading (again, possibly): held from
    // now on. Any thread.
    void Follow(const char* path);
    // bytes [offset, offset + size) of path as the decoder read them. Any
    // thread.
    void Saw(const char* path, std::uint64_t offset, const void* bytes, std::size_t size);
    // Reads and hashes what the decoder did not, lets the cabinets go, and
    // gives them in the order they were first opened.
    std::vector<Cabinet> Finish();
    // Lets the cabinets go without a digest (a copy about to start).
    void Reset();
    // Off, nothing is followed (and Finish gives nothing).
    void Enable(bool on) { enabled_ = on; }

private:
    struct Followed {
        std::string path;
        vrel::unique_hfile held;
        Sha256Stream hash;
        std::uint64_t hashed = 0;  // the digest covers [0, hashed)
        bool broken = false;       // a gap could not be read
    };

    // A copy of bytes read, waiting for the hashing thread.
    struct Piece {
        Followed* cabinet = nullptr;
        std::vector<std::uint8_t> bytes;
        std::size_t size = 0;
    };
    static constexpr std::size_t kPieces = 4;

    Followed* Find(const char* path);
    // Under lock_: what follows [0, hashed) up to offset, read from the
    // held file; then bytes, in pieces.
    void HashUpTo(Followed& cabinet, std::uint64_t offset);
    void Enqueue(Followed& cabinet, const std::uint8_t* bytes, std::size_t size);
    void WaitUntilHashed();  // under lock_
    static unsigned __stdcall HashingThread(void* self);

    bool enabled_ = true;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<std::unique_ptr<Followed>> cabinets_;  // under lock_
    std::vector<std::uint8_t> gap_;                    // under lock_
    Piece ring_[kPieces];                              // under lock_ but the piece being hashed
    std::size_t queued_ = 0, hashed_ = 0;              // pieces; under lock_
    bool stop_ = false;                                // under lock_
    CONDITION_VARIABLE queuedSignal_ = CONDITION_VARIABLE_INIT;  // for the hashing thread
    CONDITION_VARIABLE hashedSignal_ = CONDITION_VARIABLE_INIT;  // for the readers
    vrel::unique_handle thread_;
    bool threadTried_ = false;
};

}  // namespace tarnex
