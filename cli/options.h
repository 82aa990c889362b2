#pragma once

// brackwell-cli's options: the command line read over the settings store's
// defaults. A new option is one more row of the table in options.cpp.

#include <optional>
#include <string>
#include <vector>

#include "entries/donkeyfile.h"
#include "export.h"
#include "formats.h"
#include "links/linkcheck.h"

inline constexpr const char *Program = "brackwell-cli";

enum class TPartMode { ByName, Always, Never };

struct TOptions
{
    const TFormat *format = &Formats().front();
    THashSelection selection = hsAll;
    std::string prefix;
    std::string suffix;
    std::string replaceSpaces;
    TPartMode partMode = TPartMode::ByName;
    unsigned jobs = 0; // 0: one per core
    std::vector<std::string> paths;
    TExportRequest exportRequest;
    bool aich = false;
    bool partHashes = false;
    bool recursive = false;
    bool check = false;
    std::optional<std::string> checkFolder;
    // The link-name texts of the settings store, before the options.
    TLinkNameTexts storedTexts;
    // Where the settings store is, for the messages about what is left to compute.
    std::string storeLocation;
    // The kinds the options switched on (true) or off (false), if they did.
    std::optional<bool> donkeyGiven;
    std::optional<bool> fileSpreeGiven;
    bool aichGiven = false;
};

// The options of the command line over the settings store's defaults. Prints
// the help or the version and exits with 0 when asked to; exits with 2 and a
// message on stderr on bad usage.
TOptions ParseArguments(int argc, char **argv);

// Prints the message and the hint to --help on stderr, and exits with 2.
[[noreturn]] void UsageError(const std::string &message);
