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
