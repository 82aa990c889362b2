// The main window: its making and closing, and what it shows of the work
// controller (the list, the status bar). The commands are in maincommands.cpp.
#include "main.h"
#include "ui_main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
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
#include "input/version.h"
#include "workcontroller.h"

namespace {

// A path longer than this is cut in its middle in a message.
constexpr qsizetype PathShown = 160;

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

QList<QUrl> ChooseWithDialog(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileUrls(parent, caption, QUrl::fromLocalFile(folder), filter);
}

QString ChooseFolderWithDialog(QWidget *parent, const QString &caption, const QString &start)
{
    QString folder = start;
    return BrowseForDirectory(caption, QDir::homePath(), folder, parent) ? folder : QString();
}

QString ShownPath(const std::string &bytes)
{
    const QString path = EntryText(bytes);
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
    connect(m_fileDrop, &TFileDrop::OnDrop, this, &TMainForm::FileDrop1Drop);

    connect(m_listView, &TListView::OpenRequested, this, &TMainForm::ActionOuvrirExecute);
    connect(m_listView, &TListView::PopupRequested, this, [this](const QPoint &at) { m_popupMenu->popup(at); });
    m_clock.start();

    FormCreate();
    m_work = std::make_unique<TWorkController>(m_settings);
    ConnectWork();

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
    // The work ends first: the hashing at its next block (a refresh may be
    // rewriting a listed entry), the walk let go without waiting for it.
    // Nothing here waits for this thread's events.
    m_work.reset();
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
}

void TMainForm::ConnectWork()
{
    TWorkController *work = m_work.get();
    connect(work, &TWorkController::EntriesReady, this, &TMainForm::ListEntries);
    connect(work, &TWorkController::StateChanged, this, &TMainForm::ShowStatus);
    connect(work, &TWorkController::RunProgress, this, &TMainForm::ShowRunProgress);
    connect(work, &TWorkController::RunEnded, this, &TMainForm::HideRunProgress);
    connect(work, &TWorkController::RefreshProgress, this, &TMainForm::ShowRefreshProgress);
    connect(work, &TWorkController::RefreshEnded, this, &TMainForm::RefreshEnded);
    connect(work, &TWorkController::Failed, this, &TMainForm::ShowError);
    connect(work, &TWorkController::EntriesFailed, this,
            [this](const std::vector<TPathFault> &faults, int more) { ShowFaults({}, faults, more); });
    connect(work, &TWorkController::FoldersNotRead, this, [this](const std::vector<TPathFault> &folders, int more) {
        ShowFaults(tr("These folders could not be read:"), folders, more);
    });
}

QProgressBar *TMainForm::ProgressBar1() const
{
    return m_ui->ProgressBar1;
}

QStatusBar *TMainForm::StatusBar1() const
{
    return m_ui->StatusBar1;
}

QString TMainForm::StatusText() const
{
    return m_ui->StatusPanel0->text();
}

QString TMainForm::ProgressText() const
{
    return m_ui->StatusPanel2->text();
}

bool TMainForm::FileWorkerBusy() const
{
    return m_work->FilesBusy();
}

bool TMainForm::PartWorkerBusy() const
{
    return m_work->DescriptorsBusy();
}

bool TMainForm::Walking() const
{
    return m_work->Walking();
}

const std::shared_ptr<TCoreTokens> &TMainForm::CoreTokens() const
{
    return m_work->CoreTokens();
}

bool TMainForm::WorkUnderWay() const
{
    return m_work->Busy() || m_checkLinksForm->Busy();
}

void TMainForm::SetProgressInterval(int milliseconds)
{
    m_work->SetProgressInterval(milliseconds);
}

void TMainForm::ShowError(const QString &message)
{
    // Not modal to the loop: the window goes on serving the workers.
    auto *box = new QMessageBox(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), message,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TMainForm::ShowFaults(const QString &heading, const std::vector<TPathFault> &faults, int more)
{
    QStringList message;
    if (!heading.isEmpty())
        message << heading;
    for (const TPathFault &fault : faults)
        message << tr("%1: %2").arg(ShownPath(fault.Path), CoreReason(fault.Reason));
    if (more > 0)
        message << tr("and %n more", nullptr, more);
    ShowError(message.join(QLatin1Char('\n')));
}

// --- What the work says ----------------------------------------------------

void TMainForm::ListEntries(TEntryBatch &batch)
{
    const TWaitCursor hourglass;
    m_entryList->AddFinishedEntries(std::move(batch.Entries));
}

void TMainForm::ShowStatus()
{
    const TWorkController &work = *m_work;
    const std::size_t left = work.FilesLeft();
    // Empty until plain files are first added.
    if (StatusText().isEmpty() && left == 0 && !work.Walking() && !work.NotHashed())
        return;
    QString text;
    if (work.Walking())
        text = tr("Reading the folder: %n file(s) left", nullptr, static_cast<int>(left));
    else if (left == 0 && work.NotHashed())
        text = tr("Stopped: %n file(s) not hashed", nullptr, static_cast<int>(*work.NotHashed()));
    else
        text = left == 0 ? tr("Ready") : tr("%n file(s) left", nullptr, static_cast<int>(left));
    m_ui->StatusPanel0->setText(text);
    m_ui->ActionStop->setEnabled(work.Stoppable());
}

void TMainForm::ShowRunProgress(const TRunProgress &progress)
{
    m_progressLine.Sample(m_clock.elapsed(), progress.Counts.DoneBytes);
    m_ui->StatusPanel2->setText(m_progressLine.Text(progress.Counts));
    // A busy bar while the total is unknown.
    QProgressBar *bar = m_ui->ProgressBar1;
    if (bar->maximum() != progress.BarMaximum || bar->minimum() != 0)
        bar->setRange(0, progress.BarMaximum);
    bar->setValue(progress.BarValue);
    bar->show();
}

void TMainForm::HideRunProgress()
{
    m_ui->ProgressBar1->hide();
    m_ui->StatusPanel2->clear();
    // The next run's speed starts anew.
    m_progressLine.Reset();
}

void TMainForm::ShowRefreshProgress(const TDonkeyFile *entry, int chunk, int chunks)
{
    QProgressBar *bar = m_ui->ProgressBar1;
    bar->setRange(0, chunks);
    bar->setValue(std::min(chunk, chunks));
    bar->show();
    // The row shows each chunk's progress.
    if (chunk > 0)
        m_entryList->RedrawRow(m_entryList->RowOf(entry));
}

void TMainForm::RefreshEnded(bool plainFile, const QString &fatal)
{
    if (!fatal.isEmpty())
        ShowError(fatal);
    m_entryList->RedrawAll();
    if (plainFile)
        m_ui->ProgressBar1->hide();
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
    // What a Stop ended may still be winding down: the window closes at once
    // all the same, and its end waits for the last block.
    if (!m_checkLinksForm->Busy() && m_work->OnlyStoppedWorkLeft())
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
