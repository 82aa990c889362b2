#pragma once

// Many files hashed together in the lane engines: each file's bytes go to its
// own MD5 lane and its current chunk to an MD4 lane, read in blocks from as
// many files at once as there are lanes. Results come back in the order the
// paths were given; memory stays bounded whatever the number of files.

#include "donkeyfile.h"
#include "lanes.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct TLaneFileResult
{
    // As TDonkeyFile gives them: eDonkey2000 upper case, FileSpree lower case;
    // empty when not selected or when the file failed.
    std::string DonkeyHash;
    std::string FileSpreeHash;
    std::int64_t Size = 0;
    // Why the file could not be hashed; empty when it was.
    std::string Failure;
};

struct TLaneHashOptions
{
    // Bytes read from a file at a time (whole 64-byte blocks, at least 256 KiB).
    std::size_t ReadBlockSize = 256 * 1024;
    // Engine of the lanes; the default is the best the CPU has.
    TLaneEngine Engine = LaneEngine();
    // With both hashes, run the MD5 lanes on a second thread beside the MD4
    // lanes. Off by default: on our shared 2-core machine it measured no
    // faster (64 files of 8 MiB: 0.22 to 0.26 s, against 0.21 to 0.23 s).
    bool Parallel = false;
};

// Calls onResult(index, result) once per path, in index order.
void HashFilesInLanes(const std::vector<std::string> &paths, THashSelection selection,
                      const std::function<void(std::size_t, const TLaneFileResult &)> &onResult,
                      const TLaneHashOptions &options = {});

// One file, eDonkey2000 alone: its chunks are independent MD4 streams, hashed
// side by side in lanes. onChunk(chunk) runs once per chunk (1-based), in
// chunk order, as groups of chunks finish.
TLaneFileResult HashChunksInLanes(const std::string &path, const std::function<void(std::int32_t)> &onChunk,
                                  const TLaneHashOptions &options = {});
