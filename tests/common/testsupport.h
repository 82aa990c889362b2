#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// MD4 (upper case, as eDonkey2000 texts) and MD5 of "abc": RFC 1320, RFC 1321.
inline constexpr const char *AbcMd4 = "A448017AAF21D8525FC10AE87AA6729D";
inline constexpr const char *AbcMd5 = "900150983cd24fb0d6963f7d28e17f72";

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir final
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    // The path of name inside the folder, as the byte string the core takes.
    std::string file(const std::string &name) const;

private:
    std::filesystem::path m_path;
};

// Byte i of the generated test content: a pattern that never repeats with a
// period that divides the chunk or block lengths.
std::uint8_t PatternByte(std::uint64_t i);
std::vector<std::uint8_t> PatternBytes(std::uint64_t offset, std::size_t count);

void WriteFile(const std::string &path, const std::string &bytes);
void WriteFile(const std::string &path, const std::vector<std::uint8_t> &bytes);
// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string &path);
// A file of size bytes of PatternByte content, written in pieces.
void WritePatternFile(const std::string &path, std::uint64_t size);
// A file of size bytes that holds no data blocks (all zeros when read).
void WriteSparseFile(const std::string &path, std::uint64_t size);

struct CommandResult
{
    int status = -1;
    std::string out;
    std::string err;
};
// Runs argv (no shell) with stdin from /dev/null, and collects both streams.
CommandResult Run(const std::vector<std::string> &argv);

// rhash's eDonkey2000 (upper case) and MD5 (lower case) texts of a file; empty
// texts when rhash is not installed.
struct RhashResult
{
    std::string ed2k;
    std::string md5;
};
bool HaveRhash();
RhashResult Rhash(const std::string &path);

std::string ToUpper(std::string text);

// Threads of this process now.
long ThreadCount();

} // namespace testsupport
