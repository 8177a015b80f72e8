#pragma once
// The command line: how Tarnwick is used without a desktop.

#include <iosfwd>
#include <span>
#include <string_view>

namespace tarnwick {

// Runs the command that the arguments (without the program name) ask for and
// returns the exit status: 0 on success, 2 for bad usage.
int runCommandLine(std::span<const std::string_view> arguments, std::ostream& out,
                   std::ostream& err);

} // namespace tarnwick
