#pragma once

// Many files hashed side by side in the lane engines: each round reads the
// next block of every file in the lanes into one buffer, then each file's
// bytes go to its own MD5 lane, its current chunk to an MD4 lane and its
// current AICH block to a SHA-1 lane. A file that ends leaves its lanes to
// the next one.

#include <cstddef>

#include "runs/runentry.h"
#include "runs/runoptions.h"

// Where the entries of a lane run come from, and where they go back.
class TLaneSource
{
public:
    // The next entry to hash, or nullptr when none is to be had now; `free`
    // lanes are free, this one included. Once the lanes are empty, nullptr
    // ends the run.
    virtual TRunEntry *Next(std::size_t free) = 0;
    // Once for every entry Next gave, as soon as its run has ended (published,
    // or failed with the reason), in the order the files finish. Must not throw.
    virtual void Done(TRunEntry &entry) = 0;
    // A file cannot be opened for want of handles while no file is in these
    // lanes: waits until some other run has closed one and returns true, or
    // returns false at once when no other run holds any (the file then fails).
    virtual bool WaitForHandles() { return false; }

protected:
    ~TLaneSource() = default;
};

// Hashes the entries source gives, each with its own selection of kinds, up
// to options.MaxFiles (or as many as there are lanes) at once. An entry with
// nothing to hash, or whose file cannot be opened, ends at once. A file that
// finds no handle, or no memory, to enter the lanes beside the files in them
// waits until some (handles) or all of them (memory) have ended, and fails
// alone only if it still cannot. Whatever a round throws fails the files in
// the lanes at that moment, which are then hashed again one at a time, so
// that only a file that cannot be hashed even alone fails. Once options.Stop
// is set, the files in the lanes end failed ("stopped") at the next round and
// the run returns. Throws only while setting up, before Next is first called.
void HashEntriesInLanes(TLaneSource &source, const TLaneHashOptions &options = {});
