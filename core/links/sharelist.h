#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TDonkeyFile;

// What a share list holds and how it is laid out: the choices of the export
// dialog. The defaults are the dialog's first state.
struct TShareListOptions
{
    // HTML instead of plain text; with Array the HTML is a table.
    bool Html = false;
    bool Array = true;

    bool WithTitle = true;
    // Written as typed, also in HTML (it may hold the user's own markup).
    std::string Title = "Share List";
    // Follows every chosen field of a plain-text line.
    std::string Separator = " ";

    bool FileName = true;
    bool WithPath = false;
    bool Size = true;
    bool Link = true;
    bool Donkey = true;
    bool FileSpree = true;

    // The visible text of an HTML link: the link itself, or the given text.
    bool DonkeyAnchorIsUrl = false;
    std::string DonkeyAnchorText = "eDonkey2000";
    bool FileSpreeAnchorIsUrl = false;
    std::string FileSpreeAnchorText = "FileSpree";

    // The program's caption, named in the title of an HTML page.
    std::string Caption = "Brackwell";
};

// The values of one entry that a share list shows.
struct TShareListRow
{
    std::string Name;
    std::string DisplayName;
    std::int64_t Size = 0;
    std::string DonkeyLink;
    std::string FileSpreeLink;
};

TShareListRow ShareListRowOf(const TDonkeyFile &entry);

// The list's order: displayed names byte by byte as unsigned values, a prefix first.
bool CompareEntryNames(const TDonkeyFile &a, const TDonkeyFile &b);

// Hands the pieces of the share list to sink in order (the head, one line per
// row, the end); stops and returns false as soon as sink does.
using TShareListSink = std::function<bool(std::string_view piece)>;
bool ProduceShareList(const TShareListOptions &options, const std::vector<TShareListRow> &rows,
                      const TShareListSink &sink);

// The whole share list as one text.
std::string ShareListText(const TShareListOptions &options, const std::vector<TShareListRow> &rows);

enum class TShareListStatus
{
    Written,
    // Nothing was written: the file (or the temporary file beside it) could not be made.
    CannotCreate,
    // A write failed; the file that was there before is left as it was.
    WriteFailed,
};

struct TShareListResult
{
    TShareListStatus Status = TShareListStatus::Written;
    // The system's reason for a failure.
    std::string Reason;
};

// Writes the share list to path. A regular file (or a new one) is written to a
// temporary file beside it, which replaces it only once everything is written,
// keeping the old file's permissions, and its owner and group where the
// writer may give them (root may); the old file is replaced, not rewritten,
// so that a second hard link to it keeps the old list. A device or pipe is
// written directly.
TShareListResult WriteShareList(const std::string &path, const TShareListOptions &options,
                                const std::vector<TShareListRow> &rows);

// Removes the temporary file of a WriteShareList under way, if there is one:
// for a handler of a signal that ends the process (SIGINT, SIGTERM), which
// may call it (it only reads a fixed buffer and removes one file).
void RemoveUnfinishedShareList() noexcept;
