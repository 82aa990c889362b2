#include "digests/MessageDigests.h"
#include "digests/md4family_tables.h"

#include <algorithm>
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
    m_lent = false;
}

void TMessageDigest::CheckNotCompleted() const
{
    if (m_completed)
        throw EMessageDigestError("Message digest already complete.");
}

void TMessageDigest::CheckNotLent() const
{
    if (m_lent)
        throw EMessageDigestError("Message digest chaining values lent out.");
}

void TMessageDigest::Transform(const void *M, std::size_t Count)
{
    CheckNotCompleted();
    CheckNotLent();
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
// TChainingDigest

void TChainingDigest::LendChainingValues(std::uint32_t *state)
{
    CheckNotCompleted();
    CheckNotLent();
    if (PartialLength() != 0)
        throw EMessageDigestError("Message digest has a partial block pending.");
    const std::span<std::uint32_t> words = ChainingValues();
    std::copy(words.begin(), words.end(), state);
    SetLent(true);
}

void TChainingDigest::ReturnChainingValues(const std::uint32_t *state, std::uint64_t blocks)
{
    if (!ChainingValuesLent())
        throw EMessageDigestError("Message digest chaining values not lent.");
    const std::span<std::uint32_t> words = ChainingValues();
    std::copy(state, state + words.size(), words.begin());
    SetLent(false);
    TMessageDigest::TransformBlocks(nullptr, static_cast<std::size_t>(blocks));
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
                    "TMD4Family.Initialize: the block size is not 64 bytes.");
    BrackwellAssert(DigestSize() == static_cast<int>(kMd4FamilyDigestBytes),
                    "TMD4Family.Initialize: the digest size is not 16 bytes.");
    TMessageDigest::Initialize();
    for (std::size_t i = 0; i < 4; ++i)
        m_state[i] = LoadLittleEndian32(m_initialChainingValues.data() + i * kWordBytes);
}

void TMD4Family::Complete()
{
    CheckNotCompleted();
    CheckNotLent();

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
// constant are compile-time constants taken from md4family_tables.h, and every
// step is inlined into one straight run of code per block. The state lives in
// four locals across the whole block loop; message words are loaded from the
// caller's block at the step that uses them, which x86-64 folds into the add.

namespace {

using namespace md4family;

#define BRACKWELL_ALWAYS_INLINE [[gnu::always_inline]] inline

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
    CheckNotLent();
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
    CheckNotLent();
    MD5CompressBlocks(State(), Blocks, Count);
    TMD4Family::TransformBlocks(Blocks, Count);
}

std::string HexText(const std::uint8_t *bytes, std::size_t count, bool upperCase)
{
    const char *digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text(2 * count, '0');
    for (std::size_t i = 0; i < count; ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return text;
}
