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
    return !m_closing && !m_abort.load() && m_next < m_added && m_next - m_first < std::max<std::size_t>(m_options.Ahead, 1);
}

THashQueue::TItem *THashQueue::ItemAt(std::size_t index)
{
    if (index < m_first || index - m_first >= m_items.size())
        return nullptr;
    return &m_items[index - m_first];
}

std::optional<THashedEntry> THashQueue::TakeFront()
{
    if (m_items.empty() || m_items.front().State != TState::Done)
        return std::nullopt;
    TItem &front = m_items.front();
    THashedEntry taken{.Index = front.Index, .Entry = std::move(front.Entry), .Fault = std::move(front.Fault)};
    const bool wasFull = m_next - m_first >= std::max<std::size_t>(m_options.Ahead, 1);
    m_items.pop_front();
    ++m_first;
    if (wasFull)
        m_workChanged.notify_all(); // a place ahead is free again
    return taken;
}

std::optional<THashedEntry> THashQueue::TryTake()
{
    std::unique_lock lock(m_mutex);
    if (m_live == 0 && !m_items.empty() && m_items.front().State == TState::Waiting) {
        lock.unlock();
        TWorker self;
        self.Held.reserve(1);
        WorkOne(self);
        lock.lock();
    }
    std::optional<THashedEntry> taken = TakeFront();
    if (taken)
        StartWorkerIfNeeded(lock);
    return taken;
}

std::optional<THashedEntry> THashQueue::Take()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (std::optional<THashedEntry> taken = TakeFront()) {
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
    return m_items.size();
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
        if (item.State == TState::Done)
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
    std::int64_t bytes = 0;
    // Only claimed items can have begun: at most Ahead of them.
    const std::size_t claimed = std::min(m_next - m_first, m_items.size());
    for (std::size_t i = 0; i < claimed; ++i) {
        const TItem &item = m_items[i];
        if (item.State == TState::Done && item.Entry) {
            bytes += item.Entry->Size();
        } else if (item.Working) {
            const std::int64_t chunks = item.Working->CurrentChunk();
            bytes += std::min(chunks * DonkeyChunkSize, item.Working->Size());
        }
    }
    return bytes;
}

std::size_t THashQueue::WorkerCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_workers.size();
}

