// The walk on a thread of its own: the same files as WalkPath, in batches and
// in order, measured; a Stop that leaves nothing of the walk behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "deepfolder.h"
#include "input/fileio.h"
#include "input/walkfeed.h"
#include "testsupport.h"

namespace {

using namespace std::chrono_literals;

// Takes batches until the request's last one, or until the feed is idle.
std::vector<TFeedBatch> TakeAll(TWalkFeed &feed)
{
    std::vector<TFeedBatch> batches;
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < end) {
        if (std::optional<TFeedBatch> batch = feed.TryTake()) {
            batches.push_back(std::move(*batch));
            continue;
        }
        if (!feed.Busy())
            break;
        std::this_thread::sleep_for(1ms);
    }
    return batches;
}

} // namespace

// Batches of at most three files, which together are the walk's files in its
// order, each measured; a file given as it stands is not InFolder; only the
// request's last batch says so; every batch is announced.
TEST(WalkFeed, WalksInBatchesInOrderMeasured)
{
    testsupport::TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
    for (const char *name : {"tree/b", "tree/a/2", "tree/a/1", "tree/c/d/e", "tree/Y", "tree/z", "alone"})
        std::filesystem::create_directories(PathFromUtf8(root + "/" + name).parent_path());
    int size = 0;
    for (const char *name : {"tree/b", "tree/a/2", "tree/a/1", "tree/c/d/e", "tree/Y", "tree/z", "alone"})
        testsupport::WriteFile(root + "/" + name, std::string(static_cast<std::size_t>(++size), 'x'));

    std::atomic<int> announced = 0;
    TWalkFeed feed({.OnBatch = [&] { ++announced; }, .BatchFiles = 3, .BatchTime = 1h});
    const std::uint64_t request = feed.Add({root + "/tree", root + "/alone"}, TWalkFeed::TMode::Walk);
    const std::vector<TFeedBatch> batches = TakeAll(feed);
    EXPECT_FALSE(feed.Busy());

    std::vector<TFoundFile> files;
    for (std::size_t i = 0; i < batches.size(); ++i) {
        EXPECT_EQ(batches[i].Request, request);
        EXPECT_LE(batches[i].Files.size(), 3u);
        EXPECT_EQ(batches[i].Last, i + 1 == batches.size());
        EXPECT_TRUE(batches[i].Failed.empty());
        files.insert(files.end(), batches[i].Files.begin(), batches[i].Files.end());
    }
    EXPECT_EQ(announced.load(), static_cast<int>(batches.size()));

    std::vector<std::string> expected;
    WalkPath(root + "/tree", [&](const TWalkItem &item) { expected.push_back(item.Path); });
    expected.push_back(root + "/alone");
    ASSERT_EQ(files.size(), expected.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].Path, expected[i]);
        EXPECT_EQ(files[i].Size, static_cast<std::int64_t>(std::filesystem::file_size(PathFromUtf8(expected[i]))));
        EXPECT_EQ(files[i].InFolder, i + 1 < files.size()) << files[i].Path;
    }
}

// Measure takes every path as it stands, a folder and a missing path
// included, in order, in one batch when they come quickly.
TEST(WalkFeed, MeasuresPathsAsTheyStand)
{
    testsupport::TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
    testsupport::WriteFile(root + "/five", std::string("12345"));
    std::filesystem::create_directory(PathFromUtf8(root + "/folder"));
    TWalkFeed feed({});
    feed.Add({root + "/five", root + "/folder", root + "/missing", root + "/five"}, TWalkFeed::TMode::Measure);
    const std::vector<TFeedBatch> batches = TakeAll(feed);
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_TRUE(batches[0].Last);
    std::vector<std::pair<std::string, std::int64_t>> got;
    for (const TFoundFile &file : batches[0].Files) {
        EXPECT_FALSE(file.InFolder);
        got.emplace_back(file.Path.substr(root.size()), file.Size);
    }
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::int64_t>>{{"/five", 5}, {"/folder", 0}, {"/missing", 0}, {"/five", 5}}));

    // Walks that do not measure: their files say so; a measure still measures.
    TWalkFeed unmeasured({.MeasureWalks = false});
    unmeasured.Add({root}, TWalkFeed::TMode::Walk);
    unmeasured.Add({root + "/five"}, TWalkFeed::TMode::Measure);
    std::vector<std::int64_t> sizes;
    for (const TFeedBatch &batch : TakeAll(unmeasured))
        for (const TFoundFile &file : batch.Files)
            sizes.push_back(file.Size);
    EXPECT_EQ(sizes, (std::vector<std::int64_t>{-1, 5}));
}

// A Stop in the middle of a walk of 3,000 files: idle at once, nothing of the
// walk handed over afterwards, and a request made after it is served whole.
TEST(WalkFeed, StopDropsTheWalkUnderWay)
{
    testsupport::TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
    for (int folder = 0; folder < 30; ++folder) {
        const std::string path = root + "/many/" + std::to_string(folder);
        std::filesystem::create_directories(PathFromUtf8(path));
        for (int file = 0; file < 100; ++file)
            testsupport::WriteFile(path + "/" + std::to_string(file), std::string("x"));
    }
    testsupport::WriteFile(root + "/after", std::string("abc"));

    std::atomic<int> announced = 0;
    TWalkFeed feed({.OnBatch = [&] { ++announced; }, .BatchFiles = 10, .BatchTime = 1h});
    const std::uint64_t stopped = feed.Add({root + "/many"}, TWalkFeed::TMode::Walk);
    feed.Add({root + "/many"}, TWalkFeed::TMode::Walk);
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (announced.load() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(100us);
    ASSERT_GT(announced.load(), 0);
    feed.Stop();
    EXPECT_FALSE(feed.Busy());
    EXPECT_FALSE(feed.TryTake().has_value());

    const std::uint64_t after = feed.Add({root + "/after"}, TWalkFeed::TMode::Walk);
    const std::vector<TFeedBatch> batches = TakeAll(feed);
    ASSERT_FALSE(batches.empty());
    for (const TFeedBatch &batch : batches)
        EXPECT_EQ(batch.Request, after) << "a batch of request " << batch.Request << " (stopped: " << stopped << ")";
    ASSERT_EQ(batches.back().Files.size(), 1u);
    EXPECT_EQ(batches.back().Files[0].Size, 3);
}

#ifndef _WIN32
// Folders that cannot be read are named with the reason in the request's
// batches, and the walk goes on past them.
TEST(WalkFeed, ReportsWhatCannotBeRead)
{
    testsupport::TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
    std::filesystem::create_directory(PathFromUtf8(root + "/top"));
    const TDeepFolder first(root + "/top", "1-deep");
    const TDeepFolder second(root + "/top", "2-deep");
    ASSERT_TRUE(first.Made() && second.Made());
    testsupport::WriteFile(root + "/top/3-file", std::string("abc"));
    TWalkFeed feed({.BatchFiles = 1});
    feed.Add({root + "/top"}, TWalkFeed::TMode::Walk);
    std::vector<TWalkItem> failed;
    std::vector<std::string> files;
    for (const TFeedBatch &batch : TakeAll(feed)) {
        failed.insert(failed.end(), batch.Failed.begin(), batch.Failed.end());
        for (const TFoundFile &file : batch.Files)
            files.push_back(file.Path);
    }
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].Path.rfind(root + "/top/1-deep/", 0), 0u);
    EXPECT_EQ(failed[1].Path.rfind(root + "/top/2-deep/", 0), 0u);
    EXPECT_FALSE(failed[0].Reason.empty());
    EXPECT_EQ(files, std::vector<std::string>{root + "/top/3-file"});
}
#endif

// The walk runs ahead of the front end by FilesWaiting files at most: it
// waits until batches are taken, then goes on, and hands over every file in
// order all the same.
TEST(WalkFeed, RunsAheadByFilesWaitingAtMost)
{
    testsupport::TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
    std::filesystem::create_directory(PathFromUtf8(root + "/many"));
    for (int file = 0; file < 40; ++file)
        testsupport::WriteFile(root + "/many/" + std::to_string(100 + file), std::string("x"));
    std::atomic<int> announced = 0;
    TWalkFeed feed({.OnBatch = [&] { ++announced; }, .BatchFiles = 2, .BatchTime = 1h, .FilesWaiting = 4});
    feed.Add({root + "/many"}, TWalkFeed::TMode::Walk);
    std::vector<std::string> files;
    const auto keep = [&](const TFeedBatch &batch) {
        for (const TFoundFile &file : batch.Files)
            files.push_back(file.Path.substr(root.size() + 6));
    };
    // Held with two batches of two files waiting each time, one taken at a time.
    for (int taken = 0; taken < 15; ++taken) {
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (!feed.Held() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(feed.Held()) << taken;
        ASSERT_EQ(announced.load() - taken, 2) << taken;
        std::optional<TFeedBatch> batch = feed.TryTake();
        ASSERT_TRUE(batch);
        keep(*batch);
    }
    for (const TFeedBatch &batch : TakeAll(feed))
        keep(batch);
    std::vector<std::string> expected;
    for (int file = 0; file < 40; ++file)
        expected.push_back(std::to_string(100 + file));
    EXPECT_EQ(files, expected);
}

// A feed whose walk is stuck (a stat on a dead network mount) is destroyed
// at once: nothing waits for the thread, and the thread, once free, ends
// without calling the front end.
TEST(WalkFeed, DestroyedWithoutWaitingForAStuckWalk)
{
    testsupport::TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
    testsupport::WriteFile(root + "/stuck", std::string("x"));
    struct TGate
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool entered = false;
        bool open = false;
        bool left = false;
    };
    const auto gate = std::make_shared<TGate>();
    std::atomic<int> announced = 0;
    {
        TWalkFeed feed({.OnBatch = [&] { ++announced; }, .SizeOf = [gate](const std::string &) {
            std::unique_lock lock(gate->mutex);
            gate->entered = true;
            gate->changed.notify_all();
            gate->changed.wait(lock, [&] { return gate->open; });
            gate->left = true;
            gate->changed.notify_all();
            return std::int64_t{1};
        }});
        feed.Add({root + "/stuck"}, TWalkFeed::TMode::Measure);
        std::unique_lock lock(gate->mutex);
        ASSERT_TRUE(gate->changed.wait_for(lock, 60s, [&] { return gate->entered; }));
    }
    // Here only because the destructor did not wait for the walk.
    std::unique_lock lock(gate->mutex);
    gate->open = true;
    gate->changed.notify_all();
    ASSERT_TRUE(gate->changed.wait_for(lock, 60s, [&] { return gate->left; }));
    lock.unlock();
    EXPECT_EQ(announced.load(), 0);
}
