#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "digests/sha1.h"

// Length of an AICH block: 180 KiB. Each 9,728,000-byte part holds 52 whole
// blocks and one of 143,360 bytes.
inline constexpr std::uint64_t AichBlockSize = 184320;

using TAichDigest = std::array<std::uint8_t, 20>;

// Where the block that holds byte `position` of a file of `fileSize` bytes
// ends: a block never crosses a part, and the last one stops at the file's end.
std::uint64_t AichBlockEnd(std::uint64_t position, std::uint64_t fileSize);

// The AICH root of a file: SHA-1 over each block, then a binary tree of SHA-1
// over pairs of child hashes, split into parts first and into blocks inside a
// part. The bytes come in order through Update, in pieces of any size; the
// file's size must be known from the start, since it shapes the tree.
class TAichHash
{
public:
    explicit TAichHash(std::uint64_t fileSize);

    void Update(const std::uint8_t *bytes, std::size_t count);
    // Takes the SHA-1 of the next whole block, hashed elsewhere, in place of
    // its bytes (see AichBlockEnd for its length). Only between blocks: not
    // once Update has given part of the block, nor past the end of the file.
    void AddBlockDigest(const TAichDigest &digest);
    // The root once every byte of the file has been given.
    TAichDigest Root();

    std::uint64_t FileSize() const { return m_fileSize; }

private:
    void FinishBlock();
    void EndBlock(const TAichDigest &digest);
    void FinishPart();
    TAichDigest PartsNode(std::size_t first, std::size_t count, bool leftBranch) const;

    std::uint64_t m_fileSize;
    std::uint64_t m_position = 0;
    std::uint64_t m_blockEnd = 0;
    TSHA1 m_block;
    // The block hashes of the part being read.
    std::vector<TAichDigest> m_blocks;
    // Each finished part's subtree, as a left and as a right branch: which one
    // the tree above takes depends on where the part falls in it.
    std::vector<std::array<TAichDigest, 2>> m_parts;
};

// RFC 4648 base 32, upper case, without padding: 32 characters for 20 bytes.
std::string Base32Text(const std::uint8_t *bytes, std::size_t count);
