#pragma once
#include <string>
#include <vector>

namespace kestrum::platform {

// Splits a command line into arguments: white space separates, double quotes group (and are removed),
// a backslash before a double quote escapes it.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

} // namespace kestrum::platform
