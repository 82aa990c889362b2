// The workers' side of the queue: they wait for items, claim them in order,
// make their entries, hash them in their lanes (or alone), and hand them
// back to their places.
#include "runs/hashqueue.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "runs/filelanes.h"

// The queue as the source of one worker's lanes.
class THashQueue::TLaneFeeder final : public TLaneSource
{
public:
    TLaneFeeder(THashQueue &queue, TWorker &worker, std::size_t lanes)
        : m_queue(queue)
        , m_worker(worker)
        , m_lanes(lanes)
    {
    }

    TRunEntry *Next(std::size_t free) override
    {
        // The files of the round that ended go back together, before this
        // worker may wait for work.
        m_queue.FinishEnded(m_worker);
        while (std::optional<TClaim> claim = m_queue.Claim(m_worker, free, m_lanes)) {
            bool hash = false;
            TDonkeyFile *entry = m_queue.Make(m_worker, *claim, hash);
            try {
                // A descriptor reads its own format; a file given alone runs
                // faster by itself (on two threads, or its chunks in lanes).
                if (hash && !claim->Alone && entry->HashesContent()) {
                    m_queue.Bind(*entry, claim->Index);
                    return entry;
                }
                if (hash)
                    m_queue.HashAlone(*entry, claim->Index);
            } catch (...) {
                try {
                    if (entry)
                        entry->MarkFailed(DescribeException(std::current_exception()));
                } catch (...) {
                }
            }
            m_queue.Finish(m_worker, claim->Index);
        }
        return nullptr;
    }

    // Handed back with the others of its round, when the lanes next ask for
    // work (or end).
    void Done(TRunEntry &entry) override
    {
        for (const TWorker::THeld &held : m_worker.Held) {
            if (held.Entry && static_cast<TRunEntry *>(held.Entry.get()) == &entry) {
                m_worker.Ended.push_back(held.Index); // reserved: no throw
                return;
            }
        }
    }

    bool WaitForHandles() override
    {
        m_queue.FinishEnded(m_worker);
        return m_queue.WaitForHandles(m_worker);
    }

private:
    THashQueue &m_queue;
    TWorker &m_worker;
    const std::size_t m_lanes;
};

void THashQueue::SetRoomy(TWorker &worker, bool roomy)
{
    if (worker.Roomy == roomy)
        return;
    worker.Roomy = roomy;
    if (roomy)
        ++m_roomy;
    else
        --m_roomy;
}

// Workers are added only when every running one is full (lanes taken, or a
// file of its own) and items wait, and only with a core free for them: the
// lanes of one worker fill before a second one takes files, and a worker that
// could not run at once adds nothing.
void THashQueue::StartWorkerIfNeeded(std::unique_lock<std::mutex> &)
{
    if (m_roomy > 0 || !Claimable() || m_live - m_retiring >= std::max(1u, m_options.Workers))
        return;
    // The first worker waits for its token as it starts; the others start
    // only with one in hand.
    const bool tokenTaken = m_options.Tokens && m_live > 0;
    if (tokenTaken && !m_options.Tokens->TryAcquire())
        return;
    try {
        m_workers.push_back(std::make_unique<TWorker>());
    } catch (...) {
        if (tokenTaken)
            m_options.Tokens->Release();
        return;
    }
    TWorker &worker = *m_workers.back();
    SetRoomy(worker, true);
    ++m_live;
    try {
        auto body = [this, &worker, tokenTaken] { Work(worker, tokenTaken); };
        worker.Thread = m_starter ? m_starter->Start(body) : std::thread(body);
    } catch (...) {
        // Those made do the work; with none, the front end's thread does.
        SetRoomy(worker, false);
        --m_live;
        m_workers.pop_back();
        if (tokenTaken)
            m_options.Tokens->Release();
    }
}

void THashQueue::Work(TWorker &worker, bool tokenTaken)
{
    try {
        TWorkerToken token(m_options.Tokens, tokenTaken);
        if (m_options.PriorityLevel) {
            worker.Level = ClampPriorityLevel(m_options.PriorityLevel());
            ApplyPriorityLevel(worker.Level);
        }
        // Room for every item it may hold, taken once.
        worker.Reserve(m_options.Lanes ? LaneCount() : 1);
        while (WaitForWork(worker, token)) {
            try {
                if (m_options.Lanes)
                    WorkInLanes(worker);
                else
                    WorkAlone(worker);
            } catch (...) {
                // Whatever escaped the runs fails the items this worker
                // holds, each with the reason, never the program.
                FailHeld(worker, DescribeException(std::current_exception()));
            }
        }
    } catch (...) {
        // Only setting up or waiting could throw (no memory for its room, a
        // lock the system refused): the worker ends, the others go on, and
        // with none left the front end's thread hashes the items.
    }
    {
        std::unique_lock lock(m_mutex);
        SetRoomy(worker, false);
        --m_live;
        if (worker.Retiring) {
            // Its token is back: a worker of the level asked for takes over.
            --m_retiring;
            StartWorkerIfNeeded(lock);
        }
    }
    m_resultChanged.notify_all();
}

// A worker waiting for items lets its token go: another's lanes may take it
// for their second thread meanwhile.
bool THashQueue::WaitForWork(TWorker &worker, TWorkerToken &token)
{
    std::unique_lock lock(m_mutex);
    if (worker.Retiring)
        return false;
    SetRoomy(worker, true);
    if (!m_closing && !Claimable()) {
        lock.unlock();
        token.LetGo();
        lock.lock();
        m_workChanged.wait(lock, [&] { return m_closing || Claimable(); });
    }
    if (m_closing)
        return false;
    lock.unlock();
    token.Take();
    return true;
}

std::optional<THashQueue::TClaim> THashQueue::Claim(TWorker &worker, std::size_t freeLanes, std::size_t lanes)
{
    const bool otherLevel = worker.Level >= 0 && ClampPriorityLevel(m_options.PriorityLevel()) != worker.Level;
    std::unique_lock lock(m_mutex);
    if (otherLevel && !worker.Retiring) {
        worker.Retiring = true;
        ++m_retiring;
    }
    if (worker.Retiring) {
        SetRoomy(worker, false);
        StartWorkerIfNeeded(lock);
        return std::nullopt;
    }
    SetRoomy(worker, true);
    if (!Claimable() || worker.Held.size() == worker.Held.capacity())
        return std::nullopt;
    TItem &item = *ItemAt(m_next);
    TClaim claim{.Index = m_next, .Make = std::move(item.Make), .Alone = freeLanes == lanes && m_next + 1 == m_added};
    item.State = TState::Working;
    ++m_next;
    ++m_working;
    ++m_claimed;
    worker.Held.push_back({.Index = claim.Index}); // reserved: no throw
    if (freeLanes <= 1 || claim.Alone) {
        SetRoomy(worker, false);
        StartWorkerIfNeeded(lock);
    }
    return claim;
}

TDonkeyFile *THashQueue::Make(TWorker &worker, TClaim &claim, bool &hash)
{
    TWorker::THeld &held = *worker.HeldAt(claim.Index);
    hash = false;
    try {
        THashQueueItem item = claim.Make();
        held.Entry = std::move(item.Entry);
        hash = item.Hash && held.Entry;
    } catch (...) {
        held.Fault = DescribeException(std::current_exception());
    }
    claim.Make = nullptr;
    if (held.Entry) {
        const std::lock_guard lock(m_mutex);
        if (TItem *item = ItemAt(claim.Index))
            item->Working = held.Entry.get();
    }
    return held.Entry.get();
}

void THashQueue::Bind(TDonkeyFile &entry, std::size_t index)
{
    entry.OnNewBlock = nullptr;
    if (m_options.OnChunk)
        entry.OnNewBlock = [this, index](TDonkeyFile &e) { m_options.OnChunk(index, e); };
}

void THashQueue::HashAlone(TDonkeyFile &entry, std::size_t index)
{
    Bind(entry, index);
    // The queue's own options serve this run only: the entry outlives the
    // queue (a window hashes it again on a refresh), and its stop flag with it.
    THashOptions before = entry.HashOptions;
    entry.HashOptions.HelperTokens = m_options.Tokens;
    entry.HashOptions.Stop = &m_abort;
    try {
        entry.HashFile();
    } catch (...) {
        // HashFile has marked the entry failed with the reason.
    }
    entry.HashOptions = std::move(before);
}

void THashQueue::Finish(TWorker &worker, std::size_t index)
{
    worker.Ended.push_back(index); // reserved: no throw
    FinishEnded(worker);
}

void THashQueue::FinishEnded(TWorker &worker)
{
    if (worker.Ended.empty())
        return;
    for (const std::size_t index : worker.Ended) {
        TWorker::THeld &held = *worker.HeldAt(index);
        // The binding to this queue served the item's run only: the entry may
        // outlive the queue, and every way back passes here.
        if (held.Entry)
            held.Entry->OnNewBlock = nullptr;
        held.Bytes = held.Entry ? held.Entry->Size() : 0;
    }
    bool ready = false;
    bool idle = false;
    {
        const std::lock_guard lock(m_mutex);
        for (const std::size_t index : worker.Ended) {
            TWorker::THeld *held = worker.HeldAt(index);
            --m_working;
            ++m_finished;
            if (index < m_dropBelow) {
                // Dropped by a Stop while it was under way.
                worker.Dropped.push_back(std::move(held->Entry)); // reserved: no throw
                if (--m_droppedWorking == 0) {
                    m_abort = false;
                    idle = true;
                    m_workChanged.notify_all();
                }
            } else {
                TItem &item = *ItemAt(index);
                item.State = TState::Done;
                item.Working = nullptr;
                item.Entry = std::move(held->Entry);
                item.Fault = std::move(held->Fault);
                item.Bytes = held->Bytes;
                m_doneBytes += held->Bytes;
                if (m_options.InOrder) {
                    ready = ready || index == m_first;
                } else {
                    if (m_readyLast == NoIndex)
                        m_readyFirst = index;
                    else
                        ItemAt(m_readyLast)->NextReady = index;
                    m_readyLast = index;
                    ready = true;
                }
            }
            if (held != &worker.Held.back())
                *held = std::move(worker.Held.back());
            worker.Held.pop_back();
        }
        if (m_handleWaiters > 0)
            m_workChanged.notify_all();
    }
    worker.Ended.clear();
    // In order, Take waits for the first item only.
    if (ready)
        m_resultChanged.notify_all();
    worker.Dropped.clear();
    if ((ready || idle) && m_options.OnReady) {
        try {
            m_options.OnReady();
        } catch (...) {
            // The front end's own failure: the item stays ready for TryTake.
        }
    }
}

bool THashQueue::WorkOne(TWorker &worker)
{
    std::optional<TClaim> claim = Claim(worker, 1, 1);
    if (!claim)
        return false;
    bool hash = false;
    if (TDonkeyFile *entry = Make(worker, *claim, hash); hash)
        HashAlone(*entry, claim->Index);
    Finish(worker, claim->Index);
    return true;
}

void THashQueue::WorkAlone(TWorker &worker)
{
    while (WorkOne(worker)) {
    }
}

std::size_t THashQueue::LaneCount() const
{
    const TLaneHashOptions &options = m_options.LaneOptions;
    return options.MaxFiles ? options.MaxFiles
                            : static_cast<std::size_t>(TLaneManager(TLaneAlgorithm::MD5, options.Engine).Lanes());
}

void THashQueue::WorkInLanes(TWorker &worker)
{
    TLaneHashOptions options = m_options.LaneOptions;
    options.Stop = &m_abort;
    options.HelperTokens = m_options.Tokens;
    options.MaxFiles = LaneCount();
    TLaneFeeder feeder(*this, worker, options.MaxFiles);
    try {
        HashEntriesInLanes(feeder, options);
        FinishEnded(worker);
    } catch (...) {
        FinishEnded(worker);
        // The lanes could not be set up (short of memory) before they took a
        // file: this worker hashes its files one at a time instead.
        if (!worker.Held.empty())
            throw;
        WorkAlone(worker);
    }
}

bool THashQueue::WaitForHandles(TWorker &worker)
{
    std::unique_lock lock(m_mutex);
    const std::size_t mine = worker.Held.size();
    const std::size_t seen = m_finished;
    const auto pointless = [&] { return m_closing || m_abort.load() || m_working <= mine; };
    if (pointless())
        return false;
    ++m_handleWaiters;
    m_workChanged.wait(lock, [&] { return m_finished != seen || pointless(); });
    --m_handleWaiters;
    return !m_closing && !m_abort.load();
}

void THashQueue::FailHeld(TWorker &worker, const std::string &reason)
{
    while (!worker.Held.empty()) {
        TWorker::THeld &held = worker.Held.back();
        try {
            if (held.Entry)
                held.Entry->MarkFailed(reason);
            else
                held.Fault = reason;
        } catch (...) {
        }
        Finish(worker, held.Index);
    }
}
