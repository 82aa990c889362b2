#include "checklinks.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

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
{
    setObjectName(QStringLiteral("CheckLinksForm"));
    setWindowTitle(QStringLiteral("Check against links"));
    setModal(false);

    m_results = new QTreeWidget(this);
    m_results->setObjectName(QStringLiteral("ResultList"));
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setHeaderLabels({QStringLiteral("Result"), QStringLiteral("Name"), QStringLiteral("Details")});
    m_results->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_results->setColumnWidth(0, 80);
    m_results->setColumnWidth(1, 260);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    m_stopButton = new QPushButton(QStringLiteral("Stop"), this);
    m_stopButton->setObjectName(QStringLiteral("StopButton"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Button1"));
    connect(m_stopButton, &QPushButton::clicked, this, &TCheckLinksForm::Stop);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_stopButton);
    bottom->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_results, 1);
    layout->addLayout(bottom);
    resize(560, 320);
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
    m_results->clear();
    std::fill(std::begin(m_counts), std::end(m_counts), 0);
    m_list = QFileInfo(EntryText(listPath)).fileName();
    m_status->setText(QStringLiteral("Checking ") + m_list + QStringLiteral("..."));
    m_stopButton->setEnabled(true);
    m_stop = std::make_shared<std::atomic<bool>>(false);

    TLinkCheckOptions options;
    options.Folder = FolderOf(listPath);
    options.NameTexts = texts;
    options.Stop = m_stop;
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
            QMetaObject::invokeMethod(self, [self, error] { if (self) self->Finish(EntryText(error)); },
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

QString TCheckLinksForm::StatusText() const
{
    return m_status->text();
}

void TCheckLinksForm::AddResult(const TLinkCheck &check)
{
    ++m_counts[static_cast<int>(check.Verdict)];
    auto *row = new QTreeWidgetItem(m_results, {QString::fromLatin1(VerdictText(check.Verdict)),
                                                EntryText(check.Link.Name), EntryText(check.Detail)});
    row->setToolTip(1, EntryText(check.Path));
    if (check.Verdict != TLinkVerdict::Ok)
        row->setForeground(0, QColor(Qt::red));
}

void TCheckLinksForm::Finish(const QString &error)
{
    m_busy = false;
    m_stopButton->setEnabled(false);
    QString text = QStringLiteral("%1 OK, %2 failed, %3 missing")
                       .arg(m_counts[0])
                       .arg(m_counts[1])
                       .arg(m_counts[2]);
    if (m_counts[3])
        text += QStringLiteral(", %1 unreadable").arg(m_counts[3]);
    const bool stopped = m_stop && m_stop->load();
    if (stopped)
        text += QStringLiteral(" (stopped)");
    if (!error.isEmpty())
        text = m_list + QStringLiteral(": ") + error;
    else if (m_results->topLevelItemCount() == 0 && !stopped)
        text = m_list + QStringLiteral(": no ed2k or fs links found");
    m_status->setText(text);
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
