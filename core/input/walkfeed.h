#pragma once

// Folder walks and file sizes on a thread of their own, for a front end that
// must not wait for the disk while it walks a folder of 100,000 files: what
// the thread finds comes back in batches, in order, and the front end takes
// them when it is told they are there.
//
//   TWalkFeed feed({.OnBatch = [&] { post a step to the interface thread; }});
//   const auto request = feed.Add({folder}, TWalkFeed::TMode::Walk);
//   // The posted step, on the interface thread:
//   while (std::optional<TFeedBatch> batch = feed.TryTake())
//       queue batch->Files; report batch->Failed once batch->Last says the request is done.
//   feed.Stop();   // what waits is dropped; the walk under way ends at its next entry
//
// A request's files are measured as they are found (one stat each), so that a
// front end can tell how many bytes lie ahead before it hashes them. The walk
// runs ahead of the front end by FilesWaiting files at most: then it waits
// until batches are taken, so that a folder of a million files costs the
// memory of a few batches, not of a million paths.
//
// The thread is never joined: a stat on a dead network mount may not return,
// and a front end that is closing must not wait for it. Once the feed is
// destroyed the thread touches nothing of the front end's (OnBatch is not
// called again) and ends on its own at the walk's next entry.

#include <atomic>
#include <chrono>
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

#include "input/walk.h"

struct TFoundFile
{
    std::string Path;
    // Its size when it was found; 0 when it could not be measured (a path
    // that cannot be looked at will not be read either); -1 when a walk did
    // not measure it (MeasureWalks off).
    std::int64_t Size = 0;
    // Met inside a folder that was walked, rather than given as it stands.
    bool InFolder = false;
    // What the folder's listing said of it.
    TListedAs Listed = TListedAs::Unknown;
};

struct TFeedBatch
{
    // The number Add gave the request.
    std::uint64_t Request = 0;
    // The next files of the request, in the order of the walk.
    std::vector<TFoundFile> Files = {};
    // Folders (or entries of them) that could not be read, with why.
    std::vector<TWalkItem> Failed = {};
    // The request's last batch: nothing more comes of it.
    bool Last = false;
};

class TWalkFeed final
{
public:
    enum class TMode
    {
        // Each path as WalkPath walks it: a folder stands for the files under
        // it (special files left out), any other path for itself.
        Walk,
        // Each path for itself, measured only.
        Measure,
    };

    struct TOptions
    {
        // On the feed's thread, after each batch it makes ready; never with
        // the feed's lock held.
        std::function<void()> OnBatch = {};
        // A batch is handed over once it holds this many files, or once its
        // first file has waited BatchTime, or at the request's end.
        std::size_t BatchFiles = 1024;
        std::chrono::milliseconds BatchTime{25};
        // Files in batches not yet taken, at most, before the walk waits for
        // the front end (a batch is never cut for it).
        std::size_t FilesWaiting = 8192;
        // How a file found is measured; none: its size on the file system (0
        // when it cannot be had).
        std::function<std::int64_t(const std::string &path)> SizeOf = {};
        // Walks measure the files they find; off, they do not (one stat a
        // file less), for a front end that measures later what it still needs.
        bool MeasureWalks = true;
    };

    explicit TWalkFeed(TOptions options);
    // Stops as Stop does, without waiting for the thread (see above); returns
    // once no OnBatch call is under way.
    ~TWalkFeed();
    TWalkFeed(const TWalkFeed &) = delete;
    TWalkFeed &operator=(const TWalkFeed &) = delete;

    // Queues a request for the paths, in their order, behind those before it,
    // and returns its number. Starts the thread the first time; throws
    // std::system_error when it cannot be had.
    std::uint64_t Add(std::vector<std::string> paths, TMode mode);
    // The next batch, without waiting; nothing when none is ready.
    std::optional<TFeedBatch> TryTake();
    // Drops every request and every batch not yet taken; the walk under way
    // ends at its next entry, and nothing of it is handed over.
    void Stop();
    // Requests waiting or under way (not stopped), or batches not yet taken.
    bool Busy() const;
    // The request under way waits for batches to be taken (FilesWaiting).
    bool Held() const;

private:
    // What the thread shares with the feed, and keeps alive after it.
    struct TShared;
    std::shared_ptr<TShared> m_shared;
    std::thread m_thread;
};
