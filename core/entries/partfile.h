#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "digests/aich.h"
#include "entries/donkeyfile.h"

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
    // The tag list was ended by a value type the reader does not know.
    bool UnknownType = false;

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
// counts as the end).
using TPartMetSource = std::function<std::int64_t(void *buffer, std::size_t count)>;

// Reads a descriptor front to back. It stops at the end of the data, holds at
// most one 64 KiB buffer plus the texts it keeps, and sizes nothing from a
// count found in the data, so any input of any length is safe.
TPartMetContents ReadPartMet(const TPartMetSource &source);

// An entry read from the .part.met descriptor of an unfinished download: the
// hash, name, size and download state that the descriptor records. Nothing is
// hashed; the FileSpree hash is never available. A file that is no descriptor
// (an unknown leading byte, or an end before the part-hash count) fails like
// an unreadable file; a descriptor cut inside its part hashes or tags keeps
// what was read whole and says so in Warning().
//
// Asked for hsAich or hsPartHashes, the entry shows the AICH root and the part
// hashes where the descriptor records them, as a hashed file shows its own; the
// part hashes only when they agree with the file hash and the size (else a
// warning says why they are left out). Where the descriptor records none, its
// snapshot leaves the kind out of HashSelection, so that it reads "N/A".
class TPartFile final : public TDonkeyFile
{
public:
    // extras: hsAich and hsPartHashes are taken; the eDonkey2000 hash always is.
    explicit TPartFile(const std::string &path, THashSelection extras = 0);

    std::uint64_t Transferred() const;
    std::string TempFileName() const;
    std::string FileType() const;
    std::string FileFormat() const;
    std::uint32_t Priority() const;
    std::uint32_t Status() const;

    std::string PriorityText() const;
    std::string StatusText() const;

    TEntrySnapshot Snapshot() const override;
    bool HashesContent() const override { return false; }

protected:
    void ComputeHashes() override;

private:
    // Takes the download state and the extra kinds that a reading found; the
    // caller holds Lock().
    void StoreFields(const TPartMetContents &contents, THashSelection recorded);

    // Guarded by Lock(); each is replaced whole by a reading.
    std::uint64_t m_transferred = 0;
    std::string m_tempFileName;
    std::string m_fileType;
    std::string m_fileFormat;
    std::uint32_t m_priority = 0;
    std::uint32_t m_status = 0;
    // The extra kinds the last reading found (hsAich, hsPartHashes).
    THashSelection m_recorded = 0;
};

// True for a path that names a download descriptor (it ends in ".part.met").
bool IsPartMetPath(const std::string &path);
