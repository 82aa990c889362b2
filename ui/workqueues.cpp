// The work controller's queues: paths in (each made into its entry on a
// worker, with the settings of that moment), entries out as they are ready.
#include "workcontroller.h"
#include "workcontroller_p.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

#include "entries/partfile.h"
#include "input/walkfeed.h"
#include "runs/hashqueue.h"
#include "runs/thread.h"

using namespace workcontroller;

std::vector<TWorkController::TPath> TWorkController::Unmeasured(std::vector<std::string> paths)
{
    std::vector<TPath> unmeasured;
    unmeasured.reserve(paths.size());
    for (std::string &path : paths)
        unmeasured.push_back({std::move(path)});
    return unmeasured;
}

void TWorkController::AddFiles(std::vector<std::string> paths)
{
    QueuePaths(m_files, Unmeasured(std::move(paths)));
}

void TWorkController::AddDescriptors(std::vector<std::string> paths)
{
    QueuePaths(m_parts, Unmeasured(std::move(paths)));
}

// --- Paths into the queues --------------------------------------------------

void TWorkController::QueuePaths(TWork &work, std::vector<TPath> paths, bool measure)
{
    // Entries made from here on take the settings as they stand now.
    m_newEntries->Set(m_settings);
    if (paths.empty())
        return;
    if (work.PlainFiles) {
        m_notHashed.reset();
        for (const TPath &path : paths) {
            if (path.Size >= 0)
                m_run.WaitingBytes += path.Size;
            else
                ++m_run.Unmeasured;
        }
    }
    if (work.Refresh)
        work.Held.insert(work.Held.end(), std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
    else
        GiveToQueue(work, std::move(paths), measure);
    Changed();
}

std::unique_ptr<THashQueue> TWorkController::MakeQueue(TWork &work)
{
    THashQueueOptions options;
    // The list is sorted by name: each entry joins it as it is ready.
    options.InOrder = false;
    // Enough done entries may wait between two handovers for the workers
    // never to stop for want of room while the list takes them.
    options.Ahead = ReadyAhead;
    if (work.PlainFiles) {
        options.Workers = std::max(1u, std::thread::hardware_concurrency());
        options.Tokens = m_cores;
    } else {
        // Descriptors are small reads of their own format, one at a time, and
        // never wait for the cores the plain files hold.
        options.Workers = 1;
        options.Lanes = false;
    }
    // The workers take the priority of the settings as they start: a level
    // changed meanwhile applies to the files they claim after it.
    options.PriorityLevel = [settings = m_newEntries] { return settings->Get()->ThreadPriority; };
    // Many ready entries make one step: the flag stays set until it runs.
    options.OnReady = [this, &work, posted = work.ReadyPosted] {
        if (posted->exchange(true))
            return;
        try {
            m_dispatcher->Post([this, &work] { TakeReady(work); });
        } catch (...) {
            posted->store(false);
            throw;
        }
    };
    return std::make_unique<THashQueue>(std::move(options));
}

void TWorkController::GiveToQueue(TWork &work, std::vector<TPath> paths, bool measure)
{
    if (paths.empty())
        return;
    // An idle queue is made anew, so that its workers start from the
    // priority of the settings as they stand now.
    if (!work.Queue || !work.Queue->Busy()) {
        work.Queue = MakeQueue(work);
        ++work.QueueNumber;
        work.Given.clear();
    }
    std::vector<THashQueue::TMake> makes;
    makes.reserve(paths.size());
    const bool descriptors = !work.PlainFiles;
    for (const TPath &path : paths) {
        makes.push_back([path = path.Path, listed = path.Listed, descriptors, settings = m_newEntries] {
            const std::shared_ptr<const TNewEntrySettings::TValues> values = settings->Get();
            const TNewEntrySettings::TValues &now = *values;
            // A descriptor shows the AICH root it records where the settings
            // ask plain files to compute theirs.
            if (descriptors)
                return THashQueueItem{std::make_unique<TPartFile>(path, now.ActiveHashes)};
            return THashQueueItem{std::make_unique<TDonkeyFile>(path, now.ReplaceSpaceStr, now.NameSuffix,
                                                                now.NamePrefix, now.ActiveHashes, listed)};
        });
    }
    const std::size_t first = work.Queue->Add(std::move(makes));
    if (work.Given.empty())
        work.FirstGiven = first;
    // The plain files not yet measured are measured off this thread, for the
    // bytes of the progress line.
    std::vector<std::string> unmeasured;
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (measure && work.PlainFiles && paths[i].Size < 0) {
            unmeasured.push_back(paths[i].Path);
            indexes.push_back(first + i);
        }
        work.Given.push_back({std::move(paths[i].Path), paths[i].Size});
    }
    Measure(std::move(unmeasured), std::move(indexes));
}

TWorkController::TGiven *TWorkController::GivenAt(TWork &work, std::size_t index)
{
    if (index < work.FirstGiven || index - work.FirstGiven >= work.Given.size())
        return nullptr;
    TGiven &given = work.Given[index - work.FirstGiven];
    return given.Taken ? nullptr : &given;
}

void TWorkController::Forget(TWork &work, const TGiven &given)
{
    if (!work.PlainFiles)
        return;
    if (given.Size >= 0)
        m_run.WaitingBytes -= given.Size;
    else if (m_run.Unmeasured > 0)
        --m_run.Unmeasured;
}

// --- Entries out -------------------------------------------------------------

void TWorkController::PostTakeReady(TWork &work)
{
    if (work.ReadyPosted->exchange(true))
        return;
    try {
        m_dispatcher->Post([this, &work] { TakeReady(work); });
    } catch (...) {
        work.ReadyPosted->store(false); // the tick takes them
    }
}

void TWorkController::TakeReady(TWork &work, bool all)
{
    if (!work.Queue) {
        work.ReadyPosted->store(false);
        return;
    }
    // Too soon: the timer takes them, and the workers post nothing meanwhile.
    if (!all && m_handedOver.isValid() && m_handedOver.elapsed() < HandoverMs) {
        work.ReadyPosted->store(true);
        if (!m_handover->isActive())
            m_handover->start(static_cast<int>(HandoverMs - m_handedOver.elapsed()));
        return;
    }
    work.ReadyPosted->store(false);
    QElapsedTimer spent;
    spent.start();
    TEntryBatch batch;
    std::vector<TPathFault> faults;
    int moreFaults = 0;
    bool taken = false;
    while (std::optional<THashedEntry> done = work.Queue->TryTake()) {
        taken = true;
        std::string path;
        if (TGiven *given = GivenAt(work, done->Index)) {
            Forget(work, *given);
            path = std::move(given->Path);
            given->Path = {};
            given->Taken = true;
            while (!work.Given.empty() && work.Given.front().Taken) {
                work.Given.pop_front();
                ++work.FirstGiven;
            }
        }
        if (work.PlainFiles) {
            ++m_run.DoneFiles;
            m_run.DoneBytes += done->Entry ? done->Entry->Size() : 0;
        }
        if (done->Entry)
            batch.Entries.push_back(std::move(done->Entry));
        else if (faults.size() < FaultsShown)
            faults.push_back({std::move(path), std::move(done->Fault)});
        else
            ++moreFaults;
        // The rest in a step of its own, after what waits meanwhile (a
        // repaint, the user's input).
        if (!all && (spent.elapsed() >= SliceMs || batch.Entries.size() >= SliceEntries)) {
            PostTakeReady(work);
            break;
        }
    }
    if (!batch.Entries.empty()) {
        m_handedOver.start();
        emit EntriesReady(batch);
    }
    if (!faults.empty())
        emit EntriesFailed(faults, moreFaults);
    if (taken) {
        // Room for more of the walks.
        if (work.PlainFiles)
            TakeFeed();
        Changed();
    }
}

