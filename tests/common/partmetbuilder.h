#pragma once

// Builds .part.met descriptors byte by byte, in the old form (one-byte names
// with a length, 32-bit integers) and in the form current clients write
// (compact names, 64/16/8-bit integers, fixed-length texts, gap tags, values of
// every type, part hashes and the AICH root). Shared by the reader's tests and
// the fuzzer's seed writer.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace partmet {

using THash = std::array<std::uint8_t, 16>;

// An arbitrary hash with every byte distinct, so that order mistakes show.
inline constexpr THash SampleHash = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                     0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87};
inline constexpr std::string_view SampleHashText = "0123456789ABCDEFF0E1D2C3B4A59687";

inline THash HashFromHex(std::string_view hex)
{
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    THash hash{};
    for (std::size_t i = 0; i < hash.size() && 2 * i + 1 < hex.size(); ++i)
        hash[i] = static_cast<std::uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
    return hash;
}

// Files of zero bytes whose hashes rhash 1.4.3 gave (`rhash --ed2k --aich`, and
// `rhash --md4` of a whole chunk, of one zero byte and of nothing for the part
// hashes): a descriptor of their download records these.
struct TZeroFile
{
    std::uint64_t size;
    std::string_view ed2k;
    std::vector<std::string_view> parts;
    std::string_view aich;
};
inline constexpr std::string_view ZeroChunkMd4 = "D7DEF262A127CD79096A108E7A9FC138";
// A whole chunk, then the empty one.
inline const TZeroFile OneChunkOfZeros = {9728000, "FC21D9AF828F92A8DF64BEAC3357425D",
                                          {ZeroChunkMd4, "31D6CFE0D16AE931B73C59D7E0C089C0"},
                                          "5D3N4HQHIUMQ7IU7A5QLPLI6RHSWOR7B"};
// Two whole chunks and one byte.
inline const TZeroFile TwoChunksAndAByte = {19456001, "E57F824D28F69FE90864E17673668457",
                                            {ZeroChunkMd4, ZeroChunkMd4, "47C61A0FA8738BA77308A8A600F88E4B"},
                                            "A24DAJJZDJ7ZW7ER5MK7Y4U2SW3VC7CW"};

inline std::string LittleEndian(std::uint64_t value, int width)
{
    std::string bytes;
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return bytes;
}

// One tag: type byte (without the compact bit), name and raw value bytes.
struct TTag
{
    std::uint8_t type = 0;
    std::string name;     // a one-byte name is an ID
    bool compact = false; // name written as one ID byte, type | 0x80
    std::string value;

    std::string Bytes() const
    {
        if (compact)
            return std::string(1, static_cast<char>(type | 0x80)) + name.substr(0, 1) + value;
        return std::string(1, static_cast<char>(type)) + LittleEndian(name.size(), 2) + name + value;
    }
};

inline std::string Id(std::uint8_t id) { return std::string(1, static_cast<char>(id)); }

// Type 0x02: u16 length and the bytes.
inline TTag Text(std::uint8_t id, std::string_view text, bool compact = false)
{
    return {0x02, Id(id), compact, LittleEndian(text.size(), 2) + std::string(text)};
}
// Types 0x11..0x20: a text of 1 to 16 bytes whose length is in the type.
inline TTag FixedText(std::uint8_t id, std::string_view text, bool compact = true)
{
    return {static_cast<std::uint8_t>(0x10 + text.size()), Id(id), compact, std::string(text)};
}
// Integers of 8 (0x09), 16 (0x08), 32 (0x03) or 64 (0x0B) bits.
inline TTag Integer(std::uint8_t id, std::uint64_t value, int bits = 32, bool compact = false)
{
    const std::uint8_t type = bits == 8 ? 0x09 : bits == 16 ? 0x08 : bits == 64 ? 0x0B : 0x03;
    return {type, Id(id), compact, LittleEndian(value, bits / 8)};
}
// A gap tag: a two-byte name and a 32-bit offset.
inline TTag Gap(char kind, char index, std::uint32_t offset)
{
    return {0x03, std::string{kind, index}, false, LittleEndian(offset, 4)};
}
// A gap tag of any number, its offset as a 32- or 64-bit integer.
inline TTag Gap(char kind, std::string_view number, std::uint64_t offset, int bits = 32)
{
    return {static_cast<std::uint8_t>(bits == 64 ? 0x0B : 0x03), std::string(1, kind) + std::string(number), false,
            LittleEndian(offset, bits / 8)};
}
inline constexpr char GapStart = '\x09', GapEnd = '\x0A';

// Values of every type the reader skips, each with content that would read as
// a tag if the reader lost its place.
inline std::vector<TTag> EverySkippedType(std::uint8_t id, bool compact)
{
    // A whole size tag (0x03, name length 1, ID 0x02, 0x12345678).
    const std::string tagLike("\x03\x01\x00\x02\x78\x56\x34\x12", 8);
    return {
        {0x01, Id(id), compact, tagLike + tagLike},                          // hash, 16 bytes
        {0x04, Id(id), compact, tagLike.substr(0, 4)},                       // float
        {0x05, Id(id), compact, std::string(1, '\x03')},                     // bool
        {0x06, Id(id), compact, LittleEndian(9, 2) + tagLike.substr(0, 2)},  // 9 bits: 2 bytes
        {0x07, Id(id), compact, LittleEndian(8, 4) + tagLike},               // blob
        {0x0A, Id(id), compact, LittleEndian(8, 1) + tagLike},               // short blob
    };
}

class TBuilder final
{
public:
    explicit TBuilder(std::uint8_t leadingByte = 0xE0, const THash &hash = SampleHash)
        : m_leadingByte(leadingByte)
        , m_hash(hash)
    {
    }

    // count part hashes of made-up bytes.
    TBuilder &Records(std::uint16_t count)
    {
        m_records = count;
        m_partHashes.clear();
        return *this;
    }
    // These part hashes, under a declared count (their number when none).
    TBuilder &PartHashes(const std::vector<std::string_view> &hex, int declared = -1)
    {
        m_partHashes.clear();
        for (const std::string_view h : hex)
            m_partHashes.push_back(HashFromHex(h));
        m_records = static_cast<std::uint16_t>(declared < 0 ? hex.size() : declared);
        return *this;
    }
    TBuilder &Add(TTag tag)
    {
        m_tags.push_back(std::move(tag));
        return *this;
    }
    TBuilder &Add(const std::vector<TTag> &tags)
    {
        m_tags.insert(m_tags.end(), tags.begin(), tags.end());
        return *this;
    }
    // Raw bytes after the last tag (an unknown tag type, stray data).
    TBuilder &Trailer(std::string bytes)
    {
        m_trailer = std::move(bytes);
        return *this;
    }
    // Declares a tag count other than the number of tags added.
    TBuilder &DeclaredTagCount(std::uint32_t count)
    {
        m_declaredTags = count;
        m_declareTags = true;
        return *this;
    }

    std::string Bytes() const
    {
        std::string bytes(1, static_cast<char>(m_leadingByte));
        bytes += LittleEndian(0x5E1F00D5, 4); // the not interpreted date field
        bytes.append(m_hash.begin(), m_hash.end());
        bytes += LittleEndian(m_records, 2);
        for (const THash &hash : m_partHashes)
            bytes.append(hash.begin(), hash.end());
        for (std::uint16_t r = 0; m_partHashes.empty() && r < m_records; ++r)
            for (int i = 0; i < 16; ++i)
                bytes.push_back(static_cast<char>(0x40 + (r * 16 + i) % 0x3F));
        bytes += LittleEndian(m_declareTags ? m_declaredTags : m_tags.size(), 4);
        for (const TTag &tag : m_tags)
            bytes += tag.Bytes();
        return bytes + m_trailer;
    }

    // Where each tag ends in Bytes(): tag k is whole in a prefix of at least
    // TagEnds()[k] bytes.
    std::vector<std::size_t> TagEnds() const
    {
        const std::size_t hashes = m_partHashes.empty() ? m_records : m_partHashes.size();
        std::size_t end = 1 + 4 + 16 + 2 + 16 * hashes + 4;
        std::vector<std::size_t> ends;
        for (const TTag &tag : m_tags)
            ends.push_back(end += tag.Bytes().size());
        return ends;
    }

private:
    std::uint8_t m_leadingByte;
    THash m_hash;
    std::uint16_t m_records = 0;
    std::vector<THash> m_partHashes;
    std::vector<TTag> m_tags;
    std::string m_trailer;
    std::uint32_t m_declaredTags = 0;
    bool m_declareTags = false;
};

// Tag IDs of the rows an entry keeps.
inline constexpr std::uint8_t FileName = 0x01, FileSize = 0x02, FileType = 0x03, FileFormat = 0x04,
                              Transferred = 0x08, TempFileName = 0x12, Priority = 0x13, Status = 0x14,
                              AichHash = 0x27;

// The download of a file of zeros as a current client records it: its hash,
// part hashes, size and AICH root (a text of 32 base-32 digits).
inline TBuilder ZeroFileDownload(const TZeroFile &file)
{
    TBuilder b(0xE0, HashFromHex(file.ed2k));
    b.PartHashes(file.parts)
        .Add(Text(FileName, "zeros.bin"))
        .Add(Integer(FileSize, file.size))
        .Add(Text(AichHash, file.aich))
        .Add(Integer(Priority, 5));
    return b;
}

// A descriptor in the old form: length-prefixed one-byte names, 32-bit integers;
// no part hashes, as a client writes before it has learnt them.
inline TBuilder OldForm()
{
    TBuilder b(0xE0);
    b.Add(Text(FileName, "holiday.avi"))
        .Add(Integer(FileSize, 734003200))
        .Add(Text(FileType, "Video"))
        .Add(Text(FileFormat, "avi"))
        .Add(Integer(Transferred, 1048576))
        .Add(Text(TempFileName, "001.part"))
        .Add(Integer(Priority, 2))
        .Add(Integer(Status, 1))
        .Add(Gap('\x09', '0', 1048576))
        .Add(Gap('\x0A', '0', 734003200));
    return b;
}

// A large-file descriptor as a current client writes it: leading byte 0xE2,
// 64-bit size and transferred, compact names, the name twice (once with a
// byte-order mark), fixed-length texts, and values of every skipped type.
inline TBuilder ModernLarge()
{
    TBuilder b(0xE2);
    b.Add(Text(FileName, "\xEF\xBB\xBF" "old name.iso", true))
        .Add(Integer(FileSize, 5368709120, 64, true))
        .Add(EverySkippedType(0x55, true))
        .Add(Text(FileName, "\xEF\xBB\xBF" "debian-12.iso", true))
        .Add(Integer(Transferred, 4294967295, 64, true))
        .Add(FixedText(TempFileName, "007.part"))
        .Add(FixedText(FileType, "Iso"))
        .Add(Integer(Priority, 1, 8, true))
        .Add(Integer(Status, 0, 16, true))
        .Add(EverySkippedType(0x66, false))
        .Add(Gap('\x09', '1', 1))
        .Add(Text(FileFormat, "iso", false));
    return b;
}

} // namespace partmet
