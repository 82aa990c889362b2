#pragma once

#include <QMainWindow>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data.h"
#include "settings.h"

namespace Ui {
class MainForm;
}
class QAction;
class QMenu;
class QProgressBar;
class QStatusBar;
class TAboutForm;
class TCheckLinksForm;
class TDetailForm;
class TDonkeyFile;
class TEntryListModel;
class TExportForm;
class TFileDrop;
class TListView;
class TOptionForm;
class TProgressBarTarget;
class TQtDispatcher;
class TTestThread;

// The main window: the list of finished entries, the queues of paths waiting
// to be hashed or read, one worker of each kind, the menus and the status bar.
// Its layout, menus and commands are the form main.ui; the list is placed in
// it here. Everything here runs on the interface thread.
class TMainForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    // Asks the user for files: (parent, caption, folder, filter) -> chosen paths,
    // none when cancelled.
    using TFileChooser = std::function<QStringList(QWidget *, const QString &, const QString &, const QString &)>;

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
    bool FileWorkerBusy() const { return m_fileWorkerBusy; }
    bool PartWorkerBusy() const { return m_partWorkerBusy; }
    const std::deque<std::string> &FileQueue() const { return m_fileQueue; }
    const std::deque<std::string> &PartQueue() const { return m_partQueue; }
    QString StatusText() const;
    // Whether a path waits or is being hashed or read, or a check runs: the
    // window then refuses to close.
    bool WorkUnderWay() const;
    // The dialogs, made once with the window.
    TAboutForm *AboutForm() const { return m_aboutForm; }
    TOptionForm *OptionForm() const { return m_optionForm; }
    TDetailForm *DetailForm() const { return m_detailForm; }
    TExportForm *ExportForm() const { return m_exportForm; }
    TCheckLinksForm *CheckLinksForm() const { return m_checkLinksForm; }
    // The verification address of CurrentEntry (which must exist).
    QString BuildVerificationUrl() const;

    // The file dialogs of Add and Add Partmet; replaceable for scripted use.
    TFileChooser FileChooser;

    // Appends paths to FileQueue, in their order, and starts the next one.
    void QueueFiles(const QStringList &paths);
    // The same with paths as the system's bytes, which need not be valid text.
    void QueueFilePaths(const std::vector<std::string> &paths);

    // Commands.
    void ActionAjouterExecute();
    void ActionAjouterPartExecute();
    void ActionRefreshExecute();
    void ActionSupprimerExecute();
    void ActionSelectAllExecute();
    void ActionIconeExecute(QAction *command);
    void CopyED2klinkClick();
    void CopyED2kLinkHTMLClick();
    void PopupMenu2Popup();
    void ActionOuvrirExecute();
    void ActionCommentExecute();
    void ActionExportExecute();
    void ActionOptionsExecute();
    // Asks for a list file and checks the files its links name, on a worker.
    void ActionCheckLinksExecute();
    void Aproposde1Click();

    // Work steps.
    void StartNextFile();
    void StartNextPartFile();
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

    void NormalThreadDone(TTestThread &worker);
    void PartmetThreadDone(TTestThread &worker);
    void NormalRefreshDone(TTestThread &worker);
    void PartmetRefreshDone(TTestThread &worker);
    // Makes and starts a worker for entry; false when it could not be made.
    bool StartWorker(TDonkeyFile &entry, bool withProgress, std::function<void(TTestThread &)> done);
    // Inserts a finished entry into the list, with the hourglass shown.
    void AddFinishedEntry(std::unique_ptr<TDonkeyFile> entry);
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
    bool m_fileWorkerBusy = false;
    bool m_partWorkerBusy = false;
    TTestThread *m_fileWorker = nullptr; // not owned; valid until its report
    TTestThread *m_partWorker = nullptr;
    TSettings m_settings;
    std::deque<std::string> m_partQueue;
    std::unique_ptr<TDonkeyFile> m_currentFileEntry;
    std::unique_ptr<TDonkeyFile> m_currentPartEntry;
    std::deque<std::string> m_fileQueue;

    // Listed entries under refresh, and those deleted meanwhile, which live on
    // until their worker has reported.
    TDonkeyFile *m_refreshedFileEntry = nullptr;
    TDonkeyFile *m_refreshedPartEntry = nullptr;
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
