// Checking files against the links of a share list or any other text.
#include "links/linkcheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "entries/donkeyfile.h"
#include "entries/reasons.h"
#include "links/links.h"
#include "input/fileio.h"
#include "runs/hashqueue.h"

namespace {

constexpr std::size_t ReadPiece = 64 * 1024;
// Links taken from the list before their files are hashed: enough to keep
// every job busy, few enough that a list of millions costs little memory.
constexpr std::size_t BatchLinks = 256;
// How much of a list's head is read to tell whether it is a page.
constexpr std::size_t MaxHead = 1 << 20;

// Every from in text as a space; the text after a replacement is not rescanned.
std::string RestoreSpaces(std::string_view text, std::string_view from)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (text.substr(at).starts_with(from)) {
            result += ' ';
            at += from.size();
        } else {
            result += text[at++];
        }
    }
    return result;
}

std::string JoinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
#ifdef _WIN32
    if (folder.back() == '\\' || folder.back() == '/')
        return folder + name;
#else
    if (folder.back() == '/')
        return folder + name;
#endif
    return folder + "/" + name;
}

std::FILE *OpenForReading(const std::string &path)
{
#ifdef _WIN32
    return ::_wfopen(PathFromUtf8(path).c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

// True when something is at path, or when looking failed for another reason
// than its absence (opening it then tells why).
bool Present(const std::string &path)
{
    std::error_code error;
    const auto status = std::filesystem::status(PathFromUtf8(path), error);
    if (error)
        return error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory;
    return std::filesystem::exists(status);
}

// True when path, found in folder, is a symbolic link that leads out of the
// folder (or whose target cannot be told): no list may reach outside it.
bool LeadsOutside(const std::string &folder, const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path file = PathFromUtf8(path);
    if (!fs::is_symlink(fs::symlink_status(file, error)))
        return false;
    const fs::path target = fs::canonical(file, error);
    if (error)
        return true;
    const fs::path base = fs::canonical(folder.empty() ? fs::path(".") : PathFromUtf8(folder), error);
    if (error)
        return true;
    // Inside when the folder's components start the target's.
    return std::mismatch(base.begin(), base.end(), target.begin(), target.end()).first != base.end();
}

std::vector<std::string_view> SplitParts(std::string_view joined)
{
    std::vector<std::string_view> parts;
    while (!joined.empty()) {
        const std::size_t colon = joined.find(':');
        parts.push_back(joined.substr(0, colon));
        joined = colon == std::string_view::npos ? std::string_view() : joined.substr(colon + 1);
    }
    return parts;
}

// What the part hashes of a link say against those of the file.
std::string ComparePartHashes(const std::vector<std::string> &linked, const TEntrySnapshot &file)
{
    std::vector<std::string_view> own = SplitParts(file.PartHashes);
    if (own.empty())
        own.push_back(file.DonkeyHash); // one chunk: its digest is the file's hash
    if (linked.size() != own.size())
        return ReasonText(TReasonKey::PartHashesDoNotFit);
    std::size_t differing = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < own.size(); ++i) {
        if (linked[i] != own[i] && differing++ == 0)
            first = i + 1;
    }
    if (differing == 0)
        return {};
    return ReasonText(TReasonKey::PartHashesDiffer,
                      {std::to_string(differing), std::to_string(own.size()), std::to_string(first)});
}

THashSelection SelectionFor(const TFoundLink &link)
{
    if (link.Kind == TFoundLink::TKind::FileSpree)
        return hsFileSpree;
    THashSelection selection = hsDonkey;
    if (!link.Aich.empty())
        selection |= hsAich;
    if (!link.PartHashes.empty())
        selection |= hsPartHashes;
    return selection;
}

// The files of a folder by the name a space replacement makes of theirs,
// listed once per replacement and only when a link needs it.
class TSpacedIndex final
{
public:
    explicit TSpacedIndex(std::string folder)
        : m_folder(std::move(folder))
    {
    }

    // The first file, in byte order, whose name with every space replaced by
    // pattern.Space is pattern.Name; empty when there is none.
    std::string Find(const TSpacedName &pattern)
    {
        auto known = m_bySpace.find(pattern.Space);
        if (known == m_bySpace.end())
            known = m_bySpace.emplace(pattern.Space, List(pattern.Space)).first;
        const auto found = known->second.find(pattern.Name);
        return found == known->second.end() ? std::string() : found->second;
    }

private:
    std::map<std::string, std::string> List(const std::string &space) const
    {
        namespace fs = std::filesystem;
        std::map<std::string, std::string> byName;
        std::error_code error;
        fs::directory_iterator it(m_folder.empty() ? fs::path(".") : PathFromUtf8(m_folder), error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            const std::string name = Utf8FromPath(it->path().filename());
            if (name.find(' ') == std::string::npos)
                continue; // such a name is found as it stands
            auto [at, added] = byName.try_emplace(ReplaceSpaces(name, space), name);
            if (!added && ByteLess(name, at->second))
                at->second = name;
        }
        return byName;
    }

    static bool ByteLess(const std::string &a, const std::string &b)
    {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
    }

    const std::string m_folder;
    std::map<std::string, std::map<std::string, std::string>> m_bySpace;
};

// The size of the regular file at path, measured without opening it; none
// when it is no regular file or cannot be measured (opening it then tells why).
std::optional<std::int64_t> RegularFileSize(const std::string &path)
{
    // An error for anything but a regular file (after its links).
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), error);
    if (error || size > static_cast<std::uintmax_t>(INT64_MAX))
        return std::nullopt;
    return static_cast<std::int64_t>(size);
}

// One file to hash for one or more links of a batch.
struct TFileJob
{
    std::string Path;
    THashSelection Selection = 0;
    std::vector<const TFoundLink *> Links;
    // Set by the worker that found every link's size other than the file's,
    // which needs no hash: the file's size. Read once the queue has handed
    // the job back.
    std::optional<std::int64_t> SizeWithoutHash;
};

// Checks the links of one batch, hashing up to options.Jobs files at once,
// and reports them in order. False once a stop was asked for.
bool CheckBatch(std::vector<TFoundLink> &links, const TLinkCheckOptions &options, TSpacedIndex &spacedNames,
                const std::function<void(const TLinkCheck &)> &onResult)
{
    std::vector<TLinkCheck> checks(links.size());
    std::vector<std::ptrdiff_t> jobOf(links.size(), -1);
    std::vector<TFileJob> jobs;
    std::map<std::string, std::size_t> jobByPath;
    for (std::size_t i = 0; i < links.size(); ++i) {
        TLinkCheck &check = checks[i];
        check.Link = std::move(links[i]);
        bool refused = false;
        std::vector<TSpacedName> spaced;
        const std::vector<std::string> names = LinkFileCandidates(check.Link.Name, options.NameTexts, &refused, &spaced);
        std::string found;
        for (const std::string &name : names) {
            if (Present(JoinPath(options.Folder, name))) {
                found = name;
                break;
            }
        }
        for (std::size_t k = 0; found.empty() && k < spaced.size(); ++k)
            found = spacedNames.Find(spaced[k]);
        if (found.empty()) {
            // A name that would lead out of the folder is never looked up.
            check.Verdict = names.empty() || refused ? TLinkVerdict::Error : TLinkVerdict::Missing;
            if (check.Verdict == TLinkVerdict::Error)
                check.Detail = ReasonText(TReasonKey::NotPlainFileName);
            continue;
        }
        const std::string path = JoinPath(options.Folder, found);
        if (LeadsOutside(options.Folder, path)) {
            check.Verdict = TLinkVerdict::Error;
            check.Detail = ReasonText(TReasonKey::SymlinkOutside);
            check.Path = path;
            continue;
        }
        const auto [at, added] = jobByPath.try_emplace(path, jobs.size());
        if (added) {
            jobs.emplace_back();
            jobs.back().Path = path;
        }
        jobs[at->second].Selection |= SelectionFor(check.Link);
        jobOf[i] = static_cast<std::ptrdiff_t>(at->second);
    }
    for (std::size_t i = 0; i < checks.size(); ++i) {
        if (jobOf[i] >= 0)
            jobs[static_cast<std::size_t>(jobOf[i])].Links.push_back(&checks[i].Link);
    }

    const auto stopRequested = [&] {
        return (options.Stop && options.Stop->load()) || (options.StopRequested && options.StopRequested());
    };
    THashQueueOptions queueOptions;
    queueOptions.Workers = std::max(1u, options.Jobs);
    queueOptions.Tokens = options.Tokens;
    if (options.OnNewBlock)
        queueOptions.OnChunk = [&options](std::size_t, TDonkeyFile &entry) { options.OnNewBlock(entry); };
    queueOptions.StopFlag = options.Stop;
    THashQueue queue(std::move(queueOptions));
    std::vector<THashQueue::TMake> makes;
    makes.reserve(jobs.size());
    for (TFileJob &job : jobs) {
        makes.push_back([&job, &stopRequested] {
            THashQueueItem item;
            if (stopRequested())
                return item;
            // An ed2k link whose size differs needs no hash (an fs link
            // carries no size): such a file is measured, never opened, so
            // that no descriptor waits with it for its turn to be reported.
            // Every entry made is hashed: one that could not open for want
            // of descriptors opens again when its run begins.
            const bool fileSpree = std::any_of(job.Links.begin(), job.Links.end(), [](const TFoundLink *link) {
                return link->Kind == TFoundLink::TKind::FileSpree;
            });
            const std::optional<std::int64_t> size = fileSpree ? std::nullopt : RegularFileSize(job.Path);
            const bool needsHash = !size || std::any_of(job.Links.begin(), job.Links.end(), [&](const TFoundLink *link) {
                return static_cast<std::int64_t>(link->Size) == *size;
            });
            if (!needsHash) {
                job.SizeWithoutHash = size;
                return item;
            }
            item.Entry = std::make_unique<TDonkeyFile>(job.Path, job.Selection);
            return item;
        });
    }
    queue.Add(std::move(makes));

    // A job is taken at its first link, in job order, and kept until its last.
    std::vector<std::size_t> lastLinkOf(jobs.size());
    for (std::size_t i = 0; i < checks.size(); ++i) {
        if (jobOf[i] >= 0)
            lastLinkOf[static_cast<std::size_t>(jobOf[i])] = i;
    }
    std::map<std::size_t, THashedEntry> kept;
    std::size_t taken = 0;
    bool go = true;
    for (std::size_t i = 0; i < checks.size() && go; ++i) {
        if (jobOf[i] >= 0) {
            const auto index = static_cast<std::size_t>(jobOf[i]);
            if (index == taken) {
                std::optional<THashedEntry> hashed = queue.Take();
                if (!hashed) {
                    go = false; // stopped
                    break;
                }
                kept.emplace(index, std::move(*hashed));
                ++taken;
            }
            if (stopRequested()) {
                go = false;
                break;
            }
            const THashedEntry &hashed = kept.at(index);
            if (hashed.Entry) {
                checks[i] = JudgeLink(checks[i].Link, *hashed.Entry);
            } else if (const std::optional<std::int64_t> size = jobs[index].SizeWithoutHash; size && hashed.Fault.empty()) {
                checks[i].Verdict = TLinkVerdict::Failed;
                checks[i].Detail = ReasonText(TReasonKey::SizeDiffers, {std::to_string(*size)});
                checks[i].Path = jobs[index].Path;
            } else {
                checks[i].Verdict = TLinkVerdict::Error;
                checks[i].Detail = hashed.Fault;
                checks[i].Path = jobs[index].Path;
            }
            if (lastLinkOf[index] == i)
                kept.erase(index);
        }
        onResult(checks[i]);
    }
    if (!go)
        queue.Stop(); // the workers take nothing more; they end with their files
    return go && !stopRequested();
}

} // namespace

std::vector<std::string> LinkFileCandidates(const std::string &linkName, const std::vector<TLinkNameTexts> &texts,
                                            bool *refused, std::vector<TSpacedName> *spaced)
{
    std::vector<std::string> names;
    const auto add = [&](const std::string &name) {
        if (!IsPlainFileName(name)) {
            // Nothing is looked up outside the folder; an empty name is none.
            if (refused && !name.empty())
                *refused = true;
            return;
        }
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    add(linkName);
    for (const TLinkNameTexts &t : texts) {
        // The texts as the decoded link shows them: spaces replaced, then
        // percent-decoded like the name itself.
        const auto shown = [&](const std::string &text) {
            return PercentDecode(t.ReplaceSpaces.empty() ? text : ReplaceSpaces(text, t.ReplaceSpaces));
        };
        const std::string prefix = shown(t.Prefix);
        const std::string suffix = shown(t.Suffix);
        const std::string space = PercentDecode(t.ReplaceSpaces);

        std::string rest = linkName;
        if (!prefix.empty() && rest.starts_with(prefix))
            rest.erase(0, prefix.size());
        std::vector<std::string> stripped;
        if (!suffix.empty()) {
            const std::string extension = ExtractExtension(rest);
            const std::string base = rest.substr(0, rest.size() - extension.size());
            if (base.ends_with(suffix))
                stripped.push_back(base.substr(0, base.size() - suffix.size()) + extension);
            if (!extension.empty() && rest.ends_with(suffix))
                stripped.push_back(rest.substr(0, rest.size() - suffix.size()));
        }
        if (stripped.empty())
            stripped.push_back(rest);
        for (const std::string &name : stripped) {
            const bool replaced = !space.empty() && space != " ";
            if (replaced) {
                add(RestoreSpaces(name, space));
                // Where the name held the replacement itself (a dot, say) as
                // well as spaces, neither form above is the file's name.
                if (spaced && IsPlainFileName(name) && name.find(space) != std::string::npos)
                    spaced->push_back({name, space});
            }
            add(name);
        }
    }
    return names;
}

const char *VerdictText(TLinkVerdict verdict)
{
    switch (verdict) {
    case TLinkVerdict::Ok: return "OK";
    case TLinkVerdict::Failed: return "FAILED";
    case TLinkVerdict::Missing: return "MISSING";
    case TLinkVerdict::Error: break;
    }
    return "ERROR";
}

TLinkCheck JudgeLink(const TFoundLink &link, const TDonkeyFile &entry)
{
    TLinkCheck check{.Link = link, .Verdict = TLinkVerdict::Ok, .Detail = {}, .Path = entry.Path()};
    const TEntrySnapshot file = entry.Snapshot();
    if (file.OpenFailed || !file.Failure.empty()) {
        check.Verdict = TLinkVerdict::Error;
        check.Detail = file.Failure.empty() ? ReasonText(TReasonKey::CannotBeRead) : file.Failure;
        return check;
    }
    std::vector<std::string> differences;
    if (link.Kind == TFoundLink::TKind::FileSpree) {
        if (file.FileSpreeHash != link.Hash)
            differences.push_back(ReasonText(TReasonKey::FileSpreeHashDiffers));
    } else if (static_cast<std::int64_t>(link.Size) != file.Size) {
        differences.push_back(ReasonText(TReasonKey::SizeDiffers, {std::to_string(file.Size)}));
    } else {
        if (file.DonkeyHash != link.Hash)
            differences.push_back(ReasonText(TReasonKey::DonkeyHashDiffers));
        if (!link.Aich.empty() && file.AichHash != link.Aich)
            differences.push_back(ReasonText(TReasonKey::AichHashDiffers));
        if (!link.PartHashes.empty()) {
            if (std::string parts = ComparePartHashes(link.PartHashes, file); !parts.empty())
                differences.push_back(std::move(parts));
        }
    }
    for (const std::string &difference : differences) {
        check.Detail += check.Detail.empty() ? difference : std::string(ReasonListSeparator) + difference;
        check.Verdict = TLinkVerdict::Failed;
    }
    return check;
}

std::string CheckLinkList(const std::string &listPath, const TLinkCheckOptions &options,
                          const std::function<void(const TLinkCheck &)> &onResult)
{
    struct TCloser
    {
        void operator()(std::FILE *file) const { std::fclose(file); }
    };
    errno = 0;
    const std::unique_ptr<std::FILE, TCloser> list(OpenForReading(listPath));
    if (!list)
        return ErrnoText(errno ? errno : ENOENT);

    std::vector<TFoundLink> batch;
    TSpacedIndex spacedNames(options.Folder);
    std::optional<TLinkScanner> scanner;
    // The list's head, kept until it shows whether the list is a page.
    std::string head;
    std::string piece(ReadPiece, '\0');
    TListCharset charset;
    bool going = true;
    while (going) {
        const std::size_t got = std::fread(piece.data(), 1, piece.size(), list.get());
        if (got == 0 && std::ferror(list.get()))
            return ErrnoText(errno ? errno : EIO);
        going = got != 0;
        const std::string decoded = going ? charset.Feed(std::string_view(piece.data(), got)) : charset.Finish();
        std::string_view text = decoded;
        if (!scanner) {
            head.append(text);
            const std::optional<bool> html = SniffHtml(head, !going || head.size() >= MaxHead);
            if (!html)
                continue;
            scanner.emplace([&](const TFoundLink &link) { batch.push_back(link); }, *html);
            text = head;
        }
        if (!text.empty())
            scanner->Feed(text);
        if (!going)
            scanner->Finish();
        head.clear();
        if (!going) {
            if (!batch.empty() && !CheckBatch(batch, options, spacedNames, onResult))
                return {};
        } else if (batch.size() > BatchLinks) {
            // The links at the end that name the same file as the last one
            // wait for the next batch, where their run may go on, so that the
            // file is read once for all of them.
            std::size_t cut = batch.size() - 1;
            while (cut > 0 && batch[cut - 1].Name == batch.back().Name)
                --cut;
            if (cut == 0)
                cut = batch.size();
            std::vector<TFoundLink> waiting(std::make_move_iterator(batch.begin() + static_cast<std::ptrdiff_t>(cut)),
                                            std::make_move_iterator(batch.end()));
            batch.resize(cut);
            if (!CheckBatch(batch, options, spacedNames, onResult))
                return {};
            batch = std::move(waiting);
        }
    }
    return {};
}
