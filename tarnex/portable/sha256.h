// SHA-256 of our own, for the cabinets step 3 reads: the system's
// CryptoAPI hash runs at 170 to 270 MB/s under Wine, slower than the
// transfer it would ride on. Where the processor has the SHA instructions
// (SHA-NI, with SSSE3 and SSE4.1) the blocks go through them, else through
// the plain rounds; both give the same digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnex {

class Sha256Stream {
public:
    Sha256Stream();

    void Add(const void* bytes, std::size_t size);
    // The digest of everything added; the stream starts again afterwards.
    std::array<std::uint8_t, 32> Finish();

    // Whether the processor's SHA instructions are used (for the log and
    // the tests); the plain rounds may be asked for instead.
    static bool ProcessorRoundsAvailable();
    void UsePlainRounds() { processorRounds_ = false; }

private:
    void Blocks(const std::uint8_t* blocks, std::size_t count);

    std::uint32_t state_[8];
    std::uint8_t pending_[64];
    std::size_t pendingSize_ = 0;
    std::uint64_t total_ = 0;
    bool processorRounds_;
};

}  // namespace tarnex
