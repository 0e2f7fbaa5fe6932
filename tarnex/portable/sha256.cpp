#include "portable/sha256.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#define TARNEX_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tarnex {
namespace {

alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline std::uint32_t Rotate(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void PlainBlocks(std::uint32_t* state, const std::uint8_t* p, std::size_t count) {
    for (; count > 0; --count, p += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = (std::uint32_t{p[4 * i]} << 24) | (std::uint32_t{p[4 * i + 1]} << 16) |
                   (std::uint32_t{p[4 * i + 2]} << 8) | std::uint32_t{p[4 * i + 3]};
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 =
                h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

#ifdef TARNEX_SHA_NI
// Four rounds a step; the message schedule of step i feeds the steps after
// it (the SHA extensions' own pattern). The state lives as ABEF and CDGH.
// The 32-bit build's stack is aligned to 4 bytes only: realigned here.
__attribute__((target("sha,sse4.1,ssse3"), force_align_arg_pointer)) void ProcessorBlocks(std::uint32_t* state,
                                                                                       const std::uint8_t* p,
                                                                                       std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; count > 0; --count, p += 64) {
        const __m128i abefSaved = abef, cdghSaved = cdgh;
        __m128i m[4];
#define TARNEX_SHA_STEP(i)                                                                                  \
    {                                                                                                       \
        if ((i) < 4)                                                                                        \
            m[(i) & 3] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * (i))), \
                                          byteSwap);                                                        \
        __m128i k = _mm_add_epi32(m[(i) & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * (i)))); \
        cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);                                                        \
        if ((i) >= 3 && (i) <= 14) {                                                                        \
            const __m128i t = _mm_alignr_epi8(m[(i) & 3], m[((i) + 3) & 3], 4);                             \
            m[((i) + 1) & 3] = _mm_sha256msg2_epu32(_mm_add_epi32(m[((i) + 1) & 3], t), m[(i) & 3]);         \
        }                                                                                                   \
        k = _mm_shuffle_epi32(k, 0x0E);                                                                     \
        abef = _mm_sha256rnds2_epu32(abef, cdgh, k);                                                        \
        if ((i) >= 1 && (i) <= 12) m[((i) + 3) & 3] = _mm_sha256msg1_epu32(m[((i) + 3) & 3], m[(i) & 3]);   \
    }
        TARNEX_SHA_STEP(0) TARNEX_SHA_STEP(1) TARNEX_SHA_STEP(2) TARNEX_SHA_STEP(3)
        TARNEX_SHA_STEP(4) TARNEX_SHA_STEP(5) TARNEX_SHA_STEP(6) TARNEX_SHA_STEP(7)
        TARNEX_SHA_STEP(8) TARNEX_SHA_STEP(9) TARNEX_SHA_STEP(10) TARNEX_SHA_STEP(11)
        TARNEX_SHA_STEP(12) TARNEX_SHA_STEP(13) TARNEX_SHA_STEP(14) TARNEX_SHA_STEP(15)
#undef TARNEX_SHA_STEP
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}
#endif

}  // namespace

bool Sha256Stream::ProcessorRoundsAvailable() {
#ifdef TARNEX_SHA_NI
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool sse = (c & bit_SSSE3) != 0 && (c & bit_SSE4_1) != 0;
    if (!sse || !__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b & (1u << 29)) != 0;  // SHA
#else
    return false;
#endif
}

Sha256Stream::Sha256Stream() : processorRounds_(ProcessorRoundsAvailable()) {
    std::memcpy(state_, kInitial, sizeof state_);
}

void Sha256Stream::Blocks(const std::uint8_t* blocks, std::size_t count) {
#ifdef TARNEX_SHA_NI
    if (processorRounds_) return ProcessorBlocks(state_, blocks, count);
#endif
    PlainBlocks(state_, blocks, count);
}

void Sha256Stream::Add(const void* bytes, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    total_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < 64) return;
        Blocks(pending_, 1);
        pendingSize_ = 0;
    }
    if (size >= 64) {
        Blocks(p, size / 64);
        p += size / 64 * 64;
        size %= 64;
    }
    std::memcpy(pending_, p, size);
    pendingSize_ = size;
}

std::array<std::uint8_t, 32> Sha256Stream::Finish() {
    const std::uint64_t bits = total_ * 8;
    std::uint8_t tail[72] = {0x80};
    const std::size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Add(tail, padding + 8);
    std::array<std::uint8_t, 32> digest{};
    for (int i = 0; i < 32; ++i) digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    std::memcpy(state_, kInitial, sizeof state_);
    pendingSize_ = 0;
    total_ = 0;
    return digest;
}

}  // namespace tarnex
