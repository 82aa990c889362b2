// brackwell-cli's runs: the queue fed with the paths, the lines printed in
// the order given, the failures on stderr.
#include "run.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "entries/partfile.h"
#include "input/walk.h"
#include "links/links.h"
#include "output.h"
#include "progress.h"
#include "runs/hashqueue.h"
#include "runs/tokens.h"
#include "system.h"

namespace {

struct TJob
{
    std::string path;
    std::unique_ptr<TDonkeyFile> entry;
    // Why the entry could not even be made; empty when it was.
    std::string fault;
    // A path the walk of a folder met and did not hash (a FIFO, a folder it
    // could not read): why, said in its turn on stderr; and whether it counts
    // as a failure.
    std::string skipped;
    bool skipFailed = false;
    TListedAs listed = TListedAs::Unknown;
};

std::unique_ptr<TDonkeyFile> MakeEntry(const TOptions &options, const std::string &path,
                                       TListedAs listed = TListedAs::Unknown)
{
    const bool partMet = options.partMode == TPartMode::Always
                         || (options.partMode == TPartMode::ByName && IsPartMetPath(path));
    if (partMet)
        return std::make_unique<TPartFile>(path, options.selection);
    return std::make_unique<TDonkeyFile>(path, options.replaceSpaces, options.suffix, options.prefix,
                                         options.selection, listed);
}

// The paths given, with -r a folder standing for the files of its walk, in
// the walk's order.
std::vector<TJob> JobsOf(const TOptions &options)
{
    std::vector<TJob> jobs;
    for (const std::string &path : options.paths) {
        if (!options.recursive) {
            jobs.emplace_back().path = path;
            continue;
        }
        WalkPath(path, [&](const TWalkItem &item) {
            TJob &job = jobs.emplace_back();
            job.path = item.Path;
            job.listed = item.Listed;
            if (item.Kind != TWalkItem::TKind::File) {
                job.skipped = item.Reason;
                job.skipFailed = item.Kind == TWalkItem::TKind::Failed;
            }
        });
    }
    return jobs;
}

void PrintFailure(const std::string &path, const std::string &reason)
{
    std::fprintf(stderr, "%s: %s: %s\n", Program, EscapeControlBytes(path).c_str(), EscapeControlBytes(reason).c_str());
}

} // namespace

int RunHashing(const TOptions &options, const TRunContext &context)
{
    std::vector<TJob> jobs = JobsOf(options);

    // Workers hash the paths, several plain files at once in each one's lanes,
    // and hand them back; this thread prints in the order given. An entry is
    // made only when its turn comes, so that no more files are open than are
    // being hashed. Whatever making one throws (memory running out) is that
    // path's failure alone.
    THashQueueOptions queueOptions;
    queueOptions.Workers = options.jobs ? options.jobs : context.Cores;
    queueOptions.Tokens = context.Tokens;
    TProgressLine &progress = context.Progress;
    queueOptions.OnChunk = [&progress](std::size_t, TDonkeyFile &e) { progress.Step(e); };
    THashQueue queue(std::move(queueOptions));
    {
        std::vector<THashQueue::TMake> makes;
        makes.reserve(jobs.size());
        for (const TJob &job : jobs) {
            if (job.skipped.empty())
                makes.push_back([&options, &job] { return THashQueueItem{MakeEntry(options, job.path, job.listed)}; });
        }
        queue.Add(std::move(makes));
    }

    TOutput out;
    int status = 0;
    const auto outputLost = [&] {
        queue.Stop(); // no more work for a run whose output is lost
        status = 1;
    };
    const bool exporting = options.exportRequest.File.has_value();
    std::vector<std::unique_ptr<TDonkeyFile>> exported;
    for (TJob &job : jobs) {
        if (job.skipped.empty()) {
            std::optional<THashedEntry> hashed = queue.Take();
            if (!hashed)
                break; // stopped: the output is lost
            job.entry = std::move(hashed->Entry);
            job.fault = std::move(hashed->Fault);
        }
        progress.Clear();
        if (!job.skipped.empty()) {
            if (!out.Flush()) {
                outputLost();
                break;
            }
            PrintFailure(job.path, job.skipped);
            if (job.skipFailed)
                status = 1;
            continue;
        }
        std::string reason = job.fault;
        if (!job.entry) {
            // Made again here, only to report the path as failed.
            try {
                job.entry = MakeEntry(options, job.path);
                job.entry->MarkFailed(job.fault);
            } catch (...) {
            }
        }
        if (job.entry) {
            std::string line;
            try {
                const TEntrySnapshot shown = job.entry->Snapshot();
                reason = FailureOf(shown);
                if (reason.empty())
                    reason = shown.Warning;
                if (!exporting)
                    line = options.format->Line({job.path, *job.entry, shown, options.aich, options.partHashes}) + "\n";
            } catch (...) {
                reason = DescribeException(std::current_exception());
            }
            if (!out.Write(line)) {
                outputLost();
                break;
            }
        }
        if (!reason.empty()) {
            status = 1;
            if (!out.Flush()) {
                outputLost();
                break;
            }
            PrintFailure(job.path, reason);
        }
        if (exporting && job.entry)
            exported.push_back(std::move(job.entry));
        job.entry.reset();
    }
    if (exporting && !ExportEntries(options.exportRequest, exported, OwnPath()))
        status = 1;
    if (!out.Close())
        outputLost();
    return status;
}

int RunChecking(const TOptions &options, const TRunContext &context)
{
    TCheckRequest request;
    request.Lists = options.paths;
    request.Folder = options.checkFolder;
    request.Texts = {{options.prefix, options.suffix, options.replaceSpaces}};
    if (!(options.storedTexts == request.Texts.front()))
        request.Texts.push_back(options.storedTexts);
    request.Jobs = options.jobs ? options.jobs : context.Cores;
    request.Tokens = context.Tokens;
    TProgressLine &progress = context.Progress;
    request.OnNewBlock = [&progress](TDonkeyFile &e) { progress.Step(e); };
    request.ClearProgress = [&progress] { progress.Clear(); };
    return RunCheck(request);
}
