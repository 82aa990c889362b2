#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>

#include "entries/donkeyfile.h"
#include "links/links.h"

// Shows "name: chunk k of n" on a terminal's stderr while a file is hashed;
// does nothing when stderr is no terminal. Steps come from the hashing
// threads; Clear from the thread that prints, before each line.
class TProgressLine final
{
public:
    explicit TProgressLine(bool enabled) : m_enabled(enabled) {}

    void Step(const TDonkeyFile &entry)
    {
        if (!m_enabled)
            return;
        const TEntrySnapshot shown = entry.Snapshot();
        const std::int32_t chunks = entry.ChunkCount();
        std::lock_guard lock(m_mutex);
        std::fprintf(stderr, "\r\033[K%s: chunk %d of %d", EscapeControlBytes(shown.DisplayName).c_str(),
                     shown.CurrentChunk, chunks);
        std::fflush(stderr);
        m_shown = true;
    }
    void Clear()
    {
        if (!m_enabled)
            return;
        std::lock_guard lock(m_mutex);
        if (m_shown)
            std::fputs("\r\033[K", stderr);
        m_shown = false;
    }

private:
    const bool m_enabled;
    std::mutex m_mutex;
    bool m_shown = false;
};
