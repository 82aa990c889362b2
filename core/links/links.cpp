// The texts built from an entry: link names, ed2k / fs links, the HTML anchor,
// and the size text.
#include "links/links.h"

#include "digests/MessageDigests.h"
#include "entries/donkeyfile.h"
#include "links/unicode.h"

#include <charconv>
#include <clocale>
#include <cstdio>

namespace {

#ifdef _WIN32
constexpr std::string_view PathSeparators = "\\:/";
#else
constexpr std::string_view PathSeparators = "/";
#endif

bool IsControlByte(std::uint8_t byte)
{
    return byte < 0x20 || byte == 0x7F;
}

// text with every byte for which encode holds written as %XX.
template <typename TPredicate>
std::string PercentEncode(std::string_view text, TPredicate encode)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (encode(byte)) {
            result += '%';
            result += HexText(&byte, 1, true);
        } else {
            result += c;
        }
    }
    return result;
}

} // namespace

std::string StripExtension(std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string(name);
    return std::string(name.substr(0, dot));
}

std::string ExtractExtension(std::string_view name)
{
    const auto dot = name.rfind('.');
    // A leading dot (".profile") names the file, it starts no extension, so
    // that the link name holds the name once.
    if (dot == std::string_view::npos || dot == 0)
        return {};
    if (name.find_first_of(PathSeparators, dot) != std::string_view::npos)
        return {};
    return std::string(name.substr(dot));
}

std::string ReplaceSpaces(std::string_view text, std::string_view replacement)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        if (c == ' ')
            result += replacement;
        else
            result += c;
    }
    return result;
}

std::string EncodeLinkName(std::string_view name)
{
    return PercentEncode(name, [](std::uint8_t byte) { return IsControlByte(byte) || byte == '%' || byte == '|'; });
}

std::string EncodeUriComponent(std::string_view text)
{
    return PercentEncode(text, [](std::uint8_t byte) {
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')
                                || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_'
                                || byte == '~';
        return !unreserved;
    });
}

std::string EncodeLinkText(std::string_view text)
{
    return PercentEncode(text, [](std::uint8_t byte) { return IsControlByte(byte) || byte == '|'; });
}

std::string EscapeControlBytes(std::string_view text)
{
    return PercentEncode(text, IsControlByte);
}

std::string EscapeHtml(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        default: result += c;
        }
    }
    return result;
}

std::string TDonkeyFile::LinkName() const
{
    return LinkNameOf(DisplayName());
}

std::string TDonkeyFile::LinkNameOf(std::string_view display) const
{
    std::string joined = m_namePrefix + StripExtension(display) + m_nameSuffix + ExtractExtension(display);
    if (!m_replaceSpaceStr.empty())
        joined = ReplaceSpaces(joined, m_replaceSpaceStr);
    return joined;
}

std::string TDonkeyFile::EncodedLinkName(std::string_view displayName) const
{
    // Encoding neither adds nor removes spaces, so replacing them piece by
    // piece gives what replacing them in the joined name would.
    const std::string space = EncodeLinkText(m_replaceSpaceStr);
    const auto piece = [&](const std::string &encoded) {
        return m_replaceSpaceStr.empty() ? encoded : ReplaceSpaces(encoded, space);
    };
    return piece(EncodeLinkText(m_namePrefix)) + piece(EncodeLinkName(StripExtension(displayName)))
           + piece(EncodeLinkText(m_nameSuffix)) + piece(EncodeLinkName(ExtractExtension(displayName)));
}

std::string TDonkeyFile::DonkeyLinkOf(const TEntrySnapshot &now) const
{
    std::string link = "ed2k://|file|" + EncodedLinkName(now.DisplayName) + "|" + std::to_string(now.Size) + "|"
                       + now.DonkeyHash + "|";
    // The extras only beside a real hash: a link of a failed or unfinished
    // run stays as it always was.
    const bool hashed = now.DonkeyHash.size() == 32;
    const bool parts = hashed && !now.PartHashes.empty();
    const bool aich = hashed && (now.HashSelection & hsAich) && now.AichHash.size() == 32;
    if (parts)
        link += "p=" + now.PartHashes + "|";
    if (aich)
        link += "h=" + now.AichHash + "|";
    if (parts || aich)
        link += "/";
    return link;
}

// Each link is made from one snapshot, so that a refresh never pairs the name
// or size of one moment with the hash of another.
std::string TDonkeyFile::DonkeyLink() const
{
    if (!(m_hashSelection & hsDonkey))
        return std::string(NotAvailableText);
    return DonkeyLinkOf(Snapshot());
}

std::string TDonkeyFile::DonkeyLinkHtml(TNameBytes bytes) const
{
    if (!(m_hashSelection & hsDonkey))
        return std::string(NotAvailableText);
    const TEntrySnapshot now = Snapshot();
    std::string link = DonkeyLinkOf(now);
    std::string name = EscapeControlBytes(now.DisplayName);
    if (bytes == TNameBytes::Unicode) {
        link = EncodeInvalidUtf8(link);
        name = ReplaceInvalidUtf8(name);
    }
    return "<a href=\"" + EscapeHtml(link) + "\">" + EscapeHtml(name) + "</a>";
}

// The same hash, size and name as the ed2k link, the name encoded for a URI
// (RFC 3986), and the AICH root where the ed2k link has h=.
std::string TDonkeyFile::MagnetLink() const
{
    if (!(m_hashSelection & hsDonkey))
        return std::string(NotAvailableText);
    const TEntrySnapshot now = Snapshot();
    std::string link = "magnet:?xt=urn:ed2k:" + EncodeUriComponent(now.DonkeyHash) + "&xl=" + std::to_string(now.Size)
                       + "&dn=" + EncodeUriComponent(LinkNameOf(now.DisplayName));
    if (now.DonkeyHash.size() == 32 && (now.HashSelection & hsAich) && now.AichHash.size() == 32)
        link += "&xt=urn:aich:" + now.AichHash;
    return link;
}

std::string TDonkeyFile::FileSpreeLink() const
{
    if (!(m_hashSelection & hsFileSpree))
        return std::string(NotAvailableText);
    const TEntrySnapshot now = Snapshot();
    return "fs://Get|" + EncodedLinkName(now.DisplayName) + "|" + now.FileSpreeHash + "|";
}

std::string CurrentDecimalPoint()
{
    const std::lconv *conventions = std::localeconv();
    if (!conventions || !conventions->decimal_point || !*conventions->decimal_point)
        return ".";
    return conventions->decimal_point;
}

std::string SizeText(std::int64_t size, std::string_view decimalPoint)
{
    if (size < 1024)
        return std::to_string(size) + " o";
    const bool mega = size >= 1024 * 1024;
    const double value = static_cast<double>(size) / (mega ? 1024.0 * 1024.0 : 1024.0);
    char digits[64];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
    std::string text(digits, ec == std::errc() ? end : digits);
    if (const auto dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, decimalPoint);
    return text + (mega ? " M" : " K");
}
