#pragma once

#include <array>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class TDonkeyFile;

// The interface thread's event loop, as the core sees it. The GUI implements it
// over Qt's queued calls; the tests over a small loop of their own.
class TDispatcher
{
public:
    virtual ~TDispatcher();

    // Runs step on the interface thread and returns once it has run; an exception
    // from step reaches the caller. Called on the interface thread itself, it runs
    // step at once.
    virtual void Synchronize(std::function<void()> step) = 0;
    // Queues step for the interface thread and returns at once. Never runs step
    // inline, not even on the interface thread. A step that is dropped unrun
    // (the loop ends first) is destroyed all the same.
    virtual void Post(std::function<void()> step) = 0;
};

// A progress bar. Called on the interface thread only.
class TProgressTarget
{
public:
    virtual ~TProgressTarget();

    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetPosition(int position) = 0;
    virtual void SetVisible(bool visible) = 0;
    // Advances the position by the step.
    virtual void StepIt() = 0;
};

// The seven priority levels of a worker: idle, lowest, below normal, normal,
// above normal, highest, time critical.
inline constexpr int IdlePriorityLevel = 0;
inline constexpr int NormalPriorityLevel = 3;
inline constexpr int TimeCriticalPriorityLevel = 6;

// A level outside 0..6 taken as the nearest one inside.
constexpr int ClampPriorityLevel(int level)
{
    return level < IdlePriorityLevel ? IdlePriorityLevel
         : level > TimeCriticalPriorityLevel ? TimeCriticalPriorityLevel
         : level;
}

// The nice value a worker of a level gives itself on Linux. Level 0 also puts
// the worker in the idle scheduling class, so that it runs only on spare time.
constexpr int PriorityLevelNice(int level)
{
    constexpr std::array<int, 7> nice{19, 10, 5, 0, -5, -10, -20};
    return nice[static_cast<std::size_t>(ClampPriorityLevel(level))];
}

// The Windows thread priority of a level: THREAD_PRIORITY_IDLE (-15) up to
// THREAD_PRIORITY_TIME_CRITICAL (15).
constexpr int PriorityLevelWin32(int level)
{
    constexpr std::array<int, 7> priority{-15, -2, -1, 0, 1, 2, 15};
    return priority[static_cast<std::size_t>(ClampPriorityLevel(level))];
}

// Gives the calling thread the priority of a level (outside 0..6: the nearest
// one inside), whatever it had: on Linux its scheduling class (the idle class
// for level 0, the normal one otherwise) and its nice value, set both ways; on
// Windows its thread priority. Returns false when the system refused part of
// it, which then stays as it was: on Linux, without CAP_SYS_NICE (and with the
// usual RLIMIT_NICE of 0), a thread may lower itself but never raise its nice
// value below what it has nor leave the idle class, so levels 4 to 6 leave it
// at the nice value it started with, and a thread once idle stays idle.
bool ApplyPriorityLevel(int level);

// Starts threads on behalf of threads whose own priority may have been
// lowered. A new thread inherits the scheduling class and nice value of the
// thread that makes it, and without CAP_SYS_NICE could not take a higher level
// than that: the threads started here are made by the starter's own thread,
// which keeps the priority of the thread that made the starter.
class TThreadStarter final
{
public:
    // Makes the starter's thread, at the caller's priority; throws
    // std::system_error when no thread can be had.
    TThreadStarter();
    TThreadStarter(const TThreadStarter &) = delete;
    TThreadStarter &operator=(const TThreadStarter &) = delete;

    // A new thread that runs body, made by the starter's thread; throws what
    // making a std::thread throws. From any thread, several at once.
    std::thread Start(std::function<void()> body);

private:
    void Serve(const std::stop_token &stop);

    std::mutex m_oneAtATime;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::function<void()> m_body;
    bool m_requested = false;
    std::thread m_made;
    std::exception_ptr m_failure;
    // Declared last: it serves as soon as it exists.
    std::jthread m_thread;
};

// One hashing run of one entry on a worker thread of its own, with progress on
// the interface thread.
//
// Life of a worker, every step but Execute on the interface thread:
//   auto thread = std::make_unique<TTestThread>(entry, level, &bar, dispatcher);
//   thread->OnTerminate = ...;           // bar already set up, worker suspended
//   TTestThread::Start(std::move(thread));
// The worker runs entry.HashFile() once; after each chunk it has the interface
// thread step the bar and waits for it. When HashFile has returned (or thrown),
// the worker posts its completion: OnTerminate runs on the interface thread and
// the object is released right after it returns (free-on-terminate). The
// interface thread never waits for the worker, and the worker touches nothing
// of the object, nor the entry, once it has posted its completion.
//
// A worker that is never started is destroyed like any object: its suspended
// thread ends without doing any work.
class TTestThread final
{
public:
    using TTerminateEvent = std::function<void(TTestThread &)>;

    // Creates the worker suspended. With a progress target, binds the entry's
    // OnNewBlock to this worker and sets the bar up at once: 0 of ChunkCount,
    // step 1, shown. Call on the interface thread. Throws std::system_error, with
    // the system's reason, when the thread cannot be created.
    TTestThread(TDonkeyFile &entry, int priorityLevel, TProgressTarget *progress,
                TDispatcher &dispatcher);
    ~TTestThread();

    TTestThread(const TTestThread &) = delete;
    TTestThread &operator=(const TTestThread &) = delete;

    // Lets the worker run and hands the object over to it: from here on it owns
    // itself and releases itself after OnTerminate. The pointer returned observes
    // it until OnTerminate returns. Call on the interface thread.
    static TTestThread *Start(std::unique_ptr<TTestThread> thread);

    // The completion handler: runs on the interface thread after HashFile has
    // returned or thrown, with the entry no longer touched by the worker. Bind it
    // before Start.
    TTerminateEvent OnTerminate;

    TDonkeyFile &Entry() const { return m_entry; }
    int PriorityLevel() const { return m_priorityLevel; }
    // What HashFile threw, if it threw; read them in OnTerminate.
    std::exception_ptr FatalException() const { return m_fatalException; }
    std::string FatalError() const { return m_fatalError; }

    // Workers created and not yet released, in the whole program.
    static int LiveCount();

private:
    enum class TGate
    {
        Closed,
        Open,
        Abandoned,
    };

    // Counts the live workers; constructed first and destroyed last.
    struct TLiveToken final
    {
        TLiveToken();
        ~TLiveToken();
        TLiveToken(const TLiveToken &) = delete;
        TLiveToken &operator=(const TLiveToken &) = delete;
    };

    // The worker's body: waits at the start gate, then runs Execute.
    void Run();
    void Execute();
    void KeepFatal(std::exception_ptr error) noexcept;
    void Abandon() noexcept;

    void SetupProgress();
    void BlockDone(TDonkeyFile &entry);
    void StepProgress();

    TLiveToken m_liveToken;
    TDonkeyFile &m_entry;
    TProgressTarget *const m_progress; // not owned; none for a run without a bar
    TDispatcher &m_dispatcher;
    const int m_priorityLevel;

    std::exception_ptr m_fatalException;
    std::string m_fatalError;
    // The posted completion; between Start and the post it holds the object itself.
    std::function<void()> m_completion;

    std::mutex m_gateLock;
    std::condition_variable m_gateChanged;
    TGate m_gate = TGate::Closed;
    // Declared last: the worker starts waiting on the gate as soon as it exists.
    std::thread m_thread;
};

// Starts count threads that each run work. Should the system refuse a thread,
// those already made do the work; should it refuse the first, work runs in the
// calling thread before this returns. The threads are joined when the vector goes.
std::vector<std::jthread> StartWorkers(std::size_t count, const std::function<void()> &work);
