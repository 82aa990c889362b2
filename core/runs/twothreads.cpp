#include "runs/twothreads.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "digests/MessageDigests.h"
#include "digests/aich.h"
#include "digests/ed2k.h"
#include "input/fileio.h"
#include "runs/buffers.h"

namespace {

// The blocks of one run, passed from the reading thread (which also runs MD4
// and the AICH tree) to the thread that runs MD5 and reports the chunks. A
// slot is refilled only once MD5 has taken it; MD4 is done with it before the
// reader moves on.
class TBlockRing final
{
public:
    struct Slot
    {
        std::uint8_t *bytes = nullptr;
        std::size_t length = 0;
        std::int32_t chunk = 0;
        bool endsChunk = false;
    };

    TBlockRing(std::size_t slots, std::size_t blockSize)
        : m_slots(slots)
        , m_storage(slots * blockSize)
    {
        for (std::size_t i = 0; i < slots; ++i)
            m_slots[i].bytes = m_storage.Bytes() + i * blockSize;
    }

    Slot &At(std::uint64_t sequence) { return m_slots[sequence % m_slots.size()]; }

    // Reader side.
    bool WaitForFreeSlot(std::uint64_t sequence)
    {
        std::unique_lock lock(m_mutex);
        m_consumed.wait(lock, [&] { return m_stop || sequence < m_taken + m_slots.size(); });
        return !m_stop;
    }
    void Publish(std::uint64_t filled)
    {
        Change([&] { m_filled = filled; }, m_produced);
    }
    void PublishChunkDigest(std::int32_t chunk)
    {
        Change([&] { m_chunksDigested = chunk; }, m_produced);
    }
    void Fail(std::string reason, std::exception_ptr error)
    {
        Change([&] {
            m_failed = true;
            m_reason = std::move(reason);
            m_error = error;
        }, m_produced);
    }

    // Consumer side: false when the run failed.
    bool WaitForBlock(std::uint64_t sequence)
    {
        std::unique_lock lock(m_mutex);
        m_produced.wait(lock, [&] { return m_failed || sequence < m_filled; });
        return sequence < m_filled;
    }
    bool WaitForChunkDigest(std::int32_t chunk)
    {
        std::unique_lock lock(m_mutex);
        m_produced.wait(lock, [&] { return m_failed || chunk <= m_chunksDigested; });
        return chunk <= m_chunksDigested;
    }
    void Release(std::uint64_t taken)
    {
        Change([&] { m_taken = taken; }, m_consumed);
    }
    void Stop()
    {
        Change([&] { m_stop = true; }, m_consumed);
    }

    bool Failed(std::string &reason, std::exception_ptr &error)
    {
        std::lock_guard lock(m_mutex);
        reason = m_reason;
        error = m_error;
        return m_failed;
    }

private:
    template <typename TChange>
    void Change(TChange change, std::condition_variable &changed)
    {
        {
            std::lock_guard lock(m_mutex);
            change();
        }
        changed.notify_one();
    }

    std::vector<Slot> m_slots;
    TLeasedBuffer m_storage;

    std::mutex m_mutex;
    std::condition_variable m_produced;
    std::condition_variable m_consumed;
    std::uint64_t m_filled = 0;
    std::uint64_t m_taken = 0;
    std::int32_t m_chunksDigested = 0;
    bool m_stop = false;
    bool m_failed = false;
    std::string m_reason;
    std::exception_ptr m_error;
};

// With the AICH tree's SHA-1 on the reading thread, the reader would carry
// more than MD5's thread: that one takes the MD4 of one chunk in eight (the
// 2nd, the 10th...), which evens the two out.
bool Md4OnMd5Thread(bool donkey, bool aich, std::int32_t chunk)
{
    return donkey && aich && chunk % 8 == 2;
}

void KeepChunkDigest(std::vector<std::uint8_t> &chunkDigests, std::int32_t chunk, TMD4 &digest)
{
    digest.Complete();
    std::memcpy(chunkDigests.data() + DonkeyDigestBytes * static_cast<std::size_t>(chunk - 1), digest.Digest().data(),
                DonkeyDigestBytes);
}

// The run's shared state and its two sides.
struct TTwoThreadRun
{
    const TRunStart &start;
    const std::size_t blockSize;
    const std::atomic<bool> *stop;
    const std::int32_t chunks = static_cast<std::int32_t>(DonkeyChunkCount(start.Size));
    const bool donkey = (start.Selection & hsDonkey) != 0;
    std::vector<std::uint8_t> chunkDigests = std::vector<std::uint8_t>(donkey ? DonkeyDigestBytes * chunks : 0);
    std::unique_ptr<TAichHash> aich = (start.Selection & hsAich)
                                          ? std::make_unique<TAichHash>(static_cast<std::uint64_t>(start.Size))
                                          : nullptr;
    TMD5 md5{};
    // About 16 MiB in flight: enough for MD5 never to wait for a read.
    TBlockRing ring{std::clamp<std::size_t>((16u << 20) / blockSize, 4, 64), blockSize};

    // Reads each chunk in blocks, runs MD4 and the AICH tree over them and
    // keeps the chunk digests; stops at the first short read, error or stop.
    void Read()
    {
        try {
            TMD4 chunkDigest;
            std::uint64_t sequence = 0;
            for (std::int32_t chunk = 1; chunk <= chunks; ++chunk) {
                chunkDigest.Initialize();
                const bool md4Here = donkey && !Md4OnMd5Thread(donkey, aich != nullptr, chunk);
                std::int64_t left = DonkeyChunkLength(start.Size, chunk);
                do {
                    if (!ring.WaitForFreeSlot(sequence))
                        return;
                    if (stop && stop->load(std::memory_order_relaxed)) {
                        ring.Fail(StoppedText, nullptr);
                        return;
                    }
                    TBlockRing::Slot &slot = ring.At(sequence);
                    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, blockSize));
                    const std::int64_t got = want ? start.File->Read(slot.bytes, want) : 0;
                    if (got != static_cast<std::int64_t>(want)) {
                        ring.Fail(got < 0 ? start.File->Error() : ShrankText, nullptr);
                        return;
                    }
                    left -= static_cast<std::int64_t>(want);
                    slot.length = want;
                    slot.chunk = chunk;
                    slot.endsChunk = left == 0;
                    ring.Publish(++sequence);
                    if (md4Here)
                        chunkDigest.Transform(slot.bytes, want);
                    if (aich)
                        aich->Update(slot.bytes, want);
                } while (left > 0);
                if (md4Here)
                    KeepChunkDigest(chunkDigests, chunk, chunkDigest);
                ring.PublishChunkDigest(chunk);
            }
        } catch (...) {
            ring.Fail({}, std::current_exception());
        }
    }

    // Runs MD5 (and its share of MD4) over the blocks as they come and
    // reports each chunk once both sides are done with it; false when the
    // reader failed.
    bool Digest(TRunEntry &entry)
    {
        TMD4 ownChunkDigest;
        std::int32_t ownChunk = 0;
        for (std::uint64_t sequence = 0;; ++sequence) {
            if (!ring.WaitForBlock(sequence))
                return false;
            const TBlockRing::Slot slot = ring.At(sequence);
            md5.Transform(slot.bytes, slot.length);
            const bool md4Here = Md4OnMd5Thread(donkey, aich != nullptr, slot.chunk);
            if (md4Here) {
                if (ownChunk != slot.chunk)
                    ownChunkDigest.Initialize();
                ownChunk = slot.chunk;
                ownChunkDigest.Transform(slot.bytes, slot.length);
            }
            ring.Release(sequence + 1);
            if (!slot.endsChunk)
                continue;
            if (md4Here)
                KeepChunkDigest(chunkDigests, slot.chunk, ownChunkDigest);
            if (!ring.WaitForChunkDigest(slot.chunk))
                return false;
            entry.ChunkDone(slot.chunk);
            if (slot.chunk == chunks)
                return true;
        }
    }
};

} // namespace

bool HashOnTwoThreads(TRunEntry &entry, const TRunStart &start, std::size_t readBlockSize,
                      const std::atomic<bool> *stop)
{
    TTwoThreadRun run{.start = start, .blockSize = WholeBlocks(readBlockSize), .stop = stop};
    bool ok = false;
    {
        std::jthread reader;
        try {
            reader = std::jthread([&run] { run.Read(); });
        } catch (const std::system_error &) {
            return false; // no second thread to be had
        }
        struct StopReader
        {
            TBlockRing &ring;
            ~StopReader() { ring.Stop(); }
        } stopReader{run.ring}; // runs before the reader is joined, also on an exception
        ok = run.Digest(entry);
    }

    std::string reason;
    std::exception_ptr error;
    if (run.ring.Failed(reason, error) && error)
        std::rethrow_exception(error);
    if (ok)
        run.md5.Complete();
    entry.EndRun({.ChunkDigests = run.chunkDigests,
                  .Md5 = ok ? run.md5.Digest().data() : nullptr,
                  .Aich = run.aich.get(),
                  .Failure = ok ? std::string() : reason});
    return true;
}
