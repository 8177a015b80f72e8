#pragma once
// The help, written from the tables of commands and options.

#include <string>

#include "cli/command_table.h"

namespace tarnwick {

// The overview: every command, and the options of the commands without a
// help page of their own.
std::string overviewHelp();

// The help page of `command`, or the overview for a command without one (and
// for null).
std::string helpFor(const CommandEntry* command);

} // namespace tarnwick
