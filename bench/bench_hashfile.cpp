// Whole hashing runs of TDonkeyFile over one file, by read block size and
// layout (both digests on one thread, or MD4 and MD5 side by side):
//
//   BRACKWELL_BENCH_FILE=/path/to/big.bin brackwell_bench --benchmark_filter=HashFile
//
// Without BRACKWELL_BENCH_FILE the cases are skipped. Warm the file into the
// page cache first to measure the hashing rather than the disk.
#include "entries/donkeyfile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

void BM_HashFile(benchmark::State &state, bool parallel)
{
    const char *path = std::getenv("BRACKWELL_BENCH_FILE");
    if (!path) {
        state.SkipWithError("BRACKWELL_BENCH_FILE is not set");
        return;
    }
    std::int64_t bytes = 0;
    for (auto _ : state) {
        TDonkeyFile entry(path, hsAll);
        entry.HashOptions.ReadBlockSize = static_cast<std::size_t>(state.range(0));
        entry.HashOptions.Parallel = parallel;
        entry.HashOptions.ParallelThreshold = 0;
        entry.HashFile();
        if (!entry.Failure().empty() || entry.OpenFailed()) {
            state.SkipWithError("the file did not hash");
            return;
        }
        bytes += entry.Size();
    }
    state.SetBytesProcessed(bytes);
}

void Sizes(benchmark::internal::Benchmark *b)
{
    for (const int size : {32 << 10, 64 << 10, 128 << 10, 256 << 10, 1 << 20})
        b->Arg(size);
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK_CAPTURE(BM_HashFile, Sequential, false)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_HashFile, Parallel, true)->Apply(Sizes);

} // namespace
