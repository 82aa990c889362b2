#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "testsupport.h"
#include "walk.h"

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
// file kept, and a FIFO and a socket skipped.
TEST(Walk, ByteOrderNoLoopsSpecialFilesSkipped)
{
    testsupport::TempDir dir;
    const std::string root = dir.path().string();
    for (const char *name : {"b.txt", "B.txt", "a/z", "a/y/x", "\xc3\xa9.txt", "c"}) {
        std::filesystem::create_directories(std::filesystem::path(root + "/" + name).parent_path());
        testsupport::WriteFile(root + "/" + name, std::string("x"));
    }
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

    std::vector<std::string> skipped;
    EXPECT_EQ(Walk(root, &skipped),
              (std::vector<std::string>{"/B.txt", "/a/link to c", "/a/y/x", "/a/z", "/b.txt", "/c",
                                        "/\xc3\xa9.txt"}));
    EXPECT_EQ(skipped, (std::vector<std::string>{"/a/loop skipped", "/fifo skipped", "/sock skipped"}));
    close(sock);

    // A path that is not a folder stands for itself, existing or not.
    EXPECT_EQ(Walk(root + "/c"), (std::vector<std::string>{""}));
    EXPECT_EQ(Walk(root + "/missing"), (std::vector<std::string>{""}));
}
