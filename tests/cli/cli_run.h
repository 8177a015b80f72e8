#pragma once
// Runs the command line in-process and keeps what it printed.

#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"

namespace tarnwick::testing {

struct CliRun {
    int status;
    std::string out, err;
};

// Runs the arguments `words`, split at blanks.
inline CliRun runCli(const std::string& words) {
    std::istringstream split(words);
    const std::vector<std::string> arguments(std::istream_iterator<std::string>(split), {});
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    std::ostringstream out, err;
    const int status = runCommandLine(views, out, err);
    return {status, out.str(), err.str()};
}

} // namespace tarnwick::testing
