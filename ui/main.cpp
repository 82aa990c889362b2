#include "main.h"
#include "ui_main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <mutex>
#include <thread>

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
#include "runs/hashqueue.h"
#include "runs/thread.h"
#include "input/version.h"
#include "input/walkfeed.h"

// What a new entry is made with: the settings of the moment its turn comes,
// read by the queues' workers while the interface thread may replace them.
class TNewEntrySettings final
{
public:
    struct TValues
    {
        std::string ReplaceSpaceStr;
        std::string NameSuffix;
        std::string NamePrefix;
        THashSelection ActiveHashes = hsAll;
        int ThreadPriority = NormalPriorityLevel;
    };

    void Set(const TSettings &settings)
    {
        TValues values{settings.ReplaceSpaceStr, settings.NameSuffix, settings.NamePrefix, settings.ActiveHashes,
                       settings.ThreadPriority};
        const std::lock_guard lock(m_lock);
        m_values = std::move(values);
    }
    TValues Get() const
    {
        const std::lock_guard lock(m_lock);
        return m_values;
    }

private:
    mutable std::mutex m_lock;
    TValues m_values;
};

namespace {

// How long one step of the interface thread lists ready entries before it
// lets the window's other events through.
constexpr qint64 ListingSliceMs = 10;
// The progress bar follows the hashing this often, at most.
constexpr int ProgressIntervalMs = 100;
// Entries that could not be made, or folders that could not be read, named
// in one message at most.
constexpr int FaultsShown = 10;
// The whole queue on the bar, in thousandths.
constexpr int BarRange = 1000;
// A path longer than this is cut in its middle in a message.
constexpr qsizetype PathShown = 160;

// A queue's worker takes the priority of the settings as it makes an entry,
// once for each level; the interface thread, which makes them only when no
// worker could be had, keeps its own.
void TakePriority(int level, std::thread::id interfaceThread)
{
    thread_local int applied = -1;
    if (std::this_thread::get_id() == interfaceThread || applied == level)
        return;
    ApplyPriorityLevel(level);
    applied = level;
}

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

QString ChooseFolderWithDialog(QWidget *parent, const QString &caption, const QString &start)
{
    QString folder = start;
    return BrowseForDirectory(caption, QDir::homePath(), folder, parent) ? folder : QString();
}

QString ShownPath(const QString &path)
{
    if (path.size() <= PathShown)
        return path;
    return path.left(PathShown / 3) + QChar(0x2026) + path.right(PathShown - PathShown / 3 - 1);
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
    , FileChooser(ChooseWithDialog)
    , FolderChooser(ChooseFolderWithDialog)
    , m_ui(std::make_unique<Ui::MainForm>())
    , m_entryList(new TEntryListModel(this))
    , m_newEntries(std::make_shared<TNewEntrySettings>())
    , m_cores(std::make_shared<TCoreTokens>(std::max(1u, std::thread::hardware_concurrency())))
    , m_progressTimer(new QTimer(this))
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
    m_fileDrop->OnDrop = [this](TFileDrop &drop) { FileDrop1Drop(drop.Files()); };

    connect(m_listView, &TListView::OpenRequested, this, &TMainForm::ActionOuvrirExecute);
    connect(m_listView, &TListView::PopupRequested, this, [this](const QPoint &at) { m_popupMenu->popup(at); });
    connect(m_dispatcher, &TQtDispatcher::StepFailed, this, &TMainForm::ShowError);
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &TMainForm::ShowProgress);
    m_clock.start();
    // The walks post one step for many batches: the flag stays set until it runs.
    m_feed = std::make_unique<TWalkFeed>(TWalkFeed::TOptions{.OnBatch = [this, posted = m_feedPosted] {
        if (!posted->exchange(true))
            m_dispatcher->Post([this] { FeedReady(); });
    }});

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
    // let it report before they go, and start nothing new meanwhile. The
    // queues drop what waits and end what is under way at its next block.
    for (TWork *work : {&m_files, &m_parts}) {
        work->Held.clear();
        work->RefreshStop = true;
        if (work->Queue)
            work->Queue->Stop();
    }
    m_feed->Stop();
    m_feedRequests.clear();
    if (m_checkLinksForm)
        m_checkLinksForm->Stop();
    while (WorkUnderWay())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Its thread ends at the walk's next entry, before the dispatcher goes.
    m_feed.reset();
    FormDestroy();
}

void TMainForm::FormCreate()
{
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
    else
        FitOnDesktop(*this); // a size stored by a larger screen, or by hand
}

void TMainForm::CreateStatusBar()
{
    // The panels are the form's; here they take their places, left to right.
    // Panel 0 is as wide as its text. Panel 1 shows no text of its own: it
    // holds the progress bar.
    m_ui->StatusBar1->addWidget(m_ui->StatusPanel0);
    m_ui->StatusBar1->addWidget(m_ui->StatusPanel1);
    // Panel 2 takes the rest: the files, bytes, time left and speed, as many
    // of them as fit whole.
    m_ui->StatusBar1->addWidget(m_ui->StatusPanel2, 1);
    m_ui->StatusPanel2->SetPartSeparator(TProgressLine::Separator());

    m_progress = std::make_unique<TProgressBarTarget>(m_ui->ProgressBar1);
    // The row of an entry under refresh shows each chunk's progress.
    m_progress->OnStep = [this] {
        if (m_files.Refreshed)
            m_entryList->RedrawRow(m_entryList->RowOf(m_files.Refreshed));
    };
}

void TMainForm::ConnectActions()
{
    const Ui::MainForm &ui = *m_ui;
    connect(ui.ActionAjouter, &QAction::triggered, this, &TMainForm::ActionAjouterExecute);
    connect(ui.ActionAjouterPart, &QAction::triggered, this, &TMainForm::ActionAjouterPartExecute);
    connect(ui.ActionAddFolder, &QAction::triggered, this, &TMainForm::ActionAddFolderExecute);
    connect(ui.ActionStop, &QAction::triggered, this, &TMainForm::ActionStopExecute);
    connect(ui.Exit1, &QAction::triggered, this, &TMainForm::close);
    connect(ui.ActionSelectAll, &QAction::triggered, this, &TMainForm::ActionSelectAllExecute);
    connect(ui.ActionExport, &QAction::triggered, this, &TMainForm::ActionExportExecute);
    connect(ui.ActionOptions, &QAction::triggered, this, &TMainForm::ActionOptionsExecute);
    connect(ui.ActionCheckLinks, &QAction::triggered, this, &TMainForm::ActionCheckLinksExecute);
    connect(ui.Aproposde1, &QAction::triggered, this, &TMainForm::Aproposde1Click);
    connect(ui.ActionOuvrir, &QAction::triggered, this, &TMainForm::ActionOuvrirExecute);
    connect(ui.CopyED2klink, &QAction::triggered, this, &TMainForm::CopyED2klinkClick);
    connect(ui.CopyED2kLinkHTML, &QAction::triggered, this, &TMainForm::CopyED2kLinkHTMLClick);
    connect(ui.ActionCopyLinks, &QAction::triggered, this, &TMainForm::CopyED2kLinksClick);
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
    m_popupMenu->addAction(ui.ActionCopyLinks);
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(ui.ActionAjouter);
    m_popupMenu->addAction(ui.ActionAjouterPart);
    m_popupMenu->addAction(ui.ActionAddFolder);
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
    return {m_ui->ActionSupprimer, m_ui->ActionComment,    m_ui->ActionOuvrir,   m_ui->ActionRefresh,
            m_ui->CopyED2klink,    m_ui->CopyED2kLinkHTML, m_ui->ActionCopyLinks};
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

QString TMainForm::ProgressText() const
{
    return m_ui->StatusPanel2->text();
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
    std::vector<TPath> unmeasured;
    unmeasured.reserve(paths.size());
    for (const std::string &path : paths)
        unmeasured.push_back({path});
    QueuePaths(m_files, std::move(unmeasured));
}

void TMainForm::QueueFolders(const std::vector<std::string> &paths)
{
    if (paths.empty())
        return;
    try {
        const std::uint64_t request = m_feed->Add(paths, TWalkFeed::TMode::Walk);
        m_feedRequests[request] = TFeedRequest{};
    } catch (const std::exception &e) {
        ShowError(QString::fromLocal8Bit(e.what()));
        return;
    }
    m_stopped.reset();
    StartNextFile();
}

void TMainForm::FileDrop1Drop(const QStringList &paths)
{
    const bool folders = m_settings.DropFolders
                         && std::any_of(paths.begin(), paths.end(), [](const QString &path) { return QFileInfo(path).isDir(); });
    if (!folders) {
        QueueFiles(paths);
        return;
    }
    // The whole drop in its order: the folders walked, the files as they are.
    std::vector<std::string> bytes;
    for (const QString &path : paths)
        bytes.push_back(EntryBytes(path));
    QueueFolders(bytes);
}

// --- Work ----------------------------------------------------------------
//
// Paths go into the queue of their kind; its workers make the entries and
// hash them, plain files several at once in lanes, and post EntriesReady,
// which lists every entry that is ready in the order the paths were given.
// So each entry joins the list in its sorted place as it did when files
// were hashed one after another, and the status text counts the paths not
// yet listed. The queue is idle (Busy() false) once every path given has
// been listed, or dropped by a Stop (Queue->Stop(), Held cleared): then
// EntriesReady finds it idle, and StartNextFile says "Ready" and hides the
// bar.

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
    std::vector<TPath> paths;
    for (const QString &path : chosen)
        paths.push_back({EntryBytes(path)});
    QueuePaths(m_parts, std::move(paths));
}

void TMainForm::ActionAddFolderExecute()
{
    const QString start = m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder;
    const QString chosen = FolderChooser(this, tr("Add Folder"), start);
    if (chosen.isEmpty())
        return;
    m_lastFolder = chosen;
    QueueFolders({EntryBytes(chosen)});
}

void TMainForm::ActionStopExecute()
{
    std::size_t stopped = 0;
    for (TWork *work : {&m_files, &m_parts}) {
        stopped += work->Held.size() + (work->Queue ? work->Queue->Pending() : 0);
        work->Held.clear();
        work->Given.clear();
        if (work->Queue)
            work->Queue->Stop();
        if (work->Refresh)
            work->RefreshStop = true;
    }
    m_feed->Stop();
    m_feedRequests.clear();
    m_files.Run = {};
    m_progressLine.Reset();
    // A second Stop, while what the first one ended winds down, keeps its count.
    if (stopped > 0 || !m_stopped)
        m_stopped = stopped;
    StartNextFile();
}

TMainForm::TWork::TWork(bool plainFiles)
    : PlainFiles(plainFiles)
{
}

TMainForm::TWork::~TWork() = default;

bool TMainForm::Busy(const TWork &work)
{
    return work.Refresh || !work.Held.empty() || (work.Queue && work.Queue->Busy());
}

bool TMainForm::Stoppable(const TWork &work)
{
    return work.Refresh || !work.Held.empty() || (work.Queue && work.Queue->Pending() > 0);
}

bool TMainForm::Walking() const
{
    return std::any_of(m_feedRequests.begin(), m_feedRequests.end(),
                       [](const auto &request) { return request.second.Walk; });
}

void TMainForm::UpdateStopCommand()
{
    m_ui->ActionStop->setEnabled(Stoppable(m_files) || Stoppable(m_parts) || Walking());
}

void TMainForm::QueuePaths(TWork &work, std::vector<TPath> paths)
{
    // Entries made from here on take the settings as they stand now.
    m_newEntries->Set(m_settings);
    if (work.PlainFiles && !paths.empty()) {
        m_stopped.reset();
        for (const TPath &path : paths) {
            if (path.Size >= 0)
                work.Run.WaitingBytes += path.Size;
            else
                ++work.Run.Unmeasured;
        }
    }
    if (work.Refresh)
        work.Held.insert(work.Held.end(), std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
    else
        GiveToQueue(work, std::move(paths));
    if (work.PlainFiles)
        StartNextFile();
    UpdateStopCommand();
}

std::unique_ptr<THashQueue> TMainForm::MakeQueue(TWork &work)
{
    THashQueueOptions options;
    if (work.PlainFiles) {
        options.Workers = std::max(1u, std::thread::hardware_concurrency());
        options.Tokens = m_cores;
    } else {
        // Descriptors are small reads of their own format, one at a time, and
        // never wait for the cores the plain files hold.
        options.Workers = 1;
        options.Lanes = false;
    }
    // Many ready entries make one step: the flag stays set until it runs.
    options.OnReady = [this, &work, posted = work.ReadyPosted] {
        if (posted->exchange(true))
            return;
        try {
            m_dispatcher->Post([this, &work] { EntriesReady(work); });
        } catch (...) {
            posted->store(false);
            throw;
        }
    };
    return std::make_unique<THashQueue>(std::move(options));
}

void TMainForm::GiveToQueue(TWork &work, std::vector<TPath> paths)
{
    if (paths.empty())
        return;
    // An idle queue is made anew, so that its workers start from the
    // priority of the settings as they stand now.
    if (!work.Queue || !work.Queue->Busy()) {
        work.Queue = MakeQueue(work);
        ++work.QueueNumber;
        work.Given.clear();
    }
    std::vector<THashQueue::TMake> makes;
    makes.reserve(paths.size());
    const bool descriptors = !work.PlainFiles;
    const std::thread::id interfaceThread = std::this_thread::get_id();
    for (const TPath &path : paths) {
        makes.push_back([path = path.Path, descriptors, interfaceThread, settings = m_newEntries] {
            const TNewEntrySettings::TValues now = settings->Get();
            TakePriority(now.ThreadPriority, interfaceThread);
            // A descriptor shows the AICH root it records where the settings
            // ask plain files to compute theirs.
            if (descriptors)
                return THashQueueItem{std::make_unique<TPartFile>(path, now.ActiveHashes)};
            return THashQueueItem{std::make_unique<TDonkeyFile>(path, now.ReplaceSpaceStr, now.NameSuffix,
                                                                now.NamePrefix, now.ActiveHashes)};
        });
    }
    const std::size_t first = work.Queue->Add(std::move(makes));
    // The plain files not yet measured are measured off this thread, for the
    // bytes of the progress line.
    TFeedRequest measure{.Walk = false, .QueueNumber = work.QueueNumber};
    std::vector<std::string> unmeasured;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (work.PlainFiles && paths[i].Size < 0) {
            unmeasured.push_back(paths[i].Path);
            measure.Indexes.push_back(first + i);
        }
        work.Given.push_back({first + i, std::move(paths[i].Path), paths[i].Size});
    }
    if (unmeasured.empty())
        return;
    try {
        const std::uint64_t request = m_feed->Add(std::move(unmeasured), TWalkFeed::TMode::Measure);
        m_feedRequests[request] = std::move(measure);
    } catch (...) {
        // No thread to measure them: the line shows no total and no time left.
    }
}

void TMainForm::Forget(TWork &work, const TGiven &given)
{
    if (!work.PlainFiles)
        return;
    if (given.Size >= 0)
        work.Run.WaitingBytes -= given.Size;
    else if (work.Run.Unmeasured > 0)
        --work.Run.Unmeasured;
}

void TMainForm::EntriesReady(TWork &work)
{
    work.ReadyPosted->store(false);
    if (!work.Queue)
        return;
    QElapsedTimer spent;
    spent.start();
    std::optional<TWaitCursor> hourglass;
    QStringList faults;
    int moreFaults = 0;
    bool sliceUsed = false;
    while (std::optional<THashedEntry> done = work.Queue->TryTake()) {
        // Paths a Stop dropped are never taken.
        while (!work.Given.empty() && work.Given.front().Index < done->Index) {
            Forget(work, work.Given.front());
            work.Given.pop_front();
        }
        std::string path;
        if (!work.Given.empty() && work.Given.front().Index == done->Index) {
            Forget(work, work.Given.front());
            path = std::move(work.Given.front().Path);
            work.Given.pop_front();
        }
        if (!hourglass)
            hourglass.emplace();
        if (work.PlainFiles) {
            ++work.Run.DoneFiles;
            work.Run.DoneBytes += done->Entry ? done->Entry->Size() : 0;
        }
        if (done->Entry)
            m_entryList->AddFinishedEntry(std::move(done->Entry));
        else if (faults.size() < FaultsShown)
            faults << tr("%1: %2").arg(EntryText(path), CoreReason(done->Fault));
        else
            ++moreFaults;
        if (work.PlainFiles)
            StartNextFile();
        if (spent.elapsed() >= ListingSliceMs) {
            sliceUsed = true;
            break;
        }
    }
    hourglass.reset();
    // The rest in a step of its own, after what waits meanwhile (a repaint,
    // the user's input).
    if (sliceUsed && !work.ReadyPosted->exchange(true))
        m_dispatcher->Post([this, &work] { EntriesReady(work); });
    if (!faults.isEmpty()) {
        if (moreFaults > 0)
            faults << tr("and %n more", nullptr, moreFaults);
        ShowError(faults.join(QLatin1Char('\n')));
    }
    if (work.PlainFiles)
        StartNextFile();
    UpdateStopCommand();
}

void TMainForm::FeedReady()
{
    m_feedPosted->store(false);
    QElapsedTimer spent;
    spent.start();
    while (std::optional<TFeedBatch> batch = m_feed->TryTake()) {
        TakeBatch(std::move(*batch));
        // The rest in a step of its own, as the listing does.
        if (spent.elapsed() >= ListingSliceMs) {
            if (!m_feedPosted->exchange(true))
                m_dispatcher->Post([this] { FeedReady(); });
            break;
        }
    }
    StartNextFile();
}

void TMainForm::TakeBatch(TFeedBatch batch)
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
            if (request.QueueNumber != m_files.QueueNumber || m_files.Given.empty())
                continue;
            const std::size_t first = m_files.Given.front().Index;
            if (index < first || index - first >= m_files.Given.size())
                continue;
            TGiven &given = m_files.Given[index - first];
            if (given.Size >= 0)
                continue;
            given.Size = file.Size;
            m_files.Run.WaitingBytes += file.Size;
            if (m_files.Run.Unmeasured > 0)
                --m_files.Run.Unmeasured;
        }
    } else {
        // A descriptor found in a folder is read as one; every other file,
        // and a path given as it stands, is hashed.
        std::vector<TPath> files;
        std::vector<TPath> descriptors;
        files.reserve(batch.Files.size());
        for (TFoundFile &file : batch.Files) {
            const bool descriptor = file.InFolder && IsPartMetPath(file.Path);
            (descriptor ? descriptors : files).push_back({std::move(file.Path), file.Size});
        }
        if (!descriptors.empty())
            QueuePaths(m_parts, std::move(descriptors));
        if (!files.empty())
            QueuePaths(m_files, std::move(files));
        for (const TWalkItem &failed : batch.Failed) {
            if (request.Failed.size() < FaultsShown)
                request.Failed << tr("%1: %2").arg(ShownPath(EntryText(failed.Path)), CoreReason(failed.Reason));
            else
                ++request.MoreFailed;
        }
    }
    if (!batch.Last)
        return;
    if (!request.Failed.isEmpty()) {
        QStringList message{tr("These folders could not be read:")};
        message << request.Failed;
        if (request.MoreFailed > 0)
            message << tr("and %n more", nullptr, request.MoreFailed);
        ShowError(message.join(QLatin1Char('\n')));
    }
    m_feedRequests.erase(found);
}

void TMainForm::StartNextFile()
{
    const std::size_t left = m_files.Held.size() + (m_files.Queue ? m_files.Queue->Pending() : 0);
    if (Walking())
        SetStatusText(tr("Reading the folder: %n file(s) left", nullptr, static_cast<int>(left)));
    else if (left == 0 && m_stopped)
        SetStatusText(tr("Stopped: %n file(s) not hashed", nullptr, static_cast<int>(*m_stopped)));
    else
        SetStatusText(left == 0 ? tr("Ready") : tr("%n file(s) left", nullptr, static_cast<int>(left)));
    // The bar and the progress line follow the queue while it hashes; a
    // refresh drives the bar itself.
    const bool hashing = m_progressShown && left > 0 && m_files.Queue && m_files.Queue->Busy();
    if (hashing && !m_progressTimer->isActive()) {
        ShowProgress();
        m_ui->ProgressBar1->show();
        m_progressTimer->start();
    } else if (!hashing && m_progressTimer->isActive()) {
        m_progressTimer->stop();
        m_ui->ProgressBar1->hide();
        m_ui->StatusPanel2->clear();
    }
    // A run of work ends when nothing of it is left: the next one counts anew.
    if (!Busy(m_files) && !Walking()) {
        m_files.Run = {};
        m_progressLine.Reset();
    }
    UpdateStopCommand();
}

void TMainForm::SetProgressInterval(int milliseconds)
{
    m_progressShown = milliseconds > 0;
    if (m_progressShown)
        m_progressTimer->setInterval(milliseconds);
    // Takes effect at the next file that starts or ends.
}

void TMainForm::ShowProgress()
{
    if (!m_files.Queue)
        return;
    ShowRunProgress(m_files.Held.size() + m_files.Queue->Pending());
}

void TMainForm::ShowRunProgress(std::size_t left)
{
    const TRunCount &run = m_files.Run;
    TProgressCounts counts;
    counts.DoneFiles = run.DoneFiles;
    counts.AllFiles = run.DoneFiles + left;
    counts.DoneBytes = run.DoneBytes + m_files.Queue->HashedBytes();
    if (run.Unmeasured == 0)
        counts.AllBytes = std::max(run.DoneBytes + run.WaitingBytes, counts.DoneBytes);
    m_progressLine.Sample(m_clock.elapsed(), counts.DoneBytes);
    m_ui->StatusPanel2->setText(m_progressLine.Text(counts));

    // The whole run when it holds more than one file (its bytes when all are
    // known, else its files); the chunks of the file when it holds one.
    QProgressBar *bar = m_ui->ProgressBar1;
    int maximum = BarRange;
    int value = 0;
    if (counts.AllFiles > 1) {
        if (counts.AllBytes && *counts.AllBytes > 0)
            value = static_cast<int>(counts.DoneBytes * BarRange / *counts.AllBytes);
        else
            value = static_cast<int>(counts.DoneFiles * BarRange / counts.AllFiles);
    } else if (const std::optional<THashQueueProgress> now = m_files.Queue->Progress()) {
        // A file not yet measured shows 0 of 1.
        maximum = std::max(now->Chunks, 1);
        value = now->Chunk;
    }
    if (bar->maximum() != maximum || bar->minimum() != 0)
        bar->setRange(0, maximum);
    bar->setValue(std::clamp(value, 0, maximum));
}

bool TMainForm::StartWorker(TDonkeyFile &entry, bool withProgress, std::function<void(TTestThread &)> done)
{
    try {
        auto worker = std::make_unique<TTestThread>(entry, m_settings.ThreadPriority,
                                                    withProgress ? m_progress.get() : nullptr, *m_dispatcher);
        worker->OnTerminate = std::move(done);
        TTestThread *started = TTestThread::Start(std::move(worker));
        (withProgress ? m_files : m_parts).Refresh = started;
        return true;
    } catch (const std::exception &e) {
        if (withProgress)
            m_ui->ProgressBar1->hide();
        ShowError(QString::fromLocal8Bit(e.what()));
        return false;
    }
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
    Refresh(m_files, entry);
}

void TMainForm::RefreshPartEntry(TDonkeyFile &entry)
{
    Refresh(m_parts, entry);
}

void TMainForm::Refresh(TWork &work, TDonkeyFile &entry)
{
    // Ignored while paths of its kind are being hashed or read.
    if (Busy(work))
        return;
    // Stop ends the run at its next block; the flag is the entry's for this
    // run only.
    work.RefreshStop = false;
    entry.HashOptions.Stop = &work.RefreshStop;
    if (!StartWorker(entry, work.PlainFiles, [this, &work](TTestThread &worker) { RefreshDone(work, worker); })) {
        entry.HashOptions.Stop = nullptr;
        return;
    }
    work.Refreshed = &entry;
    UpdateStopCommand();
}

void TMainForm::RefreshDone(TWork &work, TTestThread &worker)
{
    work.Refresh = nullptr;
    if (!worker.FatalError().empty())
        ShowError(QString::fromStdString(worker.FatalError()));
    m_entryList->RedrawAll();
    if (work.PlainFiles)
        m_ui->ProgressBar1->hide();
    if (work.Refreshed)
        work.Refreshed->HashOptions.Stop = nullptr;
    ReleaseAfterReport(std::exchange(work.Refreshed, nullptr));
    // The paths added meanwhile go on.
    GiveToQueue(work, std::exchange(work.Held, {}));
    if (work.PlainFiles)
        StartNextFile();
    UpdateStopCommand();
}

void TMainForm::ReleaseEntries(std::vector<std::unique_ptr<TDonkeyFile>> entries)
{
    for (std::unique_ptr<TDonkeyFile> &entry : entries) {
        if (entry && (entry.get() == m_files.Refreshed || entry.get() == m_parts.Refreshed))
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

void TMainForm::CopyED2kLinksClick()
{
    QStringList links;
    for (const int row : m_listView->SelectedRows()) {
        if (const TDonkeyFile *entry = m_entryList->EntryAt(row))
            links << LinkText(entry->DonkeyLink());
    }
    // Straight to the clipboard: the detail dialog's link field holds one line.
    if (!links.isEmpty())
        QGuiApplication::clipboard()->setText(links.join(QLatin1Char('\n')));
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
    m_ui->ActionRefresh->setEnabled(!FileWorkerBusy());
    m_ui->ActionRefresh->setVisible(selected);
    for (QAction *command : {m_ui->CopyED2klink, m_ui->CopyED2kLinkHTML, m_ui->ActionCopyLinks}) {
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
    // Entries not yet made take the new values.
    m_newEntries->Set(m_settings);
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
    return FileWorkerBusy() || PartWorkerBusy() || Walking() || m_checkLinksForm->Busy();
}

bool TMainForm::StoppedOnly(const TWork &work)
{
    return !work.Refresh && work.Held.empty() && (!work.Queue || work.Queue->Pending() == 0);
}

bool TMainForm::FormCloseQuery()
{
    // What a Stop ended may still be winding down: the window closes at once
    // all the same, and its end waits for the last block.
    const bool refuse = m_checkLinksForm->Busy() || Walking() || !StoppedOnly(m_files) || !StoppedOnly(m_parts);
    if (!refuse)
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
    // The workers are done by now (the destructor waited for them).
    m_files.Queue.reset();
    m_parts.Queue.reset();
}
