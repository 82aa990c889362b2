// The main window's commands: their actions and the popup, the paths handed
// to the work controller (Add, Add Partmet, Add Folder, a drop, Refresh,
// Stop), and the commands on listed entries (delete, copy, open, export,
// options, check).
#include "main.h"
#include "ui_main.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>

#include "FileDrop.h"
#include "about.h"
#include "checklinks.h"
#include "detail.h"
#include "entrylist.h"
#include "exportlink.h"
#include "listview.h"
#include "option.h"
#include "outils.h"
#include "paths.h"
#include "entries/partfile.h"
#include "links/sharelist.h"
#include "workcontroller.h"

namespace {

std::vector<std::string> PathsOfUrls(const QList<QUrl> &urls)
{
    std::vector<std::string> paths;
    for (const QUrl &url : urls) {
        if (std::string path = PathOfUrl(url); !path.empty())
            paths.push_back(std::move(path));
    }
    return paths;
}

} // namespace

// --- The commands and the popup ----------------------------------------------

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
    connect(ui.CopyMagnetLink, &QAction::triggered, this, &TMainForm::CopyMagnetLinksClick);
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
    m_popupMenu->addAction(ui.CopyMagnetLink);
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
            m_ui->CopyED2klink,    m_ui->CopyED2kLinkHTML, m_ui->CopyMagnetLink, m_ui->ActionCopyLinks};
}

// --- Paths in -----------------------------------------------------------------

void TMainForm::QueueFiles(const QStringList &paths)
{
    std::vector<std::string> bytes;
    for (const QString &path : paths)
        bytes.push_back(PathOfText(path));
    m_work->AddFiles(std::move(bytes));
}

void TMainForm::QueueFilePaths(const std::vector<std::string> &paths)
{
    std::vector<std::string> absolute;
    for (const std::string &path : paths)
        absolute.push_back(AbsolutePath(path));
    m_work->AddFiles(std::move(absolute));
}

void TMainForm::QueueFolders(const std::vector<std::string> &paths)
{
    std::vector<std::string> absolute;
    for (const std::string &path : paths)
        absolute.push_back(AbsolutePath(path));
    m_work->AddFolders(std::move(absolute));
}

void TMainForm::ActionAjouterExecute()
{
    const QList<QUrl> chosen = FileChooser(this, tr("Add"), m_work->FilesFolder(), QString());
    if (chosen.isEmpty())
        return;
    // The next Add opens where the user last chose files.
    m_work->SetFilesFolder(QFileInfo(chosen.first().toLocalFile()).absolutePath());
    m_work->AddFiles(PathsOfUrls(chosen));
}

void TMainForm::ActionAjouterPartExecute()
{
    const QList<QUrl> chosen = FileChooser(this, tr("Add Partmet"), EntryText(m_settings.EdonkeyTempPath),
                                           tr("Fichier eDonkey  (*.part.met)"));
    if (!chosen.isEmpty())
        m_work->AddDescriptors(PathsOfUrls(chosen));
}

void TMainForm::ActionAddFolderExecute()
{
    const QString last = m_work->LastFolder();
    const QString chosen = FolderChooser(this, tr("Add Folder"), last.isEmpty() ? QDir::homePath() : last);
    if (chosen.isEmpty())
        return;
    m_work->SetLastFolder(chosen);
    m_work->AddFolders({PathOfText(chosen)});
}

void TMainForm::FileDrop1Drop(TFileDrop *drop)
{
    // With DropFolders the whole drop is walked in its order: a folder stands
    // for its files, a file for itself. The walk tells them apart, off this
    // thread (a dropped path may lie on a mount that no longer answers).
    std::vector<std::string> paths = PathsOfUrls(drop->Urls());
    if (m_settings.DropFolders)
        m_work->AddFolders(std::move(paths));
    else
        m_work->AddFiles(std::move(paths));
}

void TMainForm::ActionStopExecute()
{
    m_work->Stop();
    m_progressLine.Reset();
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
    m_work->Refresh(entry);
}

void TMainForm::RefreshPartEntry(TDonkeyFile &entry)
{
    m_work->Refresh(entry);
}

// --- Commands on listed entries --------------------------------------------

TDonkeyFile *TMainForm::CurrentEntry() const
{
    return m_entryList->EntryAt(m_listView->FirstSelectedRow());
}

void TMainForm::ActionSupprimerExecute()
{
    // One selected row is CurrentEntry; several go from the bottom up. One
    // under refresh lives on until its run has ended.
    m_work->Release(m_entryList->TakeRows(m_listView->SelectedRows()));
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
    CopySelectedLinks([](const TDonkeyFile &entry) { return entry.DonkeyLink(); });
}

void TMainForm::CopyMagnetLinksClick()
{
    // An entry with no ed2k hash (failed, or not hashed yet) has no magnet
    // link to give.
    CopySelectedLinks([](const TDonkeyFile &entry) {
        return entry.DonkeyHash().size() == 32 ? entry.MagnetLink() : std::string();
    });
}

void TMainForm::CopySelectedLinks(const std::function<std::string(const TDonkeyFile &)> &linkOf)
{
    QStringList links;
    for (const int row : m_listView->SelectedRows()) {
        if (const TDonkeyFile *entry = m_entryList->EntryAt(row)) {
            if (const std::string link = linkOf(*entry); !link.empty())
                links << LinkText(link);
        }
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
    for (QAction *command : {m_ui->CopyED2klink, m_ui->CopyED2kLinkHTML, m_ui->CopyMagnetLink, m_ui->ActionCopyLinks}) {
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
    // Entries not yet made take the new values.
    m_optionForm->Store(m_settings);
    m_work->SettingsChanged();
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
    const QList<QUrl> chosen = FileChooser(this, tr("Check against links"), m_work->FilesFolder(),
                                           tr("Share lists (*.txt *.htm *.html);;All files (*)"));
    if (chosen.isEmpty())
        return;
    // The files are looked for under the names the links carry, and under
    // those names without the link-name texts of the settings.
    const TLinkNameTexts texts{m_settings.NamePrefix, m_settings.NameSuffix, m_settings.ReplaceSpaceStr};
    if (m_checkLinksForm->Start(PathOfUrl(chosen.first()), {texts}))
        m_checkLinksForm->show();
}

void TMainForm::Aproposde1Click()
{
    m_aboutForm->exec();
}
