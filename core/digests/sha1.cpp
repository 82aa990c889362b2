#include "digests/sha1.h"

#include <atomic>
#include <bit>
#include <cstring>
#include <utility>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define BRACKWELL_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr std::size_t kBlockBytes = 64;
constexpr std::size_t kDigestBytes = 20;

constexpr std::uint32_t kInitialState[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

std::uint32_t LoadBigEndian32(const std::uint8_t *p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void StoreBigEndian32(std::uint8_t *p, std::uint32_t word)
{
    p[0] = static_cast<std::uint8_t>(word >> 24);
    p[1] = static_cast<std::uint8_t>(word >> 16);
    p[2] = static_cast<std::uint8_t>(word >> 8);
    p[3] = static_cast<std::uint8_t>(word);
}

void CompressPortable(std::uint32_t state[5], const std::uint8_t *blocks, std::size_t count)
{
    for (; count > 0; --count, blocks += kBlockBytes) {
        std::uint32_t w[80];
        for (int t = 0; t < 16; ++t)
            w[t] = LoadBigEndian32(blocks + 4 * t);
        for (int t = 16; t < 80; ++t)
            w[t] = std::rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int t = 0; t < 80; ++t) {
            std::uint32_t f, k;
            if (t < 20) {
                f = d ^ (b & (c ^ d));
                k = 0x5A827999;
            } else if (t < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (t < 60) {
                f = (b & c) | (d & (b | c));
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const std::uint32_t temp = std::rotl(a, 5) + f + e + k + w[t];
            e = d;
            d = c;
            c = std::rotl(b, 30);
            b = a;
            a = temp;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

#ifdef BRACKWELL_SHA_NI

// Four rounds per step, twenty steps. Step I uses message words 4I..4I+3, made
// from the four groups before it once the first four are loaded.
struct TShaNiRounds
{
    __m128i abcd;
    __m128i previous; // ABCD before the last step: the next step's E comes from it
    __m128i message[4];

    template <int I>
    __attribute__((target("sha,sse4.1"), always_inline)) inline void Step()
    {
        constexpr int slot = I % 4;
        if constexpr (I >= 4) {
            const __m128i mixed = _mm_xor_si128(_mm_sha1msg1_epu32(message[slot], message[(I + 1) % 4]),
                                                message[(I + 2) % 4]);
            message[slot] = _mm_sha1msg2_epu32(mixed, message[(I + 3) % 4]);
        }
        const __m128i e = _mm_sha1nexte_epu32(previous, message[slot]);
        previous = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e, I / 5);
    }

    template <int... I>
    __attribute__((target("sha,sse4.1"), always_inline)) inline void Steps(std::integer_sequence<int, I...>)
    {
        (Step<I + 1>(), ...);
    }
};

__attribute__((target("sha,sse4.1,ssse3")))
void CompressShaNi(std::uint32_t state[5], const std::uint8_t *blocks, std::size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

    for (; count > 0; --count, blocks += kBlockBytes) {
        TShaNiRounds r;
        for (int i = 0; i < 4; ++i)
            r.message[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(blocks + 16 * i)), byteSwap);

        // Step 0 adds E to the first words directly; every later step derives
        // its E from the ABCD of two steps back.
        r.previous = abcd;
        r.abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e0, r.message[0]), 0);
        r.Steps(std::make_integer_sequence<int, 19>());

        e0 = _mm_sha1nexte_epu32(r.previous, e0);
        abcd = _mm_add_epi32(r.abcd, abcd);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

bool CpuHasShaExtensions()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const bool sse41 = (ecx & bit_SSE4_1) != 0;
    const bool ssse3 = (ecx & bit_SSSE3) != 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    return sse41 && ssse3 && (ebx & (1u << 29)) != 0;
}

#endif

std::atomic<TSHA1Engine> &ActiveEngine()
{
    static std::atomic<TSHA1Engine> engine{
        SHA1EngineAvailable(TSHA1Engine::ShaExtensions) ? TSHA1Engine::ShaExtensions : TSHA1Engine::Portable};
    return engine;
}

} // namespace

bool SHA1EngineAvailable(TSHA1Engine engine)
{
    if (engine == TSHA1Engine::Portable)
        return true;
#ifdef BRACKWELL_SHA_NI
    static const bool available = CpuHasShaExtensions();
    return available;
#else
    return false;
#endif
}

TSHA1Engine SHA1Engine()
{
    return ActiveEngine().load(std::memory_order_relaxed);
}

TSHA1Engine ForceSHA1Engine(TSHA1Engine engine)
{
    const TSHA1Engine before = SHA1Engine();
    if (SHA1EngineAvailable(engine))
        ActiveEngine().store(engine, std::memory_order_relaxed);
    return before;
}

void SHA1CompressBlocks(std::uint32_t state[5], const std::uint8_t *blocks, std::size_t count)
{
#ifdef BRACKWELL_SHA_NI
    if (SHA1Engine() == TSHA1Engine::ShaExtensions) {
        CompressShaNi(state, blocks, count);
        return;
    }
#endif
    CompressPortable(state, blocks, count);
}

TSHA1::TSHA1()
{
    CreateInternal(static_cast<int>(kBlockBytes), static_cast<int>(kDigestBytes));
}

void TSHA1::Initialize()
{
    TMessageDigest::Initialize();
    std::memcpy(m_state, kInitialState, sizeof m_state);
}

void TSHA1::TransformBlocks(const std::uint8_t *Blocks, std::size_t Count)
{
    SHA1CompressBlocks(m_state, Blocks, Count);
    TMessageDigest::TransformBlocks(Blocks, Count);
}

void TSHA1::Complete()
{
    CheckNotCompleted();
    CheckNotLent();

    AppendPadding(true);
    for (std::size_t i = 0; i < 5; ++i)
        StoreBigEndian32(DigestBuffer() + 4 * i, m_state[i]);
    TMessageDigest::Complete();
}
