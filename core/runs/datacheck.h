#pragma once

// The check of an unfinished download's data: the data file beside its
// .part.met descriptor ("NNN.part" for "NNN.part.met") hashed chunk by chunk,
// each complete chunk against the part hash that the descriptor records. The
// complete chunks are hashed side by side in the chunk lanes, so a check
// takes as long as hashing the same bytes.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "digests/lanes.h"
#include "entries/partmet.h"

enum class TChunkVerdict : std::uint8_t
{
    // Complete, and its MD4 is the recorded part hash.
    Good,
    // Complete, and its MD4 differs.
    Corrupt,
    // A byte of it lies in a gap, or beyond the end of the data file.
    Missing,
};

// "good", "corrupt" or "missing".
const char *ChunkVerdictText(TChunkVerdict verdict);

struct TDataCheck
{
    // The descriptor checked and its data file.
    std::string DescriptorPath;
    std::string DataPath;
    // The download's size, as the descriptor records it.
    std::int64_t Size = 0;
    // One verdict per chunk of data (9,728,000 bytes, the last one shorter),
    // in order: a size of whole chunks has no entry for the empty chunk that
    // ends its list of part hashes.
    std::vector<TChunkVerdict> Chunks;
    std::int64_t Good = 0;
    std::int64_t Corrupt = 0;
    std::int64_t Missing = 0;
    // The bytes of the size that lie in no gap and that the data file holds.
    std::int64_t BytesComplete = 0;
    // The recorded part hashes are those of the recorded file hash: their MD4
    // is it (for a file of one chunk, the one part hash, or none, is it), and
    // a size of whole chunks ends in the digest of nothing. None when the
    // descriptor could not be read that far, or records no part hashes for a
    // file of several chunks.
    std::optional<bool> HashesAgree;
    // Why the data could not be checked; empty when it was. Chunks and the
    // counts are then empty.
    std::string Error;

    // Checked, no complete chunk corrupt, and the part hashes agree.
    bool Passed() const { return Error.empty() && Corrupt == 0 && HashesAgree.value_or(false); }
};

struct TDataCheckOptions
{
    // Threads that hash the chunks (1 or 2).
    unsigned Threads = 1;
    TLaneEngine Engine = LaneEngine();
    // Once set, the check ends with the error "stopped" at its next block.
    const std::atomic<bool> *Stop = nullptr;
    // Before the chunks are hashed: how many will be (the complete ones).
    std::function<void(std::int64_t total)> OnStart;
    // After each complete chunk is hashed: how many are, in order, so far.
    std::function<void(std::int64_t done)> OnChunk;
};

// The data file of a descriptor: its path without ".met"; empty when the path
// does not end in ".met".
std::string DataFileOf(const std::string &descriptorPath);

// The verdicts that need no hashing: a chunk is missing where a byte of it
// lies in a gap or at or past dataLength; the others are left Good, to be
// hashed. Gaps as GapsOf gives them.
std::vector<TChunkVerdict> PresentChunks(std::int64_t size, const std::vector<TPartMetGap> &gaps,
                                         std::int64_t dataLength, std::int64_t &bytesComplete);

// Reads the descriptor at descriptorPath and checks its data file.
TDataCheck CheckPartData(const std::string &descriptorPath, const TDataCheckOptions &options = {});
