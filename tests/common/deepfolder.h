#pragma once

// A chain of folders nested so deep under a folder that its full path is
// longer than the system takes (PATH_MAX): a walk that reaches its end cannot
// read it ("File name too long"), whatever the rights of the process, root's
// included, so a test can meet a folder that cannot be read. POSIX only; the
// chain is made and removed through folder handles, never by its long path.

#ifndef _WIN32

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <string>
#include <vector>

class TDeepFolder final
{
public:
    // Makes parent/name and the chain below it; Made() tells whether it could.
    TDeepFolder(const std::string &parent, const std::string &name)
        : m_top(name)
    {
        int at = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY);
        if (at < 0)
            return;
        m_handles.push_back(at);
        std::size_t length = parent.size() + 1 + name.size();
        std::string next = name;
        while (length <= PATH_MAX + Link.size()) {
            if (::mkdirat(at, next.c_str(), 0755) != 0)
                return;
            at = ::openat(at, next.c_str(), O_RDONLY | O_DIRECTORY);
            if (at < 0)
                return;
            m_handles.push_back(at);
            next = Link;
            length += 1 + Link.size();
        }
        m_made = true;
    }
    ~TDeepFolder()
    {
        // From the deepest folder up: each one by its short name in its parent.
        for (std::size_t level = m_handles.size(); level-- > 1;) {
            ::unlinkat(m_handles[level - 1], level == 1 ? m_top.c_str() : Link.c_str(), AT_REMOVEDIR);
            ::close(m_handles[level]);
        }
        if (!m_handles.empty())
            ::close(m_handles.front());
    }
    TDeepFolder(const TDeepFolder &) = delete;
    TDeepFolder &operator=(const TDeepFolder &) = delete;

    bool Made() const { return m_made; }

private:
    inline static const std::string Link = std::string(200, 'd');
    const std::string m_top;
    std::vector<int> m_handles;
    bool m_made = false;
};

#endif
