// Throughput of the lane engines: N streams of 8 MiB each, compressed side by
// side through TLaneManager, on every engine the CPU has. Compare with
// DigestCompress/MD4/1MiB and DigestCompress/MD5/1MiB, one stream at a time,
// and for SHA-1 with Lanes/SHA1/one-stream: the same streams one after
// another through TSHA1's compression (the SHA extensions where the CPU has
// them), which the lanes replace only where they are faster.
//
//   brackwell_bench --benchmark_filter='Lanes|DigestCompress'
//
// Whole files through the lanes beside TDonkeyFile, on one thread each (a
// TDonkeyFile run of both hashes takes a second thread for MD5):
//
//   BRACKWELL_BENCH_FILE=FILE brackwell_bench --benchmark_filter=LaneFile
//   BRACKWELL_BENCH_FOLDER=DIR brackwell_bench --benchmark_filter=LaneFolder
//
// the first hashes FILE's eDonkey2000 hash alone, the second both hashes of
// every file in DIR. Warm the files into the page cache first.

#include "digests/MessageDigests.h"
#include "runs/hashqueue.h"
#include "digests/lanes.h"
#include "digests/sha1.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

bool EngineOrSkip(benchmark::State &state, TLaneEngine engine)
{
    if (LaneEngineAvailable(engine))
        return true;
    state.SkipWithError("engine not available on this CPU");
    return false;
}

void BM_Lanes(benchmark::State &state, TLaneAlgorithm algorithm, TLaneEngine engine)
{
    if (!EngineOrSkip(state, engine))
        return;
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

// The same streams as BM_Lanes, one after another on one core.
void BM_Sha1OneStream(benchmark::State &state)
{
    const int streams = static_cast<int>(state.range(0));
    const std::uint8_t *data = Streams().data();
    for (auto _ : state) {
        for (int i = 0; i < streams; ++i) {
            std::uint32_t words[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
            SHA1CompressBlocks(words, data + kStreamBytes * static_cast<std::size_t>(i), kStreamBytes / 64);
            benchmark::DoNotOptimize(words);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * streams
                            * static_cast<std::int64_t>(kStreamBytes));
    state.SetLabel(SHA1Engine() == TSHA1Engine::ShaExtensions ? "SHA extensions" : "portable");
}
BENCHMARK(BM_Sha1OneStream)->Name("Lanes/SHA1/one-stream/8MiB-streams")->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);

const char *AlgorithmName(TLaneAlgorithm algorithm)
{
    switch (algorithm) {
    case TLaneAlgorithm::MD4:
        return "MD4";
    case TLaneAlgorithm::MD5:
        return "MD5";
    case TLaneAlgorithm::SHA1:
        break;
    }
    return "SHA1";
}

const bool kLaneBenchmarksRegistered = [] {
    const TLaneEngine engines[] = {TLaneEngine::Avx512, TLaneEngine::Avx2, TLaneEngine::Scalar};
    for (const TLaneEngine engine : engines) {
        for (const TLaneAlgorithm algorithm : {TLaneAlgorithm::MD4, TLaneAlgorithm::MD5, TLaneAlgorithm::SHA1}) {
            const std::string name = std::string("Lanes/") + AlgorithmName(algorithm) + "/"
                + LaneEngineName(engine) + "/8MiB-streams";
            auto *benchmark = benchmark::RegisterBenchmark(name.c_str(), [algorithm, engine](benchmark::State &state) {
                BM_Lanes(state, algorithm, engine);
            });
            // How few busy lanes still beat the SHA extensions one stream at a time.
            if (algorithm == TLaneAlgorithm::SHA1)
                benchmark->Arg(4)->Arg(6);
            benchmark->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

// Engines by their number in the benchmark's argument: 0 = the one-stream
// code run as TDonkeyFile runs it, 1 = AVX2 lanes, 2 = AVX-512 lanes.
constexpr TLaneEngine kEngineByArg[] = {TLaneEngine::Scalar, TLaneEngine::Avx2, TLaneEngine::Avx512};

// The engine forced for one benchmark, the one before put back after it.
class TForcedEngine final
{
public:
    explicit TForcedEngine(TLaneEngine engine) : m_before(ForceLaneEngine(engine)) {}
    ~TForcedEngine() { ForceLaneEngine(m_before); }
    TForcedEngine(const TForcedEngine &) = delete;
    TForcedEngine &operator=(const TForcedEngine &) = delete;

private:
    TLaneEngine m_before;
};

// One file, eDonkey2000 alone, on one thread: chunk after chunk (argument 0)
// or chunks side by side in lanes.
void BM_LaneFile(benchmark::State &state, const std::string &path)
{
    const TLaneEngine engine = kEngineByArg[state.range(0)];
    if (!EngineOrSkip(state, engine))
        return;
    const TForcedEngine forced(engine);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        TDonkeyFile entry(path, hsDonkey);
        entry.HashOptions.Lanes = state.range(0) != 0;
        entry.HashOptions.Parallel = false;
        entry.HashFile();
        bytes += entry.Size();
        if (entry.DonkeyHash().size() != 32) {
            state.SkipWithError("the file did not hash");
            return;
        }
    }
    state.SetBytesProcessed(bytes);
}

// The files of a folder, both hashes, on one thread: file after file
// (argument 0) or side by side in lanes.
void BM_LaneFolder(benchmark::State &state, const std::vector<std::string> &paths)
{
    const TLaneEngine engine = kEngineByArg[state.range(0)];
    if (!EngineOrSkip(state, engine))
        return;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        THashQueueOptions options;
        options.Lanes = state.range(0) != 0;
        options.LaneOptions.Engine = engine;
        THashQueue queue(options);
        for (const std::string &path : paths) {
            queue.Add([&path] {
                THashQueueItem item;
                item.Entry = std::make_unique<TDonkeyFile>(path, hsAll);
                item.Entry->HashOptions.Parallel = false;
                return item;
            });
        }
        while (std::optional<THashedEntry> hashed = queue.Take())
            bytes += hashed->Entry->Size();
    }
    state.SetBytesProcessed(bytes);
}

const bool kLaneFileBenchmarksRegistered = [] {
    if (const char *path = std::getenv("BRACKWELL_BENCH_FILE"); path != nullptr && *path != '\0') {
        const std::string file(path);
        benchmark::RegisterBenchmark("LaneFile/Ed2k", [file](benchmark::State &state) { BM_LaneFile(state, file); })
            ->DenseRange(0, 2)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    if (const char *folder = std::getenv("BRACKWELL_BENCH_FOLDER"); folder != nullptr && *folder != '\0') {
        std::vector<std::string> paths;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            if (entry.is_regular_file())
                paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        benchmark::RegisterBenchmark("LaneFolder/Both",
                                     [paths](benchmark::State &state) { BM_LaneFolder(state, paths); })
            ->DenseRange(0, 2)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

} // namespace
