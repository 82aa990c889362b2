#include "entries/partfile.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

// The layout of a .part.met descriptor, as measured on descriptors that clients
// wrote, old and current. Integers are little-endian and are assembled byte by
// byte, so the host's byte order does not matter.
//
//   offset 0   1 byte     leading byte: 0xE0, 0xE1, or 0xE2 for large files
//   offset 1   4 bytes    not interpreted
//   offset 5   16 bytes   eDonkey2000 hash of the complete file
//   offset 21  u16        record count N, then N records of 16 bytes (part hashes)
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
    return id == tiFileName || id == tiFileType || id == tiFileFormat || id == tiTempFileName;
}

void StoreText(TPartMetContents &contents, std::uint8_t id, std::string text)
{
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
    if (!knownType)
        return TTagResult::UnknownType;

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
        StoreText(contents, *id, CleanText(std::move(text)));
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

    std::uint64_t leading = 0;
    if (!in.UInt(1, leading)) {
        contents.Truncated = true;
        return contents;
    }
    contents.LeadingByte = static_cast<std::uint8_t>(leading);
    // Whatever else the file is, it is no descriptor: read no further into it.
    if (!IsDescriptorLeadingByte(contents.LeadingByte))
        return contents;

    if (!in.Skip(4) || !in.Bytes(contents.Hash.data(), contents.Hash.size())) {
        contents.Hash = {};
        contents.Truncated = true;
        return contents;
    }
    contents.HashComplete = true;

    std::uint64_t recordCount = 0;
    std::uint64_t tagCount = 0;
    if (!in.UInt(2, recordCount) || !in.Skip(16 * recordCount) || !in.UInt(4, tagCount)) {
        contents.Truncated = true;
        return contents;
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
        if (result == TTagResult::UnknownType) {
            contents.UnknownType = true;
            break;
        }
    }
    return contents;
}

TPartFile::TPartFile(const std::string &path)
    : TDonkeyFile(path, hsDonkey)
{
}

void TPartFile::ComputeHashes()
{
    TReadOnlyFile &file = File();
    const TPartMetContents contents = ReadPartMet(
        [&file](void *buffer, std::size_t count) { return file.Read(buffer, count); });

    if (!IsDescriptorLeadingByte(contents.LeadingByte) || !contents.TagCountRead) {
        std::string reason;
        if (contents.Truncated && contents.LeadingByte == 0)
            reason = "not a download descriptor: the file is empty";
        else if (!IsDescriptorLeadingByte(contents.LeadingByte))
            reason = "not a download descriptor: it starts with byte 0x"
                     + HexText(&contents.LeadingByte, 1, true) + ", not 0xE0, 0xE1 or 0xE2";
        else
            reason = "not a download descriptor: the file ends before its tag count";
        MarkFailed(std::move(reason));
        return;
    }

    TReadResult result;
    result.DonkeyHash = HexText(contents.Hash.data(), contents.Hash.size(), true);
    result.FileSpreeHash = UnknownText; // never computed for a descriptor
    result.Name = contents.Name;
    if (contents.Size) {
        // No real file comes near 2^63 bytes; a larger recorded size is taken
        // as the largest the entry can hold rather than as a negative one.
        constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        result.Size = static_cast<std::int64_t>(std::min(*contents.Size, largest));
    }
    if (contents.Truncated)
        result.Warning = "the descriptor is cut short inside its tags; only the tags read whole are kept";
    // Everything that was read appears at once, under one hold of the lock.
    Publish(std::move(result), [&] { StoreFields(contents); });
}

void TPartFile::StoreFields(const TPartMetContents &contents)
{
    if (contents.Transferred)
        m_transferred = *contents.Transferred;
    if (contents.TempFileName)
        m_tempFileName = *contents.TempFileName;
    if (contents.FileType)
        m_fileType = *contents.FileType;
    if (contents.FileFormat)
        m_fileFormat = *contents.FileFormat;
    if (contents.Priority)
        m_priority = *contents.Priority;
    if (contents.Status)
        m_status = *contents.Status;
}

std::uint64_t TPartFile::Transferred() const
{
    const std::lock_guard guard(Lock());
    return m_transferred;
}

std::string TPartFile::TempFileName() const
{
    const std::lock_guard guard(Lock());
    return m_tempFileName;
}

std::string TPartFile::FileType() const
{
    const std::lock_guard guard(Lock());
    return m_fileType;
}

std::string TPartFile::FileFormat() const
{
    const std::lock_guard guard(Lock());
    return m_fileFormat;
}

std::uint32_t TPartFile::Priority() const
{
    const std::lock_guard guard(Lock());
    return m_priority;
}

std::uint32_t TPartFile::Status() const
{
    const std::lock_guard guard(Lock());
    return m_status;
}

TEntrySnapshot TPartFile::Snapshot() const
{
    TEntrySnapshot snapshot;
    const std::lock_guard guard(Lock());
    FillSnapshot(snapshot);
    snapshot.IsPartFile = true;
    snapshot.Transferred = m_transferred;
    snapshot.TempFileName = m_tempFileName;
    snapshot.FileType = m_fileType;
    snapshot.FileFormat = m_fileFormat;
    snapshot.Priority = m_priority;
    snapshot.Status = m_status;
    return snapshot;
}

std::string TPartFile::PriorityText() const
{
    switch (Priority()) {
    case 0: return "Low";
    case 1: return "Normal";
    case 2: return "High";
    default: return std::string(UnknownText);
    }
}

std::string TPartFile::StatusText() const
{
    switch (Status()) {
    case 0: return "Looking...";
    case 1: return "Paused";
    default: return std::string(UnknownText);
    }
}

bool IsPartMetPath(const std::string &path)
{
    return path.ends_with(".part.met");
}
