#pragma once

#include <QMainWindow>
#include <QStringList>

#include <QElapsedTimer>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data.h"
#include "progressline.h"
#include "settings.h"

namespace Ui {
class MainForm;
}
class QAction;
class QMenu;
class QProgressBar;
class QStatusBar;
class QTimer;
class TAboutForm;
class TCoreTokens;
class THashQueue;
class TCheckLinksForm;
class TDetailForm;
class TDonkeyFile;
class TEntryListModel;
class TExportForm;
class TFileDrop;
class TListView;
class TNewEntrySettings;
class TOptionForm;
class TProgressBarTarget;
class TQtDispatcher;
class TTestThread;
class TWalkFeed;
struct TFeedBatch;

// The main window: the list of finished entries, the queues that make and hash
// the entries of the paths added (one for plain files, one for descriptors),
// the menus and the status bar. Its layout, menus and commands are the form
// main.ui; the list is placed in it here. Everything here runs on the
// interface thread; the queues' workers reach it only through posted steps.
class TMainForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    // Asks the user for files: (parent, caption, folder, filter) -> chosen paths,
    // none when cancelled.
    using TFileChooser = std::function<QStringList(QWidget *, const QString &, const QString &, const QString &)>;
    // Asks the user for a folder: (parent, caption, folder to start at) -> the
    // folder chosen, empty when cancelled.
    using TFolderChooser = std::function<QString(QWidget *, const QString &, const QString &)>;

    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // The settings record; the options replace it when confirmed.
    TSettings &Settings() { return m_settings; }
    // The open settings store, for the options to write to.
    QSettings *SettingsKey() const { return m_settingsKey.get(); }
    TEntryListModel &EntryList() const { return *m_entryList; }
    TListView *ListView() const { return m_listView; }
    QProgressBar *ProgressBar1() const;
    QStatusBar *StatusBar1() const;
    TFileDrop *FileDrop1() const { return m_fileDrop; }
    // The entry of the first selected row, or none.
    TDonkeyFile *CurrentEntry() const;
    // Plain files (descriptors) are being hashed (read), or refreshed: paths
    // added and not yet listed, or a listed entry under refresh.
    bool FileWorkerBusy() const { return Busy(m_files); }
    bool PartWorkerBusy() const { return Busy(m_parts); }
    QString StatusText() const;
    // What the status bar says of the plain files being hashed (files, bytes,
    // speed, time left); empty while none is.
    QString ProgressText() const;
    // Whether a path waits or is being hashed or read, a folder is being
    // walked, or a check runs. The window refuses to close while so, unless
    // all that is left is what a Stop ended and is winding down.
    bool WorkUnderWay() const;
    // A folder is being walked for its files.
    bool Walking() const;
    // The cores the window's hashing shares, one token a core: the plain-file
    // queue's workers hold one each while they hash.
    const std::shared_ptr<TCoreTokens> &CoreTokens() const { return m_cores; }
    // The dialogs, made once with the window.
    TAboutForm *AboutForm() const { return m_aboutForm; }
    TOptionForm *OptionForm() const { return m_optionForm; }
    TDetailForm *DetailForm() const { return m_detailForm; }
    TExportForm *ExportForm() const { return m_exportForm; }
    TCheckLinksForm *CheckLinksForm() const { return m_checkLinksForm; }
    // The verification address of CurrentEntry (which must exist).
    QString BuildVerificationUrl() const;

    // The file dialogs of Add and Add Partmet, and the folder picker of Add
    // Folder; replaceable for scripted use.
    TFileChooser FileChooser;
    TFolderChooser FolderChooser;
    // How often the status bar follows the hashing, in milliseconds (100 by
    // default); 0 shows no progress at all, for a benchmark to weigh its cost.
    void SetProgressInterval(int milliseconds);

    // Queues plain files, in their order, to be hashed and listed.
    void QueueFiles(const QStringList &paths);
    // The same with paths as the system's bytes, which need not be valid text.
    void QueueFilePaths(const std::vector<std::string> &paths);
    // Walks the paths off the interface thread, as brackwell-cli -r does, and
    // queues what it finds as it goes: a folder stands for the files under it
    // (its .part.met files are read as descriptors), any other path for itself.
    // Folders that could not be read are named in one message at the end.
    void QueueFolders(const std::vector<std::string> &paths);

    // Commands.
    void ActionAjouterExecute();
    void ActionAjouterPartExecute();
    // Asks for a folder (at the last one chosen, or the home folder) and
    // queues its files.
    void ActionAddFolderExecute();
    // Ends all hashing and reading of the window within a second: the paths
    // waiting are dropped, the files under way (a refresh included) end, the
    // walk of a folder stops; what was listed stays. The status text says how
    // many files were not hashed.
    void ActionStopExecute();
    void ActionRefreshExecute();
    void ActionSupprimerExecute();
    void ActionSelectAllExecute();
    void ActionIconeExecute(QAction *command);
    void CopyED2klinkClick();
    void CopyED2kLinkHTMLClick();
    // The ed2k links of every selected entry, one a line, in list order.
    void CopyED2kLinksClick();
    // Paths dropped on the list: queued as they are, or, with the option
    // DropFolders, walked when a folder is among them.
    void FileDrop1Drop(const QStringList &paths);
    void PopupMenu2Popup();
    void ActionOuvrirExecute();
    void ActionCommentExecute();
    void ActionExportExecute();
    void ActionOptionsExecute();
    // Asks for a list file and checks the files its links name, on a worker.
    void ActionCheckLinksExecute();
    void Aproposde1Click();

    // Work steps. StartNextFile shows the plain files not yet listed in the
    // status text, and the progress bar while they are hashed.
    void StartNextFile();
    void RefreshFileEntry(TDonkeyFile &entry);
    void RefreshPartEntry(TDonkeyFile &entry);

    QMenu *PopupMenu2() const { return m_popupMenu; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();
    void ConnectActions();
    void CreatePopupMenu();
    void CreateStatusBar();
    // The window's place and the Details columns' widths as the last run left
    // them; the first size, in the middle of the desktop, when none is stored.
    void RestoreWindowState();
    // The commands that the popup shows only for a selected row.
    QList<QAction *> RowCommands() const;

    // One kind of work, plain files or descriptors. Its paths go into a queue,
    // whose workers make their entries with the settings of that moment and
    // hash (read) several at once; the entries come back in the order given
    // and join the list. A refresh runs one listed entry alone on a worker of
    // its own; paths added meanwhile wait for it, as a refresh takes the place
    // of the next path of its kind.
    // A path to queue, with its size when the walk measured it (-1: not yet).
    struct TPath
    {
        std::string Path;
        std::int64_t Size = -1;
    };
    struct TGiven
    {
        std::size_t Index = 0;
        std::string Path;
        std::int64_t Size = -1;
    };
    // The plain files queued since the window was last idle, as the progress
    // line counts them.
    struct TRunCount
    {
        std::size_t DoneFiles = 0;
        std::int64_t DoneBytes = 0;    // the sizes of the entries listed
        std::int64_t WaitingBytes = 0; // the known sizes of the paths not yet listed
        std::size_t Unmeasured = 0;    // paths not yet listed whose size is not known yet
    };
    struct TWork
    {
        explicit TWork(bool plainFiles);
        ~TWork();
        // Plain files: counted in the status text, shown on the progress bar.
        const bool PlainFiles;
        std::unique_ptr<THashQueue> Queue;
        // One more for each queue made: sizes measured for an older one are
        // no use.
        std::uint64_t QueueNumber = 0;
        // The paths given to Queue and not yet taken back, by their index
        // there (consecutive): what a fault names, and their sizes.
        std::deque<TGiven> Given;
        // Paths added while a refresh runs.
        std::vector<TPath> Held;
        TRunCount Run;
        TTestThread *Refresh = nullptr; // not owned; valid until its report
        TDonkeyFile *Refreshed = nullptr; // the listed entry it rewrites
        // The refresh's stop flag, set by Stop.
        std::atomic<bool> RefreshStop{false};
        // A step that takes the ready entries is on its way to this thread.
        std::shared_ptr<std::atomic<bool>> ReadyPosted = std::make_shared<std::atomic<bool>>(false);
    };

    static bool Busy(const TWork &work);
    // Paths waiting or under way, or a refresh: what Stop would end.
    static bool Stoppable(const TWork &work);
    // Nothing of work is left but items a Stop dropped that are still ending.
    static bool StoppedOnly(const TWork &work);
    // Paths added to work: to its queue, or held while a refresh runs.
    void QueuePaths(TWork &work, std::vector<TPath> paths);
    void GiveToQueue(TWork &work, std::vector<TPath> paths);
    // A path given back (or dropped) leaves the counts of the run.
    void Forget(TWork &work, const TGiven &given);
    std::unique_ptr<THashQueue> MakeQueue(TWork &work);
    // Lists every entry of work's queue that is ready, in order (for a while
    // at most, then again in a next step, so that the window stays live).
    void EntriesReady(TWork &work);
    void Refresh(TWork &work, TDonkeyFile &entry);
    void RefreshDone(TWork &work, TTestThread &worker);
    // The chunks of the first plain file not yet hashed, on the bar.
    void ShowProgress();
    // The files, bytes, speed and time left of the plain files, and the bar.
    void ShowRunProgress(std::size_t left);
    // Stop is enabled while there is something it would stop.
    void UpdateStopCommand();
    // Takes what the folder walks found, for a while at most.
    void FeedReady();
    void TakeBatch(TFeedBatch batch);
    // Makes and starts a worker for entry; false when it could not be made.
    bool StartWorker(TDonkeyFile &entry, bool withProgress, std::function<void(TTestThread &)> done);
    // Releases entries taken from the list, keeping one under refresh alive
    // until its worker reports.
    void ReleaseEntries(std::vector<std::unique_ptr<TDonkeyFile>> entries);
    void ReleaseAfterReport(const TDonkeyFile *entry);
    void CopyToClipboard(const QString &text);
    void SetStatusText(const QString &text);
    void ShowError(const QString &message);
    void ApplyViewStyle(int style);

    std::unique_ptr<Ui::MainForm> m_ui;
    TSettingsKey m_settingsKey;
    TEntryListModel *m_entryList = nullptr;
    TSettings m_settings;
    // What new entries are made with, for the queues' workers: m_settings as
    // of the last Add or confirmed options.
    std::shared_ptr<TNewEntrySettings> m_newEntries;
    std::shared_ptr<TCoreTokens> m_cores;
    TWork m_files{true};
    TWork m_parts{false};
    QTimer *m_progressTimer = nullptr;
    bool m_progressShown = true;
    QElapsedTimer m_clock;
    TProgressLine m_progressLine;
    // The walks and measures asked of the feed, by request number.
    struct TFeedRequest
    {
        bool Walk = true;
        // Measure: the queue and the indexes there of the paths measured, in order.
        std::uint64_t QueueNumber = 0;
        std::vector<std::size_t> Indexes = {};
        std::size_t Measured = 0;
        // Walk: what could not be read, named in one message at the end.
        QStringList Failed = {};
        int MoreFailed = 0;
    };
    std::unique_ptr<TWalkFeed> m_feed;
    std::map<std::uint64_t, TFeedRequest> m_feedRequests;
    std::shared_ptr<std::atomic<bool>> m_feedPosted = std::make_shared<std::atomic<bool>>(false);
    // The folder Add Folder opens at.
    QString m_lastFolder;
    // The files the last Stop left unhashed, shown until more are added.
    std::optional<std::size_t> m_stopped;
    // Listed entries deleted under refresh, which live on until their worker
    // has reported.
    std::vector<std::unique_ptr<TDonkeyFile>> m_deletedUnderRefresh;

    TDataModule1 m_images;
    TQtDispatcher *m_dispatcher = nullptr;
    TListView *m_listView = nullptr;
    TFileDrop *m_fileDrop = nullptr;
    std::unique_ptr<TProgressBarTarget> m_progress;
    QMenu *m_popupMenu = nullptr;
    // What the window looked like when it closed, stored as it is destroyed.
    std::optional<TWindowState> m_closedState;
    TAboutForm *m_aboutForm = nullptr;
    TOptionForm *m_optionForm = nullptr;
    TDetailForm *m_detailForm = nullptr;
    TExportForm *m_exportForm = nullptr;
    TCheckLinksForm *m_checkLinksForm = nullptr;
};
