#pragma once

// MD4, MD5 and SHA-1 over many independent streams at once: each 32-bit word
// of a vector register belongs to another stream (a lane), so one instruction
// advances 8 (AVX2) or 16 (AVX-512) streams by the same step.
//
// TLaneManager takes jobs (a stream's chaining values and its next whole
// 64-byte blocks) and runs all busy lanes together for as many blocks as the
// shortest job has left; jobs come back as they finish, Flush drains the rest.
// Padding and tails stay with TMD4, TMD5 and TSHA1: TLaneFeed lends a
// digest's chaining values to a job and gives them back, so the digest objects
// remain the only place a result is finished.

#include "digests/MessageDigests.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Which code compresses the lanes: the CPU's 512-bit or 256-bit vectors, or
// the one-stream functions called lane after lane. Chosen once from what the
// CPU and the operating system offer; tests force each available one.
enum class TLaneEngine { Scalar, Avx2, Avx512 };
TLaneEngine LaneEngine();
bool LaneEngineAvailable(TLaneEngine engine);
// Returns the engine that ran before; an engine the machine lacks is not taken.
TLaneEngine ForceLaneEngine(TLaneEngine engine);
const char *LaneEngineName(TLaneEngine engine);

enum class TLaneAlgorithm { MD4, MD5, SHA1 };

// One stream's next whole blocks. The caller owns the job and the blocks, and
// keeps both alive and unchanged from Submit until the job comes back.
struct TLaneJob
{
    std::uint32_t State[5] = {};         // chaining values: in, and out when finished (MD4, MD5: 0..3)
    const std::uint8_t *Blocks = nullptr; // the next BlockCount * 64 bytes of the stream
    std::size_t BlockCount = 0;
    void *UserData = nullptr;             // the caller's own, untouched
};

class TLaneManager final
{
public:
    static constexpr int kMaxLanes = 32;

    explicit TLaneManager(TLaneAlgorithm algorithm, TLaneEngine engine = LaneEngine());
    TLaneManager(const TLaneManager &) = delete;
    TLaneManager &operator=(const TLaneManager &) = delete;

    // Lanes run side by side: 32 (two interleaved groups of 16; for SHA-1 one
    // group after the other) on AVX-512, 8 on AVX2, 4 on the scalar engine
    // (one after another, so any count would do).
    int Lanes() const { return m_lanes; }
    int JobsInFlight() const { return m_busy + m_finishedCount; }
    TLaneEngine Engine() const { return m_engine; }

    // Takes a job into a free lane. When every lane is then busy, runs them
    // until at least one job finishes. Returns a finished job (not necessarily
    // this one), or nullptr when none has finished yet.
    TLaneJob *Submit(TLaneJob *job);
    // Returns a finished job, running the lanes until one finishes if needed;
    // nullptr once no job is left.
    TLaneJob *Flush();
    // Forgets every job, finished or not, as if none had been submitted; the
    // caller no longer needs to keep them alive. Takes no memory.
    void Abandon();

private:
    void Run();
    void Compact();
    TLaneJob *PopFinished();

    TLaneAlgorithm m_algorithm;
    TLaneEngine m_engine;
    int m_lanes;
    int m_words; // chaining values per stream
    int m_busy = 0;
    // The chaining values of the busy lanes, word by word: m_state[word][lane].
    alignas(64) std::uint32_t m_state[5][kMaxLanes] = {};
    std::array<TLaneJob *, kMaxLanes> m_jobs{};
    std::array<const std::uint8_t *, kMaxLanes> m_data{};
    std::array<std::size_t, kMaxLanes> m_left{};
    // Jobs finished and not yet handed back, oldest first: a ring that never
    // takes memory, so that a run in progress cannot fail for want of it. No
    // more than a run's worth of lanes and one empty job wait at a time.
    void PushFinished(TLaneJob *job);
    std::array<TLaneJob *, 2 * kMaxLanes + 2> m_finished{};
    int m_finishedFirst = 0;
    int m_finishedCount = 0;
};

// Feeds one digest's bytes through a lane manager while the digest stays the
// one that pads and finishes: Start gives the digest the bytes that complete
// its pending block, lends its chaining values to Job() for the whole blocks
// that follow, and keeps the tail; once the job has come back, Finish returns
// the chaining values and feeds the tail. Job().UserData points at the feed.
class TLaneFeed final
{
public:
    explicit TLaneFeed(TChainingDigest &digest);
    TLaneFeed(const TLaneFeed &) = delete;
    TLaneFeed &operator=(const TLaneFeed &) = delete;

    // Returns true when Job() has blocks for a lane; false when the digest has
    // taken all Count bytes at once (then no Finish is due).
    bool Start(const std::uint8_t *data, std::size_t count);
    void Finish();

    TLaneJob &Job() { return m_job; }
    TChainingDigest &Digest() { return m_digest; }

private:
    TChainingDigest &m_digest;
    TLaneJob m_job;
    const std::uint8_t *m_tail = nullptr;
    std::size_t m_tailCount = 0;
};
