#include "runs/tokens.h"

#include <utility>

void TCoreTokens::Acquire()
{
    std::unique_lock lock(m_mutex);
    m_freed.wait(lock, [this] { return m_free > 0; });
    --m_free;
}

bool TCoreTokens::TryAcquire()
{
    const std::lock_guard lock(m_mutex);
    if (m_free == 0)
        return false;
    --m_free;
    return true;
}

void TCoreTokens::Release()
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_free;
    }
    m_freed.notify_one();
}

THelperToken::THelperToken(const std::shared_ptr<TCoreTokens> &tokens)
    : m_tokens(tokens)
    , m_held(tokens && tokens->TryAcquire())
{
}

THelperToken::~THelperToken()
{
    if (m_held)
        m_tokens->Release();
}

TWorkerToken::TWorkerToken(std::shared_ptr<TCoreTokens> tokens, bool adopted)
    : m_tokens(std::move(tokens))
    , m_held(adopted && m_tokens)
{
}

void TWorkerToken::Take()
{
    if (m_tokens && !m_held)
        m_tokens->Acquire();
    m_held = m_tokens != nullptr;
}

void TWorkerToken::LetGo()
{
    if (m_held)
        m_tokens->Release();
    m_held = false;
}

TSideThread::TSideThread(std::shared_ptr<TCoreTokens> tokens)
    : m_tokens(std::move(tokens))
    , m_thread([this](const std::stop_token &stop) { Loop(stop); })
{
}

TSideThread::~TSideThread()
{
    // The core goes back once the thread is gone.
    m_thread.request_stop();
    m_thread.join();
    m_tokens->Release();
}

void TSideThread::Start(std::function<void()> task)
{
    {
        const std::lock_guard lock(m_mutex);
        m_task = std::move(task);
    }
    m_changed.notify_all();
}

std::exception_ptr TSideThread::Wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_task; });
    return std::exchange(m_error, nullptr);
}

void TSideThread::Loop(const std::stop_token &stop)
{
    std::unique_lock lock(m_mutex);
    while (m_changed.wait(lock, stop, [&] { return m_task != nullptr; })) {
        lock.unlock();
        std::exception_ptr error;
        try {
            m_task();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        m_error = error;
        m_task = nullptr;
        m_changed.notify_all();
    }
}

std::unique_ptr<TSideThread> TrySideThread(const std::shared_ptr<TCoreTokens> &tokens)
{
    if (!tokens || !tokens->TryAcquire())
        return nullptr;
    try {
        return std::make_unique<TSideThread>(tokens);
    } catch (...) {
        tokens->Release();
        return nullptr;
    }
}
