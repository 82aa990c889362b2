#include "detail.h"

#include <algorithm>
#include <climits>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QShowEvent>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "data.h"
#include "entries/donkeyfile.h"
#include "outils.h"
#include "entries/partfile.h"
#include "links/links.h"

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

QToolButton *ImageButton(const char *name, const QIcon &icon, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(icon);
    button->setAutoRaise(false);
    return button;
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
{
    setObjectName(QStringLiteral("DetailForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl1"));

    // Properties: label, read-only field, and an image button beside some fields.
    auto *properties = new QWidget;
    properties->setObjectName(QStringLiteral("TabSheet1"));
    auto *grid = new QGridLayout(properties);
    const QIcon web = Picture("comment", QStyle::SP_FileDialogInfoView, style());
    const QIcon copy = Picture("copy", QStyle::SP_DialogSaveButton, style());
    const struct
    {
        const char *label, *field, *button;
        const QIcon *icon;
    } rows[] = {
        {"File", "FileEdit", nullptr, nullptr},
        {"Size", "TailleEdit", nullptr, nullptr},
        {"Number of Block", "BlockEdit", nullptr, nullptr},
        {"Hash eDonkey2000", "DonkeyHashEdit", "URLButton", &web},
        {"Link eDonkey2000", "DonkeyLinkEdit", "DonkeyCopyButton", &copy},
        {"Hash AICH", "AichHashEdit", nullptr, nullptr},
        {"Hash FileSpree", "FileSpreeHashEdit", nullptr, nullptr},
        {"Link FileSpree", "FileSpreeLinkEdit", "FileSpreeCopyButton", &copy},
    };
    int row = 0;
    QList<QToolButton *> buttons;
    for (const auto &r : rows) {
        grid->addWidget(new QLabel(QString::fromLatin1(r.label)), row, 0);
        grid->addWidget(AddField(r.field), row, 1);
        if (r.button) {
            buttons.append(ImageButton(r.button, *r.icon, properties));
            grid->addWidget(buttons.last(), row, 2);
        }
        ++row;
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);

    QToolButton *urlButton = buttons[0];
    QToolButton *copyDonkey = buttons[1];
    QToolButton *copyFileSpree = buttons[2];
    copyDonkey->setToolTip(QStringLiteral("Copier Lien"));
    copyFileSpree->setToolTip(QStringLiteral("Copier Lien"));
    connect(urlButton, &QToolButton::clicked, this, &TDetailForm::URLButtonClick);
    connect(copyDonkey, &QToolButton::clicked, this, &TDetailForm::DonkeyCopyButtonClick);
    connect(copyFileSpree, &QToolButton::clicked, this, &TDetailForm::FileSpreeCopyButtonClick);

    // Details of a download.
    auto *details = new QWidget;
    details->setObjectName(QStringLiteral("TabSheet2"));
    auto *form = new QFormLayout(details);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const std::pair<const char *, const char *> detailRows[] = {
        {"Temp File", "TempEdit"}, {"Type", "TypeEdit"},         {"Format", "FormatEdit"},
        {"Status", "StatusEdit"},  {"Priority", "PriorityEdit"}, {"Size", "TailleReelEdit"},
        {"Copied", "CopiedEdit"},  {"Pourcent", "PourcentEdit"},
    };
    for (const auto &[label, field] : detailRows)
        form->addRow(QString::fromLatin1(label), AddField(field));
    m_progress = new QProgressBar(details);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setTextVisible(false);
    form->addRow(m_progress);

    m_pages->addTab(properties, QStringLiteral("Properties"));
    m_pages->addTab(details, QStringLiteral("Details"));

    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Button1"));
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addLayout(bottom);
    // Wide enough for a whole link at a glance; the fields scroll beyond it.
    resize(qMax(sizeHint().width(), 480), sizeHint().height());
}

QLineEdit *TDetailForm::AddField(const char *name)
{
    auto *field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(name));
    field->setReadOnly(true);
    return field;
}

void TDetailForm::Fill(const TDonkeyFile &entry, const QString &verificationUrl)
{
    const TEntrySnapshot snapshot = entry.Snapshot();
    const auto set = [this](const char *name, const QString &text) {
        QLineEdit *field = findChild<QLineEdit *>(QString::fromLatin1(name));
        field->setText(text);
        field->setCursorPosition(0);
    };
    set("FileEdit", EntryText(snapshot.DisplayName));
    set("TailleEdit", SizeTextOf(snapshot.Size));
    set("BlockEdit", QString::number(entry.ChunkCount()));
    set("DonkeyHashEdit", QString::fromStdString(snapshot.DonkeyHashText()));
    set("FileSpreeHashEdit", QString::fromStdString(snapshot.FileSpreeHashText()));
    set("AichHashEdit", QString::fromStdString(snapshot.AichHashText()));
    set("DonkeyLinkEdit", EntryText(entry.DonkeyLink()));
    set("FileSpreeLinkEdit", EntryText(entry.FileSpreeLink()));
    setWindowTitle(EntryText(snapshot.DisplayName));
    m_verificationUrl = verificationUrl;

    const auto *part = dynamic_cast<const TPartFile *>(&entry);
    if (!part) {
        m_pages->setCurrentIndex(0);
        m_pages->setTabVisible(1, false);
        return;
    }
    m_pages->setTabVisible(1, true);
    const TProgressScale scale = ProgressScaleOf(snapshot.Size, snapshot.Transferred);
    m_progress->setRange(0, scale.Maximum);
    m_progress->setValue(scale.Position);
    m_progress->setToolTip(QString::number(snapshot.Transferred) + QStringLiteral(" Bytes Copied"));
    set("TempEdit", EntryText(snapshot.TempFileName));
    set("CopiedEdit", SizeTextOf(static_cast<std::int64_t>(std::min<std::uint64_t>(snapshot.Transferred, INT64_MAX))));
    set("TailleReelEdit", SizeTextOf(snapshot.Size));
    set("PourcentEdit", PercentText(snapshot.Size, snapshot.Transferred, LocaleDecimalPoint()));
    set("TypeEdit", EntryText(snapshot.FileType));
    set("FormatEdit", EntryText(snapshot.FileFormat));
    set("StatusEdit", QString::fromStdString(part->StatusText()));
    set("PriorityEdit", QString::fromStdString(part->PriorityText()));
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
    auto *field = findChild<QLineEdit *>(QStringLiteral("DonkeyLinkEdit"));
    field->setText(link);
    field->selectAll();
    field->copy();
}

void TDetailForm::URLButtonClick()
{
    OpenAddress(m_verificationUrl);
}

void TDetailForm::DonkeyCopyButtonClick()
{
    auto *field = findChild<QLineEdit *>(QStringLiteral("DonkeyLinkEdit"));
    CopyLink(field->text());
}

void TDetailForm::FileSpreeCopyButtonClick()
{
    auto *field = findChild<QLineEdit *>(QStringLiteral("FileSpreeLinkEdit"));
    field->selectAll();
    field->copy();
}

void TDetailForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnDesktop(*this);
}
