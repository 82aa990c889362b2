#include "MessageDigests.h"

#include <array>
#include <bit>
#include <cstring>
#include <utility>

void BrackwellAssert(bool condition, const char *message)
{
    if (!condition)
        throw EAssertionFailed(message);
}

// ---------------------------------------------------------------------------
// TMessageDigest

TMessageDigest::~TMessageDigest() = default;

void TMessageDigest::CreateInternal(int BlockSize, int DigestSize)
{
    BrackwellAssert(BlockSize > 0, "TMessageDigest.CreateInternal: BlockSize <= 0.");
    BrackwellAssert(DigestSize > 0, "TMessageDigest.CreateInternal: DigestSize <= 0.");
    m_blockSize = BlockSize;
    m_digestSize = DigestSize;
    Initialize();
}

void TMessageDigest::Initialize()
{
    if (!m_digest)
        m_digest = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(m_digestSize));
    if (!m_partialBlock)
        m_partialBlock = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(m_blockSize));
    std::memset(m_digest.get(), 0, static_cast<std::size_t>(m_digestSize));
    std::memset(m_partialBlock.get(), 0, static_cast<std::size_t>(m_blockSize));
    m_partialLength = 0;
    m_blockCount = 0;
    m_completed = false;
}

void TMessageDigest::CheckNotCompleted() const
{
    if (m_completed)
        throw EMessageDigestError("Message digest already complete.");
}

void TMessageDigest::Transform(const void *M, std::size_t Count)
{
    CheckNotCompleted();
    BrackwellAssert(M != nullptr, "Transform: M not assigned.");

    const auto *bytes = static_cast<const std::uint8_t *>(M);
    const auto blockSize = static_cast<std::size_t>(m_blockSize);

    if (m_partialLength > 0) {
        const std::size_t room = blockSize - static_cast<std::size_t>(m_partialLength);
        if (Count < room) {
            std::memcpy(m_partialBlock.get() + m_partialLength, bytes, Count);
            m_partialLength += static_cast<int>(Count);
            return;
        }
        std::memcpy(m_partialBlock.get() + m_partialLength, bytes, room);
        TransformBlocks(m_partialBlock.get(), 1);
        m_partialLength = 0;
        bytes += room;
        Count -= room;
    }

    // Whole blocks straight from the caller's memory.
    const std::size_t blocks = Count / blockSize;
    if (blocks > 0)
        TransformBlocks(bytes, blocks);

    const std::size_t tail = Count % blockSize;
    std::memcpy(m_partialBlock.get(), bytes + blocks * blockSize, tail);
    m_partialLength = static_cast<int>(tail);
}

void TMessageDigest::TransformBlocks(const std::uint8_t * /*Blocks*/, std::size_t Count)
{
    m_blockCount += Count;
}

void TMessageDigest::AppendPadding(bool bigEndianLength)
{
    const auto blockSize = static_cast<std::size_t>(m_blockSize);
    // The length is taken before any padding block is counted.
    const std::uint64_t bitLength = (m_blockCount * blockSize + static_cast<std::uint64_t>(m_partialLength)) * 8u;

    std::uint8_t *block = m_partialBlock.get();
    auto length = static_cast<std::size_t>(m_partialLength);
    block[length++] = 0x80;
    m_partialLength = static_cast<int>(length);

    if (blockSize - length < 8) {
        std::memset(block + length, 0, blockSize - length);
        TransformBlocks(block, 1);
        length = 0;
    }
    std::memset(block + length, 0, blockSize - 8 - length);
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = bigEndianLength ? blockSize - 1 - i : blockSize - 8 + i;
        block[at] = static_cast<std::uint8_t>(bitLength >> (8 * i));
    }
    TransformBlocks(block, 1);
    m_partialLength = 0;
}

void TMessageDigest::Complete()
{
    CheckNotCompleted();
    m_completed = true;
}

std::span<const std::uint8_t> TMessageDigest::Digest() const
{
    if (!m_completed)
        throw EMessageDigestError("Message digest not complete.");
    return {m_digest.get(), static_cast<std::size_t>(m_digestSize)};
}

std::string TMessageDigest::DigestText() const
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    const std::span<const std::uint8_t> digest = Digest();
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        text.push_back(hexDigits[byte >> 4]);
        text.push_back(hexDigits[byte & 0x0f]);
    }
    return text;
}

// ---------------------------------------------------------------------------
// TMD4Family

namespace {

constexpr std::size_t kWordBytes = sizeof(std::uint32_t);
constexpr std::size_t kMd4FamilyBlockBytes = 64;
constexpr std::size_t kMd4FamilyDigestBytes = 4 * kWordBytes;

std::uint32_t LoadLittleEndian32(const std::uint8_t *p)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t word;
        std::memcpy(&word, p, sizeof word);
        return word;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16
            | std::uint32_t{p[3]} << 24;
    }
}

void StoreLittleEndian32(std::uint8_t *p, std::uint32_t word)
{
    p[0] = static_cast<std::uint8_t>(word);
    p[1] = static_cast<std::uint8_t>(word >> 8);
    p[2] = static_cast<std::uint8_t>(word >> 16);
    p[3] = static_cast<std::uint8_t>(word >> 24);
}

// A, B, C, D of RFC 1320 section 3.3, low-order byte first; RFC 1321 section
// 3.3 starts from the same four words.
constexpr std::uint8_t kMd4FamilyInitialChainingValues[kMd4FamilyDigestBytes] = {
    0x01, 0x23, 0x45, 0x67, // A = 0x67452301
    0x89, 0xab, 0xcd, 0xef, // B = 0xefcdab89
    0xfe, 0xdc, 0xba, 0x98, // C = 0x98badcfe
    0x76, 0x54, 0x32, 0x10, // D = 0x10325476
};

} // namespace

TMD4Family::TMD4Family(int BlockSize, const std::uint8_t *InitialChainingValues, int Length)
{
    BrackwellAssert(InitialChainingValues != nullptr,
                    "TMD4Family.InitializeChainingValues: InitialChainingValues = nil.");
    if (Length > 0)
        m_initialChainingValues.assign(InitialChainingValues, InitialChainingValues + Length);
    // The copy exists before CreateInternal runs Initialize, which loads it.
    CreateInternal(BlockSize, Length);
}

void TMD4Family::Initialize()
{
    // The four chaining values are the digest, and the padding and the
    // compression functions work on 64-byte blocks: any other size is a
    // programming error. CreateInternal has checked both sizes for > 0 first.
    BrackwellAssert(BlockSize() == static_cast<int>(kMd4FamilyBlockBytes),
                    "TMD4Family.Initialize: BlockSize <> 64.");
    BrackwellAssert(DigestSize() == static_cast<int>(kMd4FamilyDigestBytes),
                    "TMD4Family.Initialize: DigestSize <> 16.");
    TMessageDigest::Initialize();
    for (std::size_t i = 0; i < 4; ++i)
        m_state[i] = LoadLittleEndian32(m_initialChainingValues.data() + i * kWordBytes);
}

void TMD4Family::Complete()
{
    CheckNotCompleted();

    // RFC 1320/1321 section 3.2: the length in bits modulo 2^64, low byte first.
    AppendPadding(false);

    std::uint8_t *digest = DigestBuffer();
    for (std::size_t i = 0; i < 4; ++i)
        StoreLittleEndian32(digest + i * kWordBytes, m_state[i]);

    TMessageDigest::Complete();
}

// ---------------------------------------------------------------------------
// Compression functions
//
// Each step is a template over its step number, so the word index, shift and
// constant are compile-time constants taken from the tables below, and every
// step is inlined into one straight run of code per block. The state lives in
// four locals across the whole block loop; message words are loaded from the
// caller's block at the step that uses them, which x86-64 folds into the add.

namespace {

#define BRACKWELL_ALWAYS_INLINE [[gnu::always_inline]] inline

// RFC 1320 section 3.4: message word and shift of each of the 48 steps.
constexpr std::array<std::uint8_t, 48> kMd4Word = {
    0, 1, 2,  3,  4, 5, 6,  7,  8, 9, 10, 11, 12, 13, 14, 15, // round 1
    0, 4, 8,  12, 1, 5, 9,  13, 2, 6, 10, 14, 3,  7,  11, 15, // round 2
    0, 8, 4,  12, 2, 10, 6, 14, 1, 9, 5,  13, 3,  11, 7,  15, // round 3
};
constexpr std::array<std::uint8_t, 12> kMd4Shift = {
    3, 7, 11, 19, // round 1
    3, 5, 9,  13, // round 2
    3, 9, 11, 15, // round 3
};
constexpr std::array<std::uint32_t, 3> kMd4RoundConstant = {0x00000000, 0x5a827999, 0x6ed9eba1};

// RFC 1321 section 3.4: message word, shift and the sine-table constant T[i]
// of each of the 64 steps.
constexpr std::array<std::uint8_t, 64> kMd5Word = {
    0, 1, 2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, // round 1
    1, 6, 11, 0,  5,  10, 15, 4,  9,  14, 3,  8,  13, 2,  7,  12, // round 2
    5, 8, 11, 14, 1,  4,  7,  10, 13, 0,  3,  6,  9,  12, 15, 2,  // round 3
    0, 7, 14, 5,  12, 3,  10, 1,  8,  15, 6,  13, 4,  11, 2,  9,  // round 4
};
constexpr std::array<std::uint8_t, 16> kMd5Shift = {
    7, 12, 17, 22, // round 1
    5, 9,  14, 20, // round 2
    4, 11, 16, 23, // round 3
    6, 10, 15, 21, // round 4
};
constexpr std::array<std::uint32_t, 64> kMd5Sine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// The step functions are written so that the term that waits for b (the value
// the previous step just produced) comes last and the rest can start early.

template <int Step>
BRACKWELL_ALWAYS_INLINE void Md4Step(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                     const std::uint8_t *block)
{
    constexpr int round = Step / 16;
    constexpr std::uint32_t addend = kMd4RoundConstant[round];
    const std::uint32_t word = LoadLittleEndian32(block + kWordBytes * kMd4Word[Step]);
    a += word + addend;
    if constexpr (round == 0) {
        a += d ^ (b & (c ^ d));      // F: b ? c : d
    } else if constexpr (round == 1) {
        // G, the majority of b, c, d, is (c & d) | (b & (c ^ d)); the two terms
        // never share a bit, so they can be added separately, and c & d does
        // not wait for b.
        a += c & d;
        a += b & (c ^ d);
    } else {
        a += b ^ (c ^ d);            // H: parity
    }
    a = std::rotl(a, kMd4Shift[round * 4 + Step % 4]);
}

template <int Step>
BRACKWELL_ALWAYS_INLINE void Md4Quad(std::uint32_t &a, std::uint32_t &b, std::uint32_t &c, std::uint32_t &d,
                                     const std::uint8_t *block)
{
    Md4Step<Step + 0>(a, b, c, d, block);
    Md4Step<Step + 1>(d, a, b, c, block);
    Md4Step<Step + 2>(c, d, a, b, block);
    Md4Step<Step + 3>(b, c, d, a, block);
}

template <std::size_t... Quad>
BRACKWELL_ALWAYS_INLINE void Md4Block(std::uint32_t &a, std::uint32_t &b, std::uint32_t &c, std::uint32_t &d,
                                      const std::uint8_t *block, std::index_sequence<Quad...>)
{
    (Md4Quad<static_cast<int>(Quad) * 4>(a, b, c, d, block), ...);
}

template <int Step>
BRACKWELL_ALWAYS_INLINE void Md5Step(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                     const std::uint8_t *block)
{
    constexpr int round = Step / 16;
    const std::uint32_t word = LoadLittleEndian32(block + kWordBytes * kMd5Word[Step]);
    a += word + kMd5Sine[Step];
    if constexpr (round == 0) {
        a += d ^ (b & (c ^ d));      // F: b ? c : d
    } else if constexpr (round == 1) {
        // G = (b & d) | (c & ~d); the two terms never share a bit, so they can
        // be added separately, and c & ~d does not wait for b.
        a += c & ~d;
        a += b & d;
    } else if constexpr (round == 2) {
        a += b ^ (c ^ d);            // H: parity
    } else {
        a += c ^ (b | ~d);           // I
    }
    a = b + std::rotl(a, kMd5Shift[round * 4 + Step % 4]);
}

template <int Step>
BRACKWELL_ALWAYS_INLINE void Md5Quad(std::uint32_t &a, std::uint32_t &b, std::uint32_t &c, std::uint32_t &d,
                                     const std::uint8_t *block)
{
    Md5Step<Step + 0>(a, b, c, d, block);
    Md5Step<Step + 1>(d, a, b, c, block);
    Md5Step<Step + 2>(c, d, a, b, block);
    Md5Step<Step + 3>(b, c, d, a, block);
}

template <std::size_t... Quad>
BRACKWELL_ALWAYS_INLINE void Md5Block(std::uint32_t &a, std::uint32_t &b, std::uint32_t &c, std::uint32_t &d,
                                      const std::uint8_t *block, std::index_sequence<Quad...>)
{
    (Md5Quad<static_cast<int>(Quad) * 4>(a, b, c, d, block), ...);
}

// Runs `compress` over each 64-byte block, with the chaining values held in
// locals for the whole loop and added in after every block.
template <class Compress>
BRACKWELL_ALWAYS_INLINE void CompressBlocks(std::uint32_t state[4], const std::uint8_t *blocks,
                                            std::size_t count, Compress compress)
{
    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    for (; count > 0; --count, blocks += kMd4FamilyBlockBytes) {
        const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
        compress(a, b, c, d, blocks);
        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef BRACKWELL_ALWAYS_INLINE

} // namespace

[[gnu::hot]] void MD4CompressBlocks(std::uint32_t state[4], const std::uint8_t *blocks, std::size_t count)
{
    CompressBlocks(state, blocks, count, [](std::uint32_t &a, std::uint32_t &b, std::uint32_t &c, std::uint32_t &d,
                                            const std::uint8_t *block) {
        Md4Block(a, b, c, d, block, std::make_index_sequence<12>{});
    });
}

[[gnu::hot]] void MD5CompressBlocks(std::uint32_t state[4], const std::uint8_t *blocks, std::size_t count)
{
    CompressBlocks(state, blocks, count, [](std::uint32_t &a, std::uint32_t &b, std::uint32_t &c, std::uint32_t &d,
                                            const std::uint8_t *block) {
        Md5Block(a, b, c, d, block, std::make_index_sequence<16>{});
    });
}

// ---------------------------------------------------------------------------
// TMD4, TMD5

TMD4::TMD4()
    : TMD4Family(static_cast<int>(kMd4FamilyBlockBytes), kMd4FamilyInitialChainingValues,
                 static_cast<int>(kMd4FamilyDigestBytes))
{
}

void TMD4::TransformBlocks(const std::uint8_t *Blocks, std::size_t Count)
{
    BrackwellAssert(Blocks != nullptr, "TMD4.TransformBlocks: Addr(Blocks) = nil.");
    MD4CompressBlocks(State(), Blocks, Count);
    TMD4Family::TransformBlocks(Blocks, Count);
}

TMD5::TMD5()
    : TMD4Family(static_cast<int>(kMd4FamilyBlockBytes), kMd4FamilyInitialChainingValues,
                 static_cast<int>(kMd4FamilyDigestBytes))
{
}

void TMD5::TransformBlocks(const std::uint8_t *Blocks, std::size_t Count)
{
    BrackwellAssert(Blocks != nullptr, "TMD5.TransformBlocks: Addr(Blocks) = nil.");
    MD5CompressBlocks(State(), Blocks, Count);
    TMD4Family::TransformBlocks(Blocks, Count);
}
