#pragma once

// What brackwell-cli asks of the system it runs on.

#include <string>
#include <vector>

// The command line as UTF-8. On Windows it is taken from the wide command
// line (the 8-bit argv of the C runtime would have replaced what the code
// page cannot hold), and stdout and stderr are switched to binary, so that
// the output has the same bytes as elsewhere: UTF-8 names, lines ending in LF.
class TCommandLine final
{
public:
    TCommandLine(int argc, char **argv);
    TCommandLine(const TCommandLine &) = delete;
    TCommandLine &operator=(const TCommandLine &) = delete;

    int Count() const { return m_count; }
    char **Values() const { return m_values; }

private:
    std::vector<std::string> m_texts;
    std::vector<char *> m_pointers;
    int m_count = 0;
    char **m_values = nullptr;
};

// The path of this executable, whose version note names the version.
std::string OwnPath();
// Whether stderr is a terminal that shows the progress line.
bool StderrIsTerminal();
