// The file entry: eDonkey2000 and FileSpree hashes of real files, the chunk
// arithmetic, progress, failures and refreshes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "input/fileio.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include "digests/MessageDigests.h"
#include "entries/donkeyfile.h"
#include "runs/tokens.h"
#include "measured.h"
#include "testsupport.h"

using testsupport::TempDir;

namespace {

using testsupport::MeasuredFor;
using testsupport::TExpected;
using testsupport::Measured;

std::vector<std::int32_t> OneTo(std::int32_t n)
{
    std::vector<std::int32_t> steps(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i)
        steps[static_cast<std::size_t>(i)] = i + 1;
    return steps;
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
    for (const TExpected &expected : Measured) {
        const std::uint64_t size = expected.size;
        SCOPED_TRACE(size);
        const std::string path = dir.file("f" + std::to_string(size));
        testsupport::WritePatternFile(path, size);

        TDonkeyFile entry(path, hsAll);
        EXPECT_EQ(entry.Size(), static_cast<std::int64_t>(size));
        EXPECT_EQ(entry.ChunkCount(), static_cast<std::int32_t>(size / 9728000 + 1));
        EXPECT_EQ(entry.DonkeyHash(), "Unknown");
        const TRun run = HashWith(entry, THashOptions{});
        EXPECT_EQ(entry.DonkeyHash(), expected.ed2k);
        EXPECT_EQ(entry.FileSpreeHash(), expected.md5);
        EXPECT_EQ(entry.Failure(), "");

        EXPECT_EQ(run.reported, OneTo(entry.ChunkCount()));
        EXPECT_EQ(entry.CurrentChunk(), entry.ChunkCount());
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
        const TExpected &expected = MeasuredFor(size);
        for (const THashOptions &layout : Layouts()) {
            SCOPED_TRACE(testing::Message() << "block " << layout.ReadBlockSize << " parallel " << layout.Parallel);
            TDonkeyFile entry(path, hsAll);
            const TRun run = HashWith(entry, layout);
            EXPECT_EQ(entry.DonkeyHash(), expected.ed2k);
            EXPECT_EQ(entry.FileSpreeHash(), expected.md5);
            EXPECT_EQ(run.reported, OneTo(entry.ChunkCount()));
        }
    }
}

TEST(Ed2k, LargeSparseFile)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "reads over 4 GiB: left to the optimised build";
#endif
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
    // `truncate -s 4304707641 F; rhash --ed2k --md5 F` (rhash 1.4)
    EXPECT_EQ(entry.DonkeyHash(), "B202D1F1F8964F936142AAA74AC2FE03");
    EXPECT_EQ(entry.FileSpreeHash(), "dbdb6a598f33440821238642fc334c4b");
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
    std::filesystem::create_directory(dir.path() / "folder");
#ifdef _WIN32
    // A device: opening it succeeds, but it is no file on a disk.
    const std::vector<std::string> others{"NUL"};
#else
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::string> others{fifo, "/dev/zero"};
#endif
    std::vector<std::string> paths{dir.file("missing"), dir.file("folder")};
    paths.insert(paths.end(), others.begin(), others.end());

    for (const std::string &path : paths) {
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
    const TExpected &expected = MeasuredFor(9728001);
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
// The change comes from another thread while the run waits after its first
// chunk, the rest of the file still unread.
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
        {"is rewritten in place, its modification time put back", [](const std::string &path) {
#ifdef _WIN32
             const HANDLE file = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
             ASSERT_NE(file, INVALID_HANDLE_VALUE);
             FILE_BASIC_INFO before{};
             ASSERT_TRUE(::GetFileInformationByHandleEx(file, FileBasicInfo, &before, sizeof before));
             for (FILE_BASIC_INFO after = before; after.ChangeTime.QuadPart == before.ChangeTime.QuadPart;) {
                 LARGE_INTEGER at;
                 at.QuadPart = 3 * 9728000;
                 DWORD written = 0;
                 ASSERT_TRUE(::SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
                 ASSERT_TRUE(::WriteFile(file, "x", 1, &written, nullptr));
                 FILE_BASIC_INFO putBack = before;
                 putBack.ChangeTime.QuadPart = 0; // 0: left to the system
                 ASSERT_TRUE(::SetFileInformationByHandle(file, FileBasicInfo, &putBack, sizeof putBack));
                 ASSERT_TRUE(::GetFileInformationByHandleEx(file, FileBasicInfo, &after, sizeof after));
                 ASSERT_EQ(after.LastWriteTime.QuadPart, before.LastWriteTime.QuadPart);
                 if (after.ChangeTime.QuadPart == before.ChangeTime.QuadPart)
                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
             }
             ::CloseHandle(file);
#else
             struct stat before;
             ASSERT_EQ(::stat(path.c_str(), &before), 0);
             // Until the change time moves on: it is as coarse as the kernel's clock tick.
             for (struct stat after = before; after.st_ctim.tv_sec == before.st_ctim.tv_sec
                                              && after.st_ctim.tv_nsec == before.st_ctim.tv_nsec;) {
                 std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
                 file.seekp(3 * 9728000);
                 file.put('x');
                 file.close();
                 const struct timespec times[2] = {before.st_atim, before.st_mtim};
                 ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
                 ASSERT_EQ(::stat(path.c_str(), &after), 0);
                 ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
                 if (after.st_ctim.tv_nsec == before.st_ctim.tv_nsec)
                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
             }
#endif
         }},
    };
    TempDir dir;
    for (const TChange &change : changes) {
        for (const bool parallel : {false, true}) {
            SCOPED_TRACE(testing::Message() << change.what << (parallel ? ", parallel" : ", sequential"));
            const std::string path = dir.file("f");
            const std::uint64_t size = 4 * 9728000ull + 5;
            testsupport::WritePatternFile(path, size);

            TDonkeyFile entry(path, hsAll);
            entry.HashOptions.Parallel = parallel;
            std::promise<void> firstChunk;
            std::thread changer([&] {
                firstChunk.get_future().wait();
                change.apply(path);
            });
            entry.OnNewBlock = [&](TDonkeyFile &e) {
                if (e.CurrentChunk() == 1) {
                    firstChunk.set_value();
                    changer.join();
                }
            };
            EXPECT_TRUE(entry.HashFile());
            if (changer.joinable()) {
                firstChunk.set_value();
                changer.join();
                ADD_FAILURE() << "no progress step came";
            }
            EXPECT_EQ(entry.DonkeyHash(), "Error !");
            EXPECT_EQ(entry.FileSpreeHash(), "Error !");
            EXPECT_FALSE(entry.OpenFailed());
            EXPECT_FALSE(entry.Failure().empty());
            EXPECT_EQ(entry.Size(), static_cast<std::int64_t>(size));
            EXPECT_NE(entry.DonkeyLink().find("Error !"), std::string::npos);

            entry.OnNewBlock = nullptr;
            EXPECT_TRUE(entry.HashFile()); // the refresh reads the file as it is now
            EXPECT_EQ(entry.Failure(), "");
            EXPECT_EQ(entry.DonkeyHash().size(), 32u);
            EXPECT_EQ(entry.Size(), static_cast<std::int64_t>(std::filesystem::file_size(path)));
        }
    }
}

// A file with more bytes than its size said (a pseudo-file of /proc reports 0)
// fails like a file that grew, in either layout.
TEST(DonkeyFile, MoreBytesThanTheSizeSaidFails)
{
    for (const bool parallel : {false, true}) {
        TDonkeyFile entry("/proc/self/status", hsAll);
        if (entry.OpenFailed() || entry.Size() != 0)
            GTEST_SKIP() << "no /proc pseudo-file of size 0 here";
        entry.HashOptions.Parallel = parallel;
        entry.HashOptions.ParallelThreshold = 0;
        EXPECT_TRUE(entry.HashFile());
        EXPECT_EQ(entry.DonkeyHash(), "Error !");
        EXPECT_EQ(entry.FileSpreeHash(), "Error !");
        EXPECT_NE(entry.Failure(), "");
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
        EXPECT_EQ(entry.DonkeyHash(), "Error !"); // no half-made result stays shown
        EXPECT_EQ(entry.Failure(), "stop");
        entry.OnNewBlock = nullptr;
        EXPECT_TRUE(entry.HashFile()); // the file was closed and opens again
        EXPECT_EQ(entry.DonkeyHash().size(), 32u);
    }
}

// The MD5 thread beside the reader runs only on a free core token, and gives
// it back when the run ends.
TEST(DonkeyFile, SecondThreadOnlyWithAFreeToken)
{
    const auto threadCount = [] { return testsupport::ThreadCount(); };
    TempDir dir;
    const std::string path = dir.file("f");
    // With blocks of 64 KiB the reader is at most 64 blocks (4 MiB) ahead, far
    // from the end of these five chunks, so at chunk 1 it is still at work,
    // however slowly the MD5 thread runs.
    testsupport::WritePatternFile(path, 48640001);
    for (const unsigned free : {0u, 1u}) {
        SCOPED_TRACE(free);
        TDonkeyFile entry(path, hsAll);
        entry.HashOptions.ReadBlockSize = 1 << 16;
        entry.HashOptions.ParallelThreshold = 0;
        entry.HashOptions.HelperTokens = std::make_shared<TCoreTokens>(free);
        const auto before = threadCount();
        long atFirstChunk = -1;
        entry.OnNewBlock = [&](TDonkeyFile &e) {
            if (e.CurrentChunk() == 1)
                atFirstChunk = threadCount() - before;
        };
        ASSERT_TRUE(entry.HashFile());
        EXPECT_EQ(entry.DonkeyHash(), MeasuredFor(48640001).ed2k);
        // (A sanitizer may start a thread of its own with the first one made.)
        if (free == 0)
            EXPECT_EQ(atFirstChunk, 0);
        else
            EXPECT_GE(atFirstChunk, 1);
        EXPECT_EQ(entry.HashOptions.HelperTokens->TryAcquire(), free == 1);
    }
}

// The AICH root and the part hashes come from the same read pass as MD4 and
// MD5, whatever the layout and whether MD4 runs at all; the ed2k link carries
// them as p= and h= extras, and a failed run's link none.
TEST(Aich, InTheReadPassAndInLinks)
{
    TempDir dir;
    const std::string path = dir.file("f");
    // Roots measured with rhash --aich (see aich_test.cpp).
    const struct
    {
        std::uint64_t size;
        const char *aich;
    } files[] = {{0, "3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ"}, {9728001, "DP4XKBZJ7UCSP7D6HLYHBWRZNYYGIXLQ"}};
    for (const auto &file : files) {
        SCOPED_TRACE(file.size);
        testsupport::WritePatternFile(path, file.size);
        std::string parts;
        for (std::uint64_t at = 0; file.size > 0 && at <= file.size; at += 9728000) {
            const auto bytes = testsupport::PatternBytes(at, std::min<std::uint64_t>(9728000, file.size - at));
            TMD4 chunk;
            chunk.Transform(bytes.data(), bytes.size());
            chunk.Complete();
            parts += (parts.empty() ? "" : ":") + testsupport::ToUpper(chunk.DigestText());
        }
        const std::string ed2k = MeasuredFor(file.size).ed2k;
        const std::string extras = file.size > 0 ? "p=" + parts + "|h=" + file.aich + "|/" : "h=" + std::string(file.aich) + "|/";
        for (const THashSelection selection : {THashSelection(hsAll | hsAich | hsPartHashes),
                                               THashSelection(hsFileSpree | hsAich)}) {
            for (const THashOptions &layout : Layouts()) {
                SCOPED_TRACE(testing::Message() << "selection " << int(selection) << " block " << layout.ReadBlockSize
                                                << " parallel " << layout.Parallel);
                TDonkeyFile entry(path, selection);
                const TRun run = HashWith(entry, layout);
                EXPECT_EQ(entry.AichHashText(), file.aich);
                EXPECT_EQ(entry.FileSpreeHash(), MeasuredFor(file.size).md5);
                EXPECT_EQ(run.reported, OneTo(entry.ChunkCount()));
                if (selection & hsDonkey) {
                    EXPECT_EQ(entry.PartHashes(), file.size > 0 ? parts : "");
                    EXPECT_EQ(entry.DonkeyLink(), "ed2k://|file|f|" + std::to_string(file.size) + "|" + ed2k + "|" + extras);
                } else {
                    EXPECT_EQ(entry.PartHashes(), "");
                    EXPECT_EQ(entry.DonkeyLink(), "N/A");
                }
            }
        }
    }
    // Part hashes alone on a file of one chunk: no extras, the link as always.
    testsupport::WritePatternFile(path, 100);
    TDonkeyFile single(path, hsAll | hsPartHashes);
    single.HashFile();
    EXPECT_EQ(single.DonkeyLink(), "ed2k://|file|f|100|" + std::string(MeasuredFor(100).ed2k) + "|");
    TDonkeyFile missing(dir.file("missing"), hsAll | hsAich | hsPartHashes);
    EXPECT_EQ(missing.AichHashText(), "Error !");
    EXPECT_EQ(missing.DonkeyLink(), "ed2k://|file|missing|0|Error !|");
}
