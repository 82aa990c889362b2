#include "main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>

#include "FileDrop.h"
#include "about.h"
#include "checklinks.h"
#include "detail.h"
#include "entrylist.h"
#include "exportlink.h"
#include "listview.h"
#include "option.h"
#include "outils.h"
#include "entries/partfile.h"
#include "qtdispatcher.h"
#include "runs/thread.h"
#include "input/version.h"

namespace {

const QString PartMetFilter = QStringLiteral("Fichier eDonkey  (*.part.met)");

// The hourglass for the life of a scope, whatever way it is left.
class TWaitCursor final
{
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;
};

std::string PathBytes(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString ProgramVersion(int parts)
{
    const std::string path = PathBytes(QCoreApplication::applicationFilePath());
    return QString::fromStdString(VersionText(path, parts));
}

QStringList ChooseWithDialog(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, folder, filter);
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
    , FileChooser(ChooseWithDialog)
    , m_entryList(new TEntryListModel(this))
    , m_dispatcher(new TQtDispatcher(this))
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowIcon(m_images.AppImage());
    m_entryList->SetImages(m_images.FileImage(), m_images.PartFileImage());

    m_listView = new TListView(*m_entryList, this);
    setCentralWidget(m_listView);
    CreateStatusBar();
    CreateActions();
    CreateMenus();

    m_fileDrop = new TFileDrop(this);
    m_fileDrop->setObjectName(QStringLiteral("FileDrop1"));
    m_fileDrop->SetDropControl(m_listView);
    m_fileDrop->OnDrop = [this](TFileDrop &drop) { QueueFiles(drop.Files()); };

    connect(m_listView, &TListView::OpenRequested, this, &TMainForm::ActionOuvrirExecute);
    connect(m_listView, &TListView::PopupRequested, this, [this](const QPoint &at) { m_popupMenu->popup(at); });
    connect(m_dispatcher, &TQtDispatcher::StepFailed, this, &TMainForm::ShowError);

    FormCreate();

    // The dialogs live as long as the window and are shown again and again.
    m_aboutForm = new TAboutForm(this);
    m_aboutForm->SetVersion(ProgramVersion(3));
    m_optionForm = new TOptionForm(this);
    m_detailForm = new TDetailForm(this);
    m_exportForm = new TExportForm(this);
    m_checkLinksForm = new TCheckLinksForm(this);

    resize(537, 326);
    CentreOnDesktop(*this);
}

TMainForm::~TMainForm()
{
    // A worker still running uses an entry and the dispatcher of this window:
    // let it report before they go, and start nothing new meanwhile.
    m_fileQueue.clear();
    m_partQueue.clear();
    if (m_checkLinksForm)
        m_checkLinksForm->Stop();
    while (m_fileWorkerBusy || m_partWorkerBusy || (m_checkLinksForm && m_checkLinksForm->Busy()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    FormDestroy();
}

void TMainForm::FormCreate()
{
    m_fileQueue.clear();
    m_partQueue.clear();
    m_fileWorkerBusy = false;
    m_partWorkerBusy = false;
    int viewStyle = DefaultViewStyle;
    m_settingsKey = LoadSettings(m_settings, viewStyle);
    ApplyViewStyle(viewStyle);
    setWindowTitle(QStringLiteral("Brackwell ") + ProgramVersion(2));
}

void TMainForm::CreateStatusBar()
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(m_statusBar);

    m_statusText = new QLabel(m_statusBar);
    m_statusText->setObjectName(QStringLiteral("StatusPanel0"));
    m_statusText->setFixedWidth(200);
    m_statusBar->addWidget(m_statusText);

    // Panel 1 shows no text of its own: it holds the progress bar.
    m_progressPanel = new QWidget(m_statusBar);
    m_progressPanel->setObjectName(QStringLiteral("StatusPanel1"));
    m_progressPanel->setFixedWidth(150);
    auto *layout = new QHBoxLayout(m_progressPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    m_progressBar = new QProgressBar(m_progressPanel);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setFixedHeight(17);
    m_progressBar->setTextVisible(false);
    m_progressBar->hide();
    layout->addWidget(m_progressBar, 0, Qt::AlignVCenter);
    m_statusBar->addWidget(m_progressPanel);

    auto *lastPanel = new QLabel(m_statusBar);
    lastPanel->setObjectName(QStringLiteral("StatusPanel2"));
    lastPanel->setFixedWidth(50);
    m_statusBar->addWidget(lastPanel);

    m_progress = std::make_unique<TProgressBarTarget>(m_progressBar);
    // The row of an entry under refresh shows each chunk's progress.
    m_progress->OnStep = [this] {
        if (m_refreshedFileEntry)
            m_entryList->RedrawRow(m_entryList->RowOf(m_refreshedFileEntry));
    };
}

void TMainForm::CreateActions()
{
    const auto make = [this](const char *name, const QString &text, const char *image,
                             const QKeySequence &shortcut, auto handler) {
        auto *action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        if (image)
            action->setIcon(TDataModule1::CommandImage(QString::fromLatin1(image)));
        action->setShortcut(shortcut);
        // Shortcuts belong to the whole window, whichever menu shows the command.
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    make("ActionAjouter", QStringLiteral("Add"), "add", Qt::Key_Insert, &TMainForm::ActionAjouterExecute);
    make("ActionAjouterPart", QStringLiteral("Add Partmet"), "addpart", Qt::SHIFT | Qt::Key_Insert,
         &TMainForm::ActionAjouterPartExecute);
    make("Exit1", QStringLiteral("&Exit"), "exit", {}, &TMainForm::close);
    make("ActionSelectAll", QStringLiteral("Select All"), nullptr, Qt::CTRL | Qt::Key_A,
         &TMainForm::ActionSelectAllExecute);
    make("ActionExport", QStringLiteral("Export"), "export", {}, &TMainForm::ActionExportExecute);
    make("ActionOptions", QStringLiteral("Options..."), "options", {}, &TMainForm::ActionOptionsExecute);
    make("ActionCheckLinks", QStringLiteral("Check against links..."), nullptr, {},
         &TMainForm::ActionCheckLinksExecute);
    make("Aproposde1", QStringLiteral("About ..."), "about", {}, &TMainForm::Aproposde1Click);
    make("ActionOuvrir", QStringLiteral("Open"), "open", {}, &TMainForm::ActionOuvrirExecute);
    make("CopyED2klink", QStringLiteral("Copy ED2k link"), "copy", {}, &TMainForm::CopyED2klinkClick);
    make("CopyED2kLinkHTML", QStringLiteral("Copy ED2k Link (HTML)"), nullptr, {},
         &TMainForm::CopyED2kLinkHTMLClick);
    make("ActionSupprimer", QStringLiteral("Delete"), "delete", Qt::Key_Delete, &TMainForm::ActionSupprimerExecute);
    make("ActionComment", QStringLiteral("Comment"), "comment", {}, &TMainForm::ActionCommentExecute);
    make("ActionRefresh", QStringLiteral("Refresh"), "refresh", Qt::Key_F5, &TMainForm::ActionRefreshExecute);
    for (const char *name : {"ActionOuvrir", "ActionComment", "ActionSupprimer"})
        Action(name)->setEnabled(false);

    // The view styles: one handler, the style in each command's tag.
    m_viewStyles = new QActionGroup(this);
    m_viewStyles->setExclusive(true);
    const struct
    {
        const char *name;
        const char *text;
        const char *image;
        int tag;
    } styles[] = {
        {"ActionIcone", "Icons", "view-icons", TListView::vsIcon},
        {"ActionListe", "List", "view-list", TListView::vsList},
        {"ActionReport", "Details", "view-details", TListView::vsReport},
    };
    for (const auto &style : styles) {
        auto *action = new QAction(QString::fromLatin1(style.text), m_viewStyles);
        action->setObjectName(QString::fromLatin1(style.name));
        action->setIcon(TDataModule1::CommandImage(QString::fromLatin1(style.image)));
        action->setCheckable(true);
        action->setData(style.tag);
        connect(action, &QAction::triggered, this, [this, action] { ActionIconeExecute(action); });
    }
}

void TMainForm::CreateMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    file->addAction(Action("ActionAjouter"));
    file->addAction(Action("ActionAjouterPart"));
    file->addSeparator();
    file->addAction(Action("Exit1"));
    QMenu *edit = bar->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    edit->addAction(Action("ActionSelectAll"));
    QMenu *view = bar->addMenu(QStringLiteral("View"));
    view->setObjectName(QStringLiteral("View1"));
    view->addActions(m_viewStyles->actions());
    QMenu *tools = bar->addMenu(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("Tools1"));
    tools->addAction(Action("ActionExport"));
    tools->addAction(Action("ActionCheckLinks"));
    tools->addSeparator();
    tools->addAction(Action("ActionOptions"));
    QMenu *help = bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    help->addAction(Action("Aproposde1"));

    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu2"));
    m_popupMenu->addAction(Action("ActionOuvrir"));
    m_popupMenu->setDefaultAction(Action("ActionOuvrir"));
    m_popupMenu->addAction(Action("CopyED2klink"));
    m_popupMenu->addAction(Action("CopyED2kLinkHTML"));
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(Action("ActionAjouter"));
    m_popupMenu->addAction(Action("ActionAjouterPart"));
    m_popupMenu->addAction(Action("ActionSupprimer"));
    m_popupMenu->addSeparator();
    QMenu *popupView = m_popupMenu->addMenu(QStringLiteral("View"));
    popupView->setObjectName(QStringLiteral("View2"));
    popupView->addActions(m_viewStyles->actions());
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(Action("ActionComment"));
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(Action("ActionRefresh"));
    connect(m_popupMenu, &QMenu::aboutToShow, this, &TMainForm::PopupMenu2Popup);
    // Visibility is the popup's own business: once it closes, the commands are
    // shown again so that their shortcuts keep following their enabled state.
    connect(m_popupMenu, &QMenu::aboutToHide, this, [this] {
        for (const char *name : {"ActionSupprimer", "ActionComment", "ActionOuvrir", "ActionRefresh",
                                 "CopyED2klink", "CopyED2kLinkHTML"})
            Action(name)->setVisible(true);
    });
}

QAction *TMainForm::Action(const char *name) const
{
    return findChild<QAction *>(QString::fromLatin1(name));
}

TDonkeyFile *TMainForm::CurrentEntry() const
{
    return m_entryList->EntryAt(m_listView->FirstSelectedRow());
}

QString TMainForm::StatusText() const
{
    return m_statusText->text();
}

void TMainForm::SetStatusText(const QString &text)
{
    m_statusText->setText(text);
}

void TMainForm::ShowError(const QString &message)
{
    // Not modal to the loop: the window goes on serving the workers.
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Brackwell"), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TMainForm::QueueFiles(const QStringList &paths)
{
    std::vector<std::string> bytes;
    for (const QString &path : paths)
        bytes.push_back(PathBytes(path));
    QueueFilePaths(bytes);
}

void TMainForm::QueueFilePaths(const std::vector<std::string> &paths)
{
    m_fileQueue.insert(m_fileQueue.end(), paths.begin(), paths.end());
    StartNextFile();
}

// --- Work ----------------------------------------------------------------

void TMainForm::ActionAjouterExecute()
{
    const QStringList chosen = FileChooser(this, QStringLiteral("Add"), QDir::currentPath(), QString());
    if (chosen.isEmpty())
        return;
    // The next Add opens where the user last chose files.
    QDir::setCurrent(QFileInfo(chosen.first()).absolutePath());
    QueueFiles(chosen);
}

void TMainForm::ActionAjouterPartExecute()
{
    const QStringList chosen = FileChooser(this, QStringLiteral("Add Partmet"),
                                           QFile::decodeName(QByteArray::fromStdString(m_settings.EdonkeyTempPath)),
                                           PartMetFilter);
    if (chosen.isEmpty())
        return;
    for (const QString &path : chosen)
        m_partQueue.push_back(PathBytes(path));
    StartNextPartFile();
}

bool TMainForm::StartWorker(TDonkeyFile &entry, bool withProgress, std::function<void(TTestThread &)> done)
{
    try {
        auto worker = std::make_unique<TTestThread>(entry, m_settings.ThreadPriority,
                                                    withProgress ? m_progress.get() : nullptr, *m_dispatcher);
        worker->OnTerminate = std::move(done);
        TTestThread *started = TTestThread::Start(std::move(worker));
        (withProgress ? m_fileWorker : m_partWorker) = started;
        return true;
    } catch (const std::exception &e) {
        if (withProgress)
            m_progressBar->hide();
        ShowError(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

void TMainForm::StartNextFile()
{
    SetStatusText(m_fileQueue.empty() ? QStringLiteral("Ready")
                                      : QString::number(m_fileQueue.size()) + QStringLiteral(" file(s) left"));
    if (m_fileWorkerBusy || m_fileQueue.empty())
        return;
    m_currentFileEntry = std::make_unique<TDonkeyFile>(m_fileQueue.front(), m_settings.ReplaceSpaceStr,
                                                       m_settings.NameSuffix, m_settings.NamePrefix,
                                                       m_settings.ActiveHashes);
    // A worker that cannot be made leaves the path queued for the next try.
    if (!StartWorker(*m_currentFileEntry, true, [this](TTestThread &worker) { NormalThreadDone(worker); })) {
        m_currentFileEntry.reset();
        return;
    }
    m_fileWorkerBusy = true;
    m_fileQueue.pop_front();
}

void TMainForm::StartNextPartFile()
{
    if (m_partWorkerBusy || m_partQueue.empty())
        return;
    m_currentPartEntry = std::make_unique<TPartFile>(m_partQueue.front());
    if (!StartWorker(*m_currentPartEntry, false, [this](TTestThread &worker) { PartmetThreadDone(worker); })) {
        m_currentPartEntry.reset();
        return;
    }
    m_partWorkerBusy = true;
    m_partQueue.pop_front();
}

void TMainForm::ActionRefreshExecute()
{
    TDonkeyFile *entry = CurrentEntry();
    if (!entry)
        return;
    if (dynamic_cast<TPartFile *>(entry))
        RefreshPartEntry(*entry);
    else
        RefreshFileEntry(*entry);
}

void TMainForm::RefreshFileEntry(TDonkeyFile &entry)
{
    if (m_fileWorkerBusy)
        return;
    if (!StartWorker(entry, true, [this](TTestThread &worker) { NormalRefreshDone(worker); }))
        return;
    m_refreshedFileEntry = &entry;
    m_fileWorkerBusy = true;
}

void TMainForm::RefreshPartEntry(TDonkeyFile &entry)
{
    if (m_partWorkerBusy)
        return;
    if (!StartWorker(entry, false, [this](TTestThread &worker) { PartmetRefreshDone(worker); }))
        return;
    m_refreshedPartEntry = &entry;
    m_partWorkerBusy = true;
}

void TMainForm::NormalThreadDone(TTestThread &worker)
{
    m_fileWorker = nullptr;
    m_progressBar->hide();
    if (!worker.FatalError().empty())
        ShowError(QString::fromStdString(worker.FatalError()));
    AddFinishedEntry(std::move(m_currentFileEntry));
    m_fileWorkerBusy = false;
    StartNextFile();
}

void TMainForm::PartmetThreadDone(TTestThread &worker)
{
    m_partWorker = nullptr;
    if (!worker.FatalError().empty())
        ShowError(QString::fromStdString(worker.FatalError()));
    AddFinishedEntry(std::move(m_currentPartEntry));
    m_partWorkerBusy = false;
    StartNextPartFile();
}

void TMainForm::NormalRefreshDone(TTestThread &worker)
{
    m_fileWorker = nullptr;
    if (!worker.FatalError().empty())
        ShowError(QString::fromStdString(worker.FatalError()));
    m_entryList->RedrawAll();
    m_progressBar->hide();
    ReleaseAfterReport(std::exchange(m_refreshedFileEntry, nullptr));
    m_fileWorkerBusy = false;
    StartNextFile();
}

void TMainForm::PartmetRefreshDone(TTestThread &worker)
{
    m_partWorker = nullptr;
    if (!worker.FatalError().empty())
        ShowError(QString::fromStdString(worker.FatalError()));
    m_entryList->RedrawAll();
    ReleaseAfterReport(std::exchange(m_refreshedPartEntry, nullptr));
    m_partWorkerBusy = false;
    StartNextPartFile();
}

void TMainForm::AddFinishedEntry(std::unique_ptr<TDonkeyFile> entry)
{
    if (!entry)
        return;
    const TWaitCursor hourglass;
    m_entryList->AddFinishedEntry(std::move(entry));
}

void TMainForm::ReleaseEntries(std::vector<std::unique_ptr<TDonkeyFile>> entries)
{
    for (std::unique_ptr<TDonkeyFile> &entry : entries) {
        if (entry && (entry.get() == m_refreshedFileEntry || entry.get() == m_refreshedPartEntry))
            m_deletedUnderRefresh.push_back(std::move(entry));
    }
    // The rest go with the vector.
}

void TMainForm::ReleaseAfterReport(const TDonkeyFile *entry)
{
    std::erase_if(m_deletedUnderRefresh, [entry](const auto &deleted) { return deleted.get() == entry; });
}

// --- Commands on listed entries --------------------------------------------

void TMainForm::ActionSupprimerExecute()
{
    // One selected row is CurrentEntry; several go from the bottom up.
    ReleaseEntries(m_entryList->TakeRows(m_listView->SelectedRows()));
    m_listView->SelectionModel()->clearSelection();
}

void TMainForm::ActionSelectAllExecute()
{
    m_listView->SelectAll();
}

void TMainForm::ActionIconeExecute(QAction *command)
{
    ApplyViewStyle(command->data().toInt());
}

void TMainForm::ApplyViewStyle(int style)
{
    m_listView->SetViewStyle(style);
    const QList<QAction *> commands = m_viewStyles->actions();
    const auto chosen = std::find_if(commands.begin(), commands.end(),
                                     [style](QAction *command) { return command->data().toInt() == style; });
    if (chosen != commands.end()) {
        (*chosen)->setChecked(true);
    } else if (QAction *checked = m_viewStyles->checkedAction()) {
        // Small icons, which no command offers: no mark at all.
        m_viewStyles->setExclusive(false);
        checked->setChecked(false);
        m_viewStyles->setExclusive(true);
    }
}

void TMainForm::CopyED2klinkClick()
{
    if (const TDonkeyFile *entry = CurrentEntry())
        CopyToClipboard(entry->DonkeyLink());
}

void TMainForm::CopyED2kLinkHTMLClick()
{
    if (const TDonkeyFile *entry = CurrentEntry())
        CopyToClipboard(entry->DonkeyLinkHtml());
}

// By way of the detail dialog's link field, which then shows the link copied.
void TMainForm::CopyToClipboard(const std::string &text)
{
    m_detailForm->CopyLink(EntryText(text));
}

void TMainForm::PopupMenu2Popup()
{
    const bool selected = CurrentEntry() != nullptr;
    for (const char *name : {"ActionSupprimer", "ActionComment", "ActionOuvrir"}) {
        Action(name)->setEnabled(selected);
        Action(name)->setVisible(selected);
    }
    Action("ActionRefresh")->setEnabled(!m_fileWorkerBusy);
    Action("ActionRefresh")->setVisible(selected);
    for (const char *name : {"CopyED2klink", "CopyED2kLinkHTML"}) {
        Action(name)->setEnabled(true);
        Action(name)->setVisible(selected);
    }
}

QString TMainForm::BuildVerificationUrl() const
{
    return VerificationUrlOf(QString::fromStdString(m_settings.URLComment), *CurrentEntry());
}

void TMainForm::ActionOuvrirExecute()
{
    if (const TDonkeyFile *entry = CurrentEntry())
        m_detailForm->ShowEntry(*entry, BuildVerificationUrl());
}

void TMainForm::ActionCommentExecute()
{
    if (CurrentEntry())
        OpenAddress(BuildVerificationUrl());
}

void TMainForm::ActionExportExecute()
{
    if (m_exportForm->exec() != QDialog::Accepted)
        return;
    std::vector<TShareListRow> rows;
    rows.reserve(static_cast<std::size_t>(m_entryList->Count()));
    for (int row = 0; row < m_entryList->Count(); ++row)
        rows.push_back(ShareListRowOf(*m_entryList->EntryAt(row)));
    m_exportForm->WriteExport(rows, windowTitle());
}

void TMainForm::ActionOptionsExecute()
{
    m_optionForm->Load(m_settings);
    if (m_optionForm->exec() != QDialog::Accepted)
        return;
    m_optionForm->Store(m_settings);
    try {
        if (m_settingsKey)
            SaveSettings(*m_settingsKey, m_settings, m_optionForm->DonkeyActivated(), m_optionForm->FileSpreeActivated());
    } catch (const std::exception &e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
}

void TMainForm::ActionCheckLinksExecute()
{
    if (m_checkLinksForm->Busy()) {
        m_checkLinksForm->show();
        m_checkLinksForm->raise();
        return;
    }
    const QStringList chosen =
        FileChooser(this, QStringLiteral("Check against links"), QDir::currentPath(),
                    QStringLiteral("Share lists (*.txt *.htm *.html);;All files (*)"));
    if (chosen.isEmpty())
        return;
    // The files are looked for under the names the links carry, and under
    // those names without the link-name texts of the settings.
    const TLinkNameTexts texts{m_settings.NamePrefix, m_settings.NameSuffix, m_settings.ReplaceSpaceStr};
    if (m_checkLinksForm->Start(PathBytes(chosen.first()), {texts}))
        m_checkLinksForm->show();
}

void TMainForm::Aproposde1Click()
{
    m_aboutForm->exec();
}

// --- Window ----------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TMainForm::FormCloseQuery()
{
    if (!m_fileWorkerBusy && !m_partWorkerBusy && !m_checkLinksForm->Busy())
        return true;
    QMessageBox box(QMessageBox::Information, QStringLiteral("Brackwell"),
                    QStringLiteral("Please wait the end of process"), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("CloseRefusal"));
    box.exec();
    return false;
}

void TMainForm::FormClose()
{
    m_entryList->ClearEntries();
}

void TMainForm::FormDestroy()
{
    try {
        SaveViewStyle(std::move(m_settingsKey), m_listView->ViewStyle());
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QStringLiteral("Brackwell"), QString::fromLocal8Bit(e.what()));
    }
    m_fileQueue.clear();
    m_partQueue.clear();
}
