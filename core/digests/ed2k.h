#pragma once

// The eDonkey2000 hash tree of one level: a file is cut into chunks of
// 9,728,000 bytes, each hashed with MD4; a file of one chunk is identified by
// that chunk's digest, a longer one by the MD4 of its chunk digests laid end
// to end. A size that is a whole number of chunks, zero included, ends in one
// empty chunk whose digest (MD4 of nothing) counts like any other.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Length of an eDonkey2000 chunk: 9,500 KiB.
inline constexpr std::int64_t DonkeyChunkSize = 9728000;
// Bytes of one chunk digest.
inline constexpr std::size_t DonkeyDigestBytes = 16;

// Chunks of a file of size bytes: size div 9,728,000 + 1.
constexpr std::int64_t DonkeyChunkCount(std::int64_t size)
{
    return size / DonkeyChunkSize + 1;
}

// Bytes of chunk `chunk` (1-based) of a file of size bytes; the empty last
// chunk of a file of whole chunks holds none.
constexpr std::int64_t DonkeyChunkLength(std::int64_t size, std::int64_t chunk)
{
    return std::clamp<std::int64_t>(size - DonkeyChunkSize * (chunk - 1), 0, DonkeyChunkSize);
}

// The root of the chunk digests (16 bytes each, in chunk order; at least one).
std::array<std::uint8_t, DonkeyDigestBytes> DonkeyRoot(std::span<const std::uint8_t> chunkDigests);
