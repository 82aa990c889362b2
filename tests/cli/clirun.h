#pragma once

// brackwell-cli run with the given arguments, as the command-line suites call it.

#include <string>
#include <vector>

#include "testsupport.h"

inline testsupport::CommandResult Cli(std::vector<std::string> args)
{
    args.insert(args.begin(), BRACKWELL_CLI_PATH);
    return testsupport::Run(args);
}

// A path as a JSON string holds it: Windows paths have backslashes.
inline std::string JsonPath(const std::string &path)
{
    std::string text;
    for (const char c : path)
        text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return text;
}
