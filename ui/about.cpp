#include "about.h"
#include "ui_about.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShowEvent>
#include <QStyle>

#include "outils.h"

namespace {

// The English start page of the project's site.
const QString SiteAddress = QStringLiteral("http://www.brackwell.org/en/");

// Blue and underlined as a link is; a dotted frame when Tab has reached it.
const QString AddressStyle = QStringLiteral("QLabel { color: #0000ee; text-decoration: underline;"
                                            " border: 1px solid transparent; }"
                                            "QLabel:focus { border: 1px dotted #0000ee; }");

bool ActivatesLink(const QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease)
        return static_cast<const QMouseEvent *>(event)->button() == Qt::LeftButton;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<const QKeyEvent *>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    }
    return false;
}

} // namespace

TAboutForm::TAboutForm(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::AboutForm>())
{
    m_ui->setupUi(this);
    // A close box only: nothing to minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);

    // The window's own icon, which a dialog takes from the window it belongs to.
    const QIcon appIcon = windowIcon().isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : windowIcon();
    m_ui->ProgramIcon->setPixmap(appIcon.pixmap(32, 32));

    QFont bold = m_ui->ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() + 1);
    m_ui->ProductName->setFont(bold);

    // Wide enough for the caption too, which the window manager draws in a
    // font of its own (usually larger) beside its buttons.
    m_ui->Panel1->setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) * 3 / 2 + 96);

    for (QLabel *address : {m_ui->Email, m_ui->Siteweb}) {
        address->setStyleSheet(AddressStyle);
        address->installEventFilter(this);
    }
    connect(m_ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::SetVersion(const QString &version)
{
    m_ui->ProductName->setText(QStringLiteral("Brackwell ") + version);
}

void TAboutForm::EmailClick()
{
    OpenAddress(QStringLiteral("mailto:") + m_ui->Email->text() + QStringLiteral("?subject=[Brackwell]"));
}

void TAboutForm::SitewebClick()
{
    OpenAddress(SiteAddress);
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_ui->Email || watched == m_ui->Siteweb) && ActivatesLink(event)) {
        if (watched == m_ui->Email)
            EmailClick();
        else
            SitewebClick();
        // A key is the link's own: Enter must not reach the OK button too.
        return event->type() == QEvent::KeyPress;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnDesktop(*this);
    m_ui->OKButton->setFocus();
}
