#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

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
// each gets its own bytes, and the sequential reader never loses its place.
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
}

TEST(ReadOnlyFile, ErrnoTextNamesTheError)
{
    EXPECT_EQ(ErrnoText(ENOENT), "No such file or directory");
    EXPECT_FALSE(ErrnoText(-12345).empty());
}
