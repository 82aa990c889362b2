#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "digests/MessageDigests.h"

// SHA-1 (FIPS 180-4): 64-byte blocks of big-endian words, five chaining values,
// a 20-byte digest. Compresses with the CPU's SHA extensions where it has them.
// Lends its chaining values like TMD4 and TMD5 (see TChainingDigest).
class TSHA1 final : public TChainingDigest
{
public:
    TSHA1();
    std::string AlgorithmName() const override { return "SHA1"; }
    void Complete() override;
    void Initialize() override;

protected:
    void TransformBlocks(const std::uint8_t *Blocks, std::size_t Count) override;
    std::span<std::uint32_t> ChainingValues() override { return m_state; }

private:
    std::uint32_t m_state[5] = {};
};

// The raw compression function, for callers that drive whole blocks themselves.
void SHA1CompressBlocks(std::uint32_t state[5], const std::uint8_t *blocks, std::size_t count);

// Which compression runs: the SHA extensions when the CPU has them, else the
// portable rounds. Tests force the portable one to compare the two.
enum class TSHA1Engine { Portable, ShaExtensions };
TSHA1Engine SHA1Engine();
bool SHA1EngineAvailable(TSHA1Engine engine);
// Returns the engine that ran before; an engine the CPU lacks is not taken.
TSHA1Engine ForceSHA1Engine(TSHA1Engine engine);
