#pragma once

// How hashing runs spread their work. The defaults are the fastest layout;
// tests vary them to show that the results never depend on it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "digests/lanes.h"

class TCoreTokens;

// A run of one file (runs/onefile.h).
struct THashOptions
{
    // Bytes per read; rounded down to whole 64-byte blocks, never crosses a chunk.
    std::size_t ReadBlockSize = 1024 * 1024;
    // Run MD4 and MD5 on two threads side by side when both are selected.
    bool Parallel = true;
    // Files shorter than this are hashed on one thread even when Parallel is set.
    std::int64_t ParallelThreshold = 4 * 1024 * 1024;
    // When set, the second thread needs a free token of these (see TCoreTokens).
    std::shared_ptr<TCoreTokens> HelperTokens;
    // With eDonkey2000 the only kind, hash several chunks at once in the lane
    // engines (and, under Parallel, on two threads).
    bool Lanes = true;
    // Once set, the run ends failed ("stopped") at its next block; may be null.
    const std::atomic<bool> *Stop = nullptr;
};

// The lane runs: many files side by side (runs/filelanes.h), the chunks of
// one file side by side (runs/chunklanes.h).
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
    // Once set, the files in the lanes end failed ("stopped") at the next
    // round and no more are taken; may be null.
    const std::atomic<bool> *Stop = nullptr;
    // When set, a round runs its MD5 lanes on a second thread beside the MD4
    // lanes while one of these is free (the last large file of a run is not
    // left to one core); thread and token go back once the lanes are empty.
    std::shared_ptr<TCoreTokens> HelperTokens;
};
