#pragma once

// The .part.met descriptor of an unfinished download, as clients write it:
// read front to back into what it records, whatever the input.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "digests/aich.h"

// What one reading of a .part.met descriptor found. A field whose tag was not
// read whole stays empty, so that a refresh keeps the value it had.
struct TPartMetContents
{
    // The first byte (0 when there was none). Descriptors carry 0xE0, 0xE1 or
    // 0xE2; with any other, nothing further is read.
    std::uint8_t LeadingByte = 0;
    // The 16-byte file hash was read whole.
    bool HashComplete = false;
    std::array<std::uint8_t, 16> Hash{};
    // The count of the part hashes (the MD4 of each chunk) that follow the file
    // hash was read, and the hashes read whole, in file order: as many as the
    // count says unless the data ended inside the list.
    bool PartHashCountRead = false;
    std::uint16_t PartHashCount = 0;
    std::vector<std::array<std::uint8_t, 16>> PartHashes;
    // The part hashes and the tag count were read whole.
    bool TagCountRead = false;
    // The data ended before the declared records and tags were read.
    bool Truncated = false;
    // The tag list was ended by a value type the reader does not know (its
    // type byte): the length of its value, and so where the next tag starts,
    // cannot be told.
    std::optional<std::uint8_t> UnknownType;
    // A read of the data failed (an I/O error): nothing after it was read,
    // and the source's own error says why.
    bool ReadFailed = false;

    std::optional<std::string> Name;
    std::optional<std::uint64_t> Size;
    std::optional<std::string> FileType;
    std::optional<std::string> FileFormat;
    std::optional<std::uint64_t> Transferred;
    std::optional<std::string> TempFileName;
    std::optional<std::uint32_t> Priority;
    std::optional<std::uint32_t> Status;
    // The AICH root, from a text tag 0x27 holding its 32 base-32 digits.
    std::optional<TAichDigest> AichRoot;

    bool operator==(const TPartMetContents &) const = default;
};

// True for a leading byte that real descriptors carry.
bool IsDescriptorLeadingByte(std::uint8_t byte);

// Fills up to count bytes at buffer from the next bytes of a descriptor; returns
// how many it gave, 0 at the end and a negative number on a read error (which
// ends the reading, with ReadFailed set).
using TPartMetSource = std::function<std::int64_t(void *buffer, std::size_t count)>;

// Reads a descriptor front to back. It stops at the end of the data, holds at
// most one 64 KiB buffer plus the texts it keeps, and sizes nothing from a
// count found in the data, so any input of any length is safe.
TPartMetContents ReadPartMet(const TPartMetSource &source);

