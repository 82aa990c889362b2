#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "runs/thread.h"

namespace testsupport {

// The tests' own interface thread: a queue of steps that the thread which made
// the dispatcher runs inside RunUntil. Synchronize from another thread queues the
// step and waits until the loop has run it; on the loop thread it runs at once.
class TTestDispatcher final : public TDispatcher
{
public:
    TTestDispatcher()
        : m_loopThread(std::this_thread::get_id())
    {
    }

    void Synchronize(std::function<void()> step) override
    {
        if (IsLoopThread()) {
            step();
            return;
        }
        bool done = false;
        std::exception_ptr error;
        std::unique_lock lock(m_lock);
        m_queue.emplace_back([&] {
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
            // Under the lock: the waiter may return, and its frame go, right after.
            const std::lock_guard doneLock(m_lock);
            done = true;
            m_changed.notify_all();
        });
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return done; });
        lock.unlock();
        if (error)
            std::rethrow_exception(error);
    }

    void Post(std::function<void()> step) override
    {
        const std::lock_guard lock(m_lock);
        m_queue.push_back(std::move(step));
        // Under the lock: once the loop may see the step, the poster must be done
        // with the dispatcher, which a test destroys as soon as its loop returns.
        m_changed.notify_all();
    }

    // Runs queued steps on the loop thread until done() holds, checking it after
    // every step; false when timeout passes first. The steps are what make done()
    // true, so a timeout means a hang.
    bool RunUntil(const std::function<bool()> &done,
                  std::chrono::milliseconds timeout = std::chrono::minutes(3))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (done())
                return true;
            std::function<void()> step;
            {
                std::unique_lock lock(m_lock);
                if (!m_changed.wait_until(lock, deadline, [this] { return !m_queue.empty(); }))
                    return false;
                step = std::move(m_queue.front());
                m_queue.pop_front();
            }
            step();
        }
    }

    bool IsLoopThread() const { return std::this_thread::get_id() == m_loopThread; }

private:
    const std::thread::id m_loopThread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
};

} // namespace testsupport
