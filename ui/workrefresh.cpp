// The work controller's refresh: a listed entry hashed (read) again on a
// thread of its own, which Stop ends at its next block, and which the
// controller's end waits for.
#include "workcontroller.h"
#include "workcontroller_p.h"

#include <chrono>
#include <exception>

#include "entries/partfile.h"
#include "runs/hashqueue.h"
#include "runs/runentry.h"
#include "runs/thread.h"
#include "runs/tokens.h"

using namespace workcontroller;

namespace {

std::uint64_t refreshNumbers = 0;

} // namespace

// --- Refresh -------------------------------------------------------------------

bool TWorkController::Refresh(TDonkeyFile &entry)
{
    const bool plainFile = dynamic_cast<TPartFile *>(&entry) == nullptr;
    TWork &work = plainFile ? m_files : m_parts;
    // Ignored while paths of its kind are being hashed or read.
    if (Busy(work))
        return false;
    auto run = std::make_unique<TRefreshRun>();
    run->Entry = &entry;
    run->Number = ++refreshNumbers;
    TRefreshRun *const running = run.get();
    // The flag is this run's own: a Stop that comes before its thread has
    // begun is seen at its first block all the same.
    entry.HashOptions.Stop = &running->Stop;
    if (plainFile) {
        entry.OnNewBlock = [this, &work, number = run->Number](TDonkeyFile &hashed) {
            const int chunk = hashed.CurrentChunk();
            const int chunks = hashed.ChunkCount();
            const TDonkeyFile *shown = &hashed;
            try {
                m_dispatcher->Post([this, &work, number, shown, chunk, chunks] {
                    if (work.Refresh && work.Refresh->Number == number)
                        emit RefreshProgress(shown, chunk, chunks);
                });
            } catch (...) {
                // A step of the bar is not worth failing the run.
            }
        };
    }
    // A core of the window's, as the queue's workers hold one, and its second
    // thread only where another one is free.
    entry.HashOptions.HelperTokens = m_cores;
    const int level = m_settings.ThreadPriority;
    try {
        run->Thread = std::thread([this, &work, running, level, cores = m_cores] {
            ApplyPriorityLevel(level);
            // Waits for a core; a Stop meanwhile lets the run start at once,
            // to end at its first block.
            bool core = false;
            while (!running->Stop && !(core = cores->TryAcquire()))
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            try {
                (void)running->Entry->HashFile();
            } catch (...) {
                running->Fatal = DescribeException(std::current_exception());
            }
            if (core)
                cores->Release();
            running->Ended = true;
            try {
                m_dispatcher->Post([this, &work, number = running->Number] {
                    if (work.Refresh && work.Refresh->Number == number)
                        RefreshDone(work);
                });
            } catch (...) {
                // The tick finds the run ended.
            }
        });
    } catch (const std::exception &e) {
        entry.HashOptions.Stop = nullptr;
        entry.HashOptions.HelperTokens = nullptr;
        entry.OnNewBlock = nullptr;
        emit Failed(QString::fromLocal8Bit(e.what()));
        return false;
    }
    work.Refresh = std::move(run);
    if (plainFile)
        emit RefreshProgress(&entry, 0, entry.ChunkCount());
    Changed();
    return true;
}

void TWorkController::RefreshDone(TWork &work)
{
    std::unique_ptr<TRefreshRun> run = std::move(work.Refresh);
    // Its thread has ended but for returning.
    if (run->Thread.joinable())
        run->Thread.join();
    run->Entry->HashOptions.Stop = nullptr;
    run->Entry->HashOptions.HelperTokens = nullptr;
    run->Entry->OnNewBlock = nullptr;
    const TDonkeyFile *entry = run->Entry;
    std::erase_if(m_deletedUnderRefresh, [entry](const auto &deleted) { return deleted.get() == entry; });
    // The paths added meanwhile go on.
    GiveToQueue(work, std::exchange(work.Held, {}));
    emit RefreshEnded(work.PlainFiles, QString::fromStdString(run->Fatal));
    Changed();
}

void TWorkController::Release(std::vector<std::unique_ptr<TDonkeyFile>> entries)
{
    for (std::unique_ptr<TDonkeyFile> &entry : entries) {
        for (const TWork *work : {&m_files, &m_parts}) {
            if (entry && work->Refresh && entry.get() == work->Refresh->Entry)
                m_deletedUnderRefresh.push_back(std::move(entry));
        }
    }
    // The rest go with the vector.
}

