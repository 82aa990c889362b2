#pragma once

// Files hashed side by side in the lane engines.
//
// Many files: each file's bytes go to its own MD5 lane, its current chunk to
// an MD4 lane and its current AICH block to a SHA-1 lane, read a block at a
// time from as many files at once as there are lanes. One file with eDonkey2000 alone: its chunks are independent MD4
// streams, so several chunks are hashed at once, each in a lane of its own.

#include "entries/donkeyfile.h"
#include "digests/lanes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct TLaneHashOptions
{
    // Bytes read from a file at a time, in whole 64-byte blocks, never across
    // a chunk. Many files read at least 256 KiB a time, so that a read costs
    // little beside what it brings.
    std::size_t ReadBlockSize = 256 * 1024;
    // Engine of the lanes; the default is the best the CPU has.
    TLaneEngine Engine = LaneEngine();
    // Files kept in the lanes at once; 0: as many as there are lanes.
    std::size_t MaxFiles = 0;
    // Once set, the files in the lanes end failed ("stopped") and no more are
    // taken; may be null.
    const std::atomic<bool> *Stop = nullptr;
    // When set, a round runs its MD5 lanes on a second thread beside the MD4
    // lanes while one of these is free (the last large file of a run is not
    // left to one core); thread and token go back once the lanes are empty.
    std::shared_ptr<TCoreTokens> HelperTokens;
};

// Hashes entries side by side, each with its own selection of kinds (the AICH
// tree of an entry that selects it takes its blocks' SHA-1 from the lanes).
// next(mayWait) gives the next entry to hash, or nullptr when it has none just
// now; mayWait is true when no file is in the lanes, and then nullptr means
// there will be no more. done(entry) runs once for every entry next gave, as
// soon as its run has ended (published, or failed with the reason), in the
// order the files finish. An entry whose file cannot be opened ends at once.
// Whatever a run throws fails the files in the lanes at that moment, and the
// run goes on with the next ones; a file short of memory to enter the lanes
// waits until they are empty, and fails alone if it still cannot. Throws only
// while setting up, before next is first called.
void HashEntriesInLanes(const std::function<TDonkeyFile *(bool mayWait)> &next,
                        const std::function<void(TDonkeyFile &)> &done, const TLaneHashOptions &options = {});

// The chunk digests of one file of size bytes, read from file at its offsets
// (never moving its position), on `threads` threads (1 or 2): chunkDigests
// receives 16 bytes for each of the size / DonkeyChunkSize + 1 chunks.
// onChunk(k) runs in the calling thread once for each chunk k (1-based), in
// chunk order, as soon as chunks 1..k are done. Returns why the file could
// not be read, or empty.
std::string HashChunksInLanes(const TReadOnlyFile &file, std::int64_t size, std::uint8_t *chunkDigests,
                              unsigned threads, const std::function<void(std::int32_t)> &onChunk,
                              const TLaneHashOptions &options = {});
