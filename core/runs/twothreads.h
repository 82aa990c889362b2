#pragma once

// One file with MD5 and MD4 (or the AICH tree): MD5 runs on the calling
// thread, while a reading thread beside it reads the file once, in blocks
// that never cross a chunk, and runs MD4 and the AICH tree's SHA-1 over them.
// The blocks go from one to the other through a ring of about 16 MiB, without
// a copy; each digest sees the same bytes in the same order, and the progress
// step of a chunk comes once both sides are done with it.

#include <atomic>
#include <cstddef>

#include "runs/runentry.h"

// Runs the file of start (begun by entry.BeginRun) to its EndRun. Returns
// false, having read nothing, when no second thread can be had. Checks stop
// before every block.
bool HashOnTwoThreads(TRunEntry &entry, const TRunStart &start, std::size_t readBlockSize,
                      const std::atomic<bool> *stop);
