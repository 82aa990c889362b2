#include "runs/hashqueue.h"

#include <algorithm>
#include <map>
#include <new>
#include <system_error>
#include <tuple>
#include <utility>

namespace {

// Holds one of the tokens, if there are any, while it lives and is not let go.
class TWorkerToken final
{
public:
    explicit TWorkerToken(const std::shared_ptr<TCoreTokens> &tokens)
        : m_tokens(tokens)
    {
        Take();
    }
    ~TWorkerToken() { LetGo(); }
    TWorkerToken(const TWorkerToken &) = delete;
    TWorkerToken &operator=(const TWorkerToken &) = delete;

    void Take()
    {
        if (m_tokens && !m_held)
            m_tokens->Acquire();
        m_held = true;
    }
    void LetGo()
    {
        if (m_tokens && m_held)
            m_tokens->Release();
        m_held = false;
    }

private:
    std::shared_ptr<TCoreTokens> m_tokens;
    bool m_held = false;
};

} // namespace

THashQueue::THashQueue(std::size_t count, TMake make, THashQueueOptions options)
    : m_count(count)
    , m_make(std::move(make))
    , m_options(std::move(options))
    , m_lanes(m_options.Lanes && count > 1)
    , m_workerCount(std::min<std::size_t>(std::max(1u, m_options.Workers), count))
    , m_slots(std::clamp<std::size_t>(m_options.Ahead, 1, std::max<std::size_t>(count, 1)))
{
    try {
        for (std::size_t w = 0; w < m_workerCount; ++w)
            m_workers.emplace_back([this] { m_lanes ? WorkInLanes() : Work(); });
    } catch (const std::system_error &) {
        // Those made do the work; with none, Take does it item by item.
    }
}

THashQueue::~THashQueue()
{
    Stop();
}

void THashQueue::Stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_abort = true;
    m_changed.notify_all();
}

std::optional<std::size_t> THashQueue::Claim(bool mayWait)
{
    std::unique_lock lock(m_mutex);
    const auto open = [&] { return m_next < m_taken + m_slots.size(); };
    if (mayWait)
        m_changed.wait(lock, [&] { return m_stopped || m_next >= m_count || open(); });
    if (m_stopped || m_next >= m_count || !open())
        return std::nullopt;
    TSlot &slot = SlotOf(m_next);
    slot.Index = m_next;
    slot.Claimed = true;
    slot.Done.reset();
    return m_next++;
}

THashedEntry THashQueue::Make(std::size_t index, bool &hash)
{
    THashedEntry made;
    hash = false;
    try {
        THashQueueItem item = m_make(index);
        made.Entry = std::move(item.Entry);
        hash = item.Hash && made.Entry;
    } catch (...) {
        made.Fault = DescribeException(std::current_exception());
    }
    return made;
}

void THashQueue::HashAlone(TDonkeyFile &entry)
{
    entry.HashOptions.HelperTokens = m_options.Tokens;
    entry.OnNewBlock = m_options.OnNewBlock;
    try {
        entry.HashFile();
    } catch (...) {
        // HashFile has marked the entry failed with the reason.
    }
    entry.OnNewBlock = nullptr;
}

void THashQueue::Finish(std::size_t index, THashedEntry hashed)
{
    {
        const std::lock_guard lock(m_mutex);
        // An item the caller skipped may have left its slot to a later one.
        TSlot &slot = SlotOf(index);
        if (slot.Claimed && slot.Index == index)
            slot.Done = std::move(hashed);
    }
    m_changed.notify_all();
}

void THashQueue::Work()
{
    const TWorkerToken token(m_options.Tokens);
    WorkAlone();
}

void THashQueue::WorkAlone()
{
    while (const std::optional<std::size_t> index = Claim(true)) {
        bool hash = false;
        THashedEntry made = Make(*index, hash);
        if (hash)
            HashAlone(*made.Entry);
        Finish(*index, std::move(made));
    }
}

void THashQueue::WorkInLanes()
{
    TWorkerToken token(m_options.Tokens);
    TLaneHashOptions laneOptions = m_options.LaneOptions;
    laneOptions.Stop = &m_abort;
    laneOptions.HelperTokens = m_options.Tokens;
    if (laneOptions.MaxFiles == 0) {
        // An even share of the files for each worker, up to the lanes' width:
        // three large files on two workers are not all taken by the first.
        const std::size_t workers = m_workerCount;
        const std::size_t lanes = static_cast<std::size_t>(TLaneManager(TLaneAlgorithm::MD5, laneOptions.Engine).Lanes());
        laneOptions.MaxFiles = std::clamp<std::size_t>((m_count + workers - 1) / workers, 1, lanes);
    }
    // The entries in this worker's lanes, with their items.
    std::map<const TDonkeyFile *, std::pair<std::size_t, std::unique_ptr<TDonkeyFile>>> inLanes;
    const auto next = [&](bool mayWait) -> TDonkeyFile * {
        for (;;) {
            // A worker that waits for its next item holds no core meanwhile:
            // another's lanes may take it for their second thread.
            if (mayWait)
                token.LetGo();
            const std::optional<std::size_t> index = Claim(mayWait);
            if (!index)
                return nullptr;
            token.Take();
            bool hash = false;
            THashedEntry made = Make(*index, hash);
            if (hash && made.Entry->HashesContent()) {
                TDonkeyFile *entry = made.Entry.get();
                try {
                    // The entry moves only into a node already allocated:
                    // until then it is still made's.
                    inLanes.emplace(std::piecewise_construct, std::forward_as_tuple(entry),
                                    std::forward_as_tuple(*index, std::move(made.Entry)));
                    entry->OnNewBlock = m_options.OnNewBlock;
                    return entry;
                } catch (const std::bad_alloc &) {
                    // No room to keep it for the lanes: it is hashed alone.
                }
            }
            if (hash)
                HashAlone(*made.Entry);
            Finish(*index, std::move(made));
        }
    };
    const auto done = [&](TDonkeyFile &entry) {
        auto node = inLanes.extract(&entry);
        entry.OnNewBlock = nullptr;
        THashedEntry hashed;
        hashed.Entry = std::move(node.mapped().second);
        Finish(node.mapped().first, std::move(hashed));
    };
    try {
        HashEntriesInLanes(next, done, laneOptions);
    } catch (...) {
        // The lanes could not be set up (short of memory) before they took a
        // file: this worker hashes its files one at a time instead.
        if (!inLanes.empty())
            throw;
        WorkAlone();
    }
}

THashedEntry THashQueue::Take(std::size_t index)
{
    if (m_workers.empty()) {
        // No thread could be had: this one makes and hashes the item itself.
        bool hash = false;
        THashedEntry made = Make(index, hash);
        if (hash)
            HashAlone(*made.Entry);
        return made;
    }
    std::unique_lock lock(m_mutex);
    // Items skipped by the caller are dropped.
    for (; m_taken < index; ++m_taken) {
        TSlot &skipped = SlotOf(m_taken);
        if (skipped.Index == m_taken) {
            skipped.Claimed = false;
            skipped.Done.reset();
        }
    }
    m_changed.notify_all();
    TSlot &slot = SlotOf(index);
    m_changed.wait(lock, [&] { return slot.Claimed && slot.Index == index && slot.Done.has_value(); });
    THashedEntry hashed = std::move(*slot.Done);
    slot.Done.reset();
    slot.Claimed = false;
    m_taken = index + 1;
    m_changed.notify_all();
    return hashed;
}
