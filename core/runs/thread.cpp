#include "runs/thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "entries/donkeyfile.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

std::atomic<int> liveWorkers{0};

#if defined(_WIN32)
static_assert(PriorityLevelWin32(0) == THREAD_PRIORITY_IDLE);
static_assert(PriorityLevelWin32(1) == THREAD_PRIORITY_LOWEST);
static_assert(PriorityLevelWin32(2) == THREAD_PRIORITY_BELOW_NORMAL);
static_assert(PriorityLevelWin32(3) == THREAD_PRIORITY_NORMAL);
static_assert(PriorityLevelWin32(4) == THREAD_PRIORITY_ABOVE_NORMAL);
static_assert(PriorityLevelWin32(5) == THREAD_PRIORITY_HIGHEST);
static_assert(PriorityLevelWin32(6) == THREAD_PRIORITY_TIME_CRITICAL);
#endif

// Posts step until the dispatcher takes it. A Post that throws (no memory for
// the queued call) is tried again after a pause: a completion report must
// arrive, or the window would wait for it forever. The step given to Post is
// a copy, so that the one here stays whole when Post throws.
void PostUntilTaken(TDispatcher &dispatcher, std::function<void()> &step) noexcept
{
    for (auto pause = std::chrono::milliseconds(1);; pause = std::min(2 * pause, std::chrono::milliseconds(1000))) {
        try {
            dispatcher.Post(step);
            break;
        } catch (...) {
        }
        std::this_thread::sleep_for(pause);
    }
    step = nullptr;
}

} // namespace

TDispatcher::~TDispatcher() = default;
TProgressTarget::~TProgressTarget() = default;

bool ApplyPriorityLevel(int level)
{
    level = ClampPriorityLevel(level);
#if defined(_WIN32)
    return ::SetThreadPriority(::GetCurrentThread(), PriorityLevelWin32(level)) != 0;
#elif defined(__linux__)
    bool applied = true;
    int policy = SCHED_OTHER;
    sched_param param{};
    if (::pthread_getschedparam(::pthread_self(), &policy, &param) != 0)
        policy = SCHED_OTHER;
    const int wanted = level == IdlePriorityLevel ? SCHED_IDLE : policy == SCHED_IDLE ? SCHED_OTHER : policy;
    if (wanted != policy) {
        const sched_param none{};
        applied = ::pthread_setschedparam(::pthread_self(), wanted, &none) == 0;
    }
    // On Linux the nice value belongs to the thread named by its id.
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), PriorityLevelNice(level)) == 0 && applied;
#else
    (void)level;
    return false;
#endif
}

TThreadStarter::TThreadStarter()
    : m_thread([this](const std::stop_token &stop) { Serve(stop); })
{
}

std::thread TThreadStarter::Start(std::function<void()> body)
{
    const std::lock_guard one(m_oneAtATime);
    std::unique_lock lock(m_mutex);
    m_body = std::move(body);
    m_requested = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_requested; });
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    return std::move(m_made);
}

void TThreadStarter::Serve(const std::stop_token &stop)
{
    std::unique_lock lock(m_mutex);
    while (m_changed.wait(lock, stop, [this] { return m_requested; })) {
        try {
            m_made = std::thread(std::move(m_body));
        } catch (...) {
            m_failure = std::current_exception();
        }
        m_body = nullptr;
        m_requested = false;
        m_changed.notify_all();
    }
}

TTestThread::TLiveToken::TLiveToken()
{
    liveWorkers.fetch_add(1, std::memory_order_relaxed);
}

TTestThread::TLiveToken::~TLiveToken()
{
    liveWorkers.fetch_sub(1, std::memory_order_relaxed);
}

int TTestThread::LiveCount()
{
    return liveWorkers.load(std::memory_order_relaxed);
}

TTestThread::TTestThread(TDonkeyFile &entry, int priorityLevel, TProgressTarget *progress,
                         TDispatcher &dispatcher)
    : m_entry(entry)
    , m_progress(progress)
    , m_dispatcher(dispatcher)
    , m_priorityLevel(ClampPriorityLevel(priorityLevel))
    , m_thread([this] { Run(); })
{
    if (!m_progress)
        return;
    try {
        m_entry.OnNewBlock = [this](TDonkeyFile &chunkEntry) { BlockDone(chunkEntry); };
        m_dispatcher.Synchronize([this] { SetupProgress(); });
    } catch (...) {
        m_entry.OnNewBlock = nullptr;
        Abandon();
        throw;
    }
}

TTestThread::~TTestThread()
{
    // A started worker was detached at its start and is done with the object by
    // now; it may also have been done with the entry long ago, so leave that alone.
    if (!m_thread.joinable())
        return;
    Abandon();
    if (m_progress)
        m_entry.OnNewBlock = nullptr;
}

TTestThread *TTestThread::Start(std::unique_ptr<TTestThread> thread)
{
    if (!thread)
        throw std::invalid_argument("TTestThread::Start: no thread");
    TTestThread &self = *thread;
    if (!self.m_thread.joinable())
        throw std::logic_error("TTestThread::Start: already started");

    // Free-on-terminate: the object owns itself through its completion step until
    // the worker posts that step; the step releases it once OnTerminate returns,
    // and a step that the loop drops unrun releases it as it is destroyed. The
    // holder is shared only because a std::function must be copyable.
    auto holder = std::make_shared<std::unique_ptr<TTestThread>>(std::move(thread));
    self.m_completion = [holder] {
        const std::unique_ptr<TTestThread> owned = std::move(*holder);
        if (owned && owned->OnTerminate)
            owned->OnTerminate(*owned);
    };
    // Never joined: the interface thread does not wait for a worker.
    self.m_thread.detach();
    {
        const std::lock_guard lock(self.m_gateLock);
        self.m_gate = TGate::Open;
    }
    // The object cannot go away before this returns: only a step run by this
    // (the interface) thread releases it.
    self.m_gateChanged.notify_one();
    return &self;
}

void TTestThread::Abandon() noexcept
{
    {
        const std::lock_guard lock(m_gateLock);
        m_gate = TGate::Abandoned;
    }
    m_gateChanged.notify_one();
    m_thread.join();
}

void TTestThread::Run()
{
    {
        std::unique_lock lock(m_gateLock);
        m_gateChanged.wait(lock, [this] { return m_gate != TGate::Closed; });
        if (m_gate == TGate::Abandoned)
            return;
    }
    Execute();
}

void TTestThread::Execute()
{
    ApplyPriorityLevel(m_priorityLevel);
    try {
        (void)m_entry.HashFile();
    } catch (...) {
        KeepFatal(std::current_exception());
    }
    // The binding serves this run only.
    if (m_progress)
        m_entry.OnNewBlock = nullptr;

    // The last touch of the object: once posted, the completion may release it.
    TDispatcher &dispatcher = m_dispatcher;
    std::function<void()> completion = std::move(m_completion);
    PostUntilTaken(dispatcher, completion);
}

void TTestThread::KeepFatal(std::exception_ptr error) noexcept
{
    m_fatalException = error;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        try {
            m_fatalError = e.what();
        } catch (...) {
        }
    } catch (...) {
        try {
            m_fatalError = "unknown exception";
        } catch (...) {
        }
    }
}

void TTestThread::SetupProgress()
{
    m_progress->SetRange(0, m_entry.ChunkCount());
    m_progress->SetStep(1);
    m_progress->SetPosition(0);
    m_progress->SetVisible(true);
}

void TTestThread::BlockDone(TDonkeyFile &)
{
    m_dispatcher.Synchronize([this] { StepProgress(); });
}

void TTestThread::StepProgress()
{
    m_progress->StepIt();
}

std::vector<std::jthread> StartWorkers(std::size_t count, const std::function<void()> &work)
{
    std::vector<std::jthread> workers;
    try {
        for (std::size_t w = 0; w < count; ++w)
            workers.emplace_back(work);
    } catch (const std::system_error &) {
        if (workers.empty())
            work();
    }
    return workers;
}
