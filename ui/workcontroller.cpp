// The window's work as a whole: its making and end, its states, Stop, the
// run's progress, and the tick that keeps it going. The queues, the walks and
// the refresh have units of their own (workqueues, workwalks, workrefresh).
#include "workcontroller.h"
#include "workcontroller_p.h"

#include <QDir>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "input/walkfeed.h"
#include "qtdispatcher.h"
#include "runs/hashqueue.h"
#include "runs/thread.h"
#include "runs/tokens.h"

using namespace workcontroller;

TWorkController::TWork::TWork(bool plainFiles)
    : PlainFiles(plainFiles)
{
}

TWorkController::TWork::~TWork() = default;

TWorkController::TWorkController(const TSettings &settings, QObject *parent, TDispatcher *dispatcher)
    : QObject(parent)
    , m_settings(settings)
    , m_dispatcher(dispatcher)
    , m_newEntries(std::make_shared<TNewEntrySettings>())
    , m_cores(std::make_shared<TCoreTokens>(std::max(1u, std::thread::hardware_concurrency())))
    , m_filesFolder(QDir::currentPath())
    , m_ticker(new QTimer(this))
    , m_handover(new QTimer(this))
{
    if (!m_dispatcher) {
        auto *own = new TQtDispatcher(this);
        connect(own, &TQtDispatcher::StepFailed, this, &TWorkController::Failed);
        m_dispatcher = own;
    }
    m_ticker->setInterval(TickMs);
    connect(m_ticker, &QTimer::timeout, this, &TWorkController::Tick);
    m_handover->setSingleShot(true);
    connect(m_handover, &QTimer::timeout, this, [this] {
        TakeReady(m_files);
        TakeReady(m_parts);
    });
    // The walks post one step for many batches: the flag stays set until it
    // runs, and is let go when the post fails (the tick takes them then).
    // The walks do not measure what they find: what is hashed meanwhile needs
    // no size, and what still waits at the walk's end is measured then.
    m_feed = std::make_unique<TWalkFeed>(TWalkFeed::TOptions{.OnBatch = [this, posted = m_feedPosted] {
        if (posted->exchange(true))
            return;
        try {
            m_dispatcher->Post([this] { TakeFeed(); });
        } catch (...) {
            posted->store(false);
            throw;
        }
    }, .MeasureWalks = false});
}

TWorkController::~TWorkController()
{
    m_ticker->stop();
    for (TWork *work : {&m_files, &m_parts}) {
        work->Held.clear();
        if (work->Refresh)
            work->Refresh->Stop = true;
        if (work->Queue)
            work->Queue->Stop();
    }
    // The walk's thread is let go: a stat on a dead mount may never return.
    m_feed.reset();
    // The hashing ends at its next block.
    for (TWork *work : {&m_files, &m_parts}) {
        if (work->Refresh && work->Refresh->Thread.joinable())
            work->Refresh->Thread.join();
        if (work->Refresh) {
            work->Refresh->Entry->HashOptions.Stop = nullptr;
            work->Refresh->Entry->HashOptions.HelperTokens = nullptr;
            work->Refresh->Entry->OnNewBlock = nullptr;
        }
        work->Queue.reset();
    }
}

bool TWorkController::Busy(const TWork &work)
{
    return work.Refresh || !work.Held.empty() || (work.Queue && work.Queue->Busy());
}

bool TWorkController::Stoppable(const TWork &work)
{
    return work.Refresh || !work.Held.empty() || (work.Queue && work.Queue->Pending() > 0);
}

bool TWorkController::StoppedOnly(const TWork &work)
{
    return !work.Refresh && work.Held.empty() && (!work.Queue || work.Queue->Pending() == 0);
}

bool TWorkController::FilesBusy() const
{
    return Busy(m_files);
}

bool TWorkController::DescriptorsBusy() const
{
    return Busy(m_parts);
}

bool TWorkController::Stoppable() const
{
    return Stoppable(m_files) || Stoppable(m_parts) || Walking();
}

bool TWorkController::OnlyStoppedWorkLeft() const
{
    return !Walking() && StoppedOnly(m_files) && StoppedOnly(m_parts);
}

std::size_t TWorkController::FilesLeft() const
{
    return m_files.Held.size() + (m_files.Queue ? m_files.Queue->Pending() : 0);
}

const TDonkeyFile *TWorkController::Refreshing() const
{
    return m_files.Refresh ? m_files.Refresh->Entry : nullptr;
}

void TWorkController::SettingsChanged()
{
    m_newEntries->Set(m_settings);
}

void TWorkController::SetProgressInterval(int milliseconds)
{
    m_progressShown = milliseconds > 0;
    if (m_progressShown)
        m_ticker->setInterval(milliseconds);
    Changed();
}

// --- Stop, progress ----------------------------------------------------------------

void TWorkController::Stop()
{
    // The walks first: no more of their files come in.
    m_feed->Stop();
    m_feedRequests.clear();
    // What is done already is handed over, however long it waited for this
    // thread: only the rest is not hashed.
    for (TWork *work : {&m_files, &m_parts}) {
        while (work->Queue && work->Queue->Pending() > 0) {
            const std::size_t before = work->Queue->Pending();
            TakeReady(*work, true);
            if (work->Queue->Pending() == before)
                break;
        }
    }
    std::size_t stopped = 0;
    for (TWork *work : {&m_files, &m_parts}) {
        stopped += work->Held.size() + (work->Queue ? work->Queue->Pending() : 0);
        work->Held.clear();
        work->Given.clear();
        if (work->Queue)
            work->Queue->Stop();
        if (work->Refresh)
            work->Refresh->Stop = true;
    }
    m_run = {};
    m_bar = {};
    // A second Stop, while what the first one ended winds down, keeps its count.
    if (stopped > 0 || !m_notHashed)
        m_notHashed = stopped;
    Changed();
}

TRunProgress TWorkController::Progress() const
{
    TRunProgress progress;
    TProgressCounts &counts = progress.Counts;
    const std::size_t left = FilesLeft();
    counts.DoneFiles = m_run.DoneFiles;
    counts.AllFiles = m_run.DoneFiles + left;
    counts.DoneBytes = m_run.DoneBytes + (m_files.Queue ? m_files.Queue->HashedBytes() : 0);
    // While a folder is read, neither the files nor the bytes of the run are
    // known: no share, no time left, a busy bar.
    counts.AllFilesKnown = !Walking();
    if (!counts.AllFilesKnown)
        return progress;
    if (m_run.Unmeasured == 0)
        counts.AllBytes = std::max(m_run.DoneBytes + m_run.WaitingBytes, counts.DoneBytes);
    // The whole run when it holds more than one file (its bytes when all are
    // known, else its files); the chunks of the file when it holds one.
    int value = 0;
    progress.BarMaximum = BarRange;
    if (counts.AllFiles > 1) {
        if (counts.AllBytes && *counts.AllBytes > 0)
            value = static_cast<int>(counts.DoneBytes * BarRange / *counts.AllBytes);
        else
            value = static_cast<int>(counts.DoneFiles * BarRange / counts.AllFiles);
    } else if (const std::optional<THashQueueProgress> now = m_files.Queue ? m_files.Queue->Progress() : std::nullopt) {
        // A file not yet measured shows 0 of 1.
        progress.BarMaximum = std::max(now->Chunks, 1);
        value = now->Chunk;
    }
    // Files added to a run lower its share: the bar waits for it instead of
    // going back.
    value = std::clamp(value, 0, progress.BarMaximum);
    if (m_bar.Maximum == progress.BarMaximum)
        value = std::max(value, m_bar.Value);
    m_bar = {value, progress.BarMaximum};
    progress.BarValue = value;
    return progress;
}

void TWorkController::Tick()
{
    // What a post that failed would have left waiting.
    TakeReady(m_files);
    TakeReady(m_parts);
    TakeFeed();
    for (TWork *work : {&m_files, &m_parts}) {
        // A run's own report normally comes first; one that did not come by
        // the next tick is not coming.
        if (work->Refresh && work->Refresh->Ended) {
            if (work->Refresh->SeenEnded)
                RefreshDone(*work);
            else
                work->Refresh->SeenEnded = true;
        }
    }
    if (m_runShown)
        emit RunProgress(Progress());
    Changed();
}

void TWorkController::Changed()
{
    const bool busy = Busy();
    if (busy && !m_ticker->isActive())
        m_ticker->start();
    else if (!busy && m_ticker->isActive())
        m_ticker->stop();
    // The progress line follows the plain files while they are hashed (or a
    // folder is read); a refresh has the bar to itself.
    const bool hashing = m_progressShown && !m_files.Refresh
                         && ((FilesLeft() > 0 && m_files.Queue && m_files.Queue->Busy()) || Walking());
    if (hashing && !m_runShown) {
        m_runShown = true;
        emit RunProgress(Progress());
    } else if (!hashing && m_runShown) {
        m_runShown = false;
        emit RunEnded();
    }
    // A run of work ends when nothing of it is left: the next one counts anew.
    if (!FilesBusy() && !Walking()) {
        m_run = {};
        m_bar = {};
    }
    emit StateChanged();
}
