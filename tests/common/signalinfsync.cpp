// Preloaded into a program under test (LD_PRELOAD), stands in for fsync: the
// program is sent the signal BRACKWELL_SIGNAL_IN_FSYNC names (INT or TERM)
// while it syncs a file it has written, exactly then, before fsync runs.
#include <dlfcn.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

// A test may run in the background, where SIGINT is ignored from the start:
// the program gets the signals' defaults, as under a terminal.
[[gnu::constructor]] void DefaultSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace

extern "C" int fsync(int fd)
{
    if (const char *name = std::getenv("BRACKWELL_SIGNAL_IN_FSYNC"))
        std::raise(std::strcmp(name, "INT") == 0 ? SIGINT : SIGTERM);
    using TFsync = int (*)(int);
    static const auto real = reinterpret_cast<TFsync>(::dlsym(RTLD_NEXT, "fsync"));
    return real ? real(fd) : 0;
}
