#pragma once

#include <vector>

#include <QDialog>

#include "links/sharelist.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;

// "Export Options": the layout, title and columns of the share list. Made once
// and shown for every export, so each choice stays for the next one in the run.
class TExportForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TExportForm)

public:
    explicit TExportForm(QWidget *parent = nullptr);

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
    QLineEdit *m_titleEdit = nullptr;
    QCheckBox *m_chkNone = nullptr;
    QComboBox *m_cmbDestination = nullptr;
    QLabel *m_separatorLabel = nullptr;
    QLineEdit *m_separatorEdit = nullptr;
    QCheckBox *m_chkArray = nullptr;
    QCheckBox *m_chkFileName = nullptr;
    QCheckBox *m_chkWithpath = nullptr;
    QCheckBox *m_chkSize = nullptr;
    QCheckBox *m_chkLink = nullptr;
    QCheckBox *m_chkDonkey = nullptr;
    QCheckBox *m_chkFileSpree = nullptr;
    QWidget *m_grpDonkey = nullptr;
    QRadioButton *m_donkeyUrl = nullptr;
    QLineEdit *m_donkeyEdit = nullptr;
    QWidget *m_grpFileSpree = nullptr;
    QRadioButton *m_fileSpreeUrl = nullptr;
    QLineEdit *m_fileSpreeEdit = nullptr;
    QFileDialog *m_saveDialog = nullptr;
    QString m_exportFileName;
};
