#include "input/walk.h"

#include "input/fileio.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path ToPath(const std::string &path)
{
    return PathFromUtf8(path);
}

std::string NameOf(const fs::path &path)
{
    return Utf8FromPath(path.filename());
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

void WalkFolder(const std::string &folder, const std::function<void(const TWalkItem &)> &onItem,
                const std::atomic<bool> *stop)
{
    if (Stopped(stop))
        return;
    std::error_code error;
    std::vector<std::string> names;
    fs::directory_iterator it(ToPath(folder), fs::directory_options::none, error);
    for (const fs::directory_iterator end; !error && it != end && !Stopped(stop); it.increment(error))
        names.push_back(NameOf(it->path()));
    if (error) {
        onItem({TWalkItem::TKind::Failed, folder, error.message()});
        return;
    }
    std::sort(names.begin(), names.end());

    for (const std::string &name : names) {
        if (Stopped(stop))
            return;
        const std::string path = Join(folder, name);
        const fs::file_status own = fs::symlink_status(ToPath(path), error);
        if (error) {
            onItem({TWalkItem::TKind::Failed, path, error.message()});
            continue;
        }
        switch (own.type()) {
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
