#include "input/walkfeed.h"

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

TWalkFeed::TWalkFeed(TOptions options)
    : m_options(std::move(options))
{
}

TWalkFeed::~TWalkFeed()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
        m_abort = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::uint64_t TWalkFeed::Add(std::vector<std::string> paths, TMode mode)
{
    const std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Run(); });
    m_requests.push_back({++m_added, std::move(paths), mode});
    m_changed.notify_all();
    return m_added;
}

std::optional<TFeedBatch> TWalkFeed::TryTake()
{
    const std::lock_guard lock(m_mutex);
    if (m_batches.empty())
        return std::nullopt;
    TFeedBatch batch = std::move(m_batches.front());
    m_batches.pop_front();
    return batch;
}

void TWalkFeed::Stop()
{
    std::deque<TRequest> requests;
    std::deque<TFeedBatch> batches;
    {
        const std::lock_guard lock(m_mutex);
        requests.swap(m_requests);
        batches.swap(m_batches);
        ++m_generation;
        if (m_serving) {
            m_serving = false;
            m_abort = true;
        }
    }
    // What was dropped goes here, outside the lock.
}

bool TWalkFeed::Busy() const
{
    const std::lock_guard lock(m_mutex);
    return m_serving || !m_requests.empty() || !m_batches.empty();
}

void TWalkFeed::Run()
{
    for (;;) {
        TRequest request;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_closing || !m_requests.empty(); });
            if (m_closing)
                return;
            request = std::move(m_requests.front());
            m_requests.pop_front();
            generation = m_generation;
            m_serving = true;
            m_abort = false;
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
            const std::lock_guard lock(m_mutex);
            if (generation == m_generation)
                m_serving = false;
        }
    }
}

void TWalkFeed::Serve(const TRequest &request, std::uint64_t generation)
{
    using TClock = std::chrono::steady_clock;
    TFeedBatch batch{.Request = request.Number};
    TClock::time_point firstWaiting;
    bool handed = true;
    const auto handFull = [&] {
        if (batch.Files.size() >= m_options.BatchFiles
            || (!batch.Files.empty() && TClock::now() - firstWaiting >= m_options.BatchTime)) {
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
        if (!handed || m_abort.load())
            return;
        if (request.Mode == TMode::Measure) {
            found({root, MeasuredSize(root), false});
            continue;
        }
        WalkPath(
            root,
            [&](const TWalkItem &item) {
                if (item.Kind == TWalkItem::TKind::File)
                    found({item.Path, MeasuredSize(item.Path), item.Path != root});
                else if (item.Kind == TWalkItem::TKind::Failed)
                    batch.Failed.push_back(item);
            },
            &m_abort);
    }
    if (!handed || m_abort.load())
        return;
    batch.Last = true;
    Hand(batch, generation);
}

bool TWalkFeed::Hand(TFeedBatch &batch, std::uint64_t generation)
{
    {
        const std::lock_guard lock(m_mutex);
        if (generation != m_generation)
            return false;
        m_batches.push_back(std::move(batch));
        if (m_batches.back().Last)
            m_serving = false;
    }
    if (m_options.OnBatch) {
        try {
            m_options.OnBatch();
        } catch (...) {
            // The front end's own failure: the batch stays for TryTake.
        }
    }
    return true;
}
