// brackwell-cli's output formats: links, hash columns and JSON objects.
#include "formats.h"

#include <cstdint>
#include <utility>

#include "digests/MessageDigests.h"
#include "entries/donkeyfile.h"
#include "entries/partfile.h"
#include "json.h"
#include "links/links.h"

namespace {

std::string DonkeyLine(const TLineSource &source)
{
    return source.Entry.DonkeyLink();
}

std::string FileSpreeLine(const TLineSource &source)
{
    return source.Entry.FileSpreeLink();
}

std::string MagnetLine(const TLineSource &source)
{
    return source.Entry.MagnetLink();
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
    {"magnet", MagnetLine},
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
