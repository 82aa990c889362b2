// brackwell-cli's output formats: links, hash columns and JSON objects.
#include "formats.h"

#include <cstdint>
#include <utility>

#include "digests/MessageDigests.h"
#include "entries/donkeyfile.h"
#include "entries/partfile.h"
#include "links/links.h"

namespace {

// The length of the well-formed UTF-8 sequence (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF) that starts text at i, or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i)
{
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint32_t lowest = 0;
    if (byte >= 0xC2 && byte <= 0xDF) { length = 2; lowest = 0x80; }
    else if (byte >= 0xE0 && byte <= 0xEF) { length = 3; lowest = 0x800; }
    else if (byte >= 0xF0 && byte <= 0xF4) { length = 4; lowest = 0x10000; }
    std::uint32_t code = length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3F);
    }
    valid = valid && code >= lowest && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    return valid ? length : 0;
}

bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// JSON string: valid UTF-8 passes unchanged, every other byte is written as
// the \u00XX escape of that byte, so that the text stays readable (the exact
// bytes of such a text go in a key of their own: TJsonObject).
std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    const auto escapeByte = [&](std::uint8_t byte) {
        out += "\\u00";
        out += HexText(&byte, 1, false);
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7F)
                    escapeByte(byte);
                else
                    out += static_cast<char>(byte);
            }
            ++i;
        } else if (const std::size_t length = Utf8SequenceAt(text, i); length != 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            escapeByte(byte);
            ++i;
        }
    }
    return out + "\"";
}

// A JSON object, its keys in the order added. A text that is not valid UTF-8
// (a file name of another code page) shows escaped under its key, and its
// exact bytes, in lower-case hexadecimal, under the same key with "_bytes"
// appended, after every other key: "\u00ff" and "ÿ" then differ.
class TJsonObject final
{
public:
    void Add(const char *key, std::string_view text)
    {
        Key(key);
        m_text += JsonString(text);
        if (!IsUtf8(text)) {
            const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
            m_bytes += ",\"" + std::string(key) + "_bytes\":\"" + HexText(bytes, text.size(), false) + "\"";
        }
    }
    void Add(const char *key, std::int64_t number) { Key(key); m_text += std::to_string(number); }
    void Add(const char *key, std::uint64_t number) { Key(key); m_text += std::to_string(number); }
    void AddNull(const char *key) { Key(key); m_text += "null"; }
    // A value already written as JSON.
    void AddRaw(const char *key, std::string_view json) { Key(key); m_text += json; }
    std::string Text() const { return m_text + m_bytes + "}"; }

private:
    void Key(const char *key)
    {
        m_text += m_text.size() > 1 ? ",\"" : "\"";
        m_text += key;
        m_text += "\":";
    }
    std::string m_text = "{";
    // The "_bytes" keys, written last.
    std::string m_bytes;
};

std::string DonkeyLine(const TLineSource &source)
{
    return source.Entry.DonkeyLink();
}

std::string FileSpreeLine(const TLineSource &source)
{
    return source.Entry.FileSpreeLink();
}

std::string HtmlLine(const TLineSource &source)
{
    return source.Entry.DonkeyLinkHtml();
}

// ed2k hash, MD5, (AICH root,) size and name, separated by TABs.
std::string HashesLine(const TLineSource &source)
{
    const TEntrySnapshot &shown = source.Shown;
    return shown.DonkeyHashText() + "\t" + shown.FileSpreeHashText() + "\t"
           + (source.Aich ? shown.AichHashText() + "\t" : std::string()) + std::to_string(shown.Size) + "\t"
           + EscapeControlBytes(shown.DisplayName);
}

std::string JsonLine(const TLineSource &source)
{
    const TDonkeyFile &entry = source.Entry;
    const TEntrySnapshot &shown = source.Shown;
    TJsonObject json;
    json.Add("path", source.Path);
    json.Add("name", shown.DisplayName);
    json.Add("size", shown.Size);
    json.Add("ed2k", shown.DonkeyHashText());
    json.Add("md5", shown.FileSpreeHashText());
    json.Add("ed2k_link", entry.DonkeyLink());
    json.Add("fs_link", entry.FileSpreeLink());
    json.Add("html_link", entry.DonkeyLinkHtml());
    const std::string failure = FailureOf(shown);
    for (const auto &[key, text] : {std::pair{"error", failure}, std::pair{"warning", shown.Warning}}) {
        if (text.empty())
            json.AddNull(key);
        else
            json.Add(key, text);
    }
    if (source.Aich || source.PartHashes) {
        // Null where the entry did not compute them (a failed run) or a
        // descriptor does not record them.
        const bool hashed = shown.DonkeyHash.size() == 32;
        if (shown.HashSelection & hsAich)
            json.Add("aich", shown.AichHashText());
        else
            json.AddNull("aich");
        if ((shown.HashSelection & hsPartHashes) && hashed) {
            std::string list = "[";
            for (std::size_t at = 0; at < shown.PartHashes.size(); at += 33)
                list += (at ? ",\"" : "\"") + shown.PartHashes.substr(at, 32) + "\"";
            json.AddRaw("part_hashes", list + "]");
        } else {
            json.AddNull("part_hashes");
        }
    }
    if (const auto *part = dynamic_cast<const TPartFile *>(&entry)) {
        json.Add("transferred", shown.Transferred);
        json.Add("temp_file", shown.TempFileName);
        json.Add("type", shown.FileType);
        json.Add("format", shown.FileFormat);
        json.Add("priority", std::uint64_t{shown.Priority});
        json.Add("status", std::uint64_t{shown.Status});
        json.Add("priority_text", part->PriorityText());
        json.Add("status_text", part->StatusText());
    }
    return json.Text();
}

constexpr TFormat FormatTable[] = {
    {"ed2k", DonkeyLine}, {"fs", FileSpreeLine}, {"html", HtmlLine}, {"hashes", HashesLine}, {"json", JsonLine},
};

} // namespace

std::span<const TFormat> Formats()
{
    return FormatTable;
}

const TFormat *FormatNamed(std::string_view name)
{
    for (const TFormat &format : FormatTable) {
        if (format.Name == name)
            return &format;
    }
    return nullptr;
}

std::string FormatNames(bool markDefault)
{
    std::string names;
    const std::span<const TFormat> formats = Formats();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0)
            names += i + 1 == formats.size() ? " or " : ", ";
        names += formats[i].Name;
        if (i == 0 && markDefault)
            names += " (default)";
    }
    return names;
}

std::string FailureOf(const TEntrySnapshot &entry)
{
    if (!entry.Failure.empty())
        return entry.Failure;
    return entry.OpenFailed ? "cannot be read" : std::string();
}
