#include "entries/partmet.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "digests/MessageDigests.h"

// The layout of a .part.met descriptor, as measured on descriptors that clients
// wrote, old and current. Integers are little-endian and are assembled byte by
// byte, so the host's byte order does not matter.
//
//   offset 0   1 byte     leading byte: 0xE0, 0xE1, or 0xE2 for large files
//   offset 1   4 bytes    not interpreted
//   offset 5   16 bytes   eDonkey2000 hash of the complete file
//   offset 21  u16        part-hash count N, then N part hashes of 16 bytes:
//                         the MD4 of each chunk, whose MD4 is the file hash
//                         (0 while the client does not know them, and for a
//                         file of one chunk)
//   then       u32        tag count T, then T tags
//
// A tag is a type byte, a name and a value. Without bit 0x80 in the type byte the
// name is a u16 length and that many bytes; with it, the name is one ID byte.
// A one-byte name is an ID; every other name (the two-byte gap tags among them)
// identifies nothing the reader keeps.
namespace {

constexpr std::size_t ReadPieceSize = 64 * 1024;
constexpr std::uint8_t CompactNameFlag = 0x80;

// Value types, the compact-name bit stripped.
enum TTagType : std::uint8_t {
    ttHash = 0x01,      // 16 bytes
    ttText = 0x02,      // u16 length, bytes
    ttUInt32 = 0x03,
    ttFloat = 0x04,     // 4 bytes
    ttBool = 0x05,      // 1 byte
    ttBoolArray = 0x06, // u16 bit count, (count + 7) / 8 bytes
    ttBlob = 0x07,      // u32 length, bytes
    ttUInt16 = 0x08,
    ttUInt8 = 0x09,
    ttShortBlob = 0x0A, // u8 length, bytes
    ttUInt64 = 0x0B,
    ttText1 = 0x11,     // 0x11..0x20: text of (type - 0x10) bytes
    ttText16 = 0x20,
};

// Tag IDs the entry keeps.
enum TTagId : std::uint8_t {
    tiFileName = 0x01,
    tiFileSize = 0x02,
    tiFileType = 0x03,
    tiFileFormat = 0x04,
    tiTransferred = 0x08,
    tiTempFileName = 0x12,
    tiPriority = 0x13,
    tiStatus = 0x14,
    tiAichHash = 0x27, // text: the AICH root in 32 base-32 digits
};

// A forward-only view of the descriptor through one fixed buffer. Every read
// either gets all the bytes it asks for or reports the end; after the end,
// the source is not asked again.
class TByteReader final
{
public:
    explicit TByteReader(const TPartMetSource &source)
        : m_source(source)
        , m_buffer(ReadPieceSize)
    {
    }

    bool Skip(std::uint64_t count)
    {
        while (count > 0) {
            if (!Available())
                return false;
            const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_end - m_pos));
            m_pos += step;
            count -= step;
        }
        return true;
    }

    bool Bytes(std::uint8_t *out, std::size_t count)
    {
        while (count > 0) {
            if (!Available())
                return false;
            const std::size_t step = std::min(count, m_end - m_pos);
            std::copy_n(m_buffer.data() + m_pos, step, out);
            m_pos += step;
            out += step;
            count -= step;
        }
        return true;
    }

    // Appends count bytes to text. The text grows only by bytes that arrived.
    bool AppendTo(std::string &text, std::size_t count)
    {
        while (count > 0) {
            if (!Available())
                return false;
            const std::size_t step = std::min(count, m_end - m_pos);
            text.append(reinterpret_cast<const char *>(m_buffer.data() + m_pos), step);
            m_pos += step;
            count -= step;
        }
        return true;
    }

    // A little-endian unsigned integer of width bytes (1 to 8).
    bool UInt(std::size_t width, std::uint64_t &value)
    {
        std::uint8_t bytes[8];
        if (!Bytes(bytes, width))
            return false;
        value = 0;
        for (std::size_t i = width; i-- > 0;)
            value = (value << 8) | bytes[i];
        return true;
    }

private:
    // True when at least one byte is buffered, refilling the buffer if needed.
    bool Available()
    {
        if (m_pos < m_end)
            return true;
        if (m_ended)
            return false;
        const std::int64_t got = m_source ? m_source(m_buffer.data(), m_buffer.size()) : 0;
        if (got <= 0) {
            m_ended = true;
            m_failed = got < 0;
            return false;
        }
        m_pos = 0;
        m_end = std::min(static_cast<std::size_t>(got), m_buffer.size());
        return true;
    }

    const TPartMetSource &m_source;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_ended = false;
    bool m_failed = false;

public:
    // The data ended with a read error.
    bool Failed() const { return m_failed; }
};

// A text value as the entry keeps it: a leading UTF-8 byte-order mark dropped,
// cut at the first NUL byte.
std::string CleanText(std::string text)
{
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (text.starts_with(bom))
        text.erase(0, bom.size());
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

bool IsKeptTextId(std::uint8_t id)
{
    return id == tiFileName || id == tiFileType || id == tiFileFormat || id == tiTempFileName || id == tiAichHash;
}

// RFC 4648 base 32 (either case, no padding) of exactly 20 bytes; none for
// any other text.
std::optional<TAichDigest> DecodeAichRoot(std::string_view text)
{
    TAichDigest root{};
    if (text.size() != 32)
        return std::nullopt;
    std::uint64_t bits = 0;
    int held = 0;
    std::size_t out = 0;
    for (const char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a';
        else if (c >= '2' && c <= '7')
            value = c - '2' + 26;
        if (value < 0)
            return std::nullopt;
        bits = (bits << 5) | static_cast<std::uint64_t>(value);
        held += 5;
        if (held >= 8) {
            held -= 8;
            root[out++] = static_cast<std::uint8_t>(bits >> held);
        }
    }
    return root;
}

void StoreText(TPartMetContents &contents, std::uint8_t id, std::string text)
{
    if (id == tiAichHash) {
        // A root that is not 32 base-32 digits is no root: it is left out,
        // and an earlier one stays.
        if (auto root = DecodeAichRoot(text))
            contents.AichRoot = root;
        return;
    }
    text = CleanText(std::move(text));
    switch (id) {
    case tiFileName: contents.Name = std::move(text); break;
    case tiFileType: contents.FileType = std::move(text); break;
    case tiFileFormat: contents.FileFormat = std::move(text); break;
    case tiTempFileName: contents.TempFileName = std::move(text); break;
    default: break;
    }
}

void StoreInteger(TPartMetContents &contents, std::uint8_t id, std::uint64_t value)
{
    switch (id) {
    case tiFileSize: contents.Size = value; break;
    case tiTransferred: contents.Transferred = value; break;
    case tiPriority: contents.Priority = static_cast<std::uint32_t>(value); break;
    case tiStatus: contents.Status = static_cast<std::uint32_t>(value); break;
    default: break;
    }
}

enum class TTagResult { Read, Ended, UnknownType };

// Reads a descriptor front to back into contents; returns where it stopped.
void ReadInto(TByteReader &in, TPartMetContents &contents);

// Reads one tag whole and stores its value when it is one the entry keeps. A
// tag cut by the end of the data stores nothing.
TTagResult ReadTag(TByteReader &in, TPartMetContents &contents)
{
    std::uint64_t value = 0;
    if (!in.UInt(1, value))
        return TTagResult::Ended;
    const bool compactName = (value & CompactNameFlag) != 0;
    const auto type = static_cast<std::uint8_t>(value & ~CompactNameFlag);

    const bool textType = type == ttText || (type >= ttText1 && type <= ttText16);
    const bool knownType = textType || (type >= ttHash && type <= ttUInt64);
    if (!knownType) {
        contents.UnknownType = static_cast<std::uint8_t>(value);
        return TTagResult::UnknownType;
    }

    // The name: one ID byte, or a length and that many bytes.
    std::optional<std::uint8_t> id;
    if (compactName) {
        if (!in.UInt(1, value))
            return TTagResult::Ended;
        id = static_cast<std::uint8_t>(value);
    } else {
        std::uint64_t nameLength = 0;
        if (!in.UInt(2, nameLength))
            return TTagResult::Ended;
        if (nameLength == 1) {
            if (!in.UInt(1, value))
                return TTagResult::Ended;
            id = static_cast<std::uint8_t>(value);
        } else if (!in.Skip(nameLength)) {
            return TTagResult::Ended;
        }
    }

    if (textType) {
        std::uint64_t length = 0;
        if (type != ttText)
            length = type - (ttText1 - 1);
        else if (!in.UInt(2, length))
            return TTagResult::Ended;
        if (!id || !IsKeptTextId(*id))
            return in.Skip(length) ? TTagResult::Read : TTagResult::Ended;
        std::string text;
        if (!in.AppendTo(text, static_cast<std::size_t>(length)))
            return TTagResult::Ended;
        StoreText(contents, *id, std::move(text));
        return TTagResult::Read;
    }

    std::size_t integerWidth = 0;
    switch (type) {
    case ttUInt8: integerWidth = 1; break;
    case ttUInt16: integerWidth = 2; break;
    case ttUInt32: integerWidth = 4; break;
    case ttUInt64: integerWidth = 8; break;
    default: break;
    }
    if (integerWidth > 0) {
        if (!in.UInt(integerWidth, value))
            return TTagResult::Ended;
        if (id)
            StoreInteger(contents, *id, value);
        return TTagResult::Read;
    }

    // Values the entry does not keep, skipped by their real length.
    std::uint64_t skip = 0;
    switch (type) {
    case ttHash: skip = 16; break;
    case ttFloat: skip = 4; break;
    case ttBool: skip = 1; break;
    case ttBoolArray:
        if (!in.UInt(2, skip))
            return TTagResult::Ended;
        skip = (skip + 7) / 8;
        break;
    case ttBlob:
        if (!in.UInt(4, skip))
            return TTagResult::Ended;
        break;
    case ttShortBlob:
        if (!in.UInt(1, skip))
            return TTagResult::Ended;
        break;
    default: break;
    }
    return in.Skip(skip) ? TTagResult::Read : TTagResult::Ended;
}

} // namespace

bool IsDescriptorLeadingByte(std::uint8_t byte)
{
    return byte >= 0xE0 && byte <= 0xE2;
}

TPartMetContents ReadPartMet(const TPartMetSource &source)
{
    TPartMetContents contents;
    TByteReader in(source);
    ReadInto(in, contents);
    contents.ReadFailed = in.Failed();
    return contents;
}

namespace {

void ReadInto(TByteReader &in, TPartMetContents &contents)
{
    std::uint64_t leading = 0;
    if (!in.UInt(1, leading)) {
        contents.Truncated = true;
        return;
    }
    contents.LeadingByte = static_cast<std::uint8_t>(leading);
    // Whatever else the file is, it is no descriptor: read no further into it.
    if (!IsDescriptorLeadingByte(contents.LeadingByte))
        return;

    if (!in.Skip(4) || !in.Bytes(contents.Hash.data(), contents.Hash.size())) {
        contents.Hash = {};
        contents.Truncated = true;
        return;
    }
    contents.HashComplete = true;

    std::uint64_t partHashCount = 0;
    if (!in.UInt(2, partHashCount)) {
        contents.Truncated = true;
        return;
    }
    contents.PartHashCountRead = true;
    contents.PartHashCount = static_cast<std::uint16_t>(partHashCount);
    // The list grows by hashes that arrived, never by the count: at most
    // 65,535 of them, and only as many as the data holds.
    for (std::uint64_t i = 0; i < partHashCount; ++i) {
        std::array<std::uint8_t, 16> hash;
        if (!in.Bytes(hash.data(), hash.size())) {
            contents.Truncated = true;
            return;
        }
        contents.PartHashes.push_back(hash);
    }
    std::uint64_t tagCount = 0;
    if (!in.UInt(4, tagCount)) {
        contents.Truncated = true;
        return;
    }
    contents.TagCountRead = true;

    // Every tag takes at least one byte, so a count larger than the data ends
    // with the data.
    for (std::uint64_t i = 0; i < tagCount; ++i) {
        const TTagResult result = ReadTag(in, contents);
        if (result == TTagResult::Ended) {
            contents.Truncated = true;
            break;
        }
        if (result == TTagResult::UnknownType)
            break;
    }
}

} // namespace
