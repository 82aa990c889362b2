#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif
#ifdef __linux__
#include <time.h>

#include "missingpage.h"
#include "niceprivilege.h"
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

// Sets a file's modification time, seconds and nanoseconds since 1970.
bool SetModified(const std::string &path, std::int64_t seconds, std::int64_t nanoseconds)
{
#ifdef _WIN32
    const HANDLE handle = CreateFileW(SystemPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const std::uint64_t steps =
        static_cast<std::uint64_t>(seconds * 10000000 + nanoseconds / 100) + 116444736000000000ull;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(steps);
    time.dwHighDateTime = static_cast<DWORD>(steps >> 32);
    const bool done = SetFileTime(handle, nullptr, nullptr, &time);
    CloseHandle(handle);
    return done;
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

std::int64_t NowInNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
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

// Nothing can tell whether another program holds another user's file open
// for writing (a thread without CAP_LEASE takes no lease on it), and a writer
// between two of its writes leaves a state of the file that is no content:
// such a file changed in the last two seconds is read only once it has been
// left alone that long, and a write meanwhile says it is being written.
TEST(ReadOnlyFile, SettleWaitsUntilAFileOthersMayWriteIsLeftAlone)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give the file to another user";
    for (const bool written : {true, false}) {
        SCOPED_TRACE(written ? "written after it was measured" : "left alone");
        TempDir dir;
        const std::string path = dir.file("others.bin");
        testsupport::WritePatternFile(path, 100000);
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        std::atomic<bool> measured = false;
        std::atomic<bool> settled = false;
        std::string reason = "not run";
        std::thread reader([&] {
            TReadOnlyFile file;
            TReadOnlyFile::Identity identity;
            if (!testsupport::DropThreadCapability(CAP_LEASE))
                reason = "cannot drop CAP_LEASE";
            else if (!file.Open(path, &identity))
                reason = file.Error();
            measured = true;
            if (file.IsOpen())
                reason = file.Settle(identity);
            settled = true;
        });
        if (written) {
            while (!measured)
                std::this_thread::yield();
            const int fd = ::open(path.c_str(), O_WRONLY);
            for (std::uint8_t byte = 0; fd >= 0 && !settled; ++byte) {
                EXPECT_EQ(::pwrite(fd, &byte, 1, 0), 1);
                std::this_thread::yield();
            }
            EXPECT_GE(fd, 0);
            ::close(fd);
        }
        reader.join();
        EXPECT_EQ(reason, written ? BeingWrittenText : "");
    }
}
#endif

TEST(ReadOnlyFile, ErrnoTextNamesTheError)
{
    EXPECT_EQ(ErrnoText(ENOENT), "No such file or directory");
    EXPECT_FALSE(ErrnoText(-12345).empty());
}

// The times are nanoseconds since 1970 on every system. On Windows a file time
// (100 ns since 1601) times 100 overflowed 64 bits for any date of our time.
TEST(ReadOnlyFile, StatGivesTimesSince1970)
{
    TempDir dir;
    const std::string path = dir.file("dated.txt");
    testsupport::WriteFile(path, std::string("abc"));
    struct Case
    {
        std::int64_t seconds;
        std::int64_t nanoseconds;
        std::int64_t read;
    };
    std::vector<Case> cases = {
        {1704112496, 123456700, 1704112496123456700}, // 2024-01-01 12:34:56.1234567
        {631152000, 0, 631152000000000000},           // 1990-01-01
    };
#ifdef _WIN32
    // The year 3000 lies past what 64 bits of nanoseconds reach: the largest.
    cases.push_back({32503680000, 0, std::numeric_limits<std::int64_t>::max()});
#endif
    for (const Case &c : cases) {
        ASSERT_TRUE(SetModified(path, c.seconds, c.nanoseconds));
        TReadOnlyFile file;
        ASSERT_TRUE(file.Open(path)) << file.Error();
        TReadOnlyFile::Identity identity;
        ASSERT_TRUE(file.Stat(identity)) << file.Error();
        EXPECT_EQ(identity.modified, c.read) << c.seconds;
        // The change time is the system's own: today's, give or take a day.
        EXPECT_LT(std::abs(identity.changed - NowInNanoseconds()), std::int64_t{86400} * 1000000000) << identity.changed;
        EXPECT_EQ(identity.size, 3);
    }
}

// A folder given as a file says it is one (on Windows its open failed with
// "Access is denied" before the check could tell).
TEST(ReadOnlyFile, FolderSaysItIsOne)
{
    TempDir dir;
    TReadOnlyFile file;
    EXPECT_FALSE(file.Open(dir.file("")));
    EXPECT_FALSE(file.Open(Utf8FromPath(dir.path())));
#ifdef _WIN32
    EXPECT_EQ(file.Error(), "is a folder");
#else
    EXPECT_EQ(file.Error(), ErrnoText(EISDIR));
#endif
    EXPECT_FALSE(file.IsOpen());
}

#ifndef _WIN32
// A path a folder's listing named a regular file is opened without a look
// first; should it have become a folder or a FIFO since, the open still
// returns at once and refuses it. A file that opens is measured as Stat says.
TEST(ReadOnlyFile, ListedAsRegularFileIsCheckedOnceOpen)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct
    {
        std::string path;
        std::string error;
    } refused[] = {{Utf8FromPath(dir.path()), ErrnoText(EISDIR)}, {fifo, "not a regular file"}};
    for (const auto &c : refused) {
        TReadOnlyFile file;
        TReadOnlyFile::Identity measured;
        EXPECT_FALSE(file.Open(c.path, &measured, TListedAs::RegularFile)) << c.path;
        EXPECT_EQ(file.Error(), c.error) << c.path;
        EXPECT_FALSE(file.IsOpen());
    }

    const std::string path = dir.file("three");
    testsupport::WriteFile(path, std::string("abc"));
    TReadOnlyFile file;
    TReadOnlyFile::Identity measured, stated;
    ASSERT_TRUE(file.Open(path, &measured, TListedAs::RegularFile)) << file.Error();
    ASSERT_TRUE(file.Stat(stated));
    EXPECT_EQ(measured, stated);
    EXPECT_EQ(measured.size, 3);
    char bytes[4] = {};
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 3); // blocking reads: the whole file
}
#endif

// A file whose path is longer than the 260 characters of the plain Windows
// form opens and reads.
TEST(ReadOnlyFile, PathsLongerThanMaxPath)
{
    TempDir dir;
    std::string folder = Utf8FromPath(dir.path());
    for (int depth = 0; depth < 6; ++depth) {
        folder += "/" + std::string(50, static_cast<char>('a' + depth));
#ifdef _WIN32
        ASSERT_TRUE(CreateDirectoryW(SystemPath(folder).c_str(), nullptr)) << folder;
#else
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0) << folder;
#endif
    }
    const std::string path = folder + "/\xC3\xA9t\xC3\xA9.bin";
    ASSERT_GT(path.size(), 300u);
#ifdef _WIN32
    const HANDLE out = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(out, "abc", 3, &written, nullptr);
    CloseHandle(out);
#else
    testsupport::WriteFile(path, std::string("abc"));
#endif
    TReadOnlyFile file;
    ASSERT_TRUE(file.Open(path)) << file.Error();
    EXPECT_EQ(ReadOrFail(file, 10), std::vector<std::uint8_t>({'a', 'b', 'c'}));
}

#ifdef _WIN32

// Only paths too long for the plain form change, into the extended form of
// their full path (which the system does not normalise, so it is normalised
// first); the others stay as they are, relative ones included.
TEST(ReadOnlyFile, SystemPathExtendsLongPathsOnly)
{
    const std::string segment(100, 'x');
    const std::wstring wideSegment(100, L'x');
    struct Case
    {
        std::string path;
        std::wstring expected;
    };
    const Case cases[] = {
        {"C:\\a\\b.txt", L"C:\\a\\b.txt"},
        {"b.txt", L"b.txt"},
        {"\\\\?\\C:\\" + segment + "\\" + segment + "\\" + segment, L"\\\\?\\C:\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment},
        {"C:/" + segment + "/./" + segment + "/../" + segment + "/" + segment + "/f",
         L"\\\\?\\C:\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment + L"\\f"},
        {"\\\\server\\share\\" + segment + "\\" + segment + "\\" + segment,
         L"\\\\?\\UNC\\server\\share\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment},
        {"C:\\\xC3\xA9" + segment + "\\" + segment + "\\" + segment,
         L"\\\\?\\C:\\\u00E9" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SystemPath(c.path), c.expected) << c.path;
}

// The system's texts come in UTF-8 whatever the ANSI code page: the 8-bit
// call gave "Acc\xE8s refus\xE9" in code page 1252.
TEST(ReadOnlyFile, SystemErrorTextIsUtf8)
{
    const std::string french = SystemErrorText(ERROR_ACCESS_DENIED, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    if (french == "system error")
        GTEST_SKIP() << "the system has no French texts";
    EXPECT_EQ(french, "Acc\xC3\xA8s refus\xC3\xA9");
}

#endif
