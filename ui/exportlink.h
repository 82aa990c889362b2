#pragma once

#include <memory>
#include <vector>

#include <QDialog>

#include "links/sharelist.h"

namespace Ui {
class ExportForm;
}
class QFileDialog;

// "Export Options": the layout, title and columns of the share list. Made once
// and shown for every export, so each choice stays for the next one in the run.
class TExportForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TExportForm)

public:
    explicit TExportForm(QWidget *parent = nullptr);
    ~TExportForm() override;

    // The share list the controls describe; caption names the program in HTML.
    TShareListOptions Options(const QString &caption) const;
    // The path chosen in the save dialog.
    const QString &ExportFileName() const { return m_exportFileName; }

    // Writes rows to ExportFileName; a failure shows one message box and
    // leaves any file that was there untouched. False on failure.
    bool WriteExport(const std::vector<TShareListRow> &rows, const QString &caption);

    QFileDialog *SaveDialog() const { return m_saveDialog; }

    void chkNoneClick();
    void chkFileNameClick();
    void chkLinkClick();
    void chkDonkeyClick();
    void chkFileSpreeClick();
    void cmbDestinationChange();
    void grpDonkeyClick();
    void grpFileSpreeClick();
    void Button2Click();

private:
    std::unique_ptr<Ui::ExportForm> m_ui;
    QFileDialog *m_saveDialog = nullptr;
    QString m_exportFileName;
};
