// brackwell-cli --verify-data: a line or a JSON object per descriptor, and
// the exit status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "clirun.h"
#include "input/fileio.h"
#include "partdata.h"
#include "partmetbuilder.h"
#include "testsupport.h"

using namespace partmet;
using namespace partdata;
using testsupport::TempDir;

namespace {

// A download of size bytes as NAME.part.met beside NAME.part, its part hashes
// taken from the data; then spoiled at the offsets given.
std::string Download(const TempDir &dir, const std::string &name, std::int64_t size,
                     const std::vector<TTag> &gaps = {}, const std::vector<std::int64_t> &spoiled = {})
{
    const std::string data = dir.file(name + ".part");
    WriteData(data, size);
    const std::vector<std::string> parts = PartHashesOf(data, size);
    TBuilder descriptor(0xE0, HashFromHex(RootOf(parts)));
    descriptor.PartHashes(Views(parts)).Add(Integer(FileSize, static_cast<std::uint64_t>(size))).Add(gaps);
    testsupport::WriteFile(data + ".met", descriptor.Bytes());
    for (const std::int64_t at : spoiled)
        Overwrite(data, at, "\x01");
    return data + ".met";
}

} // namespace

TEST(CliVerify, LinePerDescriptorAndStatus)
{
    const TempDir dir;
    const std::string good = Download(dir, "001", 2 * C + 10, {Gap(GapStart, "0", C), Gap(GapEnd, "0", C + 5)});
    const std::string corrupt = Download(dir, "002", 3 * C, {}, {5, C + 5, 2 * C + 5});
    const std::string lost = Download(dir, "003", 100);
    std::filesystem::remove(dir.file("003.part"));
    // The system's own words for a file that is not there.
    TReadOnlyFile absent;
    ASSERT_FALSE(absent.Open(dir.file("003.part")));
    const std::string missing = absent.Error();

    const auto ok = Cli({"--verify-data", good});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "OK (2 good, 0 corrupt, 1 missing; 19456005 of 19456010 bytes)\t" + good + "\n");
    EXPECT_EQ(ok.err, "1 OK, 0 failed\n");

    const auto all = Cli({"--verify-data", corrupt, lost, good});
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.out, "FAILED (0 good, 3 corrupt, 0 missing; 29184000 of 29184000 bytes; corrupt: chunks 1, 2, 3)\t" + corrupt
                           + "\nERROR (the data file 003.part cannot be read: " + missing + ")\t" + lost
                           + "\nOK (2 good, 0 corrupt, 1 missing; 19456005 of 19456010 bytes)\t" + good + "\n");
    EXPECT_EQ(all.err, "1 OK, 1 failed, 1 not checked\n");

    const auto json = Cli({"--verify-data", "--format=json", good, lost});
    EXPECT_EQ(json.out, "{\"path\":\"" + JsonPath(good) + "\",\"data_file\":\"" + JsonPath(dir.file("001.part"))
                            + "\",\"size\":19456010,\"chunks\":[\"good\",\"missing\",\"good\"],\"good\":2,\"corrupt\":0,"
                              "\"missing\":1,\"bytes_complete\":19456005,\"hashes_agree\":true,\"error\":null}\n"
                              "{\"path\":\"" + JsonPath(lost) + "\",\"data_file\":\"" + JsonPath(dir.file("003.part"))
                            + "\",\"size\":100,\"chunks\":[],\"good\":0,\"corrupt\":0,\"missing\":0,"
                              "\"bytes_complete\":0,\"hashes_agree\":true,\"error\":\"the data file 003.part cannot "
                              "be read: "
                            + missing + "\"}\n");
    EXPECT_EQ(json.status, 1);

    // Part hashes of another file: every chunk good, and still no success.
    const std::string other = dir.file("004.part.met");
    const std::vector<std::string> parts = PartHashesOf(dir.file("001.part"), 2 * C + 10);
    testsupport::WriteFile(other, TBuilder().PartHashes(Views(parts)).Add(Integer(FileSize, 2 * C + 10)).Bytes());
    std::filesystem::copy_file(dir.file("001.part"), dir.file("004.part"));
    const auto disagree = Cli({"--verify-data", other});
    EXPECT_EQ(disagree.status, 1);
    EXPECT_THAT(disagree.out, testing::StartsWith("FAILED (3 good, 0 corrupt, 0 missing; 19456010 of 19456010 "
                                                  "bytes; the part hashes do not give the file hash)\t"));
}

TEST(CliVerify, Usage)
{
    for (const std::vector<std::string> &args : {std::vector<std::string>{"--verify-data"},
                                                 {"--verify-data", "--check", "x.part.met"},
                                                 {"--verify-data", "-r", "x.part.met"},
                                                 {"--verify-data", "--export", "list.txt", "x.part.met"}}) {
        const auto result = Cli(args);
        EXPECT_EQ(result.status, 2) << args.size();
        EXPECT_THAT(result.err, testing::HasSubstr("--verify-data"));
    }
}
