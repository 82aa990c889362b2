#include "runs/lanehasher.h"

#include "digests/aich.h"
#include "input/fileio.h"
#include "digests/sha1.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kSmallestManyFilesBlock = 256 * 1024;
constexpr std::size_t kDigestBytes = 16;

// Submits a feed's job if it has blocks; finishes whatever job comes back.
void Feed(TLaneManager &manager, TLaneFeed &feed, const std::uint8_t *data, std::size_t count)
{
    if (!feed.Start(data, count))
        return;
    if (TLaneJob *done = manager.Submit(&feed.Job()))
        static_cast<TLaneFeed *>(done->UserData)->Finish();
}

void Drain(TLaneManager &manager)
{
    while (TLaneJob *done = manager.Flush())
        static_cast<TLaneFeed *>(done->UserData)->Finish();
}

// Whole 64-byte blocks, at least `smallest`, never more than a chunk: a
// chunk's MD4 lane gets whole blocks until the chunk's last piece.
std::size_t ReadBlockBytes(std::size_t requested, std::size_t smallest)
{
    return std::min<std::size_t>(std::max(requested, smallest) / 64 * 64, DonkeyChunkSize);
}

// The SHA-1 of one AICH block, fed through the SHA-1 lanes.
struct TAichLane
{
    TSHA1 digest;
    TLaneFeed feed{digest};
    bool ends = false; // the block's last bytes were fed this round
};

// One entry in the lanes of HashEntriesInLanes: its file, its digests, and
// where its last block lies in the round's buffer.
struct TLaneFile
{
    TLaneFile(TDonkeyFile &entry, TReadOnlyFile &file)
        : entry(entry)
        , file(file)
        , size(entry.Size())
    {
        const THashSelection selection = entry.HashSelection();
        if (selection & hsFileSpree) {
            md5 = std::make_unique<TMD5>();
            md5Feed = std::make_unique<TLaneFeed>(*md5);
        }
        if (selection & hsDonkey) {
            chunk = std::make_unique<TMD4>();
            md4Feed = std::make_unique<TLaneFeed>(*chunk);
            chunkDigests.reserve(static_cast<std::size_t>(size / DonkeyChunkSize + 1) * kDigestBytes);
        }
        if (selection & hsAich)
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
        entry.EndRun(read ? std::span<const std::uint8_t>(chunkDigests) : std::span<const std::uint8_t>(),
                     read && md5 ? md5->Digest().data() : nullptr,
                     aich.get(), std::move(failure));
    }

    TDonkeyFile &entry;
    TReadOnlyFile &file;
    const std::int64_t size;
    std::int64_t done = 0;
    std::unique_ptr<TMD5> md5;
    std::unique_ptr<TLaneFeed> md5Feed;
    std::unique_ptr<TMD4> chunk;
    std::unique_ptr<TLaneFeed> md4Feed;
    std::unique_ptr<TAichHash> aich;
    std::vector<std::unique_ptr<TAichLane>> aichLanes;
    std::size_t aichUsed = 0; // lanes fed this round
    std::vector<std::uint8_t> chunkDigests;
    std::int32_t chunksDone = 0;
    const std::uint8_t *block = nullptr;
    std::size_t got = 0;
};

// A thread that runs one task at a time beside the caller's own work, holding
// one of a run's core tokens for as long as it lives.
class TSideThread final
{
public:
    explicit TSideThread(std::shared_ptr<TCoreTokens> tokens)
        : m_tokens(std::move(tokens))
        , m_thread([this] { Loop(); })
    {
    }
    ~TSideThread()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
        m_tokens->Release();
    }
    TSideThread(const TSideThread &) = delete;
    TSideThread &operator=(const TSideThread &) = delete;

    void Start(std::function<void()> task)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_task = std::move(task);
        }
        m_changed.notify_all();
    }
    // Waits for the task; what it threw, if anything.
    std::exception_ptr Wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_task; });
        return std::exchange(m_error, nullptr);
    }

private:
    void Loop()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return m_quit || m_task; });
            if (!m_task)
                return;
            lock.unlock();
            std::exception_ptr error;
            try {
                m_task();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            m_error = error;
            m_task = nullptr;
            m_changed.notify_all();
        }
    }

    std::shared_ptr<TCoreTokens> m_tokens;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_task;
    std::exception_ptr m_error;
    bool m_quit = false;
    std::thread m_thread;
};

// A side thread if a token is free and a thread can be had; none otherwise.
std::unique_ptr<TSideThread> TrySideThread(const std::shared_ptr<TCoreTokens> &tokens)
{
    if (!tokens || !tokens->TryAcquire())
        return nullptr;
    try {
        return std::make_unique<TSideThread>(tokens);
    } catch (...) {
        tokens->Release();
        return nullptr;
    }
}

// Ends an entry's run as failed, as far as memory allows: under a shortage
// even that may throw, and the entry must still go back to the caller.
void FailRun(TDonkeyFile &entry, const std::exception_ptr &error) noexcept
{
    try {
        entry.EndRun({}, nullptr, nullptr, DescribeException(error));
    } catch (...) {
    }
}

} // namespace

void HashEntriesInLanes(const std::function<TDonkeyFile *(bool mayWait)> &next,
                        const std::function<void(TDonkeyFile &)> &done, const TLaneHashOptions &options)
{
    const std::size_t blockSize = ReadBlockBytes(options.ReadBlockSize, kSmallestManyFilesBlock);
    auto md5Lanes = std::make_unique<TLaneManager>(TLaneAlgorithm::MD5, options.Engine);
    auto md4Lanes = std::make_unique<TLaneManager>(TLaneAlgorithm::MD4, options.Engine);
    auto sha1Lanes = std::make_unique<TLaneManager>(TLaneAlgorithm::SHA1, options.Engine);
    const std::size_t most = options.MaxFiles ? options.MaxFiles : static_cast<std::size_t>(md5Lanes->Lanes());
    // One block of each file a round, in one buffer taken once for the run.
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[most * blockSize]);
    std::vector<std::unique_ptr<TLaneFile>> active;
    active.reserve(most);
    // The files to hash again after a shortage, kept without taking memory then.
    std::vector<TDonkeyFile *> retry(most);
    std::unique_ptr<TSideThread> side;
    // A file whose run began but found no memory for its digests beside the
    // files in the lanes.
    TDonkeyFile *waiting = nullptr;
    TReadOnlyFile *waitingFile = nullptr;

    // Every entry next gives goes back through done, once, whatever fails.
    const auto end = [&](std::unique_ptr<TLaneFile> &f, const std::string &failure) {
        TDonkeyFile &entry = f->entry;
        try {
            f->End(failure);
        } catch (...) {
            FailRun(entry, std::current_exception());
        }
        f.reset();
        done(entry);
    };

    for (;;) {
        try {
            if (options.Stop && options.Stop->load()) {
                for (auto &f : active)
                    end(f, "stopped");
                if (waiting) {
                    try {
                        waiting->EndRun({}, nullptr, nullptr, "stopped");
                    } catch (...) {
                    }
                    done(*waiting);
                }
                return;
            }
            while (active.size() < most) {
                if (active.empty())
                    side.reset(); // its core is free while this run waits
                TDonkeyFile *entry = waiting;
                TReadOnlyFile *file = waitingFile;
                if (entry) {
                    if (!active.empty())
                        break;
                    waiting = nullptr;
                    waitingFile = nullptr;
                } else if (!(entry = next(active.empty()))) {
                    break;
                }
                try {
                    if (!file)
                        file = entry->BeginRun();
                    if (file) {
                        active.push_back(std::make_unique<TLaneFile>(*entry, *file)); // reserved: no throw
                        continue;
                    }
                } catch (...) {
                    if (file && !active.empty()) {
                        // Short of memory beside the files in the lanes: it
                        // waits until they have ended, and tries again.
                        waiting = entry;
                        waitingFile = file;
                        break;
                    }
                    // Its run could not begin even alone: it fails alone.
                    FailRun(*entry, std::current_exception());
                }
                done(*entry);
            }
            if (active.empty())
                return;

            // One round: a block from every file, then the lanes run until
            // every block is taken.
            std::uint8_t *free = buffer.get();
            for (auto &f : active) {
                const std::int64_t chunkLeft = DonkeyChunkSize - f->done % DonkeyChunkSize;
                const auto want = static_cast<std::size_t>(
                    std::min({chunkLeft, f->size - f->done, static_cast<std::int64_t>(blockSize)}));
                f->block = free;
                f->got = want;
                const std::int64_t got = want ? f->file.Read(free, want) : 0;
                if (got != static_cast<std::int64_t>(want)) {
                    end(f, got < 0 ? f->file.Error() : "the file shrank while it was read");
                    continue;
                }
                free += want;
            }
            std::erase(active, nullptr);
            // The two digests of a file share only the bytes they read.
            const auto runLanes = [&active](TLaneManager &lanes, std::unique_ptr<TLaneFeed> TLaneFile::*feed) {
                for (auto &f : active) {
                    if ((*f).*feed)
                        Feed(lanes, *((*f).*feed), f->block, f->got);
                }
                Drain(lanes);
            };
            const bool both = std::any_of(active.begin(), active.end(), [](const auto &f) { return f->md5Feed != nullptr; })
                              && std::any_of(active.begin(), active.end(), [](const auto &f) { return f->md4Feed != nullptr; });
            if (both && !side)
                side = TrySideThread(options.HelperTokens);
            if (both && side) {
                side->Start([&] { runLanes(*md5Lanes, &TLaneFile::md5Feed); });
                std::exception_ptr failed;
                try {
                    runLanes(*md4Lanes, &TLaneFile::md4Feed);
                } catch (...) {
                    failed = std::current_exception();
                }
                if (const std::exception_ptr sideFailed = side->Wait())
                    failed = sideFailed;
                if (failed)
                    std::rethrow_exception(failed);
            } else {
                runLanes(*md5Lanes, &TLaneFile::md5Feed);
                runLanes(*md4Lanes, &TLaneFile::md4Feed);
            }
            for (auto &f : active) {
                if (f->aich)
                    f->FeedAich(*sha1Lanes);
            }
            Drain(*sha1Lanes);
            for (auto &f : active) {
                if (f->aich)
                    f->TakeAich();
                f->done += static_cast<std::int64_t>(f->got);
                // A chunk ends with its last byte, the file's last chunk too:
                // a file of whole chunks then ends in an empty one (End).
                if (f->got > 0 && f->done % DonkeyChunkSize == 0)
                    f->CompleteChunk();
                if (f->done == f->size)
                    end(f, {});
            }
            std::erase(active, nullptr);
        } catch (...) {
            // The lanes may hold jobs of the files about to go: start afresh
            // (without taking memory, which may be what just ran out).
            md5Lanes->Abandon();
            md4Lanes->Abandon();
            sha1Lanes->Abandon();
            side.reset(); // its stack and its core go back first
            // Which file the shortage belongs to cannot be told here: the
            // files of the lanes let go of all they hold, then each is hashed
            // again alone, so that only a file that cannot be hashed even so
            // fails.
            std::size_t again = 0;
            for (auto &f : active) {
                if (!f)
                    continue;
                retry[again++] = &f->entry;
                FailRun(f->entry, std::current_exception());
                f.reset();
            }
            active.clear();
            for (std::size_t i = 0; i < again; ++i) {
                try {
                    retry[i]->HashFile();
                } catch (...) {
                    // HashFile has marked the entry failed with the reason.
                }
                done(*retry[i]);
            }
        }
    }
}

std::string HashChunksInLanes(const TReadOnlyFile &file, std::int64_t size, std::uint8_t *chunkDigests,
                              unsigned threads, const std::function<void(std::int32_t)> &onChunk,
                              const TLaneHashOptions &options)
{
    const std::size_t blockSize = ReadBlockBytes(options.ReadBlockSize, 64);
    const std::int64_t chunks = size / DonkeyChunkSize + 1;
    const std::int64_t width = TLaneManager(TLaneAlgorithm::MD4, options.Engine).Lanes();
    threads = std::clamp(threads, 1u, 2u);
    // Groups of chunks side by side, taken in turn by the threads; no larger
    // than a thread's share, so that a second thread has its part.
    const std::int64_t group = std::clamp<std::int64_t>((chunks + threads - 1) / threads, 1, width);
    const std::int64_t groups = (chunks + group - 1) / group;

    std::mutex mutex;
    std::vector<bool> groupDone(static_cast<std::size_t>(groups));
    std::string failure;
    std::exception_ptr error;
    std::atomic<std::int64_t> nextGroup{0};
    std::atomic<bool> stop{false};

    // Reports, in the calling thread, the chunks of the groups done in a row so far.
    std::int64_t reported = 0;
    const auto report = [&] {
        for (;;) {
            {
                const std::lock_guard lock(mutex);
                if (stop || reported == groups || !groupDone[static_cast<std::size_t>(reported)])
                    return;
            }
            const std::int64_t last = std::min(chunks, (reported + 1) * group);
            for (std::int64_t chunk = reported * group + 1; chunk <= last; ++chunk) {
                if (onChunk)
                    onChunk(static_cast<std::int32_t>(chunk));
            }
            ++reported;
        }
    };

    // A group's chunks a block of each at a time; every chunk but the file's
    // last is full, so the chunks of a group end together.
    const auto work = [&](bool reporting) {
        try {
            TLaneManager lanes(TLaneAlgorithm::MD4, options.Engine);
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
                std::min<std::int64_t>(group * static_cast<std::int64_t>(blockSize), std::max<std::int64_t>(size, 1))));
            struct TChunkLane
            {
                TMD4 digest;
                TLaneFeed feed{digest};
                std::int64_t start = 0;
                std::int64_t length = 0;
            };
            std::vector<std::unique_ptr<TChunkLane>> lane(static_cast<std::size_t>(group));
            for (auto &l : lane)
                l = std::make_unique<TChunkLane>();
            std::string readError;
            for (std::int64_t g; !stop && (g = nextGroup.fetch_add(1)) < groups;) {
                const std::int64_t first = g * group;
                const auto count = static_cast<std::size_t>(std::min(group, chunks - first));
                for (std::size_t i = 0; i < count; ++i) {
                    lane[i]->digest.Initialize();
                    lane[i]->start = (first + static_cast<std::int64_t>(i)) * DonkeyChunkSize;
                    lane[i]->length = std::min<std::int64_t>(DonkeyChunkSize, size - lane[i]->start);
                }
                for (std::int64_t at = 0; at < lane[0]->length && !stop; at += static_cast<std::int64_t>(blockSize)) {
                    std::uint8_t *free = buffer.data();
                    for (std::size_t i = 0; i < count; ++i) {
                        const auto want = static_cast<std::size_t>(
                            std::clamp<std::int64_t>(lane[i]->length - at, 0, static_cast<std::int64_t>(blockSize)));
                        if (want == 0)
                            break; // only the file's last chunk is short, and it comes last
                        const std::int64_t got = file.ReadAt(lane[i]->start + at, free, want, readError);
                        if (got != static_cast<std::int64_t>(want)) {
                            Drain(lanes);
                            const std::lock_guard lock(mutex);
                            if (failure.empty())
                                failure = got < 0 ? readError : "the file shrank while it was read";
                            stop = true;
                            return;
                        }
                        Feed(lanes, lane[i]->feed, free, want);
                        free += want;
                    }
                    Drain(lanes);
                }
                if (stop)
                    return;
                for (std::size_t i = 0; i < count; ++i) {
                    lane[i]->digest.Complete();
                    std::memcpy(chunkDigests + (first + static_cast<std::int64_t>(i)) * kDigestBytes,
                                lane[i]->digest.Digest().data(), kDigestBytes);
                }
                {
                    const std::lock_guard lock(mutex);
                    groupDone[static_cast<std::size_t>(g)] = true;
                }
                if (reporting)
                    report();
            }
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!error)
                error = std::current_exception();
            stop = true;
        }
    };

    {
        std::jthread helper;
        if (threads > 1 && groups > 1) {
            try {
                helper = std::jthread(work, false);
            } catch (const std::system_error &) {
                // No second thread to be had: this one does it all.
            }
        }
        work(true);
    }
    // The helper is joined: what it finished last is reported now.
    report();
    if (error)
        std::rethrow_exception(error);
    return failure;
}
