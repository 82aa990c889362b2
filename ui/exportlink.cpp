#include "exportlink.h"
#include "ui_exportlink.h"

#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "outils.h"

namespace {

constexpr int AsciiIndex = 0;
constexpr int HtmlIndex = 1;

} // namespace

TExportForm::TExportForm(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ExportForm>())
{
    m_ui->setupUi(this);
    // A close box only: the dialog's size follows its contents.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    // Each anchor choice is a pair named "URL" and "Text" inside its group,
    // names that a form cannot give twice.
    m_ui->DonkeyUrl->setObjectName(QStringLiteral("URL"));
    m_ui->DonkeyText->setObjectName(QStringLiteral("Text"));
    m_ui->FileSpreeUrl->setObjectName(QStringLiteral("URL"));
    m_ui->FileSpreeText->setObjectName(QStringLiteral("Text"));
    m_ui->MagnetUrl->setObjectName(QStringLiteral("URL"));
    m_ui->MagnetText->setObjectName(QStringLiteral("Text"));
    // A single space at first (a form cannot hold a text of blanks alone).
    m_ui->SeparatorEdit->setText(QStringLiteral(" "));
    // Room for five wide letters and the frame.
    m_ui->SeparatorEdit->setFixedWidth(m_ui->SeparatorEdit->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 6
                                       + 12);

    m_saveDialog = new QFileDialog(this);
    m_saveDialog->setObjectName(QStringLiteral("SaveDialog1"));
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setFileMode(QFileDialog::AnyFile);
    m_saveDialog->setOption(QFileDialog::DontConfirmOverwrite);

    connect(m_ui->chkNone, &QCheckBox::toggled, this, &TExportForm::chkNoneClick);
    connect(m_ui->chkFileName, &QCheckBox::toggled, this, &TExportForm::chkFileNameClick);
    connect(m_ui->chkLink, &QCheckBox::toggled, this, &TExportForm::chkLinkClick);
    connect(m_ui->chkDonkey, &QCheckBox::toggled, this, &TExportForm::chkDonkeyClick);
    connect(m_ui->chkFileSpree, &QCheckBox::toggled, this, &TExportForm::chkFileSpreeClick);
    connect(m_ui->cmbDestination, &QComboBox::currentIndexChanged, this, &TExportForm::cmbDestinationChange);
    connect(m_ui->DonkeyUrl, &QRadioButton::toggled, this, &TExportForm::grpDonkeyClick);
    connect(m_ui->FileSpreeUrl, &QRadioButton::toggled, this, &TExportForm::grpFileSpreeClick);
    connect(m_ui->MagnetUrl, &QRadioButton::toggled, this,
            [this] { m_ui->MagnetEdit->setEnabled(!m_ui->MagnetUrl->isChecked()); });
    connect(m_ui->Button2, &QPushButton::clicked, this, &TExportForm::Button2Click);
    connect(m_ui->Button3, &QPushButton::clicked, this, &QDialog::reject);
}

TExportForm::~TExportForm() = default;

void TExportForm::chkNoneClick()
{
    m_ui->TitleEdit->setEnabled(!m_ui->chkNone->isChecked());
}

void TExportForm::chkFileNameClick()
{
    m_ui->chkWithpath->setEnabled(m_ui->chkFileName->isChecked());
}

void TExportForm::chkLinkClick()
{
    m_ui->chkDonkey->setEnabled(m_ui->chkLink->isChecked());
    m_ui->chkFileSpree->setEnabled(m_ui->chkLink->isChecked());
    m_ui->chkMagnet->setEnabled(m_ui->chkLink->isChecked());
}

// Each link box enables the other, so that clicks alone never uncheck both.
void TExportForm::chkDonkeyClick()
{
    m_ui->chkFileSpree->setEnabled(m_ui->chkDonkey->isChecked());
}

void TExportForm::chkFileSpreeClick()
{
    m_ui->chkDonkey->setEnabled(m_ui->chkFileSpree->isChecked());
}

void TExportForm::cmbDestinationChange()
{
    const bool html = m_ui->cmbDestination->currentIndex() == HtmlIndex;
    m_ui->chkArray->setVisible(html);
    m_ui->SeparatorLabel->setVisible(!html);
    m_ui->SeparatorEdit->setVisible(!html);
    for (QWidget *widget : {m_ui->grpDonkey, m_ui->grpFileSpree, m_ui->grpMagnet, static_cast<QWidget *>(m_ui->DonkeyEdit),
                            static_cast<QWidget *>(m_ui->FileSpreeEdit), static_cast<QWidget *>(m_ui->MagnetEdit)})
        widget->setEnabled(html);
}

void TExportForm::grpDonkeyClick()
{
    m_ui->DonkeyEdit->setEnabled(!m_ui->DonkeyUrl->isChecked());
}

void TExportForm::grpFileSpreeClick()
{
    m_ui->FileSpreeEdit->setEnabled(!m_ui->FileSpreeUrl->isChecked());
}

void TExportForm::Button2Click()
{
    const bool ascii = m_ui->cmbDestination->currentIndex() == AsciiIndex;
    // Only the label is the user's language; the pattern in brackets is what filters.
    m_saveDialog->setNameFilter(ascii ? tr("Text File (*.txt)") : tr("HTML File (*.htm)"));
    m_saveDialog->setDefaultSuffix(ascii ? QStringLiteral("txt") : QStringLiteral("htm"));
    if (!m_exportFileName.isEmpty())
        m_saveDialog->selectFile(m_exportFileName);
    if (m_saveDialog->exec() != QDialog::Accepted || m_saveDialog->selectedFiles().isEmpty())
        return; // the options stay open
    m_exportFileName = m_saveDialog->selectedFiles().constFirst();
    accept();
}

TShareListOptions TExportForm::Options(const QString &caption) const
{
    TShareListOptions o;
    o.Html = m_ui->cmbDestination->currentIndex() == HtmlIndex;
    o.Array = m_ui->chkArray->isChecked();
    o.WithTitle = !m_ui->chkNone->isChecked();
    o.Title = m_ui->TitleEdit->text().toStdString();
    o.Separator = m_ui->SeparatorEdit->text().toStdString();
    o.FileName = m_ui->chkFileName->isChecked();
    o.WithPath = m_ui->chkWithpath->isChecked();
    o.Size = m_ui->chkSize->isChecked();
    o.Link = m_ui->chkLink->isChecked();
    o.Donkey = m_ui->chkDonkey->isChecked();
    o.FileSpree = m_ui->chkFileSpree->isChecked();
    o.DonkeyAnchorIsUrl = m_ui->DonkeyUrl->isChecked();
    o.DonkeyAnchorText = m_ui->DonkeyEdit->text().toStdString();
    o.FileSpreeAnchorIsUrl = m_ui->FileSpreeUrl->isChecked();
    o.FileSpreeAnchorText = m_ui->FileSpreeEdit->text().toStdString();
    o.Magnet = m_ui->chkMagnet->isChecked();
    o.MagnetAnchorIsUrl = m_ui->MagnetUrl->isChecked();
    o.MagnetAnchorText = m_ui->MagnetEdit->text().toStdString();
    o.Caption = caption.toStdString();
    return o;
}

bool TExportForm::WriteExport(const std::vector<TShareListRow> &rows, const QString &caption)
{
    const TShareListResult result =
        WriteShareList(EntryBytes(m_exportFileName), Options(caption), rows);
    if (result.Status == TShareListStatus::Written)
        return true;
    const QString text = result.Status == TShareListStatus::CannotCreate ? tr("Impossible to create the file")
                                                                          : tr("Export Error");
    QMessageBox::critical(parentWidget(), QGuiApplication::applicationDisplayName(), text);
    return false;
}
