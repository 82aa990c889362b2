#pragma once

#include <QObject>
#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "progressline.h"
#include "settings.h"

class QTimer;
class TCoreTokens;
class TDispatcher;
class TDonkeyFile;
class THashQueue;
class TNewEntrySettings;
class TWalkFeed;
struct TFeedBatch;

// Entries made and hashed (or read), handed to the list. A receiver takes them
// out; what it leaves is released.
struct TEntryBatch
{
    std::vector<std::unique_ptr<TDonkeyFile>> Entries;
};

// A path that gave nothing, with why: an entry that could not be made, a
// folder that could not be read.
struct TPathFault
{
    std::string Path;
    std::string Reason;
};

// How far the plain files of the run have come, for the progress line and
// the bar. While the total is unknown (a folder is still read, or some size
// not yet measured) there is no share: BarMaximum is 0, a busy bar.
struct TRunProgress
{
    TProgressCounts Counts;
    int BarValue = 0;
    int BarMaximum = 0;
};

// The window's work, without the window: the queues that make and hash the
// entries of the paths added (one for plain files, one for descriptors), the
// walks of folders, the refresh of a listed entry, Stop, the counts and the
// progress of the run. Paths come in absolute, as the system's bytes (see
// paths.h); what happens goes out through signals. Lives on the interface
// thread; its workers reach it only through posted steps.
//
//   TWorkController work(settings);       // the settings record it reads as paths come
//   connect(&work, &TWorkController::EntriesReady, ...);   // take them into the list
//   work.AddFiles({"/home/me/a.iso"});
//   work.AddFolders({"/home/me/films"});
//   work.Refresh(*listedEntry);
//   work.Stop();
//
// Entries are handed back as each is ready, not in the order given: a big
// file does not hold back the small ones after it.
class TWorkController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TWorkController)

public:
    // settings: read whenever paths are added (what their entries are made
    // with) and a refresh starts (its priority); it outlives the controller.
    // dispatcher: how the workers reach this thread; by default this thread's
    // event loop.
    explicit TWorkController(const TSettings &settings, QObject *parent = nullptr, TDispatcher *dispatcher = nullptr);
    // Drops what waits and ends what is under way: the hashing at its next
    // block (waiting for that), the walk without waiting for it.
    ~TWorkController() override;

    // Plain files to hash, descriptors to read, paths to walk (a folder stands
    // for the files under it, its .part.met files read as descriptors; any
    // other path for itself). Absolute paths, in their order.
    void AddFiles(std::vector<std::string> paths);
    void AddDescriptors(std::vector<std::string> paths);
    void AddFolders(std::vector<std::string> paths);
    // Hashes (reads) a listed entry again on a thread of its own; ignored,
    // false, while paths of its kind are under way. Paths added meanwhile wait
    // for it.
    bool Refresh(TDonkeyFile &entry);
    // Drops the paths waiting and the walks, ends the files under way (a
    // refresh included) at their next block; the entries already done are
    // handed over. NotHashed() then counts the rest.
    void Stop();
    // The settings record changed (the options were confirmed): the paths
    // whose entries are not made yet take it.
    void SettingsChanged();
    // Entries taken out of the list: one under refresh lives until its run
    // has ended.
    void Release(std::vector<std::unique_ptr<TDonkeyFile>> entries);

    // Plain files (descriptors) not yet handed over, or under refresh.
    bool FilesBusy() const;
    bool DescriptorsBusy() const;
    // A folder is being walked.
    bool Walking() const;
    // The walk waits for the hashing: it runs ahead of it by a few thousand
    // files at most.
    bool WalkWaiting() const;
    bool Busy() const { return FilesBusy() || DescriptorsBusy() || Walking(); }
    // Something Stop would end.
    bool Stoppable() const;
    // All that is left is what a Stop ended, winding down.
    bool OnlyStoppedWorkLeft() const;
    // Plain files added and not yet handed over.
    std::size_t FilesLeft() const;
    // Files the last Stop left unhashed, until more are added.
    std::optional<std::size_t> NotHashed() const { return m_notHashed; }
    // The plain-file entry under refresh, if any.
    const TDonkeyFile *Refreshing() const;
    TRunProgress Progress() const;

    // Where the Add dialog opens (where files were last chosen), and where the
    // Add Folder picker opens (the folder chosen last; empty: none yet).
    const QString &FilesFolder() const { return m_filesFolder; }
    void SetFilesFolder(const QString &folder) { m_filesFolder = folder; }
    const QString &LastFolder() const { return m_lastFolder; }
    void SetLastFolder(const QString &folder) { m_lastFolder = folder; }

    // The cores the hashing shares, one token a core.
    const std::shared_ptr<TCoreTokens> &CoreTokens() const { return m_cores; }
    // How often RunProgress is raised while plain files are hashed, in
    // milliseconds; 0: never.
    void SetProgressInterval(int milliseconds);

signals:
    void EntriesReady(TEntryBatch &batch);
    // Plain-file counts, the walk, the busy states or NotHashed changed.
    void StateChanged();
    // While plain files are hashed, at the progress interval; RunEnded once
    // none is.
    void RunProgress(const TRunProgress &progress);
    void RunEnded();
    // A plain-file refresh: chunk of chunks done (0 as it starts).
    void RefreshProgress(const TDonkeyFile *entry, int chunk, int chunks);
    // A refresh ended (fatal: what its run threw, if anything); the entry
    // shows what it holds now.
    void RefreshEnded(bool plainFile, const QString &fatal);
    // Paths that gave no entry, and folders that could not be read (named at
    // the walk's end), ten at most, with how many more.
    void EntriesFailed(const std::vector<TPathFault> &faults, int more);
    void FoldersNotRead(const std::vector<TPathFault> &folders, int more);
    // Something failed that the user must hear of.
    void Failed(const QString &message);

private:
    // A path given to a queue, with its size when the walk measured it, and
    // what the folder's listing said of it.
    struct TPath
    {
        std::string Path;
        std::int64_t Size = -1;
        TListedAs Listed = TListedAs::Unknown;
    };
    // A path given to a queue and not yet taken back: what a fault names, and
    // its size. Item i of the queue is Given[i - first index].
    struct TGiven
    {
        std::string Path;
        std::int64_t Size = -1; // -1: not measured yet
        bool Taken = false;
    };
    // The plain files added since the run began (the controller was last idle).
    struct TRunCount
    {
        std::size_t DoneFiles = 0;
        std::int64_t DoneBytes = 0;    // the sizes of the entries handed over
        std::int64_t WaitingBytes = 0; // the known sizes of the paths not yet handed over
        std::size_t Unmeasured = 0;    // paths not yet handed over whose size is not known yet
    };
    // The bar as last shown: it never goes back within a run.
    struct TBar
    {
        int Value = 0;
        int Maximum = -1;
    };
    struct TRefreshRun;
    // One kind of work, plain files or descriptors.
    struct TWork
    {
        explicit TWork(bool plainFiles);
        ~TWork();
        const bool PlainFiles;
        std::unique_ptr<THashQueue> Queue;
        // One more for each queue made: sizes measured for an older one are no use.
        std::uint64_t QueueNumber = 0;
        std::size_t FirstGiven = 0;
        std::deque<TGiven> Given;
        // Paths added while a refresh runs.
        std::vector<TPath> Held;
        std::unique_ptr<TRefreshRun> Refresh;
        // A step that takes the ready entries is on its way to this thread.
        std::shared_ptr<std::atomic<bool>> ReadyPosted = std::make_shared<std::atomic<bool>>(false);
    };
    // The walks and measures asked of the feed, by request number.
    struct TFeedRequest
    {
        bool Walk = true;
        // Measure: the queue and the indexes there of the paths measured, in order.
        std::uint64_t QueueNumber = 0;
        std::vector<std::size_t> Indexes = {};
        std::size_t Measured = 0;
        // Walk: what could not be read, named at the end.
        std::vector<TPathFault> Failed = {};
        int MoreFailed = 0;
    };

    static std::vector<TPath> Unmeasured(std::vector<std::string> paths);
    static bool Busy(const TWork &work);
    static bool Stoppable(const TWork &work);
    static bool StoppedOnly(const TWork &work);
    // measure: the sizes not known are measured at once; else they are when
    // the walk that found them ends (MeasureWaiting), if still waiting then.
    void QueuePaths(TWork &work, std::vector<TPath> paths, bool measure = true);
    void GiveToQueue(TWork &work, std::vector<TPath> paths, bool measure = true);
    // Measures the plain files waiting whose size is not known.
    void MeasureWaiting();
    void Measure(std::vector<std::string> paths, std::vector<std::size_t> indexes);
    std::unique_ptr<THashQueue> MakeQueue(TWork &work);
    // The record of item index, or none.
    TGiven *GivenAt(TWork &work, std::size_t index);
    // A path given back (or dropped) leaves the counts of the run.
    void Forget(TWork &work, const TGiven &given);
    // Takes what work's queue has ready, for a while at most, then again in a
    // step of its own, so that the interface thread stays live; one handover
    // every HandoverMs at most, as each costs the list a pass over its rows
    // (all: now, whatever the time).
    void TakeReady(TWork &work, bool all = false);
    void PostTakeReady(TWork &work);
    // Takes what the walks found, while the queue has room for it.
    void TakeFeed();
    void TakeBatch(TFeedBatch batch);
    void RefreshDone(TWork &work);
    // Every tick while work is under way: the progress, and what a lost post
    // would have left waiting.
    void Tick();
    // After every change: the timer, the end of a run, StateChanged.
    void Changed();

    const TSettings &m_settings;
    TDispatcher *m_dispatcher = nullptr;
    std::shared_ptr<TNewEntrySettings> m_newEntries;
    std::shared_ptr<TCoreTokens> m_cores;
    TWork m_files{true};
    TWork m_parts{false};
    TRunCount m_run;
    mutable TBar m_bar;
    std::unique_ptr<TWalkFeed> m_feed;
    std::map<std::uint64_t, TFeedRequest> m_feedRequests;
    std::shared_ptr<std::atomic<bool>> m_feedPosted = std::make_shared<std::atomic<bool>>(false);
    std::optional<std::size_t> m_notHashed;
    // Listed entries deleted under refresh, which live until their run has ended.
    std::vector<std::unique_ptr<TDonkeyFile>> m_deletedUnderRefresh;
    QString m_filesFolder;
    QString m_lastFolder;
    QTimer *m_ticker = nullptr;
    QTimer *m_handover = nullptr;
    QElapsedTimer m_handedOver;
    bool m_progressShown = true;
    bool m_runShown = false;
};
