#include "runs/filelanes.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "digests/aich.h"
#include "digests/sha1.h"
#include "input/fileio.h"
#include "runs/lanefeed.h"
#include "runs/onefile.h"
#include "runs/tokens.h"

namespace {

constexpr std::size_t kSmallestManyFilesBlock = 256 * 1024;
// A round runs its MD5 lanes on a second thread only when some file gives it
// at least this much.
constexpr std::size_t kSideThreadBlock = 64 * 1024;

// The SHA-1 of one AICH block, fed through the SHA-1 lanes.
struct TAichLane
{
    TSHA1 digest;
    TLaneFeed feed{digest};
    bool ends = false; // the block's last bytes were fed this round
};

// One entry in the lanes: its file, its digests, and where its block of this
// round lies in the round's buffer.
struct TLaneFile
{
    TLaneFile(TRunEntry &entry, const TRunStart &start)
        : entry(entry)
        , file(*start.File)
        , size(start.Size)
    {
        if (start.Selection & hsFileSpree) {
            md5.emplace();
            md5Feed.emplace(*md5);
        }
        if (start.Selection & hsDonkey) {
            chunk.emplace();
            md4Feed.emplace(*chunk);
            chunkDigests.reserve(static_cast<std::size_t>(DonkeyChunkCount(size)) * DonkeyDigestBytes);
        }
        if (start.Selection & hsAich)
            aich = std::make_unique<TAichHash>(static_cast<std::uint64_t>(size));
    }

    // Feeds the round's block to the SHA-1 lanes, each AICH block it touches
    // in a lane of its own: the rest of the block begun in an earlier round
    // (the first lane), the blocks that follow, whole or begun.
    void FeedAich(TLaneManager &lanes)
    {
        aichUsed = 0;
        const auto from = static_cast<std::uint64_t>(done);
        const std::uint64_t to = from + got;
        for (std::uint64_t at = from; at < to;) {
            const std::uint64_t blockEnd = AichBlockEnd(at, static_cast<std::uint64_t>(size));
            const std::uint64_t end = std::min(blockEnd, to);
            if (aichUsed == aichLanes.size())
                aichLanes.push_back(std::make_unique<TAichLane>());
            TAichLane &lane = *aichLanes[aichUsed++];
            lane.ends = end == blockEnd;
            Feed(lanes, lane.feed, block + (at - from), static_cast<std::size_t>(end - at));
            at = end;
        }
    }

    // Once the SHA-1 lanes are drained: hands the AICH tree the blocks that
    // ended, in order, and keeps the one begun for the next round first.
    void TakeAich()
    {
        for (std::size_t i = 0; i < aichUsed; ++i) {
            TAichLane &lane = *aichLanes[i];
            if (!lane.ends)
                continue;
            lane.digest.Complete();
            TAichDigest digest;
            std::memcpy(digest.data(), lane.digest.Digest().data(), digest.size());
            aich->AddBlockDigest(digest);
            lane.digest.Initialize();
        }
        if (aichUsed > 0 && !aichLanes[aichUsed - 1]->ends)
            std::swap(aichLanes[0], aichLanes[aichUsed - 1]);
    }

    // Ends the chunk just read: keeps its digest and says so.
    void CompleteChunk()
    {
        if (chunk) {
            chunk->Complete();
            chunkDigests.insert(chunkDigests.end(), chunk->Digest().begin(), chunk->Digest().end());
            chunk->Initialize();
        }
        entry.ChunkDone(++chunksDone);
    }

    void End(std::string failure)
    {
        const bool read = failure.empty();
        if (read)
            CompleteChunk(); // the last chunk: short, or empty when the size is a whole number of chunks
        if (read && md5)
            md5->Complete();
        entry.EndRun({.ChunkDigests = chunkDigests,
                      .Md5 = read && md5 ? md5->Digest().data() : nullptr,
                      .Aich = aich.get(),
                      .Failure = std::move(failure),
                      .EndSeen = read && endSeen});
    }

    TRunEntry &entry;
    TReadOnlyFile &file;
    const std::int64_t size;
    std::int64_t done = 0;
    // In place: one allocation a file, not five (with many small files the
    // allocator's cost showed beside the hashing).
    std::optional<TMD5> md5;
    std::optional<TLaneFeed> md5Feed;
    std::optional<TMD4> chunk;
    std::optional<TLaneFeed> md4Feed;
    std::unique_ptr<TAichHash> aich;
    std::vector<std::unique_ptr<TAichLane>> aichLanes;
    std::size_t aichUsed = 0; // lanes fed this round
    std::vector<std::uint8_t> chunkDigests;
    std::int32_t chunksDone = 0;
    const std::uint8_t *block = nullptr;
    std::size_t got = 0;
    // The last read met the file's end where its size said.
    bool endSeen = false;
};

// An entry that could not join the lanes beside the files in them.
struct TWaiting
{
    enum class TWant { Handles, Memory };

    TRunEntry *entry = nullptr;
    TRunStart start = {}; // the run begun, when memory ran short
    TWant want = TWant::Memory;
    std::size_t filesThen = 0; // files in the lanes when it began to wait
};

class TFileLaneRun final
{
public:
    TFileLaneRun(TLaneSource &source, const TLaneHashOptions &options)
        : m_source(source)
        , m_options(options)
        , m_blockSize(LaneReadBlock(options.ReadBlockSize, kSmallestManyFilesBlock))
        , m_md5Lanes(std::make_unique<TLaneManager>(TLaneAlgorithm::MD5, options.Engine))
        , m_md4Lanes(std::make_unique<TLaneManager>(TLaneAlgorithm::MD4, options.Engine))
        , m_sha1Lanes(std::make_unique<TLaneManager>(TLaneAlgorithm::SHA1, options.Engine))
        , m_most(options.MaxFiles ? options.MaxFiles : static_cast<std::size_t>(m_md5Lanes->Lanes()))
        // One block of each file a round, in one buffer taken once for the run.
        , m_buffer(new std::uint8_t[m_most * m_blockSize])
        , m_retry(m_most)
    {
        m_active.reserve(m_most);
    }

    void Run()
    {
        for (;;) {
            try {
                if (m_options.Stop && m_options.Stop->load()) {
                    EndAll();
                    return;
                }
                Fill();
                if (m_active.empty())
                    return;
                if (!ReadRound())
                    continue; // stopped between two reads
                if (m_active.empty())
                    continue; // every read of the round failed
                RunDigestLanes();
                RunAichLanes();
                EndRound();
            } catch (...) {
                Recover();
            }
        }
    }

private:
    // Takes entries into the free lanes: first the one waiting, when it may
    // try again.
    void Fill()
    {
        while (m_active.size() < m_most) {
            if (m_active.empty())
                m_side.reset(); // its core is free while this run waits
            TRunEntry *entry = nullptr;
            TRunStart start;
            if (m_waiting.entry) {
                const bool mayTry = m_active.empty()
                                    || (m_waiting.want == TWaiting::TWant::Handles && m_active.size() < m_waiting.filesThen);
                if (!mayTry)
                    break;
                entry = std::exchange(m_waiting.entry, nullptr);
                start = m_waiting.start;
            } else if (!(entry = m_source.Next(m_most - m_active.size()))) {
                break;
            }
            Admit(*entry, start);
        }
    }

    // Begins entry's run (unless it was begun) and puts it in a lane, or in
    // wait, or ends it.
    void Admit(TRunEntry &entry, TRunStart start)
    {
        try {
            if (!start.File)
                start = entry.BeginRun(m_options.Stop);
            if (start.File) {
                m_active.push_back(std::make_unique<TLaneFile>(entry, start)); // reserved: no throw
                return;
            }
            if (start.ShortOfHandles && (!m_active.empty() || m_source.WaitForHandles())) {
                // Out of descriptors beside other open files: it waits for
                // one of them to close, and tries again.
                m_waiting = {.entry = &entry, .start = {}, .want = TWaiting::TWant::Handles, .filesThen = m_active.size()};
                return;
            }
        } catch (...) {
            if (start.File && !m_active.empty()) {
                // Short of memory beside the files in the lanes: it waits
                // until they have ended, and tries again.
                m_waiting = {.entry = &entry, .start = start, .want = TWaiting::TWant::Memory, .filesThen = 0};
                return;
            }
            // Its run could not begin even alone: it fails alone.
            FailRun(entry, std::current_exception());
        }
        m_source.Done(entry);
    }

    // Every entry Next gave goes back through Done, once, whatever fails.
    void End(std::unique_ptr<TLaneFile> &f, std::string failure)
    {
        TRunEntry &entry = f->entry;
        try {
            f->End(std::move(failure));
        } catch (...) {
            FailRun(entry, std::current_exception());
        }
        f.reset();
        m_source.Done(entry);
    }

    void EndAll()
    {
        for (auto &f : m_active)
            End(f, StoppedText);
        m_active.clear();
        if (m_waiting.entry) {
            FailRun(*m_waiting.entry, StoppedText);
            m_source.Done(*std::exchange(m_waiting.entry, nullptr));
        }
    }

    // A block of every file, read into the round's buffer. False when a Stop
    // came between two reads: a read from a slow disk (or one the system
    // must first find memory for) can take tens of milliseconds, and a round
    // holds one for each lane.
    bool ReadRound()
    {
        std::uint8_t *free = m_buffer.get();
        for (auto &f : m_active) {
            if (m_options.Stop && m_options.Stop->load(std::memory_order_relaxed)) {
                std::erase(m_active, nullptr); // the files whose read failed have ended
                return false;
            }
            const std::int64_t chunkLeft = DonkeyChunkSize - f->done % DonkeyChunkSize;
            const auto want = static_cast<std::size_t>(
                std::min({chunkLeft, f->size - f->done, static_cast<std::int64_t>(m_blockSize)}));
            f->block = free;
            f->got = want;
            // A file's last read asks for a byte more where the buffer has
            // room (the next file's block, read after it, begins there), so
            // that its end needs no read of its own.
            const bool last = f->done + static_cast<std::int64_t>(want) == f->size && want < m_blockSize;
            const std::int64_t got = last ? f->file.ReadAndPeek(free, want) : want ? f->file.Read(free, want) : 0;
            if (got < static_cast<std::int64_t>(want)) {
                End(f, got < 0 ? f->file.Error() : ShrankText);
                continue;
            }
            f->endSeen = last && got == static_cast<std::int64_t>(want);
            free += want;
        }
        std::erase(m_active, nullptr);
        return true;
    }

    // The MD5 and MD4 lanes until every block is taken: side by side while a
    // core is free for a second thread. The two digests of a file share only
    // the bytes they read.
    void RunDigestLanes()
    {
        const auto runLanes = [this](TLaneManager &lanes, std::optional<TLaneFeed> TLaneFile::*feed) {
            for (auto &f : m_active) {
                if ((*f).*feed)
                    Feed(lanes, *((*f).*feed), f->block, f->got);
            }
            Drain(lanes);
        };
        const bool both = std::any_of(m_active.begin(), m_active.end(), [](const auto &f) { return f->md5Feed.has_value(); })
                          && std::any_of(m_active.begin(), m_active.end(), [](const auto &f) { return f->md4Feed.has_value(); });
        // The lanes take as long as their longest stream: handing short ones
        // to another thread costs more than it saves (32 files of 4 KiB a
        // round took twice as long so on a busy machine).
        const std::size_t longest = std::max_element(m_active.begin(), m_active.end(), [](const auto &a, const auto &b) {
                                        return a->got < b->got;
                                    })->get()->got;
        if (both && !m_side && longest >= kSideThreadBlock)
            m_side = TrySideThread(m_options.HelperTokens);
        if (!both || !m_side || longest < kSideThreadBlock) {
            runLanes(*m_md5Lanes, &TLaneFile::md5Feed);
            runLanes(*m_md4Lanes, &TLaneFile::md4Feed);
            return;
        }
        m_side->Start([&] { runLanes(*m_md5Lanes, &TLaneFile::md5Feed); });
        std::exception_ptr failed;
        try {
            runLanes(*m_md4Lanes, &TLaneFile::md4Feed);
        } catch (...) {
            failed = std::current_exception();
        }
        if (const std::exception_ptr sideFailed = m_side->Wait())
            failed = sideFailed;
        if (failed)
            std::rethrow_exception(failed);
    }

    void RunAichLanes()
    {
        for (auto &f : m_active) {
            if (f->aich)
                f->FeedAich(*m_sha1Lanes);
        }
        Drain(*m_sha1Lanes);
        for (auto &f : m_active) {
            if (f->aich)
                f->TakeAich();
        }
    }

    void EndRound()
    {
        for (auto &f : m_active) {
            f->done += static_cast<std::int64_t>(f->got);
            // A chunk ends with its last byte, the file's last chunk too: a
            // file of whole chunks then ends in an empty one (End).
            if (f->got > 0 && f->done % DonkeyChunkSize == 0)
                f->CompleteChunk();
            if (f->done == f->size)
                End(f, {});
        }
        std::erase(m_active, nullptr);
    }

    // After a round threw: which file the fault belongs to cannot be told
    // here, so the files of the lanes let go of all they hold, then each is
    // hashed again alone, so that only a file that cannot be hashed even so
    // fails.
    void Recover()
    {
        // The lanes may hold jobs of the files about to go: start afresh
        // (without taking memory, which may be what just ran out).
        m_md5Lanes->Abandon();
        m_md4Lanes->Abandon();
        m_sha1Lanes->Abandon();
        m_side.reset(); // its stack and its core go back first
        std::size_t again = 0;
        for (auto &f : m_active) {
            if (!f)
                continue;
            m_retry[again++] = &f->entry;
            FailRun(f->entry, std::current_exception());
            f.reset();
        }
        m_active.clear();
        THashOptions alone;
        alone.HelperTokens = m_options.HelperTokens;
        alone.Stop = m_options.Stop;
        for (std::size_t i = 0; i < again; ++i) {
            try {
                HashOneFile(*m_retry[i], alone);
            } catch (...) {
                // The run has ended the entry failed, with the reason.
            }
            m_source.Done(*m_retry[i]);
        }
    }

    TLaneSource &m_source;
    const TLaneHashOptions &m_options;
    const std::size_t m_blockSize;
    const std::unique_ptr<TLaneManager> m_md5Lanes;
    const std::unique_ptr<TLaneManager> m_md4Lanes;
    const std::unique_ptr<TLaneManager> m_sha1Lanes;
    const std::size_t m_most;
    const std::unique_ptr<std::uint8_t[]> m_buffer;
    std::vector<std::unique_ptr<TLaneFile>> m_active;
    // The files to hash again after a fault, kept without taking memory then.
    std::vector<TRunEntry *> m_retry;
    std::unique_ptr<TSideThread> m_side;
    TWaiting m_waiting;
};

} // namespace

void HashEntriesInLanes(TLaneSource &source, const TLaneHashOptions &options)
{
    TFileLaneRun run(source, options);
    run.Run();
}
