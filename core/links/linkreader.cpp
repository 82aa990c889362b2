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
TParse ParseLink(std::string_view text, bool final, bool html, TFoundLink &link, std::size_t &consumed)
{
    const bool donkey = StartsWithNoCase(text, kDonkeyStart);
    const std::size_t start = donkey ? kDonkeyStart.size() : kFileSpreeStart.size();
    TFieldReader fields(text.substr(start));
    // Without enough text to decide, wait for more unless this is the end.
    const auto incomplete = [&] { return final ? TParse::Broken : TParse::NeedMore; };

    const auto decodeName = [html](std::string_view raw) {
        return PercentDecode(html ? std::string_view(HtmlDecode(raw)) : raw);
    };

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
    m_pending.append(text);
    Scan(false);
}

void TLinkScanner::Finish()
{
    Scan(true);
    m_pending.clear();
}

void TLinkScanner::Scan(bool final)
{
    const std::string_view text = m_pending;
    std::size_t at = 0;
    while (true) {
        const std::size_t scheme = FindScheme(text, at);
        if (scheme == std::string_view::npos) {
            // Keep a tail that could be the start of a scheme cut in two.
            at = text.size() > 8 ? text.size() - 8 : 0;
            if (final)
                at = text.size();
            break;
        }
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
        const TParse parse = ParseLink(candidate, final || candidate.size() > MaxLinkLength, m_html, link, consumed);
        if (parse == TParse::NeedMore)
            break;
        if (parse == TParse::Broken) {
            ++at;
            continue;
        }
        at += consumed;
        // A page may show a link right after the anchor that holds it.
        if (!m_last || !(*m_last == link)) {
            m_onLink(link);
            m_last = std::move(link);
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

std::string HtmlDecode(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''},
    };
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            result.push_back(text[i]);
            continue;
        }
        const std::string_view rest = text.substr(i);
        bool decoded = false;
        for (const auto &[entity, byte] : kNamed) {
            if (rest.starts_with(entity)) {
                result.push_back(byte);
                i += entity.size() - 1;
                decoded = true;
                break;
            }
        }
        if (!decoded && rest.starts_with("&#")) {
            const std::size_t semicolon = rest.find(';');
            unsigned value = 0;
            if (semicolon != std::string_view::npos && semicolon > 2 && semicolon < 8) {
                const auto [end, ec] = std::from_chars(rest.data() + 2, rest.data() + semicolon, value);
                if (ec == std::errc() && end == rest.data() + semicolon && value > 0 && value < 256) {
                    result.push_back(static_cast<char>(value));
                    i += semicolon;
                    decoded = true;
                }
            }
        }
        if (!decoded)
            result.push_back('&');
    }
    return result;
}

bool LooksLikeHtml(std::string_view text)
{
    const std::string_view head = text.substr(0, 4096);
    for (std::size_t i = 0; i < head.size(); ++i)
        if (head[i] == '<'
            && (StartsWithNoCase(head.substr(i), "<html") || StartsWithNoCase(head.substr(i), "<!doctype html")
                || StartsWithNoCase(head.substr(i), "<a href")))
            return true;
    return false;
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
