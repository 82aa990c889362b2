#include "detail.h"
#include "ui_detail.h"

#include <algorithm>
#include <climits>
#include <limits>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocale>
#include <QShowEvent>
#include <QStyle>

#include "data.h"
#include "entries/donkeyfile.h"
#include "entries/partfile.h"
#include "links/links.h"
#include "outils.h"

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

TDetailForm::~TDetailForm() = default;

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
