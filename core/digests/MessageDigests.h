#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// A failed internal assertion: a programming error, never caused by user input.
// Active in every build; what() is the fixed message of the failed check.
class EAssertionFailed final : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

// A digest used out of order: Digest before Complete, Transform after it...
class EMessageDigestError final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raises EAssertionFailed with the given message when the condition is false.
void BrackwellAssert(bool condition, const char *message);

// A message digest computed over a byte stream that arrives in pieces of any
// size: fed with Transform, finished with Complete, read with Digest.
class TMessageDigest
{
public:
    virtual ~TMessageDigest();

    TMessageDigest(const TMessageDigest &) = delete;
    TMessageDigest &operator=(const TMessageDigest &) = delete;

    // Feeds Count bytes starting at M. Any split of a message gives the same digest.
    void Transform(const void *M, std::size_t Count);
    // Finishes the digest; afterwards the object takes no more data.
    virtual void Complete();
    // Back to the empty-message state.
    virtual void Initialize();
    virtual std::string AlgorithmName() const = 0;

    // The finished digest; valid until the object is re-initialised or destroyed.
    std::span<const std::uint8_t> Digest() const;
    // The finished digest as lower-case hexadecimal text.
    std::string DigestText() const;

    int BlockSize() const { return m_blockSize; }
    int DigestSize() const { return m_digestSize; }
    std::uint64_t BlockCount() const { return m_blockCount; }
    int PartialLength() const { return m_partialLength; }
    bool Completed() const { return m_completed; }
    // True while a subclass has lent its chaining values out (see TMD4Family).
    bool ChainingValuesLent() const { return m_lent; }

protected:
    TMessageDigest() = default;

    // Checks and stores the sizes, then runs the virtual Initialize. Called from
    // the constructor of the class that implements Initialize, so that its
    // override is the one that runs.
    void CreateInternal(int BlockSize, int DigestSize);

    // Compresses Count consecutive blocks starting at Blocks. The base counts them.
    virtual void TransformBlocks(const std::uint8_t *Blocks, std::size_t Count);

    std::uint8_t *DigestBuffer() { return m_digest.get(); }
    std::uint8_t *PartialBlock() { return m_partialBlock.get(); }
    void SetPartialLength(int length) { m_partialLength = length; }
    void CheckNotCompleted() const;
    void CheckNotLent() const;
    void SetLent(bool lent) { m_lent = lent; }
    // Merkle-Damgard padding: 0x80, zeros, and the message length in bits as a
    // 64-bit number, compressed as the last block or two.
    void AppendPadding(bool bigEndianLength);

private:
    std::unique_ptr<std::uint8_t[]> m_digest;
    std::unique_ptr<std::uint8_t[]> m_partialBlock;
    int m_partialLength = 0;
    int m_blockSize = 0;
    int m_digestSize = 0;
    std::uint64_t m_blockCount = 0;
    bool m_completed = false;
    bool m_lent = false;
};

// A digest whose whole state between two blocks is a few 32-bit chaining
// values (MD4, MD5, SHA-1), which it can lend to code that compresses whole
// blocks elsewhere (the lane engines).
class TChainingDigest : public TMessageDigest
{
public:
    // Hands the chaining values out (4 words for MD4 and MD5, 5 for SHA-1),
    // in order, between two pieces fed here.
    // Only between whole blocks: a pending partial block throws. Until they
    // come back the digest takes no data and cannot complete.
    void LendChainingValues(std::uint32_t *state);
    // Takes them back, advanced over Blocks more 64-byte blocks.
    void ReturnChainingValues(const std::uint32_t *state, std::uint64_t Blocks);

protected:
    TChainingDigest() = default;
    // The working chaining values.
    virtual std::span<std::uint32_t> ChainingValues() = 0;
};

// Digests built like MD4: 64-byte blocks of little-endian words, 0x80 padding
// with the 64-bit message length, four 32-bit chaining values.
class TMD4Family : public TChainingDigest
{
public:
    void Complete() override;
    void Initialize() override;

protected:
    TMD4Family(int BlockSize, const std::uint8_t *InitialChainingValues, int Length);
    std::span<std::uint32_t> ChainingValues() override { return m_state; }

    // The working chaining values A, B, C, D.
    std::uint32_t *State() { return m_state; }

private:
    std::vector<std::uint8_t> m_initialChainingValues;
    std::uint32_t m_state[4] = {};
};

class TMD4 final : public TMD4Family
{
public:
    TMD4();
    std::string AlgorithmName() const override { return "MD4"; }

protected:
    void TransformBlocks(const std::uint8_t *Blocks, std::size_t Count) override;
};

class TMD5 final : public TMD4Family
{
public:
    TMD5();
    std::string AlgorithmName() const override { return "MD5"; }

protected:
    void TransformBlocks(const std::uint8_t *Blocks, std::size_t Count) override;
};

// The raw compression functions, for callers that drive whole blocks themselves.
void MD4CompressBlocks(std::uint32_t state[4], const std::uint8_t *blocks, std::size_t count);
void MD5CompressBlocks(std::uint32_t state[4], const std::uint8_t *blocks, std::size_t count);

// count bytes as 2 * count hexadecimal digits, high nibble first.
std::string HexText(const std::uint8_t *bytes, std::size_t count, bool upperCase);
