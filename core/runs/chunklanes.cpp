#include "runs/chunklanes.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "digests/ed2k.h"
#include "input/fileio.h"
#include "runs/lanefeed.h"
#include "runs/runentry.h"

namespace {

// One chunk of a group, in a lane of its own.
struct TChunkLane
{
    TMD4 digest;
    TLaneFeed feed{digest};
    std::int64_t start = 0;
    std::int64_t length = 0;
};

// The chunks of one file in groups side by side, taken in turn by the threads.
class TChunkRun final
{
public:
    // chosen: the chunks to hash (numbers from 1, ascending); none: all.
    TChunkRun(const TReadOnlyFile &file, std::int64_t size, std::optional<std::span<const std::int64_t>> chosen,
              std::uint8_t *chunkDigests, unsigned threads, const TLaneHashOptions &options)
        : m_file(file)
        , m_size(size)
        , m_chosen(chosen)
        , m_chunkDigests(chunkDigests)
        , m_options(options)
        , m_blockSize(LaneReadBlock(options.ReadBlockSize, 64))
        , m_chunks(chosen ? static_cast<std::int64_t>(chosen->size()) : DonkeyChunkCount(size))
        // No larger than a thread's share, so that a second thread has its part.
        , m_group(std::clamp<std::int64_t>((m_chunks + threads - 1) / threads, 1,
                                           TLaneManager(TLaneAlgorithm::MD4, options.Engine).Lanes()))
        , m_groups((m_chunks + m_group - 1) / m_group)
        , m_groupDone(static_cast<std::size_t>(m_groups))
    {
    }

    std::int64_t Groups() const { return m_groups; }

    // Takes groups until none is left; reporting, it also reports the chunks
    // of the groups done in a row so far.
    void Work(const std::function<void(std::int32_t)> &onChunk)
    {
        try {
            TLaneManager lanes(TLaneAlgorithm::MD4, m_options.Engine);
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
                std::min<std::int64_t>(m_group * static_cast<std::int64_t>(m_blockSize), std::max<std::int64_t>(m_size, 1))));
            std::vector<std::unique_ptr<TChunkLane>> lane(static_cast<std::size_t>(m_group));
            for (auto &l : lane)
                l = std::make_unique<TChunkLane>();
            for (std::int64_t g; !m_halt && (g = m_nextGroup.fetch_add(1)) < m_groups;) {
                if (!HashGroup(g, lanes, lane, buffer))
                    return;
                {
                    const std::lock_guard lock(m_mutex);
                    m_groupDone[static_cast<std::size_t>(g)] = true;
                }
                if (onChunk)
                    Report(onChunk);
            }
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            if (!m_error)
                m_error = std::current_exception();
            m_halt = true;
        }
    }

    // Reports, in the calling thread, the chunks of the groups done in a row so far.
    void Report(const std::function<void(std::int32_t)> &onChunk)
    {
        for (;;) {
            {
                const std::lock_guard lock(m_mutex);
                if (m_halt || m_reported == m_groups || !m_groupDone[static_cast<std::size_t>(m_reported)])
                    return;
            }
            const std::int64_t last = std::min(m_chunks, (m_reported + 1) * m_group);
            for (std::int64_t chunk = m_reported * m_group + 1; chunk <= last; ++chunk)
                onChunk(static_cast<std::int32_t>(chunk));
            ++m_reported;
        }
    }

    // Why the run failed; what it threw goes on to the caller.
    std::string Failure() const
    {
        if (m_error)
            std::rethrow_exception(m_error);
        return m_failure;
    }

private:
    // The file's chunk number of the run's chunk i (from 0).
    std::int64_t ChunkNumber(std::int64_t i) const
    {
        return m_chosen ? (*m_chosen)[static_cast<std::size_t>(i)] : i + 1;
    }

    // A group's chunks a block of each at a time; every chunk but the file's
    // last is full, so the chunks of a group end together.
    bool HashGroup(std::int64_t g, TLaneManager &lanes, std::vector<std::unique_ptr<TChunkLane>> &lane,
                   std::vector<std::uint8_t> &buffer)
    {
        const std::int64_t first = g * m_group;
        const auto count = static_cast<std::size_t>(std::min(m_group, m_chunks - first));
        for (std::size_t i = 0; i < count; ++i) {
            lane[i]->digest.Initialize();
            lane[i]->start = (ChunkNumber(first + static_cast<std::int64_t>(i)) - 1) * DonkeyChunkSize;
            lane[i]->length = std::min<std::int64_t>(DonkeyChunkSize, m_size - lane[i]->start);
        }
        std::string readError;
        for (std::int64_t at = 0; at < lane[0]->length; at += static_cast<std::int64_t>(m_blockSize)) {
            if (m_halt)
                return false;
            if (m_options.Stop && m_options.Stop->load(std::memory_order_relaxed))
                return Fail(StoppedText);
            std::uint8_t *free = buffer.data();
            for (std::size_t i = 0; i < count; ++i) {
                const auto want = static_cast<std::size_t>(
                    std::clamp<std::int64_t>(lane[i]->length - at, 0, static_cast<std::int64_t>(m_blockSize)));
                if (want == 0)
                    break; // only the file's last chunk is short, and it comes last
                const std::int64_t got = m_file.ReadAt(lane[i]->start + at, free, want, readError);
                if (got != static_cast<std::int64_t>(want)) {
                    Drain(lanes);
                    return Fail(got < 0 ? readError : ShrankText);
                }
                Feed(lanes, lane[i]->feed, free, want);
                free += want;
            }
            Drain(lanes);
        }
        if (m_halt)
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            lane[i]->digest.Complete();
            std::memcpy(m_chunkDigests + (first + static_cast<std::int64_t>(i)) * DonkeyDigestBytes,
                        lane[i]->digest.Digest().data(), DonkeyDigestBytes);
        }
        return true;
    }

    bool Fail(std::string reason)
    {
        const std::lock_guard lock(m_mutex);
        if (m_failure.empty())
            m_failure = std::move(reason);
        m_halt = true;
        return false;
    }

    const TReadOnlyFile &m_file;
    const std::int64_t m_size;
    const std::optional<std::span<const std::int64_t>> m_chosen;
    std::uint8_t *const m_chunkDigests;
    const TLaneHashOptions &m_options;
    const std::size_t m_blockSize;
    const std::int64_t m_chunks;
    const std::int64_t m_group;
    const std::int64_t m_groups;

    std::mutex m_mutex;
    std::vector<bool> m_groupDone;
    std::string m_failure;
    std::exception_ptr m_error;
    std::atomic<std::int64_t> m_nextGroup{0};
    std::atomic<bool> m_halt{false};
    std::int64_t m_reported = 0; // the reporting thread's own
};

} // namespace

namespace {

std::string HashInLanes(const TReadOnlyFile &file, std::int64_t size,
                        std::optional<std::span<const std::int64_t>> chosen, std::uint8_t *chunkDigests,
                        unsigned threads, const std::function<void(std::int32_t)> &onChunk,
                        const TLaneHashOptions &options)
{
    threads = std::clamp(threads, 1u, 2u);
    TChunkRun run(file, size, chosen, chunkDigests, threads, options);
    const auto noReport = std::function<void(std::int32_t)>();
    const auto report = onChunk ? onChunk : [](std::int32_t) {};
    {
        std::jthread helper;
        if (threads > 1 && run.Groups() > 1) {
            try {
                helper = std::jthread([&run, &noReport] { run.Work(noReport); });
            } catch (const std::system_error &) {
                // No second thread to be had: this one does it all.
            }
        }
        run.Work(report);
    }
    // The helper is joined: what it finished last is reported now.
    run.Report(report);
    return run.Failure();
}

} // namespace

std::string HashChunksInLanes(const TReadOnlyFile &file, std::int64_t size, std::uint8_t *chunkDigests,
                              unsigned threads, const std::function<void(std::int32_t)> &onChunk,
                              const TLaneHashOptions &options)
{
    return HashInLanes(file, size, std::nullopt, chunkDigests, threads, onChunk, options);
}

std::string HashChosenChunksInLanes(const TReadOnlyFile &file, std::int64_t size,
                                    std::span<const std::int64_t> chosen, std::uint8_t *chunkDigests,
                                    unsigned threads, const std::function<void(std::int32_t)> &onChunk,
                                    const TLaneHashOptions &options)
{
    return HashInLanes(file, size, chosen, chunkDigests, threads, onChunk, options);
}
