#include "main.h"
#include "ui_main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
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


// The hourglass for the life of a scope, whatever way it is left.
class TWaitCursor final
{
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;
};

QString ProgramVersion(int parts)
{
    const std::string path = EntryBytes(QCoreApplication::applicationFilePath());
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
    , m_ui(std::make_unique<Ui::MainForm>())
    , m_entryList(new TEntryListModel(this))
    , m_dispatcher(new TQtDispatcher(this))
{
    m_ui->setupUi(this);
    setWindowIcon(m_images.AppImage());
    m_entryList->SetImages(m_images.FileImage(), m_images.PartFileImage());

    m_listView = new TListView(*m_entryList, this);
    setCentralWidget(m_listView);
    CreateStatusBar();
    ConnectActions();
    CreatePopupMenu();

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

    RestoreWindowState();
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

void TMainForm::RestoreWindowState()
{
    const TWindowState state = m_settingsKey ? LoadWindowState(*m_settingsKey) : TWindowState{};
    m_listView->SetColumnWidths(state.ColumnWidths);
    // The form's size stands until a run has closed the window once.
    if (state.Geometry.isEmpty() || !restoreGeometry(state.Geometry))
        CentreOnDesktop(*this);
}

void TMainForm::CreateStatusBar()
{
    // The panels are the form's; here they take their places, left to right.
    // Panel 1 shows no text of its own: it holds the progress bar.
    m_ui->StatusBar1->addWidget(m_ui->StatusPanel0);
    m_ui->StatusBar1->addWidget(m_ui->StatusPanel1);
    m_ui->StatusBar1->addWidget(m_ui->StatusPanel2);

    m_progress = std::make_unique<TProgressBarTarget>(m_ui->ProgressBar1);
    // The row of an entry under refresh shows each chunk's progress.
    m_progress->OnStep = [this] {
        if (m_refreshedFileEntry)
            m_entryList->RedrawRow(m_entryList->RowOf(m_refreshedFileEntry));
    };
}

void TMainForm::ConnectActions()
{
    const Ui::MainForm &ui = *m_ui;
    connect(ui.ActionAjouter, &QAction::triggered, this, &TMainForm::ActionAjouterExecute);
    connect(ui.ActionAjouterPart, &QAction::triggered, this, &TMainForm::ActionAjouterPartExecute);
    connect(ui.Exit1, &QAction::triggered, this, &TMainForm::close);
    connect(ui.ActionSelectAll, &QAction::triggered, this, &TMainForm::ActionSelectAllExecute);
    connect(ui.ActionExport, &QAction::triggered, this, &TMainForm::ActionExportExecute);
    connect(ui.ActionOptions, &QAction::triggered, this, &TMainForm::ActionOptionsExecute);
    connect(ui.ActionCheckLinks, &QAction::triggered, this, &TMainForm::ActionCheckLinksExecute);
    connect(ui.Aproposde1, &QAction::triggered, this, &TMainForm::Aproposde1Click);
    connect(ui.ActionOuvrir, &QAction::triggered, this, &TMainForm::ActionOuvrirExecute);
    connect(ui.CopyED2klink, &QAction::triggered, this, &TMainForm::CopyED2klinkClick);
    connect(ui.CopyED2kLinkHTML, &QAction::triggered, this, &TMainForm::CopyED2kLinkHTMLClick);
    connect(ui.ActionSupprimer, &QAction::triggered, this, &TMainForm::ActionSupprimerExecute);
    connect(ui.ActionComment, &QAction::triggered, this, &TMainForm::ActionCommentExecute);
    connect(ui.ActionRefresh, &QAction::triggered, this, &TMainForm::ActionRefreshExecute);
    // The view styles: one handler, the style in each command's tag.
    ui.ActionIcone->setData(TListView::vsIcon);
    ui.ActionListe->setData(TListView::vsList);
    ui.ActionReport->setData(TListView::vsReport);
    for (QAction *style : ui.ViewStyles->actions())
        connect(style, &QAction::triggered, this, [this, style] { ActionIconeExecute(style); });
}

void TMainForm::CreatePopupMenu()
{
    const Ui::MainForm &ui = *m_ui;
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu2"));
    m_popupMenu->addAction(ui.ActionOuvrir);
    m_popupMenu->setDefaultAction(ui.ActionOuvrir);
    m_popupMenu->addAction(ui.CopyED2klink);
    m_popupMenu->addAction(ui.CopyED2kLinkHTML);
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(ui.ActionAjouter);
    m_popupMenu->addAction(ui.ActionAjouterPart);
    m_popupMenu->addAction(ui.ActionSupprimer);
    m_popupMenu->addSeparator();
    QMenu *popupView = m_popupMenu->addMenu(ui.View1->title());
    popupView->setObjectName(QStringLiteral("View2"));
    popupView->addActions(ui.ViewStyles->actions());
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(ui.ActionComment);
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(ui.ActionRefresh);
    connect(m_popupMenu, &QMenu::aboutToShow, this, &TMainForm::PopupMenu2Popup);
    // Visibility is the popup's own business: once it closes, the commands are
    // shown again so that their shortcuts keep following their enabled state.
    connect(m_popupMenu, &QMenu::aboutToHide, this, [this] {
        for (QAction *command : RowCommands())
            command->setVisible(true);
    });
}

QList<QAction *> TMainForm::RowCommands() const
{
    return {m_ui->ActionSupprimer, m_ui->ActionComment, m_ui->ActionOuvrir,
            m_ui->ActionRefresh,   m_ui->CopyED2klink,  m_ui->CopyED2kLinkHTML};
}

QProgressBar *TMainForm::ProgressBar1() const
{
    return m_ui->ProgressBar1;
}

QStatusBar *TMainForm::StatusBar1() const
{
    return m_ui->StatusBar1;
}

TDonkeyFile *TMainForm::CurrentEntry() const
{
    return m_entryList->EntryAt(m_listView->FirstSelectedRow());
}

QString TMainForm::StatusText() const
{
    return m_ui->StatusPanel0->text();
}

void TMainForm::SetStatusText(const QString &text)
{
    m_ui->StatusPanel0->setText(text);
}

void TMainForm::ShowError(const QString &message)
{
    // Not modal to the loop: the window goes on serving the workers.
    auto *box = new QMessageBox(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), message,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TMainForm::QueueFiles(const QStringList &paths)
{
    std::vector<std::string> bytes;
    for (const QString &path : paths)
        bytes.push_back(EntryBytes(path));
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
    const QStringList chosen = FileChooser(this, tr("Add"), QDir::currentPath(), QString());
    if (chosen.isEmpty())
        return;
    // The next Add opens where the user last chose files.
    QDir::setCurrent(QFileInfo(chosen.first()).absolutePath());
    QueueFiles(chosen);
}

void TMainForm::ActionAjouterPartExecute()
{
    const QStringList chosen = FileChooser(this, tr("Add Partmet"), EntryText(m_settings.EdonkeyTempPath),
                                           tr("Fichier eDonkey  (*.part.met)"));
    if (chosen.isEmpty())
        return;
    for (const QString &path : chosen)
        m_partQueue.push_back(EntryBytes(path));
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
            m_ui->ProgressBar1->hide();
        ShowError(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

void TMainForm::StartNextFile()
{
    SetStatusText(m_fileQueue.empty() ? tr("Ready")
                                      : tr("%n file(s) left", nullptr, static_cast<int>(m_fileQueue.size())));
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
    // A descriptor shows the AICH root it records where the settings ask
    // plain files to compute theirs.
    m_currentPartEntry = std::make_unique<TPartFile>(m_partQueue.front(), m_settings.ActiveHashes);
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
    m_ui->ProgressBar1->hide();
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
    m_ui->ProgressBar1->hide();
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
    QActionGroup *styles = m_ui->ViewStyles;
    const QList<QAction *> commands = styles->actions();
    const auto chosen = std::find_if(commands.begin(), commands.end(),
                                     [style](QAction *command) { return command->data().toInt() == style; });
    if (chosen != commands.end()) {
        (*chosen)->setChecked(true);
    } else if (QAction *checked = styles->checkedAction()) {
        // Small icons, which no command offers: no mark at all.
        styles->setExclusive(false);
        checked->setChecked(false);
        styles->setExclusive(true);
    }
}

void TMainForm::CopyED2klinkClick()
{
    if (const TDonkeyFile *entry = CurrentEntry())
        CopyToClipboard(LinkText(entry->DonkeyLink()));
}

void TMainForm::CopyED2kLinkHTMLClick()
{
    if (const TDonkeyFile *entry = CurrentEntry())
        CopyToClipboard(EntryText(entry->DonkeyLinkHtml(TDonkeyFile::TNameBytes::Unicode)));
}

// By way of the detail dialog's link field, which then shows the link copied.
void TMainForm::CopyToClipboard(const QString &text)
{
    m_detailForm->CopyLink(text);
}

void TMainForm::PopupMenu2Popup()
{
    const bool selected = CurrentEntry() != nullptr;
    for (QAction *command : {m_ui->ActionSupprimer, m_ui->ActionComment, m_ui->ActionOuvrir}) {
        command->setEnabled(selected);
        command->setVisible(selected);
    }
    m_ui->ActionRefresh->setEnabled(!m_fileWorkerBusy);
    m_ui->ActionRefresh->setVisible(selected);
    for (QAction *command : {m_ui->CopyED2klink, m_ui->CopyED2kLinkHTML}) {
        command->setEnabled(true);
        command->setVisible(selected);
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
    const QStringList chosen = FileChooser(this, tr("Check against links"), QDir::currentPath(),
                                           tr("Share lists (*.txt *.htm *.html);;All files (*)"));
    if (chosen.isEmpty())
        return;
    // The files are looked for under the names the links carry, and under
    // those names without the link-name texts of the settings.
    const TLinkNameTexts texts{m_settings.NamePrefix, m_settings.NameSuffix, m_settings.ReplaceSpaceStr};
    if (m_checkLinksForm->Start(EntryBytes(chosen.first()), {texts}))
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

bool TMainForm::WorkUnderWay() const
{
    return m_fileWorkerBusy || m_partWorkerBusy || !m_fileQueue.empty() || !m_partQueue.empty()
           || m_checkLinksForm->Busy();
}

bool TMainForm::FormCloseQuery()
{
    if (!WorkUnderWay())
        return true;
    QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(),
                    tr("Please wait the end of process"), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("CloseRefusal"));
    box.exec();
    return false;
}

void TMainForm::FormClose()
{
    m_closedState = TWindowState{saveGeometry(), m_listView->ColumnWidths()};
    m_entryList->ClearEntries();
}

void TMainForm::FormDestroy()
{
    try {
        // A window closed by the user keeps its place for the next run.
        if (m_closedState && m_settingsKey)
            SaveWindowState(*m_settingsKey, *m_closedState);
        SaveViewStyle(std::move(m_settingsKey), m_listView->ViewStyle());
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(), QString::fromLocal8Bit(e.what()));
    }
    m_fileQueue.clear();
    m_partQueue.clear();
}
