#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "digests/aich.h"
#include "digests/sha1.h"
#include "testsupport.h"

using testsupport::PatternBytes;

namespace {

std::string Sha1Text(const std::uint8_t *bytes, std::size_t count)
{
    TSHA1 digest;
    digest.Transform(bytes, count);
    digest.Complete();
    return digest.DigestText();
}

std::string Sha1Text(const std::string &text)
{
    return Sha1Text(reinterpret_cast<const std::uint8_t *>(text.data()), text.size());
}

// Runs the body once with each compression engine this CPU offers.
template <typename Body>
void ForEachEngine(Body body)
{
    for (const TSHA1Engine engine : {TSHA1Engine::Portable, TSHA1Engine::ShaExtensions}) {
        if (!SHA1EngineAvailable(engine))
            continue;
        const TSHA1Engine before = ForceSHA1Engine(engine);
        SCOPED_TRACE(engine == TSHA1Engine::Portable ? "portable" : "SHA extensions");
        body();
        ForceSHA1Engine(before);
    }
}

std::string AichText(std::uint64_t size, std::size_t piece)
{
    TAichHash aich(size);
    for (std::uint64_t offset = 0; offset < size; offset += piece) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(piece, size - offset));
        const std::vector<std::uint8_t> bytes = PatternBytes(offset, count);
        aich.Update(bytes.data(), bytes.size());
    }
    const TAichDigest root = aich.Root();
    return Base32Text(root.data(), root.size());
}

} // namespace

TEST(Sha1, Fips180Vectors)
{
    ForEachEngine([] {
        EXPECT_EQ(Sha1Text(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
        EXPECT_EQ(Sha1Text("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
        EXPECT_EQ(Sha1Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
                  "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
        EXPECT_EQ(Sha1Text(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    });
}

// The two engines agree on every length around the padding boundaries and on
// any split of the message.
TEST(Sha1, EnginesAgreeOnEveryLengthAndSplit)
{
    if (!SHA1EngineAvailable(TSHA1Engine::ShaExtensions))
        GTEST_SKIP() << "this CPU has no SHA extensions";
    std::mt19937 random(20261208);
    const std::vector<std::uint8_t> bytes = PatternBytes(12345, 1100);
    for (std::size_t length = 0; length <= bytes.size(); length += (length < 200 ? 1 : 37)) {
        ForceSHA1Engine(TSHA1Engine::Portable);
        const std::string portable = Sha1Text(bytes.data(), length);
        ForceSHA1Engine(TSHA1Engine::ShaExtensions);
        TSHA1 split;
        for (std::size_t offset = 0; offset < length;) {
            const std::size_t piece = std::min<std::size_t>(random() % 150, length - offset);
            split.Transform(bytes.data() + offset, piece);
            offset += piece;
        }
        split.Complete();
        ASSERT_EQ(split.DigestText(), portable) << "length " << length;
    }
}

TEST(Base32, Rfc4648Vectors)
{
    const auto text = [](const std::string &s) {
        return Base32Text(reinterpret_cast<const std::uint8_t *>(s.data()), s.size());
    };
    EXPECT_EQ(text(""), "");
    EXPECT_EQ(text("f"), "MY");
    EXPECT_EQ(text("fo"), "MZXQ");
    EXPECT_EQ(text("foo"), "MZXW6");
    EXPECT_EQ(text("foob"), "MZXW6YQ");
    EXPECT_EQ(text("fooba"), "MZXW6YTB");
    EXPECT_EQ(text("foobar"), "MZXW6YTBOI");
}

// Roots of PatternBytes files measured with `rhash --aich --simple` (rhash
// 1.4.3) on files written by testsupport::WritePatternFile: around the block
// and part boundaries, and files of two and three parts.
TEST(Aich, MatchesMeasuredRoots)
{
    struct TVector
    {
        std::uint64_t size;
        const char *root;
    };
    const TVector vectors[] = {
        {0, "3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ"},
        {1, "LOUTZHNQZ74T6UVVEHLUEDSD63W2E6CP"},
        {184319, "7IW3ENDIRSWCN43G23U7EWWZJDASZIGI"},
        {184320, "BUAWSF7TF4BDD3LIZ3TZVCRTWLOV6IE7"},
        {184321, "FNM4JLBDJCN3E7E5VZMOGSCT36CG5TJH"},
        {9728000, "WKRAFTGODOVIZLXSKGOOBJWK3WZDYB5Y"},
        {9728001, "DP4XKBZJ7UCSP7D6HLYHBWRZNYYGIXLQ"},
        {19456001, "3DZ53CEZYSA3B3DWE3W7QNFEMTJ3TVP4"},
        {29184000, "TYVZR6GH46ZCULHC2LRXGQOQYBE75FJK"},
    };
    for (const TVector &v : vectors) {
        SCOPED_TRACE(v.size);
        // Pieces that fall across block and part ends.
        EXPECT_EQ(AichText(v.size, 1000003), v.root);
    }
    // A file of one block is its own root: the block's SHA-1 (rhash --sha1).
    EXPECT_EQ(Sha1Text(PatternBytes(0, 184319).data(), 184319), "fa2db234688cac26f366d6e9f25ad948c12ca0c8");
    ForEachEngine([] { EXPECT_EQ(AichText(9728001, 65536), "DP4XKBZJ7UCSP7D6HLYHBWRZNYYGIXLQ"); });
}

// Block digests hashed elsewhere, every other block, beside blocks given
// through Update in pieces: the same measured roots, across part ends and the
// short last block of a part.
TEST(Aich, TakesBlockDigestsHashedElsewhere)
{
    const std::pair<std::uint64_t, const char *> vectors[] = {
        {184321, "FNM4JLBDJCN3E7E5VZMOGSCT36CG5TJH"},
        {9728001, "DP4XKBZJ7UCSP7D6HLYHBWRZNYYGIXLQ"},
        {19456001, "3DZ53CEZYSA3B3DWE3W7QNFEMTJ3TVP4"},
    };
    for (const auto &[size, root] : vectors) {
        for (const int outside : {0, 1}) {
            SCOPED_TRACE(std::to_string(size) + (outside ? ", odd blocks outside" : ", even blocks outside"));
            TAichHash aich(size);
            int index = 0;
            for (std::uint64_t at = 0; at < size; ++index) {
                const std::uint64_t end = AichBlockEnd(at, size);
                const std::vector<std::uint8_t> bytes = PatternBytes(at, static_cast<std::size_t>(end - at));
                if (index % 2 == outside) {
                    TSHA1 block;
                    block.Transform(bytes.data(), bytes.size());
                    block.Complete();
                    TAichDigest digest;
                    std::memcpy(digest.data(), block.Digest().data(), digest.size());
                    aich.AddBlockDigest(digest);
                } else {
                    const std::size_t half = bytes.size() / 2;
                    aich.Update(bytes.data(), half);
                    aich.Update(bytes.data() + half, bytes.size() - half);
                }
                at = end;
            }
            const TAichDigest digest = aich.Root();
            EXPECT_EQ(Base32Text(digest.data(), digest.size()), root);
        }
    }
}

TEST(Aich, RefusesTooManyBytesAndAnEarlyRoot)
{
    TAichHash aich(10);
    const std::uint8_t bytes[11] = {};
    EXPECT_THROW(aich.Update(bytes, 11), EAssertionFailed);
    aich.Update(bytes, 4);
    EXPECT_THROW(aich.Root(), EAssertionFailed);
    // A block digest in place of a block begun through Update, or past the end.
    EXPECT_THROW(aich.AddBlockDigest({}), EAssertionFailed);
    aich.Update(bytes, 6);
    EXPECT_THROW(aich.AddBlockDigest({}), EAssertionFailed);
    EXPECT_NO_THROW(aich.Root());
}
