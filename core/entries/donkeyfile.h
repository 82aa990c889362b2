#pragma once

// The file entry: a file's name, size and hash texts, replaced whole under its
// lock while others read them. How the hashes are computed belongs to the runs
// (runs/onefile.h, runs/filelanes.h): the entry begins a run, and judges and
// publishes what the run gives (EndRun).

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "digests/MessageDigests.h"
#include "digests/ed2k.h"
#include "input/fileio.h"
#include "runs/runentry.h"
#include "runs/runoptions.h"

// The state words shown in place of a hash or link.
inline constexpr std::string_view UnknownText = "Unknown";
inline constexpr std::string_view ErrorText = "Error !";
inline constexpr std::string_view NotAvailableText = "N/A";

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
class TDonkeyFile : public TRunEntry
{
public:
    using TNewBlockEvent = std::function<void(TDonkeyFile &)>;

    TDonkeyFile(const std::string &path, THashSelection selection);
    // listed: what a folder's listing said of path (a walk knows the types).
    TDonkeyFile(const std::string &path, const std::string &replaceSpaceStr,
                const std::string &nameSuffix, const std::string &namePrefix,
                THashSelection selection, TListedAs listed = TListedAs::Unknown);
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
    // The magnet link of the ed2k link's values: "magnet:?xt=urn:ed2k:HASH&xl=
    // SIZE&dn=NAME", the link name percent-encoded but for RFC 3986's
    // unreserved characters, then "&xt=urn:aich:ROOT" where the ed2k link has
    // h=; "N/A" likewise.
    std::string MagnetLink() const;

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

    // The run's three steps (runs/runentry.h), for the runs that hash the
    // entry. BeginRun opens the file unless it is open, and empties the hash
    // texts. ChunkDone(k) reports chunk k as hashed (CurrentChunk, OnNewBlock).
    // EndRun closes the file and judges the run: a failure marks the entry
    // failed with it; otherwise the digests are published only when the file
    // ends where its size said, unchanged since it was opened, and the run
    // gave what was selected: one digest for every chunk, each chunk reported,
    // the MD5, the AICH tree.
    TRunStart BeginRun(const std::atomic<bool> *stop) override;
    void ChunkDone(std::int32_t chunk) override;
    void EndRun(TRunEnd end) override;
    // Whether the hashes come from the file's bytes, so that a run of many
    // files may read them; a descriptor reads its own format instead.
    virtual bool HashesContent() const { return true; }

    // Raised after each chunk, in the thread that runs the hashing. Bound before
    // a run and left alone until it ends (the worker binds it, the run reads it).
    TNewBlockEvent OnNewBlock;
    // Layout of the next runs; set before HashFile, not during it.
    THashOptions HashOptions;

protected:
    // Computes the selected hashes from the open file: the run of one file
    // (runs/onefile.h) with HashOptions.
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
    // Why a run that read through may not publish; empty when it may.
    std::string RunFault(const TRunEnd &end);
    // Publishes the hashes of a run that read through.
    void PublishHashes(const TRunEnd &end);
    // The link name of displayName as links carry it: the name's own bytes
    // percent-encoded, the user's texts only where they would break the link.
    std::string EncodedLinkName(std::string_view displayName) const;
    // The link name of displayName, the link-name texts applied.
    std::string LinkNameOf(std::string_view displayName) const;
    std::string DonkeyLinkOf(const TEntrySnapshot &now) const;
    bool Selected(THashSelection kind) const { return (m_hashSelection & kind) != 0; }

    TReadOnlyFile m_file;
    TReadOnlyFile::Identity m_openedAs;
    // For the first opening only: a later one looks at the path again.
    TListedAs m_listedAs = TListedAs::Unknown;
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
