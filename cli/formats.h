#pragma once

// The output formats of brackwell-cli: one line per entry. A new format is
// one more row of the table in formats.cpp.

#include <span>
#include <string>
#include <string_view>

class TDonkeyFile;
struct TEntrySnapshot;

// What a line is made from.
struct TLineSource
{
    // The path as given (or as the walk of a folder found it).
    const std::string &Path;
    const TDonkeyFile &Entry;
    // The entry's fields, all from one moment.
    const TEntrySnapshot &Shown;
    // --aich: the AICH column of --format=hashes; with PartHashes, the JSON
    // keys "aich" and "part_hashes".
    bool Aich = false;
    bool PartHashes = false;
};

struct TFormat
{
    // As --format= names it.
    std::string_view Name;
    std::string (*Line)(const TLineSource &source);
};

// Every format, the default first.
std::span<const TFormat> Formats();
// The format called name, or null.
const TFormat *FormatNamed(std::string_view name);
// The names in the table's order, "ed2k, fs, html, hashes or json", with
// "(default)" after the first when markDefault is set.
std::string FormatNames(bool markDefault);

// Why an entry failed, or empty when it did not.
std::string FailureOf(const TEntrySnapshot &entry);
