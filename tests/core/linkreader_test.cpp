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

// A link that is its anchor's text counts once; the same link on the next
// lines counts again, once per line.
TEST(LinkReader, PagesAreHtmlDecodedAndEachLineCounts)
{
    const std::string link = "ed2k://|file|a&amp;b.txt|1|" + kHash + "|";
    const std::string anchor = "<a href=\"" + link + "\">" + link + "</a>";
    const std::string page = "<html><body>" + anchor + "\n" + anchor + "<br>\r\n" + anchor + "</body></html>";
    ASSERT_TRUE(LooksLikeHtml(page));
    const auto links = FindLinks(page, LooksLikeHtml(page));
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].Name, "a&b.txt");
    EXPECT_EQ(links[2], links[0]);
    EXPECT_EQ(FindLinks(link, false).at(0).Name, "a&amp;b.txt");
    EXPECT_EQ(FindLinks(link + "\n" + link + "\n" + link + "\n", false).size(), 3u);
    EXPECT_EQ(FindLinks(link + link + " " + link, false).size(), 1u);
}

// Numeric references as a browser reads them, in UTF-8.
TEST(LinkReader, NumericReferencesAsABrowserReadsThem)
{
    const std::pair<std::string, std::string> cases[] = {
        {"caf&#233;.txt", "caf\xC3\xA9.txt"},
        {"caf&#xE9;.txt", "caf\xC3\xA9.txt"},
        {"caf&#XE9;.txt", "caf\xC3\xA9.txt"},
        {"&#x1F3B5;&#65;&#x7E", "\xF0\x9F\x8E\xB5" "A~"}, // the ';' may be missing
        {"&#0;|&#xD800;|&#x110000;|&#99999999999999999999;", "\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD"},
        {"&#150;&#129;&#159;", "\xE2\x80\x93\xC2\x81\xC5\xB8"}, // windows-1252 where it has a character
        {"&#;&#x;&#xG;&#-1;", "&#;&#x;&#xG;&#-1;"},
        {"&amp;#233;", "&#233;"},
    };
    for (const auto &[page, decoded] : cases)
        EXPECT_EQ(HtmlDecode(page), decoded) << page;
}

// A page whose first tag comes after a long comment or doctype is still one;
// the head of a text that may go on decides nothing until it can.
TEST(LinkReader, PagesRecognisedAfterLongOpenings)
{
    const std::string comment = "<!-- " + std::string(8000, '-') + " -->\r\n";
    EXPECT_TRUE(LooksLikeHtml("\xEF\xBB\xBF" + comment + "<html><body>"));
    EXPECT_TRUE(LooksLikeHtml(comment + "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">"));
    EXPECT_TRUE(LooksLikeHtml("<?xml version=\"1.0\"?>\n" + comment + "<p>" + std::string(3000, 'x') + "<a href=x>"));
    EXPECT_FALSE(LooksLikeHtml(comment + "Share List\r\n" + std::string(5000, 'x') + "<html>"));
    EXPECT_FALSE(LooksLikeHtml("Share List\r\nname (3 o) ed2k://|file|name|3|" + kHash + "|\r\n"));
    EXPECT_FALSE(SniffHtml(comment.substr(0, 5000), false).has_value());
    EXPECT_FALSE(SniffHtml(comment + "<ht", false).has_value());
    EXPECT_EQ(SniffHtml(comment.substr(0, 5000), true), false);
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
                + (i % 2 ? "|h=3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ|/" : "|") + " fs://get|n|" + kMd5 + "|"
                + (i % 2 ? "\n" : " ") + "fs://get|n|" + kMd5 + "|"; // counts again on the next line only
    const auto whole = FindLinks(text, false);
    ASSERT_EQ(whole.size(), 50u);
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

// A page as a browser shows it: no link in a comment, every named reference
// of HTML decoded (the legacy ones without ';' only where an attribute value
// would take them), "|" written as "&#124;" in an href, and the same links
// whatever pieces the page comes in.
TEST(LinkReader, PagesAsABrowserShowsThem)
{
    const auto link = [](const std::string &name) { return "ed2k://|file|" + name + "|3|" + kHash + "|"; };
    const std::string piped = "ed2k://&#124;file&#124;piped.txt&#124;3&#124;" + kHash + "&#x7C;";
    const std::string page = "<html><body>\n<!-- <a href=\"" + link("hidden1") + "\">old</a> -->\n"
                             "<!--><a href=\"" + link("caf&eacute;") + "\">1</a>\n"
                             "<!---><a href=\"" + link("&hearts;&amp;&AElig.&notit;&not x&lt") + "\">2</a>\n"
                             "<a href=\"" + piped + "\">3</a>\n"
                             "<!-- -- --!><a href=\"" + link("a%20b") + "\">4</a>\n"
                             "<!-- never closed " + link("hidden2") + "\n</body></html>";
    const std::vector<std::string> expected = {"caf\xC3\xA9", "\xE2\x99\xA5&\xC3\x86.&notit;\xC2\xAC x<",
                                               "piped.txt", "a b"};
    std::vector<std::string> names;
    for (const TFoundLink &found : FindLinks(page, true))
        names.push_back(found.Name);
    EXPECT_EQ(names, expected);

    std::vector<std::string> bytewise;
    TLinkScanner scanner([&](const TFoundLink &found) { bytewise.push_back(found.Name); }, true);
    for (const char c : page)
        scanner.Feed(std::string_view(&c, 1));
    scanner.Finish();
    EXPECT_EQ(bytewise, expected);

    // A plain text list is no page: its "&eacute;" and comments stay.
    EXPECT_EQ(FindLinks("<!-- " + link("caf&eacute;") + " -->", false).at(0).Name, "caf&eacute;");
    EXPECT_EQ(HtmlDecode("&CounterClockwiseContourIntegral;&amp&ampx&#124;&unknown;"),
              "\xE2\x88\xB3&&ampx|&unknown;");
}

// A list in UTF-16 after a byte-order mark (either byte order), or in UTF-8
// after one, reads as UTF-8, in pieces of any size.
TEST(LinkReader, ListCharsets)
{
    const std::u16string text = u"caf\u00E9 \U0001F3B5 ed2k";
    const std::string utf8 = "caf\xC3\xA9 \xF0\x9F\x8E\xB5 ed2k";
    const auto utf16 = [](const std::u16string &units, bool little) {
        std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
        for (const char16_t unit : units) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            bytes += little ? std::string{low, high} : std::string{high, low};
        }
        return bytes;
    };
    const auto read = [](const std::string &bytes, std::size_t piece) {
        TListCharset charset;
        std::string out;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            out += charset.Feed(std::string_view(bytes).substr(at, piece));
        return out + charset.Finish();
    };
    const std::pair<std::string, std::string> cases[] = {
        {utf16(text, true), utf8},
        {utf16(text, false), utf8},
        {"\xEF\xBB\xBF" + utf8, utf8},
        {utf8, utf8},
        {"\xFF", "\xFF"},
        {"", ""},
        // A surrogate alone, and a character cut at the end.
        {utf16(u"a", true) + std::string("\x3C\xD8" "b\0", 4) + std::string(1, '\0'), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
        {utf16(u"a", false) + std::string("\xDC\x00", 2), "a\xEF\xBF\xBD"},
    };
    for (const auto &[bytes, expected] : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, bytes.size() + 1})
            EXPECT_EQ(read(bytes, piece), expected) << testing::PrintToString(bytes) << " in pieces of " << piece;
    }
}
