#include "links/linkreader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <utility>

namespace {

constexpr std::string_view kDonkeyStart = "ed2k://|file|";
constexpr std::string_view kFileSpreeStart = "fs://get|";

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != prefix[i])
            return false;
    return true;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return Lower(c) - 'a' + 10;
}

bool IsControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool IsHexText(std::string_view text, std::size_t length)
{
    return text.size() == length && std::all_of(text.begin(), text.end(), IsHexDigit);
}

std::string Cased(std::string_view text, bool upper)
{
    std::string result(text);
    for (char &c : result)
        c = upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : Lower(c);
    return result;
}

// Reads fields separated by '|' from a link's body.
class TFieldReader
{
public:
    explicit TFieldReader(std::string_view text)
        : m_text(text)
    {
    }

    // The next field up to its '|'; nullopt when the text ends first or the
    // field holds a control byte (a line break inside a link: it is broken).
    std::optional<std::string_view> Next()
    {
        const std::size_t bar = m_text.find('|', m_at);
        if (bar == std::string_view::npos)
            return std::nullopt;
        const std::string_view field = m_text.substr(m_at, bar - m_at);
        if (std::any_of(field.begin(), field.end(), IsControl))
            return std::nullopt;
        m_at = bar + 1;
        return field;
    }

    std::string_view Rest() const { return m_text.substr(m_at); }
    std::size_t Position() const { return m_at; }
    void Skip(std::size_t count) { m_at += count; }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
};

// An optional field after the hash: letters, then '=' or ',' (p=, h=, s=,
// sources,...), and no white space before its '|'.
bool LooksLikeOptionalField(std::string_view rest)
{
    std::size_t i = 0;
    while (i < rest.size() && std::isalpha(static_cast<unsigned char>(rest[i])))
        ++i;
    if (i == 0 || i >= rest.size() || (rest[i] != '=' && rest[i] != ','))
        return false;
    const std::size_t bar = rest.find('|');
    if (bar == std::string_view::npos)
        return false;
    const std::string_view field = rest.substr(0, bar);
    return std::none_of(field.begin(), field.end(), [](char c) {
        return IsControl(c) || c == ' ' || c == '"' || c == '<' || c == '>';
    });
}

enum class TParse { Link, Broken, NeedMore };

// Parses a link whose scheme starts text; `consumed` is how far it reached.
TParse ParseLink(std::string_view text, bool final, TFoundLink &link, std::size_t &consumed)
{
    const bool donkey = StartsWithNoCase(text, kDonkeyStart);
    const std::size_t start = donkey ? kDonkeyStart.size() : kFileSpreeStart.size();
    TFieldReader fields(text.substr(start));
    // Without enough text to decide, wait for more unless this is the end.
    const auto incomplete = [&] { return final ? TParse::Broken : TParse::NeedMore; };

    // A page reaches the scanner with its references decoded already.
    const auto decodeName = [](std::string_view raw) { return PercentDecode(raw); };

    const auto name = fields.Next();
    if (!name)
        return incomplete();
    if (donkey) {
        const auto size = fields.Next();
        if (!size)
            return incomplete();
        const auto hash = fields.Next();
        if (!hash)
            return incomplete();
        std::uint64_t value = 0;
        const auto [end, ec] = std::from_chars(size->data(), size->data() + size->size(), value);
        if (size->empty() || ec != std::errc() || end != size->data() + size->size() || !IsHexText(*hash, 32))
            return TParse::Broken;
        link.Kind = TFoundLink::TKind::Donkey;
        link.Name = decodeName(*name);
        link.Size = value;
        link.Hash = Cased(*hash, true);

        // Optional fields up to a closing "/" or to the first text that is none.
        while (true) {
            const std::string_view rest = fields.Rest();
            if (rest.empty() && !final)
                return TParse::NeedMore;
            if (!rest.empty() && rest.front() == '/') {
                fields.Skip(1);
                break;
            }
            if (!LooksLikeOptionalField(rest)) {
                // A field cut off by the end of this piece may still come whole.
                if (!final && rest.find('|') == std::string_view::npos && rest.size() < 4096
                    && std::none_of(rest.begin(), rest.end(), [](char c) { return IsControl(c) || c == ' '; }))
                    return TParse::NeedMore;
                break;
            }
            const std::string_view field = *fields.Next();
            if (field.starts_with("h=") && link.Aich.empty())
                link.Aich = Cased(field.substr(2), true);
            else if (field.starts_with("p=") && link.PartHashes.empty()) {
                std::string_view list = field.substr(2);
                while (!list.empty()) {
                    const std::size_t colon = list.find(':');
                    link.PartHashes.push_back(Cased(list.substr(0, colon), true));
                    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
                }
            }
        }
    } else {
        const auto hash = fields.Next();
        if (!hash)
            return incomplete();
        if (!IsHexText(*hash, 32))
            return TParse::Broken;
        link.Kind = TFoundLink::TKind::FileSpree;
        link.Name = decodeName(*name);
        link.Hash = Cased(*hash, false);
    }
    consumed = start + fields.Position();
    return TParse::Link;
}

// Where the next link might start in text: the first "ed2k://" or "fs://"
// (any case), or npos.
std::size_t FindScheme(std::string_view text, std::size_t from)
{
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = Lower(text[i]);
        if ((c == 'e' && StartsWithNoCase(text.substr(i), "ed2k://"))
            || (c == 'f' && StartsWithNoCase(text.substr(i), "fs://")))
            return i;
    }
    return std::string_view::npos;
}

} // namespace

TLinkScanner::TLinkScanner(TLinkEvent onLink, bool html)
    : m_onLink(std::move(onLink))
    , m_html(html)
{
}

void TLinkScanner::Feed(std::string_view text)
{
    if (m_html)
        m_page.Feed(text, false, m_pending);
    else
        m_pending.append(text);
    Scan(false);
}

void TLinkScanner::Finish()
{
    if (m_html)
        m_page.Feed({}, true, m_pending);
    Scan(true);
    m_pending.clear();
}

void TLinkScanner::Scan(bool final)
{
    const std::string_view text = m_pending;
    // Text between links: whether a line ends in it.
    const auto pass = [&](std::size_t from, std::size_t to) {
        if (to > from && text.substr(from, to - from).find_first_of("\r\n") != std::string_view::npos)
            m_lineEnded = true;
    };
    std::size_t at = 0;
    while (true) {
        const std::size_t scheme = FindScheme(text, at);
        if (scheme == std::string_view::npos) {
            // Keep a tail that could be the start of a scheme cut in two.
            const std::size_t kept = final ? text.size() : text.size() > 8 ? text.size() - 8 : 0;
            pass(at, kept);
            at = std::max(at, kept);
            break;
        }
        pass(at, scheme);
        at = scheme;
        const std::string_view candidate = text.substr(at);
        const bool known = StartsWithNoCase(candidate, kDonkeyStart) || StartsWithNoCase(candidate, kFileSpreeStart);
        if (!known) {
            const bool couldGrow = !final && candidate.size() < kDonkeyStart.size()
                && (StartsWithNoCase(kDonkeyStart, Cased(candidate, false))
                    || StartsWithNoCase(kFileSpreeStart, Cased(candidate, false)));
            if (couldGrow)
                break;
            ++at;
            continue;
        }

        TFoundLink link;
        std::size_t consumed = 0;
        const TParse parse = ParseLink(candidate, final || candidate.size() > MaxLinkLength, link, consumed);
        if (parse == TParse::NeedMore)
            break;
        if (parse == TParse::Broken) {
            ++at;
            continue;
        }
        at += consumed;
        // A page may show a link as the text of the anchor that holds it.
        if (!m_last || m_lineEnded || !(*m_last == link)) {
            m_onLink(link);
            m_last = std::move(link);
            m_lineEnded = false;
        }
    }
    m_pending.erase(0, at);
}

std::vector<TFoundLink> FindLinks(std::string_view text, bool html)
{
    std::vector<TFoundLink> links;
    TLinkScanner scanner([&](const TFoundLink &link) { links.push_back(link); }, html);
    scanner.Feed(text);
    scanner.Finish();
    return links;
}

std::string PercentDecode(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2])) {
            result.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

namespace {

// A reference cut by the end of a piece: the rest must come first.
constexpr std::size_t NeedMore = static_cast<std::size_t>(-1);

// The characters of windows-1252 that browsers read numeric references from
// 128 to 159 as; 0 where the byte has none (the number stands for itself).
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string &out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A numeric character reference at the start of text ("&#" already seen):
// appends the character a browser reads to out and returns the length of the
// reference, or 0 when there is none (no digit follows). As in a browser the
// closing ';' may be missing.
std::size_t DecodeNumericReference(std::string_view text, std::string &out)
{
    std::size_t at = 2;
    const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
    if (hex)
        ++at;
    const std::size_t digits = at;
    std::uint32_t value = 0;
    bool tooLarge = false;
    for (; at < text.size() && (hex ? IsHexDigit(text[at]) : (text[at] >= '0' && text[at] <= '9')); ++at) {
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(HexValue(text[at]));
        if (value > 0x10FFFF) {
            tooLarge = true;
            value = 0x10FFFF; // keeps the arithmetic bounded; the result is U+FFFD
        }
    }
    if (at == digits)
        return 0;
    if (at < text.size() && text[at] == ';')
        ++at;
    char32_t code = value;
    if (tooLarge || value == 0 || (value >= 0xD800 && value <= 0xDFFF))
        code = 0xFFFD;
    else if (value >= 0x80 && value <= 0x9F && kWindows1252High[value - 0x80] != 0)
        code = kWindows1252High[value - 0x80];
    AppendUtf8(out, code);
    return at;
}

struct THtmlEntity
{
    std::string_view Name;
    std::string_view Text;
};

#include "links/htmlentities.inc"

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

const THtmlEntity *FindEntity(std::string_view name)
{
    const auto at = std::lower_bound(std::begin(HtmlEntities), std::end(HtmlEntities), name,
                                     [](const THtmlEntity &e, std::string_view n) { return e.Name < n; });
    return at != std::end(HtmlEntities) && at->Name == name ? at : nullptr;
}

// A named character reference at the start of text ("&" seen), as a browser
// reads one in an attribute value (a link is mostly an href): the longest
// name of the table; one without its ';' (the legacy names) only where no
// letter, digit or '=' follows. Appends what it stands for to out and
// returns the reference's length, 0 when there is none, or NeedMore when
// text ends before that is known and more may follow (final not set).
std::size_t DecodeNamedReference(std::string_view text, bool final, std::string &out)
{
    constexpr std::size_t LongestName = 32; // "CounterClockwiseContourIntegral;"
    std::size_t end = 1;
    while (end < text.size() && end <= LongestName && IsAsciiAlnum(text[end]))
        ++end;
    if (end == text.size() && !final && end <= LongestName)
        return NeedMore;
    const std::size_t longest = std::min(end + (end < text.size() && text[end] == ';' ? 1 : 0), LongestName + 1);
    for (std::size_t length = longest; length > 1; --length) {
        const THtmlEntity *entity = FindEntity(text.substr(1, length - 1));
        if (!entity)
            continue;
        if (!entity->Name.ends_with(';') && length < text.size() && (IsAsciiAlnum(text[length]) || text[length] == '='))
            return 0;
        out.append(entity->Text);
        return length;
    }
    return 0;
}

// A character reference, numeric or named, at the start of text ("&" seen).
std::size_t DecodeReference(std::string_view text, bool final, std::string &out)
{
    if (!text.starts_with("&#"))
        return DecodeNamedReference(text, final, out);
    if (!final) {
        // The digits and the ';' after them must have arrived.
        std::size_t at = 2;
        while (at < text.size() && at < 64 && (IsHexDigit(text[at]) || text[at] == 'x' || text[at] == 'X'))
            ++at;
        if (at == text.size())
            return NeedMore;
    }
    return DecodeNumericReference(text, out);
}

bool HasPageMarker(std::string_view text)
{
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        const std::string_view rest = text.substr(i);
        if (StartsWithNoCase(rest, "<html") || StartsWithNoCase(rest, "<!doctype html")
            || StartsWithNoCase(rest, "<a href"))
            return true;
    }
    return false;
}

} // namespace

std::string HtmlDecode(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t consumed = text[i] == '&' ? DecodeReference(text.substr(i), true, result) : 0;
        if (consumed == 0 || consumed == NeedMore)
            result.push_back(text[i]);
        else
            i += consumed - 1;
    }
    return result;
}

void THtmlText::Feed(std::string_view text, bool final, std::string &out)
{
    m_held.append(text);
    const std::string_view page = m_held;
    std::size_t at = 0;
    const auto hold = [&](std::size_t from) { m_held.erase(0, from); };
    while (at < page.size()) {
        if (m_inComment) {
            // A comment ends at "-->" (or "--!>", as browsers take it).
            const std::size_t end = std::min(page.find("-->", at), page.find("--!>", at));
            if (end == std::string_view::npos) {
                if (!final) {
                    hold(std::max(at, page.size() - std::min<std::size_t>(page.size(), 3)));
                    return;
                }
                at = page.size();
                break;
            }
            at = end + (page[end + 2] == '!' ? 4 : 3);
            m_inComment = false;
            continue;
        }
        const std::size_t next = page.find_first_of("<&", at);
        if (next == std::string_view::npos) {
            out.append(page.substr(at));
            at = page.size();
            break;
        }
        out.append(page.substr(at, next - at));
        at = next;
        const std::string_view rest = page.substr(at);
        if (rest.front() == '<') {
            constexpr std::string_view open = "<!--";
            // "<!-->" and "<!--->" are whole comments; wait for what decides.
            if (!final && (open.starts_with(rest) || (rest.starts_with(open) && rest.size() < open.size() + 2))) {
                hold(at);
                return;
            }
            if (!rest.starts_with(open)) {
                out.push_back('<');
                ++at;
                continue;
            }
            at += open.size();
            if (page.substr(at).starts_with(">"))
                at += 1;
            else if (page.substr(at).starts_with("->"))
                at += 2;
            else
                m_inComment = true;
            continue;
        }
        const std::size_t consumed = DecodeReference(rest, final, out);
        if (consumed == NeedMore) {
            hold(at);
            return;
        }
        if (consumed == 0) {
            out.push_back('&');
            ++at;
        } else {
            at += consumed;
        }
    }
    m_held.clear();
}

std::string TListCharset::Feed(std::string_view bytes)
{
    std::string out;
    if (m_form == TForm::Unknown) {
        m_held.append(bytes);
        const std::string_view head = m_held;
        constexpr std::string_view utf8 = "\xEF\xBB\xBF", littleEndian = "\xFF\xFE", bigEndian = "\xFE\xFF";
        if (head.size() < utf8.size() && (utf8.starts_with(head) || littleEndian.starts_with(head) || bigEndian.starts_with(head)))
            return out; // a mark may still be coming
        std::size_t mark = 0;
        if (head.starts_with(utf8)) {
            m_form = TForm::Utf8;
            mark = utf8.size();
        } else if (head.starts_with(littleEndian)) {
            m_form = TForm::Utf16Le;
            mark = littleEndian.size();
        } else if (head.starts_with(bigEndian)) {
            m_form = TForm::Utf16Be;
            mark = bigEndian.size();
        } else {
            m_form = TForm::Utf8;
        }
        std::string rest = m_held.substr(mark);
        m_held.clear();
        return Feed(rest);
    }
    if (m_form == TForm::Utf8)
        return std::string(bytes);
    // UTF-16: code units of two bytes, a byte cut off held for the next piece.
    m_held.append(bytes);
    std::size_t at = 0;
    for (; at + 1 < m_held.size(); at += 2) {
        const auto first = static_cast<unsigned char>(m_held[at]);
        const auto second = static_cast<unsigned char>(m_held[at + 1]);
        const char32_t unit = m_form == TForm::Utf16Le ? (second << 8 | first) : (first << 8 | second);
        if (m_high != 0) {
            const char32_t high = std::exchange(m_high, 0);
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                continue;
            }
            AppendUtf8(out, 0xFFFD); // a high surrogate alone
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            m_high = unit;
        else
            AppendUtf8(out, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    m_held.erase(0, at);
    return out;
}

std::string TListCharset::Finish()
{
    std::string out;
    if (m_form == TForm::Unknown) {
        m_form = TForm::Utf8;
        out = std::exchange(m_held, {});
    } else if (m_form != TForm::Utf8 && (m_high != 0 || !m_held.empty())) {
        AppendUtf8(out, 0xFFFD); // text cut inside a character
    }
    m_held.clear();
    m_high = 0;
    return out;
}

std::optional<bool> SniffHtml(std::string_view head, bool complete)
{
    constexpr std::size_t Window = 4096;
    if (HasPageMarker(head.substr(0, Window)))
        return true;
    const auto unknown = [complete]() -> std::optional<bool> {
        if (complete)
            return false;
        return std::nullopt;
    };
    // Past what a page may open with: blanks, a byte-order mark, comments,
    // the doctype, an XML declaration.
    std::size_t at = head.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (true) {
        at = std::min(head.find_first_not_of(" \t\r\n\f", at), head.size());
        const std::string_view rest = head.substr(at);
        if (rest.empty())
            return unknown();
        std::size_t end = std::string_view::npos;
        if (rest.starts_with("<!--")) {
            end = rest.find("-->", 4);
            if (end != std::string_view::npos)
                end += 3;
        } else if (rest.starts_with("<!") || rest.starts_with("<?")) {
            if (StartsWithNoCase(rest, "<!doctype html"))
                return true;
            end = rest.find('>');
            if (end != std::string_view::npos)
                ++end;
        } else if (rest.size() < 2 && rest.front() == '<') {
            return unknown(); // "<!" or "<?" may still come
        } else {
            break;
        }
        if (end == std::string_view::npos)
            return unknown();
        at += end;
    }
    const std::string_view body = head.substr(at, Window);
    if (HasPageMarker(body))
        return true;
    if (body.size() < Window)
        return unknown();
    return false;
}

bool LooksLikeHtml(std::string_view text)
{
    return *SniffHtml(text, true);
}

bool IsPlainFileName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
#ifdef _WIN32
        return c == '/' || c == '\\' || c == ':' || c == '\0';
#else
        return c == '/' || c == '\0';
#endif
    });
}
