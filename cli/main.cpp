// brackwell-cli: hashes the files it is given and prints one line per file.
#include <algorithm>
#include <memory>
#include <thread>

#include "options.h"
#include "progress.h"
#include "run.h"
#include "runs/tokens.h"
#include "system.h"

int main(int argc, char **argv)
{
    const TCommandLine commandLine(argc, argv);
    const TOptions options = ParseArguments(commandLine.Count(), commandLine.Values());
    TProgressLine progress(StderrIsTerminal());
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const TRunContext context{progress, std::make_shared<TCoreTokens>(cores), cores};
    return options.check ? RunChecking(options, context) : RunHashing(options, context);
}
