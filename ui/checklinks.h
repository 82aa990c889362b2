#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
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
// Modeless; Stop, Close and Escape end a running check within a fraction of a
// second, the files under way included, without waiting for it on the
// interface thread.
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
    // Asks a running check to stop; Busy() turns false once it has (Finished).
    void Stop();

    // Called in the hashing threads after each chunk of a file of the checks
    // started afterwards; none by default.
    void SetChunkObserver(std::function<void(TDonkeyFile &)> observer) { m_chunkObserver = std::move(observer); }

    QTreeWidget *ResultList() const;
    QString StatusText() const;

signals:
    void Finished();

public slots:
    // Escape, or the window's close box: the check stops.
    void reject() override;

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
    std::function<void(TDonkeyFile &)> m_chunkObserver;
    std::thread m_worker;
};
