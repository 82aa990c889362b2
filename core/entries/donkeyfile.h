#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "digests/MessageDigests.h"
#include "digests/aich.h"
#include "input/fileio.h"

// The hash kinds an entry computes: bit 0 eDonkey2000, bit 1 FileSpree, bit 2
// the AICH root (SHA-1 tree), bit 3 keeps the eDonkey2000 part hashes (the
// chunk digests) once the run ends, for links of files of several chunks.
using THashSelection = std::uint8_t;
inline constexpr THashSelection hsDonkey = 1;
inline constexpr THashSelection hsFileSpree = 2;
inline constexpr THashSelection hsAll = hsDonkey | hsFileSpree;
inline constexpr THashSelection hsAich = 4;
inline constexpr THashSelection hsPartHashes = 8;

// The state words shown in place of a hash or link.
inline constexpr std::string_view UnknownText = "Unknown";
inline constexpr std::string_view ErrorText = "Error !";
inline constexpr std::string_view NotAvailableText = "N/A";

// Length of an eDonkey2000 chunk: 9,500 KiB.
inline constexpr std::int64_t DonkeyChunkSize = 9728000;

// Processor cores shared by hashing runs that go on at once. Each run holds
// one token for its own thread; a run that would put its MD5 on a second
// thread does so only if it can take one more token at once, so that several
// runs together never keep more threads busy than there are tokens.
class TCoreTokens final
{
public:
    explicit TCoreTokens(unsigned count) : m_free(count) {}
    TCoreTokens(const TCoreTokens &) = delete;
    TCoreTokens &operator=(const TCoreTokens &) = delete;

    // Waits for a token.
    void Acquire();
    // Takes a token if one is free now.
    bool TryAcquire();
    void Release();

private:
    std::mutex m_mutex;
    std::condition_variable m_freed;
    unsigned m_free;
};

// How a hashing run spreads its work. The defaults are the fastest layout;
// tests vary them to show that the results never depend on it.
struct THashOptions
{
    // Bytes per read; rounded down to whole 64-byte blocks, never crosses a chunk.
    std::size_t ReadBlockSize = 1024 * 1024;
    // Run MD4 and MD5 on two threads side by side when both are selected.
    bool Parallel = true;
    // Files shorter than this are hashed on one thread even when Parallel is set.
    std::int64_t ParallelThreshold = 4 * 1024 * 1024;
    // When set, the second thread needs a free token of these (see TCoreTokens).
    std::shared_ptr<TCoreTokens> HelperTokens;
    // With eDonkey2000 the only kind, hash several chunks at once in the lane
    // engines (and, under Parallel, on two threads).
    bool Lanes = true;
};

// Everything a list row, a dialog or an export shows of an entry, taken at one
// moment under the entry's lock. The descriptor fields stay zero and empty for
// a plain file.
struct TEntrySnapshot
{
    bool IsPartFile = false;
    std::string Name;
    std::string DisplayName;
    std::int64_t Size = 0;
    // The raw texts ("Unknown", "Error !" or the hash).
    std::string DonkeyHash;
    std::string FileSpreeHash;
    std::string AichHash;
    // The chunk digests in upper-case hexadecimal joined by ":", kept only for
    // a file of several chunks hashed with hsPartHashes; empty otherwise.
    std::string PartHashes;
    THashSelection HashSelection = 0;
    bool OpenFailed = false;
    std::int32_t CurrentChunk = 0;
    // Why the last open or run failed, and what a reading found amiss though
    // it kept what it read; both empty when all went well.
    std::string Failure;
    std::string Warning;

    std::uint64_t Transferred = 0;
    std::string TempFileName;
    std::string FileType;
    std::string FileFormat;
    std::uint32_t Priority = 0;
    std::uint32_t Status = 0;

    // The hash texts as shown: "N/A" for a kind not computed.
    std::string DonkeyHashText() const;
    std::string FileSpreeHashText() const;
    std::string AichHashText() const;
};

// The name after its last path separator ("/" on Linux, "\\", "/" and ":" on
// Windows), separators at its end left out ("a/b/" gives "b"); a name without
// any other component ("/", "C:\\") stays whole.
std::string DisplayNameOf(std::string_view name);

// One file of the list: its name, size and hashes. Every getter may be called
// from any thread while a refresh rewrites the entry: what a run changes is read
// and replaced whole under the entry's lock, the getters return copies, and
// Snapshot() gives all the shown fields of one moment. The link-name texts, the
// path and the selection never change after construction; OnNewBlock and
// HashOptions are set between runs only, never while one goes on.
class TDonkeyFile
{
public:
    using TNewBlockEvent = std::function<void(TDonkeyFile &)>;

    TDonkeyFile(const std::string &path, THashSelection selection);
    TDonkeyFile(const std::string &path, const std::string &replaceSpaceStr,
                const std::string &nameSuffix, const std::string &namePrefix,
                THashSelection selection);
    virtual ~TDonkeyFile();

    TDonkeyFile(const TDonkeyFile &) = delete;
    TDonkeyFile &operator=(const TDonkeyFile &) = delete;

    // The guarded run: true when ComputeHashes ran (whether or not the file read
    // through; a failed read leaves both texts "Error !" and Failure() set). An
    // exception from the run leaves the entry failed the same way, then goes on
    // to the caller.
    virtual bool HashFile();
    // (Re)opens Path and measures it.
    bool OpenFile();

    std::int32_t ChunkCount() const;
    std::string DisplayName() const;
    std::string DonkeyHashText() const;
    std::string FileSpreeHashText() const;
    // The AICH root in base 32, or a state word; "N/A" when not computed.
    std::string AichHashText() const;

    // Links and the link name. The ed2k link carries p= and h= when the entry
    // kept part hashes or computed its AICH root; without them it is the plain
    // "ed2k://|file|NAME|SIZE|HASH|".
    std::string LinkName() const;
    std::string DonkeyLink() const;
    // As an HTML anchor <a href="LINK">NAME</a>. Unicode: for text that must
    // be valid UTF-8 (the clipboard), a name byte that is no part of UTF-8 is
    // %XX in the link and U+FFFD in the visible name; Kept: the name's bytes.
    enum class TNameBytes
    {
        Kept,
        Unicode,
    };
    std::string DonkeyLinkHtml(TNameBytes bytes = TNameBytes::Kept) const;
    std::string FileSpreeLink() const;

    std::string Name() const;
    std::string Path() const { return m_path; }
    std::int64_t Size() const;
    std::string DonkeyHash() const;
    std::string FileSpreeHash() const;
    std::string AichHash() const;
    // See TEntrySnapshot::PartHashes.
    std::string PartHashes() const;
    THashSelection HashSelection() const { return m_hashSelection; }
    bool OpenFailed() const;
    std::int32_t CurrentChunk() const;
    const std::string &NamePrefix() const { return m_namePrefix; }
    const std::string &NameSuffix() const { return m_nameSuffix; }
    const std::string &ReplaceSpaceStr() const { return m_replaceSpaceStr; }
    // Why the last open or run failed; empty when it did not.
    std::string Failure() const;
    // What the last reading found amiss while keeping what it read (a cut
    // descriptor); empty when nothing was.
    std::string Warning() const;
    // Ends the entry's run as failed: both texts "Error !", reason as Failure().
    void MarkFailed(std::string reason);
    // The fields a view shows, all from one moment, for one lock.
    virtual TEntrySnapshot Snapshot() const;

    // A run driven from outside the entry, for files hashed side by side
    // (lanehasher.h). BeginRun opens the file and returns it, or nullptr when
    // there is nothing to hash (no kind selected, or the file cannot be
    // opened: the entry then shows why). ChunkDone reports chunk k as hashed.
    // EndRun ends the run and closes the file: with a failure the entry is
    // marked failed with it; otherwise the file must end where its size said,
    // unchanged, and the digests of the selected kinds are published (one
    // 16-byte digest per chunk, empty without eDonkey2000; the MD5; the AICH
    // tree).
    TReadOnlyFile *BeginRun();
    void ChunkDone(std::int32_t chunk);
    void EndRun(std::span<const std::uint8_t> chunkDigests, const std::uint8_t *md5, TAichHash *aich,
                std::string failure);
    // Whether the hashes come from the file's bytes, so that a run of many
    // files may read them; a descriptor reads its own format instead.
    virtual bool HashesContent() const { return true; }

    // Raised after each chunk, in the thread that runs the hashing. Bound before
    // a run and left alone until it ends (the worker binds it, the run reads it).
    TNewBlockEvent OnNewBlock;
    // Layout of the next runs; set before HashFile, not during it.
    THashOptions HashOptions;

protected:
    // Computes the selected hashes from the open file.
    virtual void ComputeHashes();

    // What one reading found, published in one step so that no reader sees half
    // of it. An empty optional leaves its field as it was.
    struct TReadResult
    {
        std::optional<std::string> Name = {};
        std::optional<std::int64_t> Size = {};
        std::string DonkeyHash = {};
        std::string FileSpreeHash = {};
        std::string AichHash = {};
        std::string PartHashes = {};
        std::string Failure = {};
        std::string Warning = {};
    };
    // Replaces the fields of result, then runs more (a subclass's own fields),
    // all under one hold of Lock().
    void Publish(TReadResult result, const std::function<void()> &more = {});

    TReadOnlyFile &File() { return m_file; }
    // Fills the fields of a plain entry; the caller holds Lock().
    void FillSnapshot(TEntrySnapshot &snapshot) const;
    // The lock that guards every field a refresh rewrites while others read.
    std::mutex &Lock() const { return m_lock; }

private:
    // Reads and hashes chunk `chunk` through buffer, blockSize bytes at a time;
    // false when the file did not read through.
    bool HashChunk(std::int32_t chunk, std::uint8_t *buffer, std::size_t blockSize);
    // After the last chunk: true when the file ends there, as its size said.
    bool EndsWhereExpected(std::string &reason);
    // One pass over the file, both digests in this thread, chunk by chunk.
    bool HashSequential();
    // One pass over the file, MD4 and MD5 on two threads side by side.
    bool HashParallel();
    // eDonkey2000 alone: chunks side by side in lanes, on one or two threads.
    bool HashChunkLanes(unsigned threads);
    // The link name of displayName as links carry it: the name's own bytes
    // percent-encoded, the user's texts only where they would break the link.
    std::string EncodedLinkName(std::string_view displayName) const;
    std::string DonkeyLinkOf(const TEntrySnapshot &now) const;
    void ReportChunk(std::int32_t chunk);
    void SetCurrentChunk(std::int32_t chunk);
    // Publishes the hashes of a run that read through, unless the file changed
    // or the run did not give one digest for every chunk.
    void FinishRun(std::span<const std::uint8_t> chunkDigests, const std::uint8_t *md5, TAichHash *aich);
    bool Selected(THashSelection kind) const { return (m_hashSelection & kind) != 0; }

    TReadOnlyFile m_file;
    // Exist only during a run.
    std::vector<std::uint8_t> m_chunkDigests;
    std::unique_ptr<TMD5> m_fileSpreeDigest;
    std::unique_ptr<TAichHash> m_aich;
    TReadOnlyFile::Identity m_openedAs;
    const THashSelection m_hashSelection;
    const std::string m_path;
    const std::string m_namePrefix;
    const std::string m_nameSuffix;
    const std::string m_replaceSpaceStr;

    // Guarded by m_lock: everything a run changes while others may read.
    mutable std::mutex m_lock;
    bool m_openFailed = false;
    std::int32_t m_currentChunk = 0;
    std::string m_name;
    std::int64_t m_size = 0;
    std::string m_donkeyHash;
    std::string m_fileSpreeHash;
    std::string m_aichHash;
    std::string m_partHashes;
    std::string m_failure;
    std::string m_warning;
};

// A caught exception as a reason to show: its message, "out of memory" for a
// failed allocation.
std::string DescribeException(const std::exception_ptr &error);

// The name without its last extension (a leading dot starts no extension).
std::string StripExtension(std::string_view name);
// The extension of a name, its dot included; empty when it has none.
std::string ExtractExtension(std::string_view name);
// Every space of text replaced by replacement; replaced text is not rescanned.
std::string ReplaceSpaces(std::string_view text, std::string_view replacement);
// "%", "|", control bytes and DEL as %XX, so that peers read the name back whole.
std::string EncodeLinkName(std::string_view name);
// "|", control bytes and DEL as %XX: a text the user typed for link names goes
// in as typed ("%20" stays "%20"), but never cuts or breaks the link.
std::string EncodeLinkText(std::string_view text);
// Control bytes and DEL as %XX, so that a name shown in a line of text stays on
// its line and sends nothing to a terminal.
std::string EscapeControlBytes(std::string_view text);
// &, <, > and " as HTML entities.
std::string EscapeHtml(std::string_view text);
// 16 bytes as 32 hexadecimal digits, high nibble first.
std::string HexText(const std::uint8_t *bytes, std::size_t count, bool upperCase);

// The user's decimal separator, from the C library's current locale.
std::string CurrentDecimalPoint();
// "%d o", "%.2f K" or "%.2f M".
std::string SizeText(std::int64_t size, std::string_view decimalPoint = CurrentDecimalPoint());
// The version an executable of ours carries, as 1 to 4 dotted numbers;
// empty for a file without one.
std::string VersionText(const std::string &path, int parts);
