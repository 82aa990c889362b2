// brackwell-cli --check: one line per link of each list, a summary on stderr.
#include "check.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "entries/donkeyfile.h"
#include "links/links.h"
#include "input/fileio.h"
#include "output.h"

namespace {

// The folder of a list: its path up to the last separator, or the current
// folder ("" keeps names relative) when it has none.
std::string FolderOf(const std::string &list)
{
#ifdef _WIN32
    const auto cut = list.find_last_of("\\/:");
#else
    const auto cut = list.find_last_of('/');
#endif
    if (cut == std::string::npos)
        return {};
    return list.substr(0, cut + 1);
}

// Why the files cannot be looked for in folder, or empty when they can.
std::string FolderProblem(const std::string &folder)
{
    std::error_code error;
    const auto status = std::filesystem::status(PathFromUtf8(folder), error);
    if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
        return error.message();
    if (!std::filesystem::exists(status))
        return "no such folder";
    if (!std::filesystem::is_directory(status))
        return "not a folder";
    return {};
}

std::string CheckLine(const TLinkCheck &check)
{
    std::string line = VerdictText(check.Verdict);
    if (!check.Detail.empty())
        line += " (" + EscapeControlBytes(check.Detail) + ")";
    return line + "\t" + EscapeControlBytes(check.Link.Name) + "\n";
}

} // namespace

void PrintCheckHelp()
{
    std::printf(
        "\n"
        "Checking files against links: brackwell-cli --check [--dir DIR] [-j N] LIST...\n"
        "  --check                 read the ed2k, fs and magnet links of each LIST (a\n"
        "                          share list, an HTML page, any text), hash the files they\n"
        "                          name and print OK, FAILED (what differs), MISSING or\n"
        "                          ERROR (why), a TAB and the name, per link in order;\n"
        "                          a summary goes to stderr\n"
        "  --dir DIR               look for the files in DIR (default: the LIST's folder)\n"
        "A file is looked for by the link's name, then by that name without the\n"
        "link-name texts (--prefix, --suffix, --replace-spaces and those stored).\n"
        "Exit status: 0 when every link is OK, 1 otherwise, 2 on bad usage.\n");
}

int RunCheck(const TCheckRequest &request)
{
    if (request.Folder) {
        if (const std::string problem = FolderProblem(*request.Folder); !problem.empty()) {
            std::fprintf(stderr, "brackwell-cli: %s: %s\n", EscapeControlBytes(*request.Folder).c_str(),
                         EscapeControlBytes(problem).c_str());
            return 1;
        }
    }
    TOutput out;
    int status = 0;
    std::size_t counts[4] = {};
    bool outputLost = false;
    for (const std::string &list : request.Lists) {
        TLinkCheckOptions options;
        options.Folder = request.Folder ? *request.Folder : FolderOf(list);
        options.NameTexts = request.Texts;
        options.Jobs = request.Jobs;
        options.Tokens = request.Tokens;
        options.OnNewBlock = request.OnNewBlock;
        options.StopRequested = [&] { return outputLost; };
        std::size_t found = 0;
        const std::string error = CheckLinkList(list, options, [&](const TLinkCheck &check) {
            ++found;
            ++counts[static_cast<int>(check.Verdict)];
            if (request.ClearProgress)
                request.ClearProgress();
            if (!out.Write(CheckLine(check)))
                outputLost = true;
        });
        if (request.ClearProgress)
            request.ClearProgress();
        if (outputLost)
            break;
        if (!error.empty() || found == 0) {
            status = 1;
            if (!out.Flush()) {
                outputLost = true;
                break;
            }
            std::fprintf(stderr, "brackwell-cli: %s: %s\n", EscapeControlBytes(list).c_str(),
                         error.empty() ? "no ed2k, fs or magnet links found" : EscapeControlBytes(error).c_str());
        }
    }
    if (!out.Close())
        outputLost = true;
    const std::size_t ok = counts[static_cast<int>(TLinkVerdict::Ok)];
    const std::size_t errors = counts[static_cast<int>(TLinkVerdict::Error)];
    std::fprintf(stderr, "%zu OK, %zu failed, %zu missing%s\n", ok, counts[static_cast<int>(TLinkVerdict::Failed)],
                 counts[static_cast<int>(TLinkVerdict::Missing)],
                 errors ? (", " + std::to_string(errors) + " unreadable").c_str() : "");
    if (outputLost || ok != counts[0] + counts[1] + counts[2] + counts[3])
        status = 1;
    return status;
}
