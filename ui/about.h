#pragma once

#include <QDialog>

class QLabel;

// The About box: the program's icon, name and version, and the team's
// addresses, which open through the desktop when clicked.
class TAboutForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAboutForm)

public:
    explicit TAboutForm(QWidget *parent = nullptr);

    // "Brackwell " followed by the three-part version (empty when unknown).
    void SetVersion(const QString &version);

    void EmailClick();
    void SitewebClick();

protected:
    // Shown in the middle of the desktop, not over the main window.
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_productName = nullptr;
    QLabel *m_email = nullptr;
    QLabel *m_siteweb = nullptr;
};
