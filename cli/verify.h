#pragma once

// brackwell-cli --verify-data: the data of unfinished downloads checked chunk
// by chunk against the part hashes their descriptors record.

#include "options.h"
#include "run.h"

void PrintVerifyHelp();
// Prints one line (or JSON object) per descriptor in the order given and a
// summary on stderr; returns the exit status.
int RunVerifying(const TOptions &options, const TRunContext &context);
