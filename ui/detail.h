#pragma once

#include <cstdint>
#include <memory>

#include <QDialog>

namespace Ui {
class DetailForm;
}
class TDonkeyFile;

// The range and position of the download's progress bar: sizes above 1 MiB
// count in KiB, and further down where the bar's integers would overflow; the
// position never passes the maximum. An empty file shows a full bar.
struct TProgressScale
{
    int Maximum = 0;
    int Position = 0;
};
TProgressScale ProgressScaleOf(std::int64_t size, std::uint64_t transferred);

// The percentage copied, "%.2f %" with the given decimal separator ("100 %" for an empty file).
QString PercentText(std::int64_t size, std::uint64_t transferred, const QString &decimalPoint);

// The verification address of an entry: urlComment followed directly by its
// eDonkey2000 hash text ("N/A" when the entry does not compute it).
QString VerificationUrlOf(const QString &urlComment, const TDonkeyFile &entry);

// One entry in full: its hashes and links with copy buttons, why it failed if
// it did, and for a descriptor the state of the download on a page of its own,
// which other entries do not have. Modeless; it shows the values of the moment
// it was filled.
class TDetailForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDetailForm)

public:
    explicit TDetailForm(QWidget *parent = nullptr);
    ~TDetailForm() override;

    // Copies the entry's values into the fields and shows the dialog.
    void ShowEntry(const TDonkeyFile &entry, const QString &verificationUrl);
    void Fill(const TDonkeyFile &entry, const QString &verificationUrl);

    // Puts link in the link field, selects it whole and copies it.
    void CopyLink(const QString &link);

    const QString &VerificationUrl() const { return m_verificationUrl; }

    void URLButtonClick();
    void DonkeyCopyButtonClick();
    void FileSpreeCopyButtonClick();

protected:
    // Shown in the middle of the desktop, not over the main window.
    void showEvent(QShowEvent *event) override;

private:
    // The "Details" page is in the page control only while a descriptor is shown.
    void ShowDetailsPage(bool shown);

    std::unique_ptr<Ui::DetailForm> m_ui;
    QString m_detailsTitle;
    QString m_verificationUrl;
};
