#include "system.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#include <string_view>

#include "input/fileio.h"
#else
#include <unistd.h>
#endif

#include <cstdio>

TCommandLine::TCommandLine(int argc, char **argv)
    : m_count(argc)
    , m_values(argv)
{
#ifdef _WIN32
    int count = 0;
    wchar_t **wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 0; wide && i < count; ++i)
        m_texts.push_back(Utf8FromWide(wide[i]));
    ::LocalFree(wide);
    for (std::string &text : m_texts)
        m_pointers.push_back(text.data());
    m_pointers.push_back(nullptr);
    m_count = static_cast<int>(m_texts.size());
    m_values = m_pointers.data();
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
}

std::string OwnPath()
{
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof *buffer);
    return n > 0 && n < sizeof buffer / sizeof *buffer ? Utf8FromWide(std::wstring_view(buffer, n)) : std::string();
#else
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
#endif
}

bool StderrIsTerminal()
{
#ifdef _WIN32
    // A console, not merely a character device (NUL is one too), that takes
    // the escape sequences the progress line uses.
    const HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::_isatty(::_fileno(stderr)) == 0 || !::GetConsoleMode(console, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
           || ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}
