#pragma once

// Every core token of a queue's tokens (one a core) for as long as it lives:
// the workers that share them wait for one before they make or hash anything,
// so that what waits can be read without a race.

#include <algorithm>
#include <memory>
#include <thread>

#include "runs/tokens.h"

class THeldCores final
{
public:
    explicit THeldCores(std::shared_ptr<TCoreTokens> tokens)
        : m_tokens(std::move(tokens))
    {
        for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i, ++m_held)
            m_tokens->Acquire();
    }
    ~THeldCores() { Release(); }
    THeldCores(const THeldCores &) = delete;
    THeldCores &operator=(const THeldCores &) = delete;
    void Release()
    {
        for (; m_held > 0; --m_held)
            m_tokens->Release();
    }

private:
    std::shared_ptr<TCoreTokens> m_tokens;
    unsigned m_held = 0;
};
