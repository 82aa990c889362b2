#pragma once

// One queue of files to hash, fed while it runs, that hands the entries back
// in the order they were given (or, for a front end that sorts them anyway,
// as each is ready): brackwell-cli's paths, the files of a link check, and the
// window's files all go through it.
//
// How a front end uses it:
//
//   THashQueueOptions options;
//   options.Workers = cores;             // at most; started as the lanes fill
//   options.Tokens = tokens;             // cores shared with other queues
//   options.OnReady = [&] { post a step to the interface thread; };  // worker thread
//   options.OnChunk = [&](std::size_t index, TDonkeyFile &entry) { ... };  // worker thread
//   THashQueue queue(std::move(options));
//
//   // Interface thread, as paths come (never blocks: a short lock at most).
//   // The maker runs later on a worker, when the item's turn comes, so no
//   // file is opened or measured here; it captures the settings of now.
//   queue.Add([path, settings] {
//       return THashQueueItem{std::make_unique<TDonkeyFile>(path, ...settings...)};
//   });
//   // The paths of one action (a drop, a dialog, a folder) in one Add, as a
//   // vector: a path added alone while nothing else waits gets a run of its
//   // own (both cores on one file), which suits a single file best.
//
//   // The step OnReady posted, on the interface thread: every item ready in
//   // order, without waiting.
//   while (std::optional<THashedEntry> done = queue.TryTake())
//       list.Add(std::move(done->Entry)); // or report done->Fault, when no entry could be made
//   status = queue.Pending();             // items not yet taken: " file(s) left"
//   if (auto p = queue.Progress())        // the first unfinished item's chunks
//       bar.Set(p->Chunk, p->Chunks);
//   hashed = taken + queue.HashedBytes(); // bytes hashed so far, with those taken
//   busy = queue.Busy();                  // refuse to close while true
//
//   // Stop: every item given so far is dropped, those under way end at their
//   // next block or lane round; Busy() turns false within a fraction of a
//   // second, and OnReady is raised then. Items added afterwards are hashed.
//   queue.Stop();
//   // Once !Busy(), destroying the queue returns at once.
//
// A caller that wants every item in turn (brackwell-cli) uses Take(), which
// waits for the next item in order. With InOrder off (the window, whose list
// is sorted by name), TryTake and Take hand back whichever items are ready,
// the first finished first, so that a big file does not hold back the small
// ones after it.
//
// Plain files are hashed several at a time in each worker's lanes; a
// descriptor (TPartFile), a file given alone, or any entry when Lanes is off,
// is hashed by a run of its own. Workers are added only when the running ones
// have no lane free and more items wait, and a core is free for them. A front
// end that reads descriptors beside plain files keeps one queue for each, so
// that descriptors are not read after the files before them. A worker that
// wakes for an item waits for a core token first: queues that share Tokens
// are best stopped together before they are destroyed.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "entries/donkeyfile.h"
#include "runs/runoptions.h"
#include "runs/thread.h"
#include "runs/tokens.h"

// What an item is made into: its entry, and whether to hash it (an entry may
// be wanted only for its size). No entry: nothing to hash, handed back empty.
struct THashQueueItem
{
    std::unique_ptr<TDonkeyFile> Entry;
    bool Hash = true;
};

struct THashedEntry
{
    // The item's place: 0 for the first item added, then one more for each.
    std::size_t Index = 0;
    std::unique_ptr<TDonkeyFile> Entry;
    // Why the item failed without an entry (making it threw), or what ended
    // its worker; the entry is then missing.
    std::string Fault;
};

// How far the first item not yet hashed has come.
struct THashQueueProgress
{
    std::size_t Index = 0;
    // Chunks hashed so far, and its chunk count (0 until its entry is made).
    std::int32_t Chunk = 0;
    std::int32_t Chunks = 0;
};

struct THashQueueOptions
{
    // Threads that hash, at most. Each holds one of Tokens while it works, and
    // a run may take a second one for a helper thread.
    unsigned Workers = 1;
    std::shared_ptr<TCoreTokens> Tokens;
    // Plain files several at once in each worker's lanes. Off: every file has
    // a run of its own.
    bool Lanes = true;
    TLaneHashOptions LaneOptions = {};
    // Items claimed and not yet taken, at most (in order: items made ahead
    // of the first one not taken): what waits for its turn stays bounded
    // whatever the number of items.
    std::size_t Ahead = 1024;
    // Items handed back in the order given; off: as each is ready.
    bool InOrder = true;
    // After each chunk of an item, in the thread that hashes it.
    std::function<void(std::size_t index, TDonkeyFile &entry)> OnChunk;
    // On a worker thread (or in Add, when no thread could be had): the first
    // item not yet taken is ready, or the queue went idle after a Stop. May be
    // raised more often than needed; never with the queue's lock held.
    std::function<void()> OnReady;
    // Read while Take waits (at least every 50 ms): once set, the queue stops
    // as by Stop. For a caller that waits in Take on its own thread while
    // another asks it to stop.
    std::shared_ptr<const std::atomic<bool>> StopFlag;
    // When set, the priority level (runs/thread.h) each worker gives itself as
    // it starts; read again before each item is claimed. A worker whose level
    // is no longer the one asked for takes no more items, ends once its lanes
    // are empty, and a new worker takes its place: a changed level applies to
    // the items claimed after it. Workers are then started by a thread of the
    // queue's own that keeps the priority of the thread that made the queue,
    // never by one that lowered itself. Must not call into the queue.
    std::function<int()> PriorityLevel;
};

class THashQueue final
{
public:
    // make() runs on a worker when the item's turn comes, so that no more
    // files are open than are being hashed.
    using TMake = std::function<THashQueueItem()>;

    explicit THashQueue(THashQueueOptions options);
    // Stops as Stop does, and waits for the workers.
    ~THashQueue();
    THashQueue(const THashQueue &) = delete;
    THashQueue &operator=(const THashQueue &) = delete;

    // Adds an item (or several, in order) and returns its index (the first
    // one's). Never waits for the workers.
    std::size_t Add(TMake make);
    std::size_t Add(std::vector<TMake> makes);

    // The next item in order (out of order: the first one finished), once it
    // is ready; nothing when every item added has been taken or dropped.
    std::optional<THashedEntry> Take();
    // The same without waiting: nothing unless such an item is ready.
    std::optional<THashedEntry> TryTake();

    // Drops every item added so far: those waiting at once, those under way
    // as soon as they end, failed ("stopped"), at their next block or round.
    void Stop();

    // Items added and neither taken nor dropped.
    std::size_t Pending() const;
    // Items pending, or dropped ones still under way.
    bool Busy() const;
    // The first item not yet hashed; nothing when none is pending.
    std::optional<THashQueueProgress> Progress() const;
    // Bytes hashed of the items not yet taken: the whole size of those done,
    // and the chunks done of those under way (a chunk counts once hashed).
    std::int64_t HashedBytes() const;
    // Worker threads started so far.
    std::size_t WorkerCount() const;

private:
    // Taken: handed back out of order while an item before it is not.
    enum class TState { Waiting, Working, Done, Taken };
    static constexpr std::size_t NoIndex = static_cast<std::size_t>(-1);
    struct TItem
    {
        std::size_t Index = 0;
        TMake Make;
        TState State = TState::Waiting;
        // The entry while it is hashed (its worker owns it), for Progress.
        const TDonkeyFile *Working = nullptr;
        std::unique_ptr<TDonkeyFile> Entry = {};
        std::string Fault = {};
        // Done: the entry's size, for HashedBytes.
        std::int64_t Bytes = 0;
        // Out of order: the next item done and not taken, in the order they
        // were done (a list through the items, so that handing back never
        // needs memory).
        std::size_t NextReady = NoIndex;
    };
    struct TWorker
    {
        std::thread Thread;
        // Would take an item now: waiting for one, or with a lane free.
        bool Roomy = false;
        // The priority level it gave itself; -1: it kept its thread's own.
        int Level = -1;
        // Its level is no longer the one asked for: it takes no more items.
        bool Retiring = false;
        // The items this worker has claimed and not handed back, with their
        // entries once made. Room for all of them is taken when it starts, so
        // that claiming and handing back never need memory.
        struct THeld
        {
            std::size_t Index = 0;
            std::unique_ptr<TDonkeyFile> Entry = {};
            std::string Fault = {};
            std::int64_t Bytes = 0;
        };
        std::vector<THeld> Held;
        // Items whose runs have ended, to hand back together (FinishEnded),
        // and the entries of those a Stop dropped, let go of after that.
        std::vector<std::size_t> Ended;
        std::vector<std::unique_ptr<TDonkeyFile>> Dropped;

        void Reserve(std::size_t items)
        {
            Held.reserve(items);
            Ended.reserve(items);
            Dropped.reserve(items);
        }

        THeld *HeldAt(std::size_t index)
        {
            for (THeld &held : Held) {
                if (held.Index == index)
                    return &held;
            }
            return nullptr;
        }
    };
    class TLaneFeeder;
    struct TClaim
    {
        std::size_t Index = 0;
        TMake Make;
        bool Alone = false; // the only item to be had: a run of its own
    };

    bool Claimable() const;
    TItem *ItemAt(std::size_t index);
    const TItem *ItemAt(std::size_t index) const;
    // An item is ready to be taken (in order: the first one).
    bool ReadyToTake() const;
    std::optional<THashedEntry> TakeReady();
    void StartWorkerIfNeeded(std::unique_lock<std::mutex> &lock);
    void SetRoomy(TWorker &worker, bool roomy);

    void Work(TWorker &worker, bool tokenTaken);
    bool WaitForWork(TWorker &worker, TWorkerToken &token);
    std::optional<TClaim> Claim(TWorker &worker, std::size_t freeLanes, std::size_t lanes);
    // Makes a claimed item's entry and keeps it with the worker; null (the
    // fault kept instead) when making it threw. hash: the entry is to be hashed.
    TDonkeyFile *Make(TWorker &worker, TClaim &claim, bool &hash);
    void Bind(TDonkeyFile &entry, std::size_t index);
    void HashAlone(TDonkeyFile &entry, std::size_t index);
    // Hands the item the worker holds back to its place (or drops it, when a
    // Stop came meanwhile).
    void Finish(TWorker &worker, std::size_t index);
    // The same for every item in worker.Ended, at once: one handover, one
    // wake of whoever waits for them.
    void FinishEnded(TWorker &worker);
    // Claims, makes and hashes one item alone; false when none was to be had.
    bool WorkOne(TWorker &worker);
    void WorkAlone(TWorker &worker);
    std::size_t LaneCount() const;
    void WorkInLanes(TWorker &worker);
    bool WaitForHandles(TWorker &worker);
    void FailHeld(TWorker &worker, const std::string &reason);

    const THashQueueOptions m_options;

    mutable std::mutex m_mutex;
    std::condition_variable m_workChanged;
    std::condition_variable m_resultChanged;
    // The items from the first not taken to the last added: item i at
    // m_items[i - m_first].
    std::deque<TItem> m_items;
    std::size_t m_first = 0;
    std::size_t m_dropBelow = 0; // items before this one were dropped by Stop
    std::size_t m_next = 0; // first not claimed
    std::size_t m_added = 0;
    std::size_t m_claimed = 0; // claimed and neither taken nor dropped
    std::size_t m_taken = 0;   // taken out of order, still in m_items
    std::int64_t m_doneBytes = 0; // the sizes of the items done and not taken
    // Out of order: the items done and not taken, first and last.
    std::size_t m_readyFirst = NoIndex;
    std::size_t m_readyLast = NoIndex;
    std::size_t m_working = 0; // claimed and not finished, dropped ones included
    std::size_t m_droppedWorking = 0;
    std::size_t m_finished = 0; // finishes so far
    std::size_t m_handleWaiters = 0;
    std::size_t m_roomy = 0; // workers that would take an item now
    std::size_t m_live = 0;  // workers started and not ended
    std::size_t m_retiring = 0; // of them, those that take no more items
    bool m_closing = false;
    // Set by Stop until the dropped items under way have ended: the runs read
    // it at every block or round.
    std::atomic<bool> m_abort{false};
    std::vector<std::unique_ptr<TWorker>> m_workers;
    // Starts the workers when they set their own priority.
    std::unique_ptr<TThreadStarter> m_starter;
};
