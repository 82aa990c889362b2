#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
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
class TAboutForm;
class TCheckLinksForm;
class TCoreTokens;
class TDetailForm;
class TDonkeyFile;
class TEntryListModel;
class TExportForm;
class TFileDrop;
class TListView;
class TOptionForm;
class TWorkController;
struct TEntryBatch;
struct TPathFault;
struct TRunProgress;

// The main window: the list of finished entries, the menus and commands, the
// dialogs and the status bar. Its layout, menus and commands are the form
// main.ui; the list is placed in it here. The work behind it (the queues, the
// walks, the refresh, Stop, the run's counts) is the work controller's: the
// window hands it paths and commands and shows what it says.
class TMainForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    // Asks the user for files: (parent, caption, folder, filter) -> the files
    // chosen as URLs (which keep the bytes of a name that is not UTF-8), none
    // when cancelled.
    using TFileChooser = std::function<QList<QUrl>(QWidget *, const QString &, const QString &, const QString &)>;
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
    TWorkController &Work() const { return *m_work; }
    // The entry of the first selected row, or none.
    TDonkeyFile *CurrentEntry() const;
    // Plain files (descriptors) are being hashed (read), or refreshed: paths
    // added and not yet listed, or a listed entry under refresh.
    bool FileWorkerBusy() const;
    bool PartWorkerBusy() const;
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
    // The cores the window's hashing shares, one token a core.
    const std::shared_ptr<TCoreTokens> &CoreTokens() const;
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

    // Queues plain files, in their order, to be hashed and listed; each path
    // is made absolute against the current folder as it comes.
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
    // walk of a folder stops; what was listed stays, and what was done is
    // listed. The status text says how many files were not hashed.
    void ActionStopExecute();
    void ActionRefreshExecute();
    void ActionSupprimerExecute();
    void ActionSelectAllExecute();
    void ActionIconeExecute(QAction *command);
    void CopyED2klinkClick();
    void CopyED2kLinkHTMLClick();
    // The magnet link of every selected entry that has one, one a line.
    void CopyMagnetLinksClick();
    // The ed2k links of every selected entry, one a line, in list order.
    void CopyED2kLinksClick();
    // The files dropped on the list: queued as they are, or, with the option
    // DropFolders, walked (a folder among them stands for its files).
    void FileDrop1Drop(TFileDrop *drop);
    void PopupMenu2Popup();
    void ActionOuvrirExecute();
    void ActionCommentExecute();
    void ActionExportExecute();
    void ActionOptionsExecute();
    // Asks for a list file and checks the files its links name, on a worker.
    void ActionCheckLinksExecute();
    void Aproposde1Click();

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
    void ConnectWork();
    void CreatePopupMenu();
    void CreateStatusBar();
    // The window's place and the Details columns' widths as the last run left
    // them; the first size, in the middle of the desktop, when none is stored.
    void RestoreWindowState();
    // The commands that the popup shows only for a selected row.
    QList<QAction *> RowCommands() const;

    // What the work controller says, shown.
    void ShowStatus();
    void ShowRunProgress(const TRunProgress &progress);
    void HideRunProgress();
    void ShowRefreshProgress(const TDonkeyFile *entry, int chunk, int chunks);
    void RefreshEnded(bool plainFile, const QString &fatal);
    void ListEntries(TEntryBatch &batch);
    void ShowFaults(const QString &heading, const std::vector<TPathFault> &faults, int more);

    void CopyToClipboard(const QString &text);
    // The link linkOf gives of each selected entry, in list order, one a
    // line; an empty one is left out.
    void CopySelectedLinks(const std::function<std::string(const TDonkeyFile &)> &linkOf);
    void ShowError(const QString &message);
    void ApplyViewStyle(int style);

    std::unique_ptr<Ui::MainForm> m_ui;
    TSettingsKey m_settingsKey;
    TEntryListModel *m_entryList = nullptr;
    TSettings m_settings;
    // Made after the settings are read; destroyed first, as its runs may be
    // rewriting a listed entry.
    std::unique_ptr<TWorkController> m_work;
    QElapsedTimer m_clock;
    TProgressLine m_progressLine;

    TDataModule1 m_images;
    TListView *m_listView = nullptr;
    TFileDrop *m_fileDrop = nullptr;
    QMenu *m_popupMenu = nullptr;
    // What the window looked like when it closed, stored as it is destroyed.
    std::optional<TWindowState> m_closedState;
    TAboutForm *m_aboutForm = nullptr;
    TOptionForm *m_optionForm = nullptr;
    TDetailForm *m_detailForm = nullptr;
    TExportForm *m_exportForm = nullptr;
    TCheckLinksForm *m_checkLinksForm = nullptr;
};
