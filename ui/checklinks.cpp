#include "checklinks.h"
#include "ui_checklinks.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QPointer>

#include "outils.h"

namespace {

std::string FolderOf(const std::string &path)
{
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

} // namespace

TCheckLinksForm::TCheckLinksForm(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::CheckLinksForm>())
{
    m_ui->setupUi(this);
    setModal(false);
    m_ui->ResultList->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_ui->ResultList->setColumnWidth(0, 80);
    m_ui->ResultList->setColumnWidth(1, 260);
    connect(m_ui->StopButton, &QPushButton::clicked, this, &TCheckLinksForm::Stop);
    connect(m_ui->CloseButton, &QPushButton::clicked, this, &QDialog::close);
}

TCheckLinksForm::~TCheckLinksForm()
{
    // The owner waits for Finished before it goes; a worker still here has
    // posted its last step and only returns, or ends at its next block.
    Stop();
    if (m_worker.joinable())
        m_worker.join();
}

bool TCheckLinksForm::Start(const std::string &listPath, const std::vector<TLinkNameTexts> &texts)
{
    if (m_busy)
        return false;
    if (m_worker.joinable())
        m_worker.join(); // done: it reported its end
    m_ui->ResultList->clear();
    std::fill(std::begin(m_counts), std::end(m_counts), 0);
    m_list = QFileInfo(EntryText(listPath)).fileName();
    m_ui->ListLabel->setText(tr("List: %1").arg(QDir::toNativeSeparators(EntryText(listPath))));
    m_ui->StatusLabel->setText(tr("Checking %1...").arg(m_list));
    m_ui->StopButton->setEnabled(true);
    m_stop = std::make_shared<std::atomic<bool>>(false);

    TLinkCheckOptions options;
    options.Folder = FolderOf(listPath);
    options.NameTexts = texts;
    options.Stop = m_stop;
    options.OnNewBlock = m_chunkObserver;
    // Results reach the dialog as queued steps; the dialog lives until the
    // worker's last step has run.
    const QPointer<TCheckLinksForm> self(this);
    m_busy = true;
    try {
        m_worker = std::thread([self, listPath, options] {
            std::string error;
            try {
                error = CheckLinkList(listPath, options, [&](const TLinkCheck &check) {
                    QMetaObject::invokeMethod(self, [self, check] { if (self) self->AddResult(check); },
                                              Qt::QueuedConnection);
                });
            } catch (const std::exception &e) {
                error = e.what();
            } catch (...) {
                error = "unexpected failure";
            }
            QMetaObject::invokeMethod(self, [self, error] { if (self) self->Finish(CoreReason(error)); },
                                      Qt::QueuedConnection);
        });
    } catch (const std::system_error &e) {
        m_busy = false;
        Finish(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

void TCheckLinksForm::Stop()
{
    if (m_stop)
        m_stop->store(true);
}

QTreeWidget *TCheckLinksForm::ResultList() const
{
    return m_ui->ResultList;
}

QString TCheckLinksForm::StatusText() const
{
    return m_ui->StatusLabel->text();
}

void TCheckLinksForm::AddResult(const TLinkCheck &check)
{
    ++m_counts[static_cast<int>(check.Verdict)];
    auto *row = new QTreeWidgetItem(m_ui->ResultList, {CoreWord(VerdictText(check.Verdict)),
                                                EntryText(check.Link.Name), CoreReason(check.Detail)});
    row->setToolTip(1, EntryText(check.Path));
    if (check.Verdict != TLinkVerdict::Ok)
        row->setForeground(0, QColor(Qt::red));
}

void TCheckLinksForm::Finish(const QString &error)
{
    m_busy = false;
    m_ui->StopButton->setEnabled(false);
    QString text = tr("%1 OK, %2 failed, %3 missing")
                       .arg(m_counts[0])
                       .arg(m_counts[1])
                       .arg(m_counts[2]);
    if (m_counts[3])
        text += tr(", %1 unreadable").arg(m_counts[3]);
    const bool stopped = m_stop && m_stop->load();
    if (stopped)
        text += tr(" (stopped)");
    if (!error.isEmpty())
        text = tr("%1: %2").arg(m_list, error);
    else if (m_ui->ResultList->topLevelItemCount() == 0 && !stopped)
        text = tr("%1: no ed2k or fs links found").arg(m_list);
    m_ui->StatusLabel->setText(text);
    emit Finished();
}

void TCheckLinksForm::reject()
{
    Stop();
    QDialog::reject();
}

void TCheckLinksForm::closeEvent(QCloseEvent *event)
{
    Stop();
    QDialog::closeEvent(event);
}
