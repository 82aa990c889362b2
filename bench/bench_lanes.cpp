// Throughput of the lane engines: N streams of 8 MiB each, compressed side by
// side through TLaneManager, on every engine the CPU has. Compare with
// DigestCompress/MD4/1MiB and DigestCompress/MD5/1MiB, one stream at a time.
//
//   brackwell_bench --benchmark_filter='Lanes|DigestCompress'

#include "MessageDigests.h"
#include "lanes.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kStreamBytes = std::size_t{8} << 20;
constexpr int kMostStreams = 32;

// Distinct memory for every stream, so the figures include reading it.
const std::vector<std::uint8_t> &Streams()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> data(kStreamBytes * kMostStreams);
        std::uint64_t x = 0x2545f4914f6cdd1dU;
        for (std::size_t i = 0; i + 8 <= data.size(); i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            for (int b = 0; b < 8; ++b)
                data[i + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(x >> (8 * b));
        }
        return data;
    }();
    return bytes;
}

void BM_Lanes(benchmark::State &state, TLaneAlgorithm algorithm, TLaneEngine engine)
{
    if (!LaneEngineAvailable(engine)) {
        state.SkipWithError("engine not available on this CPU");
        return;
    }
    const int streams = static_cast<int>(state.range(0));
    const std::uint8_t *data = Streams().data();
    std::vector<TLaneJob> jobs(static_cast<std::size_t>(streams));
    for (auto _ : state) {
        TLaneManager manager(algorithm, engine);
        for (int i = 0; i < streams; ++i) {
            TLaneJob &job = jobs[static_cast<std::size_t>(i)];
            job.State[0] = 0x67452301;
            job.Blocks = data + kStreamBytes * static_cast<std::size_t>(i);
            job.BlockCount = kStreamBytes / 64;
            manager.Submit(&job);
        }
        while (manager.Flush() != nullptr) {
        }
        benchmark::DoNotOptimize(jobs.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * streams
                            * static_cast<std::int64_t>(kStreamBytes));
}

const bool kLaneBenchmarksRegistered = [] {
    const TLaneEngine engines[] = {TLaneEngine::Avx512, TLaneEngine::Avx2, TLaneEngine::Scalar};
    for (const TLaneEngine engine : engines) {
        for (const TLaneAlgorithm algorithm : {TLaneAlgorithm::MD4, TLaneAlgorithm::MD5}) {
            const std::string name = std::string("Lanes/") + (algorithm == TLaneAlgorithm::MD5 ? "MD5/" : "MD4/")
                + LaneEngineName(engine) + "/8MiB-streams";
            benchmark::RegisterBenchmark(name.c_str(), [algorithm, engine](benchmark::State &state) {
                BM_Lanes(state, algorithm, engine);
            })->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

} // namespace
