#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "entries/donkeyfile.h"
#include "input/fileio.h"
#include "testsupport.h"
#include "input/walk.h"

namespace {

std::vector<std::string> Walk(const std::string &root, std::vector<std::string> *skipped = nullptr)
{
    std::vector<std::string> files;
    WalkPath(root, [&](const TWalkItem &item) {
        const std::string relative = item.Path.substr(root.size());
        if (item.Kind == TWalkItem::TKind::File)
            files.push_back(relative);
        else if (skipped)
            skipped->push_back(relative + (item.Kind == TWalkItem::TKind::Failed ? " failed" : " skipped"));
    });
    return files;
}

} // namespace

// Byte order within each folder (upper case before lower, a folder's entries
// where its name falls), a link to a folder above not followed, a link to a
// file kept, and a FIFO and a socket skipped (links, FIFOs and sockets on
// POSIX systems only). Windows paths of the walk join with backslashes, so
// that an entry's display name is the file's own.
TEST(Walk, ByteOrderNoLoopsSpecialFilesSkipped)
{
#ifdef _WIN32
    const std::string separator = "\\";
#else
    const std::string separator = "/";
#endif
    testsupport::TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
#ifdef _WIN32
    const char *capital = "D.txt"; // "B.txt" would be "b.txt": names ignore case here
#else
    const char *capital = "B.txt";
#endif
    for (const char *name : {"b.txt", capital, "a/z", "a/y/x", "\xc3\xa9.txt", "c"}) {
        std::filesystem::create_directories(PathFromUtf8(root + "/" + name).parent_path());
        testsupport::WriteFile(root + "/" + name, std::string("x"));
    }
    std::vector<std::string> files{"/" + std::string(capital), "/a/y/x", "/a/z", "/b.txt", "/c", "/\xc3\xa9.txt"};
    std::vector<std::string> skippedWanted;
#ifndef _WIN32
    std::filesystem::create_directory_symlink(root, root + "/a/loop");
    std::filesystem::create_symlink(root + "/c", root + "/a/link to c");
    ASSERT_EQ(mkfifo((root + "/fifo").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = root + "/sock";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    files.insert(files.begin() + 1, "/a/link to c");
    skippedWanted = {"/a/loop skipped", "/fifo skipped", "/sock skipped"};
#endif
    for (std::string &file : files)
        std::replace(file.begin(), file.end(), '/', separator.front());

    std::vector<std::string> skipped;
    EXPECT_EQ(Walk(root, &skipped), files);
    EXPECT_EQ(skipped, skippedWanted);
    EXPECT_EQ(DisplayNameOf(root + files[1]), files[1].substr(files[1].rfind(separator) + 1));
#ifndef _WIN32
    close(sock);
    // The listing's types spare the look before opening for regular files
    // alone: a link is looked at when it is opened.
    std::vector<std::string> listedRegular;
    WalkPath(root, [&](const TWalkItem &item) {
        if (item.Listed == TListedAs::RegularFile)
            listedRegular.push_back(item.Path.substr(root.size()));
    });
    std::erase(files, "/a/link to c");
    EXPECT_EQ(listedRegular, files);
#endif

    // A path that is not a folder stands for itself, existing or not.
    EXPECT_EQ(Walk(root + "/c"), (std::vector<std::string>{""}));
    EXPECT_EQ(Walk(root + "/missing"), (std::vector<std::string>{""}));
}
