#pragma once

// The vector compression loops behind TLaneManager (MD4, MD5, SHA-1), one
// unit per instruction set, each compiled for its own target so the program
// runs on any x86-64 and only calls what the CPU has. Chaining values are held word by word:
// state[word][lane]. Each lane's pointer advances by 64 bytes a block.

#include <cstddef>
#include <cstdint>

namespace lanes {

constexpr int kStateLanes = 32;
using TLaneStates = std::uint32_t[5][kStateLanes]; // MD4 and MD5 use words 0..3

// Lanes 0..16 * groups - 1, groups 1 or 2 (two groups interleave their steps
// to hide each other's latency).
void Md4Avx512(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks, int groups);
void Md5Avx512(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks, int groups);
void Sha1Avx512(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks, int groups);
// Lanes 0..7.
void Md4Avx2(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks);
void Md5Avx2(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks);
void Sha1Avx2(TLaneStates &state, const std::uint8_t *const *data, std::size_t blocks);

} // namespace lanes
