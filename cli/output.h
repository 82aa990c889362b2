#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "input/fileio.h"

// Standard output, every write checked: a failed write ends the run with
// status 1, never with a success that printed nothing.
class TOutput final
{
public:
    bool Write(const std::string &text)
    {
        if (m_failed)
            return false;
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
            Fail();
        return !m_failed;
    }
    bool Flush()
    {
        if (!m_failed && (std::fflush(stdout) != 0 || std::ferror(stdout)))
            Fail();
        return !m_failed;
    }
    // Flushes and closes, so that a late error (a full disk) shows too.
    bool Close()
    {
        Flush();
        if (std::fclose(stdout) != 0 && !m_failed)
            Fail();
        return !m_failed;
    }

private:
    void Fail()
    {
        const int error = errno;
        m_failed = true;
        std::fprintf(stderr, "brackwell-cli: cannot write the output: %s\n",
                     error ? ErrnoText(error).c_str() : "write error");
    }
    bool m_failed = false;
};
