#pragma once

// One file with eDonkey2000 alone: its chunks are independent MD4 streams, so
// groups of chunks are hashed side by side, each chunk in a lane of its own,
// read at the chunks' offsets (never moving the file's position), on one or
// two threads.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "runs/runoptions.h"

class TReadOnlyFile;

// The chunk digests of a file of size bytes, on `threads` threads (1 or 2):
// chunkDigests receives 16 bytes for each of its DonkeyChunkCount(size)
// chunks. onChunk(k) runs in the calling thread once for each chunk k
// (1-based), in chunk order, as soon as chunks 1..k are done. Returns why the
// file could not be read ("stopped" once options.Stop is set, checked every
// block), or empty.
std::string HashChunksInLanes(const TReadOnlyFile &file, std::int64_t size, std::uint8_t *chunkDigests,
                              unsigned threads, const std::function<void(std::int32_t)> &onChunk,
                              const TLaneHashOptions &options = {});

// As HashChunksInLanes, for the chunks `chosen` of the file alone (numbers
// from 1, ascending, each within the size): chunkDigests receives 16 bytes
// for each, in the order given, and onChunk(i) runs once the first i of them
// are done.
std::string HashChosenChunksInLanes(const TReadOnlyFile &file, std::int64_t size,
                                    std::span<const std::int64_t> chosen, std::uint8_t *chunkDigests,
                                    unsigned threads, const std::function<void(std::int32_t)> &onChunk,
                                    const TLaneHashOptions &options = {});
