// VersionText: the version an executable carries. Our executables carry it as
// an ELF note named "Brackwell" (type 1: four 16-bit numbers, major first),
// written by the build; on Windows it is the file's version resource.
#include "input/version.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <optional>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "input/fileio.h"
#endif

namespace {

using TVersion = std::array<unsigned, 4>;

#ifdef _WIN32

std::optional<TVersion> ReadVersion(const std::string &path)
{
    const std::wstring widePath = WideFromUtf8(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    if (size == 0)
        return std::nullopt;
    std::vector<char> buffer(size);
    if (!GetFileVersionInfoW(widePath.c_str(), 0, size, buffer.data()))
        return std::nullopt;
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void **>(&info), &length) || !info
        || length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    return TVersion{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                    HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

#else

constexpr std::uint32_t SectionTypeNote = 7;
constexpr std::uint32_t NoteTypeVersion = 1;
constexpr std::string_view NoteName{"Brackwell\0", 10};
constexpr std::uint64_t MaxNoteSection = 1 << 16;

std::uint64_t LittleEndian(const std::vector<std::uint8_t> &bytes, std::size_t at, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
    return value;
}

bool ReadAt(std::ifstream &file, std::uint64_t offset, std::size_t count, std::vector<std::uint8_t> &bytes)
{
    bytes.assign(count, 0);
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(count));
    return file.gcount() == static_cast<std::streamsize>(count);
}

// Looks for our note in the notes of one section.
std::optional<TVersion> FindInNotes(const std::vector<std::uint8_t> &notes)
{
    std::size_t at = 0;
    while (at + 12 <= notes.size()) {
        const std::uint64_t nameSize = LittleEndian(notes, at, 4);
        const std::uint64_t descSize = LittleEndian(notes, at + 4, 4);
        const std::uint64_t type = LittleEndian(notes, at + 8, 4);
        const std::uint64_t nameStart = at + 12;
        const std::uint64_t descStart = nameStart + ((nameSize + 3) & ~3ull);
        const std::uint64_t next = descStart + ((descSize + 3) & ~3ull);
        if (next > notes.size())
            return std::nullopt;
        const std::string_view name(reinterpret_cast<const char *>(notes.data() + nameStart), nameSize);
        if (name == NoteName && type == NoteTypeVersion && descSize >= 8) {
            TVersion version{};
            for (std::size_t i = 0; i < 4; ++i)
                version[i] = static_cast<unsigned>(LittleEndian(notes, descStart + 2 * i, 2));
            return version;
        }
        at = next;
    }
    return std::nullopt;
}

std::optional<TVersion> ReadVersion(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> header;
    if (!file || !ReadAt(file, 0, 64, header))
        return std::nullopt;
    if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F' || header[5] != 1)
        return std::nullopt; // not a little-endian ELF file
    const bool wide = header[4] == 2;
    const std::uint64_t sectionTable = wide ? LittleEndian(header, 0x28, 8) : LittleEndian(header, 0x20, 4);
    const std::size_t entrySize = LittleEndian(header, wide ? 0x3A : 0x2E, 2);
    const std::size_t entries = LittleEndian(header, wide ? 0x3C : 0x30, 2);
    if (entrySize < (wide ? 64u : 40u))
        return std::nullopt;

    std::vector<std::uint8_t> entry;
    std::vector<std::uint8_t> notes;
    for (std::size_t i = 0; i < entries; ++i) {
        if (!ReadAt(file, sectionTable + i * entrySize, entrySize, entry))
            return std::nullopt;
        if (LittleEndian(entry, 4, 4) != SectionTypeNote)
            continue;
        const std::uint64_t offset = wide ? LittleEndian(entry, 0x18, 8) : LittleEndian(entry, 0x10, 4);
        const std::uint64_t size = wide ? LittleEndian(entry, 0x20, 8) : LittleEndian(entry, 0x14, 4);
        if (size > MaxNoteSection || !ReadAt(file, offset, static_cast<std::size_t>(size), notes))
            continue;
        if (auto version = FindInNotes(notes))
            return version;
    }
    return std::nullopt;
}

#endif

} // namespace

std::string VersionText(const std::string &path, int parts)
{
    const std::optional<TVersion> version = ReadVersion(path);
    if (!version)
        return {};
    const auto &[major, minor, release, build] = *version;
    char text[64];
    switch (parts) {
    case 1: std::snprintf(text, sizeof text, "%u", major); break;
    case 2: std::snprintf(text, sizeof text, "%u.%u", major, minor); break;
    case 3: std::snprintf(text, sizeof text, "%u.%u.%u", major, minor, release); break;
    default: std::snprintf(text, sizeof text, "%u.%u.%u.%u", major, minor, release, build);
    }
    return text;
}
