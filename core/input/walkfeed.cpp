#include "input/walkfeed.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "input/fileio.h"

namespace {

std::int64_t MeasuredSize(const std::string &path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

} // namespace

struct TWalkFeed::TShared
{
    struct TRequest
    {
        std::uint64_t Number = 0;
        std::vector<std::string> Paths;
        TMode Mode = TMode::Walk;
    };

    explicit TShared(TOptions options)
        : Options(std::move(options))
    {
    }

    std::int64_t SizeOf(const std::string &path) const
    {
        return Options.SizeOf ? Options.SizeOf(path) : MeasuredSize(path);
    }

    void Run();
    void Serve(const TRequest &request, std::uint64_t generation);
    // Hands batch over unless a Stop came since the request began (false
    // then), once there is room for it.
    bool Hand(TFeedBatch &batch, std::uint64_t generation);
    // Drops what waits and what is under way; under mutex.
    void DropAll(std::deque<TRequest> &requests, std::deque<TFeedBatch> &batches);

    const TOptions Options;
    mutable std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<TRequest> Requests;
    std::deque<TFeedBatch> Batches;
    std::size_t WaitingFiles = 0; // in Batches
    std::uint64_t Added = 0;
    // One more at each Stop: a request begun before it hands nothing over.
    std::uint64_t Generation = 0;
    bool Serving = false; // a request is under way and was not stopped
    bool Held = false;    // ... and waits for room
    bool Closing = false;
    // Read by the walk under way at every entry.
    std::atomic<bool> Abort{false};
    // Held while OnBatch runs; Gone once the feed is destroyed.
    std::mutex CallMutex;
    bool Gone = false;
};

TWalkFeed::TWalkFeed(TOptions options)
    : m_shared(std::make_shared<TShared>(std::move(options)))
{
}

TWalkFeed::~TWalkFeed()
{
    std::deque<TShared::TRequest> requests;
    std::deque<TFeedBatch> batches;
    {
        const std::lock_guard lock(m_shared->Mutex);
        m_shared->Closing = true;
        m_shared->DropAll(requests, batches);
    }
    m_shared->Changed.notify_all();
    {
        const std::lock_guard call(m_shared->CallMutex);
        m_shared->Gone = true;
    }
    if (m_thread.joinable())
        m_thread.detach();
}

std::uint64_t TWalkFeed::Add(std::vector<std::string> paths, TMode mode)
{
    const std::lock_guard lock(m_shared->Mutex);
    if (!m_thread.joinable())
        m_thread = std::thread([shared = m_shared] { shared->Run(); });
    m_shared->Requests.push_back({++m_shared->Added, std::move(paths), mode});
    m_shared->Changed.notify_all();
    return m_shared->Added;
}

std::optional<TFeedBatch> TWalkFeed::TryTake()
{
    std::optional<TFeedBatch> batch;
    {
        const std::lock_guard lock(m_shared->Mutex);
        if (m_shared->Batches.empty())
            return std::nullopt;
        batch = std::move(m_shared->Batches.front());
        m_shared->Batches.pop_front();
        m_shared->WaitingFiles -= batch->Files.size();
        // Room again: the walk goes on as soon as it wakes.
        if (m_shared->WaitingFiles < std::max<std::size_t>(m_shared->Options.FilesWaiting, 1))
            m_shared->Held = false;
    }
    m_shared->Changed.notify_all();
    return batch;
}

void TWalkFeed::Stop()
{
    std::deque<TShared::TRequest> requests;
    std::deque<TFeedBatch> batches;
    {
        const std::lock_guard lock(m_shared->Mutex);
        m_shared->DropAll(requests, batches);
    }
    m_shared->Changed.notify_all();
    // What was dropped goes here, outside the lock.
}

bool TWalkFeed::Busy() const
{
    const std::lock_guard lock(m_shared->Mutex);
    return m_shared->Serving || !m_shared->Requests.empty() || !m_shared->Batches.empty();
}

bool TWalkFeed::Held() const
{
    const std::lock_guard lock(m_shared->Mutex);
    return m_shared->Held;
}

void TWalkFeed::TShared::DropAll(std::deque<TRequest> &requests, std::deque<TFeedBatch> &batches)
{
    requests.swap(Requests);
    batches.swap(Batches);
    WaitingFiles = 0;
    ++Generation;
    if (Serving) {
        Serving = false;
        Held = false;
        Abort = true;
    }
}

void TWalkFeed::TShared::Run()
{
    for (;;) {
        TRequest request;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(Mutex);
            Changed.wait(lock, [this] { return Closing || !Requests.empty(); });
            if (Closing)
                return;
            request = std::move(Requests.front());
            Requests.pop_front();
            generation = Generation;
            Serving = true;
            Abort = false;
        }
        try {
            Serve(request, generation);
        } catch (...) {
            // Out of memory for a batch: the request ends with what was
            // handed over so far, and says so if it still can.
            try {
                TFeedBatch last{.Request = request.Number, .Last = true};
                last.Failed.push_back({TWalkItem::TKind::Failed,
                                       request.Paths.empty() ? std::string() : request.Paths.front(), "out of memory"});
                Hand(last, generation);
            } catch (...) {
            }
            const std::lock_guard lock(Mutex);
            if (generation == Generation)
                Serving = false;
        }
    }
}

void TWalkFeed::TShared::Serve(const TRequest &request, std::uint64_t generation)
{
    using TClock = std::chrono::steady_clock;
    TFeedBatch batch{.Request = request.Number};
    TClock::time_point firstWaiting;
    bool handed = true;
    const auto handFull = [&] {
        if (batch.Files.size() >= Options.BatchFiles
            || (!batch.Files.empty() && TClock::now() - firstWaiting >= Options.BatchTime)) {
            handed = Hand(batch, generation);
            batch = TFeedBatch{.Request = request.Number};
        }
    };
    const auto found = [&](TFoundFile file) {
        if (batch.Files.empty())
            firstWaiting = TClock::now();
        batch.Files.push_back(std::move(file));
        handFull();
    };

    for (const std::string &root : request.Paths) {
        if (!handed || Abort.load())
            return;
        if (request.Mode == TMode::Measure) {
            found({root, SizeOf(root), false});
            continue;
        }
        WalkPath(
            root,
            [&](const TWalkItem &item) {
                if (!handed)
                    return;
                if (item.Kind == TWalkItem::TKind::File)
                    found({item.Path, Options.MeasureWalks ? SizeOf(item.Path) : -1, item.Path != root, item.Listed});
                else if (item.Kind == TWalkItem::TKind::Failed)
                    batch.Failed.push_back(item);
            },
            &Abort);
    }
    if (!handed || Abort.load())
        return;
    batch.Last = true;
    Hand(batch, generation);
}

bool TWalkFeed::TShared::Hand(TFeedBatch &batch, std::uint64_t generation)
{
    {
        std::unique_lock lock(Mutex);
        const std::size_t room = std::max<std::size_t>(Options.FilesWaiting, 1);
        if (generation == Generation && WaitingFiles >= room) {
            Held = true;
            Changed.wait(lock, [&] { return generation != Generation || WaitingFiles < room; });
            if (generation == Generation)
                Held = false;
        }
        if (generation != Generation)
            return false;
        WaitingFiles += batch.Files.size();
        Batches.push_back(std::move(batch));
        if (Batches.back().Last)
            Serving = false;
    }
    const std::lock_guard call(CallMutex);
    if (!Gone && Options.OnBatch) {
        try {
            Options.OnBatch();
        } catch (...) {
            // The front end's own failure: the batch stays for TryTake.
        }
    }
    return true;
}
