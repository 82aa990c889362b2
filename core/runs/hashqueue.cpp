// The front end's side of the queue: items added, taken in order, dropped
// by Stop, and what the front end may ask meanwhile.
#include "runs/hashqueue.h"

#include "digests/ed2k.h"

#include <algorithm>
#include <chrono>
#include <utility>

THashQueue::THashQueue(THashQueueOptions options)
    : m_options(std::move(options))
{
    if (!m_options.PriorityLevel)
        return;
    try {
        m_starter = std::make_unique<TThreadStarter>();
    } catch (...) {
        // No thread for it: the workers start each other, as without levels.
    }
}

THashQueue::~THashQueue()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    Stop();
    for (const auto &worker : m_workers)
        worker->Thread.join();
}

std::size_t THashQueue::Add(TMake make)
{
    std::vector<TMake> one;
    one.push_back(std::move(make));
    return Add(std::move(one));
}

std::size_t THashQueue::Add(std::vector<TMake> makes)
{
    std::unique_lock lock(m_mutex);
    const std::size_t first = m_added;
    for (TMake &make : makes) {
        m_items.push_back(TItem{.Index = m_added, .Make = std::move(make)});
        ++m_added;
    }
    m_workChanged.notify_all();
    StartWorkerIfNeeded(lock);
    const bool noWorker = m_live == 0;
    lock.unlock();
    // No thread could be had: the front end takes the items, and hashes them
    // itself as it does.
    if (noWorker && m_options.OnReady)
        m_options.OnReady();
    return first;
}

bool THashQueue::Claimable() const
{
    return !m_closing && !m_abort.load() && m_next < m_added && m_claimed < std::max<std::size_t>(m_options.Ahead, 1);
}

THashQueue::TItem *THashQueue::ItemAt(std::size_t index)
{
    if (index < m_first || index - m_first >= m_items.size())
        return nullptr;
    return &m_items[index - m_first];
}

const THashQueue::TItem *THashQueue::ItemAt(std::size_t index) const
{
    return const_cast<THashQueue *>(this)->ItemAt(index);
}

bool THashQueue::ReadyToTake() const
{
    if (m_options.InOrder)
        return !m_items.empty() && m_items.front().State == TState::Done;
    return m_readyFirst != NoIndex;
}

std::optional<THashedEntry> THashQueue::TakeReady()
{
    if (!ReadyToTake())
        return std::nullopt;
    TItem *item = &m_items.front();
    if (!m_options.InOrder) {
        item = ItemAt(m_readyFirst);
        m_readyFirst = item->NextReady;
        if (m_readyFirst == NoIndex)
            m_readyLast = NoIndex;
    }
    THashedEntry taken{.Index = item->Index, .Entry = std::move(item->Entry), .Fault = std::move(item->Fault)};
    item->Fault = {};
    item->State = TState::Taken;
    m_doneBytes -= item->Bytes;
    const bool wasFull = m_claimed >= std::max<std::size_t>(m_options.Ahead, 1);
    --m_claimed;
    ++m_taken;
    // What was taken before the first item not taken leaves the queue.
    while (!m_items.empty() && m_items.front().State == TState::Taken) {
        m_items.pop_front();
        ++m_first;
        --m_taken;
    }
    if (wasFull)
        m_workChanged.notify_all(); // a place ahead is free again
    return taken;
}

std::optional<THashedEntry> THashQueue::TryTake()
{
    std::unique_lock lock(m_mutex);
    if (m_live == 0 && !ReadyToTake() && !m_items.empty() && (m_options.InOrder ? m_items.front().State == TState::Waiting : Claimable())) {
        lock.unlock();
        TWorker self;
        self.Reserve(1);
        WorkOne(self);
        lock.lock();
    }
    std::optional<THashedEntry> taken = TakeReady();
    if (taken)
        StartWorkerIfNeeded(lock);
    return taken;
}

std::optional<THashedEntry> THashQueue::Take()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (std::optional<THashedEntry> taken = TakeReady()) {
            StartWorkerIfNeeded(lock);
            return taken;
        }
        if (m_items.empty())
            return std::nullopt;
        if (m_live == 0) {
            lock.unlock();
            if (std::optional<THashedEntry> taken = TryTake())
                return taken;
            lock.lock();
            continue;
        }
        if (!m_options.StopFlag) {
            m_resultChanged.wait(lock);
            continue;
        }
        m_resultChanged.wait_for(lock, std::chrono::milliseconds(50));
        if (m_options.StopFlag->load()) {
            lock.unlock();
            Stop();
            lock.lock();
        }
    }
}

void THashQueue::Stop()
{
    std::deque<TItem> dropped;
    {
        const std::lock_guard lock(m_mutex);
        dropped.swap(m_items);
        m_first = m_next = m_dropBelow = m_added;
        m_claimed = m_taken = 0;
        m_doneBytes = 0;
        m_readyFirst = m_readyLast = NoIndex;
        m_droppedWorking = m_working;
        if (m_droppedWorking > 0)
            m_abort = true;
    }
    m_workChanged.notify_all();
    m_resultChanged.notify_all();
    // The entries made and not taken go here, outside the lock.
}

std::size_t THashQueue::Pending() const
{
    const std::lock_guard lock(m_mutex);
    return m_items.size() - m_taken;
}

bool THashQueue::Busy() const
{
    const std::lock_guard lock(m_mutex);
    return !m_items.empty() || m_droppedWorking > 0;
}

std::optional<THashQueueProgress> THashQueue::Progress() const
{
    const std::lock_guard lock(m_mutex);
    for (const TItem &item : m_items) {
        if (item.State == TState::Done || item.State == TState::Taken)
            continue;
        THashQueueProgress progress{.Index = item.Index};
        if (item.Working) {
            progress.Chunk = item.Working->CurrentChunk();
            progress.Chunks = item.Working->ChunkCount();
        }
        return progress;
    }
    return std::nullopt;
}

std::int64_t THashQueue::HashedBytes() const
{
    const std::lock_guard lock(m_mutex);
    std::int64_t bytes = m_doneBytes;
    // The items under way are those the workers hold (a dropped one is no
    // longer in the queue).
    for (const auto &worker : m_workers) {
        for (const TWorker::THeld &held : worker->Held) {
            const TItem *item = ItemAt(held.Index);
            if (item && item->Working) {
                const std::int64_t chunks = item->Working->CurrentChunk();
                bytes += std::min(chunks * DonkeyChunkSize, item->Working->Size());
            }
        }
    }
    return bytes;
}

std::size_t THashQueue::WorkerCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_workers.size();
}

