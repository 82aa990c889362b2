#include "about.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QShowEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "outils.h"

namespace {

const QString AuthorName = QStringLiteral("The Brackwell team");
const QString AuthorEmail = QStringLiteral("team@brackwell.org");
const QString SiteCaption = QStringLiteral("www.brackwell.org");
// The English start page of the project's site.
const QString SiteAddress = QStringLiteral("http://www.brackwell.org/en/");

QLabel *AddressLabel(const QString &text, const QString &name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setCursor(Qt::PointingHandCursor);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    return label;
}

} // namespace

TAboutForm::TAboutForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About Brackwell"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);

    auto *icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    // The window's own icon, which a dialog takes from the window it belongs to.
    const QIcon appIcon = windowIcon().isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : windowIcon();
    icon->setPixmap(appIcon.pixmap(32, 32));
    icon->setFixedSize(32, 32);

    m_productName = new QLabel(QStringLiteral("Brackwell"), panel);
    m_productName->setObjectName(QStringLiteral("ProductName"));
    QFont bold = m_productName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() + 1);
    m_productName->setFont(bold);

    auto *author = new QLabel(AuthorName, panel);
    author->setObjectName(QStringLiteral("Auteur"));
    m_email = AddressLabel(AuthorEmail, QStringLiteral("Email"), panel);
    m_siteweb = AddressLabel(SiteCaption, QStringLiteral("Siteweb"), panel);
    m_email->installEventFilter(this);
    m_siteweb->installEventFilter(this);

    auto *rows = new QGridLayout;
    rows->setHorizontalSpacing(12);
    const struct
    {
        const char *name, *caption;
        QLabel *value;
    } lines[] = {{"lblAuteur", "Author :", author}, {"lblEmail", "Email :", m_email}, {"lblWebsite", "Web Site :", m_siteweb}};
    int row = 0;
    for (const auto &line : lines) {
        auto *caption = new QLabel(QString::fromLatin1(line.caption), panel);
        caption->setObjectName(QString::fromLatin1(line.name));
        rows->addWidget(caption, row, 0);
        rows->addWidget(line.value, row++, 1);
    }
    rows->setColumnStretch(1, 1);

    auto *head = new QHBoxLayout;
    head->addWidget(icon, 0, Qt::AlignTop);
    head->addSpacing(8);
    head->addWidget(m_productName, 1, Qt::AlignVCenter);

    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->addLayout(head);
    panelLayout->addSpacing(8);
    panelLayout->addLayout(rows);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutForm::SetVersion(const QString &version)
{
    m_productName->setText(QStringLiteral("Brackwell ") + version);
}

void TAboutForm::EmailClick()
{
    OpenAddress(QStringLiteral("mailto:") + AuthorEmail + QStringLiteral("?subject=[Brackwell]"));
}

void TAboutForm::SitewebClick()
{
    OpenAddress(SiteAddress);
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == m_email)
            EmailClick();
        else if (watched == m_siteweb)
            SitewebClick();
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnDesktop(*this);
}
