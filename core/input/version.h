#pragma once

#include <string>

// The version an executable of ours carries, as 1 to 4 dotted numbers;
// empty for a file without one.
std::string VersionText(const std::string &path, int parts);
