#include "option.h"
#include "ui_option.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStyle>

#include "outils.h"
#include "settings.h"
#include "shellverb.h"

namespace {

constexpr int LowItem = 0;
constexpr int NormalItem = 1;
constexpr int HighItem = 2;

constexpr int PrefixLimit = 30;
constexpr int ReplaceSpaceLimit = 3;

#ifdef _WIN32
const QString DefaultTempPath = QStringLiteral("C:\\Program Files\\edonkey2000\\temp");
#endif

// The limit bounds what the user types; a longer text from the settings is
// shown whole (and kept unless edited).
void SetLimitedText(QLineEdit *edit, int limit, const std::string &text)
{
    const QString value = QString::fromStdString(text);
    edit->setMaxLength(std::max<int>(limit, static_cast<int>(value.size())));
    edit->setText(value);
}

// Lets the user pick a folder for edit, starting at the folder it names (the
// home folder when it names none); a cancelled pick leaves it as it was.
void PickFolder(QLineEdit *edit, QWidget *parent)
{
    QString directory = edit->text();
    if (BrowseForDirectory(TOptionForm::tr("Select Directory"), QDir::homePath(), directory, parent))
        edit->setText(directory);
}

} // namespace

TOptionForm::TOptionForm(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::OptionForm>())
{
    m_ui->setupUi(this);
    // A close box only: the dialog's size follows its contents.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
#ifdef _WIN32
    m_ui->chkIntegrerShell->setText(tr("Integration with Windows Explorer"));
#endif
    // Room for three wide letters and the frame.
    const QFontMetrics metrics = m_ui->ReplaceSpaceEdit->fontMetrics();
    m_ui->ReplaceSpaceEdit->setFixedWidth(metrics.horizontalAdvance(QLatin1Char('W')) * 4 + 12);
    for (QToolButton *browse : {m_ui->BitBtn1, m_ui->BitBtn2})
        browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));

    connect(m_ui->DefautButton, &QPushButton::clicked, this, &TOptionForm::DefautButtonClick);
    connect(m_ui->BitBtn1, &QToolButton::clicked, this, &TOptionForm::BitBtn1Click);
    connect(m_ui->BitBtn2, &QToolButton::clicked, this, &TOptionForm::BitBtn2Click);
    connect(m_ui->Button1, &QPushButton::clicked, this, &TOptionForm::Button1Click);
    connect(m_ui->Button2, &QPushButton::clicked, this, &QDialog::reject);

    m_ui->chkIntegrerShell->setChecked(ShellVerbRegistered());
}

TOptionForm::~TOptionForm() = default;

std::uint8_t TOptionForm::PriorityCode() const
{
    switch (m_ui->cbPriority->currentIndex()) {
    case LowItem: return 0;
    case HighItem: return 5;
    default: return 3;
    }
}

void TOptionForm::SetPriorityCode(std::uint8_t code)
{
    m_ui->cbPriority->setCurrentIndex(code == 0 ? LowItem : code == 5 ? HighItem : NormalItem);
}

void TOptionForm::Load(const TSettings &settings)
{
    SetPriorityCode(settings.ThreadPriority);
    m_ui->PathTempEdit->setText(QString::fromStdString(settings.EdonkeyTempPath));
    m_ui->CommentEdit->setText(QString::fromStdString(settings.URLComment));
    m_ui->chkFileSpree->setChecked(settings.ActiveHashes & hsFileSpree);
    m_ui->chkDonkey->setChecked(settings.ActiveHashes & hsDonkey);
    m_ui->chkAich->setChecked(settings.ActiveHashes & hsAich);
    m_ui->chkDropFolders->setChecked(settings.DropFolders);
    m_ui->FileSpreePathEdit->setText(QString::fromStdString(settings.FileSpreePath));
    m_ui->PageControl1->setCurrentIndex(0);
    // The dialog opens on its tabs, wherever it was closed: the first Tab goes
    // to Prefix.
    m_ui->PageControl1->setFocus();
    SetLimitedText(m_ui->PrefixEdit, PrefixLimit, settings.NamePrefix);
    SetLimitedText(m_ui->SuffixEdit, PrefixLimit, settings.NameSuffix);
    SetLimitedText(m_ui->ReplaceSpaceEdit, ReplaceSpaceLimit, settings.ReplaceSpaceStr);
}

void TOptionForm::Store(TSettings &settings) const
{
    settings.EdonkeyTempPath = m_ui->PathTempEdit->text().toStdString();
    settings.URLComment = m_ui->CommentEdit->text().toStdString();
    settings.ThreadPriority = PriorityCode();
    settings.FileSpreePath = m_ui->FileSpreePathEdit->text().toStdString();
    settings.NamePrefix = m_ui->PrefixEdit->text().toStdString();
    settings.NameSuffix = m_ui->SuffixEdit->text().toStdString();
    settings.ReplaceSpaceStr = m_ui->ReplaceSpaceEdit->text().toStdString();
    settings.ActiveHashes = static_cast<THashSelection>((DonkeyActivated() ? hsDonkey : 0)
                                                        | (FileSpreeActivated() ? hsFileSpree : 0)
                                                        | (m_ui->chkAich->isChecked() ? hsAich : 0));
    settings.DropFolders = m_ui->chkDropFolders->isChecked();
}

bool TOptionForm::DonkeyActivated() const
{
    return m_ui->chkDonkey->isChecked();
}

bool TOptionForm::FileSpreeActivated() const
{
    return m_ui->chkFileSpree->isChecked();
}

void TOptionForm::DefautButtonClick()
{
#ifdef _WIN32
    m_ui->PathTempEdit->setText(DefaultTempPath);
#else
    m_ui->PathTempEdit->setText(QString::fromStdString(DefaultSettings().EdonkeyTempPath));
#endif
    m_ui->CommentEdit->setText(QString::fromStdString(DefaultSettings().URLComment));
    m_ui->chkIntegrerShell->setChecked(false);
    m_ui->cbPriority->setCurrentIndex(NormalItem);
}

void TOptionForm::BitBtn1Click()
{
    PickFolder(m_ui->PathTempEdit, this);
}

void TOptionForm::BitBtn2Click()
{
    PickFolder(m_ui->FileSpreePathEdit, this);
}

void TOptionForm::Button1Click()
{
    if (!m_ui->chkIntegrerShell->isChecked())
        UnregisterShellVerb();
    else if (!RegisterShellVerb(QCoreApplication::applicationFilePath())) {
        QMessageBox message(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                            tr("Impossible d'accéder a la base des registres\""), QMessageBox::Ok, this);
        message.exec();
    }
    accept();
}
