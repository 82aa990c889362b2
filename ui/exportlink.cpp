#include "exportlink.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "outils.h"

namespace {

constexpr int AsciiIndex = 0;
constexpr int HtmlIndex = 1;

template <class T>
T *Named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QCheckBox *CheckBox(const char *caption, const char *name, bool checked)
{
    auto *box = Named(new QCheckBox(QString::fromLatin1(caption)), name);
    box->setChecked(checked);
    return box;
}

// A "URL" / "Text" choice, "Text" chosen; returns the group's widget and its "URL" button.
QWidget *UrlOrText(const char *name, QRadioButton *&url, QObject *owner)
{
    auto *group = Named(new QWidget, name);
    auto *layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    url = Named(new QRadioButton(QStringLiteral("URL")), "URL");
    auto *text = Named(new QRadioButton(QStringLiteral("Text")), "Text");
    text->setChecked(true);
    auto *buttons = new QButtonGroup(owner);
    buttons->addButton(url);
    buttons->addButton(text);
    layout->addWidget(url);
    layout->addWidget(text);
    group->setEnabled(false);
    return group;
}

QLineEdit *AnchorTextEdit(const char *name, const char *text)
{
    auto *edit = Named(new QLineEdit(QString::fromLatin1(text)), name);
    edit->setMaxLength(50);
    edit->setEnabled(false);
    return edit;
}

} // namespace

TExportForm::TExportForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportForm"));
    setWindowTitle(QStringLiteral("Export Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // Title
    m_titleEdit = Named(new QLineEdit(QStringLiteral("Share List")), "TitleEdit");
    m_chkNone = CheckBox("None", "chkNone", false);
    auto *title = new QGroupBox(QStringLiteral("Title"));
    auto *titleLayout = new QHBoxLayout(title);
    titleLayout->addWidget(m_titleEdit, 1);
    titleLayout->addWidget(m_chkNone);

    // Destination
    m_cmbDestination = Named(new QComboBox, "cmbDestination");
    m_cmbDestination->addItems({QStringLiteral("ASCII"), QStringLiteral("HTML")});
    m_separatorLabel = Named(new QLabel(QStringLiteral("Separator")), "SeparatorLabel");
    m_separatorEdit = Named(new QLineEdit(QStringLiteral(" ")), "SeparatorEdit");
    m_separatorEdit->setMaxLength(5);
    m_separatorEdit->setMaximumWidth(m_separatorEdit->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 6 + 12);
    m_separatorLabel->setBuddy(m_separatorEdit);
    m_chkArray = CheckBox("Array", "chkArray", true);
    m_chkArray->hide();
    auto *destination = new QGroupBox(QStringLiteral("Destination"));
    auto *destinationLayout = new QHBoxLayout(destination);
    destinationLayout->addWidget(m_cmbDestination);
    destinationLayout->addSpacing(12);
    destinationLayout->addWidget(m_separatorLabel);
    destinationLayout->addWidget(m_separatorEdit);
    destinationLayout->addWidget(m_chkArray);
    destinationLayout->addStretch(1);

    // Columns
    m_chkFileName = CheckBox("File Name", "chkFileName", true);
    m_chkWithpath = CheckBox("With Path", "chkWithpath", false);
    m_chkSize = CheckBox("Size", "chkSize", true);
    m_chkLink = CheckBox("Link", "chkLink", true);
    m_chkDonkey = CheckBox("eDonkey2000", "chkDonkey", true);
    m_chkFileSpree = CheckBox("FileSpree", "chkFileSpree", true);
    m_grpDonkey = UrlOrText("grpDonkey", m_donkeyUrl, this);
    m_grpFileSpree = UrlOrText("grpFileSpree", m_fileSpreeUrl, this);
    m_donkeyEdit = AnchorTextEdit("DonkeyEdit", "eDonkey2000");
    m_fileSpreeEdit = AnchorTextEdit("FileSpreeEdit", "FileSpree");

    auto *columns = new QGroupBox(QStringLiteral("Columns"));
    auto *grid = new QGridLayout(columns);
    const int indent = m_chkLink->sizeHint().height();
    grid->addWidget(new QLabel(QStringLiteral("Select columns to include in the export file")), 0, 0, 1, 4);
    grid->addWidget(m_chkFileName, 1, 0, 1, 2);
    grid->addWidget(m_chkWithpath, 1, 2, 1, 2);
    grid->addWidget(m_chkSize, 2, 0, 1, 2);
    grid->addWidget(m_chkLink, 3, 0, 1, 2);
    grid->addWidget(m_chkDonkey, 4, 1);
    grid->addWidget(m_grpDonkey, 4, 2);
    grid->addWidget(m_donkeyEdit, 4, 3);
    grid->addWidget(m_chkFileSpree, 5, 1);
    grid->addWidget(m_grpFileSpree, 5, 2);
    grid->addWidget(m_fileSpreeEdit, 5, 3);
    grid->setColumnMinimumWidth(0, indent);
    grid->setColumnStretch(3, 1);

    auto *exportButton = Named(new QPushButton(QStringLiteral("Export")), "Button2");
    exportButton->setDefault(true);
    auto *closeButton = Named(new QPushButton(QStringLiteral("Close")), "Button3");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(destination);
    layout->addWidget(columns);
    layout->addStretch(1);
    layout->addLayout(buttons);

    m_saveDialog = Named(new QFileDialog(this), "SaveDialog1");
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setFileMode(QFileDialog::AnyFile);
    m_saveDialog->setOption(QFileDialog::DontConfirmOverwrite);

    connect(m_chkNone, &QCheckBox::toggled, this, &TExportForm::chkNoneClick);
    connect(m_chkFileName, &QCheckBox::toggled, this, &TExportForm::chkFileNameClick);
    connect(m_chkLink, &QCheckBox::toggled, this, &TExportForm::chkLinkClick);
    connect(m_chkDonkey, &QCheckBox::toggled, this, &TExportForm::chkDonkeyClick);
    connect(m_chkFileSpree, &QCheckBox::toggled, this, &TExportForm::chkFileSpreeClick);
    connect(m_cmbDestination, &QComboBox::currentIndexChanged, this, &TExportForm::cmbDestinationChange);
    connect(m_donkeyUrl, &QRadioButton::toggled, this, &TExportForm::grpDonkeyClick);
    connect(m_fileSpreeUrl, &QRadioButton::toggled, this, &TExportForm::grpFileSpreeClick);
    connect(exportButton, &QPushButton::clicked, this, &TExportForm::Button2Click);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TExportForm::chkNoneClick()
{
    m_titleEdit->setEnabled(!m_chkNone->isChecked());
}

void TExportForm::chkFileNameClick()
{
    m_chkWithpath->setEnabled(m_chkFileName->isChecked());
}

void TExportForm::chkLinkClick()
{
    m_chkDonkey->setEnabled(m_chkLink->isChecked());
    m_chkFileSpree->setEnabled(m_chkLink->isChecked());
}

// Each link box enables the other, so that clicks alone never uncheck both.
void TExportForm::chkDonkeyClick()
{
    m_chkFileSpree->setEnabled(m_chkDonkey->isChecked());
}

void TExportForm::chkFileSpreeClick()
{
    m_chkDonkey->setEnabled(m_chkFileSpree->isChecked());
}

void TExportForm::cmbDestinationChange()
{
    const bool html = m_cmbDestination->currentIndex() == HtmlIndex;
    m_chkArray->setVisible(html);
    m_separatorLabel->setVisible(!html);
    m_separatorEdit->setVisible(!html);
    for (QWidget *widget : {m_grpDonkey, m_grpFileSpree, static_cast<QWidget *>(m_donkeyEdit),
                            static_cast<QWidget *>(m_fileSpreeEdit)})
        widget->setEnabled(html);
}

void TExportForm::grpDonkeyClick()
{
    m_donkeyEdit->setEnabled(!m_donkeyUrl->isChecked());
}

void TExportForm::grpFileSpreeClick()
{
    m_fileSpreeEdit->setEnabled(!m_fileSpreeUrl->isChecked());
}

void TExportForm::Button2Click()
{
    const bool ascii = m_cmbDestination->currentIndex() == AsciiIndex;
    m_saveDialog->setNameFilter(ascii ? QStringLiteral("Text File (*.txt)") : QStringLiteral("HTML File (*.htm)"));
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
    o.Html = m_cmbDestination->currentIndex() == HtmlIndex;
    o.Array = m_chkArray->isChecked();
    o.WithTitle = !m_chkNone->isChecked();
    o.Title = m_titleEdit->text().toStdString();
    o.Separator = m_separatorEdit->text().toStdString();
    o.FileName = m_chkFileName->isChecked();
    o.WithPath = m_chkWithpath->isChecked();
    o.Size = m_chkSize->isChecked();
    o.Link = m_chkLink->isChecked();
    o.Donkey = m_chkDonkey->isChecked();
    o.FileSpree = m_chkFileSpree->isChecked();
    o.DonkeyAnchorIsUrl = m_donkeyUrl->isChecked();
    o.DonkeyAnchorText = m_donkeyEdit->text().toStdString();
    o.FileSpreeAnchorIsUrl = m_fileSpreeUrl->isChecked();
    o.FileSpreeAnchorText = m_fileSpreeEdit->text().toStdString();
    o.Caption = caption.toStdString();
    return o;
}

bool TExportForm::WriteExport(const std::vector<TShareListRow> &rows, const QString &caption)
{
    const TShareListResult result =
        WriteShareList(EntryBytes(m_exportFileName), Options(caption), rows);
    if (result.Status == TShareListStatus::Written)
        return true;
    const QString text = result.Status == TShareListStatus::CannotCreate ? QStringLiteral("Impossible to create the file")
                                                                          : QStringLiteral("Export Error");
    QMessageBox::critical(parentWidget(), QGuiApplication::applicationDisplayName(), text);
    return false;
}
