#pragma once
// The command line: how Tarnwick is used without a desktop.

#include <iosfwd>
#include <span>
#include <string_view>

namespace tarnwick {

// Runs the command that the arguments (without the program name) ask for and
// returns the exit status: 0 on success, 1 when an output file cannot be
// written, 2 for bad usage or a settings file that cannot be read (nothing is
// written then). Errors go to `err`, naming the file and the reason.
int runCommandLine(std::span<const std::string_view> arguments, std::ostream& out,
                   std::ostream& err);

} // namespace tarnwick
