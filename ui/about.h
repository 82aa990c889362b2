#pragma once

#include <memory>

#include <QDialog>

namespace Ui {
class AboutForm;
}

// The About box: the program's icon, name and version, and the team's
// addresses, which open through the desktop when clicked, or when reached by
// Tab and given Enter or Space.
class TAboutForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAboutForm)

public:
    explicit TAboutForm(QWidget *parent = nullptr);
    ~TAboutForm() override;

    // "Brackwell " followed by the three-part version (empty when unknown).
    void SetVersion(const QString &version);

    void EmailClick();
    void SitewebClick();

protected:
    // Shown in the middle of the desktop, not over the main window, with OK
    // ready for Enter.
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::AboutForm> m_ui;
};
