#include "input/walk.h"

#include "input/fileio.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <dirent.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path ToPath(const std::string &path)
{
    return PathFromUtf8(path);
}


// On Windows the separator is a backslash: the display name of an entry
// stops at the last one, so a path of the walk gives the file's own name.
std::string Join(const std::string &folder, const std::string &name)
{
#ifdef _WIN32
    constexpr char Separator = '\\';
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\' || folder.back() == ':'))
        return folder + name;
#else
    constexpr char Separator = '/';
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
#endif
    return folder + Separator + name;
}

bool Stopped(const std::atomic<bool> *stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// A name in a folder, with its own type when the folder's listing gives it
// (Linux's d_type; none where the file system leaves it out).
struct TListed
{
    std::string name;
    fs::file_type type = fs::file_type::none;
    bool operator<(const TListed &other) const { return name < other.name; }
};

#ifdef _WIN32
std::string NameOf(const fs::path &path)
{
    return Utf8FromPath(path.filename());
}

void ListFolder(const std::string &folder, std::vector<TListed> &listed, std::error_code &error,
                const std::atomic<bool> *stop)
{
    fs::directory_iterator it(ToPath(folder), fs::directory_options::none, error);
    for (const fs::directory_iterator end; !error && it != end && !Stopped(stop); it.increment(error))
        listed.push_back({NameOf(it->path())});
}
#else
fs::file_type TypeOf(unsigned char listedType)
{
    switch (listedType) {
    case DT_REG: return fs::file_type::regular;
    case DT_DIR: return fs::file_type::directory;
    case DT_LNK: return fs::file_type::symlink;
    case DT_FIFO: return fs::file_type::fifo;
    case DT_BLK: return fs::file_type::block;
    case DT_CHR: return fs::file_type::character;
    case DT_SOCK: return fs::file_type::socket;
    default: return fs::file_type::none;
    }
}

void ListFolder(const std::string &folder, std::vector<TListed> &listed, std::error_code &error,
                const std::atomic<bool> *stop)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir) {
        error.assign(errno, std::generic_category());
        return;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                error.assign(errno, std::generic_category());
            break;
        }
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            listed.push_back({std::string(name), TypeOf(entry->d_type)});
        if (Stopped(stop))
            break;
    }
    ::closedir(dir);
}
#endif

void WalkFolder(const std::string &folder, const std::function<void(const TWalkItem &)> &onItem,
                const std::atomic<bool> *stop)
{
    if (Stopped(stop))
        return;
    std::error_code error;
    std::vector<TListed> names;
    ListFolder(folder, names, error, stop);
    if (error) {
        onItem({TWalkItem::TKind::Failed, folder, error.message()});
        return;
    }
    std::sort(names.begin(), names.end());

    for (const TListed &name : names) {
        if (Stopped(stop))
            return;
        const std::string path = Join(folder, name.name);
        // One look at the file only where the listing did not tell its type.
        const fs::file_type own =
            name.type != fs::file_type::none ? name.type : fs::symlink_status(ToPath(path), error).type();
        if (error) {
            onItem({TWalkItem::TKind::Failed, path, error.message()});
            continue;
        }
        switch (own) {
        case fs::file_type::directory:
            WalkFolder(path, onItem, stop);
            break;
        case fs::file_type::symlink:
            // A link to a folder could lead back up the tree: left alone.
            if (fs::is_directory(fs::status(ToPath(path), error)))
                onItem({TWalkItem::TKind::Skipped, path, "symbolic link to a folder, not followed"});
            else
                onItem({TWalkItem::TKind::File, path, {}});
            break;
        case fs::file_type::fifo:
            onItem({TWalkItem::TKind::Skipped, path, "FIFO, not hashed"});
            break;
        case fs::file_type::block:
        case fs::file_type::character:
            onItem({TWalkItem::TKind::Skipped, path, "device, not hashed"});
            break;
        case fs::file_type::socket:
            onItem({TWalkItem::TKind::Skipped, path, "socket, not hashed"});
            break;
        case fs::file_type::regular:
            onItem({TWalkItem::TKind::File, path, {}, TListedAs::RegularFile});
            break;
        default:
            onItem({TWalkItem::TKind::File, path, {}});
            break;
        }
    }
}

} // namespace

void WalkPath(const std::string &path, const std::function<void(const TWalkItem &)> &onItem,
              const std::atomic<bool> *stop)
{
    if (Stopped(stop))
        return;
    std::error_code error;
    if (fs::is_directory(ToPath(path), error))
        WalkFolder(path, onItem, stop);
    else
        onItem({TWalkItem::TKind::File, path, {}});
}
