#pragma once

// brackwell-cli's runs: the paths hashed (or read as descriptors) and printed
// one line each in the order given, or exported; and --check.

#include <memory>

#include "options.h"

class TCoreTokens;
class TProgressLine;

// What every run shares: the progress line and the cores.
struct TRunContext
{
    TProgressLine &Progress;
    // One token per core: a job holds one while it hashes, and a run puts MD5
    // on a second thread only when it can take another, so that the jobs
    // together never keep more threads busy than there are cores.
    std::shared_ptr<TCoreTokens> Tokens;
    // Jobs when -j does not say.
    unsigned Cores = 1;
};

// Hashes the paths of options (with -r, the files under each folder, in the
// walk's order) and prints one line per path in the order given, or writes
// the share list of --export. Returns the exit status.
int RunHashing(const TOptions &options, const TRunContext &context);

// --check: the files named by the links of each list. Returns the exit status.
int RunChecking(const TOptions &options, const TRunContext &context);
