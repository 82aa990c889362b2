#pragma once

// Many entries hashed by a few workers and handed back in their order, for a
// caller that reports them one by one (brackwell-cli's lines, the verdicts of
// a list of links).

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "entries/donkeyfile.h"
#include "runs/lanehasher.h"

struct THashQueueOptions
{
    // Threads that hash. Each holds one of Tokens while it works, and a run of
    // one file may take a second one for a helper thread.
    unsigned Workers = 1;
    std::shared_ptr<TCoreTokens> Tokens;
    // Bound to each entry while it is hashed; raised in the worker's thread.
    TDonkeyFile::TNewBlockEvent OnNewBlock;
    // Each worker hashes plain files several at once in its lanes. Off, or
    // for a single item, every file has a run of its own (HashFile).
    bool Lanes = true;
    TLaneHashOptions LaneOptions = {};
    // Items made ahead of the last one taken, at most: what waits for its turn
    // stays bounded whatever the number of items.
    std::size_t Ahead = 1024;
};

// What an item is made into: its entry, and whether to hash it (an entry may
// be wanted only for its size). No entry: nothing to hash or report.
struct THashQueueItem
{
    std::unique_ptr<TDonkeyFile> Entry;
    bool Hash = true;
};

struct THashedEntry
{
    std::unique_ptr<TDonkeyFile> Entry;
    // Why making the entry threw; the entry is then missing.
    std::string Fault;
};

class THashQueue final
{
public:
    using TMake = std::function<THashQueueItem(std::size_t index)>;

    // Starts hashing items 0..count-1; make(i) runs on a worker, only when
    // item i's turn comes, so that no more files are open than are hashed.
    THashQueue(std::size_t count, TMake make, THashQueueOptions options);
    // Stops as Stop does and waits for the workers.
    ~THashQueue();
    THashQueue(const THashQueue &) = delete;
    THashQueue &operator=(const THashQueue &) = delete;

    // Waits for item index and hands it over. Items are taken in increasing
    // order, never after Stop; those the caller skips are dropped.
    THashedEntry Take(std::size_t index);
    // No further item is started; files in lanes end failed ("stopped"), a
    // file hashed on its own finishes its run.
    void Stop();

private:
    std::optional<std::size_t> Claim(bool mayWait);
    THashedEntry Make(std::size_t index, bool &hash);
    void HashAlone(TDonkeyFile &entry);
    void Finish(std::size_t index, THashedEntry hashed);
    void Work();
    void WorkAlone(); // Work once the worker holds its token
    void WorkInLanes();

    const std::size_t m_count;
    const TMake m_make;
    const THashQueueOptions m_options;
    const bool m_lanes;
    const std::size_t m_workerCount;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;
    std::size_t m_taken = 0;
    bool m_stopped = false;
    // Stopped, as the lanes read it between rounds.
    std::atomic<bool> m_abort{false};
    // Items from those taken up to those started, item i in slot i % size:
    // taken once, so that claiming and finishing an item never need memory.
    struct TSlot
    {
        std::size_t Index = 0;
        bool Claimed = false;
        std::optional<THashedEntry> Done;
    };
    std::vector<TSlot> m_slots;
    TSlot &SlotOf(std::size_t index) { return m_slots[index % m_slots.size()]; }
    // Declared last: the workers start as soon as they exist.
    std::vector<std::jthread> m_workers;
};
