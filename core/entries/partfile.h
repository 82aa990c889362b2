#pragma once

#include <cstdint>
#include <string>

#include "entries/donkeyfile.h"
#include "entries/partmet.h"

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

// Why what a reading found is no descriptor at all (the file is empty, starts
// with another byte, or ends before its part-hash count); empty when it is one.
// A read error is the source's own to tell.
std::string NotDescriptorReason(const TPartMetContents &contents);

// True for a path that names a download descriptor (it ends in ".part.met").
bool IsPartMetPath(const std::string &path);
