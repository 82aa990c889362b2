#pragma once

// A file entry as the hashing runs see it. A run drives its entry through
// three steps only: BeginRun (the file and what to compute), ChunkDone once
// for each chunk 1..n in order, and EndRun with the digests or the reason it
// failed. Whether the digests may be published (the file unchanged, no byte
// beyond its size, one digest per chunk...) is the entry's to judge, in EndRun.
// The runs know no more of the entry than this: TDonkeyFile implements it.

#include <atomic>
#include <cstdint>
#include <exception>
#include <span>
#include <string>

class TAichHash;
class TReadOnlyFile;

// The hash kinds an entry computes: bit 0 eDonkey2000, bit 1 FileSpree, bit 2
// the AICH root (SHA-1 tree), bit 3 keeps the eDonkey2000 part hashes (the
// chunk digests) once the run ends, for links of files of several chunks.
using THashSelection = std::uint8_t;
inline constexpr THashSelection hsDonkey = 1;
inline constexpr THashSelection hsFileSpree = 2;
inline constexpr THashSelection hsAll = hsDonkey | hsFileSpree;
inline constexpr THashSelection hsAich = 4;
inline constexpr THashSelection hsPartHashes = 8;

// The reasons a run gives itself.
inline constexpr const char *StoppedText = "stopped";
inline constexpr const char *ShrankText = "the file shrank while it was read";

struct TRunStart
{
    // The open file, read from its start or at its offsets; null when there is
    // nothing to hash (no kind selected, or the file cannot be opened: the
    // entry then shows why, and its run is over).
    TReadOnlyFile *File = nullptr;
    // No file because the process has no descriptor (handle) left: it may
    // open once other files are closed.
    bool ShortOfHandles = false;
    std::int64_t Size = 0;
    THashSelection Selection = 0;
};

struct TRunEnd
{
    // One 16-byte digest per chunk, in chunk order; empty without eDonkey2000.
    std::span<const std::uint8_t> ChunkDigests = {};
    // The finished MD5, with FileSpree.
    const std::uint8_t *Md5 = nullptr;
    // The AICH tree, given every byte, with hsAich.
    TAichHash *Aich = nullptr;
    // Why the run failed; empty when it read the file through.
    std::string Failure = {};
    // The run's last read asked for a byte past the size and the file ended
    // where its size said: there is no need to look past it again.
    bool EndSeen = false;
};

class TRunEntry
{
public:
    // stop, when given, is the run's Stop: the entry may wait before the
    // file can be read (a file that may be being written), and ends that wait
    // when it is set.
    virtual TRunStart BeginRun(const std::atomic<bool> *stop) = 0;
    virtual void ChunkDone(std::int32_t chunk) = 0;
    // Ends the run and closes the file, whether it succeeded or not.
    virtual void EndRun(TRunEnd end) = 0;

protected:
    ~TRunEntry() = default;
};

// A caught exception as a reason to show: its message, "out of memory" for a
// failed allocation.
std::string DescribeException(const std::exception_ptr &error);

// Ends entry's run as failed with reason, as far as memory allows: under a
// shortage even that may throw, and the caller must still go on.
void FailRun(TRunEntry &entry, const std::string &reason) noexcept;
void FailRun(TRunEntry &entry, const std::exception_ptr &error) noexcept;
