#pragma once

// What the units of the work controller share.

#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "settings.h"
#include "runs/thread.h"
#include "workcontroller.h"

// A listed entry hashed (read) again on a thread of its own.
struct TWorkController::TRefreshRun
{
    TDonkeyFile *Entry = nullptr;
    std::uint64_t Number = 0;
    // Set by Stop, before or during the run: it ends at its next block.
    std::atomic<bool> Stop{false};
    std::atomic<bool> Ended{false};
    // Seen ended by a tick: its report is due.
    bool SeenEnded = false;
    std::string Fatal;
    std::thread Thread;
};

// What a new entry is made with: the settings of the moment its turn comes,
// read by the queues' workers while the interface thread may replace them. A
// worker takes the values of a moment whole, without copying them.
class TNewEntrySettings final
{
public:
    struct TValues
    {
        std::string ReplaceSpaceStr;
        std::string NameSuffix;
        std::string NamePrefix;
        THashSelection ActiveHashes = hsAll;
        int ThreadPriority = NormalPriorityLevel;
    };

    void Set(const TSettings &settings)
    {
        auto values = std::make_shared<const TValues>(TValues{settings.ReplaceSpaceStr, settings.NameSuffix,
                                                              settings.NamePrefix, settings.ActiveHashes,
                                                              settings.ThreadPriority});
        const std::lock_guard lock(m_lock);
        m_values = std::move(values);
    }
    std::shared_ptr<const TValues> Get() const
    {
        const std::lock_guard lock(m_lock);
        return m_values;
    }

private:
    mutable std::mutex m_lock;
    std::shared_ptr<const TValues> m_values = std::make_shared<const TValues>();
};

namespace workcontroller {

// How long one step of the interface thread takes ready entries or found
// files before it lets the window's other events through, and how many
// entries one step hands over at most.
inline constexpr qint64 SliceMs = 10;
inline constexpr std::size_t SliceEntries = 8192;
// Entries are handed over this often at most.
inline constexpr int HandoverMs = 100;
// Entries done and not yet handed over, at most: the workers wait beyond it.
// Small files are hashed at some 40,000 a second, and the list takes them
// ten times a second.
inline constexpr std::size_t ReadyAhead = 16384;
// The timer that shows the progress and takes what a lost post left.
inline constexpr int TickMs = 100;
// Faults named at most, the rest counted.
inline constexpr std::size_t FaultsShown = 10;
// The whole run on the bar, in thousandths.
inline constexpr int BarRange = 1000;
// Paths of walks queued and not yet hashed, at most: beyond it the walk
// waits, so that a folder of a million files costs the memory of a few
// thousand paths.
inline constexpr std::size_t WalkAhead = 8192;

} // namespace workcontroller
