#include "digests/aich.h"

#include <algorithm>
#include <cstring>

#include "digests/ed2k.h"

namespace {

constexpr auto kPartSize = static_cast<std::uint64_t>(DonkeyChunkSize);

TAichDigest HashPair(const TAichDigest &left, const TAichDigest &right)
{
    TSHA1 pair;
    pair.Transform(left.data(), left.size());
    pair.Transform(right.data(), right.size());
    pair.Complete();
    TAichDigest digest;
    std::memcpy(digest.data(), pair.Digest().data(), digest.size());
    return digest;
}

// Of `count` units under one node, how many its left child takes: of an odd
// count, a left branch gives its left child the larger half, a right branch its
// right child.
std::size_t LeftShare(std::size_t count, bool leftBranch)
{
    return leftBranch ? (count + 1) / 2 : count / 2;
}

TAichDigest BlocksNode(const TAichDigest *blocks, std::size_t count, bool leftBranch)
{
    if (count == 1)
        return blocks[0];
    const std::size_t left = LeftShare(count, leftBranch);
    return HashPair(BlocksNode(blocks, left, true), BlocksNode(blocks + left, count - left, false));
}

} // namespace

std::uint64_t AichBlockEnd(std::uint64_t position, std::uint64_t fileSize)
{
    const std::uint64_t partStart = position / kPartSize * kPartSize;
    const std::uint64_t blockEnd = partStart + ((position - partStart) / AichBlockSize + 1) * AichBlockSize;
    return std::min({blockEnd, partStart + kPartSize, fileSize});
}

TAichHash::TAichHash(std::uint64_t fileSize)
    : m_fileSize(fileSize)
    , m_blockEnd(AichBlockEnd(0, fileSize))
{
    m_blocks.reserve(static_cast<std::size_t>((kPartSize + AichBlockSize - 1) / AichBlockSize));
    m_parts.reserve(static_cast<std::size_t>(fileSize / kPartSize + 1));
}

void TAichHash::Update(const std::uint8_t *bytes, std::size_t count)
{
    BrackwellAssert(count <= m_fileSize - m_position, "TAichHash.Update: more bytes than the file holds.");
    while (count > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_blockEnd - m_position));
        m_block.Transform(bytes, piece);
        bytes += piece;
        count -= piece;
        m_position += piece;
        if (m_position == m_blockEnd)
            FinishBlock();
    }
}

void TAichHash::AddBlockDigest(const TAichDigest &digest)
{
    BrackwellAssert(m_position < m_fileSize, "TAichHash.AddBlockDigest: past the end of the file.");
    BrackwellAssert(m_block.BlockCount() == 0 && m_block.PartialLength() == 0,
                    "TAichHash.AddBlockDigest: part of the block came through Update.");
    m_position = m_blockEnd;
    EndBlock(digest);
}

void TAichHash::FinishBlock()
{
    m_block.Complete();
    TAichDigest digest;
    std::memcpy(digest.data(), m_block.Digest().data(), digest.size());
    m_block.Initialize();
    EndBlock(digest);
}

// Keeps the digest of the block that ends at m_position, and closes its part
// when the part ends there too.
void TAichHash::EndBlock(const TAichDigest &digest)
{
    m_blocks.push_back(digest);
    if (m_position % kPartSize == 0 || m_position == m_fileSize)
        FinishPart();
    if (m_position < m_fileSize)
        m_blockEnd = AichBlockEnd(m_position, m_fileSize);
}

void TAichHash::FinishPart()
{
    m_parts.push_back({BlocksNode(m_blocks.data(), m_blocks.size(), true),
                       BlocksNode(m_blocks.data(), m_blocks.size(), false)});
    m_blocks.clear();
}

TAichDigest TAichHash::Root()
{
    BrackwellAssert(m_position == m_fileSize, "TAichHash.Root: the file was not given whole.");
    if (m_parts.empty()) // an empty file: one empty block
        FinishBlock();
    return PartsNode(0, m_parts.size(), true);
}

TAichDigest TAichHash::PartsNode(std::size_t first, std::size_t count, bool leftBranch) const
{
    if (count == 1)
        return m_parts[first][leftBranch ? 0 : 1];
    const std::size_t left = LeftShare(count, leftBranch);
    return HashPair(PartsNode(first, left, true), PartsNode(first + left, count - left, false));
}

std::string Base32Text(const std::uint8_t *bytes, std::size_t count)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string text;
    text.reserve((count * 8 + 4) / 5);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        buffer = (buffer << 8) | bytes[i];
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            text.push_back(alphabet[(buffer >> bits) & 31]);
        }
    }
    if (bits > 0)
        text.push_back(alphabet[(buffer << (5 - bits)) & 31]);
    return text;
}
