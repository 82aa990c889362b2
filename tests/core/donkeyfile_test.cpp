// The file entry: eDonkey2000 and FileSpree hashes of real files, the chunk
// arithmetic, progress, failures and refreshes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

#include "MessageDigests.h"
#include "donkeyfile.h"
#include "testsupport.h"

using testsupport::TempDir;

namespace {

std::string Md4Hex(const std::uint8_t *bytes, std::size_t count, bool upper)
{
    TMD4 md4;
    md4.Transform(bytes, count);
    md4.Complete();
    return HexText(md4.Digest().data(), 16, upper);
}

// The eDonkey2000 hash built directly from the definition: MD4 of each
// 9,728,000-byte chunk (plus an empty chunk after a whole number of chunks),
// and the MD4 of the chunk digests when there is more than one.
struct TExpected
{
    std::string ed2k;
    std::string md5;
};

TExpected Reference(std::uint64_t size)
{
    std::vector<std::uint8_t> digests;
    TMD5 md5;
    const std::uint64_t chunks = size / 9728000 + 1;
    for (std::uint64_t c = 0; c < chunks; ++c) {
        const std::uint64_t start = c * 9728000;
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(size - start, 9728000));
        const auto bytes = testsupport::PatternBytes(start, length);
        TMD4 md4;
        if (!bytes.empty()) {
            md4.Transform(bytes.data(), bytes.size());
            md5.Transform(bytes.data(), bytes.size());
        }
        md4.Complete();
        digests.insert(digests.end(), md4.Digest().begin(), md4.Digest().end());
    }
    md5.Complete();
    TExpected expected;
    expected.ed2k = chunks == 1 ? HexText(digests.data(), 16, true) : Md4Hex(digests.data(), digests.size(), true);
    expected.md5 = md5.DigestText();
    return expected;
}

struct TRun
{
    std::vector<std::int32_t> reported; // CurrentChunk at each progress step
};

TRun HashWith(TDonkeyFile &entry, const THashOptions &options)
{
    TRun run;
    entry.HashOptions = options;
    entry.OnNewBlock = [&run](TDonkeyFile &e) { run.reported.push_back(e.CurrentChunk()); };
    EXPECT_TRUE(entry.HashFile());
    return run;
}

std::vector<THashOptions> Layouts()
{
    std::vector<THashOptions> layouts;
    for (const std::size_t block : {std::size_t{64}, std::size_t{1000}, std::size_t{256 * 1024},
                                    std::size_t{1 << 20}, std::size_t{16 << 20}}) {
        for (const bool parallel : {false, true}) {
            THashOptions options;
            options.ReadBlockSize = block;
            options.Parallel = parallel;
            options.ParallelThreshold = 0;
            layouts.push_back(options);
        }
    }
    return layouts;
}

} // namespace

// Sizes around the chunk length, where the empty extra chunk appears.
TEST(Ed2k, ChunkBoundaries)
{
    TempDir dir;
    for (const std::uint64_t size : {0ull, 1ull, 9727999ull, 9728000ull, 9728001ull, 19456000ull}) {
        SCOPED_TRACE(size);
        const std::string path = dir.file("f" + std::to_string(size));
        testsupport::WritePatternFile(path, size);
        const TExpected expected = Reference(size);

        TDonkeyFile entry(path, hsAll);
        EXPECT_EQ(entry.Size(), static_cast<std::int64_t>(size));
        EXPECT_EQ(entry.ChunkCount(), static_cast<std::int32_t>(size / 9728000 + 1));
        EXPECT_EQ(entry.DonkeyHash(), "Unknown");
        const TRun run = HashWith(entry, THashOptions{});
        EXPECT_EQ(entry.DonkeyHash(), expected.ed2k);
        EXPECT_EQ(entry.FileSpreeHash(), expected.md5);
        EXPECT_EQ(entry.Failure(), "");

        std::vector<std::int32_t> chunks(entry.ChunkCount());
        for (std::size_t i = 0; i < chunks.size(); ++i)
            chunks[i] = static_cast<std::int32_t>(i + 1);
        EXPECT_EQ(run.reported, chunks);
        EXPECT_EQ(entry.CurrentChunk(), entry.ChunkCount());

        if (testsupport::HaveRhash()) {
            const auto rhash = testsupport::Rhash(path);
            EXPECT_EQ(entry.DonkeyHash(), rhash.ed2k);
            EXPECT_EQ(entry.FileSpreeHash(), rhash.md5);
        }
    }
}

// The results and the progress steps never depend on the block size or on
// whether the two digests run side by side.
TEST(Ed2k, SameResultWhateverTheLayout)
{
    TempDir dir;
    for (const std::uint64_t size : {0ull, 100ull, 9728000ull, 2 * 9728000ull + 4097}) {
        SCOPED_TRACE(size);
        const std::string path = dir.file("f");
        testsupport::WritePatternFile(path, size);
        const TExpected expected = Reference(size);
        for (const THashOptions &layout : Layouts()) {
            SCOPED_TRACE(testing::Message() << "block " << layout.ReadBlockSize << " parallel " << layout.Parallel);
            TDonkeyFile entry(path, hsAll);
            const TRun run = HashWith(entry, layout);
            EXPECT_EQ(entry.DonkeyHash(), expected.ed2k);
            EXPECT_EQ(entry.FileSpreeHash(), expected.md5);
            EXPECT_EQ(run.reported.size(), static_cast<std::size_t>(entry.ChunkCount()));
            EXPECT_TRUE(std::is_sorted(run.reported.begin(), run.reported.end()));
        }
    }
}

TEST(Ed2k, LargeSparseFileMatchesRhash)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "reads over 4 GiB: left to the optimised build";
#endif
    if (!testsupport::HaveRhash())
        GTEST_SKIP() << "rhash is not installed";
    TempDir dir;
    const std::string path = dir.file("sparse.bin");
    const std::uint64_t size = (1ull << 32) + 9728000 + 12345;
    testsupport::WriteSparseFile(path, size);
    TDonkeyFile entry(path, hsAll);
    ASSERT_EQ(entry.Size(), static_cast<std::int64_t>(size));
    EXPECT_EQ(entry.ChunkCount(), 443);
    int steps = 0;
    entry.OnNewBlock = [&steps](TDonkeyFile &) { ++steps; };
    ASSERT_TRUE(entry.HashFile());
    EXPECT_EQ(steps, 443);
    const auto rhash = testsupport::Rhash(path);
    EXPECT_EQ(entry.DonkeyHash(), rhash.ed2k);
    EXPECT_EQ(entry.FileSpreeHash(), rhash.md5);
    EXPECT_NE(entry.DonkeyLink().find("|4304707641|"), std::string::npos);
}

TEST(DonkeyFile, SelectionDecidesWhatIsComputed)
{
    TempDir dir;
    const std::string path = dir.file("abc");
    testsupport::WriteFile(path, std::string("abc"));

    TDonkeyFile onlyFs(path, hsFileSpree);
    int steps = 0;
    onlyFs.OnNewBlock = [&steps](TDonkeyFile &) { ++steps; };
    EXPECT_TRUE(onlyFs.HashFile());
    EXPECT_EQ(steps, 1); // progress still comes per chunk
    EXPECT_EQ(onlyFs.DonkeyHashText(), "N/A");
    EXPECT_EQ(onlyFs.DonkeyHash(), "");
    EXPECT_EQ(onlyFs.FileSpreeHashText(), testsupport::AbcMd5);

    TDonkeyFile onlyDonkey(path, hsDonkey);
    EXPECT_TRUE(onlyDonkey.HashFile());
    EXPECT_EQ(onlyDonkey.DonkeyHashText(), testsupport::AbcMd4);
    EXPECT_EQ(onlyDonkey.FileSpreeHashText(), "N/A");

    TDonkeyFile none(path, 0);
    EXPECT_FALSE(none.HashFile());
    EXPECT_EQ(none.DonkeyHash(), "Unknown");
    EXPECT_EQ(none.DonkeyHashText(), "N/A");
    EXPECT_EQ(none.FileSpreeHashText(), "N/A");
}

// Whatever cannot be opened as a regular file ends marked, at once.
TEST(DonkeyFile, UnopenableFilesAreMarked)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder"));

    for (const std::string &path : {dir.file("missing"), dir.file("folder"), fifo, std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        TDonkeyFile entry(path, hsAll);
        EXPECT_TRUE(entry.OpenFailed());
        EXPECT_EQ(entry.DonkeyHash(), "Error !");
        EXPECT_EQ(entry.FileSpreeHash(), "Error !");
        EXPECT_EQ(entry.Size(), 0);
        EXPECT_EQ(entry.ChunkCount(), 1);
        EXPECT_FALSE(entry.Failure().empty());
        EXPECT_FALSE(entry.HashFile());
        EXPECT_FALSE(entry.HashFile()); // a refresh changes nothing
        EXPECT_EQ(entry.DonkeyHash(), "Error !");
    }
}

TEST(DonkeyFile, RefreshFollowsTheFile)
{
    TempDir dir;
    const std::string path = dir.file("f");
    testsupport::WriteFile(path, std::string("abc"));
    TDonkeyFile entry(path, hsAll);
    ASSERT_TRUE(entry.HashFile());
    EXPECT_EQ(entry.FileSpreeHash(), testsupport::AbcMd5);

    testsupport::WritePatternFile(path, 9728001);
    ASSERT_TRUE(entry.HashFile());
    const TExpected expected = Reference(9728001);
    EXPECT_EQ(entry.Size(), 9728001);
    EXPECT_EQ(entry.ChunkCount(), 2);
    EXPECT_EQ(entry.DonkeyHash(), expected.ed2k);
    EXPECT_EQ(entry.FileSpreeHash(), expected.md5);

    std::filesystem::remove(path);
    EXPECT_FALSE(entry.HashFile());
    EXPECT_TRUE(entry.OpenFailed());
    EXPECT_EQ(entry.DonkeyHash(), "Error !");
}

// A file that changes while it is read must not get a hash: both texts read
// "Error !", the entry keeps its size and can be refreshed once it is stable.
TEST(DonkeyFile, ChangeDuringTheRunFails)
{
    struct TChange
    {
        const char *what;
        void (*apply)(const std::string &path);
    };
    const TChange changes[] = {
        {"shrinks", [](const std::string &path) { std::filesystem::resize_file(path, 9728000 + 10); }},
        {"grows", [](const std::string &path) {
             std::ofstream(path, std::ios::app | std::ios::binary) << "more";
         }},
        {"is rewritten in place", [](const std::string &path) {
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(3 * 9728000);
             file.put('x');
             file.close();
             struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
             ::utimensat(AT_FDCWD, path.c_str(), times, 0);
         }},
    };
    TempDir dir;
    for (const TChange &change : changes) {
        for (const bool parallel : {false, true}) {
            SCOPED_TRACE(testing::Message() << change.what << (parallel ? ", parallel" : ", sequential"));
            const std::string path = dir.file("f");
            const std::uint64_t size = 4 * 9728000ull + 5;
            testsupport::WritePatternFile(path, size);
            // A little in the past, so that a rewrite shows in the time stamp.
            struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
            ::utimensat(AT_FDCWD, path.c_str(), past, 0);

            TDonkeyFile entry(path, hsAll);
            entry.HashOptions.Parallel = parallel;
            bool changed = false;
            entry.OnNewBlock = [&](TDonkeyFile &) {
                if (!changed)
                    change.apply(path);
                changed = true;
            };
            EXPECT_TRUE(entry.HashFile());
            EXPECT_EQ(entry.DonkeyHash(), "Error !");
            EXPECT_EQ(entry.FileSpreeHash(), "Error !");
            EXPECT_FALSE(entry.OpenFailed());
            EXPECT_FALSE(entry.Failure().empty());
            EXPECT_EQ(entry.Size(), static_cast<std::int64_t>(size));
            EXPECT_EQ(entry.DonkeyLink().find("Error !") != std::string::npos, true);

            entry.OnNewBlock = nullptr;
            EXPECT_TRUE(entry.HashFile()); // the refresh reads the file as it is now
            EXPECT_EQ(entry.Failure(), "");
            EXPECT_EQ(entry.DonkeyHash().size(), 32u);
            EXPECT_EQ(entry.Size(), static_cast<std::int64_t>(std::filesystem::file_size(path)));
        }
    }
}

// A progress handler that throws ends the run; nothing is left running.
TEST(DonkeyFile, ExceptionFromProgressHandlerPropagates)
{
    TempDir dir;
    const std::string path = dir.file("f");
    testsupport::WritePatternFile(path, 3 * 9728000ull);
    for (const bool parallel : {false, true}) {
        TDonkeyFile entry(path, hsAll);
        entry.HashOptions.Parallel = parallel;
        entry.HashOptions.ParallelThreshold = 0;
        entry.OnNewBlock = [](TDonkeyFile &) { throw std::runtime_error("stop"); };
        EXPECT_THROW(entry.HashFile(), std::runtime_error);
        entry.OnNewBlock = nullptr;
        EXPECT_TRUE(entry.HashFile()); // the file was closed and opens again
        EXPECT_EQ(entry.DonkeyHash().size(), 32u);
    }
}
