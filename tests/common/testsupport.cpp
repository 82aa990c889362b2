#include "testsupport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

#include "input/fileio.h"

namespace testsupport {

TempDir::TempDir()
{
#ifdef _WIN32
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("brackwell-test-" + std::to_string(seed()));
        if (std::filesystem::create_directory(candidate))
            m_path = candidate;
    }
    if (m_path.empty())
        throw std::runtime_error("cannot make a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "brackwell-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
#endif
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::file(const std::string &name) const
{
    return Utf8FromPath(m_path / PathFromUtf8(name));
}

std::uint8_t PatternByte(std::uint64_t i)
{
    // Mixes the offset so that neighbouring blocks and chunks differ.
    std::uint64_t x = i * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    return static_cast<std::uint8_t>((x >> 24) ^ (i >> 13));
}

std::vector<std::uint8_t> PatternBytes(std::uint64_t offset, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = PatternByte(offset + i);
    return bytes;
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WriteFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WritePatternFile(const std::string &path, std::uint64_t size)
{
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    constexpr std::size_t piece = 1 << 20;
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, size - done));
        const auto bytes = PatternBytes(done, n);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(n));
        done += n;
    }
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WriteSparseFile(const std::string &path, std::uint64_t size)
{
    WriteFile(path, std::string());
    std::filesystem::resize_file(PathFromUtf8(path), size);
}

#ifdef _WIN32

namespace {

// One argument as the C runtime's command-line parser reads it back: quoted
// when it holds blanks or quotes, backslashes doubled only before a quote.
std::wstring QuoteArgument(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

// A file handle the child inherits, closed when it goes.
struct TInheritedHandle
{
    TInheritedHandle(const std::wstring &path, DWORD access, DWORD disposition)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        handle = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                               disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~TInheritedHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
    TInheritedHandle(const TInheritedHandle &) = delete;
    TInheritedHandle &operator=(const TInheritedHandle &) = delete;
    HANDLE handle;
};

} // namespace

CommandResult Run(const std::vector<std::string> &argv)
{
    // Both streams go to temporary files, so that a chatty child never blocks.
    TempDir dir;
    const std::string outPath = dir.file("out");
    const std::string errPath = dir.file("err");
    CommandResult result;
    {
        const TInheritedHandle in(L"NUL", GENERIC_READ, OPEN_EXISTING);
        const TInheritedHandle out(WideFromUtf8(outPath), GENERIC_WRITE, CREATE_ALWAYS);
        const TInheritedHandle err(WideFromUtf8(errPath), GENERIC_WRITE, CREATE_ALWAYS);
        std::wstring commandLine;
        for (const std::string &arg : argv)
            commandLine += (commandLine.empty() ? L"" : L" ") + QuoteArgument(WideFromUtf8(arg));

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.handle;
        startup.hStdOutput = out.handle;
        startup.hStdError = err.handle;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &process))
            return result;
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        if (::GetExitCodeProcess(process.hProcess, &status))
            result.status = static_cast<int>(status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

#else

namespace {

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

CommandResult Run(const std::vector<std::string> &argv)
{
    // Both streams go to temporary files, so that a chatty child never blocks.
    TempDir dir;
    const std::string outPath = dir.file("out");
    const std::string errPath = dir.file("err");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    CommandResult result;
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return result;
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    const int outFd = ::open(outPath.c_str(), O_RDONLY);
    const int errFd = ::open(errPath.c_str(), O_RDONLY);
    result.out = ReadAll(outFd);
    result.err = ReadAll(errFd);
    ::close(outFd);
    ::close(errFd);
    return result;
}

#endif

bool HaveRhash()
{
    return Run({"rhash", "--version"}).status == 0;
}

RhashResult Rhash(const std::string &path)
{
    // "%{ed2k} %{md5}" keeps the output free of the file name's own bytes.
    const CommandResult r = Run({"rhash", "--printf=%{ed2k} %{md5}\\n", path});
    RhashResult result;
    if (r.status != 0)
        return result;
    const auto space = r.out.find(' ');
    const auto end = r.out.find('\n');
    if (space == std::string::npos || end == std::string::npos)
        return result;
    result.ed2k = ToUpper(r.out.substr(0, space));
    result.md5 = r.out.substr(space + 1, end - space - 1);
    return result;
}

std::string ToUpper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

long ThreadCount()
{
#ifdef _WIN32
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    long count = 0;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = ::Thread32First(snapshot, &thread); more; more = ::Thread32Next(snapshot, &thread))
        count += thread.th32OwnerProcessID == ::GetCurrentProcessId();
    ::CloseHandle(snapshot);
    return count;
#else
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator{});
#endif
}

} // namespace testsupport
