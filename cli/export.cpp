// brackwell-cli --export: the share list, with the options of the export dialog.
#include "export.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iterator>

#include "entries/donkeyfile.h"
#include "input/version.h"

namespace {

constexpr std::size_t MaxSeparatorLength = 5;
constexpr std::size_t MaxAnchorTextLength = 50;

// Characters of a UTF-8 text (bytes that do not continue a sequence).
std::size_t CharacterCount(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void ParseAnchor(const std::string &name, const std::string &text, const TOptionValues &values, bool &isUrl,
                 std::string &anchorText)
{
    isUrl = text == "url";
    if (isUrl)
        return;
    if (CharacterCount(text) > MaxAnchorTextLength)
        values.UsageError("the text of " + name + " has more than 50 characters");
    anchorText = text;
}

void ParseColumns(const std::string &list, const TOptionValues &values, TShareListOptions &o)
{
    if (list.empty())
        values.UsageError("--columns needs at least one column (name, size, ed2k or fs)");
    o.FileName = o.Size = o.Donkey = o.FileSpree = false;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string column = list.substr(start, comma - start);
        if (column == "name")
            o.FileName = true;
        else if (column == "size")
            o.Size = true;
        else if (column == "ed2k")
            o.Donkey = true;
        else if (column == "fs")
            o.FileSpree = true;
        else
            values.UsageError("unknown column '" + column + "' (name, size, ed2k or fs)");
        start = comma + 1;
    }
    o.Link = o.Donkey || o.FileSpree;
}

// While the list is written, a signal that ends the process (Ctrl+C, kill)
// first removes the unfinished temporary file, then ends it as it would have.
class TRemoveUnfinishedOnSignal final
{
public:
    TRemoveUnfinishedOnSignal()
    {
        for (std::size_t i = 0; i < std::size(Signals); ++i) {
            m_before[i] = std::signal(Signals[i], Handle);
            if (m_before[i] == SIG_IGN)
                std::signal(Signals[i], SIG_IGN); // ignored (nohup): it ends nothing
        }
    }
    ~TRemoveUnfinishedOnSignal()
    {
        for (std::size_t i = 0; i < std::size(Signals); ++i)
            std::signal(Signals[i], m_before[i] == SIG_ERR ? SIG_DFL : m_before[i]);
    }
    TRemoveUnfinishedOnSignal(const TRemoveUnfinishedOnSignal &) = delete;
    TRemoveUnfinishedOnSignal &operator=(const TRemoveUnfinishedOnSignal &) = delete;

private:
#ifdef SIGHUP
    static constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};
#else
    static constexpr int Signals[] = {SIGINT, SIGTERM};
#endif
    static void Handle(int signal)
    {
        RemoveUnfinishedShareList();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    void (*m_before[std::size(Signals)])(int) = {};
};

} // namespace

bool ParseExportOption(std::string_view name, const TOptionValues &values, TExportRequest &request)
{
    TShareListOptions &o = request.Options;
    const std::string option(name);
    if (name == "--export") {
        request.File = values.Value();
        if (request.File->empty())
            values.UsageError("--export needs a file name");
        return true;
    }
    if (name == "--layout") {
        const std::string layout = values.Value();
        if (layout != "ascii" && layout != "html" && layout != "table")
            values.UsageError("unknown layout '" + layout + "' (ascii, html or table)");
        o.Html = layout != "ascii";
        o.Array = layout == "table";
    } else if (name == "--title") {
        o.Title = values.Value();
        o.WithTitle = true;
    } else if (name == "--no-title") {
        values.NoValue();
        o.WithTitle = false;
    } else if (name == "--separator") {
        o.Separator = values.Value();
        if (CharacterCount(o.Separator) > MaxSeparatorLength)
            values.UsageError("the separator has more than 5 characters");
    } else if (name == "--columns") {
        ParseColumns(values.Value(), values, o);
    } else if (name == "--with-path") {
        values.NoValue();
        o.WithPath = true;
    } else if (name == "--ed2k-anchor") {
        ParseAnchor(option, values.Value(), values, o.DonkeyAnchorIsUrl, o.DonkeyAnchorText);
    } else if (name == "--fs-anchor") {
        ParseAnchor(option, values.Value(), values, o.FileSpreeAnchorIsUrl, o.FileSpreeAnchorText);
    } else {
        return false;
    }
    request.Given.push_back(option);
    return true;
}

std::string CheckExportRequest(const TExportRequest &request)
{
    const auto given = [&](const char *name) {
        return std::find(request.Given.begin(), request.Given.end(), name) != request.Given.end();
    };
    if (!request.File && !request.Given.empty())
        return request.Given.front() + " needs --export";
    if (request.Options.Html && given("--separator"))
        return "--separator applies to --layout=ascii only";
    for (const char *anchor : {"--ed2k-anchor", "--fs-anchor"}) {
        if (!request.Options.Html && given(anchor))
            return std::string(anchor) + " applies to --layout=html or table only";
    }
    return {};
}

void PrintExportHelp()
{
    std::printf(
        "\n"
        "Share list (prints nothing on stdout; entries sorted by name):\n"
        "  --export FILE           write the share list of all paths to FILE\n"
        "  --layout=LAYOUT         ascii (default), html (flowing text) or table\n"
        "  --title TEXT            the title line (default \"Share List\")\n"
        "  --no-title              no title line\n"
        "  --separator TEXT        after every field of an ascii line, at most 5\n"
        "                          characters (default one space)\n"
        "  --columns=LIST          comma-separated from name, size, ed2k, fs\n"
        "                          (default all four; ed2k and fs are the links)\n"
        "  --with-path             the name column holds the path given\n"
        "  --ed2k-anchor=url|TEXT  html text of the ed2k links: the link itself, or\n"
        "                          TEXT of at most 50 characters (default \"eDonkey2000\")\n"
        "  --fs-anchor=url|TEXT    the same for the fs links (default \"FileSpree\")\n"
        "A share list that cannot be written leaves any existing FILE untouched and\n"
        "exits with status 1.\n");
}

bool ExportEntries(const TExportRequest &request, std::vector<std::unique_ptr<TDonkeyFile>> &entries,
                   const std::string &ownPath)
{
    std::stable_sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        return CompareEntryNames(*a, *b);
    });
    std::vector<TShareListRow> rows;
    rows.reserve(entries.size());
    for (const auto &entry : entries)
        rows.push_back(ShareListRowOf(*entry));

    TShareListOptions options = request.Options;
    options.Caption = "Brackwell " + VersionText(ownPath, 2);
    const TShareListResult result = [&] {
        const TRemoveUnfinishedOnSignal removeOnSignal;
        return WriteShareList(*request.File, options, rows);
    }();
    if (result.Status == TShareListStatus::Written)
        return true;
    const char *what =
        result.Status == TShareListStatus::CannotCreate ? "Impossible to create the file" : "Export Error";
    std::fprintf(stderr, "brackwell-cli: %s: %s (%s)\n", request.File->c_str(), what, result.Reason.c_str());
    return false;
}
