// The lane engines against the one-stream digests: every engine the CPU has,
// every algorithm, many streams of unrelated lengths fed in random pieces from
// misaligned addresses, and the rules of lending a digest's chaining values.

#include "digests/MessageDigests.h"
#include "digests/lanes.h"
#include "digests/sha1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kLargest = std::size_t{64} << 20;

// Random bytes that the streams take their content from, at any offset.
const std::vector<std::uint8_t> &Pool()
{
    static const std::vector<std::uint8_t> pool = [] {
        std::vector<std::uint8_t> bytes(kLargest + 4096);
        std::uint64_t x = 0x9e3779b97f4a7c15u;
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            for (int b = 0; b < 8; ++b)
                bytes[i + b] = static_cast<std::uint8_t>(x >> (8 * b));
        }
        return bytes;
    }();
    return pool;
}

struct Stream
{
    std::size_t offset = 0; // into the pool: any alignment
    std::size_t length = 0;
};

std::unique_ptr<TChainingDigest> MakeDigest(TLaneAlgorithm algorithm)
{
    switch (algorithm) {
    case TLaneAlgorithm::MD5:
        return std::make_unique<TMD5>();
    case TLaneAlgorithm::SHA1:
        return std::make_unique<TSHA1>();
    case TLaneAlgorithm::MD4:
        break;
    }
    return std::make_unique<TMD4>();
}

std::string Reference(TLaneAlgorithm algorithm, const Stream &stream)
{
    const auto digest = MakeDigest(algorithm);
    digest->Transform(Pool().data() + stream.offset, stream.length);
    digest->Complete();
    return digest->DigestText();
}

// Feeds every stream through one manager, each in pieces of 1..maxPiece
// bytes, one piece in flight per stream, and returns the digests.
std::vector<std::string> ThroughLanes(TLaneAlgorithm algorithm, TLaneEngine engine,
                                      const std::vector<Stream> &streams, std::size_t maxPiece,
                                      std::mt19937_64 &random)
{
    TLaneManager manager(algorithm, engine);
    EXPECT_EQ(manager.Engine(), engine);

    struct Fed
    {
        std::unique_ptr<TChainingDigest> digest;
        std::unique_ptr<TLaneFeed> feed;
        std::size_t done = 0;
        bool inFlight = false;
    };
    std::vector<Fed> fed(streams.size());
    for (Fed &f : fed) {
        f.digest = MakeDigest(algorithm);
        f.feed = std::make_unique<TLaneFeed>(*f.digest);
    }
    auto takeBack = [](TLaneJob *job) {
        auto *feed = static_cast<TLaneFeed *>(job->UserData);
        feed->Finish();
        return feed;
    };
    auto markDone = [&](TLaneFeed *feed) {
        for (Fed &f : fed)
            if (f.feed.get() == feed)
                f.inFlight = false;
    };

    std::uniform_int_distribution<std::size_t> pieceSize(1, maxPiece);
    for (bool pending = true; pending;) {
        pending = false;
        for (std::size_t i = 0; i < streams.size(); ++i) {
            Fed &f = fed[i];
            if (f.done == streams[i].length)
                continue;
            pending = true;
            if (f.inFlight)
                continue;
            const std::size_t piece = std::min(pieceSize(random), streams[i].length - f.done);
            const std::uint8_t *at = Pool().data() + streams[i].offset + f.done;
            f.done += piece;
            if (!f.feed->Start(at, piece))
                continue;
            f.inFlight = true;
            if (TLaneJob *job = manager.Submit(&f.feed->Job()))
                markDone(takeBack(job));
        }
        if (!pending)
            break;
        // Every stream with bytes left is in flight: drain one job to go on.
        bool waiting = true;
        for (std::size_t i = 0; i < streams.size(); ++i)
            if (!fed[i].inFlight && fed[i].done < streams[i].length)
                waiting = false;
        if (waiting) {
            if (TLaneJob *job = manager.Flush())
                markDone(takeBack(job));
        }
    }
    while (TLaneJob *job = manager.Flush())
        markDone(takeBack(job));
    EXPECT_EQ(manager.JobsInFlight(), 0);

    std::vector<std::string> digests;
    for (Fed &f : fed) {
        f.digest->Complete();
        digests.push_back(f.digest->DigestText());
    }
    return digests;
}

void ExpectSameAsReference(TLaneAlgorithm algorithm, TLaneEngine engine, const std::vector<Stream> &streams,
                           std::size_t maxPiece, std::mt19937_64 &random)
{
    const std::vector<std::string> digests = ThroughLanes(algorithm, engine, streams, maxPiece, random);
    ASSERT_EQ(digests.size(), streams.size());
    for (std::size_t i = 0; i < streams.size(); ++i)
        ASSERT_EQ(digests[i], Reference(algorithm, streams[i]))
            << MakeDigest(algorithm)->AlgorithmName() << " stream " << i << " of "
            << streams.size() << ", offset " << streams[i].offset << ", length " << streams[i].length << ", pieces up to " << maxPiece;
}

class Lanes : public testing::TestWithParam<TLaneEngine>
{
protected:
    void SetUp() override
    {
        if (!LaneEngineAvailable(GetParam()))
            GTEST_SKIP() << LaneEngineName(GetParam()) << " is not available on this CPU";
    }
};

const TLaneAlgorithm kAlgorithms[] = {TLaneAlgorithm::MD4, TLaneAlgorithm::MD5, TLaneAlgorithm::SHA1};

// Lengths 0..1,000 at once, more streams than lanes, each fed whole or in
// pieces around the block length.
TEST_P(Lanes, EveryLengthUpToAThousand)
{
    std::mt19937_64 random(1000);
    std::vector<Stream> streams;
    for (std::size_t length = 0; length <= 1000; ++length)
        streams.push_back({length % 61, length});
    for (const TLaneAlgorithm algorithm : kAlgorithms) {
        ExpectSameAsReference(algorithm, GetParam(), streams, 1000, random);
        ExpectSameAsReference(algorithm, GetParam(), streams, 130, random);
    }
}

// Seeded rounds: every stream count from 1 to past the widest engine, random
// lengths and offsets, random pieces, so lanes start and end at unrelated
// times; then a few streams of up to 64 MiB beside small ones.
TEST_P(Lanes, RandomizedDifferential)
{
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<std::size_t> offset(0, 4095);
    for (std::size_t count = 1; count <= 40; ++count) {
        std::uniform_int_distribution<std::size_t> length(0, count % 4 == 0 ? 100'000 : 5'000);
        std::vector<Stream> streams;
        for (std::size_t i = 0; i < count; ++i)
            streams.push_back({offset(random), length(random)});
        const std::size_t maxPiece = count % 3 == 0 ? 64 * 1024 : 4096 + 7;
        ExpectSameAsReference(kAlgorithms[count % 3], GetParam(), streams, maxPiece, random);
    }

    // One algorithm per engine keeps the run short; the engines share the
    // transposition and the step code of all three.
    std::uniform_int_distribution<std::size_t> large(kLargest / 2, kLargest);
    std::uniform_int_distribution<std::size_t> small(0, 1 << 20);
    std::vector<Stream> streams = {{offset(random), large(random)}, {offset(random), large(random) / 8}};
    for (int i = 0; i < 6; ++i)
        streams.push_back({offset(random), small(random)});
    ExpectSameAsReference(kAlgorithms[static_cast<int>(GetParam()) % 3], GetParam(), streams, 4 << 20, random);
}

// The shortest job decides how far a run goes: with the lanes full, it is the
// first to come back, with its chaining values advanced over all its blocks.
TEST_P(Lanes, ShortestJobReturnsFirst)
{
    TLaneManager manager(TLaneAlgorithm::MD5, GetParam());
    const int lanes = manager.Lanes();
    std::vector<TLaneJob> jobs(static_cast<std::size_t>(lanes));
    const int shortest = lanes / 2;
    TLaneJob *first = nullptr;
    for (int i = 0; i < lanes; ++i) {
        TLaneJob &job = jobs[static_cast<std::size_t>(i)];
        job.State[0] = static_cast<std::uint32_t>(i);
        job.Blocks = Pool().data() + 64 * i + 1;
        job.BlockCount = i == shortest ? 3 : 10 + static_cast<std::size_t>(i);
        first = manager.Submit(&job);
        if (i + 1 < lanes) {
            ASSERT_EQ(first, nullptr) << "a job came back before the lanes were full";
        }
    }
    ASSERT_EQ(first, &jobs[static_cast<std::size_t>(shortest)]);

    std::uint32_t expected[4] = {static_cast<std::uint32_t>(shortest), 0, 0, 0};
    MD5CompressBlocks(expected, Pool().data() + 64 * shortest + 1, 3);
    EXPECT_TRUE(std::equal(expected, expected + 4, first->State));

    // A job of no blocks comes back at once, even with no lane free.
    TLaneJob empty;
    empty.State[1] = 7;
    EXPECT_EQ(manager.Submit(&empty), &empty);
    EXPECT_EQ(empty.State[1], 7u);

    int drained = 0;
    while (manager.Flush() != nullptr)
        ++drained;
    EXPECT_EQ(drained, lanes - 1);
    EXPECT_EQ(manager.Flush(), nullptr);

    // Abandoned jobs, running or finished, never come back; the lanes then
    // take new jobs afresh.
    for (int i = 0; i + 1 < lanes; ++i)
        manager.Submit(&jobs[static_cast<std::size_t>(i)]);
    manager.Submit(&empty);
    manager.Abandon();
    EXPECT_EQ(manager.JobsInFlight(), 0);
    EXPECT_EQ(manager.Flush(), nullptr);
    TLaneJob again;
    again.Blocks = Pool().data();
    again.BlockCount = 2;
    EXPECT_EQ(manager.Submit(&again), nullptr);
    EXPECT_EQ(manager.Flush(), &again);
    std::uint32_t fresh[4] = {};
    MD5CompressBlocks(fresh, Pool().data(), 2);
    EXPECT_TRUE(std::equal(fresh, fresh + 4, again.State));
}

INSTANTIATE_TEST_SUITE_P(Engines, Lanes,
                         testing::Values(TLaneEngine::Scalar, TLaneEngine::Avx2, TLaneEngine::Avx512),
                         [](const testing::TestParamInfo<TLaneEngine> &info) {
                             return info.param == TLaneEngine::Avx512 ? std::string("Avx512")
                                 : info.param == TLaneEngine::Avx2     ? std::string("Avx2")
                                                                       : std::string("Scalar");
                         });

// Lent chaining values: no data, no completion and no second loan until they
// come back; only lent between whole blocks.
TEST(LaneFeed, LendingRules)
{
    TMD5 md5;
    TSHA1 sha1;
    const std::pair<TChainingDigest *, const char *> digests[] = {
        {&md5, "900150983cd24fb0d6963f7d28e17f72"},          // RFC 1321 "abc"
        {&sha1, "a9993e364706816aba3e25717850c26c9cd0d89d"}, // FIPS 180 "abc"
    };
    for (const auto &[digest, abc] : digests) {
        SCOPED_TRACE(digest->AlgorithmName());
        std::uint32_t state[5];
        const std::uint8_t bytes[3] = {'a', 'b', 'c'};

        EXPECT_THROW(digest->ReturnChainingValues(state, 0), EMessageDigestError);
        digest->Transform(bytes, 3);
        EXPECT_THROW(digest->LendChainingValues(state), EMessageDigestError);

        digest->Initialize();
        digest->LendChainingValues(state);
        EXPECT_THROW(digest->Transform(bytes, 1), EMessageDigestError);
        EXPECT_THROW(digest->Complete(), EMessageDigestError);
        EXPECT_THROW(digest->LendChainingValues(state), EMessageDigestError);
        digest->ReturnChainingValues(state, 0);
        digest->Transform(bytes, 3);
        digest->Complete();
        EXPECT_EQ(digest->DigestText(), abc);
    }

    // The switch that picks the engine for managers made without one.
    const TLaneEngine before = ForceLaneEngine(TLaneEngine::Scalar);
    EXPECT_EQ(LaneEngine(), TLaneEngine::Scalar);
    EXPECT_EQ(TLaneManager(TLaneAlgorithm::MD4).Engine(), TLaneEngine::Scalar);
    ForceLaneEngine(before);
    EXPECT_EQ(LaneEngine(), before);
}

} // namespace
