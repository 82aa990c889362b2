#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <time.h>

#include "missingpage.h"
#endif

#include "input/fileio.h"
#include "testsupport.h"

using testsupport::PatternBytes;
using testsupport::TempDir;

namespace {

constexpr std::uint64_t FileSize = 3 * 1024 * 1024 + 17;

std::vector<std::uint8_t> ReadAtOrFail(const TReadOnlyFile &file, std::int64_t offset, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    std::string error;
    const std::int64_t got = file.ReadAt(offset, bytes.data(), count, error);
    EXPECT_GE(got, 0) << error;
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
    return bytes;
}

std::vector<std::uint8_t> ReadOrFail(TReadOnlyFile &file, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    const std::int64_t got = file.Read(bytes.data(), count);
    EXPECT_GE(got, 0) << file.Error();
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
    return bytes;
}

} // namespace

// Positional reads leave the position of the sequential ones alone (on
// Windows a read with an offset on a synchronous handle moved it), and both
// stop short at the end of the file.
TEST(ReadOnlyFile, ReadAtLeavesThePositionAlone)
{
    TempDir dir;
    const std::string path = dir.file("pattern.bin");
    testsupport::WritePatternFile(path, FileSize);
    TReadOnlyFile file;
    ASSERT_TRUE(file.Open(path)) << file.Error();

    EXPECT_EQ(ReadOrFail(file, 10), PatternBytes(0, 10));
    EXPECT_EQ(ReadAtOrFail(file, 2000000, 100), PatternBytes(2000000, 100));
    EXPECT_EQ(ReadOrFail(file, 10), PatternBytes(10, 10));
    EXPECT_EQ(ReadAtOrFail(file, FileSize - 5, 100), PatternBytes(FileSize - 5, 5));
    EXPECT_TRUE(ReadAtOrFail(file, FileSize + 1000, 1).empty());
    EXPECT_EQ(ReadOrFail(file, 10), PatternBytes(20, 10));

    ASSERT_TRUE(file.Seek(FileSize - 3));
    EXPECT_EQ(ReadAtOrFail(file, 0, 4), PatternBytes(0, 4));
    EXPECT_EQ(ReadOrFail(file, 10), PatternBytes(FileSize - 3, 3));
    EXPECT_TRUE(ReadOrFail(file, 10).empty());
    ASSERT_TRUE(file.Seek(5));
    EXPECT_EQ(ReadOrFail(file, 3), PatternBytes(5, 3));
}

// Several threads read at their own offsets while one reads front to back:
// each gets its own bytes, and the sequential reader never loses its place;
// and a read that waits in the system (here for the page it reads into) holds
// up no other read of the file.
TEST(ReadOnlyFile, ReadAtFromSeveralThreadsAtOnce)
{
    TempDir dir;
    const std::string path = dir.file("pattern.bin");
    testsupport::WritePatternFile(path, FileSize);
    TReadOnlyFile file;
    ASSERT_TRUE(file.Open(path)) << file.Error();

    std::atomic<int> wrong = 0;
    std::vector<std::thread> readers;
    for (unsigned t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            std::uint64_t offset = 7919 * (t + 1);
            for (int i = 0; i < 300; ++i) {
                const std::size_t count = 1 + (offset * 31) % 70000;
                std::vector<std::uint8_t> bytes(count);
                std::string error;
                const std::int64_t got = file.ReadAt(static_cast<std::int64_t>(offset), bytes.data(), count, error);
                const std::size_t expected = static_cast<std::size_t>(std::min<std::uint64_t>(count, FileSize - offset));
                bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
                wrong += got != static_cast<std::int64_t>(expected) || bytes != PatternBytes(offset, expected);
                offset = (offset * 48271 + t) % FileSize;
            }
        });
    }
    std::uint64_t position = 0;
    while (position < FileSize) {
        const std::vector<std::uint8_t> bytes = ReadOrFail(file, 65536);
        ASSERT_FALSE(bytes.empty());
        ASSERT_EQ(bytes, PatternBytes(position, bytes.size())) << "at " << position;
        position += bytes.size();
    }
    for (std::thread &reader : readers)
        reader.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(position, FileSize);

#ifdef __linux__
    testsupport::TMissingPage target;
    if (!target.Ready())
        GTEST_SKIP() << "no userfaultfd for faults in the kernel (a privileged process may have it)";
    const std::size_t page = target.Page();
    std::int64_t held = -2;
    std::thread holder([&] {
        std::string error;
        held = file.ReadAt(0, target.Second(), page, error);
    });
    ASSERT_TRUE(target.WaitForTouch());
    // The other reads go on while that one waits (a minute at most: a hang).
    std::atomic<bool> done{false};
    std::vector<std::uint8_t> other;
    std::thread reader([&] {
        other = ReadAtOrFail(file, 12345, 1000);
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(done) << "a read waited for another one";
    target.Supply(std::vector<std::uint8_t>(page));
    holder.join();
    reader.join();
    EXPECT_EQ(other, PatternBytes(12345, 1000));
    EXPECT_EQ(held, static_cast<std::int64_t>(page));
    EXPECT_EQ(std::vector<std::uint8_t>(target.Second(), target.Second() + page), PatternBytes(0, page));
#endif
}

#ifdef __linux__
// A file changed in the current tick of the clock that stamps file times
// could be written again in that tick without its times moving: Settle
// waits for the tick to pass, so that the next write moves them.
TEST(ReadOnlyFile, SettleWaitsOutTheTickOfTheLastChange)
{
    TempDir dir;
    const std::string path = dir.file("fresh.bin");
    for (int i = 0; i < 3; ++i) {
        testsupport::WritePatternFile(path, 100 + i);
        TReadOnlyFile file;
        ASSERT_TRUE(file.Open(path)) << file.Error();
        TReadOnlyFile::Identity measured;
        ASSERT_TRUE(file.Stat(measured));
        const auto coarseNow = [] {
            timespec now{};
            ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
            return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
        };
        timespec resolution{};
        ASSERT_EQ(::clock_getres(CLOCK_REALTIME_COARSE, &resolution), 0);
        const std::int64_t before = coarseNow();
        EXPECT_EQ(file.Settle(measured), "");
        // A stamp more than a tick ahead of the clock (a loaded machine's
        // clock lags its ticks) is beyond any the clock could give again.
        if (measured.changed <= before + resolution.tv_nsec)
            EXPECT_GT(coarseNow(), measured.changed);
    }
}
#endif

TEST(ReadOnlyFile, ErrnoTextNamesTheError)
{
    EXPECT_EQ(ErrnoText(ENOENT), "No such file or directory");
    EXPECT_FALSE(ErrnoText(-12345).empty());
}
