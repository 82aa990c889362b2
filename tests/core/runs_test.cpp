// Files through the lanes give what a one-file run gives, on every engine the
// CPU has: many files side by side, the chunks of one file side by side on one
// and two threads.

#include "entries/donkeyfile.h"
#include "runs/chunklanes.h"
#include "runs/filelanes.h"
#include "runs/tokens.h"
#include "input/fileio.h"
#include "digests/MessageDigests.h"
#include "measured.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include "missingpage.h"
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;

// A lane source over the tests' own entries.
class TSource final : public TLaneSource
{
public:
    TSource(std::function<TDonkeyFile *()> next, std::function<void(TDonkeyFile &)> done = {})
        : m_next(std::move(next))
        , m_done(std::move(done))
    {
    }
    TRunEntry *Next(std::size_t) override { return m_next(); }
    void Done(TRunEntry &entry) override
    {
        if (m_done)
            m_done(static_cast<TDonkeyFile &>(entry));
    }

private:
    std::function<TDonkeyFile *()> m_next;
    std::function<void(TDonkeyFile &)> m_done;
};

// Hashes entries, in their order, through the lanes.
void HashInLanes(const std::vector<TDonkeyFile *> &entries, const std::function<void(TDonkeyFile &)> &done,
                 const TLaneHashOptions &options = {})
{
    std::size_t next = 0;
    TSource source([&]() -> TDonkeyFile * { return next < entries.size() ? entries[next++] : nullptr; }, done);
    HashEntriesInLanes(source, options);
}

template <typename TOwned>
std::vector<TDonkeyFile *> Pointers(const std::vector<TOwned> &owned)
{
    std::vector<TDonkeyFile *> pointers;
    for (const auto &entry : owned)
        pointers.push_back(&*entry);
    return pointers;
}

// What a run of its own, chunk after chunk on one thread, shows for the file.
TEntrySnapshot Reference(const std::string &path, THashSelection selection)
{
    TDonkeyFile entry(path, selection);
    entry.HashOptions.Lanes = false;
    entry.HashOptions.Parallel = false;
    entry.HashFile();
    return entry.Snapshot();
}

void ExpectSameHashes(const TEntrySnapshot &got, const TEntrySnapshot &expected, const std::string &what)
{
    EXPECT_EQ(got.DonkeyHash, expected.DonkeyHash) << what;
    EXPECT_EQ(got.FileSpreeHash, expected.FileSpreeHash) << what;
    EXPECT_EQ(got.AichHash, expected.AichHash) << what;
    EXPECT_EQ(got.PartHashes, expected.PartHashes) << what;
    EXPECT_EQ(got.Failure.empty(), expected.Failure.empty()) << what << ": " << got.Failure;
}

// The chunk steps an entry reported, which must be 1..n in order.
std::vector<std::int32_t> Steps(std::int32_t n)
{
    std::vector<std::int32_t> steps(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i)
        steps[static_cast<std::size_t>(i)] = i + 1;
    return steps;
}

// Hashes the paths in lanes, at most maxFiles at once, each with its own
// selection, and compares every entry with its reference.
void ExpectLanesLikeReference(const std::vector<std::string> &paths, const std::vector<THashSelection> &selections,
                              TLaneEngine engine, std::size_t maxFiles, bool sideThread = false,
                              std::size_t readBlockSize = 0)
{
    std::vector<std::unique_ptr<TDonkeyFile>> entries;
    std::map<const TDonkeyFile *, std::vector<std::int32_t>> steps;
    std::map<const TDonkeyFile *, int> ended;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        entries.push_back(std::make_unique<TDonkeyFile>(paths[i], selections[i % selections.size()]));
        entries.back()->OnNewBlock = [&steps](TDonkeyFile &e) { steps[&e].push_back(e.CurrentChunk()); };
    }
    TLaneHashOptions options;
    options.Engine = engine;
    options.MaxFiles = maxFiles;
    if (sideThread)
        options.HelperTokens = std::make_shared<TCoreTokens>(1);
    if (readBlockSize != 0)
        options.ReadBlockSize = readBlockSize;
    HashInLanes(Pointers(entries), [&](TDonkeyFile &e) { ++ended[&e]; }, options);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const TDonkeyFile &entry = *entries[i];
        const std::string what = paths[i] + " (" + std::to_string(entry.HashSelection()) + ")";
        EXPECT_EQ(ended[&entry], 1) << what;
        ExpectSameHashes(entry.Snapshot(), Reference(paths[i], entry.HashSelection()), what);
        if (entry.Failure().empty() && entry.HashSelection() != 0) {
            EXPECT_EQ(steps[&entry], Steps(entry.ChunkCount())) << what;
        }
    }
}

class LaneHasher : public testing::TestWithParam<TLaneEngine>
{
protected:
    void SetUp() override
    {
        if (!LaneEngineAvailable(GetParam()))
            GTEST_SKIP() << LaneEngineName(GetParam()) << " is not available on this CPU";
    }
};

// More files than lanes, of sizes around the block and read lengths, with a
// missing path and a folder among them (and a pseudo-file of /proc, whose
// size says 0 and which holds text), and every selection of kinds side by
// side, the AICH tree and the part hashes included; with the MD5 lanes on a
// second thread too.
TEST_P(LaneHasher, ManyFilesLikeOneFileRuns)
{
    TempDir dir;
    std::vector<std::string> paths;
    const std::uint64_t sizes[] = {0, 1, 55, 63, 64, 65, 1000, 4095, 262'143, 262'144, 262'145, 700'001, 1'048'575, 1'048'576};
    for (int i = 0; i < 45; ++i) {
        paths.push_back(dir.file((i % 11 == 5 ? "missing" : "f") + std::to_string(i)));
        if (i % 11 != 5)
            testsupport::WritePatternFile(paths.back(), sizes[i % std::size(sizes)] + static_cast<std::uint64_t>(i / 12));
    }
    paths.push_back(dir.path().string());
#ifdef __linux__
    paths.push_back("/proc/self/status");
#endif
    const std::vector<THashSelection> selections = {hsAll, hsDonkey, hsFileSpree, hsAll | hsAich | hsPartHashes,
                                                    hsDonkey | hsPartHashes, 0};
    ExpectLanesLikeReference(paths, selections, GetParam(), 0);
    ExpectLanesLikeReference(paths, selections, GetParam(), 3);
    ExpectLanesLikeReference(paths, selections, GetParam(), 0, true);
}

// Many files against hashes measured with rhash, not against our own one-file
// run (a fault both share would pass unseen): the sizes around the chunk
// length, whole chunks among them, each file given twice, with and without
// MD5 beside MD4; part hashes must count one digest per chunk, the empty
// last one included.
TEST_P(LaneHasher, ManyFilesMatchMeasuredHashes)
{
    TempDir dir;
    std::vector<std::string> paths;
    for (const testsupport::TExpected &expected : testsupport::Measured) {
        paths.push_back(dir.file("m" + std::to_string(expected.size)));
        testsupport::WritePatternFile(paths.back(), expected.size);
    }
    for (const THashSelection selection : {hsAll | hsPartHashes, hsDonkey | hsPartHashes}) {
        std::vector<std::unique_ptr<TDonkeyFile>> entries;
        for (int twice = 0; twice < 2; ++twice) {
            for (const std::string &path : paths)
                entries.push_back(std::make_unique<TDonkeyFile>(path, selection));
        }
        std::map<const TDonkeyFile *, std::vector<std::int32_t>> steps;
        for (auto &entry : entries)
            entry->OnNewBlock = [&steps](TDonkeyFile &e) { steps[&e].push_back(e.CurrentChunk()); };
        TLaneHashOptions options;
        options.Engine = GetParam();
        HashInLanes(Pointers(entries), {}, options);
        for (const auto &entry : entries) {
            const testsupport::TExpected &expected = testsupport::MeasuredFor(static_cast<std::uint64_t>(entry->Size()));
            SCOPED_TRACE(testing::Message() << expected.size << " bytes, selection " << int{selection});
            EXPECT_EQ(entry->DonkeyHash(), expected.ed2k);
            EXPECT_EQ(entry->FileSpreeHashText(), selection & hsFileSpree ? expected.md5 : "N/A");
            const std::int32_t chunks = entry->ChunkCount();
            EXPECT_EQ(chunks, static_cast<std::int32_t>(expected.size / DonkeyChunkSize + 1));
            const std::string parts = entry->PartHashes();
            EXPECT_EQ(parts.empty() ? 0 : static_cast<std::int32_t>((parts.size() + 1) / 33), chunks > 1 ? chunks : 0);
            if (chunks > 1 && expected.size % DonkeyChunkSize == 0) {
                // The last part of a file of whole chunks is MD4 of nothing (RFC 1320).
                EXPECT_EQ(parts.substr(parts.size() - 32), "31D6CFE0D16AE931B73C59D7E0C089C0");
            }
            EXPECT_EQ(steps[entry.get()], Steps(chunks));
        }
    }
}

// AICH blocks in SHA-1 lanes: files of several parts, where a part ends in
// its short block, read a block at a time that holds the end of one AICH
// block (or several) and the start of the next.
TEST_P(LaneHasher, AichAcrossParts)
{
    TempDir dir;
    std::vector<std::string> paths;
    for (const std::int64_t size : {DonkeyChunkSize - 1, DonkeyChunkSize + 184'320, 2 * DonkeyChunkSize + 1}) {
        paths.push_back(dir.file("a" + std::to_string(size)));
        testsupport::WritePatternFile(paths.back(), static_cast<std::uint64_t>(size));
    }
    const std::vector<THashSelection> selections = {hsAich, hsAll | hsAich | hsPartHashes};
    ExpectLanesLikeReference(paths, selections, GetParam(), 0);
    ExpectLanesLikeReference(paths, selections, GetParam(), 2, false, (1 << 20) + 64);
}

// One file's chunks side by side, on one and on two threads, around the
// chunk length (where the list ends with an empty chunk or not).
TEST_P(LaneHasher, ChunksOfOneFile)
{
    TempDir dir;
    const TLaneEngine before = ForceLaneEngine(GetParam());
    for (const std::int64_t size : {std::int64_t{0}, DonkeyChunkSize - 1, DonkeyChunkSize, 2 * DonkeyChunkSize,
                                    4 * DonkeyChunkSize + 1}) {
        const std::string path = dir.file("c" + std::to_string(size));
        testsupport::WritePatternFile(path, static_cast<std::uint64_t>(size));
        const TEntrySnapshot expected = Reference(path, hsDonkey | hsPartHashes);
        for (const bool parallel : {false, true}) {
            TDonkeyFile entry(path, hsDonkey | hsPartHashes);
            entry.HashOptions.ParallelThreshold = 0;
            entry.HashOptions.Parallel = parallel;
            entry.HashOptions.ReadBlockSize = 1 << 20;
            std::vector<std::int32_t> steps;
            entry.OnNewBlock = [&steps](TDonkeyFile &e) { steps.push_back(e.CurrentChunk()); };
            entry.HashFile();
            ExpectSameHashes(entry.Snapshot(), expected, path);
            EXPECT_EQ(steps, Steps(entry.ChunkCount())) << path << (parallel ? " on two threads" : "");
        }
    }
    ForceLaneEngine(before);
}

INSTANTIATE_TEST_SUITE_P(Engines, LaneHasher,
                         testing::Values(TLaneEngine::Scalar, TLaneEngine::Avx2, TLaneEngine::Avx512),
                         [](const testing::TestParamInfo<TLaneEngine> &info) {
                             return std::string(info.param == TLaneEngine::Avx512 ? "Avx512"
                                                : info.param == TLaneEngine::Avx2 ? "Avx2"
                                                                                  : "Scalar");
                         });

// A file that becomes shorter or longer while it is read gives no hash, in
// both kinds of lane runs: it changes once its first chunk is reported, and
// the run itself tells (a short read; a byte past the size at the end),
// before the file's times are compared.
TEST(LaneHasherFaults, FileThatChangedSizeFails)
{
    TempDir dir;
    // Four lanes: the fifth chunk of a file alone is read after the first
    // four are reported.
    const TLaneEngine before = ForceLaneEngine(TLaneEngine::Scalar);
    for (const bool shrinks : {true, false}) {
        const std::string path = dir.file(shrinks ? "shrinks" : "grows");
        const std::string reason = shrinks ? ShrankText
                                           : "the file holds more bytes than its size said (it grew, or is no ordinary file)";
        const auto change = [&](TDonkeyFile &e) {
            if (e.CurrentChunk() == 1)
                std::filesystem::resize_file(path, shrinks ? DonkeyChunkSize + 5 : 5 * DonkeyChunkSize + 5);
        };
        testsupport::WriteSparseFile(path, 5 * DonkeyChunkSize);
        TDonkeyFile alone(path, hsDonkey);
        alone.HashOptions.ParallelThreshold = 0;
        alone.HashOptions.Parallel = false;
        alone.OnNewBlock = change;
        alone.HashFile();
        EXPECT_EQ(alone.DonkeyHash(), "Error !") << path;
        EXPECT_EQ(alone.Failure(), reason) << path;

        testsupport::WriteSparseFile(path, 5 * DonkeyChunkSize);
        TDonkeyFile many(path, hsAll);
        many.OnNewBlock = change;
        HashInLanes({&many}, {});
        EXPECT_EQ(many.DonkeyHash(), "Error !") << path;
        EXPECT_EQ(many.FileSpreeHash(), "Error !") << path;
        EXPECT_EQ(many.Failure(), reason) << path;
    }
    ForceLaneEngine(before);
}

// A file that another program holds open for writing and has just changed is
// being written: between two of its writes it may hold no content at all, and
// every way of running it fails without reading a byte. Once the writer has
// let go, the same entry hashes it.
TEST(LaneHasherFaults, FileBeingWrittenFailsEveryRun)
{
    TempDir dir;
    const std::string path = dir.file("written");
    struct TLayout
    {
        const char *name;
        THashSelection selection;
        bool parallel;
        bool manyFiles;
    };
    for (const TLayout &layout : {TLayout{"one pass", hsAll, false, false}, TLayout{"two threads", hsAll, true, false},
                                  TLayout{"chunk lanes", hsDonkey, true, false},
                                  TLayout{"AICH", hsAll | hsAich, false, false},
                                  TLayout{"many files", hsAll | hsAich, false, true}}) {
        SCOPED_TRACE(layout.name);
        testsupport::WritePatternFile(path, 2 * DonkeyChunkSize + 1000);
        // The writer has rewritten the first bytes and will go on.
        std::FILE *writer = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(writer, nullptr);
        ASSERT_EQ(std::fwrite("rewritten", 1, 9, writer), 9u);
        ASSERT_EQ(std::fflush(writer), 0);

        TDonkeyFile entry(path, layout.selection);
        entry.HashOptions.Parallel = layout.parallel;
        entry.HashOptions.ParallelThreshold = 0;
        int chunks = 0;
        entry.OnNewBlock = [&](TDonkeyFile &) { ++chunks; };
        const auto hash = [&] {
            if (layout.manyFiles)
                HashInLanes({&entry}, {});
            else
                entry.HashFile();
        };
        hash();
        EXPECT_EQ(entry.Failure(), BeingWrittenText);
        EXPECT_EQ(entry.DonkeyHash(), ErrorText);
        EXPECT_EQ(entry.FileSpreeHash(), ErrorText);
        EXPECT_EQ(chunks, 0);

        std::fclose(writer);
        hash();
        ExpectSameHashes(entry.Snapshot(), Reference(path, layout.selection), layout.name);
        EXPECT_EQ(entry.Failure(), "");
    }
}

#ifdef __linux__
// A write under way since before the file was opened, its times stamped
// before that and its writer quiet for longer than the run (here: stopped
// halfway in the kernel): the run waits for it to end and hashes what it
// wrote, and never publishes a hash of half of it and half of the old bytes.
TEST(OneFileRun, WaitsForAWriteUnderWay)
{
    TempDir dir;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::vector<std::uint8_t> before = testsupport::PatternBytes(0, 2 * page);
    const std::vector<std::uint8_t> after = testsupport::PatternBytes(7, 2 * page);
    const std::string path = dir.file("written");
    testsupport::WriteFile(dir.file("before"), before);
    testsupport::WriteFile(dir.file("after"), after);
    const std::string hashBefore = Reference(dir.file("before"), hsAll).FileSpreeHash;
    const std::string hashAfter = Reference(dir.file("after"), hsAll).FileSpreeHash;
    testsupport::WriteFile(path, before);

    // The write copies its first page, then waits for its second one.
    testsupport::TMissingPage source;
    std::memcpy(source.First(), after.data(), page);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::thread writer;
    if (source.Ready())
        writer = std::thread([&] { ::pwrite(fd, source.First(), 2 * page, 0); });
    if (!source.WaitForTouch()) {
        if (writer.joinable())
            writer.join();
        ::close(fd);
        GTEST_SKIP() << "no userfaultfd for faults in the kernel (a privileged process may have it)";
    }
    TDonkeyFile entry(path, hsAll);
    // Quiet for longer than a file "just changed": whether another program
    // holds it open for writing is not asked.
    const auto changed = std::filesystem::last_write_time(path);
    while (std::filesystem::file_time_type::clock::now() - changed < std::chrono::milliseconds(2500))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    std::atomic<pid_t> runner{0};
    std::atomic<bool> ran{false};
    std::thread run([&] {
        runner = static_cast<pid_t>(::syscall(SYS_gettid));
        entry.HashFile();
        ran = true;
    });
    // Let the write go once the run waits for it, or once the run is over
    // (as it was when it read half of the write).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!ran && !(runner != 0 && testsupport::WaitsUninterruptibly(runner))
           && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    source.Supply(std::vector<std::uint8_t>(after.begin() + static_cast<std::ptrdiff_t>(page), after.end()));
    writer.join();
    ::close(fd);
    run.join();
    if (entry.Failure().empty()) {
        EXPECT_EQ(entry.FileSpreeHash(), hashAfter) << (entry.FileSpreeHash() == hashBefore ? "the old bytes" : "half of each");
    } else {
        EXPECT_EQ(entry.Failure(), "the file changed while it was read");
    }
}
#endif

// A stop ends the files in the lanes as failed, each reported once, and
// takes no more.
TEST(LaneHasherFaults, StopEndsTheFilesInTheLanes)
{
    TempDir dir;
    std::vector<std::unique_ptr<TDonkeyFile>> entries;
    for (int i = 0; i < 4; ++i) {
        testsupport::WriteSparseFile(dir.file("s" + std::to_string(i)), 3 * DonkeyChunkSize);
        entries.push_back(std::make_unique<TDonkeyFile>(dir.file("s" + std::to_string(i)), hsAll));
    }
    std::atomic<bool> stop{false};
    std::size_t given = 0;
    std::vector<TDonkeyFile *> ended;
    TLaneHashOptions options;
    options.Stop = &stop;
    TSource source([&]() -> TDonkeyFile * {
        if (given == 3) {
            stop = true; // three files are in the lanes, a block read of each
            return nullptr;
        }
        return entries[given++].get();
    }, [&](TDonkeyFile &e) { ended.push_back(&e); });
    HashEntriesInLanes(source, options);
    ASSERT_EQ(ended.size(), 3u);
    for (TDonkeyFile *e : ended) {
        EXPECT_EQ(e->Failure(), "stopped");
        EXPECT_EQ(e->DonkeyHash(), "Error !");
    }
    EXPECT_EQ(entries[3]->DonkeyHash(), "Unknown");
}

} // namespace

namespace {

// Every way of running one file ends failed ("stopped") at its next block
// once its stop flag is set, before its first block or after its first chunk,
// and reports no chunk beyond that.
TEST(OneFileRun, StopEndsTheRun)
{
    TempDir dir;
    const std::string path = dir.file("sparse");
    testsupport::WriteSparseFile(path, 40 * DonkeyChunkSize + 7);
    struct TLayout
    {
        const char *name;
        THashSelection selection;
        bool parallel;
    };
    for (const TLayout &layout : {TLayout{"one pass", hsAll | hsAich, false}, TLayout{"two threads", hsAll | hsAich, true},
                                  TLayout{"chunk lanes", hsDonkey, false}, TLayout{"chunk lanes, two threads", hsDonkey, true}}) {
        for (const bool atOnce : {true, false}) {
            SCOPED_TRACE(testing::Message() << layout.name << (atOnce ? ", stopped before" : ", stopped after a chunk"));
            std::atomic<bool> stop{atOnce};
            // Four lanes: more groups of chunks than threads, so that groups
            // are still to come when the first one reports.
            const TLaneEngine before = ForceLaneEngine(TLaneEngine::Scalar);
            TDonkeyFile entry(path, layout.selection);
            entry.HashOptions.Parallel = layout.parallel;
            entry.HashOptions.ParallelThreshold = 0;
            entry.HashOptions.Stop = &stop;
            int steps = 0;
            entry.OnNewBlock = [&](TDonkeyFile &) {
                ++steps;
                stop = true;
            };
            EXPECT_TRUE(entry.HashFile());
            ForceLaneEngine(before);
            EXPECT_EQ(entry.Failure(), "stopped");
            EXPECT_EQ(entry.DonkeyHash(), ErrorText);
            if (atOnce) {
                EXPECT_EQ(steps, 0);
            } else {
                EXPECT_LT(steps, entry.ChunkCount());
            }
        }
    }
}

// A run of the tests' own, driven through the entry's three steps: the entry
// publishes only what a whole run gave, whatever the run says of itself.
TEST(OneFileRun, EndRunJudgesWhatTheRunGave)
{
    TempDir dir;
    const std::string path = dir.file("two-chunks");
    testsupport::WritePatternFile(path, DonkeyChunkSize);
    const testsupport::TExpected &expected = testsupport::MeasuredFor(DonkeyChunkSize);
    // The right digests: the chunk's MD4, then the MD4 of nothing.
    std::vector<std::uint8_t> digests;
    TMD5 md5;
    {
        TMD4 chunk;
        const std::vector<std::uint8_t> bytes = testsupport::PatternBytes(0, DonkeyChunkSize);
        chunk.Transform(bytes.data(), bytes.size());
        chunk.Complete();
        md5.Transform(bytes.data(), bytes.size());
        md5.Complete();
        digests.assign(chunk.Digest().begin(), chunk.Digest().end());
        TMD4 empty;
        empty.Complete();
        digests.insert(digests.end(), empty.Digest().begin(), empty.Digest().end());
    }
    struct TCase
    {
        const char *name;
        std::size_t digestCount;
        std::int32_t chunksReported;
        bool withMd5;
        const char *failure; // empty: published
    };
    for (const TCase &c : {TCase{"whole", 2, 2, true, ""},
                           TCase{"a digest short", 1, 2, true, "the run hashed 1 of 2 chunks"},
                           TCase{"a chunk not reported", 2, 1, true, "the run reported 1 of 2 chunks"},
                           TCase{"no MD5", 2, 2, false, "the run did not compute the hashes selected"}}) {
        SCOPED_TRACE(c.name);
        TDonkeyFile entry(path, hsAll);
        TRunEntry &run = entry;
        const TRunStart start = run.BeginRun(nullptr);
        ASSERT_NE(start.File, nullptr);
        EXPECT_EQ(start.Size, DonkeyChunkSize);
        EXPECT_EQ(entry.DonkeyHash(), "");
        for (std::int32_t chunk = 1; chunk <= c.chunksReported; ++chunk)
            run.ChunkDone(chunk);
        run.EndRun({.ChunkDigests = std::span<const std::uint8_t>(digests).first(16 * c.digestCount),
                    .Md5 = c.withMd5 ? md5.Digest().data() : nullptr});
        EXPECT_EQ(entry.Failure(), c.failure);
        EXPECT_EQ(entry.DonkeyHash(), *c.failure ? std::string(ErrorText) : expected.ed2k);
        EXPECT_EQ(entry.FileSpreeHash(), *c.failure ? std::string(ErrorText) : expected.md5);
        EXPECT_FALSE(start.File->IsOpen());
    }
}

} // namespace
