#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "links/sharelist.h"

class TDonkeyFile;

// brackwell-cli --export: the share list of the entries instead of one line each.
struct TExportRequest
{
    std::optional<std::string> File;
    TShareListOptions Options;
    // The share-list options given, to refuse those that do not fit the layout.
    std::vector<std::string> Given;
};

// How the option parser hands a value over and reports misuse.
struct TOptionValues
{
    std::function<std::string()> Value;
    std::function<void()> NoValue;
    std::function<void(const std::string &)> UsageError; // does not return
};

// Takes one export option; false when name is not one of them.
bool ParseExportOption(std::string_view name, const TOptionValues &values, TExportRequest &request);
// Once all arguments are read: why the export options do not fit together, or empty.
std::string CheckExportRequest(const TExportRequest &request);
void PrintExportHelp();

// Writes the share list of entries in the list's order, the caption naming the
// version of the executable at ownPath. On failure prints one line to stderr
// and returns false.
bool ExportEntries(const TExportRequest &request, std::vector<std::unique_ptr<TDonkeyFile>> &entries,
                   const std::string &ownPath);
