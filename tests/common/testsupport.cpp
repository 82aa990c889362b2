#include "testsupport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace testsupport {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "brackwell-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::file(const std::string &name) const
{
    return (m_path / name).string();
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
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
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WritePatternFile(const std::string &path, std::uint64_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
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
    std::filesystem::resize_file(path, size);
}

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

} // namespace testsupport
