#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "links/linkreader.h"

class TCoreTokens;
class TDonkeyFile;

// The link-name texts that links made here may carry around a file's name.
struct TLinkNameTexts
{
    std::string Prefix;
    std::string Suffix;
    std::string ReplaceSpaces;

    bool operator==(const TLinkNameTexts &) const = default;
};

// A name in which each of Space may stand for a space or for itself: the
// file it names is the one whose name, with every space replaced by Space,
// is Name.
struct TSpacedName
{
    std::string Name;
    std::string Space;
};

// The names under which the file of a link is looked for, in order: the link's
// name itself, then for each set of texts the name with them undone (the
// prefix at the start, the suffix before the extension or at the end, the
// space replacement turned back into spaces, and the same with the
// replacement kept). Only plain file names are given: nothing that leads out
// of the folder the names are looked up in; refused is set when a name was
// left out for that reason. spaced gets, for a replacement the name holds,
// the name with the texts undone but the replacement, to be matched against
// the folder's files when no name above is found (a replacement "." turned
// back would also make a space of the extension's dot).
std::vector<std::string> LinkFileCandidates(const std::string &linkName, const std::vector<TLinkNameTexts> &texts,
                                            bool *refused = nullptr, std::vector<TSpacedName> *spaced = nullptr);

enum class TLinkVerdict { Ok, Failed, Missing, Error };

// The outcome of one link.
struct TLinkCheck
{
    TFoundLink Link;
    TLinkVerdict Verdict = TLinkVerdict::Missing;
    // What differs ("size differs: 4 bytes on disk", "ed2k hash differs") or
    // why the file could not be read; empty for OK and MISSING.
    std::string Detail;
    // The file checked; empty when none was found.
    std::string Path;
};

// "OK", "FAILED", "MISSING" or "ERROR".
const char *VerdictText(TLinkVerdict verdict);

// Judges the file entry hashed for link (an entry that computed what the
// link carries).
TLinkCheck JudgeLink(const TFoundLink &link, const TDonkeyFile &entry);

struct TLinkCheckOptions
{
    // Where the named files are looked for.
    std::string Folder;
    std::vector<TLinkNameTexts> NameTexts;
    // Files hashed at once; output stays in the list's order.
    unsigned Jobs = 1;
    // Shared with other runs as in brackwell-cli's hashing; may be null.
    std::shared_ptr<TCoreTokens> Tokens;
    // Raised after each chunk of a file, in the thread that hashes it.
    std::function<void(TDonkeyFile &)> OnNewBlock;
    // Asked between files; once true, no further link is checked or reported.
    std::function<bool()> StopRequested;
    // Set from another thread: the check ends within a fraction of a second,
    // the files under way included, and no further link is reported.
    std::shared_ptr<const std::atomic<bool>> Stop;
};

// Reads the list at listPath (any text; a page that looks like HTML is
// HTML-decoded too), checks every ed2k and fs link in it against the files of
// options.Folder, and reports each in the list's order through onResult, in
// the calling thread. A file named by several links in a row is hashed once.
// Memory stays bounded whatever the list's length. Returns why the list could
// not be read, or empty; links reported before a read error stand.
std::string CheckLinkList(const std::string &listPath, const TLinkCheckOptions &options,
                          const std::function<void(const TLinkCheck &)> &onResult);
