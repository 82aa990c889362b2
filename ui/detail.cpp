#include "detail.h"
#include "ui_detail.h"

#include <algorithm>
#include <array>
#include <climits>
#include <limits>
#include <system_error>

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QShowEvent>
#include <QStyle>

#include "chunkmap.h"
#include "data.h"
#include "entries/donkeyfile.h"
#include "entries/partfile.h"
#include "links/links.h"
#include "outils.h"
#include "runs/runentry.h"

namespace {

constexpr std::int64_t UnscaledLimit = 1048576;

QString LocaleDecimalPoint()
{
    return QLocale().decimalPoint();
}

QString SizeTextOf(std::int64_t size)
{
    return QString::fromStdString(SizeText(size, LocaleDecimalPoint().toStdString()));
}

// The program's picture of a command, or the style's when the pictures are not loaded.
QIcon Picture(const char *name, QStyle::StandardPixmap fallback, const QStyle *style)
{
    const QIcon icon = TDataModule1::CommandImage(QString::fromLatin1(name));
    return icon.pixmap(16, 16).isNull() ? style->standardIcon(fallback) : icon;
}

// The legend of the chunk map: a swatch and a count per verdict.
std::array<QLabel *, 6> LegendOf(const Ui::DetailForm &ui)
{
    return {ui.GoodSwatch, ui.GoodCount, ui.CorruptSwatch, ui.CorruptCount, ui.MissingSwatch, ui.MissingCount};
}

void SetField(QLineEdit *field, const QString &text)
{
    field->setText(text);
    field->setCursorPosition(0);
}

} // namespace

TProgressScale ProgressScaleOf(std::int64_t size, std::uint64_t transferred)
{
    if (size <= 0)
        return {1, 1};
    auto maximum = static_cast<std::uint64_t>(size);
    std::uint64_t position = transferred;
    if (size > UnscaledLimit) {
        maximum /= 1024;
        position /= 1024;
    }
    while (maximum > static_cast<std::uint64_t>(INT_MAX)) {
        maximum /= 1024;
        position /= 1024;
    }
    position = std::min(position, maximum);
    return {static_cast<int>(maximum), static_cast<int>(position)};
}

QString PercentText(std::int64_t size, std::uint64_t transferred, const QString &decimalPoint)
{
    if (size == 0)
        return QStringLiteral("100 %");
    const double percent = static_cast<double>(transferred) / static_cast<double>(size) * 100.0;
    return QString::number(percent, 'f', 2).replace(QLatin1Char('.'), decimalPoint) + QStringLiteral(" %");
}

QString VerificationUrlOf(const QString &urlComment, const TDonkeyFile &entry)
{
    return urlComment + QString::fromStdString(entry.DonkeyHashText());
}

TDetailForm::TDetailForm(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::DetailForm>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);

    m_ui->URLButton->setIcon(Picture("comment", QStyle::SP_FileDialogInfoView, style()));
    const QIcon copy = Picture("copy", QStyle::SP_DialogSaveButton, style());
    m_ui->DonkeyCopyButton->setIcon(copy);
    m_ui->FileSpreeCopyButton->setIcon(copy);
    connect(m_ui->URLButton, &QToolButton::clicked, this, &TDetailForm::URLButtonClick);
    connect(m_ui->DonkeyCopyButton, &QToolButton::clicked, this, &TDetailForm::DonkeyCopyButtonClick);
    connect(m_ui->FileSpreeCopyButton, &QToolButton::clicked, this, &TDetailForm::FileSpreeCopyButtonClick);
    connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::hide);
    connect(m_ui->CheckDataButton, &QPushButton::clicked, this, &TDetailForm::CheckDataButtonClick);
    connect(m_ui->StopCheckButton, &QPushButton::clicked, this, &TDetailForm::StopCheckButtonClick);
    m_ui->ChunkMapArea->setMaximumHeight(200);
    // The map stands on the page itself, as the fields do.
    m_ui->ChunkMapArea->viewport()->setAutoFillBackground(false);
    m_ui->ChunkMap->setAutoFillBackground(false);
    PaintLegend();
    ShowCheckIdle();

    // A link of a long prefix or name is still shown and copied whole.
    for (QLineEdit *field : findChildren<QLineEdit *>())
        field->setMaxLength(std::numeric_limits<int>::max());

    m_detailsTitle = m_ui->PageControl1->tabText(m_ui->PageControl1->indexOf(m_ui->TabSheet2));
    m_ui->FailureLabel->hide();
    m_ui->FailureEdit->hide();
    ShowDetailsPage(false);
    // Wide enough for a whole link at a glance; the fields scroll beyond it.
    resize(qMax(sizeHint().width(), 480), sizeHint().height());
}

TDetailForm::~TDetailForm()
{
    // Each check ends at its next block; its steps posted meanwhile go with
    // the dialog unrun.
    for (auto &[number, run] : m_runs)
        run.Stop->store(true);
    for (auto &[number, run] : m_runs) {
        if (run.Thread.joinable())
            run.Thread.join();
    }
}

void TDetailForm::ShowDetailsPage(bool shown)
{
    QTabWidget *pages = m_ui->PageControl1;
    const int index = pages->indexOf(m_ui->TabSheet2);
    if (shown && index < 0) {
        // Added behind the page that is active, which stays active.
        pages->addTab(m_ui->TabSheet2, m_detailsTitle);
    } else if (!shown && index >= 0) {
        // Taken out, not hidden: a hidden tab is still reached by Ctrl+Tab.
        // The page stays a (hidden) child of the page control.
        pages->setCurrentWidget(m_ui->TabSheet1);
        pages->removeTab(index);
    }
}

void TDetailForm::Fill(const TDonkeyFile &entry, const QString &verificationUrl)
{
    const TEntrySnapshot snapshot = entry.Snapshot();
    SetField(m_ui->FileEdit, EntryText(snapshot.DisplayName));
    SetField(m_ui->TailleEdit, SizeTextOf(snapshot.Size));
    SetField(m_ui->BlockEdit, QString::number(entry.ChunkCount()));
    SetField(m_ui->DonkeyHashEdit, CoreWord(snapshot.DonkeyHashText()));
    SetField(m_ui->FileSpreeHashEdit, CoreWord(snapshot.FileSpreeHashText()));
    SetField(m_ui->AichHashEdit, CoreWord(snapshot.AichHashText()));
    SetField(m_ui->DonkeyLinkEdit, LinkText(entry.DonkeyLink()));
    SetField(m_ui->FileSpreeLinkEdit, LinkText(entry.FileSpreeLink()));
    // Why the entry failed, or what its reading found amiss.
    const bool failed = !snapshot.Failure.empty();
    const std::string &reason = failed ? snapshot.Failure : snapshot.Warning;
    m_ui->FailureLabel->setText(failed ? tr("Error") : tr("Warning"));
    // The whole reason in the field, and as its tooltip when the field cuts it.
    SetField(m_ui->FailureEdit, CoreReason(reason));
    m_ui->FailureEdit->setToolTip(CoreReason(reason));
    m_ui->FailureLabel->setVisible(!reason.empty());
    m_ui->FailureEdit->setVisible(!reason.empty());
    setWindowTitle(EntryText(snapshot.DisplayName));
    m_verificationUrl = verificationUrl;

    // Every field of the download's page is filled anew or emptied, so that it
    // never shows another entry's values.
    const auto *part = dynamic_cast<const TPartFile *>(&entry);
    ShowDetailsPage(part != nullptr);
    // A check, under way or done, belongs to the descriptor it was made of.
    const std::string descriptor = part ? entry.Path() : std::string();
    if (descriptor != m_descriptorPath) {
        AbandonCheck();
        m_lastCheck.reset();
        m_descriptorPath = descriptor;
    }
    if (!Checking())
        ShowCheckIdle();
    const TProgressScale scale = part ? ProgressScaleOf(snapshot.Size, snapshot.Transferred) : TProgressScale{};
    m_ui->ProgressBar1->setRange(0, std::max(scale.Maximum, 1));
    m_ui->ProgressBar1->setValue(scale.Position);
    if (!part) {
        m_ui->ProgressBar1->setToolTip({});
        for (QLineEdit *field : {m_ui->TempEdit, m_ui->CopiedEdit, m_ui->TailleReelEdit, m_ui->PourcentEdit,
                                 m_ui->TypeEdit, m_ui->FormatEdit, m_ui->StatusEdit, m_ui->PriorityEdit})
            field->clear();
        return;
    }
    m_ui->ProgressBar1->setToolTip(tr("%1 Bytes Copied").arg(snapshot.Transferred));
    SetField(m_ui->TempEdit, EntryText(snapshot.TempFileName));
    SetField(m_ui->CopiedEdit,
             SizeTextOf(static_cast<std::int64_t>(std::min<std::uint64_t>(snapshot.Transferred, INT64_MAX))));
    SetField(m_ui->TailleReelEdit, SizeTextOf(snapshot.Size));
    SetField(m_ui->PourcentEdit, PercentText(snapshot.Size, snapshot.Transferred, LocaleDecimalPoint()));
    SetField(m_ui->TypeEdit, EntryText(snapshot.FileType));
    SetField(m_ui->FormatEdit, EntryText(snapshot.FileFormat));
    SetField(m_ui->StatusEdit, CoreWord(part->StatusText()));
    SetField(m_ui->PriorityEdit, CoreWord(part->PriorityText()));
}

void TDetailForm::ShowEntry(const TDonkeyFile &entry, const QString &verificationUrl)
{
    Fill(entry, verificationUrl);
    show();
    raise();
    activateWindow();
}

void TDetailForm::CopyLink(const QString &link)
{
    m_ui->DonkeyLinkEdit->setText(link);
    m_ui->DonkeyLinkEdit->selectAll();
    QGuiApplication::clipboard()->setText(link);
}

void TDetailForm::URLButtonClick()
{
    OpenAddress(m_verificationUrl);
}

void TDetailForm::DonkeyCopyButtonClick()
{
    CopyLink(m_ui->DonkeyLinkEdit->text());
}

void TDetailForm::FileSpreeCopyButtonClick()
{
    m_ui->FileSpreeLinkEdit->selectAll();
    QGuiApplication::clipboard()->setText(m_ui->FileSpreeLinkEdit->text());
}

void TDetailForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnDesktop(*this);
}

void TDetailForm::hideEvent(QHideEvent *event)
{
    // Closed by the user or the program, not hidden by the desktop.
    if (!event->spontaneous())
        AbandonCheck();
    QDialog::hideEvent(event);
}

void TDetailForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        PaintLegend();
    QDialog::changeEvent(event);
}

bool TDetailForm::Checking() const
{
    return m_currentRun != 0;
}

void TDetailForm::PaintLegend()
{
    const qreal ratio = devicePixelRatioF();
    const int side = 12;
    const std::pair<QLabel *, TChunkVerdict> swatches[] = {{m_ui->GoodSwatch, TChunkVerdict::Good},
                                                           {m_ui->CorruptSwatch, TChunkVerdict::Corrupt},
                                                           {m_ui->MissingSwatch, TChunkVerdict::Missing}};
    for (const auto &[label, verdict] : swatches) {
        QPixmap pixmap(QSize(side, side) * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        TChunkMap::PaintCell(painter, QRect(0, 0, side, side), verdict, palette());
        painter.end();
        label->setPixmap(pixmap);
    }
}

void TDetailForm::ShowCheckIdle()
{
    m_ui->CheckDataButton->setEnabled(!m_descriptorPath.empty());
    m_ui->StopCheckButton->setEnabled(false);
    m_ui->CheckProgress->hide();
    if (m_lastCheck) {
        ShowCheckResult(*m_lastCheck);
        return;
    }
    m_ui->CheckSummaryLabel->clear();
    m_ui->CheckSummaryLabel->hide();
    m_ui->ChunkMap->SetChunks({}, 0);
    m_ui->ChunkMapArea->hide();
    for (QLabel *label : LegendOf(*m_ui))
        label->hide();
}

void TDetailForm::ShowCheckResult(const TDataCheck &check)
{
    m_ui->CheckDataButton->setEnabled(!m_descriptorPath.empty());
    m_ui->StopCheckButton->setEnabled(false);
    m_ui->CheckProgress->hide();
    m_ui->CheckSummaryLabel->show();
    const bool checked = check.Error.empty();
    if (!checked) {
        m_ui->CheckSummaryLabel->setText(tr("Not checked: %1").arg(CoreReason(check.Error)));
    } else {
        const QString data = EntryText(check.DataPath);
        m_ui->CheckSummaryLabel->setText(
            tr("%1 of %2 complete in %3").arg(SizeTextOf(check.BytesComplete), SizeTextOf(check.Size),
                                                QFileInfo(data).fileName())
            + QLatin1Char('\n')
            + (check.HashesAgree.value_or(false) ? tr("The part hashes give the file hash.")
                                                 : tr("The part hashes do not give the file hash.")));
        m_ui->GoodCount->setText(tr("Good: %1").arg(check.Good));
        m_ui->CorruptCount->setText(tr("Corrupt: %1").arg(check.Corrupt));
        m_ui->MissingCount->setText(tr("Missing: %1").arg(check.Missing));
    }
    m_ui->ChunkMap->SetChunks(checked ? check.Chunks : std::vector<TChunkVerdict>(), check.Size);
    m_ui->ChunkMapArea->setVisible(checked && !check.Chunks.empty());
    for (QLabel *label : LegendOf(*m_ui))
        label->setVisible(checked);
    // Room for the map where the dialog is shorter than it needs.
    if (isVisible() && height() < sizeHint().height())
        resize(width(), sizeHint().height());
}

void TDetailForm::CheckDataButtonClick()
{
    if (m_descriptorPath.empty() || Checking())
        return;
    const std::uint64_t number = ++m_lastRun;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_lastCheck.reset();
    ShowCheckIdle();
    m_ui->CheckDataButton->setEnabled(false);
    m_ui->StopCheckButton->setEnabled(true);
    m_ui->CheckProgress->setRange(0, 0);
    m_ui->CheckProgress->show();
    m_ui->CheckSummaryLabel->setText(
        tr("Checking the data of %1...").arg(QFileInfo(EntryText(m_descriptorPath)).fileName()));
    m_ui->CheckSummaryLabel->show();

    // The steps reach the dialog as queued calls; it joins the thread once
    // the last one has run, or at its end.
    const unsigned threads = std::thread::hardware_concurrency() > 1 ? 2 : 1;
    const auto work = [this, number, stop, threads, path = m_descriptorPath, observer = m_checkObserver] {
        TDataCheck check;
        try {
            std::int64_t total = 0;
            TDataCheckOptions options;
            options.Threads = threads;
            options.Stop = stop.get();
            options.OnStart = [&](std::int64_t chunks) {
                total = chunks;
                QMetaObject::invokeMethod(this, [this, number, chunks] { CheckProgress(number, 0, chunks); },
                                          Qt::QueuedConnection);
                if (observer)
                    observer();
            };
            options.OnChunk = [&](std::int64_t done) {
                QMetaObject::invokeMethod(this, [this, number, done, total] { CheckProgress(number, done, total); },
                                          Qt::QueuedConnection);
            };
            check = CheckPartData(path, options);
        } catch (...) {
            check.Error = DescribeException(std::current_exception());
        }
        QMetaObject::invokeMethod(this, [this, number, check] { CheckDone(number, check); }, Qt::QueuedConnection);
    };
    try {
        m_runs[number] = TCheckRun{std::thread(work), stop};
    } catch (const std::system_error &e) {
        m_runs.erase(number);
        TDataCheck failed;
        failed.Error = e.what();
        m_lastCheck = std::make_unique<TDataCheck>(std::move(failed));
        ShowCheckResult(*m_lastCheck);
        return;
    }
    m_currentRun = number;
}

void TDetailForm::StopCheckButtonClick()
{
    const auto run = m_runs.find(m_currentRun);
    if (run != m_runs.end())
        run->second.Stop->store(true);
    m_ui->StopCheckButton->setEnabled(false);
}

void TDetailForm::AbandonCheck()
{
    if (!Checking())
        return;
    StopCheckButtonClick();
    m_currentRun = 0;
    ShowCheckIdle();
}

void TDetailForm::CheckProgress(std::uint64_t run, std::int64_t done, std::int64_t total)
{
    if (run != m_currentRun)
        return;
    // The bar's integers hold any count of chunks a file may have.
    m_ui->CheckProgress->setRange(0, static_cast<int>(std::min<std::int64_t>(total, INT_MAX)));
    m_ui->CheckProgress->setValue(static_cast<int>(std::min<std::int64_t>(done, INT_MAX)));
}

void TDetailForm::CheckDone(std::uint64_t run, const TDataCheck &check)
{
    if (const auto ended = m_runs.find(run); ended != m_runs.end()) {
        ended->second.Thread.join(); // it only returns now
        m_runs.erase(ended);
    }
    if (run == m_currentRun) {
        m_currentRun = 0;
        m_lastCheck = std::make_unique<TDataCheck>(check);
        ShowCheckResult(check);
    }
    emit CheckFinished();
}
