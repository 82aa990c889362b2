#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "digests/MessageDigests.h"
#include "digests/ed2k.h"
#include "input/fileio.h"
#include "partdata.h"
#include "partmetbuilder.h"
#include "runs/chunklanes.h"
#include "runs/datacheck.h"
#include "testsupport.h"

using namespace partmet;
using namespace partdata;
using testsupport::TempDir;

namespace {

using TVerdicts = std::vector<TChunkVerdict>;
constexpr auto G = TChunkVerdict::Good, X = TChunkVerdict::Corrupt, M = TChunkVerdict::Missing;

std::string Hex(const std::uint8_t *digest)
{
    return HexText(digest, DonkeyDigestBytes, true);
}

} // namespace

TEST(PartMetGaps, ReadAndPaired)
{
    // Tags of the old form: the gap of the rest of the file after 1 MiB.
    const TPartMetContents old = ReadPartMet([bytes = OldForm().Bytes(), at = std::size_t(0)](void *b, std::size_t n) mutable {
        const std::size_t step = std::min(n, bytes.size() - at);
        std::memcpy(b, bytes.data() + at, step);
        at += step;
        return static_cast<std::int64_t>(step);
    });
    EXPECT_EQ(GapsOf(old, 734003200), (std::vector<TPartMetGap>{{1048576, 734003200}}));

    struct TCase
    {
        const char *what;
        std::map<std::string, std::uint64_t> starts, ends;
        std::uint64_t size;
        std::vector<TPartMetGap> gaps;
    };
    const std::vector<TCase> cases = {
        {"paired by number, in order of offset", {{"1", 50}, {"0", 10}}, {{"0", 20}, {"1", 60}}, 100,
         {{10, 20}, {50, 60}}},
        {"touching and overlapping gaps join", {{"0", 10}, {"1", 20}, {"2", 25}}, {{"0", 20}, {"1", 30}, {"2", 28}},
         100, {{10, 30}}},
        {"cut at the size; beyond it, none", {{"0", 90}, {"1", 200}}, {{"0", 150}, {"1", 300}}, 100, {{90, 100}}},
        {"a start without its end runs to the end", {{"0", 40}}, {}, 100, {{40, 100}}},
        {"an end without its start runs from the start", {}, {{"7", 30}}, 100, {{0, 30}}},
        {"an end before its start: both ends count", {{"0", 60}}, {{"0", 40}}, 100, {{40, 60}}},
        {"empty gaps vanish", {{"0", 5}}, {{"0", 5}}, 100, {}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.what);
        TPartMetContents contents;
        contents.GapStarts = c.starts;
        contents.GapEnds = c.ends;
        EXPECT_EQ(GapsOf(contents, c.size), c.gaps);
    }
}

TEST(DataCheck, ChunksSideBySideMatchTheirDigests)
{
    const TempDir dir;
    const std::string path = dir.file("data");
    const std::int64_t size = 4 * C + 77;
    WriteData(path, size);
    const std::vector<std::string> parts = PartHashesOf(path, size);
    TReadOnlyFile file;
    ASSERT_TRUE(file.Open(path));
    for (const TLaneEngine engine : {TLaneEngine::Scalar, LaneEngine()}) {
        for (const unsigned threads : {1u, 2u}) {
            for (const std::vector<std::int64_t> &chosen :
                 {std::vector<std::int64_t>{1, 3, 5}, {2}, {5}, {1, 2, 3, 4, 5}, {}}) {
                SCOPED_TRACE(testing::Message() << "threads " << threads << ", " << chosen.size() << " chunks");
                TLaneHashOptions options;
                options.Engine = engine;
                options.ReadBlockSize = 64 * 1024;
                std::vector<std::uint8_t> digests(chosen.size() * 16);
                std::vector<std::int32_t> reported;
                EXPECT_EQ(HashChosenChunksInLanes(file, size, chosen, digests.data(), threads,
                                                  [&](std::int32_t i) { reported.push_back(i); }, options),
                          "");
                for (std::size_t i = 0; i < chosen.size(); ++i)
                    EXPECT_EQ(Hex(digests.data() + 16 * i), parts[static_cast<std::size_t>(chosen[i] - 1)]);
                EXPECT_EQ(reported.size(), chosen.size());
                for (std::size_t i = 0; i < reported.size(); ++i)
                    EXPECT_EQ(reported[i], static_cast<std::int32_t>(i + 1));
            }
        }
    }
}

TEST(DataCheck, Verdicts)
{
    struct TCase
    {
        const char *what;
        std::int64_t size;
        // Bytes overwritten after the part hashes were taken: corrupt chunks.
        std::vector<std::int64_t> spoiled = {};
        std::vector<TTag> gaps = {};
        // The data file cut to this length (-1: as long as the size).
        std::int64_t dataLength = -1;
        TVerdicts verdicts = {};
        std::int64_t bytesComplete = -1; // -1: the size
        bool agree = true;
        // The part hashes recorded: every one, without the empty last one,
        // or none (a file of one chunk); a recorded file hash of another file.
        enum { Every, NoEmpty, None } parts = Every;
        bool otherFileHash = false;
    };
    const std::vector<TCase> cases = {
        {"three chunks, all good", 2 * C + 5000, {}, {}, -1, {G, G, G}},
        {"one corrupt", 2 * C + 5000, {C + 100}, {}, -1, {G, X, G}},
        {"two corrupt, the first and the short last", 2 * C + 5000, {0, 2 * C + 4999}, {}, -1, {X, G, X}},
        {"one byte missing in the middle", 2 * C + 5000, {}, {Gap(GapStart, "0", C + 7), Gap(GapEnd, "0", C + 8)}, -1,
         {G, M, G}, 2 * C + 4999},
        {"a gap across a chunk edge takes both", 2 * C + 5000, {},
         {Gap(GapStart, "0", C - 1), Gap(GapEnd, "0", C + 1, 64)}, -1, {M, M, G}, 2 * C + 4998},
        {"corrupt bytes inside a gap make it no worse than missing", 2 * C + 5000, {C + 10},
         {Gap(GapStart, "3", C), Gap(GapEnd, "3", 2 * C)}, -1, {G, M, G}, C + 5000},
        {"many: everything missing", 2 * C + 5000, {}, {Gap(GapStart, "0", 0), Gap(GapEnd, "0", 2 * C + 5000)}, -1,
         {M, M, M}, 0},
        {"two gaps, one corrupt chunk between", 3 * C, {C + 1},
         {Gap(GapStart, "0", 10), Gap(GapEnd, "0", 20), Gap(GapStart, "1", 2 * C), Gap(GapEnd, "1", 3 * C)}, -1,
         {M, X, M}, C + C - 10},
        {"exact chunks: no cell for the empty chunk", 2 * C, {}, {}, -1, {G, G}},
        {"exact chunks listed without the empty one", 2 * C, {C}, {}, -1, {G, X}, -1, true, TCase::NoEmpty},
        {"data cut short inside the last chunk", 2 * C + 5000, {}, {}, 2 * C + 4000, {G, G, M}, 2 * C + 4000},
        {"data cut short inside the first chunk: never good", 2 * C + 5000, {}, {}, C - 1, {M, M, M}, C - 1},
        {"data cut short inside a gap: the gap counts once", 2 * C + 5000, {},
         {Gap(GapStart, "0", C + 100), Gap(GapEnd, "0", 2 * C)}, C + 200, {G, M, M}, C + 100},
        {"empty data file", 2 * C + 5000, {}, {}, 0, {M, M, M}, 0},
        {"part hashes of another file hash: they do not agree", 2 * C + 5000, {}, {}, -1, {G, G, G}, -1, false,
         TCase::Every, true},
        {"one chunk, no part hashes: the file hash", 5000, {}, {}, -1, {G}, -1, true, TCase::None},
        {"one chunk, corrupt", 5000, {4999}, {}, -1, {X}, -1, true, TCase::None},
        {"one chunk in a gap", 5000, {}, {Gap(GapStart, "0", 0), Gap(GapEnd, "0", 1)}, -1, {M}, 4999, true,
         TCase::None},
        {"one chunk with its part hash", C - 1, {}, {}, -1, {G}, -1, true, TCase::NoEmpty},
        {"an empty download has no chunks", 0, {}, {}, -1, {}, 0, true, TCase::None},
    };
    const TempDir dir;
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string data = dir.file("001.part");
        WriteData(data, c.size);
        std::vector<std::string> parts = PartHashesOf(data, c.size);
        const std::string root = RootOf(parts);
        if (c.parts == TCase::NoEmpty && parts.size() > 1)
            parts.pop_back();
        if (c.parts == TCase::None)
            parts.clear();
        for (const std::int64_t at : c.spoiled)
            Overwrite(data, at, "\xFF");
        if (c.dataLength >= 0)
            std::filesystem::resize_file(data, static_cast<std::uintmax_t>(c.dataLength));
        TBuilder descriptor(0xE0, HashFromHex(c.otherFileHash ? RootOf({parts.front()}) : c.parts == TCase::NoEmpty ? RootOf(parts) : root));
        descriptor.PartHashes(Views(parts)).Add(Integer(FileSize, static_cast<std::uint64_t>(c.size), 64)).Add(c.gaps);
        testsupport::WriteFile(data + ".met", descriptor.Bytes());

        std::int64_t started = -1, lastDone = 0;
        TDataCheckOptions options;
        options.Threads = 2;
        options.OnStart = [&](std::int64_t total) { started = total; };
        options.OnChunk = [&](std::int64_t done) { lastDone = done; };
        const TDataCheck check = CheckPartData(data + ".met", options);
        EXPECT_EQ(check.Error, "");
        EXPECT_EQ(check.DataPath, data);
        EXPECT_EQ(check.Chunks, c.verdicts);
        EXPECT_EQ(check.BytesComplete, c.bytesComplete < 0 ? c.size : c.bytesComplete);
        EXPECT_EQ(check.HashesAgree, std::optional<bool>(c.agree));
        const auto count = [&](TChunkVerdict v) { return std::count(c.verdicts.begin(), c.verdicts.end(), v); };
        EXPECT_EQ(check.Good, count(G));
        EXPECT_EQ(check.Corrupt, count(X));
        EXPECT_EQ(check.Missing, count(M));
        EXPECT_EQ(started, check.Good + check.Corrupt);
        EXPECT_EQ(lastDone, started);
        EXPECT_EQ(check.Passed(), c.agree && count(X) == 0);
    }
}

TEST(DataCheck, DescriptorsThatCannotBeChecked)
{
    const TempDir dir;
    const std::string data = dir.file("002.part");
    WriteData(data, 2 * C);
    const std::vector<std::string> parts = PartHashesOf(data, 2 * C);
    const auto size = Integer(FileSize, 2 * C);
    // The system's own words for a file that is not there.
    TReadOnlyFile absent;
    ASSERT_FALSE(absent.Open(dir.file("absent")));
    const std::string missing = absent.Error();
    struct TCase
    {
        const char *what;
        std::string descriptor;
        std::string error;
        bool withData = true;
        std::string path = "002.part.met";
    };
    const std::vector<TCase> cases = {
        {"no data file", TBuilder().PartHashes(Views(parts)).Add(size).Bytes(),
         "the data file 002.part cannot be read: " + missing, false},
        {"no part hashes yet", TBuilder().Add(size).Bytes(),
         "the descriptor records no part hashes yet (the client has not learnt them); its chunks cannot be checked"},
        {"part hashes of another size", TBuilder().PartHashes({parts[0]}).Add(size).Bytes(),
         "the descriptor records 1 part hashes where a file of 19456000 bytes has 3; its chunks cannot be checked"},
        {"no size", TBuilder().PartHashes(Views(parts)).Bytes(), "the descriptor records no size; its data is not checked"},
        {"cut short in its tags",
         TBuilder().PartHashes(Views(parts)).Add(size).Add(Gap(GapStart, "0", 5)).DeclaredTagCount(3).Bytes(),
         "the descriptor is cut short before the end of its tags; the gaps are not all known and its data is not "
         "checked"},
        {"not a descriptor", "hello", "not a download descriptor: it starts with byte 0x68, not 0xE0, 0xE1 or 0xE2"},
        {"a name without .met", TBuilder().PartHashes(Views(parts)).Add(size).Bytes(),
         "the descriptor's name does not end in .met, so its data file is not known", true, "002.part.meta"},
        {"no descriptor", "", missing, true, "none.part.met"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.withData)
            WriteData(data, 2 * C);
        else
            std::filesystem::remove(data);
        if (!c.descriptor.empty())
            testsupport::WriteFile(dir.file(c.path), c.descriptor);
        const TDataCheck check = CheckPartData(dir.file(c.path));
        EXPECT_EQ(check.Error, c.error);
        if (std::string(c.what) == "no part hashes yet")
            EXPECT_FALSE(check.HashesAgree.has_value());
        EXPECT_TRUE(check.Chunks.empty());
        EXPECT_FALSE(check.Passed());
    }
}

// A descriptor as aMule 2.3.3 (Debian's amuled) wrote it for a download of 4
// bytes it had just been given as a magnet link: nothing arrived, one gap
// from 0 to the size, the end excluded, and no part hash for one chunk.
TEST(DataCheck, DescriptorOfARealClient)
{
    const std::string written =
        "e0c2761a6b539080ba278cf4cf4db2e4a32642ff30000011000000020100010900782b793d7a2e62696e020100010900782b793d7a"
        "2e62696e030100020400000003010008000000000301001400000000030100180500000003010013050000000301000500000000"
        "03010019050000000301001705000000030100530000000003010050000000000301005400000000030100510000000003010052"
        "000000000302000930000000000302000a3004000000";
    std::string bytes;
    for (std::size_t i = 0; i + 1 < written.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(written.substr(i, 2), nullptr, 16)));
    const TempDir dir;
    testsupport::WriteFile(dir.file("002.part.met"), bytes);
    testsupport::WriteFile(dir.file("002.part"), std::string());
    const TDataCheck check = CheckPartData(dir.file("002.part.met"));
    EXPECT_EQ(check.Error, "");
    EXPECT_EQ(check.Size, 4);
    EXPECT_EQ(check.Chunks, TVerdicts{M});
    EXPECT_EQ(check.BytesComplete, 0);

    testsupport::WriteFile(dir.file("002.part"), std::string("data"));
    // Its data arrived: the gap is gone (it starts where it ends), and the
    // file hash is the chunk's.
    testsupport::WriteFile(dir.file("002.part.met"),
                           bytes.substr(0, bytes.size() - 13) + std::string("\x04\x00\x00\x00", 4)
                               + bytes.substr(bytes.size() - 9));
    EXPECT_EQ(CheckPartData(dir.file("002.part.met")).Chunks, TVerdicts{G});
}

TEST(DataCheck, StopEndsTheCheck)
{
    const TempDir dir;
    const std::string data = dir.file("003.part");
    WriteData(data, 3 * C);
    const std::vector<std::string> parts = PartHashesOf(data, 3 * C);
    testsupport::WriteFile(data + ".met",
                           TBuilder(0xE0, HashFromHex(RootOf(parts))).PartHashes(Views(parts)).Add(Integer(FileSize, 3 * C)).Bytes());
    std::atomic<bool> stop{false};
    TDataCheckOptions options;
    options.Stop = &stop;
    options.OnStart = [&](std::int64_t) { stop = true; };
    const TDataCheck check = CheckPartData(data + ".met", options);
    EXPECT_EQ(check.Error, "stopped");
    EXPECT_TRUE(check.Chunks.empty());
}
