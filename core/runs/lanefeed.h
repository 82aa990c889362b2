#pragma once

// Small steps shared by the lane runs (runs/chunklanes.h, runs/filelanes.h).

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "digests/ed2k.h"
#include "digests/lanes.h"

// Submits a feed's job if it has blocks; finishes whatever job comes back.
inline void Feed(TLaneManager &manager, TLaneFeed &feed, const std::uint8_t *data, std::size_t count)
{
    if (!feed.Start(data, count))
        return;
    if (TLaneJob *done = manager.Submit(&feed.Job()))
        static_cast<TLaneFeed *>(done->UserData)->Finish();
}

// Runs the lanes until every job has come back, and finishes each.
inline void Drain(TLaneManager &manager)
{
    while (TLaneJob *done = manager.Flush())
        static_cast<TLaneFeed *>(done->UserData)->Finish();
}

// Whole 64-byte blocks, at least `smallest`, never more than a chunk: a
// chunk's MD4 lane gets whole blocks until the chunk's last piece.
inline std::size_t LaneReadBlock(std::size_t requested, std::size_t smallest)
{
    return std::min<std::size_t>(std::max(requested, smallest) / 64 * 64, DonkeyChunkSize);
}
