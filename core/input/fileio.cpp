#include "input/fileio.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>
#endif

TReadOnlyFile::~TReadOnlyFile()
{
    Close();
}

std::filesystem::path PathFromUtf8(const std::string &path)
{
#ifdef _WIN32
    return std::filesystem::path(WideFromUtf8(path));
#else
    return std::filesystem::path(path);
#endif
}

std::string Utf8FromPath(const std::filesystem::path &path)
{
#ifdef _WIN32
    return Utf8FromWide(path.native());
#else
    return path.native();
#endif
}

namespace {

// Each C library's reentrant form: the GNU strerror_r returns the text (in
// buffer or a constant), the POSIX one fills buffer; Windows has strerror_s.
[[maybe_unused]] const char *ErrorTextOf(const char *returned, const char *)
{
    return returned;
}
[[maybe_unused]] const char *ErrorTextOf(int returned, const char *buffer)
{
    return returned == 0 ? buffer : nullptr;
}

} // namespace

std::string ErrnoText(int code)
{
    char buffer[256] = "";
#ifdef _WIN32
    const char *text = strerror_s(buffer, sizeof buffer, code) == 0 ? buffer : nullptr;
#else
    const char *text = ErrorTextOf(::strerror_r(code, buffer, sizeof buffer), buffer);
#endif
    return text && *text ? std::string(text) : "error " + std::to_string(code);
}

namespace {

// A file changed this recently and held open for writing by another program
// is being written: a pause of the writer between two of its writes would
// otherwise pass for a finished file.
constexpr std::int64_t RecentChangeNs = 2'000'000'000;

// Waits until the clock that stamps file times, read by now() in
// nanoseconds and moving by `tick` at a time, has moved past a change time
// `changed` that falls in its current tick (or the next one: a fine-grained
// stamp may run ahead of the coarse clock). A change time outside that span
// cannot be stamped again by a write to come, and costs no wait.
template <typename TNow>
void WaitPastStampTick(std::int64_t changed, std::int64_t tick, TNow now)
{
    std::int64_t at = now();
    // A stamp of an earlier tick differs from any a write can make now; one
    // far ahead (the clock was set back) is not waited for.
    if (tick <= 0 || changed < at || changed > at + tick)
        return;
    // In steps of an eighth of a tick, two ticks at most whatever the clock
    // does meanwhile.
    const auto step = std::chrono::nanoseconds(std::max<std::int64_t>(tick / 8, 1000));
    for (int steps = 0; at <= changed && steps < 16; ++steps) {
        std::this_thread::sleep_for(step);
        at = now();
    }
}

} // namespace

#ifdef _WIN32

std::wstring WideFromUtf8(std::string_view text)
{
    // Bytes that are no UTF-8 become U+FFFD: such a name names no file here.
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Utf8FromWide(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr,
                            nullptr);
    return narrow;
}

std::string SystemErrorText(unsigned long code, unsigned long language)
{
    // The wide text, turned into UTF-8 here: the 8-bit call would give it in
    // the ANSI code page ("Acc\xE8s refus\xE9"), which is no UTF-8.
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, language, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string message = text && length > 0 ? Utf8FromWide(std::wstring_view(text, length)) : "system error";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'
                                || message.back() == ' '))
        message.pop_back();
    return message;
}

std::wstring SystemPath(const std::string &path)
{
    std::wstring wide = WideFromUtf8(path);
    const auto starts = [](const std::wstring &text, const wchar_t *start) { return text.starts_with(start); };
    // Already extended, or a device: as it stands.
    if (starts(wide, L"\\\\?\\") || starts(wide, L"\\\\.\\") || wide.empty())
        return wide;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return wide;
    full.resize(length);
    // A folder's own path must leave room for an 8.3 name below MAX_PATH; a
    // file's may run to MAX_PATH less its terminator. Below both, the plain
    // form works on every system, and is kept.
    if (full.size() < MAX_PATH - 12)
        return wide;
    // The extended form is not normalised by the system: the full path is.
    if (starts(full, L"\\\\?\\") || starts(full, L"\\\\.\\"))
        return full;
    if (starts(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    return wide;
}

bool TReadOnlyFile::Open(const std::string &path, Identity *measured, TListedAs)
{
    Close();
    m_shortOfHandles = false;
    // Overlapped: ReadAt's reads carry their own offsets and run side by side
    // from several threads. A synchronous handle would move its one file
    // position with each of them and let only one read run at a time.
    // Backup semantics let a folder open too, so that it is told as one below
    // (without them its open fails with "Access is denied").
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_shortOfHandles = GetLastError() == ERROR_TOO_MANY_OPEN_FILES;
        SetErrorFromSystem();
        return false;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        m_error = "not a regular file";
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        m_error = "is a folder";
        return false;
    }
    m_handle = handle;
    m_position = 0;
    m_error.clear();
    if (measured && !Stat(*measured)) {
        const std::string reason = m_error;
        Close();
        m_error = reason;
        return false;
    }
    return true;
}

void TReadOnlyFile::Close()
{
    if (m_handle) {
        CloseHandle(static_cast<HANDLE>(m_handle));
        m_handle = nullptr;
    }
    const std::lock_guard lock(m_eventsLock);
    for (void *event : m_spareEvents)
        CloseHandle(static_cast<HANDLE>(event));
    m_spareEvents.clear();
}

bool TReadOnlyFile::IsOpen() const
{
    return m_handle != nullptr;
}

namespace {

// A file time (100 ns steps since 1601) in nanoseconds since 1970, as Linux
// gives its times. Counted from 1601 in nanoseconds, today's times would
// overflow 64 bits; times past 2262, which no nanosecond count reaches, stay
// at the largest one.
std::int64_t NanosecondsOfFileTime(std::uint64_t fileTime)
{
    constexpr std::int64_t From1601To1970 = 116444736000000000; // in 100 ns steps
    constexpr std::int64_t Largest = std::numeric_limits<std::int64_t>::max();
    if (fileTime > static_cast<std::uint64_t>(Largest / 100 + From1601To1970))
        return Largest;
    return (static_cast<std::int64_t>(fileTime) - From1601To1970) * 100;
}

} // namespace

bool TReadOnlyFile::Stat(Identity &identity)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(static_cast<HANDLE>(m_handle), &info)) {
        SetErrorFromSystem();
        return false;
    }
    identity.size = (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.modified = NanosecondsOfFileTime((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32)
                                              | info.ftLastWriteTime.dwLowDateTime);
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(static_cast<HANDLE>(m_handle), FileBasicInfo, &basic, sizeof basic)) {
        SetErrorFromSystem();
        return false;
    }
    identity.changed = NanosecondsOfFileTime(static_cast<std::uint64_t>(basic.ChangeTime.QuadPart));
    return true;
}

std::string TReadOnlyFile::Settle(const Identity &, const std::atomic<bool> *)
{
    // Nothing here waits for a write under way: only the tick of the clock
    // that stamps the change time is waited for. Counted in
    // the file times' own units (100 ns) from the change time, so that no
    // product of them can overflow.
    const auto handle = static_cast<HANDLE>(m_handle);
    FILE_BASIC_INFO basic;
    DWORD increment = 0;
    DWORD adjustment = 0;
    BOOL adjustmentDisabled = FALSE;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
        || !GetSystemTimeAdjustment(&adjustment, &increment, &adjustmentDisabled))
        return {};
    const std::int64_t changed = basic.ChangeTime.QuadPart;
    const auto sinceChanged = [changed] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const auto ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32)
                                                     | now.dwLowDateTime);
        constexpr std::int64_t bound = INT64_MAX / 200;
        return std::clamp(ticks - changed, -bound, bound) * 100;
    };
    if (sinceChanged() < RecentChangeNs) {
        // Another handle with write access refuses a handle that shares no
        // writing.
        const HANDLE alone = ReOpenFile(handle, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, 0);
        if (alone != INVALID_HANDLE_VALUE)
            CloseHandle(alone);
        else if (GetLastError() == ERROR_SHARING_VIOLATION)
            return BeingWrittenText;
    }
    WaitPastStampTick(0, static_cast<std::int64_t>(increment) * 100, sinceChanged);
    return {};
}

// An event for one overlapped read to signal, taken from the file's spares
// and given back when the read ends: the reads at once never share one, and
// one after another make none anew.
class TReadOnlyFile::TEventLease final
{
public:
    explicit TEventLease(const TReadOnlyFile &file)
        : m_file(file)
    {
        {
            const std::lock_guard lock(file.m_eventsLock);
            if (!file.m_spareEvents.empty()) {
                m_event = file.m_spareEvents.back();
                file.m_spareEvents.pop_back();
                return;
            }
        }
        m_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~TEventLease()
    {
        if (!m_event)
            return;
        try {
            const std::lock_guard lock(m_file.m_eventsLock);
            m_file.m_spareEvents.push_back(m_event);
        } catch (...) {
            CloseHandle(m_event);
        }
    }
    TEventLease(const TEventLease &) = delete;
    TEventLease &operator=(const TEventLease &) = delete;
    HANDLE Handle() const { return m_event; }

private:
    const TReadOnlyFile &m_file;
    HANDLE m_event = nullptr;
};

std::int64_t TReadOnlyFile::ReadAt(std::int64_t offset, void *buffer, std::size_t count, std::string &error) const
{
    if (offset < 0) {
        error = SystemErrorText(ERROR_NEGATIVE_SEEK);
        return -1;
    }
    // Each read waits for an event of its own: the handle itself is signalled
    // by whichever read on it ends first.
    const TEventLease event(*this);
    if (!event.Handle()) {
        error = SystemErrorText(GetLastError());
        return -1;
    }
    const auto handle = static_cast<HANDLE>(m_handle);
    auto *out = static_cast<char *>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        const std::uint64_t at = static_cast<std::uint64_t>(offset) + done;
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        where.hEvent = event.Handle();
        DWORD got = 0;
        if (!ReadFile(handle, out + done, want, nullptr, &where) && GetLastError() != ERROR_IO_PENDING) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF)
                break;
            error = SystemErrorText(code);
            return -1;
        }
        if (!GetOverlappedResult(handle, &where, &got, TRUE)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF)
                break;
            error = SystemErrorText(code);
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t TReadOnlyFile::ReadAndPeek(void *buffer, std::size_t count)
{
    return Read(buffer, count + 1);
}

void TReadOnlyFile::AdviseSequential()
{
    // FILE_FLAG_SEQUENTIAL_SCAN at opening already says so.
}

bool TReadOnlyFile::Seek(std::int64_t offset)
{
    if (offset < 0) {
        m_error = SystemErrorText(ERROR_NEGATIVE_SEEK);
        return false;
    }
    m_position = offset;
    return true;
}

void TReadOnlyFile::SetErrorFromSystem()
{
    m_error = SystemErrorText(GetLastError());
}

#else

namespace {

TReadOnlyFile::Identity IdentityOf(const struct stat &st)
{
    return {.size = static_cast<std::int64_t>(st.st_size),
            .modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            .changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

} // namespace

bool TReadOnlyFile::Open(const std::string &path, Identity *measured, TListedAs listed)
{
    Close();
    m_shortOfHandles = false;
    // Look before opening: opening a FIFO would block, opening a device may
    // act. A folder's listing that said "regular file" has looked already.
    if (listed != TListedAs::RegularFile) {
        struct stat before;
        if (::stat(path.c_str(), &before) != 0) {
            SetErrorFromSystem();
            return false;
        }
        if (S_ISDIR(before.st_mode)) {
            m_error = ErrnoText(EISDIR);
            return false;
        }
        if (!S_ISREG(before.st_mode)) {
            m_error = "not a regular file";
            return false;
        }
    }
    // O_NONBLOCK: should the path have become a FIFO meanwhile, open still
    // returns. The descriptor keeps it: it changes nothing for the reads of a
    // regular file, the only kind kept open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        m_shortOfHandles = errno == EMFILE || errno == ENFILE;
        SetErrorFromSystem();
        return false;
    }
    struct stat after;
    const bool looked = ::fstat(fd, &after) == 0;
    if (!looked || !S_ISREG(after.st_mode)) {
        m_error = looked && S_ISDIR(after.st_mode) ? ErrnoText(EISDIR) : "not a regular file";
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_position = 0;
    m_error.clear();
    if (measured)
        *measured = IdentityOf(after);
    return true;
}

void TReadOnlyFile::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool TReadOnlyFile::IsOpen() const
{
    return m_fd >= 0;
}

bool TReadOnlyFile::Stat(Identity &identity)
{
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        SetErrorFromSystem();
        return false;
    }
    identity = IdentityOf(st);
    return true;
}

std::int64_t TReadOnlyFile::ReadAt(std::int64_t offset, void *buffer, std::size_t count, std::string &error) const
{
    auto *out = static_cast<char *>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = ErrnoText(errno);
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t TReadOnlyFile::ReadAndPeek(void *buffer, std::size_t count)
{
    // A read of a regular file that returns less than it asked for has met
    // the file's end: once count bytes are in, such a read tells the end
    // with no read of its own.
    auto *out = static_cast<char *>(buffer);
    const std::size_t asked = count + 1;
    std::size_t done = 0;
    while (done < asked) {
        const std::size_t want = asked - done;
        const ssize_t n = ::pread(m_fd, out + done, want, static_cast<off_t>(m_position));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = ErrnoText(errno);
            return -1;
        }
        done += static_cast<std::size_t>(n);
        m_position += n;
        if (n == 0 || (static_cast<std::size_t>(n) < want && done >= count))
            break;
    }
    return static_cast<std::int64_t>(done);
}

void TReadOnlyFile::AdviseSequential()
{
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

bool TReadOnlyFile::Seek(std::int64_t offset)
{
    if (offset < 0) {
        m_error = ErrnoText(EINVAL);
        return false;
    }
    m_position = offset;
    return true;
}

namespace {

// Whether another open file has the file open for writing, as far as this
// system can tell: a read lease is refused then. Only the file's owner (or a
// process with CAP_LEASE) may take one, and only the local file systems named
// here refuse it for that reason alone (NFS and SMB refuse it whenever the
// server has not delegated the file); elsewhere this cannot tell.
enum class TWriters { None, Some, Unknown };

TWriters WritersElsewhere(int fd)
{
    struct statfs where;
    if (::fstatfs(fd, &where) != 0)
        return TWriters::Unknown;
    switch (static_cast<unsigned long>(where.f_type)) {
    case EXT4_SUPER_MAGIC: // ext2 and ext3 too
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
        break;
    default:
        return TWriters::Unknown;
    }
    // A program that opens the file for writing while the lease is held waits
    // until it is let go (at once), and this process is told by a signal:
    // SIGURG, which nothing here handles and which is ignored unless a program
    // asks for it, rather than SIGIO, which would end the process.
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0)
        return TWriters::Unknown;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return TWriters::None;
    }
    return errno == EAGAIN ? TWriters::Some : TWriters::Unknown;
}

std::int64_t CoarseClockNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

std::string TReadOnlyFile::Settle(const Identity &measured, const std::atomic<bool> *stop)
{
    const std::int64_t now = CoarseClockNs();
    const TWriters writers = now - measured.changed < RecentChangeNs ? WritersElsewhere(m_fd) : TWriters::None;
    if (writers == TWriters::Some)
        return BeingWrittenText;
    timespec resolution{};
    const std::int64_t tick = ::clock_getres(CLOCK_REALTIME_COARSE, &resolution) == 0
                                  ? static_cast<std::int64_t>(resolution.tv_sec) * 1000000000 + resolution.tv_nsec
                                  : 0;
    WaitPastStampTick(measured.changed, tick, CoarseClockNs);
    if (writers == TWriters::Unknown && measured.changed - now < RecentChangeNs) {
        // Nothing says whether a writer holds the file (another user's file,
        // a file system without leases), and a writer between two of its
        // writes leaves a state of the file that is no content. The file is
        // read once it has been left alone as long as a file that nobody
        // holds must be; a write meanwhile moves its times, the tick of its
        // last change being past. A stamp that far ahead of the clock (set
        // by another machine's clock) is not waited for, so that the wait
        // stays bounded.
        const std::int64_t quietAt = measured.changed + RecentChangeNs;
        constexpr auto step = std::chrono::milliseconds(10);
        for (;;) {
            Identity seen;
            if (!Stat(seen))
                return Error();
            if (!(seen == measured))
                return BeingWrittenText;
            // A Stop ends the wait: the run ends before its first read.
            if (CoarseClockNs() >= quietAt || (stop && stop->load(std::memory_order_relaxed)))
                break;
            std::this_thread::sleep_for(step);
        }
    }
    // Waits for a write that holds the file's lock; the answer itself does not
    // matter (a file of holes only has no data: ENXIO).
    ::lseek(m_fd, 0, SEEK_DATA);
    return {};
}

void TReadOnlyFile::SetErrorFromSystem()
{
    m_error = ErrnoText(errno);
}

#endif

std::int64_t TReadOnlyFile::Read(void *buffer, std::size_t count)
{
    std::string error;
    const std::int64_t got = ReadAt(m_position, buffer, count, error);
    if (got < 0) {
        m_error = std::move(error);
        return -1;
    }
    m_position += got;
    return got;
}
