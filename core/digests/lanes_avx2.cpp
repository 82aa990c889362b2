// The lane engine on 256-bit vectors: 8 lanes.

#include "digests/lanes_engines.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

// Everything below is compiled for AVX2; it runs only once the CPU and the
// operating system are known to support it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "digests/lanes_kernel.h"

namespace lanes {
namespace {

struct TAvx2Ops
{
    using Vector = __m256i;
    static constexpr int kLanes = 8;

    [[gnu::always_inline]] static inline Vector Load(const std::uint32_t *p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    [[gnu::always_inline]] static inline void Store(std::uint32_t *p, Vector v)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
    }
    [[gnu::always_inline]] static inline Vector Set(std::uint32_t w)
    {
        return _mm256_set1_epi32(static_cast<int>(w));
    }
    [[gnu::always_inline]] static inline Vector Add(Vector a, Vector b) { return _mm256_add_epi32(a, b); }
    [[gnu::always_inline]] static inline Vector Xor(Vector a, Vector b) { return _mm256_xor_si256(a, b); }
    template <int N>
    [[gnu::always_inline]] static inline Vector Rotl(Vector a)
    {
        return _mm256_or_si256(_mm256_slli_epi32(a, N), _mm256_srli_epi32(a, 32 - N));
    }
    [[gnu::always_inline]] static inline Vector Choose(Vector x, Vector y, Vector z) // x ? y : z
    {
        return _mm256_xor_si256(z, _mm256_and_si256(x, _mm256_xor_si256(y, z)));
    }
    [[gnu::always_inline]] static inline Vector Majority(Vector x, Vector y, Vector z)
    {
        return _mm256_or_si256(_mm256_and_si256(y, z), _mm256_and_si256(x, _mm256_or_si256(y, z)));
    }
    [[gnu::always_inline]] static inline Vector Parity(Vector x, Vector y, Vector z)
    {
        return _mm256_xor_si256(x, _mm256_xor_si256(y, z));
    }
    [[gnu::always_inline]] static inline Vector Md5I(Vector x, Vector y, Vector z) // y ^ (x | ~z)
    {
        const Vector notZ = _mm256_xor_si256(z, _mm256_set1_epi32(-1));
        return _mm256_xor_si256(y, _mm256_or_si256(x, notZ));
    }

    // Each word's bytes in reverse order.
    [[gnu::always_inline]] static inline Vector ByteSwap(Vector a)
    {
        const Vector order = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, //
                                              3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
        return _mm256_shuffle_epi8(a, order);
    }

    // The 16 words of block `offset` of 8 lanes, turned so that out[w] holds
    // word w of every lane: two 8 x 8 transpositions of 32-bit words.
    [[gnu::always_inline]] static inline void LoadMessages(const std::uint8_t *const *data, std::size_t offset,
                                                           Vector out[16])
    {
        for (int half = 0; half < 2; ++half) {
            Vector r[8];
            for (int i = 0; i < 8; ++i)
                r[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data[i] + offset + 32 * half));
            // In each 128-bit half k, t[4q + j] holds word 4k + j of rows 4q..4q + 3.
            Vector t[8];
            for (int q = 0; q < 2; ++q) {
                const Vector lo01 = _mm256_unpacklo_epi32(r[4 * q], r[4 * q + 1]);
                const Vector hi01 = _mm256_unpackhi_epi32(r[4 * q], r[4 * q + 1]);
                const Vector lo23 = _mm256_unpacklo_epi32(r[4 * q + 2], r[4 * q + 3]);
                const Vector hi23 = _mm256_unpackhi_epi32(r[4 * q + 2], r[4 * q + 3]);
                t[4 * q + 0] = _mm256_unpacklo_epi64(lo01, lo23);
                t[4 * q + 1] = _mm256_unpackhi_epi64(lo01, lo23);
                t[4 * q + 2] = _mm256_unpacklo_epi64(hi01, hi23);
                t[4 * q + 3] = _mm256_unpackhi_epi64(hi01, hi23);
            }
            for (int j = 0; j < 4; ++j) {
                out[8 * half + j] = _mm256_permute2x128_si256(t[j], t[4 + j], 0x20);
                out[8 * half + 4 + j] = _mm256_permute2x128_si256(t[j], t[4 + j], 0x31);
            }
        }
    }
};

template <TKernel Kernel>
[[gnu::noinline]] void Compress(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks)
{
    CompressLanes<TAvx2Ops, 1, Kernel>(state, data, blocks);
}

} // namespace
} // namespace lanes

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// The entry points stay outside the target region (see lanes_avx512.cpp).
namespace lanes {

void Md4Avx2(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks)
{
    Compress<TKernel::Md4>(state, data, blocks);
}

void Md5Avx2(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks)
{
    Compress<TKernel::Md5>(state, data, blocks);
}

void Sha1Avx2(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks)
{
    Compress<TKernel::Sha1>(state, data, blocks);
}

} // namespace lanes

#else

namespace lanes {
// Never called: the engine is reported unavailable off x86-64.
void Md4Avx2(TLaneStates &, const std::uint8_t *const *, std::size_t) {}
void Md5Avx2(TLaneStates &, const std::uint8_t *const *, std::size_t) {}
void Sha1Avx2(TLaneStates &, const std::uint8_t *const *, std::size_t) {}
} // namespace lanes

#endif
