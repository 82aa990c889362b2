#pragma once

#include <QDialog>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/linkcheck.h"

namespace Ui {
class CheckLinksForm;
}
class QTreeWidget;

// "Check against links": the files a list's links name, checked on a worker
// thread, one row per link as its result comes in, under the path of the list.
// Modeless; closing it while a check runs stops the check after the file under
// way.
class TCheckLinksForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TCheckLinksForm)

public:
    explicit TCheckLinksForm(QWidget *parent = nullptr);
    ~TCheckLinksForm() override;

    // Clears the rows and starts checking the list at listPath against the
    // files of its folder; false while a check still runs.
    bool Start(const std::string &listPath, const std::vector<TLinkNameTexts> &texts);
    bool Busy() const { return m_busy; }
    // Asks a running check to stop after its current file.
    void Stop();

    QTreeWidget *ResultList() const;
    QString StatusText() const;

signals:
    void Finished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void AddResult(const TLinkCheck &check);
    void Finish(const QString &error);

    std::unique_ptr<Ui::CheckLinksForm> m_ui;
    QString m_list;
    bool m_busy = false;
    std::size_t m_counts[4] = {};
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::thread m_worker;
};
