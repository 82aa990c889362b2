#pragma once

// The cores that hashing runs share, and the small threads and holds built on
// them.

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

// Processor cores shared by hashing runs that go on at once. Each run holds
// one token for its own thread; a run that would put work on a second thread
// does so only if it can take one more token at once, so that several runs
// together never keep more threads busy than there are tokens.
//
// A count under a mutex rather than std::counting_semaphore: the C++ library's
// try_acquire spins (12 pauses, then 4 yields of the processor) before it
// says that no token is free, and runs ask for one at every file and round.
class TCoreTokens final
{
public:
    explicit TCoreTokens(unsigned count) : m_free(count) {}
    TCoreTokens(const TCoreTokens &) = delete;
    TCoreTokens &operator=(const TCoreTokens &) = delete;

    // Waits for a token.
    void Acquire();
    // Takes a token if one is free now.
    bool TryAcquire();
    void Release();

private:
    std::mutex m_mutex;
    std::condition_variable m_freed;
    unsigned m_free;
};

// One token taken if one is free at construction, held until destruction.
class THelperToken final
{
public:
    explicit THelperToken(const std::shared_ptr<TCoreTokens> &tokens);
    ~THelperToken();
    THelperToken(const THelperToken &) = delete;
    THelperToken &operator=(const THelperToken &) = delete;

    // A token is held, or there are no tokens to share (no limit).
    bool Held() const { return m_held || !m_tokens; }

private:
    std::shared_ptr<TCoreTokens> m_tokens;
    bool m_held = false;
};

// A worker's own token: taken (waiting for it) and let go as the worker
// starts and stops working; held by none when there are no tokens.
class TWorkerToken final
{
public:
    // adopted: the token was taken for the worker before it started.
    TWorkerToken(std::shared_ptr<TCoreTokens> tokens, bool adopted);
    ~TWorkerToken() { LetGo(); }
    TWorkerToken(const TWorkerToken &) = delete;
    TWorkerToken &operator=(const TWorkerToken &) = delete;

    void Take();
    void LetGo();

private:
    std::shared_ptr<TCoreTokens> m_tokens;
    bool m_held;
};

// A thread that runs one task at a time beside the caller's own work, holding
// one of a run's core tokens for as long as it lives.
class TSideThread final
{
public:
    // Takes over a token already taken from tokens.
    explicit TSideThread(std::shared_ptr<TCoreTokens> tokens);
    ~TSideThread();
    TSideThread(const TSideThread &) = delete;
    TSideThread &operator=(const TSideThread &) = delete;

    void Start(std::function<void()> task);
    // Waits for the task; what it threw, if anything.
    std::exception_ptr Wait();

private:
    void Loop(const std::stop_token &stop);

    std::shared_ptr<TCoreTokens> m_tokens;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::function<void()> m_task;
    std::exception_ptr m_error;
    std::jthread m_thread;
};

// A side thread if a token is free and a thread can be had; none otherwise.
std::unique_ptr<TSideThread> TrySideThread(const std::shared_ptr<TCoreTokens> &tokens);
