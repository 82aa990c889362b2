#pragma once

// The step tables of MD4 and MD5, shared by the one-stream compression
// functions and the lane engines.

#include <array>
#include <cstdint>

namespace md4family {

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

} // namespace md4family
