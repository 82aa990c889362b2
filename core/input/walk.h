#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "input/fileio.h"

// What a walk over the paths of the command line meets.
struct TWalkItem
{
    enum class TKind {
        File,    // a file to hash (a regular file, or a link to anything but a folder)
        Skipped, // a FIFO, device or socket: not hashed, not an error
        Failed,  // a folder that could not be read: an error
    };
    TKind Kind = TKind::File;
    std::string Path;
    // Why it was skipped or failed.
    std::string Reason;
    // A file the folder's listing named a regular file: no look is needed
    // before opening it.
    TListedAs Listed = TListedAs::Unknown;
};

// Walks path: a folder gives its entries in byte order of their names, each
// folder's entries before the next name of its parent; symbolic links to
// folders inside the walk are not followed, so no walk loops. The types come
// from the folders' listings where the file system gives them there (a file
// is looked at only where it does not). A path that is
// not a folder is reported as it stands (as a file, even when it does not exist:
// opening it tells the rest). Once stop (when given) is set, the walk ends
// before its next entry or folder and reports nothing more.
void WalkPath(const std::string &path, const std::function<void(const TWalkItem &)> &onItem,
              const std::atomic<bool> *stop = nullptr);
