#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A link found in a share list or any other text.
struct TFoundLink
{
    enum class TKind { Donkey, FileSpree };

    TKind Kind = TKind::Donkey;
    // The name as the link carries it, percent-decoded (and HTML-decoded when
    // the list is a page): bytes, not necessarily UTF-8 nor a safe file name.
    std::string Name;
    // eDonkey2000 links only.
    std::uint64_t Size = 0;
    // Upper-case hexadecimal for eDonkey2000, lower-case for FileSpree.
    std::string Hash;
    // The AICH root (32 upper-case base-32 characters), empty without h=.
    std::string Aich;
    // The part hashes of p=, upper-case hexadecimal; empty without p=.
    std::vector<std::string> PartHashes;

    bool operator==(const TFoundLink &) const = default;
};

// The text of a page as a browser shows its links: comments left out,
// character references (numeric, and every named one of HTML) decoded. Takes
// the page in pieces of any size; holds back at most a comment's end marker
// or a reference cut by the end of a piece.
class THtmlText final
{
public:
    // Appends what the page gives up to here to out; with final set, the
    // page ends here.
    void Feed(std::string_view text, bool final, std::string &out);

private:
    std::string m_held;
    bool m_inComment = false;
};

// The bytes of a list as UTF-8, whatever form they come in: a UTF-8
// byte-order mark is dropped, UTF-16 after a byte-order mark (either byte
// order) is turned into UTF-8 (U+FFFD for a surrogate alone and a character
// cut at the end), and anything else passes as it is.
class TListCharset final
{
public:
    // The text of the next bytes; a mark or a character cut in two waits for
    // the rest.
    std::string Feed(std::string_view bytes);
    // The end of the bytes: what was held back.
    std::string Finish();

private:
    enum class TForm { Unknown, Utf8, Utf16Le, Utf16Be };
    TForm m_form = TForm::Unknown;
    std::string m_held;
    char32_t m_high = 0;
};

// Finds ed2k://|file|...| and fs://Get|...| links in text that arrives in
// pieces of any size. Memory stays bounded whatever the input: text between
// links is dropped as it is read, and a would-be link longer than
// MaxLinkLength is dropped as broken. Links are reported in the order of the
// text, each line's own: only a link repeated right after itself on the same
// line counts once (a page may show a link as the text of the anchor that
// holds it).
class TLinkScanner
{
public:
    using TLinkEvent = std::function<void(const TFoundLink &)>;
    static constexpr std::size_t MaxLinkLength = 1 << 20;

    // With html set, the text is read as a page (THtmlText): a link in a
    // comment is none, and references are decoded before links are looked
    // for (an href may write "|" as "&#124;").
    TLinkScanner(TLinkEvent onLink, bool html);

    void Feed(std::string_view text);
    // The end of the text: reads what is left.
    void Finish();

private:
    void Scan(bool final);

    TLinkEvent m_onLink;
    bool m_html;
    THtmlText m_page;
    std::string m_pending;
    std::optional<TFoundLink> m_last;
    // A line ended since m_last.
    bool m_lineEnded = false;
};

// All the links of a whole text.
std::vector<TFoundLink> FindLinks(std::string_view text, bool html);

// %XX sequences as bytes; a % not followed by two hexadecimal digits stays.
std::string PercentDecode(std::string_view text);
// Character references as the UTF-8 of what a browser reads: every named
// reference of HTML (&amp; &eacute; &hearts;...; the legacy ones without ';'
// only where no letter, digit or '=' follows), and numeric ones (&#233;
// &#xE9;) with U+FFFD for 0, surrogates and numbers past U+10FFFF, the
// characters of windows-1252 for 128 to 159.
std::string HtmlDecode(std::string_view text);

// Whether a text is an HTML page, judged from its head: an <html>,
// <!doctype html> or <a href tag in the first 4 KiB, or in the 4 KiB after
// what a page may open with (blanks, a byte-order mark, comments, the
// doctype, an XML declaration). None when head ends before that is known and
// more of the text may follow (complete false).
std::optional<bool> SniffHtml(std::string_view head, bool complete);
// SniffHtml of a whole text.
bool LooksLikeHtml(std::string_view text);
// True for a name that stays inside the folder it is looked up in: not empty,
// not "." or "..", and without path separators or NUL bytes.
bool IsPlainFileName(std::string_view name);
