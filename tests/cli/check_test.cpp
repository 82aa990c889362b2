// brackwell-cli --aich / --part-hashes, --check against the links of lists,
// and -r over folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "digests/MessageDigests.h"
#include "clirun.h"
#include "testsupport.h"

using testing::HasSubstr;
using testsupport::TempDir;

namespace {

// Measured with rhash --ed2k --aich on a PatternBytes file of 9,728,001 bytes.
constexpr const char *TwoPartEd2k = "830D8328172C60F0E1C8BE2CA7CC9F01";
constexpr const char *TwoPartAich = "DP4XKBZJ7UCSP7D6HLYHBWRZNYYGIXLQ";

std::string Md4Text(std::uint64_t offset, std::size_t count)
{
    const auto bytes = testsupport::PatternBytes(offset, count);
    TMD4 digest;
    digest.Transform(bytes.data(), bytes.size());
    digest.Complete();
    return testsupport::ToUpper(digest.DigestText());
}

void FlipByte(const std::string &path, std::uint64_t at)
{
    std::string bytes = testsupport::ReadFile(path);
    bytes[at] = static_cast<char>(bytes[at] ^ 1);
    testsupport::WriteFile(path, bytes);
}

} // namespace

// The extras only when asked, exactly in the link's syntax; the other formats
// gain their column and keys only then.
TEST(CliAich, ExtrasInEveryFormatOnlyWhenAsked)
{
    TempDir dir;
    const std::string path = dir.file("two parts.bin");
    testsupport::WritePatternFile(path, 9728001);
    const std::string parts = Md4Text(0, 9728000) + ":" + Md4Text(9728000, 1);
    const std::string plain = "ed2k://|file|two parts.bin|9728001|" + std::string(TwoPartEd2k) + "|";

    EXPECT_EQ(Cli({"--suffix=", path}).out, plain + "\n");
    EXPECT_EQ(Cli({"--suffix=", "--aich", "--part-hashes", path}).out,
              plain + "p=" + parts + "|h=" + TwoPartAich + "|/\n");
    EXPECT_EQ(Cli({"--suffix=", "--part-hashes", path}).out, plain + "p=" + parts + "|/\n");
    EXPECT_EQ(Cli({"--suffix=", "--aich", "--format=html", path}).out,
              "<a href=\"" + plain + "h=" + TwoPartAich + "|/\">two parts.bin</a>\n");
    EXPECT_THAT(Cli({"--format=hashes", path}).out, testing::EndsWith("\t9728001\ttwo parts.bin\n"));
    EXPECT_THAT(Cli({"--format=hashes", "--aich", path}).out,
                testing::EndsWith(std::string("\t") + TwoPartAich + "\t9728001\ttwo parts.bin\n"));

    const auto json = Cli({"--format=json", "--part-hashes", path}).out;
    EXPECT_THAT(json, HasSubstr(",\"warning\":null,\"aich\":null,\"part_hashes\":[\"" + Md4Text(0, 9728000) + "\",\""
                                + Md4Text(9728000, 1) + "\"]}"));
    EXPECT_THAT(Cli({"--format=json", path}).out, testing::Not(HasSubstr("aich")));

    // A descriptor has no AICH; a failed file neither extras nor part hashes.
    const std::string missing = dir.file("missing");
    const auto failed = Cli({"--format=json", "--suffix=", "--aich", "--part-hashes", missing});
    EXPECT_EQ(failed.status, 1);
    EXPECT_THAT(failed.out, HasSubstr("\"ed2k_link\":\"ed2k://|file|missing|0|Error !|\""));
    EXPECT_THAT(failed.out, HasSubstr("\"aich\":\"Error !\",\"part_hashes\":null}"));
    EXPECT_EQ(Cli({"--no-ed2k", "--part-hashes", path}).status, 2);
}

// Files checked against a share list of their own links after some were
// damaged, cut, removed or renamed, with one job or several, from the text
// list or the HTML page, from the list's folder or --dir.
TEST(CliCheck, VerdictsPerLinkInListOrder)
{
    TempDir dir;
    const std::string files = dir.path().string() + "/files";
    std::filesystem::create_directory(files);
    for (const char *name : {"a.bin", "b.bin", "c.bin", "d.bin"})
        testsupport::WritePatternFile(files + "/" + name, 9728001);
    testsupport::WriteFile(files + "/e f.txt", std::string("abc"));
    const std::string text = dir.file("list.txt");
    const std::string page = dir.file("list.html");
    std::vector<std::string> exported = {"--aich", "--part-hashes", "--replace-spaces", "_"};
    for (const char *name : {"a.bin", "b.bin", "c.bin", "d.bin", "e f.txt"})
        exported.push_back(files + "/" + name);
    for (const auto &[list, layout] : {std::pair{text, "ascii"}, std::pair{page, "html"}}) {
        auto args = exported;
        args.insert(args.begin(), {"--export", list, std::string("--layout=") + layout});
        ASSERT_EQ(Cli(args).status, 0);
    }
    FlipByte(files + "/b.bin", 9728000);
    ::truncate((files + "/c.bin").c_str(), 9728000);
    std::filesystem::remove(files + "/d.bin");

    const std::string suffix = "_-_Generated_by_Brackwell";
    const std::string expected = "OK\ta" + suffix + ".bin\nOK\ta" + suffix + ".bin\n"
                                 "FAILED (ed2k hash differs, AICH hash differs, part hashes differ: 1 of 2, first part 2)\tb"
                                 + suffix + ".bin\nFAILED (FileSpree hash differs)\tb" + suffix + ".bin\n"
                                 "FAILED (size differs: 9728000 bytes on disk)\tc" + suffix + ".bin\n"
                                 "FAILED (FileSpree hash differs)\tc" + suffix + ".bin\n"
                                 "MISSING\td" + suffix + ".bin\nMISSING\td" + suffix + ".bin\n"
                                 "OK\te_f" + suffix + ".txt\nOK\te_f" + suffix + ".txt\n";
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"--check", "--replace-spaces=_", "--dir", files, text},
             {"--check", "--replace-spaces=_", "-j", "1", "--dir", files, page},
             {"--check", "--replace-spaces=_", "-j", "4", "--dir", files + "/", text}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        const auto r = Cli(args);
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "4 OK, 4 failed, 2 missing\n");
        EXPECT_EQ(r.status, 1);
    }

    // From the list's own folder, the exact name before the undone one, and
    // all well: exit 0.
    const std::string local = files + "/list.txt";
    testsupport::WriteFile(local, "ed2k://|file|e f.txt|3|" + std::string(testsupport::AbcMd4) + "|\n"
                                  "fs://Get|a" + suffix + ".bin|e687d1499b0c79d790df32c32f29a1fc|\n");
    auto r = Cli({"--check", "--replace-spaces=_", local});
    EXPECT_EQ(r.out, "OK\te f.txt\nOK\ta" + suffix + ".bin\n");
    EXPECT_EQ(r.status, 0);
    testsupport::WriteFile(files + "/a" + suffix + ".bin", std::string("other"));
    EXPECT_EQ(Cli({"--check", "--replace-spaces=_", local}).out, "OK\te f.txt\nFAILED (FileSpree hash differs)\ta" + suffix + ".bin\n");
}

// A hostile list: names that lead out of the folder, names that are not
// UTF-8, a line of megabytes, a link that never ends; and misuse.
TEST(CliCheck, HostileListsAndUsage)
{
    TempDir dir;
    const std::string folder = dir.path().string() + "/in";
    std::filesystem::create_directory(folder);
    testsupport::WriteFile(dir.file("secret"), std::string("abc"));
    testsupport::WriteFile(folder + "/\xff.bin", std::string("abc"));
    const std::string abc = "|3|" + std::string(testsupport::AbcMd4) + "|";
    const std::string list = folder + "/list.txt";
    testsupport::WriteFile(list, "ed2k://|file|../secret" + abc + "\ned2k://|file|..%2F..%2Fsecret" + abc + "\n"
                                 "ed2k://|file|%2E%2E" + abc + " " + std::string(3 << 20, 'x') + "\n"
                                 "ed2k://|file|" + std::string(2 << 20, 'n') + abc + "\n"
                                 "ed2k://|file|%FF.bin" + abc + "\n");
    const auto r = Cli({"--check", list});
    EXPECT_EQ(r.out, "ERROR (not a plain file name)\t../secret\nERROR (not a plain file name)\t../../secret\n"
                     "ERROR (not a plain file name)\t..\nOK\t\xff.bin\n");
    EXPECT_EQ(r.err, "1 OK, 0 failed, 0 missing, 3 unreadable\n");
    EXPECT_EQ(r.status, 1);

    const std::string empty = dir.file("empty.txt");
    testsupport::WriteFile(empty, std::string("no links here\n"));
    for (const std::string &bad : {empty, dir.file("absent.txt")}) {
        const auto none = Cli({"--check", bad});
        EXPECT_EQ(none.status, 1);
        EXPECT_THAT(none.err, testing::StartsWith("brackwell-cli: " + bad + ": "));
    }
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"--check"}, {"--dir", folder, list}, {"--check", "-r", list}, {"--check", "--export", empty, list}}) {
        EXPECT_EQ(Cli(args).status, 2) << testing::PrintToString(args);
    }
}

// Every line is reported; a page is read as one after a long comment, with
// its numeric references; the folder is checked before any list is read, and
// a symbolic link out of it is refused.
TEST(CliCheck, LinesPagesAndTheFolder)
{
    TempDir dir;
    const std::string folder = dir.path().string() + "/in";
    std::filesystem::create_directory(folder);
    testsupport::WriteFile(folder + "/caf\xC3\xA9.txt", std::string("abc"));
    const std::string abc = "|3|" + std::string(testsupport::AbcMd4) + "|";
    const std::string list = dir.file("list.txt");
    testsupport::WriteFile(list, "ed2k://|file|caf%C3%A9.txt" + abc + "\n" + "ed2k://|file|caf%C3%A9.txt" + abc
                                 + "\r\ned2k://|file|caf%C3%A9.txt" + abc + "\n");
    auto r = Cli({"--check", "--dir", folder, list});
    EXPECT_EQ(r.out, "OK\tcaf\xC3\xA9.txt\nOK\tcaf\xC3\xA9.txt\nOK\tcaf\xC3\xA9.txt\n");
    EXPECT_EQ(r.err, "3 OK, 0 failed, 0 missing\n");

    const std::string page = dir.file("page.html");
    const std::string anchor = "<a href=\"ed2k://|file|caf&#233;.txt" + abc + "\">ed2k://|file|caf&#xE9;.txt" + abc
                               + "</a>";
    testsupport::WriteFile(page, "<!-- " + std::string(6000, '=') + " -->\n<html><body>" + anchor + "<br>\n"
                                 + anchor + "</body></html>");
    r = Cli({"--check", "--dir", folder, page});
    EXPECT_EQ(r.out, "OK\tcaf\xC3\xA9.txt\nOK\tcaf\xC3\xA9.txt\n");
    EXPECT_EQ(r.status, 0);

    for (const auto &[where, reason] : {std::pair{dir.file("absent"), "no such folder"}, std::pair{list, "not a folder"}}) {
        r = Cli({"--check", "--dir", where, list});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "brackwell-cli: " + where + ": " + reason + "\n");
        EXPECT_EQ(r.status, 1);
    }

#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
    testsupport::WriteFile(dir.file("secret"), std::string("abc"));
    std::filesystem::create_symlink("../secret", folder + "/outside");
    std::filesystem::create_symlink("caf\xC3\xA9.txt", folder + "/inside");
    testsupport::WriteFile(list, "ed2k://|file|outside" + abc + "\ned2k://|file|inside" + abc + "\n");
    r = Cli({"--check", "--dir", folder, list});
    EXPECT_EQ(r.out, "ERROR (symbolic link to a file outside the folder)\toutside\nOK\tinside\n");
    EXPECT_EQ(r.status, 1);
    // The same from the list's own folder, named by a relative path.
    testsupport::WriteFile(folder + "/list.txt", testsupport::ReadFile(list));
    const auto local = testsupport::Run({"sh", "-c", "cd \"$0\" && exec \"$1\" --check in/list.txt", dir.path().string(),
                                         BRACKWELL_CLI_PATH});
    EXPECT_EQ(local.out, r.out);
#endif
}

// -r: byte order within each folder whatever -j, a link back up the tree not
// followed, a FIFO skipped with a line on stderr, and, run as another user, a
// folder it cannot read reported with exit 1.
TEST(CliRecursive, WalkOrderSkipsAndUnreadableFolders)
{
    TempDir dir;
    const std::string root = dir.path().string() + "/tree";
    for (const char *name : {"b.txt", "a/z", "a/y/x", "locked/w"}) {
        std::filesystem::create_directories(std::filesystem::path(root + "/" + name).parent_path());
        testsupport::WriteFile(root + "/" + name, std::string("abc"));
    }
#ifdef _WIN32
    // No FIFOs, and links need a privilege: the order alone.
    const std::string skipped;
#else
    std::filesystem::create_directory_symlink(root, root + "/a/loop");
    ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0644), 0);
    const std::string skipped = "brackwell-cli: " + root + "/a/loop: symbolic link to a folder, not followed\n"
                                "brackwell-cli: " + root + "/fifo: FIFO, not hashed\n";
#endif
    const std::string line = std::string(testsupport::AbcMd4) + "\t" + testsupport::AbcMd5 + "\t3\t";
    for (const char *jobs : {"1", "4"}) {
        const auto r = Cli({"-r", "-j", jobs, "--format=hashes", root});
        EXPECT_EQ(r.out, line + "x\n" + line + "z\n" + line + "b.txt\n" + line + "w\n");
        EXPECT_EQ(r.err, skipped);
        EXPECT_EQ(r.status, 0);
    }

#ifdef _WIN32
    GTEST_SKIP() << "no other user to run as under wine";
#else
    if (::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "no setpriv to run as another user";
    // Only a user without the right may fail to read: run as nobody, on a tree
    // it may otherwise walk.
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    std::filesystem::permissions(root + "/locked", std::filesystem::perms(0700));
    const auto r = testsupport::Run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                     BRACKWELL_CLI_PATH, "-r", "--format=hashes", root});
    EXPECT_EQ(r.out, line + "x\n" + line + "z\n" + line + "b.txt\n");
    EXPECT_THAT(r.err, HasSubstr("brackwell-cli: " + root + "/locked: Permission denied\n"));
    EXPECT_EQ(r.status, 1);
#endif
}

// The program's own lists check whole whatever the space replacement (a dot
// as well, which names also hold); a name that would become ".." once its
// texts are undone is never looked up.
TEST(CliCheck, OwnListsWithAnySpaceReplacement)
{
    TempDir dir;
    const std::string folder = dir.path().string();
    for (const char *name : {"my file.txt", "a.b c.tar.gz", "plain.bin", "no extension", "x y"})
        testsupport::WriteFile(folder + "/" + name, std::string(name));
    testsupport::WriteFile(folder + "/x.y", std::string("another file"));
    for (const char *space : {".", "_", "%20", "-"}) {
        SCOPED_TRACE(space);
        const std::string list = dir.file("list.txt");
        const auto exported = Cli({"--replace-spaces", space, "--export", list, folder + "/my file.txt",
                                   folder + "/a.b c.tar.gz", folder + "/plain.bin", folder + "/no extension",
                                   folder + "/x y"});
        ASSERT_EQ(exported.status, 0) << exported.err;
        const auto r = Cli({"--check", "--replace-spaces", space, list});
        EXPECT_EQ(r.err, "10 OK, 0 failed, 0 missing\n") << r.out;
        EXPECT_EQ(r.status, 0);
    }

    testsupport::WriteFile(dir.file("hostile.txt"), "ed2k://|file|%2E%2E%20-%20Generated%20by%20Brackwell|3|"
                                                        + std::string(testsupport::AbcMd4) + "|\n");
    const auto r = Cli({"--check", dir.file("hostile.txt")});
    EXPECT_EQ(r.out, "ERROR (not a plain file name)\t.. - Generated by Brackwell\n");
    EXPECT_EQ(r.status, 1);
}

// Lists as editors and browsers save them: UTF-16 in both byte orders and
// UTF-8 after a byte-order mark; a page whose comment holds an old link, whose
// names use named references and whose href writes "|" as "&#124;".
TEST(CliCheck, ListsInOtherFormsAndPages)
{
    TempDir dir;
    testsupport::WriteFile(dir.file("caf\xC3\xA9.txt"), std::string("abc"));
    const std::string link = "ed2k://|file|caf%C3%A9.txt|3|" + std::string(testsupport::AbcMd4) + "|";
    const auto utf16 = [](const std::string &ascii, bool little) {
        std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
        for (const char c : ascii)
            bytes += little ? std::string{c, '\0'} : std::string{'\0', c};
        return bytes;
    };
    const std::string pipes = "ed2k://&#124;file&#124;caf&eacute;.txt&#124;3&#124;" + std::string(testsupport::AbcMd4)
                              + "&#124;";
    const std::pair<const char *, std::string> lists[] = {
        {"utf16le.txt", utf16("Share List\r\n" + link + "\r\n", true)},
        {"utf16be.txt", utf16("Share List\r\n" + link + "\r\n", false)},
        {"utf8bom.txt", "\xEF\xBB\xBF" + link + "\n"},
        {"page.html", "<html><body><!-- <a href=\"ed2k://|file|gone.txt|3|" + std::string(testsupport::AbcMd4)
                          + "|\">gone</a> -->\n<a href=\"" + pipes + "\">caf&eacute;.txt</a></body></html>"},
    };
    for (const auto &[name, bytes] : lists) {
        SCOPED_TRACE(name);
        testsupport::WriteFile(dir.file(name), bytes);
        const auto r = Cli({"--check", dir.file(name)});
        EXPECT_EQ(r.out, "OK\tcaf\xC3\xA9.txt\n");
        EXPECT_EQ(r.status, 0) << r.err;
    }
}

#ifndef _WIN32
// Under a small limit of open files a check manages as hashing does: a file
// that cannot be opened yet waits for one, and is never reported unreadable.
TEST(CliCheck, FewDescriptors)
{
    TempDir dir;
    // ed2k links alone: each file's size decides whether it is hashed.
    std::vector<std::string> args = {"--suffix=", "--export", dir.file("list.txt"), "--columns=ed2k"};
    for (int i = 0; i < 300; ++i) {
        const std::string path = dir.file("f" + std::to_string(i) + ".txt");
        testsupport::WriteFile(path, "content " + std::to_string(i));
        args.push_back(path);
    }
    ASSERT_EQ(Cli(args).status, 0);
    // Sizes that differ are judged on the size alone, holding no descriptor.
    testsupport::WriteFile(dir.file("f7.txt"), std::string("longer content"));
    for (const char *jobs : {"1", "2", "8"}) {
        const auto r = testsupport::Run({"sh", "-c", "ulimit -n 40 && exec \"$0\" --check -j \"$1\" \"$2\"",
                                         BRACKWELL_CLI_PATH, jobs, dir.file("list.txt")});
        EXPECT_EQ(r.err, "299 OK, 1 failed, 0 missing\n") << "-j " << jobs;
        EXPECT_THAT(r.out, HasSubstr("FAILED (size differs: 14 bytes on disk)\tf7.txt\n"));
    }
}
#endif
