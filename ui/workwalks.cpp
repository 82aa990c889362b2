// The work controller's walks of folders, and the sizes measured for the
// progress line, both on the walk feed's thread.
#include "workcontroller.h"
#include "workcontroller_p.h"

#include <QElapsedTimer>

#include <algorithm>
#include <exception>

#include "entries/partfile.h"
#include "input/walkfeed.h"
#include "runs/hashqueue.h"
#include "runs/thread.h"

using namespace workcontroller;

void TWorkController::AddFolders(std::vector<std::string> paths)
{
    if (paths.empty())
        return;
    try {
        const std::uint64_t request = m_feed->Add(std::move(paths), TWalkFeed::TMode::Walk);
        m_feedRequests[request] = TFeedRequest{};
    } catch (const std::exception &e) {
        emit Failed(QString::fromLocal8Bit(e.what()));
        return;
    }
    m_notHashed.reset();
    Changed();
}

bool TWorkController::Walking() const
{
    return std::any_of(m_feedRequests.begin(), m_feedRequests.end(),
                       [](const auto &request) { return request.second.Walk; });
}

bool TWorkController::WalkWaiting() const
{
    return m_feed->Held();
}

// --- Walks and measures --------------------------------------------------------

void TWorkController::TakeFeed()
{
    m_feedPosted->store(false);
    QElapsedTimer spent;
    spent.start();
    bool taken = false;
    while (FilesLeft() + (m_parts.Queue ? m_parts.Queue->Pending() : 0) < WalkAhead) {
        std::optional<TFeedBatch> batch = m_feed->TryTake();
        if (!batch)
            break;
        taken = true;
        TakeBatch(std::move(*batch));
        // The rest in a step of its own, as the listing does.
        if (spent.elapsed() >= SliceMs) {
            if (!m_feedPosted->exchange(true)) {
                try {
                    m_dispatcher->Post([this] { TakeFeed(); });
                } catch (...) {
                    m_feedPosted->store(false); // the tick takes them
                }
            }
            break;
        }
    }
    if (taken)
        Changed();
}

void TWorkController::TakeBatch(TFeedBatch batch)
{
    const auto found = m_feedRequests.find(batch.Request);
    if (found == m_feedRequests.end())
        return;
    TFeedRequest &request = found->second;
    if (!request.Walk) {
        // Sizes for paths given before: those still waiting count them.
        for (const TFoundFile &file : batch.Files) {
            if (request.Measured >= request.Indexes.size())
                break;
            const std::size_t index = request.Indexes[request.Measured++];
            if (request.QueueNumber != m_files.QueueNumber)
                continue;
            TGiven *given = GivenAt(m_files, index);
            if (!given || given->Size >= 0)
                continue;
            given->Size = file.Size;
            m_run.WaitingBytes += file.Size;
            if (m_run.Unmeasured > 0)
                --m_run.Unmeasured;
        }
    } else {
        // A descriptor found in a folder is read as one; every other file,
        // and a path given as it stands, is hashed.
        std::vector<TPath> files;
        std::vector<TPath> descriptors;
        files.reserve(batch.Files.size());
        for (TFoundFile &file : batch.Files) {
            const bool descriptor = file.InFolder && IsPartMetPath(file.Path);
            (descriptor ? descriptors : files).push_back({std::move(file.Path), file.Size, file.Listed});
        }
        if (!descriptors.empty())
            QueuePaths(m_parts, std::move(descriptors));
        if (!files.empty())
            QueuePaths(m_files, std::move(files), false);
        for (TWalkItem &failed : batch.Failed) {
            if (request.Failed.size() < FaultsShown)
                request.Failed.push_back({std::move(failed.Path), std::move(failed.Reason)});
            else
                ++request.MoreFailed;
        }
    }
    if (!batch.Last)
        return;
    const TFeedRequest ended = std::move(request);
    m_feedRequests.erase(found);
    // The files still waiting are measured now (those hashed meanwhile never
    // were): the run's total comes soon after the walk's end.
    if (ended.Walk)
        MeasureWaiting();
    if (!ended.Failed.empty())
        emit FoldersNotRead(ended.Failed, ended.MoreFailed);
}

void TWorkController::MeasureWaiting()
{
    std::vector<std::string> paths;
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < m_files.Given.size(); ++i) {
        const TGiven &given = m_files.Given[i];
        if (!given.Taken && given.Size < 0) {
            paths.push_back(given.Path);
            indexes.push_back(m_files.FirstGiven + i);
        }
    }
    Measure(std::move(paths), std::move(indexes));
}

void TWorkController::Measure(std::vector<std::string> paths, std::vector<std::size_t> indexes)
{
    if (paths.empty())
        return;
    try {
        const std::uint64_t request = m_feed->Add(std::move(paths), TWalkFeed::TMode::Measure);
        m_feedRequests[request] = TFeedRequest{.Walk = false, .QueueNumber = m_files.QueueNumber, .Indexes = std::move(indexes)};
    } catch (...) {
        // No thread to measure them: the line shows no total and no time left.
    }
}
