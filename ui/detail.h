#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include <QDialog>

#include "runs/datacheck.h"

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
//
// For a descriptor, "Check data" hashes the chunks of the data file beside it
// on a thread of its own and shows the verdicts as a chunk map beside their
// counts. Stop, hiding the dialog or showing another entry ends a check at its
// next block; none of them waits for it.
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
    void CheckDataButtonClick();
    void StopCheckButtonClick();

    // A check under way, not yet stopped.
    bool Checking() const;
    // The verdicts of the last check of the entry shown; none before one.
    const TDataCheck *LastCheck() const { return m_lastCheck.get(); }
    // Runs in a check's thread once it knows how many chunks it will hash,
    // before it hashes any, for the checks started afterwards.
    void SetCheckObserver(std::function<void()> observer) { m_checkObserver = std::move(observer); }

signals:
    // A check ended, done, stopped or failed; the dialog shows its result.
    void CheckFinished();

protected:
    // Shown in the middle of the desktop, not over the main window.
    void showEvent(QShowEvent *event) override;
    // A check under way ends once the dialog is hidden (closed).
    void hideEvent(QHideEvent *event) override;
    // The legend follows the theme.
    void changeEvent(QEvent *event) override;

private:
    // The "Details" page is in the page control only while a descriptor is shown.
    void ShowDetailsPage(bool shown);
    // The check's part of the page: idle, with the last result if any.
    void ShowCheckIdle();
    void ShowCheckResult(const TDataCheck &check);
    void CheckProgress(std::uint64_t run, std::int64_t done, std::int64_t total);
    void CheckDone(std::uint64_t run, const TDataCheck &check);
    // Asks the check under way, if any, to stop; its result is not shown.
    void AbandonCheck();
    void PaintLegend();

    std::unique_ptr<Ui::DetailForm> m_ui;
    QString m_detailsTitle;
    QString m_verificationUrl;

    // The descriptor shown, and the checks: each run on a thread of its own,
    // numbered so that only the latest one's steps are shown; a thread is
    // joined once its last step has run here, and at the end.
    std::string m_descriptorPath;
    struct TCheckRun
    {
        std::thread Thread;
        std::shared_ptr<std::atomic<bool>> Stop;
    };
    std::map<std::uint64_t, TCheckRun> m_runs;
    std::uint64_t m_currentRun = 0;
    std::uint64_t m_lastRun = 0;
    std::unique_ptr<TDataCheck> m_lastCheck;
    std::function<void()> m_checkObserver;
};
