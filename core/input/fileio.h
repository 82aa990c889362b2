#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#ifdef _WIN32
#include <mutex>
#include <vector>
#endif

// Names are UTF-8 bytes everywhere in the core. On Linux a path is those bytes
// as they stand; on Windows they are converted to and from the wide API here,
// at the edge, never through the 8-bit code page.
std::filesystem::path PathFromUtf8(const std::string &path);
std::string Utf8FromPath(const std::filesystem::path &path);
// The C library's text for an errno value. Safe from several threads at once,
// unlike std::strerror, whose text may live in a buffer that every thread shares.
std::string ErrnoText(int code);
#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
// The system's text for an error code of GetLastError, in UTF-8, in the
// language given (a LANGID; 0 for the user's own).
std::string SystemErrorText(unsigned long code, unsigned long language = 0);
// The wide form of a path for the system's file calls. A path whose full form
// is too long for them (MAX_PATH, less the room a folder keeps for its file
// names) becomes that full form, extended: \\?\C:\... or \\?\UNC\server\...
std::wstring SystemPath(const std::string &path);
#endif

// Why a file is not read: another program is writing it (TReadOnlyFile::Settle).
inline constexpr const char *BeingWrittenText = "the file is being written by another program";

// What is known of a path before it is opened: a folder's listing may have
// said it names a regular file (the walk of a folder reads the types there).
enum class TListedAs {
    Unknown,
    RegularFile,
};

// A file opened read-only, sharing read and write with other programs. Only
// regular files open; opening never blocks (a FIFO or a device is refused).
class TReadOnlyFile final
{
public:
    struct Identity
    {
        std::int64_t size = 0;
        std::int64_t modified = 0; // nanoseconds, as the system reports them
        // Status change time, in nanoseconds: unlike the modification time, no
        // program can set it back, so a rewrite shows here even when it hides
        // from the modification time.
        std::int64_t changed = 0;
        bool operator==(const Identity &) const = default;
    };

    TReadOnlyFile() = default;
    ~TReadOnlyFile();
    TReadOnlyFile(const TReadOnlyFile &) = delete;
    TReadOnlyFile &operator=(const TReadOnlyFile &) = delete;

    // Opens path; on failure returns false and leaves the reason in Error().
    // measured, when given, receives what Stat would say of the open file.
    // A path listed as a regular file is not looked at before it is opened:
    // the listing looked (the open file's type is checked all the same).
    bool Open(const std::string &path, Identity *measured = nullptr, TListedAs listed = TListedAs::Unknown);
    void Close();
    bool IsOpen() const;

    // Size, modification and change times as they are now; false (with Error()) on failure.
    bool Stat(Identity &identity);

    // Readies the file for reads that must all see one content of it, the one
    // measured (Stat) into `measured`, so that comparing the file's times after
    // the last read tells whether it was written meanwhile. Returns why the
    // reads should not begin (BeingWrittenText), or empty. Three things could
    // hide a write from that comparison:
    //  - a writer that rewrites the file in several writes and pauses between
    //    two of them leaves a state of it that is no content: a file changed
    //    in the last two seconds and open for writing elsewhere is taken as
    //    being written (on Linux this can be told of the user's own files, or
    //    with CAP_LEASE, on the local file systems; on Windows of any). Where
    //    it cannot be told, such a file is read once it has been left alone
    //    for those two seconds, and a change meanwhile is taken as a writer
    //    at work; a Stop (stop, when given) ends that wait;
    //  - a write under way since before `measured` was taken, whose times were
    //    stamped before it, goes on changing bytes: on Linux a seek for data
    //    waits for it (ext4, XFS, Btrfs and tmpfs lock the file for a write
    //    and for that seek alike);
    //  - the system stamps the times from a clock that moves in ticks (4 ms
    //    here, about 16 ms on Windows), so a write in the tick of the last
    //    stamp may leave them as they are: when the change time of `measured`
    //    falls in the current tick, this waits for the tick to pass.
    // Costs one system call for a file that did not change in the last two
    // seconds. Moves the position of the file's descriptor, not Read's.
    std::string Settle(const Identity &measured, const std::atomic<bool> *stop = nullptr);

    // Reads up to count bytes at the current position (Read's own, which only
    // Read and Seek move), retrying interrupted and partial reads. Returns the
    // byte count (short only at end of file), or -1 on a read error (reason
    // in Error()). One thread at a time.
    std::int64_t Read(void *buffer, std::size_t count);

    // Read's last read of a file: reads count bytes as Read does, and asks for
    // one byte more in the same call (buffer holds count + 1). Returns count
    // + 1 when the file goes on past them, count when it ends right there,
    // less when it ends earlier, -1 on a read error.
    std::int64_t ReadAndPeek(void *buffer, std::size_t count);

    // Tells the system that the file is about to be read once, front to back.
    void AdviseSequential();

    bool Seek(std::int64_t offset);

    // Reads up to count bytes at offset without moving the current position,
    // as Read does otherwise. Safe from several threads at once, and the reads
    // go on side by side (on Windows the file is opened for overlapped reads,
    // whose offsets belong to each read, and Read keeps its own position): the
    // reason of a failure goes to error, never to Error().
    std::int64_t ReadAt(std::int64_t offset, void *buffer, std::size_t count, std::string &error) const;

    const std::string &Error() const { return m_error; }
    // The last Open failed because the process (or the system) has no file
    // descriptor or handle left: it may succeed once other files are closed.
    bool ShortOfHandles() const { return m_shortOfHandles; }

private:
    void SetErrorFromSystem();

#ifdef _WIN32
    class TEventLease;
    void *m_handle = nullptr;
    // Where Read goes on: a handle opened for overlapped reads has no position.
    std::int64_t m_position = 0;
    // Events of reads that ended, for the next ones (see TEventLease).
    mutable std::mutex m_eventsLock;
    mutable std::vector<void *> m_spareEvents;
#else
    int m_fd = -1;
    std::int64_t m_position = 0;
#endif
    std::string m_error;
    bool m_shortOfHandles = false;
};
