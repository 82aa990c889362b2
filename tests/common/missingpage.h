#pragma once

// Two pages of memory whose second one is missing until the test supplies it:
// a read or write system call that copies into or out of it stops halfway in
// the kernel and waits there (see userfaultfd(2)), which lets a test hold a
// read or a write of a file under way for as long as it likes, without timing.
// Faults in the kernel are handled only for a privileged process (root here);
// Ready() is false elsewhere, and the test is skipped.

#ifdef __linux__

#include <fcntl.h>
#include <linux/userfaultfd.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

class TMissingPage final
{
public:
    TMissingPage()
        : m_page(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)))
    {
        m_uffd = static_cast<int>(::syscall(SYS_userfaultfd, O_CLOEXEC));
        uffdio_api api{.api = UFFD_API, .features = 0, .ioctls = 0};
        if (m_uffd < 0 || ::ioctl(m_uffd, UFFDIO_API, &api) != 0)
            return;
        void *region = ::mmap(nullptr, 2 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED)
            return;
        m_region = static_cast<std::uint8_t *>(region);
        std::memset(m_region, 0, m_page); // the first page is there
        uffdio_register missing{};
        missing.range = {.start = reinterpret_cast<std::uintptr_t>(Second()), .len = m_page};
        missing.mode = UFFDIO_REGISTER_MODE_MISSING;
        m_ready = ::ioctl(m_uffd, UFFDIO_REGISTER, &missing) == 0;
    }
    ~TMissingPage()
    {
        Supply(std::vector<std::uint8_t>(m_page));
        if (m_region)
            ::munmap(m_region, 2 * m_page);
        if (m_uffd >= 0)
            ::close(m_uffd);
    }
    TMissingPage(const TMissingPage &) = delete;
    TMissingPage &operator=(const TMissingPage &) = delete;

    bool Ready() const { return m_ready; }
    std::size_t Page() const { return m_page; }
    std::uint8_t *First() const { return m_region; }
    std::uint8_t *Second() const { return m_region + m_page; }

    // Waits (a minute at most) until something touches the second page;
    // false when nothing did.
    bool WaitForTouch()
    {
        pollfd event{.fd = m_uffd, .events = POLLIN, .revents = 0};
        uffd_msg message{};
        m_touched = m_ready && ::poll(&event, 1, 60'000) == 1
                    && ::read(m_uffd, &message, sizeof message) == sizeof message
                    && message.event == UFFD_EVENT_PAGEFAULT;
        return m_touched;
    }
    // Puts the second page in place with these bytes: what waited for it goes on.
    void Supply(const std::vector<std::uint8_t> &bytes)
    {
        if (!m_touched)
            return;
        m_touched = false;
        uffdio_copy copy{};
        copy.dst = reinterpret_cast<std::uintptr_t>(Second());
        copy.src = reinterpret_cast<std::uintptr_t>(bytes.data());
        copy.len = m_page;
        ::ioctl(m_uffd, UFFDIO_COPY, &copy);
    }

private:
    const std::size_t m_page;
    int m_uffd = -1;
    std::uint8_t *m_region = nullptr;
    bool m_ready = false;
    bool m_touched = false;
};

// Whether thread tid of this process waits uninterruptibly (for a lock).
inline bool WaitsUninterruptibly(long tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'D';
}

} // namespace testsupport

#endif
