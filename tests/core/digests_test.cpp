// MD4 and MD5: known vectors, split invariance, padding boundaries, and the
// state rules of the digest objects.

#include "digests/MessageDigests.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Vector
{
    std::string message;
    std::string digest;
};

// RFC 1320 appendix A.5 (confirmed with `rhash --md4` when this was written).
const std::vector<Vector> kRfc1320Suite = {
    {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {"message digest", "d9130a8164549fe818874806e1c7014b"},
    {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043f8582f241db351ce627e153e7f0e4"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "e33b4ddc9c38f2199c3e7b164fcc0536"},
};

// RFC 1321 appendix A.5 (confirmed with `openssl dgst -md5` when this was written).
const std::vector<Vector> kRfc1321Suite = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// Messages around the padding boundaries: byte i is (i * 131 + 17) mod 251.
// Digests from `rhash --md4` and `openssl dgst -md5` over files of exactly
// these bytes, written by a Python one-liner when this test was written. The
// block count includes the padding: 55 bytes pad in one block, 56..63 need a
// second block, 64 is one data block plus one padding block.
struct BoundaryVector
{
    std::size_t length;
    std::string md4;
    std::string md5;
    std::uint64_t blocks;
};
const std::vector<BoundaryVector> kBoundarySuite = {
    {55, "977e34eb3e0aba52a944f98ff9a30521", "60e62dc1f6de5b7e70a65360aed8bba9", 1},
    {56, "97cce847f62466bfa58187c6f6694969", "476c4e4c1d261620b614febedddc53b7", 2},
    {57, "75eee6b9f851d15c521dedc55e6add17", "948d276b162fc7fed282e34f99e586a7", 2},
    {63, "d8b22353347fc4edad10f7c905311bec", "2967584f3c58c0eff5472ba7fb416b31", 2},
    {64, "eed11bb203b55753597202d6e7efae99", "943f379bb80bf48b74af1f7df11fee25", 2},
    {65, "d628abffb363e9bf1f85498a017b5a34", "392caf8aa90dad50e309eef4e4f87dea", 2},
    {119, "bb0aa457a922740a1ca494f0a00ff922", "3d765ce76a89feeedf7a1c6311eafd3f", 2},
    {120, "3e2635d103fc91f4f48fddf092d3f1cb", "6de5d4f747b2b154ca64c61c02623ba0", 3},
    {127, "6333ac602e91d3b1085442ad482b3189", "be551bcac15796ef841d7381e5755f30", 3},
    {128, "9be4a0eeb192ad8e14d9bcbe26f212e5", "cf6358e50467f90821f0a6b4ee0ee0ca", 3},
    {1000, "5dc369c01b7ae7def86d2ef6be3a7799", "0f1a4b0d72f4543368a25d960425d5ea", 16},
};

std::vector<std::uint8_t> BoundaryMessage(std::size_t length)
{
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 131 + 17) % 251);
    return bytes;
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto &byte : bytes)
        byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

// Feeds the message in pieces of the given lengths, cycling through them.
template <class Digest>
std::string DigestInPieces(const std::uint8_t *data, std::size_t size, const std::vector<std::size_t> &pieces)
{
    Digest digest;
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < size; i = (i + 1) % pieces.size()) {
        const std::size_t count = std::min(pieces[i], size - offset);
        digest.Transform(data + offset, count);
        offset += count;
    }
    digest.Complete();
    return digest.DigestText();
}

template <class Digest>
std::string DigestOf(const std::string &message)
{
    Digest digest;
    digest.Transform(message.data(), message.size());
    digest.Complete();
    return digest.DigestText();
}

template <class Digest>
void CheckSuite(const std::vector<Vector> &suite)
{
    for (const Vector &v : suite) {
        SCOPED_TRACE("message \"" + v.message + "\"");
        EXPECT_EQ(DigestOf<Digest>(v.message), v.digest);
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(v.message.data());
        EXPECT_EQ(DigestInPieces<Digest>(bytes, v.message.size(), {1}), v.digest);
        // No Transform at all is the empty message.
        if (v.message.empty()) {
            Digest digest;
            digest.Complete();
            EXPECT_EQ(digest.DigestText(), v.digest);
        }
    }
}

template <class Digest>
void CheckMillionA(const std::string &expected)
{
    const std::string thousand(1000, 'a');
    Digest digest;
    for (int i = 0; i < 1000; ++i)
        digest.Transform(thousand.data(), thousand.size());
    digest.Complete();
    EXPECT_EQ(digest.DigestText(), expected);
}

template <class Digest>
void CheckBoundaries(std::string BoundaryVector::*expected)
{
    for (const BoundaryVector &v : kBoundarySuite) {
        SCOPED_TRACE("length " + std::to_string(v.length));
        const std::vector<std::uint8_t> message = BoundaryMessage(v.length);
        Digest digest;
        digest.Transform(message.data(), message.size());
        digest.Complete();
        EXPECT_EQ(digest.DigestText(), v.*expected);
        EXPECT_EQ(digest.BlockCount(), v.blocks);
        // Ending in a pending partial block of each size goes the same way.
        EXPECT_EQ(DigestInPieces<Digest>(message.data(), message.size(), {1}), v.*expected);
        EXPECT_EQ(DigestInPieces<Digest>(message.data(), message.size(), {63}), v.*expected);
    }
}

// Any split of a message, from any start address, gives the one-shot digest.
template <class Digest>
void CheckSplitInvariance()
{
    const std::vector<std::uint8_t> message = RandomBytes(1500, 1320);
    const std::string whole = DigestInPieces<Digest>(message.data(), message.size(), {message.size()});

    const std::vector<std::vector<std::size_t>> splits = {
        {1}, {63}, {64}, {65}, {127}, {128}, {129}, {3, 64, 61}, {0, 17, 0, 64, 0, 200}, {1000, 1}, {7, 11, 13},
    };
    for (const auto &pieces : splits) {
        std::ostringstream name;
        for (const std::size_t piece : pieces)
            name << piece << ' ';
        SCOPED_TRACE("pieces " + name.str());
        EXPECT_EQ(DigestInPieces<Digest>(message.data(), message.size(), pieces), whole);
    }

    // Blocks compressed in place from an address that is not word aligned.
    std::vector<std::uint8_t> shifted(message.size() + 8);
    for (std::size_t start = 1; start < 8; ++start) {
        SCOPED_TRACE("start offset " + std::to_string(start));
        std::memcpy(shifted.data() + start, message.data(), message.size());
        EXPECT_EQ(DigestInPieces<Digest>(shifted.data() + start, message.size(), {message.size()}), whole);
        EXPECT_EQ(DigestInPieces<Digest>(shifted.data() + start, message.size(), {5, 200}), whole);
    }

    // Random piece lengths, zero included.
    std::mt19937 generator(1321);
    std::uniform_int_distribution<std::size_t> length(0, 150);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::size_t> pieces(8);
        for (auto &piece : pieces)
            piece = length(generator);
        pieces.back() += 1; // never all zero
        EXPECT_EQ(DigestInPieces<Digest>(message.data(), message.size(), pieces), whole);
    }
}

// A TMD4Family member whose blocks only count (the base TransformBlocks), to
// reach the protected family constructor and the construction checks.
class TCountingFamily final : public TMD4Family
{
public:
    TCountingFamily(int blockSize, const std::uint8_t *initialChainingValues, int length)
        : TMD4Family(blockSize, initialChainingValues, length)
    {
    }
    std::string AlgorithmName() const override { return "Counting"; }
};

const std::uint8_t kCountingTable[16] = {0xa0, 0xa1, 0xa2, 0xa3, 0xb0, 0xb1, 0xb2, 0xb3,
                                         0xc0, 0xc1, 0xc2, 0xc3, 0xd0, 0xd1, 0xd2, 0xd3};

template <class Exception, class Call>
std::string MessageOf(Call call)
{
    try {
        call();
    } catch (const Exception &e) {
        return e.what();
    } catch (...) {
        return "<other exception>";
    }
    return "<no exception>";
}

template <class Call>
std::string AssertionOf(Call call)
{
    return MessageOf<EAssertionFailed>(call);
}

template <class Call>
std::string StateErrorOf(Call call)
{
    return MessageOf<EMessageDigestError>(call);
}

} // namespace

TEST(Md4, Rfc1320Suite)
{
    CheckSuite<TMD4>(kRfc1320Suite);
}

TEST(Md5, Rfc1321Suite)
{
    CheckSuite<TMD5>(kRfc1321Suite);
}

TEST(Md4, MillionA)
{
    CheckMillionA<TMD4>("bbce80cc6bb65e5c6745e30d4eeca9a4"); // rhash --md4
}

TEST(Md5, MillionA)
{
    CheckMillionA<TMD5>("7707d6ae4e027c70eea2a935c2296f21"); // openssl dgst -md5
}

TEST(Md4, PaddingBoundaries)
{
    CheckBoundaries<TMD4>(&BoundaryVector::md4);
}

TEST(Md5, PaddingBoundaries)
{
    CheckBoundaries<TMD5>(&BoundaryVector::md5);
}

TEST(Md4, SplitInvariance)
{
    CheckSplitInvariance<TMD4>();
}

TEST(Md5, SplitInvariance)
{
    CheckSplitInvariance<TMD5>();
}

// Random contents and lengths against rhash, run now, as the independent
// reference: every length up to three blocks, then some larger ones. For files
// under one eDonkey2000 chunk rhash's ed2k is the MD4 of the file.
TEST(Digests, MatchRhashOnRandomData)
{
    if (!testsupport::HaveRhash())
        GTEST_SKIP() << "rhash is not installed";

    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 192; ++n)
        lengths.push_back(n);
    for (const std::size_t n : {1023u, 4096u, 65537u, 1000003u})
        lengths.push_back(n);

    const testsupport::TempDir dir;
    std::vector<std::string> argv = {"rhash", "--printf=%{md4} %{md5}\\n"};
    std::vector<std::string> expected;
    for (const std::size_t n : lengths) {
        const std::vector<std::uint8_t> data = RandomBytes(n, static_cast<std::uint32_t>(n) + 7);
        const std::string path = dir.file("r" + std::to_string(n));
        testsupport::WriteFile(path, data);
        argv.push_back(path);
        expected.push_back(DigestInPieces<TMD4>(data.data(), data.size(), {std::max<std::size_t>(n, 1)}) + " "
                           + DigestInPieces<TMD5>(data.data(), data.size(), {std::max<std::size_t>(n, 1)}));
    }

    const testsupport::CommandResult r = testsupport::Run(argv);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << "rhash printed too few lines";
        EXPECT_EQ(expected[i], line) << "length " << lengths[i];
    }
}

TEST(Digests, DigestTextIsLowerCaseHexOfDigest)
{
    TMD5 digest;
    digest.Transform("abc", 3);
    digest.Complete();
    const std::span<const std::uint8_t> bytes = digest.Digest();
    ASSERT_EQ(bytes.size(), 16u);
    const std::string text = digest.DigestText();
    ASSERT_EQ(text.size(), 32u);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(std::stoi(text.substr(2 * i, 2), nullptr, 16), bytes[i]) << "byte " << i;
    EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos) << text;
    EXPECT_EQ(digest.AlgorithmName(), "MD5");
    EXPECT_EQ(TMD4().AlgorithmName(), "MD4");
}

TEST(DigestState, DigestRefusedBeforeComplete)
{
    TMD4 digest;
    EXPECT_EQ(StateErrorOf([&] { (void)digest.Digest(); }), "Message digest not complete.");
    EXPECT_EQ(StateErrorOf([&] { (void)digest.DigestText(); }), "Message digest not complete.");
    digest.Transform("abc", 3);
    EXPECT_EQ(StateErrorOf([&] { (void)digest.DigestText(); }), "Message digest not complete.");
    // The refusal changed nothing: the message goes on.
    digest.Complete();
    EXPECT_EQ(digest.DigestText(), "a448017aaf21d8525fc10ae87aa6729d");
}

TEST(DigestState, RefusedAfterCompleteKeepsDigest)
{
    TMD5 digest;
    digest.Transform("abc", 3);
    digest.Complete();
    const std::uint64_t blocks = digest.BlockCount();

    EXPECT_EQ(StateErrorOf([&] { digest.Transform("d", 1); }), "Message digest already complete.");
    EXPECT_EQ(StateErrorOf([&] { digest.Complete(); }), "Message digest already complete.");
    // The completion check comes before the pointer check.
    EXPECT_EQ(StateErrorOf([&] { digest.Transform(nullptr, 0); }), "Message digest already complete.");

    EXPECT_TRUE(digest.Completed());
    EXPECT_EQ(digest.BlockCount(), blocks);
    EXPECT_EQ(digest.DigestText(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(DigestState, NullDataIsAnAssertionAndChangesNothing)
{
    TMD4 digest;
    digest.Transform("ab", 2);
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{64}}) {
        EXPECT_EQ(AssertionOf([&] { digest.Transform(nullptr, count); }), "Transform: M not assigned.")
            << "count " << count;
    }
    EXPECT_EQ(digest.PartialLength(), 2);
    EXPECT_EQ(digest.BlockCount(), 0u);
    digest.Transform("c", 1);
    digest.Complete();
    EXPECT_EQ(digest.DigestText(), "a448017aaf21d8525fc10ae87aa6729d");
}

TEST(DigestState, CountZeroChangesNothing)
{
    const std::vector<std::uint8_t> data = BoundaryMessage(64);
    TMD5 digest;
    digest.Transform(data.data(), 0);
    EXPECT_EQ(digest.PartialLength(), 0);
    digest.Transform(data.data(), 10);
    digest.Transform(data.data() + 10, 0);
    EXPECT_EQ(digest.PartialLength(), 10);
    EXPECT_EQ(digest.BlockCount(), 0u);
}

TEST(DigestState, FillingThePartialBlockCompressesIt)
{
    const std::vector<std::uint8_t> data = BoundaryMessage(200);
    TMD5 digest;
    digest.Transform(data.data(), 10);
    digest.Transform(data.data() + 10, 54); // exactly the room left
    EXPECT_EQ(digest.PartialLength(), 0);
    EXPECT_EQ(digest.BlockCount(), 1u);
    digest.Transform(data.data() + 64, 136); // two whole blocks and a tail of 8
    EXPECT_EQ(digest.PartialLength(), 8);
    EXPECT_EQ(digest.BlockCount(), 3u);
}

TEST(DigestState, InitializeStartsANewMessage)
{
    TMD4 digest;
    digest.Transform("message digest", 14);
    digest.Complete();
    EXPECT_EQ(digest.DigestText(), "d9130a8164549fe818874806e1c7014b");

    digest.Initialize();
    EXPECT_FALSE(digest.Completed());
    EXPECT_EQ(digest.BlockCount(), 0u);
    EXPECT_EQ(StateErrorOf([&] { (void)digest.Digest(); }), "Message digest not complete.");
    digest.Transform("abc", 3);
    digest.Complete();
    EXPECT_EQ(digest.DigestText(), "a448017aaf21d8525fc10ae87aa6729d");

    // Initialize in the middle of a message drops what was fed.
    digest.Initialize();
    const std::vector<std::uint8_t> junk = BoundaryMessage(100);
    digest.Transform(junk.data(), junk.size());
    digest.Initialize();
    EXPECT_EQ(digest.PartialLength(), 0);
    digest.Transform("a", 1);
    digest.Complete();
    EXPECT_EQ(digest.DigestText(), "bde52cb31de33e46245e05fbdbd6fb24");
}

TEST(DigestState, ConstructionChecksInOrder)
{
    EXPECT_EQ(AssertionOf([] { TCountingFamily(64, nullptr, 16); }),
              "TMD4Family.InitializeChainingValues: InitialChainingValues = nil.");
    // The table is checked before the sizes.
    EXPECT_EQ(AssertionOf([] { TCountingFamily(0, nullptr, 0); }),
              "TMD4Family.InitializeChainingValues: InitialChainingValues = nil.");
    EXPECT_EQ(AssertionOf([] { TCountingFamily(0, kCountingTable, 16); }),
              "TMessageDigest.CreateInternal: BlockSize <= 0.");
    EXPECT_EQ(AssertionOf([] { TCountingFamily(-64, kCountingTable, 0); }),
              "TMessageDigest.CreateInternal: BlockSize <= 0.");
    EXPECT_EQ(AssertionOf([] { TCountingFamily(64, kCountingTable, 0); }),
              "TMessageDigest.CreateInternal: DigestSize <= 0.");
    EXPECT_EQ(AssertionOf([] { TCountingFamily(64, kCountingTable, -1); }),
              "TMessageDigest.CreateInternal: DigestSize <= 0.");
    // Positive sizes other than the family's 64-byte blocks and 16-byte digests
    // would overrun the padding block or the four chaining values.
    EXPECT_EQ(AssertionOf([] { TCountingFamily(32, kCountingTable, 16); }),
              "TMD4Family.Initialize: the block size is not 64 bytes.");
    EXPECT_EQ(AssertionOf([] { TCountingFamily(64, kCountingTable, 8); }),
              "TMD4Family.Initialize: the digest size is not 16 bytes.");
}

// The family's padding, seen through a member whose blocks do not change the
// chaining values: the digest is the initial table, and the block count shows
// where a second padding block is needed.
TEST(DigestState, FamilyPaddingCountsBlocks)
{
    TCountingFamily family(64, kCountingTable, 16);
    EXPECT_EQ(family.BlockSize(), 64);
    EXPECT_EQ(family.DigestSize(), 16);
    const std::vector<std::uint8_t> data = BoundaryMessage(200);
    const std::vector<std::pair<std::size_t, std::uint64_t>> cases = {
        {0, 1}, {55, 1}, {56, 2}, {63, 2}, {64, 2}, {119, 2}, {120, 3}, {200, 4}};
    for (const auto &[length, blocks] : cases) {
        family.Initialize();
        family.Transform(data.data(), length);
        family.Complete();
        EXPECT_EQ(family.BlockCount(), blocks) << "length " << length;
        const std::span<const std::uint8_t> digest = family.Digest();
        EXPECT_TRUE(std::equal(digest.begin(), digest.end(), std::begin(kCountingTable))) << "length " << length;
    }
}
