// The lane engine on 512-bit vectors: 16 lanes per vector, one or two vectors.

#include "digests/lanes_engines.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

// Everything below is compiled for AVX-512F; it runs only once the CPU and the
// operating system are known to support it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
// GCC 12's intrinsics start some results from _mm512_undefined_epi32 and then
// warn about their own placeholder (GCC bug 105593).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "digests/lanes_kernel.h"

namespace lanes {
namespace {

struct TAvx512Ops
{
    using Vector = __m512i;
    static constexpr int kLanes = 16;

    [[gnu::always_inline]] static inline Vector Load(const std::uint32_t *p) { return _mm512_loadu_si512(p); }
    [[gnu::always_inline]] static inline void Store(std::uint32_t *p, Vector v) { _mm512_storeu_si512(p, v); }
    [[gnu::always_inline]] static inline Vector Set(std::uint32_t w)
    {
        return _mm512_set1_epi32(static_cast<int>(w));
    }
    [[gnu::always_inline]] static inline Vector Add(Vector a, Vector b) { return _mm512_add_epi32(a, b); }
    [[gnu::always_inline]] static inline Vector Xor(Vector a, Vector b) { return _mm512_xor_si512(a, b); }
    template <int N>
    [[gnu::always_inline]] static inline Vector Rotl(Vector a)
    {
        return _mm512_rol_epi32(a, N);
    }
    // Three-input logic in one instruction; the immediate is the truth table
    // of f(x, y, z) at index 4x + 2y + z.
    [[gnu::always_inline]] static inline Vector Choose(Vector x, Vector y, Vector z) // x ? y : z
    {
        return _mm512_ternarylogic_epi32(x, y, z, 0xca);
    }
    [[gnu::always_inline]] static inline Vector Majority(Vector x, Vector y, Vector z)
    {
        return _mm512_ternarylogic_epi32(x, y, z, 0xe8);
    }
    [[gnu::always_inline]] static inline Vector Parity(Vector x, Vector y, Vector z)
    {
        return _mm512_ternarylogic_epi32(x, y, z, 0x96);
    }
    [[gnu::always_inline]] static inline Vector Md5I(Vector x, Vector y, Vector z) // y ^ (x | ~z)
    {
        return _mm512_ternarylogic_epi32(x, y, z, 0x39);
    }

    // Each word's bytes in reverse order. A byte shuffle would need AVX-512BW;
    // two rotations and a merge need only the foundation: turned left by 8,
    // bytes 0 and 2 stand right, turned by 24, bytes 1 and 3.
    [[gnu::always_inline]] static inline Vector ByteSwap(Vector a)
    {
        return Choose(Set(0x00ff00ff), Rotl<8>(a), Rotl<24>(a));
    }

    // The 16 words of block `offset` of 16 lanes, turned so that out[w] holds
    // word w of every lane: a 16 x 16 transposition of 32-bit words.
    [[gnu::always_inline]] static inline void LoadMessages(const std::uint8_t *const *data, std::size_t offset,
                                                           Vector out[16])
    {
        Vector r[16];
        for (int i = 0; i < 16; ++i)
            r[i] = _mm512_loadu_si512(data[i] + offset);
        // Pairs of rows, then fours: in each 128-bit quarter k, t[4q + j]
        // holds word 4k + j of rows 4q..4q + 3.
        Vector t[16];
        for (int q = 0; q < 4; ++q) {
            const Vector lo01 = _mm512_unpacklo_epi32(r[4 * q], r[4 * q + 1]);
            const Vector hi01 = _mm512_unpackhi_epi32(r[4 * q], r[4 * q + 1]);
            const Vector lo23 = _mm512_unpacklo_epi32(r[4 * q + 2], r[4 * q + 3]);
            const Vector hi23 = _mm512_unpackhi_epi32(r[4 * q + 2], r[4 * q + 3]);
            t[4 * q + 0] = _mm512_unpacklo_epi64(lo01, lo23);
            t[4 * q + 1] = _mm512_unpackhi_epi64(lo01, lo23);
            t[4 * q + 2] = _mm512_unpacklo_epi64(hi01, hi23);
            t[4 * q + 3] = _mm512_unpackhi_epi64(hi01, hi23);
        }
        // Then the quarters: word 4k + j of all rows gathers quarter k of
        // t[j], t[4 + j], t[8 + j], t[12 + j].
        for (int j = 0; j < 4; ++j) {
            const Vector even01 = _mm512_shuffle_i32x4(t[j], t[4 + j], 0x88);
            const Vector odd01 = _mm512_shuffle_i32x4(t[j], t[4 + j], 0xdd);
            const Vector even23 = _mm512_shuffle_i32x4(t[8 + j], t[12 + j], 0x88);
            const Vector odd23 = _mm512_shuffle_i32x4(t[8 + j], t[12 + j], 0xdd);
            out[0 + j] = _mm512_shuffle_i32x4(even01, even23, 0x88);
            out[8 + j] = _mm512_shuffle_i32x4(even01, even23, 0xdd);
            out[4 + j] = _mm512_shuffle_i32x4(odd01, odd23, 0x88);
            out[12 + j] = _mm512_shuffle_i32x4(odd01, odd23, 0xdd);
        }
    }
};

template <TKernel Kernel>
[[gnu::noinline]] void Compress(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks, int groups)
{
    if (groups == 1) {
        CompressLanes<TAvx512Ops, 1, Kernel>(state, data, blocks);
    } else if constexpr (Kernel == TKernel::Sha1) {
        // SHA-1's sixteen message words and five chaining values fill half the
        // registers for one group already: two interleaved groups would spill
        // (measured a fifth slower), so the groups run one after the other.
        CompressLanes<TAvx512Ops, 1, Kernel>(state, data, blocks, 0);
        CompressLanes<TAvx512Ops, 1, Kernel>(state, data, blocks, 16);
    } else {
        CompressLanes<TAvx512Ops, 2, Kernel>(state, data, blocks);
    }
}

} // namespace
} // namespace lanes

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

// The entry points stay outside the target region: the callers' declarations
// carry no target, and a definition that did would be another function.
namespace lanes {

void Md4Avx512(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks, int groups)
{
    Compress<TKernel::Md4>(state, data, blocks, groups);
}

void Md5Avx512(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks, int groups)
{
    Compress<TKernel::Md5>(state, data, blocks, groups);
}

void Sha1Avx512(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks, int groups)
{
    Compress<TKernel::Sha1>(state, data, blocks, groups);
}

} // namespace lanes

#else

namespace lanes {
// Never called: the engine is reported unavailable off x86-64.
void Md4Avx512(TLaneStates &, const std::uint8_t *const *, std::size_t, int) {}
void Md5Avx512(TLaneStates &, const std::uint8_t *const *, std::size_t, int) {}
void Sha1Avx512(TLaneStates &, const std::uint8_t *const *, std::size_t, int) {}
} // namespace lanes

#endif
