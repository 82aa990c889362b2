#include "option.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "outils.h"
#include "settings.h"
#include "shellverb.h"

namespace {

constexpr int LowItem = 0;
constexpr int NormalItem = 1;
constexpr int HighItem = 2;

#ifdef _WIN32
const char *const ShellCaption = "Integration with Windows Explorer";
const QString DefaultTempPath = QStringLiteral("C:\\Program Files\\edonkey2000\\temp");
#else
const char *const ShellCaption = "Integration with the file manager";
#endif

QLineEdit *Edit(const char *name, int maxLength = 0)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    return edit;
}

// The limit bounds what the user types; a longer text from the settings is
// shown whole (and kept unless edited).
void SetLimitedText(QLineEdit *edit, int limit, const std::string &text)
{
    const QString value = QString::fromStdString(text);
    edit->setMaxLength(std::max<int>(limit, static_cast<int>(value.size())));
    edit->setText(value);
}

constexpr int PrefixLimit = 30;
constexpr int ReplaceSpaceLimit = 3;

QCheckBox *CheckBox(const char *caption, const char *name)
{
    auto *box = new QCheckBox(QString::fromLatin1(caption));
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// A folder field with its small browse button to the right.
QHBoxLayout *FolderRow(QLineEdit *edit, const char *buttonName, QToolButton *&button, QWidget *owner)
{
    button = new QToolButton(owner);
    button->setObjectName(QString::fromLatin1(buttonName));
    button->setIcon(owner->style()->standardIcon(QStyle::SP_DirOpenIcon));
    button->setIconSize(QSize(16, 16));
    auto *row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(button);
    return row;
}

} // namespace

TOptionForm::TOptionForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // General
    m_prefixEdit = Edit("PrefixEdit", PrefixLimit);
    m_suffixEdit = Edit("SuffixEdit", PrefixLimit);
    m_replaceSpaceEdit = Edit("ReplaceSpaceEdit", ReplaceSpaceLimit);
    auto *fileName = new QGroupBox(QStringLiteral("Filename"));
    fileName->setObjectName(QStringLiteral("GroupBox1"));
    auto *fileNameForm = new QFormLayout(fileName);
    fileNameForm->addRow(QStringLiteral("Prefix"), m_prefixEdit);
    fileNameForm->addRow(QStringLiteral("Suffix"), m_suffixEdit);
    fileNameForm->addRow(QStringLiteral("Replace spaces with "), m_replaceSpaceEdit);
    m_replaceSpaceEdit->setMaximumWidth(m_replaceSpaceEdit->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 4 + 12);

    m_chkIntegrerShell = CheckBox(ShellCaption, "chkIntegrerShell");
    m_cbPriority = new QComboBox;
    m_cbPriority->setObjectName(QStringLiteral("cbPriority"));
    m_cbPriority->addItems({QStringLiteral("Low"), QStringLiteral("Normal"), QStringLiteral("High")});
    auto *defaults = new QPushButton(QStringLiteral("Default parameters"));
    defaults->setObjectName(QStringLiteral("DefautButton"));

    auto *general = new QWidget;
    general->setObjectName(QStringLiteral("TabSheet1"));
    auto *generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(fileName);
    generalLayout->addWidget(m_chkIntegrerShell);
    auto *priorityRow = new QHBoxLayout;
    auto *priorityLabel = new QLabel(QStringLiteral("Thread Priority"));
    priorityLabel->setBuddy(m_cbPriority);
    priorityRow->addWidget(priorityLabel);
    priorityRow->addWidget(m_cbPriority);
    priorityRow->addStretch(1);
    generalLayout->addLayout(priorityRow);
    generalLayout->addStretch(1);
    generalLayout->addWidget(defaults, 0, Qt::AlignLeft);

    // eDonkey2000
    m_chkDonkey = CheckBox("Activate", "chkDonkey");
    m_chkAich = CheckBox("Add the AICH hash to links", "chkAich");
    m_pathTempEdit = Edit("PathTempEdit");
    m_commentEdit = Edit("CommentEdit");
    QToolButton *browseTemp = nullptr;
    auto *donkey = new QWidget;
    donkey->setObjectName(QStringLiteral("TabSheet2"));
    auto *donkeyLayout = new QVBoxLayout(donkey);
    donkeyLayout->addWidget(m_chkDonkey);
    donkeyLayout->addWidget(m_chkAich);
    donkeyLayout->addWidget(new QLabel(QStringLiteral("eDonkey2000 Temp Directory")));
    donkeyLayout->addLayout(FolderRow(m_pathTempEdit, "BitBtn1", browseTemp, this));
    donkeyLayout->addWidget(new QLabel(QStringLiteral("URL for file verification")));
    donkeyLayout->addWidget(m_commentEdit);
    donkeyLayout->addStretch(1);

    // FileSpree
    m_chkFileSpree = CheckBox("Activate", "chkFileSpree");
    m_fileSpreePathEdit = Edit("FileSpreePathEdit");
    QToolButton *browseFileSpree = nullptr;
    auto *fileSpree = new QWidget;
    fileSpree->setObjectName(QStringLiteral("TabSheet3"));
    auto *fileSpreeLayout = new QVBoxLayout(fileSpree);
    fileSpreeLayout->addWidget(m_chkFileSpree);
    fileSpreeLayout->addWidget(new QLabel(QStringLiteral("FileSpree Directory")));
    fileSpreeLayout->addLayout(FolderRow(m_fileSpreePathEdit, "BitBtn2", browseFileSpree, this));
    fileSpreeLayout->addStretch(1);

    m_pages = new QTabWidget;
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    m_pages->addTab(general, QStringLiteral("General"));
    m_pages->addTab(donkey, QStringLiteral("eDonkey2000"));
    m_pages->addTab(fileSpree, QStringLiteral("FileSpree"));

    auto *ok = new QPushButton(QStringLiteral("&OK"));
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"));
    cancel->setObjectName(QStringLiteral("Button2"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);
    resize(qMax(sizeHint().width(), 420), sizeHint().height());

    connect(defaults, &QPushButton::clicked, this, &TOptionForm::DefautButtonClick);
    connect(browseTemp, &QToolButton::clicked, this, &TOptionForm::BitBtn1Click);
    connect(browseFileSpree, &QToolButton::clicked, this, &TOptionForm::BitBtn2Click);
    connect(ok, &QPushButton::clicked, this, &TOptionForm::Button1Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_chkIntegrerShell->setChecked(ShellVerbRegistered());
}

std::uint8_t TOptionForm::PriorityCode() const
{
    switch (m_cbPriority->currentIndex()) {
    case LowItem: return 0;
    case HighItem: return 5;
    default: return 3;
    }
}

void TOptionForm::SetPriorityCode(std::uint8_t code)
{
    m_cbPriority->setCurrentIndex(code == 0 ? LowItem : code == 5 ? HighItem : NormalItem);
}

void TOptionForm::Load(const TSettings &settings)
{
    SetPriorityCode(settings.ThreadPriority);
    m_pathTempEdit->setText(QString::fromStdString(settings.EdonkeyTempPath));
    m_commentEdit->setText(QString::fromStdString(settings.URLComment));
    m_chkFileSpree->setChecked(settings.ActiveHashes & hsFileSpree);
    m_chkDonkey->setChecked(settings.ActiveHashes & hsDonkey);
    m_chkAich->setChecked(settings.ActiveHashes & hsAich);
    m_fileSpreePathEdit->setText(QString::fromStdString(settings.FileSpreePath));
    m_pages->setCurrentIndex(0);
    SetLimitedText(m_prefixEdit, PrefixLimit, settings.NamePrefix);
    SetLimitedText(m_suffixEdit, PrefixLimit, settings.NameSuffix);
    SetLimitedText(m_replaceSpaceEdit, ReplaceSpaceLimit, settings.ReplaceSpaceStr);
}

void TOptionForm::Store(TSettings &settings) const
{
    settings.EdonkeyTempPath = m_pathTempEdit->text().toStdString();
    settings.URLComment = m_commentEdit->text().toStdString();
    settings.ThreadPriority = PriorityCode();
    settings.FileSpreePath = m_fileSpreePathEdit->text().toStdString();
    settings.NamePrefix = m_prefixEdit->text().toStdString();
    settings.NameSuffix = m_suffixEdit->text().toStdString();
    settings.ReplaceSpaceStr = m_replaceSpaceEdit->text().toStdString();
    settings.ActiveHashes = static_cast<THashSelection>((DonkeyActivated() ? hsDonkey : 0)
                                                        | (FileSpreeActivated() ? hsFileSpree : 0)
                                                        | (m_chkAich->isChecked() ? hsAich : 0));
}

bool TOptionForm::DonkeyActivated() const
{
    return m_chkDonkey->isChecked();
}

bool TOptionForm::FileSpreeActivated() const
{
    return m_chkFileSpree->isChecked();
}

void TOptionForm::DefautButtonClick()
{
#ifdef _WIN32
    m_pathTempEdit->setText(DefaultTempPath);
#else
    m_pathTempEdit->setText(QString::fromStdString(DefaultSettings().EdonkeyTempPath));
#endif
    m_commentEdit->setText(QString::fromStdString(DefaultSettings().URLComment));
    m_chkIntegrerShell->setChecked(false);
    m_cbPriority->setCurrentIndex(NormalItem);
}

void TOptionForm::BitBtn1Click()
{
    QString directory;
    if (BrowseForDirectory(QStringLiteral("Select Directory"), QString(), directory, this))
        m_pathTempEdit->setText(directory);
}

void TOptionForm::BitBtn2Click()
{
    QString directory;
    if (BrowseForDirectory(QStringLiteral("Select Directory"), QString(), directory, this))
        m_fileSpreePathEdit->setText(directory);
}

void TOptionForm::Button1Click()
{
    if (!m_chkIntegrerShell->isChecked())
        UnregisterShellVerb();
    else if (!RegisterShellVerb(QCoreApplication::applicationFilePath())) {
        QMessageBox message(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                            QStringLiteral("Impossible d'acc\u00e9der a la base des registres\""), QMessageBox::Ok,
                            this);
        message.exec();
    }
    accept();
}
