#include <gtest/gtest.h>

#include <string>

#include "links/linkreader.h"

namespace {

const std::string kHash = "A448017AAF21D8525FC10AE87AA6729D";
const std::string kMd5 = "900150983cd24fb0d6963f7d28e17f72";

} // namespace

TEST(LinkReader, FindsLinksOfEveryFormInOrder)
{
    const std::string list = "Share List\r\n"
                             "my%20file.avi 3 o ed2k://|file|my%20file.avi|3|a448017aaf21d8525fc10ae87aa6729d| fs://Get|my%20file.avi|"
                             + kMd5 + "|\r\n"
                             "ED2K://|FILE|b%7Cc%25.txt|0|" + kHash + "|p=" + kHash + ":" + kHash
                             + "|h=3i42h3s6nnfq2msvx7xzkyayscx5qbyj|s=1.2.3.4:5|/ trailing\r\n";
    const auto links = FindLinks(list, false);
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].Kind, TFoundLink::TKind::Donkey);
    EXPECT_EQ(links[0].Name, "my file.avi");
    EXPECT_EQ(links[0].Size, 3u);
    EXPECT_EQ(links[0].Hash, kHash);
    EXPECT_EQ(links[1].Kind, TFoundLink::TKind::FileSpree);
    EXPECT_EQ(links[1].Name, "my file.avi");
    EXPECT_EQ(links[1].Hash, kMd5);
    EXPECT_EQ(links[2].Name, "b|c%.txt");
    EXPECT_EQ(links[2].Aich, "3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ");
    EXPECT_EQ(links[2].PartHashes, (std::vector<std::string>{kHash, kHash}));
}

TEST(LinkReader, PagesAreHtmlDecodedAndAnAnchorBesideItsLinkCountsOnce)
{
    const std::string link = "ed2k://|file|a&amp;b.txt|1|" + kHash + "|";
    const std::string page = "<html><body><a href=\"" + link + "\">" + link + "</a></body></html>";
    ASSERT_TRUE(LooksLikeHtml(page));
    const auto links = FindLinks(page, LooksLikeHtml(page));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].Name, "a&b.txt");
    EXPECT_EQ(FindLinks(link, false).at(0).Name, "a&amp;b.txt");
}

TEST(LinkReader, BrokenLinksAreSkipped)
{
    const std::string good = "ed2k://|file|good|1|" + kHash + "|";
    const std::string text = "ed2k://|file|no size||" + kHash + "|\n"
                             "ed2k://|file|short hash|1|ABC|\n"
                             "ed2k://|file|size|18446744073709551616|" + kHash + "|\n"
                             "ed2k://|file|line\nbreak|1|" + kHash + "|\n"
                             "fs://Get|x|nothex" + kMd5.substr(7) + "|\n"
                             "ed2k://|file|cut at the end|1|" + good;
    const auto links = FindLinks(text, false);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].Name, "good");
}

// Fed a byte at a time, or as one piece, the scanner finds the same links, and
// a link that never ends costs no more than its bound.
TEST(LinkReader, PiecesOfAnySizeGiveTheSameLinks)
{
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "x ed2k://|file|n" + std::to_string(i) + "|" + std::to_string(i) + "|" + kHash
                + (i % 2 ? "|h=3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ|/" : "|") + " fs://get|n|" + kMd5 + "|";
    const auto whole = FindLinks(text, false);
    ASSERT_EQ(whole.size(), 40u);
    std::vector<TFoundLink> bytewise;
    TLinkScanner scanner([&](const TFoundLink &link) { bytewise.push_back(link); }, false);
    for (const char c : text)
        scanner.Feed(std::string_view(&c, 1));
    scanner.Finish();
    EXPECT_EQ(bytewise, whole);

    std::vector<TFoundLink> none;
    TLinkScanner endless([&](const TFoundLink &link) { none.push_back(link); }, false);
    endless.Feed("ed2k://|file|");
    const std::string piece(64 * 1024, 'a');
    for (int i = 0; i < 40; ++i)
        endless.Feed(piece);
    endless.Feed("|1|" + kHash + "| ed2k://|file|after|1|" + kHash + "|");
    endless.Finish();
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].Name, "after");
}

TEST(LinkReader, PlainFileNames)
{
    for (const char *bad : {"", ".", "..", "../x", "a/b", "/etc/passwd"})
        EXPECT_FALSE(IsPlainFileName(bad)) << bad;
    EXPECT_FALSE(IsPlainFileName(std::string("a\0b", 3)));
    for (const char *good : {"a", "...", "..a", "a b.txt", "\xff\xfe"})
        EXPECT_TRUE(IsPlainFileName(good)) << good;
}
