#include "hashqueue.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <tuple>
#include <utility>

namespace {

// Holds one of the tokens, if there are any, for as long as it lives.
class TWorkerToken final
{
public:
    explicit TWorkerToken(const std::shared_ptr<TCoreTokens> &tokens)
        : m_tokens(tokens)
    {
        if (m_tokens)
            m_tokens->Acquire();
    }
    ~TWorkerToken()
    {
        if (m_tokens)
            m_tokens->Release();
    }
    TWorkerToken(const TWorkerToken &) = delete;
    TWorkerToken &operator=(const TWorkerToken &) = delete;

private:
    std::shared_ptr<TCoreTokens> m_tokens;
};

} // namespace

THashQueue::THashQueue(std::size_t count, TMake make, THashQueueOptions options)
    : m_count(count)
    , m_make(std::move(make))
    , m_options(std::move(options))
    , m_lanes(m_options.Lanes && count > 1)
    , m_workerCount(std::min<std::size_t>(std::max(1u, m_options.Workers), count))
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
    m_changed.notify_all();
}

std::optional<std::size_t> THashQueue::Claim(bool mayWait)
{
    std::unique_lock lock(m_mutex);
    const auto open = [&] { return m_next < m_taken + std::max<std::size_t>(m_options.Ahead, 1); };
    if (mayWait)
        m_changed.wait(lock, [&] { return m_stopped || m_next >= m_count || open(); });
    if (m_stopped || m_next >= m_count || !open())
        return std::nullopt;
    m_items.emplace(m_next, std::nullopt);
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
        const auto it = m_items.find(index);
        if (it != m_items.end())
            it->second = std::move(hashed);
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
    const TWorkerToken token(m_options.Tokens);
    TLaneHashOptions laneOptions = m_options.LaneOptions;
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
            const std::optional<std::size_t> index = Claim(mayWait);
            if (!index)
                return nullptr;
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
    // Items skipped by the caller are dropped once they are done.
    if (index > m_taken) {
        m_taken = index;
        m_changed.notify_all();
    }
    m_changed.wait(lock, [&] {
        const auto it = m_items.find(index);
        return it != m_items.end() && it->second.has_value();
    });
    const auto it = m_items.find(index);
    THashedEntry hashed = std::move(*it->second);
    m_items.erase(m_items.begin(), std::next(it));
    m_taken = index + 1;
    m_changed.notify_all();
    return hashed;
}
