// The queue both front ends feed: items added while it runs come back in the
// order given, each with its chunk progress; the front end is woken when the
// next item is ready and takes it without waiting; a stop ends the files under
// way; the lanes fill before a worker is added; what goes wrong on a worker is
// the item's failure; an entry handed back outlives the queue.

#include "entries/donkeyfile.h"
#include "measured.h"
#include "runs/hashqueue.h"
#include "niceprivilege.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace {

using testsupport::TempDir;

std::vector<std::string> PatternFiles(const TempDir &dir, int count, std::uint64_t step)
{
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(dir.file("q" + std::to_string(i)));
        testsupport::WritePatternFile(paths.back(), static_cast<std::uint64_t>(i) * step);
    }
    return paths;
}

THashQueue::TMake PlainFile(const std::string &path, THashSelection selection = hsAll)
{
    return [path, selection] { return THashQueueItem{std::make_unique<TDonkeyFile>(path, selection)}; };
}

// What a run of its own shows for the file.
std::string ReferenceHashes(const std::string &path)
{
    TDonkeyFile entry(path, hsAll);
    entry.HashOptions.Lanes = false;
    entry.HashOptions.Parallel = false;
    entry.HashFile();
    return entry.DonkeyHash() + " " + entry.FileSpreeHash();
}

// Waits for done() a minute at most (a hang), checking it every few ms.
bool Eventually(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Items added in several steps while the first ones are hashed come back in
// order, whatever the workers and with or without lanes; a maker that throws
// or gives no entry takes its place; no item is made before its turn.
TEST(HashQueue, GrowsWhileRunningAndKeepsTheOrder)
{
    TempDir dir;
    const std::vector<std::string> paths = PatternFiles(dir, 60, 70'001);
    for (const bool lanes : {true, false}) {
        SCOPED_TRACE(lanes ? "lanes" : "alone");
        std::atomic<std::size_t> taken{0};
        std::atomic<bool> overran{false};
        THashQueueOptions options;
        options.Workers = 3;
        options.Lanes = lanes;
        options.Ahead = 4;
        THashQueue queue(options);
        std::size_t added = 0;
        const auto addUpTo = [&](std::size_t end) {
            for (; added < end; ++added) {
                const std::size_t i = added;
                EXPECT_EQ(queue.Add([&, i] {
                    if (i > taken + options.Ahead)
                        overran = true;
                    if (i % 13 == 7)
                        throw std::runtime_error("no entry for this one");
                    THashQueueItem item;
                    if (i % 9 != 4)
                        item.Entry = std::make_unique<TDonkeyFile>(paths[i], hsAll);
                    return item;
                }), i);
            }
        };
        addUpTo(5);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (i % 10 == 3)
                addUpTo(std::min(paths.size(), added + 11));
            if (i == added)
                addUpTo(i + 1);
            taken = i;
            std::optional<THashedEntry> hashed = queue.Take();
            ASSERT_TRUE(hashed) << i;
            ASSERT_EQ(hashed->Index, i);
            if (i % 13 == 7) {
                EXPECT_EQ(hashed->Fault, "no entry for this one");
                continue;
            }
            EXPECT_EQ(hashed->Fault, "");
            ASSERT_EQ(hashed->Entry == nullptr, i % 9 == 4) << i;
            if (hashed->Entry) {
                EXPECT_EQ(hashed->Entry->DonkeyHash() + " " + hashed->Entry->FileSpreeHash(), ReferenceHashes(paths[i]));
            }
        }
        EXPECT_FALSE(queue.Take()) << "nothing more was added";
        EXPECT_FALSE(overran) << "an item was made before its turn";
    }
}

// The front end's way: OnReady wakes it, TryTake hands over every ready item
// without waiting, Pending counts what is not yet taken, and each item's
// chunks are reported 1..n with its index.
TEST(HashQueue, WakesTheFrontEndWhichTakesWithoutWaiting)
{
    TempDir dir;
    std::vector<std::string> paths;
    for (const std::uint64_t size : {0ull, 9'728'000ull, 100ull, 19'456'000ull, 9'728'001ull}) {
        paths.push_back(dir.file("m" + std::to_string(paths.size())));
        testsupport::WritePatternFile(paths.back(), size);
    }
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
    std::map<std::size_t, std::vector<std::int32_t>> chunks;
    THashQueueOptions options;
    options.Workers = 2;
    options.OnReady = [&] {
        const std::lock_guard lock(mutex);
        ++wakes;
        woken.notify_all();
    };
    options.OnChunk = [&](std::size_t index, TDonkeyFile &entry) {
        const std::lock_guard lock(mutex);
        chunks[index].push_back(entry.CurrentChunk());
    };
    THashQueue queue(options);
    EXPECT_FALSE(queue.TryTake());
    EXPECT_FALSE(queue.Busy());
    std::vector<THashQueue::TMake> makes;
    for (const std::string &path : paths)
        makes.push_back(PlainFile(path, hsAll | hsPartHashes));
    EXPECT_EQ(queue.Add(std::move(makes)), 0u);
    EXPECT_TRUE(queue.Busy());

    std::vector<THashedEntry> got;
    for (int seen = 0; got.size() < paths.size();) {
        {
            std::unique_lock lock(mutex);
            ASSERT_TRUE(woken.wait_for(lock, std::chrono::minutes(1), [&] { return wakes > seen; })) << "never woken";
            seen = wakes;
        }
        EXPECT_EQ(queue.Pending(), paths.size() - got.size());
        while (std::optional<THashedEntry> hashed = queue.TryTake())
            got.push_back(std::move(*hashed));
    }
    EXPECT_FALSE(queue.Busy());
    EXPECT_FALSE(queue.Progress());
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].Index, i);
        const testsupport::TExpected &expected = testsupport::MeasuredFor(static_cast<std::uint64_t>(got[i].Entry->Size()));
        EXPECT_EQ(got[i].Entry->DonkeyHash(), expected.ed2k);
        EXPECT_EQ(got[i].Entry->FileSpreeHash(), expected.md5);
        std::vector<std::int32_t> steps;
        for (std::int32_t k = 1; k <= got[i].Entry->ChunkCount(); ++k)
            steps.push_back(k);
        EXPECT_EQ(chunks[i], steps) << i;
    }
}

// Out of order, a first item that does not end holds nothing back: the items
// after it come back as they are ready, never more than Ahead claimed and not
// taken at once, and the first one last, once it ends.
TEST(HashQueue, OutOfOrderHandsBackWhatIsReady)
{
    TempDir dir;
    const std::vector<std::string> paths = PatternFiles(dir, 30, 1'001);
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    int wakes = 0;
    std::atomic<std::size_t> made{0};
    std::atomic<std::size_t> taken{0};
    std::atomic<bool> overran{false};
    THashQueueOptions options;
    // The first item's maker holds one worker until the test lets it go.
    options.Workers = 2;
    options.Lanes = false;
    options.InOrder = false;
    options.Ahead = 5;
    options.OnReady = [&] {
        const std::lock_guard lock(mutex);
        ++wakes;
        changed.notify_all();
    };
    THashQueue queue(options);
    // Whatever the test's end, the first item is let go before the queue goes.
    const auto letGo = [&] {
        const std::lock_guard lock(mutex);
        release = true;
        changed.notify_all();
    };
    const std::unique_ptr<void, std::function<void(void *)>> guard(&queue, [&](void *) { letGo(); });
    std::vector<THashQueue::TMake> makes;
    makes.push_back([&] {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return release; });
        return THashQueueItem{std::make_unique<TDonkeyFile>(paths[0], hsAll)};
    });
    for (std::size_t i = 1; i < paths.size(); ++i) {
        makes.push_back([&, i] {
            // The held first item is claimed and not taken too; one more may
            // be on its way to the test between the queue and the count.
            if (++made > taken + options.Ahead)
                overran = true;
            return THashQueueItem{std::make_unique<TDonkeyFile>(paths[i], hsAll)};
        });
    }
    queue.Add(std::move(makes));

    std::vector<bool> seen(paths.size(), false);
    for (int woken = 0; taken < paths.size() - 1;) {
        {
            std::unique_lock lock(mutex);
            ASSERT_TRUE(changed.wait_for(lock, std::chrono::minutes(1), [&] { return wakes > woken; }))
                << "held back after " << taken << " items";
            woken = wakes;
        }
        while (std::optional<THashedEntry> hashed = queue.TryTake()) {
            ASSERT_NE(hashed->Index, 0u);
            ASSERT_FALSE(seen[hashed->Index]);
            seen[hashed->Index] = true;
            EXPECT_EQ(hashed->Entry->DonkeyHash() + " " + hashed->Entry->FileSpreeHash(), ReferenceHashes(paths[hashed->Index]));
            ++taken;
        }
    }
    EXPECT_FALSE(overran) << "more than Ahead items claimed and not taken";
    EXPECT_EQ(queue.Pending(), 1u);
    ASSERT_TRUE(queue.Progress());
    EXPECT_EQ(queue.Progress()->Index, 0u);
    letGo();
    std::optional<THashedEntry> first = queue.Take();
    ASSERT_TRUE(first && first->Entry);
    EXPECT_EQ(first->Index, 0u);
    EXPECT_EQ(first->Entry->DonkeyHash() + " " + first->Entry->FileSpreeHash(), ReferenceHashes(paths[0]));
    EXPECT_FALSE(queue.Busy());
    EXPECT_EQ(queue.HashedBytes(), 0);
}

// HashedBytes counts an item done and not yet taken whole, and of an item
// under way the chunks it has done; nothing once both are taken.
TEST(HashQueue, HashedBytesCountWhatIsDoneAndNotTaken)
{
    TempDir dir;
    const std::vector<std::string> paths{dir.file("small"), dir.file("big")};
    testsupport::WritePatternFile(paths[0], 100);
    testsupport::WritePatternFile(paths[1], 2 * 9'728'000 + 1);
    std::mutex mutex;
    std::condition_variable changed;
    bool atFirstChunk = false;
    bool goOn = false;
    THashQueueOptions options;
    options.OnChunk = [&](std::size_t index, TDonkeyFile &entry) {
        if (index != 1 || entry.CurrentChunk() != 1)
            return;
        std::unique_lock lock(mutex);
        atFirstChunk = true;
        changed.notify_all();
        changed.wait(lock, [&] { return goOn; });
    };
    THashQueue queue(options);
    EXPECT_EQ(queue.HashedBytes(), 0);
    queue.Add({PlainFile(paths[0]), PlainFile(paths[1])});
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::minutes(1), [&] { return atFirstChunk; }));
    }
    // The small file is done and not taken; the other one has one chunk done.
    EXPECT_EQ(queue.HashedBytes(), 100 + 9'728'000);
    {
        const std::lock_guard lock(mutex);
        goOn = true;
        changed.notify_all();
    }
    std::optional<THashedEntry> first = queue.Take();
    ASSERT_TRUE(first && first->Entry);
    EXPECT_EQ(first->Entry->Size(), 100);
    ASSERT_TRUE(Eventually([&] { return queue.HashedBytes() == 2 * 9'728'000 + 1; }));
    ASSERT_TRUE(queue.Take());
    EXPECT_EQ(queue.HashedBytes(), 0);
}

// Stop ends the files under way at their next block or round, in the lanes
// and in runs of their own (files of 16 GiB would take many seconds): the queue is
// idle, says so through OnReady, hands nothing of them back, and hashes what
// is added afterwards.
TEST(HashQueue, StopEndsTheFilesUnderWay)
{
    TempDir dir;
    const std::string small = dir.file("small");
    testsupport::WritePatternFile(small, 100);
    for (int i = 0; i < 3; ++i)
        testsupport::WriteSparseFile(dir.file("huge" + std::to_string(i)), 16ull << 30);
    for (const int files : {3, 1}) {
        SCOPED_TRACE(files);
        std::atomic<int> wakes{0};
        THashQueueOptions options;
        options.OnReady = [&] { ++wakes; };
        THashQueue queue(options);
        for (int i = 0; i < files; ++i)
            queue.Add(PlainFile(dir.file("huge" + std::to_string(i))));
        ASSERT_TRUE(Eventually([&] {
            const std::optional<THashQueueProgress> progress = queue.Progress();
            return progress && progress->Chunk > 0;
        }));
        queue.Stop();
        EXPECT_EQ(queue.Pending(), 0u);
        EXPECT_FALSE(queue.TryTake());
        ASSERT_TRUE(Eventually([&] { return !queue.Busy(); }));
        EXPECT_GE(wakes.load(), 1);

        const std::size_t index = queue.Add(PlainFile(small));
        EXPECT_EQ(index, static_cast<std::size_t>(files));
        std::optional<THashedEntry> hashed = queue.Take();
        ASSERT_TRUE(hashed);
        EXPECT_EQ(hashed->Index, index);
        EXPECT_EQ(hashed->Entry->DonkeyHash(), testsupport::MeasuredFor(100).ed2k);
    }
}

// An entry that tells whether it was hashed by a run of its own (the lanes
// drive BeginRun and EndRun, never ComputeHashes), and with what options.
class TAloneEntry final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;
    int RunsOfItsOwn = 0;
    bool FirstRunHadTheQueuesOptions = false;

protected:
    void ComputeHashes() override
    {
        if (RunsOfItsOwn++ == 0)
            FirstRunHadTheQueuesOptions = HashOptions.Stop != nullptr && HashOptions.HelperTokens != nullptr;
        TDonkeyFile::ComputeHashes();
    }
};

// An entry outlives its queue: one hashed by a run of its own (a file given
// alone, of two chunks, on two threads, with the queue's stop flag and
// cores) is hashed again once the queue is gone, as a window refreshes it,
// and keeps nothing of the queue's.
TEST(HashQueue, EntriesOutliveTheQueue)
{
    TempDir dir;
    const std::string path = dir.file("two-chunks");
    testsupport::WritePatternFile(path, 9'728'000 + 1);
    std::unique_ptr<TDonkeyFile> entry;
    TAloneEntry *alone = nullptr;
    {
        THashQueueOptions options;
        options.Workers = 2;
        options.Tokens = std::make_shared<TCoreTokens>(2);
        options.OnChunk = [](std::size_t, TDonkeyFile &) {};
        THashQueue queue(options);
        queue.Add([&] {
            auto made = std::make_unique<TAloneEntry>(path, hsAll);
            alone = made.get();
            return THashQueueItem{std::move(made)};
        });
        std::optional<THashedEntry> hashed = queue.Take();
        ASSERT_TRUE(hashed && hashed->Entry);
        entry = std::move(hashed->Entry);
    }
    EXPECT_EQ(alone->RunsOfItsOwn, 1) << "a file given alone was hashed in the lanes";
    EXPECT_TRUE(alone->FirstRunHadTheQueuesOptions);
    EXPECT_FALSE(entry->OnNewBlock);
    EXPECT_EQ(entry->HashOptions.Stop, nullptr);
    EXPECT_EQ(entry->HashOptions.HelperTokens, nullptr);
    ASSERT_TRUE(entry->HashFile());
    EXPECT_EQ(entry->DonkeyHash() + " " + entry->FileSpreeHash(), ReferenceHashes(path));
}

// Whatever way an entry comes back (from the lanes, from a run of its own,
// failed by a fault in a round and hashed again alone), it is no longer bound
// to report its chunks to the queue, which may be gone when it is hashed again.
TEST(HashQueue, EntriesComeBackUnbound)
{
    TempDir dir;
    const std::vector<std::string> paths = PatternFiles(dir, 4, 9'728'000 / 3);
    THashQueueOptions options;
    options.OnChunk = [](std::size_t index, TDonkeyFile &) {
        if (index == 2)
            throw std::runtime_error("progress fault");
    };
    THashQueue queue(options);
    std::vector<THashQueue::TMake> makes;
    for (const std::string &path : paths)
        makes.push_back(PlainFile(path));
    queue.Add(std::move(makes));  // in the lanes, the third one failing
    queue.Add(PlainFile(paths[0])); // alone
    for (std::size_t i = 0; i <= paths.size(); ++i) {
        std::optional<THashedEntry> hashed = queue.Take();
        ASSERT_TRUE(hashed && hashed->Entry);
        EXPECT_FALSE(hashed->Entry->OnNewBlock) << i;
        EXPECT_EQ(hashed->Entry->Failure(), i == 2 ? "progress fault" : "") << i;
    }
}

#ifdef __linux__
// The scheduling class and nice value of the calling thread.
std::pair<int, int> ThisThreadsScheduling()
{
    return {::sched_getscheduler(0), ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()))};
}

// A queue whose level goes to idle and back, in a process that may lower
// priorities but not raise them: the items claimed after each change run at
// the level asked for, though workers started each other (a worker thread
// inherits the class and nice value of the thread that makes it).
TEST(HashQueue, WorkersTakeTheLevelOfTheirStart)
{
    if (::getpriority(PRIO_PROCESS, 0) != 0)
        GTEST_SKIP() << "the expected values suppose a process at nice 0";
    TempDir dir;
    const std::vector<std::string> paths = PatternFiles(dir, 4, 50'000);
    std::thread([&] {
        if (!testsupport::DropNicePrivilege()) {
            ADD_FAILURE() << "could not run without CAP_SYS_NICE";
            return;
        }
        std::atomic<int> level{IdlePriorityLevel};
        std::mutex mutex;
        std::map<std::size_t, std::pair<int, int>> seen;
        THashQueueOptions options;
        options.Workers = 2;
        options.LaneOptions.MaxFiles = 1; // the first worker starts the second one
        options.PriorityLevel = [&] { return level.load(); };
        THashQueue queue(options);
        std::size_t index = 0;
        const auto addAll = [&] {
            std::vector<THashQueue::TMake> makes;
            for (const std::string &path : paths) {
                makes.push_back([&, path, i = index++] {
                    const std::lock_guard lock(mutex);
                    seen[i] = ThisThreadsScheduling();
                    return THashQueueItem{std::make_unique<TDonkeyFile>(path, hsAll)};
                });
            }
            queue.Add(std::move(makes));
            for (std::size_t i = 0; i < paths.size(); ++i)
                EXPECT_TRUE(queue.Take());
        };
        for (const int asked : {IdlePriorityLevel, NormalPriorityLevel, IdlePriorityLevel, NormalPriorityLevel}) {
            level = asked;
            const std::size_t first = index;
            addAll();
            const std::lock_guard lock(mutex);
            for (std::size_t i = first; i < index; ++i) {
                EXPECT_EQ(seen[i], std::make_pair(asked == IdlePriorityLevel ? SCHED_IDLE : SCHED_OTHER,
                                                  PriorityLevelNice(asked)))
                    << "item " << i << " at level " << asked;
            }
        }
    }).join();
}
#endif

// A second worker starts only once the first one's lanes are full and more
// items wait: a few files share one worker's lanes whatever the job count.
TEST(HashQueue, LanesFillBeforeWorkersAreAdded)
{
    TempDir dir;
    const std::vector<std::string> paths = PatternFiles(dir, 24, 4096);
    for (const std::size_t lanes : {std::size_t{32}, std::size_t{3}}) {
        SCOPED_TRACE(lanes);
        THashQueueOptions options;
        options.Workers = 16;
        options.LaneOptions.MaxFiles = lanes;
        THashQueue queue(options);
        std::vector<THashQueue::TMake> makes;
        for (const std::string &path : paths)
            makes.push_back(PlainFile(path));
        queue.Add(std::move(makes));
        while (std::optional<THashedEntry> hashed = queue.Take())
            EXPECT_EQ(hashed->Entry->Failure(), "") << hashed->Index;
        if (lanes > paths.size()) {
            EXPECT_EQ(queue.WorkerCount(), 1u);
        } else {
            EXPECT_GT(queue.WorkerCount(), 1u);
        }
    }
}

// An entry that fails where the queue's own code meets it.
class TFaultyEntry final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;
    bool HashesContent() const override { throw std::runtime_error("entry fault"); }
};

// Whatever a worker meets once it holds an item fails that item alone, with
// the reason; the program goes on and the other items are hashed.
TEST(HashQueue, FaultOnAWorkerFailsItsItem)
{
    TempDir dir;
    const std::vector<std::string> paths = PatternFiles(dir, 6, 10'000);
    THashQueueOptions options;
    options.Workers = 2;
    THashQueue queue(options);
    std::vector<THashQueue::TMake> makes;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        makes.push_back([path = paths[i], i] {
            THashQueueItem item;
            if (i == 2)
                item.Entry = std::make_unique<TFaultyEntry>(path, hsAll);
            else
                item.Entry = std::make_unique<TDonkeyFile>(path, hsAll);
            return item;
        });
    }
    queue.Add(std::move(makes));
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::optional<THashedEntry> hashed = queue.Take();
        ASSERT_TRUE(hashed);
        ASSERT_TRUE(hashed->Entry);
        if (i == 2) {
            EXPECT_EQ(hashed->Entry->Failure(), "entry fault");
            EXPECT_EQ(hashed->Entry->DonkeyHash(), ErrorText);
        } else {
            EXPECT_EQ(hashed->Entry->DonkeyHash() + " " + hashed->Entry->FileSpreeHash(), ReferenceHashes(paths[i]));
        }
    }
}

} // namespace
