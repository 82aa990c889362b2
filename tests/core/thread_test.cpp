// The hashing worker: its order of events against the interface thread, its
// failure paths, its release, its priority, and an entry read while a refresh
// rewrites it. Everything runs against the tests' own event loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#elif defined(__linux__)
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "entries/donkeyfile.h"
#include "testdispatcher.h"
#include "niceprivilege.h"
#include "testsupport.h"
#include "runs/thread.h"

namespace {

using testsupport::TTestDispatcher;

// What happened, in order, and on which side: entries made off the loop thread
// carry a "worker: " prefix.
class TEventLog final
{
public:
    explicit TEventLog(const TTestDispatcher &loop)
        : m_loop(loop)
    {
    }

    void Add(const std::string &event)
    {
        const std::lock_guard lock(m_lock);
        m_events.push_back(m_loop.IsLoopThread() ? event : "worker: " + event);
    }

    std::vector<std::string> Events() const
    {
        const std::lock_guard lock(m_lock);
        return m_events;
    }

private:
    const TTestDispatcher &m_loop;
    mutable std::mutex m_lock;
    std::vector<std::string> m_events;
};

class TRecordingBar final : public TProgressTarget
{
public:
    explicit TRecordingBar(TEventLog &log)
        : m_log(log)
    {
    }

    void SetRange(int minimum, int maximum) override
    {
        m_log.Add("range " + std::to_string(minimum) + " " + std::to_string(maximum));
    }
    void SetStep(int step) override { m_log.Add("step " + std::to_string(step)); }
    void SetPosition(int position) override { m_log.Add("position " + std::to_string(position)); }
    void SetVisible(bool visible) override { m_log.Add(visible ? "shown" : "hidden"); }
    void StepIt() override { m_log.Add("step-it"); }

private:
    TEventLog &m_log;
};

std::vector<std::string> SetupEvents(int chunks)
{
    return {"range 0 " + std::to_string(chunks), "step 1", "position 0", "shown"};
}

// An entry that notes when its run ends, and on which side.
class TLoggedEntry final : public TDonkeyFile
{
public:
    TLoggedEntry(const std::string &path, TEventLog &log)
        : TDonkeyFile(path, hsAll)
        , m_log(log)
    {
    }

    bool HashFile() override
    {
        const bool ran = TDonkeyFile::HashFile();
        m_log.Add(ran ? "hashed" : "not hashed");
        return ran;
    }

private:
    TEventLog &m_log;
};

class TThrowingEntry final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;
    bool HashFile() override { throw std::runtime_error("read fault"); }
};

// Throws from inside the entry's own guarded run, and not a std::exception.
class TThrowingDigestEntry final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;

protected:
    void ComputeHashes() override { throw 42; }
};

// Starts thread, then runs the loop until it has been released.
bool StartAndRunToRelease(TTestDispatcher &loop, std::unique_ptr<TTestThread> thread)
{
    const int remaining = TTestThread::LiveCount() - 1;
    TTestThread::Start(std::move(thread));
    return loop.RunUntil([&] { return TTestThread::LiveCount() == remaining; });
}

TEST(TestThread, StepsOncePerChunkAndCompletesAfterTheRun)
{
    const testsupport::TempDir dir;
    struct Case
    {
        std::int64_t size;
        int chunks;
    };
    for (const Case c : {Case{0, 1}, Case{DonkeyChunkSize, 2}, Case{DonkeyChunkSize + 1, 2}}) {
        SCOPED_TRACE(c.size);
        const std::string path = dir.file("file" + std::to_string(c.size));
        testsupport::WritePatternFile(path, static_cast<std::uint64_t>(c.size));
        TDonkeyFile reference(path, hsAll);
        reference.HashFile();
        ASSERT_EQ(reference.DonkeyHash().size(), 32u);

        TTestDispatcher loop;
        TEventLog log(loop);
        TRecordingBar bar(log);
        TLoggedEntry entry(path, log);
        auto thread = std::make_unique<TTestThread>(entry, NormalPriorityLevel, &bar, loop);
        // The bar is set up by the constructor itself, before anything else runs.
        EXPECT_EQ(log.Events(), SetupEvents(c.chunks));

        const int live = TTestThread::LiveCount();
        int terminations = 0;
        thread->OnTerminate = [&](TTestThread &done) {
            ++terminations;
            log.Add("terminate");
            EXPECT_EQ(&done.Entry(), &entry);
            EXPECT_EQ(TTestThread::LiveCount(), live) << "released before its handler ran";
            EXPECT_EQ(entry.DonkeyHash(), reference.DonkeyHash());
            EXPECT_EQ(entry.FileSpreeHash(), reference.FileSpreeHash());
            EXPECT_FALSE(entry.OnNewBlock) << "the binding outlives its run";
            EXPECT_TRUE(done.FatalError().empty());
            EXPECT_FALSE(done.FatalException());
        };
        ASSERT_TRUE(StartAndRunToRelease(loop, std::move(thread)));

        std::vector<std::string> expected = SetupEvents(c.chunks);
        expected.insert(expected.end(), static_cast<std::size_t>(c.chunks), "step-it");
        expected.push_back("worker: hashed");
        expected.push_back("terminate");
        EXPECT_EQ(log.Events(), expected);
        EXPECT_EQ(terminations, 1);
    }
}

TEST(TestThread, UnopenableFileStillCompletesWithoutSteps)
{
    const testsupport::TempDir dir;
    TTestDispatcher loop;
    TEventLog log(loop);
    TRecordingBar bar(log);
    TLoggedEntry entry(dir.file("missing"), log);
    auto thread = std::make_unique<TTestThread>(entry, NormalPriorityLevel, &bar, loop);
    thread->OnTerminate = [&](TTestThread &) { log.Add("terminate"); };
    ASSERT_TRUE(StartAndRunToRelease(loop, std::move(thread)));

    std::vector<std::string> expected = SetupEvents(1);
    expected.push_back("worker: not hashed");
    expected.push_back("terminate");
    EXPECT_EQ(log.Events(), expected);
    EXPECT_EQ(entry.DonkeyHash(), ErrorText);
}

TEST(TestThread, ExceptionFromTheRunIsKeptAndTheCompletionStillComes)
{
    const testsupport::TempDir dir;
    const std::string path = dir.file("data");
    testsupport::WritePatternFile(path, 5000);

    TThrowingEntry fromHashFile(path, hsAll);
    TThrowingDigestEntry fromComputeHashes(path, hsAll);
    struct Case
    {
        TDonkeyFile &entry;
        std::string error;
        std::function<void(std::exception_ptr)> checkKind;
    };
    const Case cases[] = {
        {fromHashFile, "read fault",
         [](std::exception_ptr e) { EXPECT_THROW(std::rethrow_exception(e), std::runtime_error); }},
        {fromComputeHashes, "unknown exception",
         [](std::exception_ptr e) { EXPECT_THROW(std::rethrow_exception(e), int); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        TTestDispatcher loop;
        TEventLog log(loop);
        TRecordingBar bar(log);
        auto thread = std::make_unique<TTestThread>(c.entry, NormalPriorityLevel, &bar, loop);
        std::string fatalError;
        std::exception_ptr fatal;
        thread->OnTerminate = [&](TTestThread &done) {
            log.Add("terminate");
            fatalError = done.FatalError();
            fatal = done.FatalException();
        };
        ASSERT_TRUE(StartAndRunToRelease(loop, std::move(thread)));

        std::vector<std::string> expected = SetupEvents(1);
        expected.push_back("terminate");
        EXPECT_EQ(log.Events(), expected);
        EXPECT_EQ(fatalError, c.error);
        ASSERT_TRUE(fatal);
        c.checkKind(fatal);
        EXPECT_FALSE(c.entry.OnNewBlock);
    }
}

// A dispatcher whose Post fails a few times (no memory for the queued call):
// the completion is posted again until it is taken, so that the window's
// busy flag is always cleared.
class TFailingPostDispatcher final : public TDispatcher
{
public:
    explicit TFailingPostDispatcher(TTestDispatcher &loop, int failures)
        : m_loop(loop)
        , m_failures(failures)
    {
    }
    void Synchronize(std::function<void()> step) override { m_loop.Synchronize(std::move(step)); }
    void Post(std::function<void()> step) override
    {
        if (m_failures-- > 0)
            throw std::bad_alloc();
        m_loop.Post(std::move(step));
    }

private:
    TTestDispatcher &m_loop;
    std::atomic<int> m_failures;
};

TEST(TestThread, CompletionArrivesWhenPostingItFails)
{
    const testsupport::TempDir dir;
    const std::string path = dir.file("data");
    testsupport::WritePatternFile(path, 5000);
    TTestDispatcher loop;
    TFailingPostDispatcher failing(loop, 3);
    TEventLog log(loop);
    TRecordingBar bar(log);
    TDonkeyFile entry(path, hsAll);
    auto thread = std::make_unique<TTestThread>(entry, NormalPriorityLevel, &bar, failing);
    thread->OnTerminate = [&](TTestThread &) { log.Add("terminate"); };
    ASSERT_TRUE(StartAndRunToRelease(loop, std::move(thread)));
    EXPECT_EQ(log.Events().back(), "terminate");
    EXPECT_EQ(entry.DonkeyHash().size(), 32u);
}

TEST(TestThread, WorkersWithAndWithoutBarRunSideBySide)
{
    const testsupport::TempDir dir;
    const std::string barPath = dir.file("withbar");
    const std::string plainPath = dir.file("withoutbar");
    testsupport::WritePatternFile(barPath, DonkeyChunkSize + 100);
    testsupport::WritePatternFile(plainPath, 2 * DonkeyChunkSize);

    TTestDispatcher loop;
    TEventLog log(loop);
    TRecordingBar bar(log);
    TLoggedEntry withBar(barPath, log);
    TDonkeyFile withoutBar(plainPath, hsFileSpree);
    // A run without a bar leaves the creator's own handler in place.
    std::atomic<int> ownChunks{0};
    withoutBar.OnNewBlock = [&](TDonkeyFile &) { ++ownChunks; };

    auto first = std::make_unique<TTestThread>(withBar, NormalPriorityLevel, &bar, loop);
    auto second = std::make_unique<TTestThread>(withoutBar, NormalPriorityLevel, nullptr, loop);
    std::vector<std::string> done;
    first->OnTerminate = [&](TTestThread &) { done.push_back("with bar"); };
    second->OnTerminate = [&](TTestThread &) { done.push_back("without bar"); };
    const int remaining = TTestThread::LiveCount() - 2;
    TTestThread::Start(std::move(first));
    TTestThread::Start(std::move(second));
    ASSERT_TRUE(loop.RunUntil([&] { return TTestThread::LiveCount() == remaining; }));

    EXPECT_EQ(done.size(), 2u);
    EXPECT_EQ(ownChunks.load(), 3);
    EXPECT_TRUE(withoutBar.OnNewBlock);
    EXPECT_EQ(withoutBar.FileSpreeHash().size(), 32u);
    std::vector<std::string> expected = SetupEvents(2);
    expected.insert(expected.end(), {"step-it", "step-it", "worker: hashed"});
    EXPECT_EQ(log.Events(), expected);
}

// Notes whether its run ever started.
class TProbeEntry final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;
    bool HashFile() override
    {
        m_ran = true;
        return false;
    }
    bool Ran() const { return m_ran; }

private:
    std::atomic<bool> m_ran{false};
};

TEST(TestThread, NeverStartedWorkerDoesNoWorkAndGoesCleanly)
{
    const testsupport::TempDir dir;
    const std::string path = dir.file("data");
    testsupport::WritePatternFile(path, 100);
    TTestDispatcher loop;
    TEventLog log(loop);
    TRecordingBar bar(log);
    TProbeEntry entry(path, hsAll);
    const int live = TTestThread::LiveCount();
    {
        TTestThread clampedLow(entry, -3, nullptr, loop);
        TTestThread clampedHigh(entry, 99, nullptr, loop);
        EXPECT_EQ(clampedLow.PriorityLevel(), 0);
        EXPECT_EQ(clampedHigh.PriorityLevel(), 6);

        auto thread = std::make_unique<TTestThread>(entry, NormalPriorityLevel, &bar, loop);
        thread->OnTerminate = [&](TTestThread &) { log.Add("terminate"); };
        EXPECT_EQ(TTestThread::LiveCount(), live + 3);
        EXPECT_TRUE(entry.OnNewBlock);
        // Destroying it ends its suspended thread, which must not run the entry.
        thread.reset();
        EXPECT_FALSE(entry.OnNewBlock) << "a dead worker stays bound to the entry";
    }
    EXPECT_FALSE(entry.Ran());
    EXPECT_EQ(TTestThread::LiveCount(), live);
    EXPECT_EQ(log.Events(), SetupEvents(1));
}

// Holds its run until the test lets it go (or a minute passes: a hang).
class TGatedEntry final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;

    void Release()
    {
        const std::lock_guard lock(m_lock);
        m_released = true;
        m_changed.notify_all();
    }

    bool HashFile() override
    {
        {
            std::unique_lock lock(m_lock);
            m_ranOn = std::this_thread::get_id();
            m_timedOut = !m_changed.wait_for(lock, std::chrono::minutes(1), [this] { return m_released; });
        }
        return TDonkeyFile::HashFile();
    }

    bool TimedOut() const
    {
        const std::lock_guard lock(m_lock);
        return m_timedOut;
    }
    std::thread::id RanOn() const
    {
        const std::lock_guard lock(m_lock);
        return m_ranOn;
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_released = false;
    bool m_timedOut = false;
    std::thread::id m_ranOn;
};

TEST(TestThread, StartReturnsWhileTheRunIsStillGoing)
{
    const testsupport::TempDir dir;
    const std::string path = dir.file("data");
    testsupport::WritePatternFile(path, DonkeyChunkSize / 2);
    TTestDispatcher loop;
    TGatedEntry entry(path, hsAll);
    // No bar: a worker stepping a bar would deadlock against a waiting Start
    // instead of letting this test fail.
    auto thread = std::make_unique<TTestThread>(entry, NormalPriorityLevel, nullptr, loop);
    bool terminated = false;
    thread->OnTerminate = [&](TTestThread &) { terminated = true; };
    const int remaining = TTestThread::LiveCount() - 1;
    TTestThread::Start(std::move(thread));
    // Only now may the run go on: had Start waited for the worker, it would
    // still be waiting.
    entry.Release();
    ASSERT_TRUE(loop.RunUntil([&] { return TTestThread::LiveCount() == remaining; }));

    EXPECT_TRUE(terminated);
    EXPECT_FALSE(entry.TimedOut()) << "the interface thread waited for the worker";
    EXPECT_NE(entry.RanOn(), std::this_thread::get_id());
    EXPECT_EQ(entry.FileSpreeHash().size(), 32u);
}

#if defined(__linux__)
// Notes the scheduling the worker gave itself.
class TPriorityProbe final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;
    bool HashFile() override
    {
        m_nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
        m_policy = ::sched_getscheduler(0);
        return false;
    }
    int m_nice = INT_MIN;
    int m_policy = -1;
};

// The nice value a new thread of this process can give itself: wanted, or,
// where raising needs a privilege that the process lacks, what it inherited.
int NiceAThreadCanTake(int wanted)
{
    int taken = INT_MIN;
    std::thread([&] {
        const auto self = static_cast<id_t>(::gettid());
        ::setpriority(PRIO_PROCESS, self, wanted);
        taken = ::getpriority(PRIO_PROCESS, self);
    }).join();
    return taken;
}

void ExpectLevel(const TPriorityProbe &probe, int level)
{
    EXPECT_EQ(probe.m_nice, NiceAThreadCanTake(PriorityLevelNice(level)));
    EXPECT_EQ(probe.m_policy, level == IdlePriorityLevel ? SCHED_IDLE : SCHED_OTHER);
}
#elif defined(_WIN32)
class TPriorityProbe final : public TDonkeyFile
{
public:
    using TDonkeyFile::TDonkeyFile;
    bool HashFile() override
    {
        m_priority = ::GetThreadPriority(::GetCurrentThread());
        return false;
    }
    int m_priority = THREAD_PRIORITY_ERROR_RETURN;
};

void ExpectLevel(const TPriorityProbe &probe, int level)
{
    EXPECT_EQ(probe.m_priority, PriorityLevelWin32(level));
}
#endif

#if defined(__linux__) || defined(_WIN32)
TEST(TestThread, WorkerTakesItsPriorityLevel)
{
    const testsupport::TempDir dir;
    TTestDispatcher loop;
    for (int level = 0; level <= 6; ++level) {
        SCOPED_TRACE(level);
        TPriorityProbe probe(dir.file("missing"), hsAll);
        ASSERT_TRUE(StartAndRunToRelease(
            loop, std::make_unique<TTestThread>(probe, level, nullptr, loop)));
        ExpectLevel(probe, level);
    }
}
#endif

#if defined(__linux__)
// A level sets the scheduling class and the nice value both ways, whatever
// the thread had before; where the system refuses a raise (no privilege),
// the thread says so and stays as it was: it may go down to the idle class,
// and never come back.
TEST(PriorityLevel, SetsClassAndNiceBothWaysWherePermitted)
{
    if (::getpriority(PRIO_PROCESS, 0) != 0)
        GTEST_SKIP() << "the expected values suppose a process at nice 0";
    struct TStep
    {
        int level;
        bool applied;
        int policy;
        int nice;
    };
    struct TCase
    {
        const char *name;
        bool privileged;
        std::vector<TStep> steps;
    };
    const std::vector<TCase> cases = {
        {"with CAP_SYS_NICE", true,
         {{0, true, SCHED_IDLE, 19}, {3, true, SCHED_OTHER, 0}, {5, true, SCHED_OTHER, -10}, {1, true, SCHED_OTHER, 10},
          {6, true, SCHED_OTHER, -20}, {0, true, SCHED_IDLE, 19}}},
        {"without", false,
         {{2, true, SCHED_OTHER, 5}, {5, false, SCHED_OTHER, 5}, {0, true, SCHED_IDLE, 19}, {3, false, SCHED_IDLE, 19}}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::thread([&] {
            if (c.privileged ? !testsupport::HasNicePrivilege() : !testsupport::DropNicePrivilege())
                return; // nothing to see here: the other case covers this process
            for (const TStep &step : c.steps) {
                SCOPED_TRACE(step.level);
                EXPECT_EQ(ApplyPriorityLevel(step.level), step.applied);
                EXPECT_EQ(::sched_getscheduler(0), step.policy);
                EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), step.nice);
            }
        }).join();
    }
}
#endif

// Name, Size and the texts of an entry as one reader sees them.
struct TEntryTexts
{
    std::string name;
    std::int64_t size = 0;
    std::string donkeyHash;
    std::string fileSpreeHash;
    std::string donkeyLink;
    std::string linkName;
};

TEntryTexts ReadTexts(const TDonkeyFile &entry)
{
    return {entry.Name(), entry.Size(), entry.DonkeyHash(), entry.FileSpreeHash(),
            entry.DonkeyLink(), entry.LinkName()};
}

std::vector<std::string> LinkFields(const std::string &link)
{
    std::vector<std::string> fields;
    std::istringstream in(link);
    for (std::string field; std::getline(in, field, '|');)
        fields.push_back(field);
    return fields;
}

// Every whole value that an entry's texts take while one of its runs goes on.
// Link fields are checked one by one: a link read mid-refresh may pair the
// size of one moment with the hash of another, but no field may be torn.
class TLegalTexts final
{
public:
    void Add(const TEntryTexts &texts)
    {
        m_names.insert(texts.name);
        m_sizes.insert(texts.size);
        m_donkeyHashes.insert(texts.donkeyHash);
        m_fileSpreeHashes.insert(texts.fileSpreeHash);
        m_linkNames.insert(texts.linkName);
        const auto fields = LinkFields(texts.donkeyLink);
        m_linkFields.resize(std::max(m_linkFields.size(), fields.size()));
        m_linkFieldCount.insert(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i)
            m_linkFields[i].insert(fields[i]);
    }

    // Samples the texts of a fresh entry on path, during its run and after it;
    // gives the texts after the run.
    TEntryTexts AddRunOf(const std::string &path)
    {
        TDonkeyFile sample(path, hsAll);
        Add(ReadTexts(sample));
        sample.OnNewBlock = [this](TDonkeyFile &running) { Add(ReadTexts(running)); };
        sample.HashFile();
        const TEntryTexts hashed = ReadTexts(sample);
        Add(hashed);
        return hashed;
    }

    // The first text that is not legal, or empty.
    std::string Illegal(const TEntryTexts &texts) const
    {
        if (!m_names.contains(texts.name))
            return "Name " + texts.name;
        if (!m_sizes.contains(texts.size))
            return "Size " + std::to_string(texts.size);
        if (!m_donkeyHashes.contains(texts.donkeyHash))
            return "DonkeyHash " + texts.donkeyHash;
        if (!m_fileSpreeHashes.contains(texts.fileSpreeHash))
            return "FileSpreeHash " + texts.fileSpreeHash;
        if (!m_linkNames.contains(texts.linkName))
            return "LinkName " + texts.linkName;
        const auto fields = LinkFields(texts.donkeyLink);
        if (!m_linkFieldCount.contains(fields.size()))
            return "DonkeyLink " + texts.donkeyLink;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (!m_linkFields[i].contains(fields[i]))
                return "DonkeyLink " + texts.donkeyLink;
        return {};
    }

private:
    std::set<std::string> m_names, m_donkeyHashes, m_fileSpreeHashes, m_linkNames;
    std::set<std::int64_t> m_sizes;
    std::set<std::size_t> m_linkFieldCount;
    std::vector<std::set<std::string>> m_linkFields;
};

// One thread refreshes an entry over and over through workers, the file being
// rewritten between runs, while another reads its texts without pause.
TEST(TestThread, RefreshWhileAnotherThreadReads)
{
    constexpr int runs = 60;
    const testsupport::TempDir dir;
    const std::string path = dir.file("changing file.bin");
    const std::vector<std::uint8_t> contents[2] = {testsupport::PatternBytes(0, 1000),
                                                   testsupport::PatternBytes(7, 300001)};
    TLegalTexts legal;
    TEntryTexts hashed[2];
    for (int i : {1, 0}) {
        testsupport::WriteFile(path, contents[i]);
        hashed[i] = legal.AddRunOf(path);
    }
    ASSERT_NE(hashed[0].donkeyHash, hashed[1].donkeyHash);

    TDonkeyFile entry(path, hsAll); // holds contents[0]
    std::atomic<bool> stop{false};
    std::mutex readerLock;
    std::condition_variable readerStarted;
    bool started = false;
    std::string illegal;
    long reads = 0;
    // A snapshot holding a finished run's hash holds that run's size and MD5.
    const auto mixedSnapshot = [&](const TEntrySnapshot &shown) -> std::string {
        (void)entry.CurrentChunk(), (void)entry.OpenFailed(), (void)entry.Failure(), (void)entry.Warning();
        (void)entry.FileSpreeLink(), (void)entry.DonkeyLinkHtml(), (void)entry.ChunkCount();
        for (const TEntryTexts &run : hashed) {
            if (shown.DonkeyHash == run.donkeyHash && (shown.Size != run.size || shown.FileSpreeHash != run.fileSpreeHash))
                return "Snapshot " + shown.DonkeyHash + " " + std::to_string(shown.Size);
        }
        return {};
    };
    std::thread reader([&] {
        std::string firstIllegal;
        long count = 0;
        do {
            std::string bad = legal.Illegal(ReadTexts(entry));
            if (bad.empty())
                bad = mixedSnapshot(entry.Snapshot());
            if (firstIllegal.empty())
                firstIllegal = bad;
            if (++count == 1) {
                const std::lock_guard lock(readerLock);
                started = true;
                readerStarted.notify_all();
            }
        } while (!stop.load());
        const std::lock_guard lock(readerLock);
        illegal = firstIllegal;
        reads = count;
    });
    {
        std::unique_lock lock(readerLock);
        readerStarted.wait(lock, [&] { return started; });
    }

    TTestDispatcher loop;
    TEventLog log(loop);
    TRecordingBar bar(log);
    int finished = 0;
    std::vector<std::string> wrongResults;
    std::function<void()> refresh = [&] {
        auto thread = std::make_unique<TTestThread>(entry, NormalPriorityLevel, &bar, loop);
        thread->OnTerminate = [&](TTestThread &) {
            const TEntryTexts &expected = hashed[finished % 2];
            if (entry.DonkeyHash() != expected.donkeyHash || entry.Size() != expected.size)
                wrongResults.push_back("run " + std::to_string(finished));
            if (++finished < runs) {
                testsupport::WriteFile(path, contents[finished % 2]);
                refresh();
            }
        };
        TTestThread::Start(std::move(thread));
    };
    const int live = TTestThread::LiveCount();
    refresh();
    const bool completed = loop.RunUntil([&] { return finished == runs && TTestThread::LiveCount() == live; });
    stop = true;
    reader.join();
    ASSERT_TRUE(completed) << finished << " runs";

    EXPECT_EQ(wrongResults, std::vector<std::string>{});
    EXPECT_EQ(illegal, "") << "after " << reads << " reads";
    const auto events = log.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "step-it"), runs);
}

} // namespace
