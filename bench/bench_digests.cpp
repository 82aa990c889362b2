// Throughput of the MD4 and MD5 digests.
//
//   brackwell_bench --benchmark_filter=Digest
//
// With BRACKWELL_BENCH_FILE=<path> set, the File/MD4, File/MD5 and File/Ed2k
// cases also digest that file with fread in pieces of 32 KiB to 1 MiB, as
// `md5sum` and `rhash --ed2k` read it; warm it into the page cache first to
// compare compression speed rather than the disk.

#include "digests/MessageDigests.h"
#include "digests/aich.h"
#include "digests/sha1.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
// eDonkey2000 chunk length.
constexpr std::uint64_t kEd2kChunkBytes = 9'728'000;

std::vector<std::uint8_t> RandomBytes(std::size_t count)
{
    std::mt19937 generator(20240601);
    std::vector<std::uint8_t> bytes(count);
    for (auto &byte : bytes)
        byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

// Transform of a 1 MiB buffer in one call: whole blocks straight from memory.
template <class Digest>
void BM_DigestBuffer(benchmark::State &state)
{
    const std::vector<std::uint8_t> data = RandomBytes(kBufferBytes);
    Digest digest;
    for (auto _ : state) {
        digest.Transform(data.data(), data.size());
        benchmark::ClobberMemory();
    }
    digest.Complete();
    benchmark::DoNotOptimize(digest.Digest().data());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DigestBuffer<TMD4>)->Name("DigestBuffer/MD4/1MiB");
BENCHMARK(BM_DigestBuffer<TMD5>)->Name("DigestBuffer/MD5/1MiB");
BENCHMARK(BM_DigestBuffer<TSHA1>)->Name("DigestBuffer/SHA1/1MiB");

// SHA-1 with the portable rounds, for comparison with the SHA extensions.
void BM_DigestSha1Portable(benchmark::State &state)
{
    const TSHA1Engine before = ForceSHA1Engine(TSHA1Engine::Portable);
    BM_DigestBuffer<TSHA1>(state);
    ForceSHA1Engine(before);
}
BENCHMARK(BM_DigestSha1Portable)->Name("DigestBuffer/SHA1-portable/1MiB");

// The AICH tree over 1 MiB pieces of a 64 MiB stream: block hashes and the tree.
void BM_AichTree(benchmark::State &state)
{
    const std::vector<std::uint8_t> bytes = RandomBytes(kBufferBytes);
    constexpr std::uint64_t kStreamBytes = 64 * kBufferBytes;
    for (auto _ : state) {
        TAichHash aich(kStreamBytes);
        for (std::uint64_t done = 0; done < kStreamBytes; done += kBufferBytes)
            aich.Update(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(aich.Root());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
}
BENCHMARK(BM_AichTree)->Name("DigestAich/64MiB")->Unit(benchmark::kMillisecond);

// The raw compression loops, without the object around them.
template <void (*Compress)(std::uint32_t *, const std::uint8_t *, std::size_t)>
void BM_DigestCompress(benchmark::State &state)
{
    const std::vector<std::uint8_t> data = RandomBytes(kBufferBytes);
    std::uint32_t chainingValues[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (auto _ : state) {
        Compress(chainingValues, data.data(), data.size() / 64);
        benchmark::DoNotOptimize(chainingValues);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DigestCompress<MD4CompressBlocks>)->Name("DigestCompress/MD4/1MiB");
BENCHMARK(BM_DigestCompress<MD5CompressBlocks>)->Name("DigestCompress/MD5/1MiB");

// Small messages: the cost of a whole Initialize, Transform, Complete and
// DigestText round, as when the root hash is taken over a few chunk digests.
template <class Digest>
void BM_DigestSmall(benchmark::State &state)
{
    const auto length = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> data = RandomBytes(length);
    Digest digest;
    for (auto _ : state) {
        digest.Initialize();
        digest.Transform(data.data(), data.size());
        digest.Complete();
        benchmark::DoNotOptimize(digest.DigestText());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DigestSmall<TMD4>)->Name("DigestSmall/MD4")->Arg(3)->Arg(55)->Arg(64)->Arg(160);
BENCHMARK(BM_DigestSmall<TMD5>)->Name("DigestSmall/MD5")->Arg(3)->Arg(55)->Arg(64)->Arg(160);

// Small pieces fed one after another: the partial-block path of Transform.
template <class Digest>
void BM_DigestPieces(benchmark::State &state)
{
    const auto piece = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> data = RandomBytes(kBufferBytes);
    Digest digest;
    for (auto _ : state) {
        for (std::size_t offset = 0; offset + piece <= data.size(); offset += piece)
            digest.Transform(data.data() + offset, piece);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (data.size() / piece * piece)));
}
BENCHMARK(BM_DigestPieces<TMD5>)->Name("DigestPieces/MD5")->Arg(13)->Arg(1000);

// A file read in pieces of state.range(0) bytes.
struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

template <class Feed>
void DigestFile(benchmark::State &state, const std::string &path, Feed feed)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)));
    std::uint64_t total = 0;
    for (auto _ : state) {
        const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
        if (!file) {
            state.SkipWithError("cannot open BRACKWELL_BENCH_FILE");
            return;
        }
        std::size_t got;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
            feed(buffer.data(), got);
            total += got;
        }
        feed(nullptr, 0);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}

template <class Digest>
void BM_File(benchmark::State &state, const std::string &path)
{
    Digest digest;
    DigestFile(state, path, [&](const std::uint8_t *data, std::size_t count) {
        if (data) {
            digest.Transform(data, count);
        } else {
            digest.Complete();
            benchmark::DoNotOptimize(digest.DigestText());
            digest.Initialize();
        }
    });
}

// The eDonkey2000 hash: MD4 of each 9,728,000-byte chunk, then MD4 over the
// chunk digests. Only the work matters here: for a file of a single chunk the
// eDonkey2000 hash is that chunk's digest, which this does not special-case.
void BM_FileEd2k(benchmark::State &state, const std::string &path)
{
    TMD4 chunk;
    TMD4 root;
    std::uint64_t inChunk = 0;
    DigestFile(state, path, [&](const std::uint8_t *data, std::size_t count) {
        while (count > 0) {
            const std::size_t take = static_cast<std::size_t>(
                std::min<std::uint64_t>(count, kEd2kChunkBytes - inChunk));
            chunk.Transform(data, take);
            data += take;
            count -= take;
            inChunk += take;
            if (inChunk == kEd2kChunkBytes) {
                chunk.Complete();
                root.Transform(chunk.Digest().data(), chunk.Digest().size());
                chunk.Initialize();
                inChunk = 0;
            }
        }
        if (data == nullptr) {
            chunk.Complete();
            root.Transform(chunk.Digest().data(), chunk.Digest().size());
            root.Complete();
            benchmark::DoNotOptimize(root.DigestText());
            chunk.Initialize();
            root.Initialize();
            inChunk = 0;
        }
    });
}

void FilePieces(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)->Arg(32 << 10)->Arg(128 << 10)->Arg(1 << 20);
}

const bool kFileBenchmarksRegistered = [] {
    const char *path = std::getenv("BRACKWELL_BENCH_FILE");
    if (path == nullptr || *path == '\0')
        return false;
    const std::string file(path);
    benchmark::RegisterBenchmark("File/MD4", [file](benchmark::State &state) { BM_File<TMD4>(state, file); })
        ->Apply(FilePieces);
    benchmark::RegisterBenchmark("File/MD5", [file](benchmark::State &state) { BM_File<TMD5>(state, file); })
        ->Apply(FilePieces);
    benchmark::RegisterBenchmark("File/Ed2k", [file](benchmark::State &state) { BM_FileEd2k(state, file); })
        ->Apply(FilePieces);
    return true;
}();

} // namespace
