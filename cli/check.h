#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "links/linkcheck.h"

class TCoreTokens;
class TDonkeyFile;

// brackwell-cli --check: the files of lists checked against their links.
struct TCheckRequest
{
    std::vector<std::string> Lists;
    // Where the files are; each list's own folder when not given.
    std::optional<std::string> Folder;
    std::vector<TLinkNameTexts> Texts;
    unsigned Jobs = 1;
    std::shared_ptr<TCoreTokens> Tokens;
    std::function<void(TDonkeyFile &)> OnNewBlock;
    // Clears the progress shown on the terminal before a line is printed.
    std::function<void()> ClearProgress;
};

void PrintCheckHelp();
// Prints one line per link and the summary on stderr; returns the exit status.
int RunCheck(const TCheckRequest &request);
