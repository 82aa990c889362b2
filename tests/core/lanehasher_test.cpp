// Many files through the lanes give what TDonkeyFile gives for each, in the
// order given, on every engine the CPU has.

#include "lanehasher.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;

struct Expected
{
    std::string donkey;
    std::string fileSpree;
};

Expected FromDonkeyFile(const std::string &path, THashSelection selection)
{
    TDonkeyFile entry(path, selection);
    entry.HashFile();
    return {entry.DonkeyHash(), entry.FileSpreeHash()};
}

void ExpectSameAsDonkeyFile(const std::vector<std::string> &paths, THashSelection selection, TLaneEngine engine,
                            const std::vector<bool> &fails = {}, bool parallel = false)
{
    TLaneHashOptions options;
    options.Engine = engine;
    options.Parallel = parallel;
    std::size_t calls = 0;
    HashFilesInLanes(
        paths, selection,
        [&](std::size_t index, const TLaneFileResult &result) {
            ASSERT_EQ(index, calls++) << "results out of order";
            const bool shouldFail = index < fails.size() && fails[index];
            EXPECT_EQ(result.Failure.empty(), !shouldFail) << paths[index] << ": " << result.Failure;
            if (shouldFail)
                return;
            const Expected expected = FromDonkeyFile(paths[index], selection);
            EXPECT_EQ(result.DonkeyHash, (selection & hsDonkey) ? expected.donkey : "") << paths[index];
            EXPECT_EQ(result.FileSpreeHash, (selection & hsFileSpree) ? expected.fileSpree : "") << paths[index];
        },
        options);
    EXPECT_EQ(calls, paths.size());
}

// The one-file path: same eDonkey2000 hash, one progress step per chunk in order.
void ExpectChunksSameAsDonkeyFile(const std::string &path, TLaneEngine engine)
{
    TLaneHashOptions options;
    options.Engine = engine;
    std::vector<std::int32_t> steps;
    const TLaneFileResult result =
        HashChunksInLanes(path, [&](std::int32_t chunk) { steps.push_back(chunk); }, options);
    TDonkeyFile entry(path, hsDonkey);
    entry.HashFile();
    EXPECT_EQ(result.Failure, "");
    EXPECT_EQ(result.DonkeyHash, entry.DonkeyHash()) << path;
    std::vector<std::int32_t> expected(static_cast<std::size_t>(entry.ChunkCount()));
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = static_cast<std::int32_t>(i + 1);
    EXPECT_EQ(steps, expected) << path;
}

class LaneHasher : public testing::TestWithParam<TLaneEngine>
{
protected:
    void SetUp() override
    {
        if (!LaneEngineAvailable(GetParam()))
            GTEST_SKIP() << LaneEngineName(GetParam()) << " is not available on this CPU";
    }
};

// More files than lanes, of sizes around the block and read lengths, with
// missing paths and a folder among them, each selection of hashes.
TEST_P(LaneHasher, ManySmallFiles)
{
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<bool> fails;
    const std::uint64_t sizes[] = {0, 1, 55, 63, 64, 65, 1000, 4095, 262'143, 262'144, 262'145, 700'001};
    for (int i = 0; i < 45; ++i) {
        const std::string path = dir.file("f" + std::to_string(i));
        if (i % 11 == 5) {
            paths.push_back(dir.file("missing" + std::to_string(i)));
            fails.push_back(true);
            continue;
        }
        testsupport::WritePatternFile(path, sizes[i % std::size(sizes)] + static_cast<std::uint64_t>(i / 12));
        paths.push_back(path);
        fails.push_back(false);
    }
    paths.push_back(dir.path().string());
    fails.push_back(true);
    for (const THashSelection selection : {hsAll, hsDonkey, hsFileSpree})
        ExpectSameAsDonkeyFile(paths, selection, GetParam(), fails);
    ExpectSameAsDonkeyFile(paths, hsAll, GetParam(), fails, true);
}

INSTANTIATE_TEST_SUITE_P(Engines, LaneHasher,
                         testing::Values(TLaneEngine::Scalar, TLaneEngine::Avx2, TLaneEngine::Avx512),
                         [](const testing::TestParamInfo<TLaneEngine> &info) {
                             return std::string(info.param == TLaneEngine::Avx512 ? "Avx512"
                                                : info.param == TLaneEngine::Avx2 ? "Avx2"
                                                                                  : "Scalar");
                         });

// Files around the eDonkey2000 chunk length, where the chunk list ends with an
// empty chunk or not, beside a long one that keeps a lane busy.
TEST(LaneHasherChunks, ChunkBoundaries)
{
    TempDir dir;
    std::vector<std::string> paths;
    for (const std::int64_t size : {DonkeyChunkSize - 1, DonkeyChunkSize, DonkeyChunkSize + 1, std::int64_t{5},
                                    std::int64_t{0}}) {
        paths.push_back(dir.file("c" + std::to_string(size)));
        testsupport::WritePatternFile(paths.back(), static_cast<std::uint64_t>(size));
    }
    ExpectSameAsDonkeyFile(paths, hsAll, LaneEngine());

    for (const std::string &path : paths)
        ExpectChunksSameAsDonkeyFile(path, LaneEngine());
}

// One file's chunks in lanes, in more groups than one: the scalar engine's
// four lanes over four chunks of unlike content, then a fifth of one byte.
TEST(LaneHasherChunks, ChunkGroups)
{
    TempDir dir;
    const std::string path = dir.file("four-chunks-and-a-byte");
    testsupport::WritePatternFile(path, 4 * DonkeyChunkSize + 1);
    ExpectChunksSameAsDonkeyFile(path, TLaneEngine::Scalar);

    const TLaneFileResult missing = HashChunksInLanes(dir.file("missing"), nullptr);
    EXPECT_FALSE(missing.Failure.empty());
    EXPECT_EQ(missing.DonkeyHash, "");
}

} // namespace
