#pragma once

// The run of one file: BeginRun, its chunks in order, EndRun (runs/runentry.h).
//
// Which way it goes depends on what is selected and on the cores free:
//  - eDonkey2000 alone: the chunks are independent MD4 streams, hashed side by
//    side in the lane engines (runs/chunklanes.h), on two threads when a core
//    is free;
//  - MD5 with MD4 or the AICH tree, on a file of at least ParallelThreshold
//    bytes and a free core: MD5 on this thread, the rest on a reading thread
//    beside it (runs/twothreads.h);
//  - otherwise one pass on this thread, every digest fed from the same block.

#include "runs/runentry.h"
#include "runs/runoptions.h"

// Hashes entry's file. The progress steps (ChunkDone) run in this thread. An
// exception (from a progress handler, or memory) ends the entry's run failed
// and goes on to the caller.
void HashOneFile(TRunEntry &entry, const THashOptions &options);
