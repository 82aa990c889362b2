#include "digests/lanes.h"
#include "digests/lanes_engines.h"
#include "digests/sha1.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string_view>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BRACKWELL_LANES_X86 1
#include <cpuid.h>
#endif

namespace {

#ifdef BRACKWELL_LANES_X86

// What the CPU has and the operating system saves across task switches: the
// XMM and YMM state (bits 1, 2 of XCR0) for AVX2, and the opmask and both
// halves of the upper ZMM state (bits 5, 6, 7) for AVX-512.
struct TCpuVectors
{
    bool avx2 = false;
    bool avx512 = false;
};

std::uint64_t ReadXcr0()
{
    std::uint32_t eax = 0, edx = 0;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return (std::uint64_t{edx} << 32) | eax;
}

TCpuVectors DetectCpuVectors()
{
    TCpuVectors found;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return found;
    const bool osxsave = (ecx & bit_OSXSAVE) != 0;
    const bool avx = (ecx & bit_AVX) != 0;
    if (!osxsave || !avx)
        return found;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return found;
    const std::uint64_t xcr0 = ReadXcr0();
    const bool ymmSaved = (xcr0 & 0x6) == 0x6;
    const bool zmmSaved = (xcr0 & 0xe6) == 0xe6;
    found.avx2 = ymmSaved && (ebx & bit_AVX2) != 0;
    found.avx512 = zmmSaved && (ebx & bit_AVX512F) != 0;
    return found;
}

const TCpuVectors &CpuVectors()
{
    static const TCpuVectors vectors = DetectCpuVectors();
    return vectors;
}

#endif

TLaneEngine BestEngine()
{
    if (LaneEngineAvailable(TLaneEngine::Avx512))
        return TLaneEngine::Avx512;
    if (LaneEngineAvailable(TLaneEngine::Avx2))
        return TLaneEngine::Avx2;
    return TLaneEngine::Scalar;
}

// The best engine, or a lower one named by BRACKWELL_LANE_ENGINE ("scalar",
// "avx2" or "avx512"), so that a benchmark shows what a machine without the
// better one gets. An engine the machine lacks is not taken.
TLaneEngine StartingEngine()
{
    const char *asked = std::getenv("BRACKWELL_LANE_ENGINE");
    if (asked == nullptr)
        return BestEngine();
    const std::string_view name(asked);
    for (const auto &[engine, text] : {std::pair{TLaneEngine::Scalar, "scalar"}, std::pair{TLaneEngine::Avx2, "avx2"},
                                       std::pair{TLaneEngine::Avx512, "avx512"}}) {
        if (name == text && LaneEngineAvailable(engine))
            return engine;
    }
    return BestEngine();
}

std::atomic<TLaneEngine> &ActiveEngine()
{
    static std::atomic<TLaneEngine> engine{StartingEngine()};
    return engine;
}

int LanesOf(TLaneEngine engine)
{
    switch (engine) {
    case TLaneEngine::Avx512:
        return 32;
    case TLaneEngine::Avx2:
        return 8;
    case TLaneEngine::Scalar:
        break;
    }
    return 4;
}

// Below this many busy lanes a vector run costs more than compressing each
// stream on its own.
int FewestVectorLanes(TLaneAlgorithm algorithm, TLaneEngine engine)
{
    // A stream on its own takes SHA-1 at about 1.7 GB/s on the SHA
    // extensions, as fast as 4 of 8 AVX2 lanes or 5 of 16 AVX-512 lanes
    // (Lanes/SHA1 in bench_lanes.cpp).
    if (algorithm == TLaneAlgorithm::SHA1 && SHA1Engine() == TSHA1Engine::ShaExtensions)
        return engine == TLaneEngine::Avx2 ? 5 : 6;
    return 3;
}

// The code that runs `busy` lanes on a manager of `engine`. SHA-1 on AVX-512
// takes the 256-bit vectors for up to 8 lanes: a 512-bit vector half empty
// costs more than a full one of half the width (Lanes/SHA1/.../8 in
// bench_lanes.cpp).
TLaneEngine EngineForRun(TLaneAlgorithm algorithm, TLaneEngine engine, int busy)
{
    if (engine == TLaneEngine::Avx512 && algorithm == TLaneAlgorithm::SHA1 && busy <= 8
        && LaneEngineAvailable(TLaneEngine::Avx2))
        engine = TLaneEngine::Avx2;
    return busy < FewestVectorLanes(algorithm, engine) ? TLaneEngine::Scalar : engine;
}

} // namespace

bool LaneEngineAvailable(TLaneEngine engine)
{
    switch (engine) {
    case TLaneEngine::Scalar:
        return true;
#ifdef BRACKWELL_LANES_X86
    case TLaneEngine::Avx2:
        return CpuVectors().avx2;
    case TLaneEngine::Avx512:
        return CpuVectors().avx512;
#else
    case TLaneEngine::Avx2:
    case TLaneEngine::Avx512:
        return false;
#endif
    }
    return false;
}

TLaneEngine LaneEngine()
{
    return ActiveEngine().load(std::memory_order_relaxed);
}

TLaneEngine ForceLaneEngine(TLaneEngine engine)
{
    const TLaneEngine before = LaneEngine();
    if (LaneEngineAvailable(engine))
        ActiveEngine().store(engine, std::memory_order_relaxed);
    return before;
}

const char *LaneEngineName(TLaneEngine engine)
{
    switch (engine) {
    case TLaneEngine::Avx512:
        return "AVX-512";
    case TLaneEngine::Avx2:
        return "AVX2";
    case TLaneEngine::Scalar:
        break;
    }
    return "scalar";
}

// ---------------------------------------------------------------------------
// TLaneManager

TLaneManager::TLaneManager(TLaneAlgorithm algorithm, TLaneEngine engine)
    : m_algorithm(algorithm)
    , m_engine(LaneEngineAvailable(engine) ? engine : TLaneEngine::Scalar)
    , m_lanes(LanesOf(m_engine))
    , m_words(algorithm == TLaneAlgorithm::SHA1 ? 5 : 4)
{
}

TLaneJob *TLaneManager::Submit(TLaneJob *job)
{
    BrackwellAssert(job != nullptr, "TLaneManager.Submit: no job given.");
    BrackwellAssert(job->Blocks != nullptr || job->BlockCount == 0, "TLaneManager.Submit: a job with blocks to hash but no address for them.");
    if (job->BlockCount == 0) {
        PushFinished(job);
    } else {
        // Busy lanes are kept at the front (see Compact), so the next free one is m_busy.
        const int lane = m_busy++;
        for (int w = 0; w < m_words; ++w)
            m_state[w][lane] = job->State[w];
        m_jobs[lane] = job;
        m_data[lane] = job->Blocks;
        m_left[lane] = job->BlockCount;
        if (m_busy == m_lanes)
            Run();
    }
    return PopFinished();
}

TLaneJob *TLaneManager::Flush()
{
    if (m_finishedCount == 0 && m_busy > 0)
        Run();
    return PopFinished();
}

void TLaneManager::Abandon()
{
    m_jobs.fill(nullptr);
    m_busy = 0;
    m_finishedCount = 0;
}

TLaneJob *TLaneManager::PopFinished()
{
    if (m_finishedCount == 0)
        return nullptr;
    TLaneJob *done = m_finished[static_cast<std::size_t>(m_finishedFirst)];
    m_finishedFirst = (m_finishedFirst + 1) % static_cast<int>(m_finished.size());
    --m_finishedCount;
    return done;
}

void TLaneManager::PushFinished(TLaneJob *job)
{
    BrackwellAssert(m_finishedCount < static_cast<int>(m_finished.size()), "TLaneManager: too many finished jobs.");
    const int at = (m_finishedFirst + m_finishedCount) % static_cast<int>(m_finished.size());
    m_finished[static_cast<std::size_t>(at)] = job;
    ++m_finishedCount;
}

void TLaneManager::Run()
{
    const int busy = m_busy;
    const std::size_t blocks = *std::min_element(m_left.begin(), m_left.begin() + busy);

    const TLaneEngine engine = EngineForRun(m_algorithm, m_engine, busy);
    if (engine == TLaneEngine::Scalar) {
        auto compress = m_algorithm == TLaneAlgorithm::SHA1 ? SHA1CompressBlocks
            : m_algorithm == TLaneAlgorithm::MD5                ? MD5CompressBlocks
                                                                : MD4CompressBlocks;
        for (int lane = 0; lane < busy; ++lane) {
            std::uint32_t words[5];
            for (int w = 0; w < m_words; ++w)
                words[w] = m_state[w][lane];
            compress(words, m_data[lane], blocks);
            for (int w = 0; w < m_words; ++w)
                m_state[w][lane] = words[w];
        }
    } else {
        // Free lanes up to the vector's width read a busy lane's blocks; what
        // they compute is never used.
        const int width = engine == TLaneEngine::Avx2 ? 8 : busy > 16 ? 32 : 16;
        for (int lane = busy; lane < width; ++lane)
            m_data[lane] = m_data[0];
        if (engine == TLaneEngine::Avx2) {
            auto compress = m_algorithm == TLaneAlgorithm::SHA1 ? lanes::Sha1Avx2
                : m_algorithm == TLaneAlgorithm::MD5            ? lanes::Md5Avx2
                                                                : lanes::Md4Avx2;
            compress(m_state, m_data.data(), blocks);
        } else {
            auto compress = m_algorithm == TLaneAlgorithm::SHA1 ? lanes::Sha1Avx512
                : m_algorithm == TLaneAlgorithm::MD5            ? lanes::Md5Avx512
                                                                : lanes::Md4Avx512;
            compress(m_state, m_data.data(), blocks, width / 16);
        }
    }

    for (int lane = 0; lane < busy; ++lane) {
        m_data[lane] += blocks * 64;
        m_left[lane] -= blocks;
        if (m_left[lane] == 0) {
            TLaneJob *job = m_jobs[lane];
            for (int w = 0; w < m_words; ++w)
                job->State[w] = m_state[w][lane];
            PushFinished(job);
            m_jobs[lane] = nullptr;
        }
    }
    Compact();
}

// Moves the busy lanes to the front, in order, so that a run covers them with
// the narrowest vectors that fit.
void TLaneManager::Compact()
{
    int to = 0;
    for (int from = 0; from < m_busy; ++from) {
        if (m_jobs[from] == nullptr)
            continue;
        if (to != from) {
            for (int w = 0; w < m_words; ++w)
                m_state[w][to] = m_state[w][from];
            m_jobs[to] = m_jobs[from];
            m_data[to] = m_data[from];
            m_left[to] = m_left[from];
            m_jobs[from] = nullptr;
        }
        ++to;
    }
    m_busy = to;
}

// ---------------------------------------------------------------------------
// TLaneFeed

TLaneFeed::TLaneFeed(TChainingDigest &digest)
    : m_digest(digest)
{
    m_job.UserData = this;
}

bool TLaneFeed::Start(const std::uint8_t *data, std::size_t count)
{
    BrackwellAssert(data != nullptr || count == 0, "TLaneFeed.Start: bytes to feed but no address for them.");
    if (count == 0)
        return false;
    const auto partial = static_cast<std::size_t>(m_digest.PartialLength());
    const std::size_t head = partial == 0 ? 0 : std::min(count, 64 - partial);
    if (head > 0)
        m_digest.Transform(data, head);
    data += head;
    count -= head;

    const std::size_t blocks = count / 64;
    if (blocks == 0) {
        if (count > 0)
            m_digest.Transform(data, count);
        return false;
    }
    m_digest.LendChainingValues(m_job.State);
    m_job.Blocks = data;
    m_job.BlockCount = blocks;
    m_tail = data + blocks * 64;
    m_tailCount = count - blocks * 64;
    return true;
}

void TLaneFeed::Finish()
{
    m_digest.ReturnChainingValues(m_job.State, m_job.BlockCount);
    if (m_tailCount > 0)
        m_digest.Transform(m_tail, m_tailCount);
    m_tail = nullptr;
    m_tailCount = 0;
}
